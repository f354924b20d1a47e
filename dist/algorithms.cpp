// The distributed codes. Delta-stepping shortest paths and parallel-search components
// come from the Parallel Boost Graph Library, on its distributed compressed sparse
// row graph. The breadth-first levels, the predecessor choice, the renumbering of
// components and the Borůvka spanning forest are level-synchronous exchanges over
// this rank's rows, so that every answer is the same whatever the rank count and the
// order messages arrive in. (The library's own Borůvka variants, on its distributed
// adjacency list, crash in 1.74 at two ranks and more.)
//
// Headers of Debian's 1.74: the distributed adjacency list must come before the
// parallel-search components header.
#include <boost/graph/use_mpi.hpp>
#include <boost/graph/distributed/adjacency_list.hpp>
#include <boost/graph/distributed/compressed_sparse_row_graph.hpp>
#include <boost/graph/distributed/connected_components_parallel_search.hpp>
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
namespace {

using ProcessGroup = boost::graph::distributed::mpi_process_group;

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

namespace {

// A message of the forest rounds.
struct Note {
    std::uint64_t a, b, c, d;
    double w;
};

// Edges are ordered by (weight, smaller end, larger end): a total order, so every
// component's lightest edge is unique and the hooks cannot close a cycle longer
// than two components that chose the same edge.
bool lighter(const Note& x, const Note& y) {
    if (x.w != y.w) return x.w < y.w;
    if (x.a != y.a) return x.a < y.a;
    return x.b < y.b;
}

}  // namespace

// Borůvka's algorithm over the rows, which hold both directions of every edge: each
// round every component picks its lightest outgoing edge, components hook onto the
// component at the other end (of two that picked each other, the smaller-named one
// stays the root), pointer jumping flattens the hooks, and every vertex takes its
// new component's name. At most log2(n) rounds.
ForestResult spanningForest(const World& world, const LocalRows& rows) {
    const Blocks& blocks = rows.blocks;
    const std::uint64_t first = rows.first, count = rows.count;
    const std::size_t ranks = static_cast<std::size_t>(world.size);
    constexpr std::uint64_t none = std::numeric_limits<std::uint64_t>::max();
    const auto mine = [&](std::uint64_t v) { return blocks.owner(v) == world.rank; };
    // Each vertex's component, named by one of its vertices; the component's record
    // (its parent while hooking, its lightest edge) is kept by that vertex's owner.
    std::vector<std::uint64_t> component(count), parent(count);
    for (std::uint64_t k = 0; k < count; ++k) component[k] = parent[k] = first + k;
    std::vector<Note> best(count);
    // The components of remote ends, fetched each round for the distinct remote ends.
    std::vector<std::uint64_t> ghosts;
    for (const std::uint64_t v : rows.targets)
        if (!mine(v)) ghosts.push_back(v);
    std::sort(ghosts.begin(), ghosts.end());
    ghosts.erase(std::unique(ghosts.begin(), ghosts.end()), ghosts.end());
    std::vector<std::uint64_t> ghostComponent(ghosts.size());
    const auto componentOf = [&](std::uint64_t v) {
        if (mine(v)) return component[v - first];
        return ghostComponent[static_cast<std::size_t>(std::lower_bound(ghosts.begin(), ghosts.end(), v) - ghosts.begin())];
    };
    // Asks the owners of `keys` (vertices) for answer(local index of key), in order.
    std::vector<std::vector<Note>> outgoing(ranks);
    const auto ask = [&](const std::vector<std::uint64_t>& keys, auto answer) {
        for (std::size_t k = 0; k < keys.size(); ++k)
            outgoing[blocks.owner(keys[k])].push_back({keys[k], static_cast<std::uint64_t>(world.rank), k, 0, 0.0});
        for (const Note& q : exchange(world, outgoing)) outgoing[q.b].push_back({q.c, answer(q.a - first), 0, 0, 0.0});
        std::vector<std::uint64_t> answers(keys.size());
        for (const Note& r : exchange(world, outgoing)) answers[r.a] = r.b;
        return answers;
    };

    std::vector<ForestEdge> found;
    for (;;) {
        ghostComponent = ask(ghosts, [&](std::uint64_t local) { return component[local]; });
        // Each vertex's lightest edge out of its component goes to the component's keeper.
        for (std::uint64_t u = 0; u < count; ++u) {
            Note pick{none, none, none, none, 0.0};
            for (std::uint64_t k = rows.starts[u]; k < rows.starts[u + 1]; ++k) {
                const std::uint64_t v = rows.targets[k];
                const std::uint64_t other = componentOf(v);
                if (other == component[u]) continue;
                const Note edge{std::min(first + u, v), std::max(first + u, v), component[u], other, rows.weights[k]};
                if (pick.c == none || lighter(edge, pick)) pick = edge;
            }
            if (pick.c != none) outgoing[blocks.owner(pick.c)].push_back(pick);
        }
        std::vector<std::uint64_t> picking;  // components (local index) with an edge out
        for (std::uint64_t k = 0; k < count; ++k) best[k].c = none;
        for (const Note& e : exchange(world, outgoing)) {
            Note& b = best[e.c - first];
            if (b.c == none) picking.push_back(e.c - first);
            if (b.c == none || lighter(e, b)) b = e;
        }
        if (sumOverRanks(picking.size()) == 0) break;
        // Hook each component onto the one its edge reaches; of two components that
        // picked each other (by the same edge), the smaller-named stays a root and the
        // larger records the edge.
        std::vector<std::uint64_t> targets(picking.size());
        for (std::size_t k = 0; k < picking.size(); ++k) targets[k] = best[picking[k]].d;
        const std::vector<std::uint64_t> theirs =
            ask(targets, [&](std::uint64_t local) { return best[local].c == none ? none : best[local].d; });
        for (std::size_t k = 0; k < picking.size(); ++k) {
            const std::uint64_t c = first + picking[k];
            const Note& e = best[picking[k]];
            if (theirs[k] == c && c < e.d) continue;  // mutual: the other side records it
            parent[picking[k]] = e.d;
            found.push_back({e.b, e.a, e.w});
        }
        // Pointer jumping until every hooked component points at its root.
        std::vector<std::uint64_t> active;
        for (const std::uint64_t k : picking)
            if (parent[k] != first + k) active.push_back(k);
        while (sumOverRanks(active.size()) > 0) {
            std::vector<std::uint64_t> parents(active.size());
            for (std::size_t k = 0; k < active.size(); ++k) parents[k] = parent[active[k]];
            const std::vector<std::uint64_t> grand = ask(parents, [&](std::uint64_t local) { return parent[local]; });
            std::vector<std::uint64_t> still;
            for (std::size_t k = 0; k < active.size(); ++k) {
                if (grand[k] == parents[k]) continue;
                parent[active[k]] = grand[k];
                still.push_back(active[k]);
            }
            active.swap(still);
        }
        // Every vertex takes its component's root as its new component.
        const std::vector<std::uint64_t> roots = ask(component, [&](std::uint64_t local) { return parent[local]; });
        component = roots;
    }
    // Each edge goes to the owner of its column, to be written in column order.
    std::vector<std::vector<ForestEdge>> byColumn(ranks);
    for (const ForestEdge& e : found) byColumn[blocks.owner(e.col)].push_back(e);
    std::vector<ForestEdge>().swap(found);
    ForestResult result;
    result.edges = exchange(world, byColumn);
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
