// "wcc" (connected, or weakly connected, components) and "scc" (strongly connected).
#include <vector>

#include <boost/graph/connected_components.hpp>
#include <boost/graph/strong_components.hpp>

#include "gateway/guard.h"
#include "gateway/interrupt.h"
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
    guarded(traceLevel, failures::connectedComponents, [&] {
        // The library's search takes no visitor here: it polls through the colours it reads per edge.
        std::vector<boost::default_color_type> colors(num_vertices(g));
        InterruptPoll poll;
        count = boost::connected_components(
            g, labels.data(),
            boost::color_map(polled(boost::make_iterator_property_map(colors.begin(), get(boost::vertex_index, g)), poll)));
    });
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
    guarded(traceLevel, failures::tarjan, [&] {
        // Tarjan's search polls through the discovery times it reads per edge.
        const hxSize n = num_vertices(g);
        std::vector<Vertex> roots(n), discoverTimes(n);
        std::vector<boost::default_color_type> colors(n);
        InterruptPoll poll;
        count = boost::strong_components(g, labels.data(),
                                         boost::root_map(roots.data())
                                             .discover_time_map(polled(discoverTimes.data(), poll))
                                             .color_map(colors.data()));
    });
    trace.algorithmFinished();
    componentOutputs(outputCount, outputs, count, labels);
    trace.outputsCopied();
}
