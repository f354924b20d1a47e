// "dij" (Dijkstra's shortest paths) and "spb" (shortest paths in edges, by breadth-first search).
#include <vector>

#include <boost/graph/breadth_first_search.hpp>
#include <boost/graph/dijkstra_shortest_paths.hpp>

#include "gateway/guard.h"
#include "gateway/interrupt.h"
#include "gateway/trace.h"
#include "import/arguments.h"
#include "import/results.h"
#include "import/sparse_import.h"
#include "paths/paths.h"

template <class Graph>
void dijHandler(LINKWORK_HANDLER_ARGS, Graph) {
    Trace trace(traceLevel);
    const Graph g = importWeightedGraph<Graph>(inputs, inputCount > 2 ? 2 : 0, traceLevel);
    trace.graphCopied();
    const hxSize n = num_vertices(g);
    const Vertex s = vertexArgument(inputs, inputCount, 1, n, VertexRole::Source);
    std::vector<double> distance(n, 0.0);
    std::vector<Vertex> predecessor(n, 0);
    const bool wantsPredecessors = wantsOutput(outputCount, 2);
    guarded(traceLevel, failures::dijkstra, [&] {
        // The library starts every distance at +Inf and every predecessor at the
        // vertex itself, and throws on the first negative weight it examines.
        InterruptPoll poll;
        const auto parameters = boost::distance_map(distance.data())
                                    .distance_inf(HostInf)
                                    .visitor(boost::make_dijkstra_visitor(PollOnEvent<>{&poll}));
        if (wantsPredecessors)
            boost::dijkstra_shortest_paths(g, s, parameters.predecessor_map(predecessor.data()));
        else
            boost::dijkstra_shortest_paths(g, s, parameters);
    });
    trace.algorithmFinished();
    outputs[0] = distanceRow(distance);
    if (wantsPredecessors) outputs[1] = predecessorRow(predecessor, s);
    trace.outputsCopied();
}

template <class Graph>
void spbHandler(LINKWORK_HANDLER_ARGS, Graph) {
    Trace trace(traceLevel);
    const Graph g = importGraph<Graph>(inputs, traceLevel);
    trace.graphCopied();
    const hxSize n = num_vertices(g);
    const Vertex s = vertexArgument(inputs, inputCount, 1, n, VertexRole::Source);
    std::vector<Vertex> distance(n, 0), predecessor = identityPredecessors(n);
    std::vector<boost::default_color_type> colors(n, boost::white_color);
    guarded(traceLevel, failures::breadthFirstPaths, [&] {
        boost::queue<Vertex> queue;
        InterruptPoll poll;
        boost::breadth_first_visit(
            g, s, queue,
            boost::make_bfs_visitor(std::make_pair(
                boost::record_distances(distance.data(), boost::on_tree_edge()),
                std::make_pair(boost::record_predecessors(predecessor.data(), boost::on_tree_edge()),
                               PollOnEvent<>{&poll}))),
            colors.data());
    });
    trace.algorithmFinished();
    outputs[0] = treeDistanceRow(distance, predecessor, s);
    if (wantsOutput(outputCount, 2)) outputs[1] = predecessorRow(predecessor, s);
    trace.outputsCopied();
}

template void dijHandler<DirectedWeightedGraph>(LINKWORK_HANDLER_ARGS, DirectedWeightedGraph);
template void dijHandler<UndirectedWeightedGraph>(LINKWORK_HANDLER_ARGS, UndirectedWeightedGraph);
template void spbHandler<DirectedGraph>(LINKWORK_HANDLER_ARGS, DirectedGraph);
template void spbHandler<UndirectedGraph>(LINKWORK_HANDLER_ARGS, UndirectedGraph);
