// "dfs", "bfs", "wcc", "scc", "ist": orders, depth limits, labels, the tree test.
#include "support.h"

namespace linkwork::test {
namespace {

struct Traversal {
    std::vector<double> discovered, predecessors, finished, depths;
};

Traversal traverse(const char* code, double directed, const hxArray* g, double source, double depth) {
    ArrayPtr s = scalar(source), d = scalar(depth);
    auto out = call(code, 0, directed, {g, s.get(), d.get()}, 4);
    return {values(out[0].get()), values(out[1].get()), values(out[2].get()), values(out[3].get())};
}

TEST(Traversal, DepthLimitCutsTheDepthFirstTreeNotDistances) {
    ArrayPtr g = sparse(4, {{1, 2}, {2, 3}, {3, 4}, {1, 3}});
    const Traversal dfs = traverse("dfs", 1, g.get(), 1, 2);
    EXPECT_TRUE(sameValues(dfs.discovered, {1, 2, 3}));
    EXPECT_TRUE(sameValues(dfs.predecessors, {0, 1, 2, NaN}));
    EXPECT_TRUE(sameValues(dfs.finished, {3, 2, 1}));
    EXPECT_TRUE(sameValues(dfs.depths, {0, 1, 2, Inf}));
    const Traversal bfs = traverse("bfs", 1, g.get(), 1, 2);
    EXPECT_TRUE(sameValues(bfs.discovered, {1, 2, 3, 4}));
    EXPECT_TRUE(sameValues(bfs.predecessors, {0, 1, 1, 3}));
    EXPECT_TRUE(sameValues(bfs.finished, bfs.discovered));
    EXPECT_TRUE(sameValues(bfs.depths, {0, 1, 1, 2}));
}

TEST(Traversal, CycleWithoutLimit) {
    ArrayPtr g = sparse(3, {{1, 2}, {2, 3}, {3, 1}});
    const Traversal dfs = traverse("dfs", 1, g.get(), 1, Inf);
    EXPECT_TRUE(sameValues(dfs.discovered, {1, 2, 3}));
    EXPECT_TRUE(sameValues(dfs.finished, {3, 2, 1}));
    EXPECT_TRUE(sameValues(dfs.predecessors, {0, 1, 2}));
    EXPECT_TRUE(sameValues(dfs.depths, {0, 1, 2}));
}

TEST(Traversal, DepthValues) {
    ArrayPtr g = sparse(3, {{1, 2}, {2, 3}});
    const std::vector<std::pair<double, std::vector<double>>> accepted = {
        {0, {1}}, {0.9, {1}}, {1.5, {1, 2}}, {Inf, {1, 2, 3}}, {NaN, {1, 2, 3}}, {1e300, {1, 2, 3}}};
    for (const char* code : {"dfs", "bfs"})
        for (const auto& [depth, discovered] : accepted)
            EXPECT_TRUE(sameValues(traverse(code, 1, g.get(), 1, depth).discovered, discovered)) << code << depth;
    ArrayPtr source = scalar(1), empty = makeDouble(0, 0), pair = row({1, 2}), text = makeString("a");
    ArrayPtr negative = scalar(-0.5), minusInf = scalar(-Inf);
    for (const char* code : {"dfs", "bfs"}) {
        for (const hxArray* bad : {negative.get(), minusInf.get(), empty.get(), pair.get(), text.get()})
            expectHostError(code, 0, 1, {g.get(), source.get(), bad}, "genokit:linkworkhgw:NotNumericDepth",
                            "Depth must be numeric and scalar.");
        expectHostError(code, 0, 1, {g.get(), source.get()}, "genokit:linkworkhgw:NotEnoughInputs",
                        "Not enough input arguments.");
    }
}

TEST(Traversal, SourcesAndUndirectedReading) {
    ArrayPtr upper = sparse(3, {{1, 2}, {1, 3}}), lower = sparse(6, {{3, 1}, {5, 1}}), empty = sparse(0, {});
    EXPECT_TRUE(sameValues(traverse("bfs", 0, upper.get(), 1, Inf).discovered, {1}));
    EXPECT_TRUE(sameValues(traverse("bfs", 0, lower.get(), 1, Inf).discovered, {1, 3, 5}));
    EXPECT_TRUE(sameValues(traverse("dfs", 1, upper.get(), 2.9, Inf).discovered, {2}));
    EXPECT_TRUE(sameValues(traverse("dfs", 1, upper.get(), 3.5, Inf).discovered, {3}));
    ArrayPtr depth = scalar(1);
    for (double bad : {0.5, 0.0, -1.0, NaN, Inf, 4.0}) {
        ArrayPtr source = scalar(bad);
        expectHostError("dfs", 0, 1, {upper.get(), source.get(), depth.get()}, "genokit:linkworkhgw:NotValidNode",
                        "Source node index is invalid.");
    }
    ArrayPtr one = scalar(1);
    expectHostError("bfs", 0, 1, {empty.get(), one.get(), depth.get()}, "genokit:linkworkhgw:NotValidNode",
                    "Source node index is invalid.");
}

// An undirected vertex meets its edges in entry order, whichever end it is: vertex 1
// sees 3 before 2 (column 1 stores row 3 first), vertex 2 sees 1 (as column) before 4.
TEST(Traversal, UndirectedNeighboursComeInEntryOrder) {
    ArrayPtr g = sparse(4, {{3, 1}, {2, 1}, {2, 2}, {4, 2}});
    const Traversal dfs = traverse("dfs", 0, g.get(), 1, Inf);
    EXPECT_TRUE(sameValues(dfs.discovered, {1, 3, 2, 4}));
    EXPECT_TRUE(sameValues(dfs.finished, {3, 4, 2, 1}));
    const Traversal fromTwo = traverse("dfs", 0, g.get(), 2, Inf);
    EXPECT_TRUE(sameValues(fromTwo.discovered, {2, 1, 3, 4}));
    EXPECT_TRUE(sameValues(traverse("bfs", 0, g.get(), 4, Inf).discovered, {4, 2, 1, 3}));
}

TEST(Traversal, OutputCountDecidesWhatIsMade) {
    ArrayPtr g = sparse(2, {{1, 2}}), s = scalar(1), d = scalar(Inf);
    for (int requested : {0, 1, 2, 6}) {
        auto out = call("dfs", 0, 1, {g.get(), s.get(), d.get()}, requested);
        for (int k = 0; k < static_cast<int>(out.size()); ++k)
            EXPECT_EQ(out[k] != nullptr, k == 0 || (k < requested && k < 4)) << requested << " " << k;
    }
}

TEST(Components, LabelsFollowTheLibrarysNumbering) {
    struct Case {
        const char* code;
        double directed;
        hxSize n;
        std::vector<Entry> entries;
        double count;
        std::vector<double> labels;
    };
    const std::vector<Case> cases = {
        {"wcc", 1, 3, {{1, 2}, {3, 2}}, 1, {1, 1, 1}},
        {"wcc", 0, 3, {{1, 2}, {3, 2}}, 2, {1, 2, 2}},
        {"wcc", 0, 4, {{4, 1}, {3, 2}}, 2, {1, 2, 2, 1}},
        {"wcc", 1, 3, {}, 3, {1, 2, 3}},
        {"wcc", 1, 0, {}, 0, {}},
        {"scc", 1, 3, {{1, 2}, {2, 1}, {2, 3}}, 2, {2, 2, 1}},
        {"scc", 0, 3, {{1, 2}, {2, 3}, {3, 1}}, 1, {1, 1, 1}},
        {"scc", 1, 3, {{2, 2}}, 3, {1, 2, 3}},
    };
    for (const Case& c : cases) {
        ArrayPtr g = sparse(c.n, c.entries);
        auto out = call(c.code, 0, c.directed, {g.get()}, 2);
        EXPECT_EQ(values(out[0].get())[0], c.count) << c.code;
        EXPECT_TRUE(sameValues(values(out[1].get()), c.labels)) << c.code;
    }
}

TEST(TreeTest, ConnectedAndAcyclicLowerTriangle) {
    struct Case {
        const char* name;
        hxSize n;
        std::vector<Entry> entries;
        bool tree;
    };
    const std::vector<Case> cases = {
        {"empty", 0, {}, false},
        {"one vertex", 1, {}, true},
        {"diagonal ignored", 1, {{1, 1}}, true},
        {"edge", 2, {{2, 1}}, true},
        {"upper ignored", 2, {{1, 2}}, false},
        {"path", 3, {{2, 1}, {3, 2}}, true},
        {"triangle", 3, {{2, 1}, {3, 2}, {3, 1}}, false},
        {"forest", 4, {{2, 1}, {4, 3}}, false},
        {"symmetric tree", 3, {{2, 1}, {1, 2}, {3, 2}, {2, 3}}, true},
        {"cycle then isolated", 5, {{2, 1}, {3, 2}, {3, 1}}, false},
        {"star, rows out of order", 4, {{4, 1}, {2, 1}, {3, 1}}, true},
    };
    for (const Case& c : cases) {
        ArrayPtr g = sparse(c.n, c.entries);
        EXPECT_EQ(call("ist", 0, 1, {g.get()})[0]->logicals()[0] != 0, c.tree) << c.name;
    }
}

}  // namespace
}  // namespace linkwork::test
