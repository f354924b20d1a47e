// "pri" and "kru": minimum spanning tree of the root's component, and minimum
// spanning forest, as a sparse lower-triangle array plus predecessors from the root.
#include <algorithm>
#include <iterator>
#include <limits>
#include <tuple>
#include <vector>

#include <boost/graph/breadth_first_search.hpp>
#include <boost/graph/kruskal_min_spanning_tree.hpp>
#include <boost/graph/prim_minimum_spanning_tree.hpp>

#include "gateway/guard.h"
#include "gateway/trace.h"
#include "import/arguments.h"
#include "import/results.h"
#include "import/sparse_import.h"
#include "trees/trees.h"

namespace {

using Graph = UndirectedWeightedGraph;
using Edge = boost::graph_traits<Graph>::edge_descriptor;

// Each tree edge {u, v} is stored once, at row max(u, v) and column min(u, v),
// column by column with rows increasing; the array has room for N - 1 entries and
// keeps edges of weight 0 as stored zeros. The tree has at most one edge per pair,
// so sorting its edges gives the column-major order directly.
hxArray* treeOutput(const Graph& tree) {
    const hxSize n = num_vertices(tree);
    std::vector<std::tuple<Vertex, Vertex, double>> entries;  // column, row, weight
    entries.reserve(num_edges(tree));
    for (const Edge e : boost::make_iterator_range(edges(tree))) {
        const Vertex u = source(e, tree), v = target(e, tree);
        entries.emplace_back(std::min(u, v), std::max(u, v), get(boost::edge_weight, tree, e));
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return std::tie(std::get<0>(a), std::get<1>(a)) < std::tie(std::get<0>(b), std::get<1>(b)); });
    hxArray* output = hxCreateSparse_730(n, n, n == 0 ? 0 : n - 1, hxREAL);
    double* weights = output->realDoubles();
    std::size_t c = 0;
    for (hxSize j = 0; j < n; ++j) {
        output->columnStarts[j] = c;
        for (; c < entries.size() && std::get<0>(entries[c]) == j; ++c) {
            output->rowIndices[c] = std::get<1>(entries[c]);
            weights[c] = std::get<2>(entries[c]);
        }
    }
    output->columnStarts[n] = c;
    return output;
}

// Records the breadth-first tree of the forest as predecessors.
class PredecessorRecorder : public boost::default_bfs_visitor {
public:
    explicit PredecessorRecorder(std::vector<Vertex>* predecessor) : predecessor_(predecessor) {}
    void tree_edge(Edge e, const Graph& g) const { (*predecessor_)[target(e, g)] = source(e, g); }

private:
    std::vector<Vertex>* predecessor_;
};

std::vector<Vertex> identityPredecessors(hxSize n) {
    std::vector<Vertex> predecessor(n);
    for (Vertex v = 0; v < n; ++v) predecessor[v] = v;
    return predecessor;
}

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
        // Prim's search: Dijkstra's with the edge weight as the key; a negative weight
        // it meets makes it throw. Its infinity is +Inf, not the largest finite double,
        // so that a vertex reached only through an edge of that weight still joins.
        boost::dijkstra_shortest_paths(g, root, predecessor.data(), distance.data(), get(boost::edge_weight, g),
                                       get(boost::vertex_index, g), std::less<double>(),
                                       boost::detail::_project2nd<double, double>(), HostInf, 0.0,
                                       boost::default_dijkstra_visitor());
    });
    trace.algorithmFinished();
    Graph tree(n);
    for (Vertex v = 0; v < n; ++v) {
        const Vertex p = predecessor[v];
        if (p == v) continue;
        for (const Edge e : boost::make_iterator_range(out_edges(v, g)))
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
    guarded(traceLevel, failures::kruskal,
            [&] { boost::kruskal_minimum_spanning_tree(g, std::back_inserter(accepted)); });
    trace.algorithmFinished();
    Graph tree(n);
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
