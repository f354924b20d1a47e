// Reading a graph file in parallel: every rank parses its own part of the file and
// sends each entry to the rank that owns it, so no rank holds the whole graph.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common.h"

namespace linkwork::dist {

// A stored matrix entry: row -> col with its value. `order` is the entry's position
// in the file (a byte offset or record number), so that repeated entries are summed
// in file order, as the single-machine reader sums them.
struct Entry {
    std::uint64_t row;
    std::uint64_t col;
    double value;
    std::uint64_t order;
};

// Where the entries go and which are kept. The undirected readings fold the two
// triangles as the single-machine command does: an entry at (i, j) or (j, i) is one
// edge, where both exist the lighter weight wins (a number wins over NaN), and
// self-loops are dropped; the "Lower" readings take the matrix as stored, only the
// entries below the diagonal.
enum class Routing {
    Directed,       // every entry, at the owner of its row
    AllMirrored,    // every entry, at the owners of both ends (both directions)
    FoldMirrored,   // undirected, at the owners of both ends (both directions)
    FoldSingle,     // undirected, once, as (larger, smaller) at the owner of the larger end
    LowerMirrored,  // entries below the diagonal, at the owners of both ends (both directions)
    LowerSingle,    // entries below the diagonal, at the owner of the row only
};

enum class Format { Auto, MatrixMarket, Edges, Binary };

struct ReadOptions {
    Format format = Format::Auto;
    bool zeroBased = false;  // edge lists: vertices numbered from 0
};

// The part of the graph this rank owns: entries sorted by (row, col), repeated
// entries summed in file order (pattern files: weight 1), ready for a local
// compressed sparse row layout of the rows in `blocks`' range for this rank.
struct LocalGraph {
    std::uint64_t vertexCount = 0;
    std::uint64_t storedCount = 0;  // stored entries of the whole matrix, after summing
    bool pattern = false;
    Blocks blocks;
    std::vector<Entry> entries;
};

LocalGraph readGraph(const World& world, const std::string& path, const ReadOptions& options, Routing routing);

// The binary edge format (little-endian): a 64-byte header, then one record per
// stored entry, sorted by row then column, repeated entries already summed.
//   bytes 0-7   "LWEDGES1"
//   bytes 8-15  flags: bit 0 set when records carry a weight (else every weight is 1)
//   bytes 16-23 vertex count n
//   bytes 24-31 record count m
//   bytes 32-63 zero
// Records: row (uint64, 0-based), column (uint64, 0-based), then for weighted files
// the weight (IEEE double): 16 or 24 bytes each.
inline constexpr char binaryMagic[8] = {'L', 'W', 'E', 'D', 'G', 'E', 'S', '1'};
inline constexpr std::uint64_t binaryHeaderSize = 64;

// Writes the whole graph as read with Routing::Directed to a binary edge file, each
// rank its own rows, at their place in the file.
void writeBinary(const World& world, const LocalGraph& graph, const std::string& path);

}  // namespace linkwork::dist
