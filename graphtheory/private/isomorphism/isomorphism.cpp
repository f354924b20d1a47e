// "iso": are two graphs isomorphic, and the vertex correspondence when they are.
#include <iostream>
#include <vector>

#include <boost/graph/isomorphism.hpp>

#include "gateway/guard.h"
#include "gateway/trace.h"
#include "import/arguments.h"
#include "import/results.h"
#include "import/sparse_import.h"
#include "isomorphism/isomorphism.h"

namespace {

// Vertices get the indices 0..N-1 in creation order; directed graphs take every
// stored entry, undirected ones the strict lower triangle. Values are never read.
template <class Graph>
Graph importIsoGraph(const hxArray* array, int traceLevel) {
    using Handle = typename boost::graph_traits<Graph>::vertex_descriptor;
    const SparseGraphArray a = readGraphArray(array);
    Graph g;
    std::vector<Handle> handles(a.n);
    for (hxSize k = 0; k < a.n; ++k) handles[k] = add_vertex(k, g);
    a.forEachEntry([&](Vertex i, Vertex j, hxIndex) {
        if (isDirected<Graph> || i > j) add_edge(handles[i], handles[j], g);
    });
    if (listsEdges(traceLevel)) {
        // Handles print as their vertex indices: deterministic and readable.
        const auto index = get(boost::vertex_index, g);
        for (const auto e : boost::make_iterator_range(edges(g)))
            std::cout << " <" << get(index, source(e, g)) << "," << get(index, target(e, g)) << "> \n";
        std::cout.flush();
    }
    return g;
}

// True when both are sparse and differ in column count or stored entries.
bool sizesDiffer(const hxArray* first, const hxArray* second) {
    return first->isSparse() && second->isSparse() &&
           (hxGetN(first) != hxGetN(second) || first->storedCount() != second->storedCount());
}

}  // namespace

template <class Graph>
void isoHandler(LINKWORK_HANDLER_ARGS, Graph) {
    using Handle = typename boost::graph_traits<Graph>::vertex_descriptor;
    requireInput(inputCount, 1);
    if (sizesDiffer(inputs[0], inputs[1])) {
        outputs[0] = testScalar(false);
        double* unused = nullptr;
        if (wantsOutput(outputCount, 2)) outputs[1] = createMatrix(0, 0, unused);
        return;
    }
    Trace trace(traceLevel);
    const Graph first = importIsoGraph<Graph>(inputs[0], traceLevel);
    const Graph second = importIsoGraph<Graph>(inputs[1], traceLevel);
    trace.graphsCopied();
    const hxSize n1 = num_vertices(first);
    std::vector<Handle> map(n1, nullptr);
    bool isomorphic = false;
    guarded(traceLevel, failures::isomorphism, [&] {
        isomorphic = boost::isomorphism(
            first, second, boost::isomorphism_map(boost::make_iterator_property_map(map.begin(), get(boost::vertex_index, first))));
    });
    trace.algorithmFinished();
    outputs[0] = testScalar(isomorphic);
    if (wantsOutput(outputCount, 2)) {
        double* data = nullptr;
        outputs[1] = isomorphic ? createRow(n1, data) : createMatrix(0, 0, data);
        if (isomorphic) {
            // The library leaves some isolated vertices unmapped (null handles). Map
            // them, in index order, onto the second graph's unused vertices, which are
            // isolated too since the degrees match.
            const auto index2 = get(boost::vertex_index, second);
            std::vector<bool> used(num_vertices(second), false);
            for (const Handle h : map)
                if (h != nullptr) used[get(index2, h)] = true;
            std::size_t nextUnused = 0;
            for (std::size_t k = 0; k < n1; ++k) {
                std::size_t target;
                if (map[k] != nullptr) {
                    target = get(index2, map[k]);
                } else {
                    while (used[nextUnused]) ++nextUnused;
                    target = nextUnused;
                    used[target] = true;
                }
                data[k] = static_cast<double>(target + 1);
            }
        }
    }
    trace.outputsCopied();
}

template void isoHandler<IsoDirectedGraph>(LINKWORK_HANDLER_ARGS, IsoDirectedGraph);
template void isoHandler<IsoUndirectedGraph>(LINKWORK_HANDLER_ARGS, IsoUndirectedGraph);
