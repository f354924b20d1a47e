// "iso": are two graphs isomorphic, and the vertex correspondence when they are.
#include <iostream>
#include <vector>

#include "gateway/guard.h"
#include "gateway/listing.h"
#include "gateway/trace.h"
#include "import/arguments.h"
#include "import/results.h"
#include "import/sparse_import.h"
#include "isomorphism/iso_graph.h"
#include "isomorphism/iso_search.h"
#include "isomorphism/isomorphism.h"

namespace {

// Directed graphs take every stored entry, undirected ones the strict lower
// triangle; values are never read. Each vertex's edges keep the entries' order.
IsoGraph importIsoGraph(const hxArray* array, bool directed, int traceLevel) {
    const SparseGraphArray a = readGraphArray(array);
    IsoGraph g = buildIsoGraph(a.n, directed, [&](auto&& add) {
        a.forEachEntry([&](Vertex i, Vertex j, hxIndex) {
            if (directed || i > j) add(static_cast<IsoGraph::Index>(i), static_cast<IsoGraph::Index>(j));
        });
    });
    if (listsEdges(traceLevel)) {
        // Vertices print as their indices, the edges in the order they were added.
        ListingWriter out;
        a.forEachEntry([&](Vertex i, Vertex j, hxIndex) {
            if (!directed && i <= j) return;
            out << " <" << i << "," << j << "> ";
            out.endLine();
        });
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
    requireInput(inputCount, 1);
    if (sizesDiffer(inputs[0], inputs[1])) {
        outputs[0] = testScalar(false);
        double* unused = nullptr;
        if (wantsOutput(outputCount, 2)) outputs[1] = createMatrix(0, 0, unused);
        return;
    }
    Trace trace(traceLevel);
    const IsoGraph first = importIsoGraph(inputs[0], isDirected<Graph>, traceLevel);
    const IsoGraph second = importIsoGraph(inputs[1], isDirected<Graph>, traceLevel);
    trace.graphsCopied();
    std::vector<IsoGraph::Index> map;
    bool isomorphic = false;
    guarded(traceLevel, failures::isomorphism, [&] { isomorphic = findIsomorphism(first, second, map); });
    trace.algorithmFinished();
    outputs[0] = testScalar(isomorphic);
    if (wantsOutput(outputCount, 2)) {
        double* data = nullptr;
        outputs[1] = isomorphic ? createRow(first.n, data) : createMatrix(0, 0, data);
        if (isomorphic)
            for (std::size_t k = 0; k < map.size(); ++k) data[k] = static_cast<double>(map[k]) + 1.0;
    }
    trace.outputsCopied();
}

template void isoHandler<IsoDirectedGraph>(LINKWORK_HANDLER_ARGS, IsoDirectedGraph);
template void isoHandler<IsoUndirectedGraph>(LINKWORK_HANDLER_ARGS, IsoUndirectedGraph);
