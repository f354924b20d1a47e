// "edm" (Edmonds-Karp on double capacities) and "gol" (push-relabel on scaled
// integer capacities): the flow value and the flow on every edge.
#include <cmath>
#include <vector>

#include <boost/graph/edmonds_karp_max_flow.hpp>
#include <boost/graph/push_relabel_max_flow.hpp>

#include "flow/capacity_graphs.h"
#include "flow/flow.h"
#include "flow/flow_cycles.h"
#include "gateway/guard.h"
#include "gateway/trace.h"
#include "import/arguments.h"
#include "import/results.h"

namespace {

struct Terminals {
    Vertex source, destination;
};

// Source, then destination, then that they differ.
Terminals readTerminals(const hxArray* inputs[], int inputCount, hxSize n) {
    const Vertex s = vertexArgument(inputs, inputCount, 1, n, VertexRole::Source);
    const Vertex t = vertexArgument(inputs, inputCount, 2, n, VertexRole::Destination);
    if (s == t)
        hgwErrMsgIdAndTxt("genokit:linkworkhgw:NotValidNode", "Source and destination nodes should not be the same.");
    return {s, t};
}

// The flow on each edge of the input (capacity above 0, residual differing from it),
// stored at row i + 1, column j + 1, with room for every edge, twins included.
// Reciprocal entries are rejected on import, so at most one such edge joins i to j.
template <class Graph, class Convert>
hxArray* flowMatrix(const Graph& g, Convert convertFlow) {
    std::vector<SparseEntry> entries;
    for (const auto v : boost::make_iterator_range(vertices(g)))
        for (const auto e : boost::make_iterator_range(out_edges(v, g))) {
            const auto capacity = get(boost::edge_capacity, g, e);
            const auto residual = get(boost::edge_residual_capacity, g, e);
            if (capacity > 0 && residual != capacity)
                entries.push_back({static_cast<Vertex>(v), static_cast<Vertex>(target(e, g)),
                                   convertFlow(capacity - residual)});
        }
    return sparseResult(num_vertices(g), num_edges(g), std::move(entries));
}

}  // namespace

void edmHandler(LINKWORK_HANDLER_ARGS) {
    Trace trace(traceLevel);
    double finiteCapacityTotal = HostInf;
    int exponent = 0;
    CapacityGraph g;
    importCapacityGraph(g, inputs, traceLevel, customCapacitiesIndex(inputCount), finiteCapacityTotal, exponent);
    trace.graphCopied();
    const Terminals st = readTerminals(inputs, inputCount, num_vertices(g));
    std::vector<boost::default_color_type> colors(num_vertices(g), boost::white_color);
    std::vector<boost::graph_traits<CapacityGraph>::edge_descriptor> predecessors(num_vertices(g));
    double flow = 0.0;
    guarded(traceLevel, failures::edmondsKarp, [&] {
        flow = boost::edmonds_karp_max_flow(g, st.source, st.destination, get(boost::edge_capacity, g),
                                            get(boost::edge_residual_capacity, g), get(boost::edge_reverse, g),
                                            colors.data(), predecessors.data());
    });
    trace.algorithmFinished();
    // Each infinite capacity stood in as twice the finite total S. A finite flow is at
    // most S and an all-infinite path carries at least 2S; testing against 1.5 S keeps
    // a finite flow that rounding puts an ulp above S (0.3 + 0.6) from reading +Inf.
    // Flows of a rescaled graph are multiplied back (exactly; past the double range
    // they read +Inf).
    const bool infinite = finiteCapacityTotal != HostInf && flow > 1.5 * finiteCapacityTotal;
    outputs[0] = countScalar(infinite ? HostInf : std::ldexp(flow, exponent));
    if (wantsOutput(outputCount, 2))
        outputs[1] = flowMatrix(g, [&](double f) {
            return infinite && f > finiteCapacityTotal ? HostInf : std::ldexp(f, exponent);
        });
}

void golHandler(LINKWORK_HANDLER_ARGS) {
    Trace trace(traceLevel);
    IntegerScaling scaling{};
    IntegerCapacityGraph g;
    importIntegerCapacityGraph(g, inputs, traceLevel, customCapacitiesIndex(inputCount), scaling);
    trace.graphCopied();
    const Terminals st = readTerminals(inputs, inputCount, num_vertices(g));
    std::int64_t flow = 0;
    guarded(traceLevel, failures::goldberg, [&] {
        // Maximum preflow, then its conversion into a flow.
        flow = boost::push_relabel_max_flow(g, st.source, st.destination, get(boost::edge_capacity, g),
                                            get(boost::edge_residual_capacity, g), get(boost::edge_reverse, g),
                                            get(boost::vertex_index, g));
        // The conversion leaves cycles of flow that it did not meet from the vertices
        // with excess; a flow that gathers nothing at the sink keeps none.
        cancelFlowCycles(g, get(boost::edge_capacity, g), get(boost::edge_residual_capacity, g),
                         get(boost::edge_reverse, g));
    });
    trace.algorithmFinished();
    const bool infinite = flow >= scaling.cutoff;
    outputs[0] = countScalar(infinite ? HostInf : scaling.toDouble(flow));
    if (wantsOutput(outputCount, 2))
        outputs[1] = flowMatrix(g, [&](std::int64_t f) {
            return infinite && f >= scaling.cutoff ? HostInf : scaling.toDouble(f);
        });
}
