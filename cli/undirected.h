// Undirected graphs as users mean them: an entry at (i, j) or (j, i) is one edge.
#pragma once

#include <cstddef>

#include "linkwork/runtime.h"

namespace linkwork::cli {

struct FoldedGraph {
    ArrayPtr graph;
    ArrayPtr weights;            // the custom weights folded alike, or null when none were given
    std::size_t selfLoops = 0;   // diagonal entries dropped
    std::size_t differing = 0;   // pairs (i, j), (j, i) whose weights differed: the lighter one was kept
};

// Moves every stored entry of `graph` to row max(i, j), column min(i, j), the strict
// lower triangle that the module reads undirected graphs from, and drops diagonal
// entries. Two entries that land on one place keep the lighter weight (a number wins
// over NaN), as the Python front end does. `weights`, when given, holds one custom
// weight per stored entry in column-major order (the caller checks the count) and is
// folded the same way.
FoldedGraph foldUndirected(const hxArray& graph, const hxArray* weights);

// Stored entries on or above the diagonal: the ones an undirected reading of the
// matrix as stored ignores.
std::size_t entriesOutsideLowerTriangle(const hxArray& graph);

}  // namespace linkwork::cli
