// A small Matrix Market reader. Lines are parsed as they arrive with std::from_chars,
// then the entries are bucketed by column straight into the host array's storage.
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "output.h"
#include "readers.h"
#include "sparse_build.h"

namespace linkwork::cli {
namespace {

// A token from the file as a message shows it: shortened, its bytes made printable.
std::string quoted(std::string_view token) {
    constexpr std::size_t shown = 40;
    return "'" + printable(std::string(token.substr(0, shown))) + (token.size() > shown ? "...'" : "'");
}

std::string lowered(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return result;
}

enum class Field { Real, Integer, Pattern };

struct Header {
    bool coordinate = true;
    Field field = Field::Real;
    bool symmetric = false;
};

constexpr std::string_view banner = "%%matrixmarket";

// The banner is checked on the first bytes, before a line of any length is read.
Header readHeader(LineReader& lines) {
    const std::string_view start = lines.peek(banner.size());
    if (start.empty()) lines.failAt(0, "the file is empty (a Matrix Market file begins with a %%MatrixMarket line)");
    if (lowered(start) != banner)
        lines.failAt(1, "not a Matrix Market file: the first line must begin with %%MatrixMarket (an edge list "
                        "needs --format edges or a name ending in .edges, .el or .txt)");
    std::string_view line, token;
    lines.next(line);
    std::string_view rest = line;
    nextToken(rest, token);
    if (lowered(token) != banner)
        lines.fail("not a Matrix Market file: the first line must begin with %%MatrixMarket");
    std::string words[4];
    for (std::string& word : words) {
        if (!nextToken(rest, token))
            lines.fail("malformed header: expected '%%MatrixMarket matrix <format> <field> <symmetry>'");
        word = lowered(token);
    }
    if (nextToken(rest, token)) lines.fail("malformed header: unexpected " + quoted(token) + " after the symmetry");
    Header header;
    if (words[0] != "matrix") lines.fail("unsupported object " + quoted(words[0]) + " (only 'matrix')");
    if (words[1] == "array")
        header.coordinate = false;
    else if (words[1] != "coordinate")
        lines.fail("unknown format " + quoted(words[1]) + " (expected 'coordinate' or 'array')");
    if (words[2] == "real" || words[2] == "double")
        header.field = Field::Real;
    else if (words[2] == "integer")
        header.field = Field::Integer;
    else if (words[2] == "pattern" && header.coordinate)
        header.field = Field::Pattern;
    else if (words[2] == "complex")
        lines.fail("complex matrices are not supported (graph weights are real)");
    else
        lines.fail("unsupported field " + quoted(words[2]) + " (expected 'real', 'integer' or 'pattern')");
    if (words[3] == "symmetric")
        header.symmetric = true;
    else if (words[3] == "skew-symmetric" || words[3] == "hermitian")
        lines.fail("unsupported symmetry " + quoted(words[3]) + " (only 'general' and 'symmetric')");
    else if (words[3] != "general")
        lines.fail("unknown symmetry " + quoted(words[3]) + " (expected 'general' or 'symmetric')");
    return header;
}

// The size line: "rows cols entries" for coordinate files, "rows cols" for arrays.
std::vector<std::uint64_t> readSizeLine(LineReader& lines, std::size_t expected) {
    std::string_view line;
    do {
        if (!lines.next(line)) lines.fail("the file ends before its size line");
    } while (isSkippable(line));
    const std::string form = expected == 3 ? "'rows columns entries'" : "'rows columns'";
    std::vector<std::uint64_t> sizes;
    std::string_view token;
    while (sizes.size() <= expected && nextToken(line, token)) {
        const std::optional<std::uint64_t> size = parseUnsigned(token);
        if (!size) lines.fail("malformed size line: " + quoted(token) + " is not a count; expected " + form);
        sizes.push_back(*size);
    }
    if (sizes.size() != expected) lines.fail("malformed size line: expected " + form);
    return sizes;
}

// Ensures no entry line follows the last one announced.
void expectNoMoreEntries(LineReader& lines, std::uint64_t announced) {
    std::string_view line;
    while (lines.next(line))
        if (!isSkippable(line)) lines.fail("more entries than the " + std::to_string(announced) + " the size line announces");
}

std::optional<double> parseValue(std::string_view token, Field field) {
    return field == Field::Integer ? parseInteger(token) : parseNumber(token);
}

std::string valueKind(Field field) { return field == Field::Integer ? "an integer" : "a number"; }

// Room for the announced entries, but never more than the file could hold (an entry
// takes at least four bytes), so a bogus count cannot make the reservation outgrow it.
std::size_t reservation(std::uint64_t announced, const LineReader& lines) {
    const std::optional<std::uint64_t> size = lines.sourceSize();
    const std::uint64_t cap = size ? *size / 4 + 1 : std::uint64_t{1} << 16;
    return static_cast<std::size_t>(std::min(announced, cap));
}

}  // namespace

ArrayPtr readMatrixMarket(LineReader& lines, const ReadOptions& options) {
    const Header header = readHeader(lines);
    if (!header.coordinate) lines.fail("a graph must be a coordinate file; this is a dense 'array' file");
    const std::vector<std::uint64_t> sizes = readSizeLine(lines, 3);
    const std::uint64_t rowCount = sizes[0], colCount = sizes[1], count = sizes[2];
    if (header.symmetric && rowCount != colCount)
        lines.fail("a symmetric matrix must be square, not " + std::to_string(rowCount) + "-by-" +
                   std::to_string(colCount));
    if (rowCount > options.vertexLimit || colCount > options.vertexLimit)
        lines.fail("the size line declares " + std::to_string(std::max(rowCount, colCount)) +
                   " vertices; at most " + std::to_string(options.vertexLimit) + " can be read");

    const bool pattern = header.field == Field::Pattern;
    Triplets triplets;
    const std::size_t expected = reservation(count, lines) * (header.symmetric ? 2 : 1);
    triplets.rows.reserve(expected);
    triplets.cols.reserve(expected);
    if (!pattern) triplets.values.reserve(expected);

    std::string_view line, token;
    for (std::uint64_t k = 0; k < count;) {
        if (!lines.next(line))
            lines.fail("the file ends after " + std::to_string(k) + " of the " + std::to_string(count) +
                       " entries its size line announces");
        if (isSkippable(line)) continue;
        std::uint64_t index[2] = {0, 0};
        const std::uint64_t bound[2] = {rowCount, colCount};
        const char* what[2] = {"row", "column"};
        for (int d = 0; d < 2; ++d) {
            if (!nextToken(line, token)) lines.fail(std::string("too few fields: expected a ") + what[d] + " index");
            const std::optional<std::uint64_t> parsed = parseUnsigned(token);
            if (!parsed) lines.fail(std::string(what[d]) + " index " + quoted(token) + " is not a positive integer");
            if (*parsed < 1 || *parsed > bound[d])
                lines.fail(std::string(what[d]) + " index " + std::to_string(*parsed) + " is out of range 1.." +
                           std::to_string(bound[d]));
            index[d] = *parsed - 1;
        }
        double value = 1.0;
        if (!pattern) {
            if (!nextToken(line, token)) lines.fail("too few fields: expected a value after the indices");
            const std::optional<double> parsed = parseValue(token, header.field);
            if (!parsed) lines.fail("value " + quoted(token) + " is not " + valueKind(header.field));
            value = *parsed;
        }
        if (nextToken(line, token)) lines.fail("too many fields: unexpected " + quoted(token));
        triplets.rows.push_back(index[0]);
        triplets.cols.push_back(index[1]);
        if (!pattern) triplets.values.push_back(value);
        if (header.symmetric && index[0] != index[1]) {
            triplets.rows.push_back(index[1]);
            triplets.cols.push_back(index[0]);
            if (!pattern) triplets.values.push_back(value);
        }
        ++k;
    }
    expectNoMoreEntries(lines, count);
    return assemble(rowCount, colCount, pattern, std::move(triplets), Combine::Sum).matrix;
}

ArrayPtr readVectorLines(LineReader& lines) {
    std::vector<double> values;
    std::string_view line, token;
    if (lowered(lines.peek(banner.size())) == banner) {
        const Header header = readHeader(lines);
        if (header.coordinate)
            lines.fail("a vector file must be a Matrix Market 'array' file or plain values, one per line");
        if (header.symmetric) lines.fail("a vector file must be 'general', not 'symmetric'");
        const std::vector<std::uint64_t> sizes = readSizeLine(lines, 2);
        if (sizes[0] != 0 && sizes[1] > std::numeric_limits<std::uint64_t>::max() / sizes[0])
            lines.fail("the array is too large");
        const std::uint64_t count = sizes[0] * sizes[1];
        values.reserve(std::min<std::uint64_t>(count, std::uint64_t{1} << 16));
        while (values.size() < count) {
            if (!lines.next(line))
                lines.fail("the file ends after " + std::to_string(values.size()) + " of the " + std::to_string(count) +
                           " values its size line announces");
            if (isSkippable(line)) continue;
            nextToken(line, token);
            const std::optional<double> value = parseValue(token, header.field);
            if (!value) lines.fail("value " + quoted(token) + " is not " + valueKind(header.field));
            if (nextToken(line, token)) lines.fail("too many fields: one value per line");
            values.push_back(*value);
        }
        expectNoMoreEntries(lines, count);
    } else {
        while (lines.next(line)) {
            if (isSkippable(line, true)) continue;
            nextToken(line, token);
            const std::optional<double> value = parseNumber(token);
            if (!value) lines.fail("value " + quoted(token) + " is not a number");
            if (nextToken(line, token)) lines.fail("too many fields: one value per line");
            values.push_back(*value);
        }
    }
    ArrayPtr row = makeDouble(1, values.size());
    std::copy(values.begin(), values.end(), row->realDoubles());
    return row;
}

}  // namespace linkwork::cli
