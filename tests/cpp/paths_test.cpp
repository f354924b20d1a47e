// "dij", "spb", "bel", "spa", "all": distances, predecessors, negative weights and cycles.
#include "support.h"

namespace linkwork::test {
namespace {

struct Paths {
    std::vector<double> distances, predecessors;
};

Paths paths(const char* code, double directed, const hxArray* g, double source, const hxArray* weights = nullptr) {
    ArrayPtr s = scalar(source);
    std::vector<const hxArray*> args{g, s.get()};
    if (weights) args.push_back(weights);
    auto out = call(code, 0, directed, args, 2);
    return {values(out[0].get()), values(out[1].get())};
}

const char* const negativeCycle = "genokit:linkworkhgw:NegativeCycle";
const char* const bellmanFordCycle = "Negative cycle found in the Bellman-Ford algorithm.";

TEST(ShortestPaths, DijkstraFailsOnlyOnReachedNegativeEdges) {
    ArrayPtr reached = sparse(3, {{1, 2, 1.0}, {2, 3, -1.0}}), unreached = sparse(3, {{1, 2, 1.0}, {3, 2, -1.0}});
    ArrayPtr undirected = sparse(3, {{2, 1, 1.0}, {3, 2, -1.0}}), one = scalar(1);
    const char* id = "genokit:linkworkhgw:DijkstraAlgorithmError";
    const char* message = "There was an error in Dijkstra's algorithm.";
    expectHostError("dij", 0, 1, {reached.get(), one.get()}, id, message);
    expectHostError("dij", 0, 0, {undirected.get(), one.get()}, id, message);
    const Paths p = paths("dij", 1, unreached.get(), 1);
    EXPECT_TRUE(sameValues(p.distances, {0, 1, Inf}));
    EXPECT_TRUE(sameValues(p.predecessors, {0, 1, NaN}));
    ArrayPtr weights = row({2.5, 4.0});  // custom weights replace the stored -1
    EXPECT_TRUE(sameValues(paths("dij", 1, reached.get(), 1, weights.get()).distances, {0, 2.5, 6.5}));
}

TEST(ShortestPaths, BreadthFirstTiesGoToTheLowerNeighbour) {
    ArrayPtr g = sparse(6, {{1, 5, 9.0}, {1, 3, 9.0}, {3, 6, 9.0}, {5, 6, 9.0}});
    const Paths p = paths("spb", 1, g.get(), 1);
    EXPECT_TRUE(sameValues(p.distances, {0, Inf, 1, Inf, 1, 2}));
    EXPECT_TRUE(sameValues(p.predecessors, {0, NaN, 1, NaN, 1, 3}));
    ArrayPtr lower = sparse(6, {{5, 1}, {3, 1}, {6, 3}, {6, 5}});  // column 1 unsorted: 5 comes first
    EXPECT_TRUE(sameValues(paths("spb", 0, lower.get(), 1).predecessors, {0, NaN, 1, NaN, 1, 5}));
}

TEST(ShortestPaths, BellmanFordNegativeCycles) {
    ArrayPtr unreachedCycle = sparse(4, {{1, 2, 1.0}, {3, 4, -1.0}, {4, 3, -1.0}});
    const Paths p = paths("bel", 1, unreachedCycle.get(), 1);
    EXPECT_TRUE(sameValues(p.distances, {0, 1, Inf, Inf}));
    EXPECT_TRUE(sameValues(p.predecessors, {0, 1, NaN, NaN}));
    ArrayPtr negativeLoop = sparse(2, {{1, 1, -1.0}, {1, 2, 1.0}}), minusInfinity = sparse(2, {{1, 2, -Inf}, {2, 1, 1.0}});
    ArrayPtr behindMinusInfinity = sparse(3, {{1, 2, -Inf}, {2, 3, 1.0}, {3, 2, -5.0}});
    expectHostError("bel", 0, 1, {behindMinusInfinity.get(), scalar(1).get()}, negativeCycle, bellmanFordCycle);
    ArrayPtr minusInfinityPath = sparse(3, {{1, 2, -Inf}, {2, 3, 1.0}});
    EXPECT_TRUE(sameValues(paths("bel", 1, minusInfinityPath.get(), 1).distances, {0, -Inf, -Inf}));
    ArrayPtr one = scalar(1), two = scalar(2);
    for (double level : {0.0, 1.0}) {
        CapturedChannels quiet;
        expectHostError("bel", level, 1, {negativeLoop.get(), one.get()}, negativeCycle, bellmanFordCycle);
        expectHostError("bel", level, 1, {minusInfinity.get(), one.get()}, negativeCycle, bellmanFordCycle);
    }
    // Undirected: a reached negative edge is a cycle, from either end; an unreached one is not.
    ArrayPtr undirected = sparse(3, {{2, 1, -1.0}});
    for (const hxArray* source : {one.get(), two.get()})
        expectHostError("bel", 0, 0, {undirected.get(), source}, negativeCycle, bellmanFordCycle);
    EXPECT_TRUE(sameValues(paths("bel", 0, undirected.get(), 3).distances, {Inf, Inf, 0}));
    ArrayPtr mixed = sparse(3, {{1, 2, 4.0}, {2, 3, -2.0}, {1, 3, 3.0}});
    EXPECT_TRUE(sameValues(paths("bel", 1, mixed.get(), 1).distances, {0, 4, 2}));
}

TEST(ShortestPaths, AcyclicPaths) {
    ArrayPtr triangle = sparse(3, {{2, 1, 5.0}, {3, 1, 1.0}, {3, 2, 1.0}}), weights = row({1, 1, 1});
    EXPECT_TRUE(sameValues(paths("spa", 0, triangle.get(), 1, weights.get()).distances, {0, 5, 1}));
    ArrayPtr dag = sparse(3, {{1, 2, -2.0}, {2, 3, 1.0}, {1, 3, 0.0}});
    EXPECT_TRUE(sameValues(paths("spa", 1, dag.get(), 1).distances, {0, -2, -1}));
    ArrayPtr cycle = sparse(3, {{1, 2}, {2, 3}, {3, 1}}), unreached = sparse(3, {{2, 3}, {3, 2}}), one = scalar(1);
    EXPECT_TRUE(sameValues(paths("spa", 1, unreached.get(), 1).distances, {0, Inf, Inf}));
    expectHostError("spa", 0, 1, {cycle.get(), one.get()}, "genokit:linkworkhgw:DAGspAlgorithmError",
                    "There was an error in the DAG shortest paths algorithm. Make sure the provided graph is a DAG.");
    CapturedChannels channels;
    try {
        call("spa", 1, 1, {cycle.get(), one.get()});
        ADD_FAILURE();
    } catch (const ModuleError& error) {
        EXPECT_STREQ(error.what(), "The graph must be a DAG.");
    }
    EXPECT_EQ(withoutTimes(channels.traceLines),
              (std::vector<std::string>{"Entering hgw function: T seconds", "Graph copied: T seconds"}));
}

std::vector<double> allPairs(double directed, const hxArray* g) { return values(call("all", 0, directed, {g})[0].get()); }

TEST(AllPairs, JohnsonContract) {
    ArrayPtr empty = sparse(0, {}), edgeless = sparse(2, {}), negative = sparse(2, {{1, 2, -3.0}});
    EXPECT_TRUE(allPairs(1, empty.get()).empty());
    EXPECT_TRUE(sameValues(allPairs(1, edgeless.get()), {0, Inf, Inf, 0}));
    EXPECT_TRUE(sameValues(allPairs(1, negative.get()), {0, Inf, -3, 0}));  // column-major
    ArrayPtr path = sparse(3, {{1, 2, -0.4}, {2, 3, -0.1}});  // rounding must not fail it
    const std::vector<double> d = allPairs(1, path.get());
    EXPECT_NEAR(d[6], -0.5, 1e-15);
    EXPECT_NEAR(d[7], -0.1, 1e-15);
    ArrayPtr cycle = sparse(3, {{2, 3, -1.0}, {3, 2, 0.5}}), undirected = sparse(2, {{2, 1, -1.0}});
    ArrayPtr minusInfinityCycle = sparse(2, {{1, 2, -Inf}, {2, 1, 1.0}});
    for (auto [directed, g] : {std::pair{1.0, cycle.get()}, std::pair{0.0, undirected.get()}, std::pair{1.0, minusInfinityCycle.get()}})
        for (double level : {0.0, 1.0}) {
            CapturedChannels quiet;
            expectHostError("all", level, directed, {g}, negativeCycle, "Negative cycle found in Johnson's algorithm.");
        }
}

TEST(AllPairs, MinusInfinityOnNoCycleReachesEveryPairThatCanUseIt) {
    ArrayPtr g = sparse(3, {{1, 2, -Inf}, {2, 3, 1.0}});
    EXPECT_TRUE(sameValues(allPairs(1, g.get()), {0, Inf, Inf, -Inf, 0, Inf, -Inf, 1, 0}));
}

}  // namespace
}  // namespace linkwork::test
