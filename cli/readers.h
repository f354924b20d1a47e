// Reading graphs (Matrix Market files and edge lists) and vectors into host arrays.
#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "line_parsing.h"
#include "line_reader.h"
#include "linkwork/runtime.h"

namespace linkwork::cli {

enum class GraphFormat {
    Automatic,     // by the file name: .edges, .el and .txt (also .gz) are edge lists
    MatrixMarket,  // a Matrix Market coordinate file
    EdgeList,      // "u v" or "u v w" per line
};

struct ReadOptions {
    GraphFormat format = GraphFormat::Automatic;
    bool zeroBased = false;  // edge lists: vertex numbers start at 0
    Progress::Mode progress = Progress::Mode::Automatic;
    // Larger vertex counts are refused before anything is allocated by them.
    std::uint64_t vertexLimit = std::uint64_t{1} << 48;
};

// The format a graph file is read in: the requested one, or the one its name says.
GraphFormat formatFor(const std::string& path, GraphFormat requested);

// A graph file ("-": standard input), plain or gzip-compressed, as a square or
// rectangular sparse array: double, or logical for pattern files and edge lists
// without weights. Rows ascend within each column and repeated entries are summed
// (for logical arrays they stay true).
ArrayPtr readGraph(const std::string& path, const ReadOptions& options = {});

// A Matrix Market coordinate file (real, integer or pattern; general or symmetric).
// Symmetric files are mirrored (the diagonal once).
ArrayPtr readMatrixMarket(LineReader& lines, const ReadOptions& options);

// An edge list: "u v" or "u v w" per line, blank lines and lines starting with # or %
// skipped; 1-based unless options.zeroBased. The vertex count is the largest vertex.
ArrayPtr readEdgeList(LineReader& lines, const ReadOptions& options);

// A vector as a 1-by-k double row: one value per line (blank lines and lines that
// start with % or # are skipped), or a Matrix Market array file (real or integer,
// general) whose values are taken in the file's column-major order.
ArrayPtr readVector(const std::string& path);
ArrayPtr readVectorLines(LineReader& lines);

}  // namespace linkwork::cli
