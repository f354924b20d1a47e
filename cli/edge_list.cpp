// Edge lists, the form most public network collections use: one edge per line,
// "u v" or "u v w", with comment lines.
#include <algorithm>
#include <string>
#include <utility>

#include "output.h"
#include "readers.h"
#include "sparse_build.h"

namespace linkwork::cli {
namespace {

std::string shown(std::string_view token) {
    constexpr std::size_t length = 40;
    return "'" + printable(std::string(token.substr(0, length))) + (token.size() > length ? "...'" : "'");
}

}  // namespace

ArrayPtr readEdgeList(LineReader& lines, const ReadOptions& options) {
    Triplets triplets;
    std::size_t fields = 0;  // 2 or 3, fixed by the first edge line
    std::size_t firstEdgeLine = 0;
    std::uint64_t vertexCount = 0;
    std::string_view line, token;
    const std::uint64_t first = options.zeroBased ? 0 : 1;
    // Its banner would pass for a comment, and its size line for an edge.
    std::string banner(lines.peek(14));
    for (char& c : banner) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (banner == "%%matrixmarket") lines.failAt(1, "a Matrix Market file, not an edge list (--format mtx reads it)");
    while (lines.next(line)) {
        if (isSkippable(line, true)) continue;
        std::uint64_t ends[2] = {0, 0};
        for (std::uint64_t& end : ends) {
            if (!nextToken(line, token)) lines.fail("too few fields: expected 'u v' or 'u v w'");
            const std::optional<std::uint64_t> vertex = parseUnsigned(token);
            if (!vertex) lines.fail("vertex " + shown(token) + " is not a vertex number (a non-negative integer)");
            if (*vertex < first)
                lines.fail("vertex 0 in a 1-based edge list (--zero-based reads vertices numbered from 0)");
            if (*vertex - first >= options.vertexLimit)
                lines.fail("vertex " + std::to_string(*vertex) + " is beyond the " +
                           std::to_string(options.vertexLimit) + " vertices that can be read");
            end = *vertex - first;
        }
        std::size_t count = 2;
        double weight = 1.0;
        if (nextToken(line, token)) {
            const std::optional<double> value = parseNumber(token);
            if (!value) lines.fail("weight " + shown(token) + " is not a number");
            weight = *value;
            count = 3;
        }
        if (nextToken(line, token)) lines.fail("too many fields: unexpected " + shown(token));
        if (fields == 0) {
            fields = count;
            firstEdgeLine = lines.number();
        } else if (count != fields) {
            lines.fail("an edge with" + std::string(count == 3 ? "" : "out") + " a weight, but the edge on line " +
                       std::to_string(firstEdgeLine) + " has " + (fields == 3 ? "one" : "none"));
        }
        triplets.rows.push_back(ends[0]);
        triplets.cols.push_back(ends[1]);
        if (count == 3) triplets.values.push_back(weight);
        vertexCount = std::max(vertexCount, std::max(ends[0], ends[1]) + 1);
    }
    return assemble(vertexCount, vertexCount, fields != 3, std::move(triplets), Combine::Sum).matrix;
}

}  // namespace linkwork::cli
