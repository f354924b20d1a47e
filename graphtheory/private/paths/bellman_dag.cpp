// "bel" (Bellman-Ford, negative weights, negative cycles) and "spa" (shortest paths
// in a directed acyclic graph; undirected: along a breadth-first tree).
#include <algorithm>
#include <vector>

#include <boost/graph/bellman_ford_shortest_paths.hpp>
#include <boost/graph/breadth_first_search.hpp>
#include <boost/graph/dag_shortest_paths.hpp>

#include "gateway/guard.h"
#include "gateway/interrupt.h"
#include "gateway/trace.h"
#include "import/arguments.h"
#include "import/results.h"
#include "import/sparse_import.h"
#include "paths/negative_cycles.h"
#include "paths/paths.h"

namespace {

const char* const bellmanFordCycle = "Negative cycle found in the Bellman-Ford algorithm.";

// An undirected edge of negative weight is a negative cycle (walk it back and
// forth) as soon as the source reaches one of its ends.
bool reachesNegativeEdge(const UndirectedWeightedGraph& g, Vertex s) {
    std::vector<boost::default_color_type> colors(num_vertices(g), boost::white_color);
    boost::queue<Vertex> queue;
    boost::breadth_first_visit(g, s, queue, boost::default_bfs_visitor(), colors.data());
    for (const auto e : boost::make_iterator_range(edges(g)))
        if (get(boost::edge_weight, g, e) < 0 && colors[source(e, g)] != boost::white_color) return true;
    return false;
}

// Sums the edge weights along the breadth-first tree from the source.
class TreePathWeightVisitor : public boost::default_bfs_visitor {
public:
    TreePathWeightVisitor(std::vector<double>* distance, std::vector<Vertex>* predecessor, InterruptPoll* poll)
        : distance_(distance), predecessor_(predecessor), poll_(poll) {}
    template <class E, class G>
    void examine_edge(E, const G&) const { poll_->step(); }
    template <class E, class G>
    void tree_edge(E e, const G& g) const {
        const Vertex u = source(e, g), v = target(e, g);
        (*distance_)[v] = (*distance_)[u] + get(boost::edge_weight, g, e);
        (*predecessor_)[v] = u;
    }

private:
    std::vector<double>* distance_;
    std::vector<Vertex>* predecessor_;
    InterruptPoll* poll_;
};

}  // namespace

template <class Graph>
void belHandler(LINKWORK_HANDLER_ARGS, Graph) {
    Trace trace(traceLevel);
    const Graph g = importWeightedGraph<Graph>(inputs, inputCount > 2 ? 2 : 0, traceLevel);
    trace.graphCopied();
    const hxSize n = num_vertices(g);
    const Vertex s = vertexArgument(inputs, inputCount, 1, n, VertexRole::Source);
    std::vector<double> distance(n, HostInf);
    distance[s] = 0.0;
    std::vector<Vertex> predecessor = identityPredecessors(n);
    const bool wantsPredecessors = wantsOutput(outputCount, 2);
    guarded(traceLevel, failures::bellmanFord, [&] {
        if constexpr (!isDirected<Graph>)
            if (reachesNegativeEdge(g, s)) negativeCycle(bellmanFordCycle);
        const auto weights = get(boost::edge_weight, g);
        InterruptPoll poll;
        const auto visitor = boost::make_bellman_visitor(PollOnEvent<>{&poll});
        // +Inf is the infinity of the sums, as in "dij" and "pri": the library's default,
        // the largest finite double, would take a path of exactly that length for
        // unreachable and never shorten it.
        const boost::closed_plus<double> combine(HostInf);
        bool noNegativeCycle;
        if (wantsPredecessors)
            noNegativeCycle = boost::bellman_ford_shortest_paths(g, n, weights, predecessor.data(), distance.data(),
                                                                 combine, std::less<double>(), visitor);
        else
            noNegativeCycle = boost::bellman_ford_shortest_paths(g, n, weights, boost::dummy_property_map(),
                                                                 distance.data(), combine, std::less<double>(), visitor);
        if (!noNegativeCycle) negativeCycle(bellmanFordCycle);
        if constexpr (isDirected<Graph>) {
            // Sums with -Inf defeat the library's final test: look for cycles through a
            // -Inf edge, and for finite negative cycles where distances reached -Inf.
            const auto reached = [&](Vertex u) { return distance[u] != HostInf; };
            if (hasMinusInfinityCycle(g, reached)) negativeCycle(bellmanFordCycle);
            if (std::find(distance.begin(), distance.end(), -HostInf) != distance.end() &&
                hasFiniteNegativeCycleAmong(g, reached))
                negativeCycle(bellmanFordCycle);
        }
    });
    trace.algorithmFinished();
    outputs[0] = distanceRow(distance);
    if (wantsPredecessors) outputs[1] = predecessorRow(predecessor, s);
    trace.outputsCopied();
}

template <class Graph>
void spaHandler(LINKWORK_HANDLER_ARGS, Graph) {
    Trace trace(traceLevel);
    // The undirected form always sums the stored values.
    const int customWeights = isDirected<Graph> && inputCount > 2 ? 2 : 0;
    const Graph g = importWeightedGraph<Graph>(inputs, customWeights, traceLevel);
    trace.graphCopied();
    const hxSize n = num_vertices(g);
    const Vertex s = vertexArgument(inputs, inputCount, 1, n, VertexRole::Source);
    std::vector<double> distance(n, 0.0);
    if constexpr (isDirected<Graph>) {
        std::vector<Vertex> predecessor(n, 0);
        const bool wantsPredecessors = wantsOutput(outputCount, 2);
        guarded(traceLevel, failures::dagPaths, [&] {
            InterruptPoll poll;
            const auto parameters = boost::distance_map(distance.data())
                                        .distance_inf(HostInf)
                                        .visitor(boost::make_dijkstra_visitor(PollOnEvent<>{&poll}));
            if (wantsPredecessors)
                boost::dag_shortest_paths(g, s, parameters.predecessor_map(predecessor.data()));
            else
                boost::dag_shortest_paths(g, s, parameters);
        });
        trace.algorithmFinished();
        outputs[0] = distanceRow(distance);
        if (wantsPredecessors) outputs[1] = predecessorRow(predecessor, s);
    } else {
        std::vector<Vertex> predecessor = identityPredecessors(n);
        std::vector<boost::default_color_type> colors(n, boost::white_color);
        guarded(traceLevel, failures::treePaths, [&] {
            boost::queue<Vertex> queue;
            InterruptPoll poll;
            boost::breadth_first_visit(g, s, queue, TreePathWeightVisitor(&distance, &predecessor, &poll), colors.data());
        });
        trace.algorithmFinished();
        outputs[0] = treeDistanceRow(distance, predecessor, s);
        if (wantsOutput(outputCount, 2)) outputs[1] = predecessorRow(predecessor, s);
    }
    trace.outputsCopied();
}

template void belHandler<DirectedWeightedGraph>(LINKWORK_HANDLER_ARGS, DirectedWeightedGraph);
template void belHandler<UndirectedWeightedGraph>(LINKWORK_HANDLER_ARGS, UndirectedWeightedGraph);
template void spaHandler<DirectedWeightedGraph>(LINKWORK_HANDLER_ARGS, DirectedWeightedGraph);
template void spaHandler<UndirectedWeightedGraph>(LINKWORK_HANDLER_ARGS, UndirectedWeightedGraph);
