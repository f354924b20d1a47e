#pragma once

#include <vector>

#include "isomorphism/iso_graph.h"

// Colours of the vertices of two graphs with the same vertex count, refined together
// so that a colour means the same in either graph: two vertices share a colour when
// they have the same out- and in-degree and, recursively, the same numbers of out-
// and in-neighbours of every colour (the coarsest such partition). Where that leaves
// a large class and the graphs are small, each vertex's breadth-first distance
// profile splits the classes further before a second refinement.
//
// An isomorphism maps every vertex to a vertex of its own colour, so the colours
// only prune a search. Returns false, with the colours unspecified, as soon as some
// colour counts differently in the two graphs: then they are not isomorphic.
bool jointColours(const IsoGraph& first, const IsoGraph& second, std::vector<IsoGraph::Index>& firstColours,
                  std::vector<IsoGraph::Index>& secondColours, IsoGraph::Index& colourCount);

// Whether the distance profiles are computed for graphs of this size once colour
// refinement leaves a class of largestClass vertices in each graph.
bool wantsDistanceProfiles(const IsoGraph& g, IsoGraph::Index largestClass);
