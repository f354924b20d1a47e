// "top" and "isd", and the import rules they exercise.
#include "support.h"

namespace linkwork::test {
namespace {

TEST(Topological, OrdersByReverseFinish) {
    struct Case {
        const char* name;
        hxSize n;
        std::vector<Entry> entries;
        std::vector<double> order;
    };
    const std::vector<Case> cases = {
        {"two into one", 3, {{1, 3}, {2, 3}}, {2, 1, 3}},
        {"chain", 3, {{1, 2}, {2, 3}}, {1, 2, 3}},
        {"empty", 0, {}, {}},
        {"isolated", 3, {}, {3, 2, 1}},
        {"stored zero is an edge", 2, {{2, 1, 0.0}}, {2, 1}},
    };
    for (const Case& c : cases) {
        ArrayPtr g = sparse(c.n, c.entries);
        for (double directed : {1.0, 0.0}) {
            auto out = call("top", 0, directed, {g.get()});
            ASSERT_EQ(out[0]->rows(), 1u) << c.name;
            EXPECT_TRUE(sameValues(values(out[0].get()), c.order)) << c.name;
        }
    }
}

TEST(Topological, CycleIsAnErrorAtLevelZeroAndTheLibrarysOwnAbove) {
    for (auto entries : {std::vector<Entry>{{1, 1}}, std::vector<Entry>{{1, 2}, {2, 1}}}) {
        ArrayPtr g = sparse(2, entries);
        expectHostError("top", 0, 1, {g.get()}, "genokit:linkworkhgw:TopoSortAlgorithmError",
                        "There was an error in the topological sort algorithm. Make sure the provided graph is a DAG.");
        for (double level : {1.0, 2.0}) {
            CapturedChannels channels;
            testing::internal::CaptureStdout();
            EXPECT_THROW(
                {
                    try {
                        call("top", level, 1, {g.get()});
                    } catch (const ModuleError& error) {
                        EXPECT_STREQ(error.what(), "The graph must be a DAG.");
                        throw;
                    }
                },
                ModuleError);
            testing::internal::GetCapturedStdout();
            EXPECT_EQ(withoutTimes(channels.traceLines),
                      (std::vector<std::string>{"Entering hgw function: T seconds", "Graph copied: T seconds"}));
        }
    }
}

TEST(Acyclic, ReportsCyclesAsFalse) {
    struct Case {
        const char* name;
        hxSize n;
        std::vector<Entry> entries;
        bool acyclic;
    };
    const std::vector<Case> cases = {
        {"empty", 0, {}, true},
        {"chain", 3, {{1, 2}, {2, 3}}, true},
        {"self-loop", 2, {{2, 2}}, false},
        {"symmetric pair", 3, {{1, 3}, {3, 1}}, false},
        {"stored zero closes a cycle", 2, {{1, 2}, {2, 1, 0.0}}, false},
        {"cycle found late", 5, {{1, 2}, {3, 4}, {4, 5}, {5, 3}}, false},
        {"diamond", 4, {{1, 2}, {1, 3}, {2, 4}, {3, 4}}, true},
    };
    for (const Case& c : cases) {
        ArrayPtr g = sparse(c.n, c.entries);
        auto out = call("isd", 0, 0, {g.get()});
        ASSERT_TRUE(out[0]->isLogical()) << c.name;
        EXPECT_EQ(out[0]->logicals()[0] != 0, c.acyclic) << c.name;
    }
}

TEST(Import, RejectsArraysThatAreNotSquareSparse) {
    ArrayPtr dense = matrix(2, 2, {0, 1, 0, 0}), wide = sparse(3, 4, {{1, 2}});
    for (const char* code : {"top", "isd"}) {
        expectHostError(code, 0, 1, {dense.get()}, "genokit:linkworkhgw:NotSparseArray",
                        "Input argument should be a sparse array.");
        expectHostError(code, 0, 1, {wide.get()}, "genokit:linkworkhgw:NotSquareArray",
                        "Sparse array should have same number of rows and columns.");
    }
}

TEST(Import, ListsDirectedEdgesVertexByVertexAtLevelTwo) {
    // Import order adds 1 -> 0 first; the listing goes vertex by vertex.
    ArrayPtr g = sparse(3, {{2, 1}, {1, 3}});
    CapturedChannels channels;
    testing::internal::CaptureStdout();
    call("top", 2, 1, {g.get()});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " <0,2> \n <1,0> \n");
    EXPECT_EQ(withoutTimes(channels.traceLines),
              (std::vector<std::string>{"Entering hgw function: T seconds", "Graph copied: T seconds",
                                        "Algorithm finished: T seconds", "Outputs copied: T seconds"}));
    testing::internal::CaptureStdout();
    call("top", 1, 1, {g.get()});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(Import, LogicalAndComplexArraysGiveEdges) {
    ArrayPtr logical = sparseLogical(3, {{1, 3}, {2, 3}});
    EXPECT_TRUE(sameValues(values(call("top", 0, 1, {logical.get()})[0].get()), {2, 1, 3}));
    ArrayPtr complex = makeSparse(hxDOUBLE_CLASS, 2, 2, 1, true);
    complex->rowIndices[0] = 0;
    complex->columnStarts[1] = 0;
    complex->columnStarts[2] = 1;
    EXPECT_TRUE(sameValues(values(call("top", 0, 1, {complex.get()})[0].get()), {1, 2}));
}

}  // namespace
}  // namespace linkwork::test
