#pragma once

#include <vector>

#include "isomorphism/iso_graph.h"

// Whether two graphs are isomorphic, and on success the mapping: map[v] is the vertex
// of `second` onto which vertex v of `first` goes.
//
// The mapping is the one the Boost Graph Library's `isomorphism` finds with its
// default degree invariants: the search walks the library's tree of partial mappings
// in the library's order (vertices in its depth-first order, candidates in the second
// graph's vertex or adjacency order) but skips the branches that hold no isomorphism
// (candidates of another colour, or whose edges to the vertices mapped so far do not
// correspond), so the first complete mapping it reaches is the library's first. The
// isolated vertices that the library leaves unmapped go, in index order, onto the
// second graph's unused vertices in index order.
bool findIsomorphism(const IsoGraph& first, const IsoGraph& second, std::vector<IsoGraph::Index>& map);
