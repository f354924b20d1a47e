// The typed C++ API (linkwork/graph.hpp): 0-based conversions both ways, "none"
// predecessors, the distance matrix's orientation, views of every index width and
// without values, custom weights, and errors from the view, the runtime and the module.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "linkwork/graph.hpp"

namespace linkwork {
namespace {

using Vertices = std::vector<std::int64_t>;
const double Inf = std::numeric_limits<double>::infinity();

// examples/tasks.mtx, 0-based: 0->1, 0->2, 1->3, 2->3, 2->4, 3->4, 4->5, 4->6, 5->7, 6->7.
struct Tasks {
    std::vector<std::int64_t> starts{0, 0, 1, 2, 4, 6, 7, 8, 10};
    std::vector<std::int64_t> rows{0, 0, 1, 2, 2, 3, 4, 4, 5, 6};
    GraphView view() const { return GraphView(8, starts, rows); }
};

// examples/roads.mtx, lower triangle, read as undirected.
struct Roads {
    std::vector<std::int64_t> starts{0, 3, 5, 7, 8, 9, 9};
    std::vector<std::int64_t> rows{1, 2, 5, 2, 3, 3, 5, 4, 5};
    std::vector<double> km{7, 9, 14, 10, 15, 11, 2, 6, 9};
    GraphView view() const { return GraphView(6, starts, rows, km).undirected(); }
};

// examples/network.mtx: capacities from row to column; the maximum flow 0 -> 5 is 23.
struct Network {
    std::vector<std::int64_t> starts{0, 0, 2, 4, 6, 7, 9};
    std::vector<std::int64_t> rows{0, 2, 0, 3, 1, 4, 2, 3, 4};
    std::vector<double> capacities{16, 4, 13, 9, 12, 7, 14, 20, 4};
    GraphView view() const { return GraphView(6, starts, rows, capacities); }
};

// A directed cycle 0 -> 1 -> 2 -> 0 and an isolated vertex 3.
struct Ring {
    std::vector<std::int32_t> starts{0, 1, 2, 3, 3};
    std::vector<std::int32_t> rows{2, 0, 1};
    GraphView view() const { return GraphView(4, starts.data(), rows.data()); }
};

TEST(GraphApi, OrdersAndTraversalsAreZeroBased) {
    const Tasks tasks;
    EXPECT_EQ(topologicalSort(tasks.view()), (Vertices{0, 2, 1, 3, 4, 6, 5, 7}));
    EXPECT_TRUE(isDirectedAcyclic(tasks.view()));
    EXPECT_FALSE(isDirectedAcyclic(Ring().view()));

    const Traversal depthFirst = depthFirstSearch(tasks.view(), 0);
    EXPECT_EQ(depthFirst.order, (Vertices{0, 1, 3, 4, 5, 7, 6, 2}));
    EXPECT_EQ(depthFirst.finishOrder.size(), 8u);
    EXPECT_EQ(depthFirst.predecessors[0], noVertex);
    EXPECT_EQ(depthFirst.predecessors[1], 0);

    // Depth 2 from vertex 1 reaches 3 and 4 only; vertex 0 is unreached.
    const Traversal shallow = breadthFirstSearch(tasks.view(), 1, 2);
    EXPECT_EQ(shallow.order, (Vertices{1, 3, 4}));
    EXPECT_EQ(shallow.finishOrder, shallow.order);
    EXPECT_EQ(shallow.predecessors, (Vertices{noVertex, noVertex, noVertex, 1, 3, noVertex, noVertex, noVertex}));
    EXPECT_EQ(shallow.depths, (std::vector<double>{Inf, 0, Inf, 1, 2, Inf, Inf, Inf}));
}

TEST(GraphApi, ComponentsAndTestsFollowTheViewsDirection) {
    const Ring ring;
    const Components strong = stronglyConnectedComponents(ring.view());
    EXPECT_EQ(strong.count, 2u);
    EXPECT_EQ(strong.labels[0], strong.labels[1]);
    EXPECT_NE(strong.labels[0], strong.labels[3]);
    EXPECT_EQ(connectedComponents(ring.view()).count, 2u);
    // Undirected, only the entry below the diagonal (2, 0) is an edge: {0, 2}, {1}, {3}.
    const Components lower = connectedComponents(ring.view().undirected());
    EXPECT_EQ(lower.count, 3u);
    EXPECT_EQ(lower.labels, (Vertices{0, 1, 0, 2}));

    EXPECT_FALSE(isSpanningTree(Roads().view()));
    const std::vector<std::int64_t> pathStarts{0, 1, 2, 2}, pathRows{1, 2};
    EXPECT_TRUE(isSpanningTree(GraphView(3, pathStarts, pathRows)));
}

TEST(GraphApi, ShortestPathsMarkTheSourceAndUnreachedVertices) {
    const Roads roads;
    const ShortestPaths fromFirst = dijkstra(roads.view(), 0);
    EXPECT_EQ(fromFirst.distances, (std::vector<double>{0, 7, 9, 20, 20, 11}));
    EXPECT_EQ(fromFirst.predecessors, (Vertices{noVertex, 0, 0, 2, 5, 2}));
    EXPECT_EQ(bellmanFord(roads.view(), 0).distances, fromFirst.distances);

    // Custom weights replace the values: every road 1 km gives edge counts.
    const std::vector<double> ones(roads.km.size(), 1.0);
    EXPECT_EQ(dijkstra(roads.view(), 0, ones).distances, unweightedShortestPaths(roads.view(), 0).distances);

    const Tasks tasks;
    const ShortestPaths fromSecond = dagShortestPaths(tasks.view(), 1);
    EXPECT_EQ(fromSecond.distances, (std::vector<double>{Inf, 0, Inf, 1, 2, 3, 3, 4}));
    EXPECT_EQ(fromSecond.predecessors[0], noVertex);
    EXPECT_EQ(fromSecond.predecessors[1], noVertex);
    EXPECT_EQ(fromSecond.predecessors[5], 4);
}

TEST(GraphApi, DistanceMatrixIsIndexedFromThenTo) {
    const Tasks tasks;
    const DistanceMatrix all = allPairsShortestPaths(tasks.view());
    ASSERT_EQ(all.vertexCount, 8u);
    EXPECT_EQ(all(0, 7), 4);
    EXPECT_EQ(all(7, 0), Inf);
    EXPECT_EQ(all(2, 4), 1);
    EXPECT_EQ(all(4, 2), Inf);
}

TEST(GraphApi, TreesAndFlowsComeBackInCompressedColumnForm) {
    const Roads roads;
    const SpanningTree prim = minimumSpanningTree(roads.view(), 0);
    EXPECT_EQ(prim.tree.vertexCount, 6u);
    EXPECT_EQ(prim.tree.columnStarts, (Vertices{0, 2, 2, 3, 4, 5, 5}));
    EXPECT_EQ(prim.tree.rowIndices, (Vertices{1, 2, 5, 4, 5}));
    EXPECT_EQ(prim.tree.values, (std::vector<double>{7, 9, 2, 6, 9}));
    EXPECT_EQ(prim.predecessors[0], noVertex);
    const SpanningTree kruskal = minimumSpanningForest(roads.view(), 0);
    EXPECT_EQ(kruskal.tree.values, prim.tree.values);

    const Network network;
    const MaximumFlow edmondsKarp = maximumFlow(network.view(), 0, 5);
    EXPECT_EQ(edmondsKarp.value, 23);
    EXPECT_EQ(pushRelabelMaximumFlow(network.view(), 0, 5).value, 23);
    double intoSink = 0;
    for (std::int64_t k = edmondsKarp.flows.columnStarts[5]; k < edmondsKarp.flows.columnStarts[6]; ++k)
        intoSink += edmondsKarp.flows.values[k];
    EXPECT_EQ(intoSink, 23);
    // Custom capacities halve every pipe.
    std::vector<double> halves;
    for (double capacity : network.capacities) halves.push_back(capacity / 2);
    EXPECT_EQ(maximumFlow(network.view(), 0, 5, halves).value, 11.5);
}

TEST(GraphApi, IsomorphismMapsVerticesOfTheFirstGraphOntoTheSecond) {
    // The ring relabelled: 0 -> 2 -> 1 -> 0, isolated vertex 3.
    const std::vector<std::int64_t> starts{0, 1, 2, 3, 3}, rows{1, 2, 0};
    const Isomorphism same = isIsomorphic(Ring().view(), GraphView(4, starts, rows));
    ASSERT_TRUE(same.isomorphic);
    ASSERT_EQ(same.mapping.size(), 4u);
    EXPECT_EQ(same.mapping[3], 3);
    const Isomorphism different = isIsomorphic(Ring().view(), Tasks().view());
    EXPECT_FALSE(different.isomorphic);
    EXPECT_TRUE(different.mapping.empty());
}

TEST(GraphApi, FailuresCarryIdentifierAndMessage) {
    const auto failure = [](auto&& call) -> Error {
        try {
            call();
        } catch (const Error& error) {
            return error;
        }
        ADD_FAILURE() << "no linkwork::Error";
        return Error("", "");
    };
    const Roads roads;
    const Ring ring;
    const struct {
        const char* what;
        Error error;
        const char* identifier;
    } cases[] = {
        {"source past the end", failure([&] { dijkstra(roads.view(), 6); }), "genokit:linkworkhgw:NotValidNode"},
        {"negative source", failure([&] { dijkstra(roads.view(), -1); }), "genokit:linkworkhgw:NotValidNode"},
        {"cycle", failure([&] { topologicalSort(ring.view()); }), "genokit:linkworkhgw:TopoSortAlgorithmError"},
        {"weights of the wrong count",
         failure([&] { dijkstra(roads.view(), 0, std::vector<double>{1, 2}); }),
         "genokit:linkworkhgw:IncorrectSizeCustomWeights"},
        {"too few column starts",
         failure([] { topologicalSort(GraphView(3, std::vector<std::int64_t>{0, 0}, std::vector<std::int64_t>{})); }),
         "linkwork:graph:MalformedGraph"},
        {"count beyond the row indices",
         failure([] { topologicalSort(GraphView(1, std::vector<std::int64_t>{0, 2}, std::vector<std::int64_t>{0})); }),
         "linkwork:graph:MalformedGraph"},
        {"negative count",
         failure([] { topologicalSort(GraphView(1, std::vector<std::int64_t>{0, -1}, std::vector<std::int64_t>{})); }),
         "linkwork:graph:MalformedGraph"},
        {"negative row index",
         failure([] { topologicalSort(GraphView(2, std::vector<std::int64_t>{0, 1, 1}, std::vector<std::int64_t>{-1})); }),
         "linkwork:runtime:MalformedSparseArray"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.error.identifier(), c.identifier) << c.what;
        EXPECT_FALSE(c.error.message().empty()) << c.what;
        EXPECT_NE(std::string(c.error.what()).find(c.identifier), std::string::npos) << c.what;
    }
    EXPECT_EQ(cases[0].error.message(), "Source node index is invalid.");
}

}  // namespace
}  // namespace linkwork
