// "all": all-pairs shortest paths by Johnson's algorithm, written straight into the
// column-major output.
#include <algorithm>
#include <vector>

#include <boost/graph/adjacency_list.hpp>
#include <boost/graph/bellman_ford_shortest_paths.hpp>
#include <boost/graph/breadth_first_search.hpp>
#include <boost/graph/dijkstra_shortest_paths.hpp>

#include "gateway/guard.h"
#include "gateway/interrupt.h"
#include "gateway/trace.h"
#include "import/results.h"
#include "import/sparse_import.h"
#include "paths/negative_cycles.h"
#include "paths/paths.h"

namespace {

const char* const johnsonCycle = "Negative cycle found in Johnson's algorithm.";

// The working graph: every edge directed (undirected edges both ways).
using WorkGraph = boost::adjacency_list<boost::vecS, boost::vecS, boost::directedS, boost::no_property,
                                        boost::property<boost::edge_weight_t, double>>;

// Row u of the distance matrix inside the column-major N-by-N output: entry v lives
// at u + v * N. Dijkstra reads and writes distances through it, so the matrix is
// never held twice.
struct OutputRow {
    double* data;
    hxSize n;
    Vertex u;
    using key_type = Vertex;
    using value_type = double;
    using reference = double&;
    using category = boost::lvalue_property_map_tag;
    double& operator[](Vertex v) const { return data[u + v * n]; }
};
double& get(const OutputRow& row, Vertex v) { return row[v]; }
void put(const OutputRow& row, Vertex v, double value) { row[v] = value; }

template <class Graph>
WorkGraph workGraph(const Graph& g, std::vector<std::pair<Vertex, Vertex>>& minusInfinityEdges) {
    WorkGraph work(num_vertices(g));
    auto add = [&](Vertex u, Vertex v, double w) {
        if (w == -HostInf)
            minusInfinityEdges.emplace_back(u, v);  // handled apart: sums with -Inf defeat the cycle test
        else
            add_edge(u, v, w, work);
    };
    for (const auto e : boost::make_iterator_range(edges(g))) {
        const Vertex u = source(e, g), v = target(e, g);
        const double w = get(boost::edge_weight, g, e);
        add(u, v, w);
        if constexpr (!isDirected<Graph>) add(v, u, w);
    }
    return work;
}

// Potentials h by Bellman-Ford from a virtual vertex joined to every vertex by a
// zero edge (every h starts at 0); false on a negative cycle.
bool potentials(const WorkGraph& work, std::vector<double>& h, InterruptPoll& poll) {
    h.assign(num_vertices(work), 0.0);
    return boost::bellman_ford_shortest_paths(work, num_vertices(work) + 1, get(boost::edge_weight, work),
                                              boost::dummy_property_map(), h.data(), boost::closed_plus<double>(),
                                              std::less<double>(), boost::make_bellman_visitor(PollOnEvent<>{&poll}));
}

std::vector<bool> reachable(const WorkGraph& work, Vertex from) {
    std::vector<boost::default_color_type> colors(num_vertices(work), boost::white_color);
    boost::queue<Vertex> queue;
    boost::breadth_first_visit(work, from, queue, boost::default_bfs_visitor(), colors.data());
    std::vector<bool> result(colors.size());
    for (std::size_t v = 0; v < colors.size(); ++v) result[v] = colors[v] != boost::white_color;
    return result;
}

}  // namespace

template <class Graph>
void allHandler(LINKWORK_HANDLER_ARGS, Graph) {
    (void)outputCount;  // the matrix is the only output, always made
    Trace trace(traceLevel);
    // The N-by-N result is the call's largest allocation: made before any work, so
    // that a graph too large for it fails at once rather than after its import.
    const hxSize n = readGraphArray(inputs[0]).n;
    double* out = nullptr;
    hxArray* matrix = createMatrix(n, n, out);
    const Graph g = importWeightedGraph<Graph>(inputs, inputCount > 1 ? 1 : 0, traceLevel);
    trace.graphCopied();
    guarded(traceLevel, failures::johnson, [&] {
        std::vector<std::pair<Vertex, Vertex>> minusInfinityEdges;
        WorkGraph work = workGraph(g, minusInfinityEdges);
        if constexpr (isDirected<Graph>) {
            if (hasMinusInfinityCycle(g, [](Vertex) { return true; })) negativeCycle(johnsonCycle);
        } else if (!minusInfinityEdges.empty()) {
            negativeCycle(johnsonCycle);  // an undirected -Inf edge is a cycle of itself
        }
        std::vector<double> h;
        InterruptPoll poll;
        if (!potentials(work, h, poll)) negativeCycle(johnsonCycle);
        // Reduced weights are non-negative in exact arithmetic; clamp the rounding.
        auto weights = get(boost::edge_weight, work);
        for (const auto e : boost::make_iterator_range(edges(work)))
            put(weights, e, std::max(0.0, get(weights, e) + h[source(e, work)] - h[target(e, work)]));
        for (Vertex u = 0; u < n; ++u) {
            hgwPollInterrupt();  // one row is one Dijkstra run: cheap enough to poll each
            const OutputRow row{out, n, u};
            boost::dijkstra_shortest_paths(
                work, u,
                boost::distance_map(row).distance_inf(HostInf).visitor(boost::make_dijkstra_visitor(PollOnEvent<>{&poll})));
            for (Vertex v = 0; v < n; ++v)
                if (row[v] != HostInf) row[v] += h[v] - h[u];
            row[u] = 0.0;
        }
        // A path that can use a -Inf edge (on no cycle) has length -Inf: every pair
        // (x, y) with x reaching the edge's source and y reached from its target.
        if (minusInfinityEdges.empty()) return;
        WorkGraph reversed(n);
        for (const auto& [from, to] : minusInfinityEdges) add_edge(from, to, 0.0, work);
        for (const auto e : boost::make_iterator_range(edges(work))) add_edge(target(e, work), source(e, work), reversed);
        for (const auto& [from, to] : minusInfinityEdges) {
            const std::vector<bool> before = reachable(reversed, from), after = reachable(work, to);
            for (Vertex x = 0; x < n; ++x)
                if (before[x])
                    for (Vertex y = 0; y < n; ++y)
                        if (after[y]) out[x + y * n] = -HostInf;
        }
    });
    trace.algorithmFinished();
    outputs[0] = matrix;
    trace.outputsCopied();
}

template void allHandler<DirectedWeightedGraph>(LINKWORK_HANDLER_ARGS, DirectedWeightedGraph);
template void allHandler<UndirectedWeightedGraph>(LINKWORK_HANDLER_ARGS, UndirectedWeightedGraph);
