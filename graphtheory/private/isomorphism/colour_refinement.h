#pragma once

#include <cstdint>
#include <vector>

#include "host/hgw.h"
#include "isomorphism/iso_graph.h"

// Colours of the vertices of two graphs with the same vertex count, refined together
// so that a colour means the same in either graph: two vertices share a colour when
// they have the same out- and in-degree and, recursively, the same numbers of out-
// and in-neighbours of every colour (the coarsest such partition). An isomorphism
// maps every vertex to a vertex of its own colour, so the colours only prune a
// search; when some colour counts differently in the two graphs, there is none.
//
// The partition is kept over the disjoint union (vertices 0..n-1 of the first graph,
// n..2n-1 of the second), each class a range of `elements_`; a class is split by its
// members' neighbour counts in a splitter class, and all but one largest piece of a
// split are queued as new splitters.
class JointColours {
public:
    using Index = IsoGraph::Index;

    JointColours(const IsoGraph& first, const IsoGraph& second);

    // Refines from the degrees; where that leaves a large class and the graphs are
    // small, each vertex's breadth-first distance profile splits the classes further
    // before a second refinement. False as soon as some colour counts differently.
    bool refine();

    // Gives v (first graph) and u (second graph), which share a colour, a colour of
    // their own and refines from there: the colours an isomorphism that maps v onto u
    // must keep. False when it cannot exist.
    bool individualise(Index v, Index u);

    Index first(Index v) const { return classOf_[v]; }
    Index second(Index u) const { return classOf_[n_ + u]; }
    Index colourCount() const { return static_cast<Index>(begin_.size()); }
    // How many vertices of the first graph have this colour.
    Index firstGraphCount(Index colour) const { return firstCount_[colour]; }

private:
    bool start(const std::vector<std::uint64_t>& keys);
    bool stabilise();
    bool split(bool countOutNeighbours);
    bool splitClass(Index c, std::size_t i, std::size_t j);
    bool balanced(Index c) const { return 2 * std::uint64_t{firstCount_[c]} == end_[c] - begin_[c]; }
    Index sizeOf(Index c) const { return end_[c] - begin_[c]; }
    void swapPositions(Index p, Index q);
    void queue(Index c);
    bool distanceProfilesPay() const;

    const IsoGraph* first_;
    const IsoGraph* second_;
    Index n_, size_;
    std::vector<Index> elements_, position_, classOf_;
    std::vector<Index> begin_, end_, firstCount_;
    std::vector<char> queued_;
    std::vector<Index> queue_;
    // Scratch of one split, kept to save allocations.
    std::vector<Index> hits_, splitter_, touched_, grouped_, classHits_, touchedClasses_, cuts_, pieces_;
};
