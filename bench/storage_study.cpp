// Graph storage study for the import layer: building a graph from CSC arrays
// (10^6 vertices, 10^7 stored entries by default) and one breadth-first search over
// it, for
//   list      adjacency_list<listS, vecS, directedS> with std::allocator (the module's
//             DirectedGraph today)
//   list_pmr  the same list types whose nodes come from a monotonic arena
//   vec_rsv   adjacency_list<vecS, vecS, directedS>, out-edge lists reserved from a
//             counting pass over the row indices
//   csr       boost::compressed_sparse_row_graph<directedS>
// and, for the undirected codes, adjacency_list<listS, vecS, undirectedS> against the
// vecS form reserved from a counting pass. Every variant adds the edges in the
// module's order (column-major, row -> column), and the test below checks that all
// variants give each vertex the same out-neighbours in the same order and the same
// BFS result, so the numbers compare like with like.
//
// Counters: heap_MB is the heap in use after the build less before it (mallinfo2);
// entries/s is stored entries imported per second.
//
// Size: LWB_STUDY_N and LWB_STUDY_M (environment) override 10^6 and 10^7.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <boost/graph/adjacency_list.hpp>
#include <boost/graph/breadth_first_search.hpp>
#include <boost/graph/compressed_sparse_row_graph.hpp>
#include <boost/graph/visitors.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <memory_resource>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

// An out-edge list selector whose std::pmr::list takes its nodes from the default
// memory resource at construction; the benchmark points that at an arena.
struct pmrListS {};
namespace boost {
template <class ValueType>
struct container_gen<pmrListS, ValueType> {
    using type = std::pmr::list<ValueType>;
};
template <>
struct parallel_edge_traits<pmrListS> {
    using type = allow_parallel_edge_tag;
};
}  // namespace boost

namespace {

using ListGraph = boost::adjacency_list<boost::listS, boost::vecS, boost::directedS, boost::no_property,
                                        boost::no_property, boost::no_property, boost::listS>;
using PmrListGraph = boost::adjacency_list<pmrListS, boost::vecS, boost::directedS, boost::no_property,
                                           boost::no_property, boost::no_property, boost::listS>;
using VecGraph = boost::adjacency_list<boost::vecS, boost::vecS, boost::directedS>;
using CsrGraph = boost::compressed_sparse_row_graph<boost::directedS>;
using UndirectedListGraph = boost::adjacency_list<boost::listS, boost::vecS, boost::undirectedS>;
using UndirectedVecGraph = boost::adjacency_list<boost::vecS, boost::vecS, boost::undirectedS>;

struct Csc {
    std::size_t n = 0;
    std::vector<std::int64_t> columnStarts;  // n + 1
    std::vector<std::int64_t> rows;          // one per stored entry, ascending within a column
};

std::size_t sizeFromEnvironment(const char* name, std::size_t fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    const double value = std::strtod(text, nullptr);
    if (!(value >= 1.0 && value <= 1e9)) throw std::invalid_argument(std::string(name) + " must lie in 1..1e9");
    return static_cast<std::size_t>(value);
}

// Random directed graph: m entries drawn uniformly, self-loops and repeats dropped.
Csc makeGraph() {
    Csc g;
    g.n = sizeFromEnvironment("LWB_STUDY_N", 1000000);
    const std::size_t m = sizeFromEnvironment("LWB_STUDY_M", 10 * g.n);
    std::mt19937_64 random(20261208);
    std::uniform_int_distribution<std::int64_t> pick(0, static_cast<std::int64_t>(g.n) - 1);
    std::vector<std::int64_t> rowOf(m), colOf(m);
    std::vector<std::int64_t> count(g.n + 1, 0);
    for (std::size_t k = 0; k < m; ++k) {
        rowOf[k] = pick(random);
        colOf[k] = pick(random);
        ++count[static_cast<std::size_t>(colOf[k]) + 1];
    }
    for (std::size_t j = 0; j < g.n; ++j) count[j + 1] += count[j];
    std::vector<std::int64_t> sorted(m);
    std::vector<std::int64_t> next(count.begin(), count.end() - 1);
    for (std::size_t k = 0; k < m; ++k) sorted[static_cast<std::size_t>(next[colOf[k]]++)] = rowOf[k];
    g.columnStarts.assign(g.n + 1, 0);
    g.rows.reserve(m);
    for (std::size_t j = 0; j < g.n; ++j) {
        auto first = sorted.begin() + count[j], last = sorted.begin() + count[j + 1];
        std::sort(first, last);
        last = std::unique(first, last);
        for (auto it = first; it != last; ++it)
            if (*it != static_cast<std::int64_t>(j)) g.rows.push_back(*it);
        g.columnStarts[j + 1] = static_cast<std::int64_t>(g.rows.size());
    }
    return g;
}

const Csc& graph() {
    static const Csc g = makeGraph();
    return g;
}

std::size_t heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

template <class Graph>
void addEdges(const Csc& csc, Graph& g, bool lowerOnly) {
    for (std::size_t j = 0; j < csc.n; ++j)
        for (auto k = csc.columnStarts[j]; k < csc.columnStarts[j + 1]; ++k) {
            const auto i = static_cast<std::size_t>(csc.rows[static_cast<std::size_t>(k)]);
            if (!lowerOnly || i > j) boost::add_edge(i, j, g);
        }
}

template <class Graph>
void reserveOutEdges(const Csc& csc, Graph& g, bool undirectedLower) {
    std::vector<std::size_t> degree(csc.n, 0);
    for (std::size_t j = 0; j < csc.n; ++j)
        for (auto k = csc.columnStarts[j]; k < csc.columnStarts[j + 1]; ++k) {
            const auto i = static_cast<std::size_t>(csc.rows[static_cast<std::size_t>(k)]);
            if (!undirectedLower) {
                ++degree[i];
            } else if (i > j) {
                ++degree[i];
                ++degree[j];
            }
        }
    for (std::size_t v = 0; v < csc.n; ++v) g.out_edge_list(v).reserve(degree[v]);
}

// The arena and the default resource that points at it, for one graph's lifetime.
class ArenaScope {
public:
    ArenaScope() : previous_(std::pmr::set_default_resource(&arena_)) {}
    ArenaScope(const ArenaScope&) = delete;
    ArenaScope& operator=(const ArenaScope&) = delete;
    ~ArenaScope() { std::pmr::set_default_resource(previous_); }

private:
    std::pmr::monotonic_buffer_resource arena_{std::size_t{1} << 20};
    std::pmr::memory_resource* previous_;
};

// Each builder returns the graph; PmrListGraph needs its ArenaScope alive around it.
// Adjacency lists filled by add_edge in entry order, out-edge vectors reserved
// from a counting pass when `Reserve` is set; undirected ones take the lower triangle.
template <class G, bool Reserve, bool Undirected = false>
struct BuildAdjacency {
    using Graph = G;
    static Graph build(const Csc& csc) {
        Graph g(csc.n);
        if constexpr (Reserve) reserveOutEdges(csc, g, Undirected);
        addEdges(csc, g, Undirected);
        return g;
    }
};
using BuildList = BuildAdjacency<ListGraph, false>;
using BuildPmrList = BuildAdjacency<PmrListGraph, false>;
using BuildVecReserved = BuildAdjacency<VecGraph, true>;
using BuildUndirectedList = BuildAdjacency<UndirectedListGraph, false, true>;
using BuildUndirectedVecReserved = BuildAdjacency<UndirectedVecGraph, true, true>;

struct BuildCsr {
    using Graph = CsrGraph;
    static Graph build(const Csc& csc) {
        // Edges (row, column) in column-major order; the stable sort by source keeps
        // each vertex's targets in the order of the list import.
        std::vector<std::pair<std::size_t, std::size_t>> edges;
        edges.reserve(csc.rows.size());
        for (std::size_t j = 0; j < csc.n; ++j)
            for (auto k = csc.columnStarts[j]; k < csc.columnStarts[j + 1]; ++k)
                edges.emplace_back(static_cast<std::size_t>(csc.rows[static_cast<std::size_t>(k)]), j);
        return Graph(boost::edges_are_unsorted_multi_pass, edges.begin(), edges.end(), csc.n);
    }
};

template <class Builder, bool arena>
struct Scoped {
    // The arena when the variant needs one; nothing otherwise.
    struct None {};
    using Scope = std::conditional_t<arena, ArenaScope, None>;
};

template <class Builder, bool arena = false>
void buildBenchmark(benchmark::State& state) {
    const Csc& csc = graph();
    double heapMB = 0;
    for (auto _ : state) {
        [[maybe_unused]] typename Scoped<Builder, arena>::Scope scope;
        const std::size_t before = heapInUse();
        auto g = Builder::build(csc);
        heapMB = static_cast<double>(heapInUse() - before) / 1e6;
        benchmark::DoNotOptimize(&g);
        state.PauseTiming();  // the release is timed separately below
        {
            auto dropped = std::move(g);
        }
        state.ResumeTiming();
    }
    state.counters["heap_MB"] = heapMB;
    state.counters["entries/s"] =
        benchmark::Counter(static_cast<double>(csc.rows.size()) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}

template <class Builder, bool arena = false>
void releaseBenchmark(benchmark::State& state) {
    const Csc& csc = graph();
    for (auto _ : state) {
        state.PauseTiming();
        auto scope = std::make_unique<typename Scoped<Builder, arena>::Scope>();
        auto g = std::make_unique<typename Builder::Graph>(Builder::build(csc));
        state.ResumeTiming();
        g.reset();
        scope.reset();
    }
}

template <class Graph>
std::vector<std::size_t> bfsDistances(const Graph& g) {
    std::vector<std::size_t> distance(num_vertices(g), static_cast<std::size_t>(-1));
    distance[0] = 0;
    boost::breadth_first_search(
        g, boost::vertex(0, g),
        boost::visitor(boost::make_bfs_visitor(boost::record_distances(distance.data(), boost::on_tree_edge()))));
    return distance;
}

template <class Builder, bool arena = false>
void bfsBenchmark(benchmark::State& state) {
    const Csc& csc = graph();
    [[maybe_unused]] typename Scoped<Builder, arena>::Scope scope;
    const auto g = Builder::build(csc);
    std::size_t reached = 0;
    for (auto _ : state) {
        const auto distance = bfsDistances(g);
        reached = static_cast<std::size_t>(
            std::count_if(distance.begin(), distance.end(), [](std::size_t d) { return d != static_cast<std::size_t>(-1); }));
        benchmark::DoNotOptimize(reached);
    }
    state.counters["reached"] = static_cast<double>(reached);
}

// All variants must give every vertex the same out-neighbours in the same order.
template <class Graph>
std::vector<std::size_t> adjacencyOf(const Graph& g) {
    std::vector<std::size_t> flat;
    for (std::size_t v = 0; v < num_vertices(g); ++v) {
        flat.push_back(static_cast<std::size_t>(-1));
        for (auto e : boost::make_iterator_range(out_edges(v, g)))
            flat.push_back(static_cast<std::size_t>(target(e, g)));
    }
    return flat;
}

bool variantsAgree() {
    const Csc& csc = graph();
    const auto reference = adjacencyOf(BuildList::build(csc));
    const auto referenceBfs = bfsDistances(BuildList::build(csc));
    bool same = true;
    {
        ArenaScope scope;
        const auto g = BuildPmrList::build(csc);
        same = same && adjacencyOf(g) == reference && bfsDistances(g) == referenceBfs;
    }
    same = same && adjacencyOf(BuildVecReserved::build(csc)) == reference;
    same = same && adjacencyOf(BuildCsr::build(csc)) == reference;
    same = same && bfsDistances(BuildVecReserved::build(csc)) == referenceBfs;
    same = same && bfsDistances(BuildCsr::build(csc)) == referenceBfs;
    same = same && adjacencyOf(BuildUndirectedList::build(csc)) == adjacencyOf(BuildUndirectedVecReserved::build(csc));
    return same;
}

}  // namespace

BENCHMARK_TEMPLATE(buildBenchmark, BuildList)->Name("build/list")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_TEMPLATE(buildBenchmark, BuildPmrList, true)->Name("build/list_pmr")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_TEMPLATE(buildBenchmark, BuildVecReserved)->Name("build/vec_rsv")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_TEMPLATE(buildBenchmark, BuildCsr)->Name("build/csr")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_TEMPLATE(buildBenchmark, BuildUndirectedList)->Name("build/undirected_list")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_TEMPLATE(buildBenchmark, BuildUndirectedVecReserved)->Name("build/undirected_vec_rsv")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_TEMPLATE(releaseBenchmark, BuildList)->Name("release/list")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_TEMPLATE(releaseBenchmark, BuildPmrList, true)->Name("release/list_pmr")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_TEMPLATE(releaseBenchmark, BuildVecReserved)->Name("release/vec_rsv")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_TEMPLATE(releaseBenchmark, BuildCsr)->Name("release/csr")->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_TEMPLATE(bfsBenchmark, BuildList)->Name("bfs/list")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_TEMPLATE(bfsBenchmark, BuildPmrList, true)->Name("bfs/list_pmr")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_TEMPLATE(bfsBenchmark, BuildVecReserved)->Name("bfs/vec_rsv")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_TEMPLATE(bfsBenchmark, BuildCsr)->Name("bfs/csr")->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    const Csc& csc = graph();
    std::printf("graph: %zu vertices, %zu stored entries\n", csc.n, csc.rows.size());
    if (!variantsAgree()) {
        std::fprintf(stderr, "storage variants disagree on out-edge order or BFS distances\n");
        return 1;
    }
    std::printf("all variants: identical out-edge order and BFS distances\n");
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
