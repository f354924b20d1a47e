// Numbers as text, the way every linkwork command prints them. Header-only so that
// the distributed command prints exactly what the single-machine one does.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

namespace linkwork::cli {

template <class Integer>
void appendInteger(std::string& out, Integer value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

// The shortest text that reads back as `value` (at most 17 significant digits);
// integers below 2^53 without a decimal point or exponent, even 1e8; Inf, -Inf, NaN.
inline void appendNumber(std::string& out, double value) {
    if (std::isnan(value)) {
        out += "NaN";
        return;
    }
    if (std::isinf(value)) {
        out += value > 0 ? "Inf" : "-Inf";
        return;
    }
    constexpr double exactIntegers = 9007199254740992.0;  // 2^53
    if (std::fabs(value) < exactIntegers && std::trunc(value) == value) {
        appendInteger(out, static_cast<std::int64_t>(value));
        return;
    }
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

}  // namespace linkwork::cli
