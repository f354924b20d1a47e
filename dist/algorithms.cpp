// The distributed codes over the Parallel Boost Graph Library: delta-stepping shortest
// paths and parallel-search components on its distributed compressed sparse row
// graph, a Borůvka minimum spanning forest on its distributed adjacency list. The
// breadth-first levels, the predecessor choice and the renumbering of components
// are level-synchronous exchanges over this rank's rows, so that every answer is
// the same whatever the rank count and the order messages arrive in.
//
// Headers of Debian's 1.74: the distributed adjacency list must come before the
// parallel-search components header.
#include <boost/graph/use_mpi.hpp>
#include <boost/graph/distributed/adjacency_list.hpp>
#include <boost/graph/distributed/compressed_sparse_row_graph.hpp>
#include <boost/graph/distributed/connected_components_parallel_search.hpp>
#include <boost/graph/distributed/dehne_gotz_min_spanning_tree.hpp>
#include <boost/graph/distributed/delta_stepping_shortest_paths.hpp>
#include <boost/graph/distributed/mpi_process_group.hpp>
#include <boost/property_map/parallel/distributed_property_map.hpp>

#include "algorithms.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <utility>

namespace linkwork::dist {
using ProcessGroup = boost::graph::distributed::mpi_process_group;
using ForestGraph = boost::adjacency_list<boost::listS, boost::distributedS<ProcessGroup, boost::vecS>, boost::undirectedS,
                                          boost::no_property, boost::property<boost::edge_weight_t, double>>;
// The Borůvka algorithms assert that the graph models the sequential vertex and edge
// list concepts, which 1.74's distributed tags do not derive from; the distributed
// adjacency list provides vertices() and edges() all the same.
struct ForestTraversal : ForestGraph::traversal_category, boost::vertex_list_graph_tag, boost::edge_list_graph_tag {};
}  // namespace linkwork::dist

namespace boost {
template <>
struct graph_traits<linkwork::dist::ForestGraph> {
    using G = linkwork::dist::ForestGraph;
    using vertex_descriptor = G::vertex_descriptor;
    using edge_descriptor = G::edge_descriptor;
    using adjacency_iterator = G::adjacency_iterator;
    using out_edge_iterator = G::out_edge_iterator;
    using in_edge_iterator = G::in_edge_iterator;
    using vertex_iterator = G::vertex_iterator;
    using edge_iterator = G::edge_iterator;
    using directed_category = G::directed_category;
    using edge_parallel_category = G::edge_parallel_category;
    using traversal_category = linkwork::dist::ForestTraversal;
    using vertices_size_type = G::vertices_size_type;
    using edges_size_type = G::edges_size_type;
    using degree_size_type = G::degree_size_type;
    static vertex_descriptor null_vertex() { return G::null_vertex(); }
};
}  // namespace boost

namespace linkwork::dist {
namespace {



// The parallel library's graphs misbehave on ranks without vertices, so graphs with
// fewer vertices than ranks get isolated padding vertices at the end. The block
// layout of the real vertices stays the same.
std::uint64_t paddedCount(const World& world, std::uint64_t n) {
    return std::max<std::uint64_t>(n, static_cast<std::uint64_t>(world.size));
}

// One offer along an edge u -> target: u's level and the value it brings.
struct Offer {
    std::uint64_t target;
    std::uint64_t from;
    std::uint64_t level;
    double value;
};

// Level-synchronous breadth-first search over the rows' edges, following only edges
// whose offered value `accept`s at the target. `offer(u, k)` is the value edge k of
// local vertex u brings.
template <class OfferValue, class Accept>
std::vector<std::uint64_t> levels(const World& world, const LocalRows& rows, std::uint64_t source, OfferValue offer,
                                  Accept accept) {
    std::vector<std::uint64_t> level(rows.count, unreached);
    std::vector<std::uint64_t> frontier, next;
    if (rows.blocks.owner(source) == world.rank) {
        level[source - rows.first] = 0;
        frontier.push_back(source - rows.first);
    }
    std::vector<std::vector<Offer>> outgoing(static_cast<std::size_t>(world.size));
    const auto visit = [&](std::uint64_t local, double value, std::uint64_t depth) {
        if (level[local] != unreached || !accept(local, value)) return;
        level[local] = depth;
        next.push_back(local);
    };
    for (std::uint64_t depth = 1;; ++depth) {
        for (const std::uint64_t u : frontier) {
            for (std::uint64_t k = rows.starts[u]; k < rows.starts[u + 1]; ++k) {
                const std::uint64_t v = rows.targets[k];
                const int owner = rows.blocks.owner(v);
                if (owner == world.rank)
                    visit(v - rows.first, offer(u, k), depth);
                else
                    outgoing[owner].push_back({v, rows.first + u, depth - 1, offer(u, k)});
            }
        }
        for (const Offer& o : exchange(world, outgoing)) visit(o.target - rows.first, o.value, depth);
        frontier.swap(next);
        next.clear();
        if (sumOverRanks(frontier.size()) == 0) break;
    }
    return level;
}

// For each reached vertex other than the source: the smallest-numbered u one level
// up whose edge to it is accepted.
template <class OfferValue, class Accept>
std::vector<std::uint64_t> smallestPredecessors(const World& world, const LocalRows& rows,
                                                const std::vector<std::uint64_t>& level, OfferValue offer,
                                                Accept accept) {
    std::vector<std::uint64_t> predecessor(rows.count, noPredecessor);
    const auto consider = [&](const Offer& o) {
        const std::uint64_t local = o.target - rows.first;
        if (level[local] == unreached || level[local] != o.level + 1 || !accept(local, o.value)) return;
        predecessor[local] = std::min(predecessor[local], o.from);
    };
    std::vector<std::vector<Offer>> outgoing(static_cast<std::size_t>(world.size));
    for (std::uint64_t u = 0; u < rows.count; ++u) {
        if (level[u] == unreached) continue;
        for (std::uint64_t k = rows.starts[u]; k < rows.starts[u + 1]; ++k) {
            const Offer o{rows.targets[k], rows.first + u, level[u], offer(u, k)};
            const int owner = rows.blocks.owner(o.target);
            if (owner == world.rank)
                consider(o);
            else
                outgoing[owner].push_back(o);
        }
    }
    for (const Offer& o : exchange(world, outgoing)) consider(o);
    return predecessor;
}

// Global vertex numbers of the padded graph as (source, target) pairs, with the
// edge weights alongside when asked for.
struct EdgeWeight {
    double weight;
};

}  // namespace

LocalRows localRows(const World& world, LocalGraph&& graph, bool weighted) {
    LocalRows rows;
    rows.blocks = graph.blocks;
    rows.first = graph.blocks.start(world.rank);
    rows.count = graph.blocks.size(world.rank);
    rows.starts.assign(rows.count + 1, 0);
    std::vector<Entry> entries = std::move(graph.entries);
    std::uint64_t kept = 0;
    for (const Entry& e : entries)
        if (!weighted || e.value < std::numeric_limits<double>::infinity()) ++kept;
    rows.targets.reserve(kept);
    if (weighted) rows.weights.reserve(kept);
    for (const Entry& e : entries) {
        if (weighted && !(e.value < std::numeric_limits<double>::infinity())) continue;
        ++rows.starts[e.row - rows.first + 1];
        rows.targets.push_back(e.col);
        if (weighted) rows.weights.push_back(e.value);
    }
    for (std::uint64_t k = 0; k < rows.count; ++k) rows.starts[k + 1] += rows.starts[k];
    return rows;
}

PathResult breadthFirstPaths(const World& world, const LocalRows& rows, std::uint64_t source) {
    const auto none = [](std::uint64_t, std::uint64_t) { return 0.0; };
    const auto any = [](std::uint64_t, double) { return true; };
    const std::vector<std::uint64_t> level = levels(world, rows, source, none, any);
    PathResult result;
    result.predecessors = smallestPredecessors(world, rows, level, none, any);
    result.distances.resize(rows.count);
    for (std::uint64_t k = 0; k < rows.count; ++k)
        result.distances[k] =
            level[k] == unreached ? std::numeric_limits<double>::infinity() : static_cast<double>(level[k]);
    return result;
}

PathResult shortestPaths(const World& world, const LocalRows& rows, std::uint64_t source) {
    using Graph = boost::compressed_sparse_row_graph<boost::directedS, boost::no_property, EdgeWeight, boost::no_property,
                                                     boost::distributedS<ProcessGroup>>;
    const std::uint64_t n = paddedCount(world, rows.blocks.vertexCount());
    std::vector<double> distance;
    {
        std::vector<std::pair<std::size_t, std::size_t>> edges;
        std::vector<EdgeWeight> weights;
        edges.reserve(rows.targets.size());
        weights.reserve(rows.targets.size());
        for (std::uint64_t u = 0; u < rows.count; ++u)
            for (std::uint64_t k = rows.starts[u]; k < rows.starts[u + 1]; ++k) {
                edges.emplace_back(rows.first + u, rows.targets[k]);
                weights.push_back({rows.weights[k]});
            }
        ProcessGroup pg;
        Graph g(boost::edges_are_unsorted_multi_pass, edges.begin(), edges.end(), weights.begin(), n, pg);
        std::vector<std::pair<std::size_t, std::size_t>>().swap(edges);
        std::vector<EdgeWeight>().swap(weights);
        distance.assign(num_vertices(g), 0.0);
        std::vector<Graph::vertex_descriptor> predecessor(num_vertices(g));
        const auto index = get(boost::vertex_index, g);
        auto distanceMap = boost::make_iterator_property_map(distance.begin(), index);
        auto predecessorMap = boost::make_iterator_property_map(predecessor.begin(), index);
        boost::graph::distributed::delta_stepping_shortest_paths(g, vertex(source, g), predecessorMap, distanceMap,
                                                                 get(&EdgeWeight::weight, g));
    }
    distance.resize(rows.count);
    for (double& d : distance)
        if (d == std::numeric_limits<double>::max()) d = std::numeric_limits<double>::infinity();
    // Tight edges: dist(u) + w == dist(v), the value rounded exactly as the search did.
    std::vector<double> mine = distance;  // distances of local vertices, by local index
    const auto offer = [&](std::uint64_t u, std::uint64_t k) { return mine[u] + rows.weights[k]; };
    const auto tight = [&](std::uint64_t v, double value) { return value == mine[v]; };
    const std::vector<std::uint64_t> hops = levels(world, rows, source, offer, tight);
    PathResult result;
    result.predecessors = smallestPredecessors(world, rows, hops, offer, tight);
    result.distances = std::move(distance);
    return result;
}

ComponentResult connectedComponents(const World& world, const LocalRows& rows) {
    using Graph = boost::compressed_sparse_row_graph<boost::directedS, boost::no_property, boost::no_property,
                                                     boost::no_property, boost::distributedS<ProcessGroup>>;
    const std::uint64_t n = paddedCount(world, rows.blocks.vertexCount());
    const Blocks padded(n, world.size);
    std::vector<std::uint64_t> component;
    {
        // The rows hold both directions of every edge. The parallel search starts
        // from a local vertex with an edge and would run past the last vertex on a
        // rank whose vertices have none: a self-loop on the rank's last vertex stops
        // it there without joining anything.
        std::vector<std::pair<std::size_t, std::size_t>> edges;
        edges.reserve(rows.targets.size() + 1);
        for (std::uint64_t u = 0; u < rows.count; ++u)
            for (std::uint64_t k = rows.starts[u]; k < rows.starts[u + 1]; ++k)
                edges.emplace_back(rows.first + u, rows.targets[k]);
        const std::uint64_t last = padded.start(world.rank) + padded.size(world.rank) - 1;
        edges.emplace_back(last, last);
        ProcessGroup pg;
        Graph g(boost::edges_are_unsorted_multi_pass, edges.begin(), edges.end(), n, pg);
        std::vector<std::pair<std::size_t, std::size_t>>().swap(edges);
        component.assign(num_vertices(g), 0);
        auto componentMap = boost::make_iterator_property_map(component.begin(), get(boost::vertex_index, g));
        boost::graph::distributed::connected_components_ps(g, componentMap);
    }
    component.resize(rows.count);

    // Renumber: the smallest vertex of each component, found at the rank that the
    // component's value hashes to, is its root; roots are numbered in vertex order.
    struct Pair {
        std::uint64_t key;
        std::uint64_t vertex;
    };
    const auto holder = [&](std::uint64_t value) {
        return static_cast<int>((value * 0x9E3779B97F4A7C15ull >> 32) % static_cast<std::uint64_t>(world.size));
    };
    std::vector<std::vector<Pair>> outgoing(static_cast<std::size_t>(world.size));
    for (std::uint64_t k = 0; k < rows.count; ++k) outgoing[holder(component[k])].push_back({component[k], rows.first + k});
    std::vector<Pair> members = exchange(world, outgoing);
    std::sort(members.begin(), members.end(),
              [](const Pair& a, const Pair& b) { return a.key != b.key ? a.key < b.key : a.vertex < b.vertex; });
    for (std::size_t k = 0; k < members.size(); ++k)
        if (k == 0 || members[k].key != members[k - 1].key)
            outgoing[rows.blocks.owner(members[k].vertex)].push_back({members[k].key, members[k].vertex});
    std::vector<Pair> roots = exchange(world, outgoing);
    std::sort(roots.begin(), roots.end(), [](const Pair& a, const Pair& b) { return a.vertex < b.vertex; });
    const std::uint64_t before = sumBefore(world, roots.size());
    for (std::size_t k = 0; k < roots.size(); ++k) outgoing[holder(roots[k].key)].push_back({roots[k].key, before + k + 1});
    std::vector<Pair> numbers = exchange(world, outgoing);
    std::sort(numbers.begin(), numbers.end(), [](const Pair& a, const Pair& b) { return a.key < b.key; });
    std::size_t at = 0;
    for (const Pair& m : members) {
        while (at < numbers.size() && numbers[at].key < m.key) ++at;
        if (at == numbers.size() || numbers[at].key != m.key) throw Failure(1, "Error: a component lost its number");
        outgoing[rows.blocks.owner(m.vertex)].push_back({m.vertex, numbers[at].vertex});
    }
    std::vector<Pair>().swap(members);
    ComponentResult result;
    result.labels.assign(rows.count, 0);
    for (const Pair& p : exchange(world, outgoing)) result.labels[p.key - rows.first] = p.vertex;
    result.count = sumOverRanks(roots.size());
    return result;
}

ForestResult spanningForest(const World& world, const LocalRows& rows) {
    using Graph = ForestGraph;
    const std::uint64_t n = paddedCount(world, rows.blocks.vertexCount());
    // The forest's edges as (row, col) with row > col, on rank 0.
    std::vector<ForestEdge> found;
    {
        std::vector<std::pair<std::size_t, std::size_t>> edges;
        edges.reserve(rows.targets.size());
        for (std::uint64_t u = 0; u < rows.count; ++u)
            for (std::uint64_t k = rows.starts[u]; k < rows.starts[u + 1]; ++k)
                edges.emplace_back(rows.first + u, rows.targets[k]);
        ProcessGroup pg;
        Graph g(edges.begin(), edges.end(), rows.weights.begin(), n, pg);
        std::vector<std::pair<std::size_t, std::size_t>>().swap(edges);
        std::vector<boost::graph_traits<Graph>::edge_descriptor> forest;
        const char* variant = std::getenv("LW_MST");
        if (variant && variant[0] == 'd')
            boost::graph::dense_boruvka_minimum_spanning_tree(g, get(boost::edge_weight, g), std::back_inserter(forest));
        else if (variant && variant[0] == 't')
            boost::graph::boruvka_then_merge(g, get(boost::edge_weight, g), std::back_inserter(forest));
        else if (variant && variant[0] == 'l')
            boost::graph::merge_local_minimum_spanning_trees(g, get(boost::edge_weight, g), std::back_inserter(forest));
        else
            boost::graph::boruvka_mixed_merge(g, get(boost::edge_weight, g), std::back_inserter(forest));
        const auto& distribution = g.distribution();
        for (const auto& e : forest) {
            const auto s = source(e, g), t = target(e, g);
            const std::uint64_t a = distribution.global(s.owner, s.local);
            const std::uint64_t b = distribution.global(t.owner, t.local);
            found.push_back({std::max(a, b), std::min(a, b), 0.0});
        }
    }
    // Weights come from the rows (the owner of each edge's row holds it), then each
    // edge goes to the owner of its column to be written in column order.
    std::vector<std::vector<ForestEdge>> outgoing(static_cast<std::size_t>(world.size));
    for (const ForestEdge& e : found) outgoing[rows.blocks.owner(e.row)].push_back(e);
    std::vector<ForestEdge>().swap(found);
    for (ForestEdge& e : exchange(world, outgoing)) {
        const std::uint64_t u = e.row - rows.first;
        const auto begin = rows.targets.begin() + static_cast<std::ptrdiff_t>(rows.starts[u]);
        const auto end = rows.targets.begin() + static_cast<std::ptrdiff_t>(rows.starts[u + 1]);
        const auto at = std::lower_bound(begin, end, e.col);
        if (at == end || *at != e.col) throw Failure(1, "Error: the spanning forest holds an edge the graph lacks");
        e.weight = rows.weights[static_cast<std::size_t>(at - rows.targets.begin())];
        outgoing[rows.blocks.owner(e.col)].push_back(e);
    }
    ForestResult result;
    result.edges = exchange(world, outgoing);
    std::sort(result.edges.begin(), result.edges.end(),
              [](const ForestEdge& a, const ForestEdge& b) { return a.col != b.col ? a.col < b.col : a.row < b.row; });
    result.edgeCount = sumOverRanks(result.edges.size());
    // The total, summed edge by edge in written order: each rank adds its edges to
    // the running sum of the ranks before it.
    double total = 0.0;
    if (world.rank > 0) MPI_Recv(&total, 1, MPI_DOUBLE, world.rank - 1, 7, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
    for (const ForestEdge& e : result.edges) total += e.weight;
    if (world.rank + 1 < world.size) MPI_Send(&total, 1, MPI_DOUBLE, world.rank + 1, 7, MPI_COMM_WORLD);
    MPI_Bcast(&total, 1, MPI_DOUBLE, world.size - 1, MPI_COMM_WORLD);
    result.totalWeight = total;
    return result;
}

}  // namespace linkwork::dist
