// "pri" and "kru": minimum spanning tree of the root's component, and minimum
// spanning forest, as a sparse lower-triangle array plus predecessors from the root.
#include <algorithm>
#include <iterator>
#include <limits>
#include <vector>

#include <boost/graph/adjacency_list.hpp>
#include <boost/graph/breadth_first_search.hpp>
#include <boost/graph/kruskal_min_spanning_tree.hpp>
#include <boost/graph/prim_minimum_spanning_tree.hpp>

#include "gateway/guard.h"
#include "gateway/interrupt.h"
#include "gateway/trace.h"
#include "import/arguments.h"
#include "import/results.h"
#include "import/sparse_import.h"
#include "trees/trees.h"

namespace {

using Graph = UndirectedWeightedGraph;
using Edge = boost::graph_traits<Graph>::edge_descriptor;
// The tree found, built edge by edge.
using Tree = boost::adjacency_list<boost::vecS, boost::vecS, boost::undirectedS, boost::no_property,
                                   boost::property<boost::edge_weight_t, double>, boost::no_property, boost::vecS>;
using TreeEdge = boost::graph_traits<Tree>::edge_descriptor;

// Each tree edge {u, v} is stored once, at row max(u, v) and column min(u, v), with
// room for N - 1 entries; edges of weight 0 stay as stored zeros. The tree has at
// most one edge per pair, so sorting its edges gives the column-major order.
hxArray* treeOutput(const Tree& tree) {
    const hxSize n = num_vertices(tree);
    std::vector<SparseEntry> entries;
    entries.reserve(num_edges(tree));
    for (const TreeEdge e : boost::make_iterator_range(edges(tree))) {
        const Vertex u = source(e, tree), v = target(e, tree);
        entries.push_back({std::max(u, v), std::min(u, v), get(boost::edge_weight, tree, e)});
    }
    return sparseResult(n, n == 0 ? 0 : n - 1, std::move(entries));
}

// Records the breadth-first tree of the forest as predecessors.
class PredecessorRecorder : public boost::default_bfs_visitor {
public:
    explicit PredecessorRecorder(std::vector<Vertex>* predecessor) : predecessor_(predecessor) {}
    void tree_edge(TreeEdge e, const Tree& g) const { (*predecessor_)[target(e, g)] = source(e, g); }

private:
    std::vector<Vertex>* predecessor_;
};

int customWeightsIndex(int inputCount) { return inputCount > 2 ? 2 : 0; }

}  // namespace

void priHandler(LINKWORK_HANDLER_ARGS) {
    Trace trace(traceLevel);
    const Graph g = importUndirectedWeightedGraph(inputs, customWeightsIndex(inputCount), traceLevel);
    trace.graphCopied();
    const hxSize n = num_vertices(g);
    const Vertex root = vertexArgument(inputs, inputCount, 1, n, VertexRole::Root);
    std::vector<Vertex> predecessor = identityPredecessors(n);
    guarded(traceLevel, failures::prim, [&] {
        std::vector<double> distance(n, 0.0);
        InterruptPoll poll;
        // Prim's search: Dijkstra's with the edge weight as the key; a negative weight
        // it meets makes it throw. Its infinity is +Inf, not the largest finite double,
        // so that a vertex reached only through an edge of that weight still joins.
        boost::dijkstra_shortest_paths(g, root, predecessor.data(), distance.data(), get(boost::edge_weight, g),
                                       get(boost::vertex_index, g), std::less<double>(),
                                       boost::detail::_project2nd<double, double>(), HostInf, 0.0,
                                       boost::make_dijkstra_visitor(PollOnEvent<>{&poll}));
    });
    trace.algorithmFinished();
    Tree tree(n);
    for (Vertex v = 0; v < n; ++v) {
        const Vertex p = predecessor[v];
        if (p == v) continue;
        for (const auto e : boost::make_iterator_range(out_edges(v, g)))
            if (target(e, g) == p) {
                add_edge(v, p, get(boost::edge_weight, g, e), tree);
                break;
            }
    }
    outputs[0] = treeOutput(tree);
    if (wantsOutput(outputCount, 2)) outputs[1] = predecessorRow(predecessor, root);
    trace.outputsCopied();
}

void kruHandler(LINKWORK_HANDLER_ARGS) {
    Trace trace(traceLevel);
    const Graph g = importUndirectedWeightedGraph(inputs, customWeightsIndex(inputCount), traceLevel);
    trace.graphCopied();
    const hxSize n = num_vertices(g);
    const Vertex root = vertexArgument(inputs, inputCount, 1, n, VertexRole::Root);
    std::vector<Edge> accepted;
    guarded(traceLevel, failures::kruskal, [&] {
        // Kruskal's takes no visitor: it polls through the weights it compares.
        InterruptPoll poll;
        boost::kruskal_minimum_spanning_tree(g, std::back_inserter(accepted),
                                             boost::weight_map(polled(get(boost::edge_weight, g), poll)));
    });
    trace.algorithmFinished();
    Tree tree(n);
    for (const Edge e : accepted) add_edge(source(e, g), target(e, g), get(boost::edge_weight, g, e), tree);
    outputs[0] = treeOutput(tree);
    if (wantsOutput(outputCount, 2)) {
        // The forest oriented from the root: vertices outside the root's tree stay unreached.
        std::vector<Vertex> predecessor = identityPredecessors(n);
        std::vector<boost::default_color_type> colors(n, boost::white_color);
        boost::queue<Vertex> queue;
        boost::breadth_first_visit(tree, root, queue, PredecessorRecorder(&predecessor), colors.data());
        outputs[1] = predecessorRow(predecessor, root);
    }
    trace.outputsCopied();
}
