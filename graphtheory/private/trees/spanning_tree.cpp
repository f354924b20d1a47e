// "pri" and "kru": minimum spanning tree of the root's component, and minimum
// spanning forest, as a sparse lower-triangle array plus predecessors from the root.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <vector>

#include <boost/graph/breadth_first_search.hpp>
#include <boost/graph/kruskal_min_spanning_tree.hpp>
#include <boost/graph/prim_minimum_spanning_tree.hpp>
#include <boost/iterator/counting_iterator.hpp>
#include <boost/iterator/transform_iterator.hpp>
#include <boost/property_map/property_map.hpp>

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

// An edge with its ends and weight at hand; End is the type of a vertex number.
template <class End = Vertex>
struct WeightedEdge {
    End source = 0, target = 0;
    double weight = 0.0;
    friend bool operator==(const WeightedEdge& a, const WeightedEdge& b) {
        return a.source == b.source && a.target == b.target && a.weight == b.weight;
    }
    friend bool operator!=(const WeightedEdge& a, const WeightedEdge& b) { return !(a == b); }
};

template <class End>
struct CarryEnds {
    const Graph* g = nullptr;
    WeightedEdge<End> operator()(const Edge& e) const {
        return {static_cast<End>(source(e, *g)), static_cast<End>(target(e, *g)), get(boost::edge_weight, *g, e)};
    }
};

// What Kruskal's algorithm reads of the graph: its vertices, and its edges in the
// order they were added, each carrying its ends and weight, so that the library's
// queue compares weights held in the queue rather than reading them from the graph
// at random. The queue sees the same edges in the same order with the same weights,
// so it pops them in the same order. With 32-bit ends (graphs below 2^32 vertices)
// an edge takes 16 bytes in the queue, which holds every edge.
template <class End>
class KruskalView {
public:
    using vertex_descriptor = End;
    using edge_descriptor = WeightedEdge<End>;
    using directed_category = boost::undirected_tag;
    using edge_parallel_category = boost::allow_parallel_edge_tag;
    struct traversal_category : boost::vertex_list_graph_tag, boost::edge_list_graph_tag {};
    using vertex_iterator = boost::counting_iterator<End>;
    using edge_iterator = boost::transform_iterator<CarryEnds<End>, boost::graph_traits<Graph>::edge_iterator>;
    using vertices_size_type = End;
    using edges_size_type = Vertex;
    using degree_size_type = Vertex;
    static End null_vertex() { return std::numeric_limits<End>::max(); }

    explicit KruskalView(const Graph& g) : g_(&g) {}
    const Graph& graph() const { return *g_; }

private:
    const Graph* g_;
};

template <class End>
std::pair<boost::counting_iterator<End>, boost::counting_iterator<End>> vertices(const KruskalView<End>& view) {
    return {boost::counting_iterator<End>(0), boost::counting_iterator<End>(static_cast<End>(num_vertices(view.graph())))};
}
template <class End>
End num_vertices(const KruskalView<End>& view) {
    return static_cast<End>(num_vertices(view.graph()));
}
template <class End>
auto edges(const KruskalView<End>& view) {
    const auto [begin, end] = edges(view.graph());
    const CarryEnds<End> carry{&view.graph()};
    return std::make_pair(boost::make_transform_iterator(begin, carry), boost::make_transform_iterator(end, carry));
}
template <class End>
Vertex num_edges(const KruskalView<End>& view) {
    return num_edges(view.graph());
}
template <class End>
End source(const WeightedEdge<End>& e, const KruskalView<End>&) {
    return e.source;
}
template <class End>
End target(const WeightedEdge<End>& e, const KruskalView<End>&) {
    return e.target;
}

// The weight an edge carries.
template <class End>
struct CarriedWeight : boost::put_get_helper<double, CarriedWeight<End>> {
    using key_type = WeightedEdge<End>;
    using value_type = double;
    using reference = double;
    using category = boost::readable_property_map_tag;
    double operator[](const WeightedEdge<End>& e) const { return e.weight; }
};

// Kruskal's algorithm on the view with ends of type End: the edges it accepts, in
// the order it accepts them.
template <class End>
std::vector<WeightedEdge<>> kruskalForest(const Graph& g, InterruptPoll& poll) {
    std::vector<WeightedEdge<End>> accepted;
    boost::kruskal_minimum_spanning_tree(KruskalView<End>(g), std::back_inserter(accepted),
                                         boost::weight_map(polled(CarriedWeight<End>(), poll))
                                             .vertex_index_map(boost::typed_identity_property_map<End>()));
    std::vector<WeightedEdge<>> forest;
    forest.reserve(accepted.size());
    for (const auto& e : accepted) forest.push_back({e.source, e.target, e.weight});
    return forest;
}

// Each tree edge {u, v} is stored once, at row max(u, v) and column min(u, v), with
// room for N - 1 entries; edges of weight 0 stay as stored zeros. The tree has at
// most one edge per pair, so sorting its edges gives the column-major order.
hxArray* treeOutput(hxSize n, const std::vector<WeightedEdge<>>& tree) {
    std::vector<SparseEntry> entries;
    entries.reserve(tree.size());
    for (const WeightedEdge<>& e : tree)
        entries.push_back({std::max(e.source, e.target), std::min(e.source, e.target), e.weight});
    return sparseResult(n, n == 0 ? 0 : n - 1, std::move(entries));
}

// Records the breadth-first tree of the forest as predecessors.
class PredecessorRecorder : public boost::default_bfs_visitor {
public:
    explicit PredecessorRecorder(std::vector<Vertex>* predecessor) : predecessor_(predecessor) {}
    template <class E, class G>
    void tree_edge(E e, const G& g) const { (*predecessor_)[target(e, g)] = source(e, g); }

private:
    std::vector<Vertex>* predecessor_;
};

// The forest hung from the root: vertices outside the root's tree stay unreached. In
// a forest each vertex has one way to the root, so the order of the search does not
// matter.
std::vector<Vertex> forestPredecessors(hxSize n, const std::vector<WeightedEdge<>>& tree, Vertex root) {
    std::vector<std::pair<Vertex, Vertex>> bothWays;
    bothWays.reserve(2 * tree.size());
    for (const WeightedEdge<>& e : tree) {
        bothWays.emplace_back(e.source, e.target);
        bothWays.emplace_back(e.target, e.source);
    }
    const UndirectedGraph forest(boost::edges_are_unsorted_multi_pass, bothWays.begin(), bothWays.end(), n);
    std::vector<Vertex> predecessor = identityPredecessors(n);
    std::vector<boost::default_color_type> colors(n, boost::white_color);
    boost::queue<Vertex> queue;
    boost::breadth_first_visit(forest, root, queue, PredecessorRecorder(&predecessor), colors.data());
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
    std::vector<WeightedEdge<>> tree;
    for (Vertex v = 0; v < n; ++v) {
        const Vertex p = predecessor[v];
        if (p == v) continue;
        for (const auto e : boost::make_iterator_range(out_edges(v, g)))
            if (target(e, g) == p) {
                tree.push_back({v, p, get(boost::edge_weight, g, e)});
                break;
            }
    }
    outputs[0] = treeOutput(n, tree);
    if (wantsOutput(outputCount, 2)) outputs[1] = predecessorRow(predecessor, root);
    trace.outputsCopied();
}

void kruHandler(LINKWORK_HANDLER_ARGS) {
    Trace trace(traceLevel);
    const Graph g = importUndirectedWeightedGraph(inputs, customWeightsIndex(inputCount), traceLevel);
    trace.graphCopied();
    const hxSize n = num_vertices(g);
    const Vertex root = vertexArgument(inputs, inputCount, 1, n, VertexRole::Root);
    std::vector<WeightedEdge<>> tree;
    guarded(traceLevel, failures::kruskal, [&] {
        // Kruskal's takes no visitor: it polls through the weights it compares.
        InterruptPoll poll;
        tree = n <= std::numeric_limits<std::uint32_t>::max() ? kruskalForest<std::uint32_t>(g, poll)
                                                               : kruskalForest<Vertex>(g, poll);
    });
    trace.algorithmFinished();
    outputs[0] = treeOutput(n, tree);
    if (wantsOutput(outputCount, 2)) outputs[1] = predecessorRow(forestPredecessors(n, tree, root), root);
    trace.outputsCopied();
}
