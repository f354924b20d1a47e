// "edm" (Edmonds-Karp on double capacities) and "gol" (push-relabel on scaled
// integer capacities): the flow value and the flow on every edge.
#include <cmath>
#include <vector>

#include <boost/graph/edmonds_karp_max_flow.hpp>  // the residual graph and the augmentation
#include <boost/graph/push_relabel_max_flow.hpp>

#include "flow/capacity_graphs.h"
#include "flow/flow.h"
#include "flow/flow_cycles.h"
#include "gateway/guard.h"
#include "gateway/interrupt.h"
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
template <class Capacity, class Convert>
hxArray* flowMatrix(const FlowNetwork<Capacity>& g, Convert convertFlow) {
    std::vector<SparseEntry> entries;
    for (const auto v : boost::make_iterator_range(vertices(g.graph)))
        for (const auto e : boost::make_iterator_range(out_edges(v, g.graph))) {
            const Capacity capacity = g.capacity[e.idx], residual = g.residual[e.idx];
            if (capacity > 0 && residual != capacity)
                entries.push_back({static_cast<Vertex>(v), static_cast<Vertex>(target(e, g.graph)),
                                   convertFlow(capacity - residual)});
        }
    return sparseResult(num_vertices(g.graph), num_edges(g.graph), std::move(entries));
}

// The breadth-first queue of one search: every vertex it ever held stays in
// `held` (so the search's colours can be reset from it), and it reads as empty once
// the sink has been discovered, which ends the library's visit.
struct SinkStoppedQueue {
    std::vector<Vertex>& held;
    std::size_t head = 0;
    bool sinkFound = false;

    void push(Vertex v) { held.push_back(v); }
    Vertex top() const { return held[head]; }
    void pop() { ++head; }
    bool empty() const { return sinkFound || head == held.size(); }
};

// Records the edge by which each vertex is discovered; stops the queue at the sink.
template <class Predecessors>
struct AugmentingPathVisitor : boost::default_bfs_visitor {
    Predecessors predecessors;
    Vertex sink;
    SinkStoppedQueue* queue;
    InterruptPoll* interrupt;

    template <class Edge, class Graph>
    void tree_edge(const Edge& e, const Graph& g) const {
        put(predecessors, target(e, g), e);
        if (static_cast<Vertex>(target(e, g)) == sink) queue->sinkFound = true;
    }
    template <class Graph>
    void examine_vertex(Vertex, const Graph&) const {
        interrupt->step();
    }
};

// Edmonds-Karp from the library's parts: a breadth-first visit of the residual graph
// from the source, stopped once the sink is discovered, then the library's
// augmentation along the recorded edges by their smallest residual capacity. The
// sink's tree path is complete when it is discovered, so every augmenting path, and
// with it every residual capacity and the flow, is the one a search run to the end
// would give; only the rest of the graph is not searched. Colours are reset for the
// vertices the search reached, not for the whole graph. Returns the net flow out of
// the source, summed over its out-edges in order.
template <class Graph, class CapacityMap, class ResidualMap, class ReverseMap, class ColorMap, class PredecessorMap>
typename boost::property_traits<CapacityMap>::value_type shortestPathsMaxFlow(
    Graph& g, Vertex source, Vertex sink, CapacityMap capacity, ResidualMap residual, ReverseMap reverse,
    ColorMap color, PredecessorMap predecessors) {
    for (const auto u : boost::make_iterator_range(vertices(g)))
        for (const auto e : boost::make_iterator_range(out_edges(u, g))) put(residual, e, get(capacity, e));
    const auto residualGraph = boost::detail::residual_graph(g, residual);
    std::vector<Vertex> held;
    InterruptPoll interrupt;
    for (;;) {
        held.clear();
        SinkStoppedQueue queue{held};
        boost::breadth_first_visit(residualGraph, source, queue,
                                   AugmentingPathVisitor<PredecessorMap>{{}, predecessors, sink, &queue, &interrupt},
                                   color);
        for (const Vertex v : held) put(color, v, boost::white_color);
        if (!queue.sinkFound) break;
        boost::detail::augment(g, source, sink, predecessors, residual, reverse);
    }
    typename boost::property_traits<CapacityMap>::value_type flow = 0;
    for (const auto e : boost::make_iterator_range(out_edges(source, g))) flow += get(capacity, e) - get(residual, e);
    return flow;
}

}  // namespace

void edmHandler(LINKWORK_HANDLER_ARGS) {
    Trace trace(traceLevel);
    double finiteCapacityTotal = HostInf;
    int exponent = 0;
    CapacityGraph g;
    importCapacityGraph(g, inputs, traceLevel, customCapacitiesIndex(inputCount), finiteCapacityTotal, exponent);
    trace.graphCopied();
    const Terminals st = readTerminals(inputs, inputCount, num_vertices(g.graph));
    std::vector<boost::default_color_type> colors(num_vertices(g.graph), boost::white_color);
    std::vector<FlowEdge> predecessors(num_vertices(g.graph));
    double flow = 0.0;
    guarded(traceLevel, failures::edmondsKarp, [&] {
        flow = shortestPathsMaxFlow(g.graph, st.source, st.destination, g.capacityMap(), g.residualMap(), g.twinMap(),
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
    const Terminals st = readTerminals(inputs, inputCount, num_vertices(g.graph));
    std::int64_t flow = 0;
    guarded(traceLevel, failures::goldberg, [&] {
        // Maximum preflow, then its conversion into a flow. The search reaches its
        // vertex data through the index map, which polls.
        InterruptPoll poll;
        flow = boost::push_relabel_max_flow(g.graph, st.source, st.destination, g.capacityMap(), g.residualMap(),
                                            g.twinMap(), polled(get(boost::vertex_index, g.graph), poll));
        // The conversion leaves cycles of flow that it did not meet from the vertices
        // with excess; a flow that gathers nothing at the sink keeps none.
        cancelFlowCycles(g.graph, g.capacityMap(), g.residualMap(), g.twinMap());
    });
    trace.algorithmFinished();
    const bool infinite = flow >= scaling.cutoff;
    outputs[0] = countScalar(infinite ? HostInf : scaling.toDouble(flow));
    if (wantsOutput(outputCount, 2))
        outputs[1] = flowMatrix(g, [&](std::int64_t f) {
            return infinite && f >= scaling.cutoff ? HostInf : scaling.toDouble(f);
        });
}
