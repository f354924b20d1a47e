#pragma once

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <vector>

// A read-only graph for the isomorphism test: compressed adjacency arrays whose
// per-vertex order is the order in which the import adds the edges, which is the
// order the library's adjacency list would hold them in. Undirected graphs keep each
// edge in both end vertices' lists and have no separate in-lists.
struct IsoGraph {
    using Index = std::uint32_t;
    static constexpr Index none = std::numeric_limits<Index>::max();

    bool directed = false;
    Index n = 0;
    std::size_t edgeCount = 0;      // edges (undirected: each edge once)
    std::vector<Index> outStart;    // n + 1 offsets into outAdj
    std::vector<Index> outAdj;      // out-neighbours (undirected: all neighbours)
    std::vector<Index> inStart;     // directed only
    std::vector<Index> inAdj;

    const Index* outBegin(Index v) const { return outAdj.data() + outStart[v]; }
    const Index* outEnd(Index v) const { return outAdj.data() + outStart[v + 1]; }
    const Index* inBegin(Index v) const { return directed ? inAdj.data() + inStart[v] : outBegin(v); }
    const Index* inEnd(Index v) const { return directed ? inAdj.data() + inStart[v + 1] : outEnd(v); }
    Index outDegree(Index v) const { return outStart[v + 1] - outStart[v]; }
    Index inDegree(Index v) const { return static_cast<Index>(inEnd(v) - inBegin(v)); }
};

// Builds an IsoGraph of n vertices from forEachEdge(add), which calls add(source,
// target) once per edge in insertion order (twice over: once to count, once to fill).
// Throws std::length_error when the graph does not fit the 32-bit indices.
template <class ForEachEdge>
IsoGraph buildIsoGraph(std::uint64_t n, bool directed, ForEachEdge&& forEachEdge) {
    using Index = IsoGraph::Index;
    // Twice n vertices and twice the edges must stay below `none`: the colour
    // refinement works on both graphs side by side.
    constexpr std::uint64_t limit = IsoGraph::none / 2;
    if (n >= limit) throw std::length_error("graph too large for the isomorphism test");
    IsoGraph g;
    g.directed = directed;
    g.n = static_cast<Index>(n);
    g.outStart.assign(g.n + 1, 0);
    if (directed) g.inStart.assign(g.n + 1, 0);
    std::uint64_t edges = 0;
    forEachEdge([&](Index s, Index t) {
        ++g.outStart[s + 1];
        ++(directed ? g.inStart[t + 1] : g.outStart[t + 1]);
        ++edges;
    });
    if (edges >= limit / 2) throw std::length_error("graph too large for the isomorphism test");
    g.edgeCount = edges;
    for (Index v = 0; v < g.n; ++v) g.outStart[v + 1] += g.outStart[v];
    g.outAdj.resize(g.outStart[g.n]);
    std::vector<Index> nextOut(g.outStart.begin(), g.outStart.end() - 1), nextIn;
    if (directed) {
        for (Index v = 0; v < g.n; ++v) g.inStart[v + 1] += g.inStart[v];
        g.inAdj.resize(g.inStart[g.n]);
        nextIn.assign(g.inStart.begin(), g.inStart.end() - 1);
    }
    forEachEdge([&](Index s, Index t) {
        g.outAdj[nextOut[s]++] = t;
        if (directed)
            g.inAdj[nextIn[t]++] = s;
        else
            g.outAdj[nextOut[t]++] = s;
    });
    return g;
}
