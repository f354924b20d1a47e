// Splitting text lines into blank-separated fields and parsing them as numbers: the
// pieces every line-oriented graph reader needs, header-only so that other front ends
// can share them.
#pragma once

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace linkwork::cli {

inline bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Splits the next blank-separated token off `line`; false when only blanks remain.
inline bool nextToken(std::string_view& line, std::string_view& token) {
    std::size_t begin = 0;
    while (begin < line.size() && isBlank(line[begin])) ++begin;
    if (begin == line.size()) {
        line = {};
        return false;
    }
    std::size_t end = begin;
    while (end < line.size() && !isBlank(line[end])) ++end;
    token = line.substr(begin, end - begin);
    line.remove_prefix(end);
    return true;
}

// True for a line of blanks only, or one whose first other character starts a comment.
inline bool isSkippable(std::string_view line, bool hashComments = false) {
    for (char c : line) {
        if (isBlank(c)) continue;
        return c == '%' || (hashComments && c == '#');
    }
    return true;
}

// A count or index: decimal digits only, within 64 bits.
inline std::optional<std::uint64_t> parseUnsigned(std::string_view token) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (error != std::errc() || end != token.data() + token.size()) return std::nullopt;
    return value;
}

// An integer value with an optional sign, as a double.
inline std::optional<double> parseInteger(std::string_view token) {
    if (token.size() > 1 && token[0] == '+' && token[1] != '-') token.remove_prefix(1);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (error != std::errc() || end != token.data() + token.size()) return std::nullopt;
    return static_cast<double>(value);
}

// A number as the command line and the files write it: decimal or exponent notation
// with an optional sign, or inf, -inf, nan in any case. The whole text must be the
// number. Beyond the double range, overflow gives an infinity and underflow zero or a
// subnormal, as strtod rounds them.
inline std::optional<double> parseNumber(std::string_view text) {
    if (text.size() > 1 && text[0] == '+' && text[1] != '-' && text[1] != '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    const char* first = text.data();
    const char* last = first + text.size();
    double value = 0.0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (end != last) return std::nullopt;
    if (error == std::errc::result_out_of_range) {
        const std::string copy(text);
        return std::strtod(copy.c_str(), nullptr);
    }
    if (error != std::errc()) return std::nullopt;
    return value;
}

}  // namespace linkwork::cli
