// "wcc" (connected, or weakly connected, components) and "scc" (strongly connected).
#include <vector>

#include <boost/graph/connected_components.hpp>
#include <boost/graph/strong_components.hpp>

#include "gateway/guard.h"
#include "gateway/trace.h"
#include "import/results.h"
#include "import/sparse_import.h"
#include "traversal/traversal.h"

namespace {

void componentOutputs(int outputCount, hxArray* outputs[], std::size_t count, const std::vector<Vertex>& labels) {
    outputs[0] = countScalar(static_cast<double>(count));
    if (wantsOutput(outputCount, 2)) outputs[1] = labelRow(labels);
}

}  // namespace

void wccHandler(LINKWORK_HANDLER_ARGS, bool directedFlag) {
    (void)inputCount;
    Trace trace(traceLevel);
    // Directed: every entry is an edge, its direction dropped (weak components).
    const UndirectedGraph g =
        directedFlag ? importUndirectedGraphAllEntries(inputs, traceLevel) : importUndirectedGraph(inputs, traceLevel);
    trace.graphCopied();
    std::vector<Vertex> labels(num_vertices(g), 0);
    std::size_t count = 0;
    guarded(traceLevel, failures::connectedComponents, [&] { count = boost::connected_components(g, labels.data()); });
    trace.algorithmFinished();
    componentOutputs(outputCount, outputs, count, labels);
    trace.outputsCopied();
}

void sccHandler(LINKWORK_HANDLER_ARGS) {
    (void)inputCount;
    Trace trace(traceLevel);
    const DirectedGraph g = importDirectedGraph(inputs, traceLevel);
    trace.graphCopied();
    std::vector<Vertex> labels(num_vertices(g), 0);
    std::size_t count = 0;
    guarded(traceLevel, failures::tarjan, [&] { count = boost::strong_components(g, labels.data()); });
    trace.algorithmFinished();
    componentOutputs(outputCount, outputs, count, labels);
    trace.outputsCopied();
}
