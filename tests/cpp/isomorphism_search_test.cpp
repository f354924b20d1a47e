// "iso" against the library's own isomorphism search: on every pair the library
// answers, the module gives the same answer and the same mapping.
#include <boost/graph/adjacency_list.hpp>
#include <boost/graph/isomorphism.hpp>

#include <algorithm>
#include <chrono>
#include <future>
#include <random>
#include <set>

#include "support.h"

namespace linkwork::test {
namespace {

using LibraryDirected = boost::adjacency_list<boost::listS, boost::listS, boost::bidirectionalS,
                                              boost::property<boost::vertex_index_t, std::size_t>>;
using LibraryUndirected = boost::adjacency_list<boost::listS, boost::listS, boost::undirectedS,
                                                boost::property<boost::vertex_index_t, std::size_t>>;

// Builds the library's graph from the stored entries in storage order: every entry
// (directed) or the strict lower triangle (undirected).
template <class Graph>
Graph libraryGraph(const hxArray* array, bool directed) {
    Graph g;
    std::vector<typename boost::graph_traits<Graph>::vertex_descriptor> handles;
    for (std::size_t k = 0; k < array->cols(); ++k) handles.push_back(add_vertex(k, g));
    for (const auto& [row, col, value] : triplets(array))
        if (directed || row > col) add_edge(handles[row - 1], handles[col - 1], g);
    return g;
}

// The library's answer and its mapping, 1-based; the isolated vertices it leaves
// unmapped go onto the unused vertices in index order.
template <class Graph>
std::pair<bool, std::vector<double>> libraryAnswer(const hxArray* a, const hxArray* b, bool directed) {
    using Handle = typename boost::graph_traits<Graph>::vertex_descriptor;
    const Graph first = libraryGraph<Graph>(a, directed), second = libraryGraph<Graph>(b, directed);
    std::vector<Handle> map(num_vertices(first), nullptr);
    const bool found = boost::isomorphism(
        first, second,
        boost::isomorphism_map(boost::make_iterator_property_map(map.begin(), get(boost::vertex_index, first))));
    if (!found) return {false, {}};
    std::vector<bool> used(map.size(), false);
    for (const Handle h : map)
        if (h != nullptr) used[get(boost::vertex_index, second, h)] = true;
    std::vector<double> mapping;
    std::size_t nextUnused = 0;
    for (const Handle h : map) {
        std::size_t target;
        if (h != nullptr) {
            target = get(boost::vertex_index, second, h);
        } else {
            while (used[nextUnused]) ++nextUnused;
            used[target = nextUnused] = true;
        }
        mapping.push_back(static_cast<double>(target + 1));
    }
    return {true, mapping};
}

using Edges = std::vector<std::pair<hxIndex, hxIndex>>;  // 0-based (row, column)

// A sparse array of the edges, each column's rows in random order.
ArrayPtr shuffledArray(hxSize n, Edges edges, std::mt19937& rng) {
    std::shuffle(edges.begin(), edges.end(), rng);
    std::vector<Entry> entries;
    for (const auto& [r, c] : edges) entries.push_back({r + 1, c + 1});
    return sparse(n, entries);
}

// Undirected edges are stored in the lower triangle; diagonal entries, which the
// undirected import ignores, stay where they are.
Edges relabelled(const Edges& edges, const std::vector<hxIndex>& permutation, bool directed) {
    Edges result;
    for (const auto& [r, c] : edges) {
        hxIndex pr = permutation[r], pc = permutation[c];
        if (!directed && pr < pc) std::swap(pr, pc);
        result.emplace_back(pr, pc);
    }
    return result;
}

// Random graphs with self-loops (directed), isolated vertices and vertices sharing
// their neighbourhood with another.
Edges randomEdges(hxSize n, bool directed, std::mt19937& rng) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double density = 0.1 + 0.5 * unit(rng), loops = unit(rng) < 0.5 ? 0.3 : 0.0;
    std::set<std::pair<hxIndex, hxIndex>> edges;
    for (hxIndex i = 0; i < n; ++i)
        for (hxIndex j = 0; j < n; ++j) {
            if (i == j ? unit(rng) < loops : (directed || i > j) && unit(rng) < density) edges.emplace(i, j);
        }
    if (n >= 3 && unit(rng) < 0.3) {  // vertex b takes vertex a's neighbourhood
        const hxIndex a = rng() % n, b = (a + 1 + rng() % (n - 1)) % n;
        std::set<std::pair<hxIndex, hxIndex>> twinned;
        for (auto [r, c] : edges) {
            if (r == b || c == b) continue;
            twinned.emplace(r, c);
            if (r == a && c != a) twinned.emplace(b, c);
            if (c == a && r != a) twinned.emplace(r, b);
        }
        edges.clear();
        for (auto [r, c] : twinned) edges.emplace(directed || r > c ? std::pair{r, c} : std::pair{c, r});
    }
    if (n >= 2 && unit(rng) < 0.3) {  // isolate a vertex
        const hxIndex v = rng() % n;
        for (auto it = edges.begin(); it != edges.end();) it = (it->first == v || it->second == v) ? edges.erase(it) : ++it;
    }
    return Edges(edges.begin(), edges.end());
}

// Moves one edge to a place where there is none (same stored-entry count).
Edges nearMiss(Edges edges, hxSize n, bool directed, std::mt19937& rng) {
    if (edges.empty() || n < 2) return edges;
    const std::set<std::pair<hxIndex, hxIndex>> present(edges.begin(), edges.end());
    for (int attempt = 0; attempt < 20; ++attempt) {
        hxIndex r = rng() % n, c = rng() % n;
        if (!directed && r < c) std::swap(r, c);
        if ((!directed && r == c) || present.count({r, c})) continue;
        edges[rng() % edges.size()] = {r, c};
        return edges;
    }
    return edges;
}

struct Tally {
    int isomorphic = 0, not_isomorphic = 0;
};

// Compares the module with the library on one pair; returns the library's answer.
bool expectSameAsLibrary(const hxArray* a, const hxArray* b, bool directed, const std::string& what) {
    auto out = call("iso", 0, directed ? 1.0 : 0.0, {a, b}, 2);
    const auto [expected, expectedMapping] = directed ? libraryAnswer<LibraryDirected>(a, b, true)
                                                      : libraryAnswer<LibraryUndirected>(a, b, false);
    EXPECT_EQ(out[0]->logicals()[0] != 0, expected) << what;
    if (expected) {
        EXPECT_EQ(values(out[1].get()), expectedMapping) << what;
    }
    return expected;
}

// Compares the module with the library on the graph and a random relabelling of it
// (moved one edge away when `nearMissPair`); returns the library's answer.
bool expectSameOnRelabelledPair(const Edges& edges, hxSize n, bool directed, bool nearMissPair, std::mt19937& rng,
                                const std::string& what) {
    std::vector<hxIndex> permutation(n);
    std::iota(permutation.begin(), permutation.end(), hxIndex{0});
    std::shuffle(permutation.begin(), permutation.end(), rng);
    const Edges copy = relabelled(edges, permutation, directed);
    const Edges other = nearMissPair ? nearMiss(copy, n, directed, rng) : copy;
    ArrayPtr a = shuffledArray(n, edges, rng), b = shuffledArray(n, other, rng);
    return expectSameAsLibrary(a.get(), b.get(), directed, what);
}

TEST(IsomorphismSearch, SameAnswerAndMappingAsTheLibraryOnRandomPairs) {
    std::mt19937 rng(20261208);
    Tally tally;
    for (int trial = 0; trial < 3000; ++trial) {
        const bool directed = trial % 2 == 0;
        const hxSize n = 1 + rng() % (trial % 10 == 9 ? 24 : 9);
        const Edges edges = randomEdges(n, directed, rng);
        const bool same = expectSameOnRelabelledPair(edges, n, directed, trial % 3 == 2, rng, "trial " + std::to_string(trial));
        (same ? tally.isomorphic : tally.not_isomorphic) += 1;
        if (HasFailure()) break;
    }
    // Both outcomes must be well represented for the comparison to mean anything.
    EXPECT_GT(tally.isomorphic, 1500);
    EXPECT_GT(tally.not_isomorphic, 500);
}

// Unions of cycles and paths: every vertex has the same degree, so only the search
// tells them apart (two triangles against a hexagon, and so on).
TEST(IsomorphismSearch, SameAnswerAndMappingAsTheLibraryOnCyclesAndPaths) {
    auto cycles = [](const std::vector<hxIndex>& lengths, bool closed) {
        Edges edges;
        hxIndex start = 0;
        for (const hxIndex length : lengths) {
            for (hxIndex k = 0; k + 1 < length; ++k) edges.emplace_back(start + k + 1, start + k);
            if (closed && length > 2) edges.emplace_back(start + length - 1, start);
            start += length;
        }
        return std::pair{start, edges};
    };
    const std::vector<std::vector<hxIndex>> shapes = {{6}, {3, 3}, {4, 4}, {8}, {3, 5}, {5, 3}, {4, 3, 3}, {10}};
    std::mt19937 rng(7);
    for (const auto& left : shapes)
        for (const auto& right : shapes)
            for (const bool closed : {true, false}) {
                const auto [n1, e1] = cycles(left, closed);
                const auto [n2, e2] = cycles(right, closed);
                if (n1 != n2) continue;
                std::vector<hxIndex> permutation(n2);
                std::iota(permutation.begin(), permutation.end(), hxIndex{0});
                std::shuffle(permutation.begin(), permutation.end(), rng);
                for (const bool directed : {false, true}) {
                    ArrayPtr a = shuffledArray(n1, e1, rng), b = shuffledArray(n2, relabelled(e2, permutation, directed), rng);
                    expectSameAsLibrary(a.get(), b.get(), directed, "shapes of " + std::to_string(n1));
                }
            }
}

// Hubs: a centre joined to every other vertex (both ways when directed) plus a few
// edges between leaves, so that the search backtracks over the centre's neighbours,
// which it scans from where the used ones end.
TEST(IsomorphismSearch, SameAnswerAndMappingAsTheLibraryOnHubs) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 400; ++trial) {
        const bool directed = trial % 2 == 1;
        const hxSize n = 4 + rng() % 16;
        std::set<std::pair<hxIndex, hxIndex>> edges;
        for (hxIndex leaf = 1; leaf < static_cast<hxIndex>(n); ++leaf) {
            edges.emplace(leaf, 0);
            if (directed && rng() % 2) edges.emplace(0, leaf);
        }
        for (int extra = rng() % 4; extra > 0; --extra) {
            hxIndex r = 1 + rng() % (n - 1), c = 1 + rng() % (n - 1);
            if (!directed && r < c) std::swap(r, c);
            if (r != c) edges.emplace(r, c);
        }
        expectSameOnRelabelledPair(Edges(edges.begin(), edges.end()), n, directed, trial % 3 == 2, rng,
                                   "hub trial " + std::to_string(trial));
        if (HasFailure()) break;
    }
}

// A directed graph in which every vertex has two out- and two in-neighbours: i -> s(i)
// and i -> t(i) for two permutations without fixed points that never agree.
ArrayPtr twoInTwoOut(hxIndex n, std::mt19937& rng) {
    std::vector<hxIndex> s(n), t(n);
    std::iota(s.begin(), s.end(), hxIndex{0});
    std::iota(t.begin(), t.end(), hxIndex{0});
    auto derangement = [&](std::vector<hxIndex>& p) {
        do std::shuffle(p.begin(), p.end(), rng);
        while (std::any_of(p.begin(), p.end(), [&](hxIndex v) { return p[v] == v; }));
    };
    derangement(s);
    do derangement(t);
    while ([&] {
        for (hxIndex i = 0; i < n; ++i)
            if (s[i] == t[i]) return true;
        return false;
    }());
    std::vector<Entry> entries;
    for (hxIndex i = 0; i < n; ++i) entries.push_back({i + 1, s[i] + 1}), entries.push_back({i + 1, t[i] + 1});
    return sparse(n, entries);
}

// Two different regular graphs that colour refinement cannot tell apart, too large
// for the distance profiles: the search may run long, and stops when asked to.
TEST(IsomorphismSearch, ALongSearchStopsWhenInterrupted) {
    std::mt19937 rng(11);
    ArrayPtr a = twoInTwoOut(20000, rng), b = twoInTwoOut(20000, rng);
    ArrayPtr name = text("iso"), trace = scalar(0), directed = scalar(1);
    const std::vector<const hxArray*> inputs = {name.get(), trace.get(), directed.get(), a.get(), b.get()};
    Interrupt interrupt;
    auto running = std::async(std::launch::async, [&] { module().call(1, inputs, &interrupt); });
    ASSERT_EQ(running.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    interrupt.request();
    ASSERT_EQ(running.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    try {
        running.get();
        ADD_FAILURE() << "the search was not interrupted";
    } catch (const HostError& error) {
        EXPECT_EQ(error.identifier(), "linkwork:runtime:Interrupted");
    }
}

}  // namespace
}  // namespace linkwork::test
