// "iso": the size pre-test, the answer, and complete mappings.
#include "support.h"

namespace linkwork::test {
namespace {

std::vector<double> mapping(const std::vector<ArrayPtr>& out) { return values(out[1].get()); }

TEST(Isomorphism, SizePreTestAnswersFalseWithoutTrace) {
    ArrayPtr three = sparse(3, {{2, 1}}), four = sparse(4, {{2, 1}}), wide = sparse(3, 4, {{2, 1}, {3, 1}});
    ArrayPtr full = sparse(2, {{1, 2}, {2, 1}}), lower = sparse(2, {{2, 1}});
    for (auto [a, b] : {std::pair{three.get(), four.get()}, std::pair{wide.get(), three.get()},
                        std::pair{full.get(), lower.get()}}) {
        CapturedChannels channels;
        auto out = call("iso", 1, 0, {a, b}, 2);
        EXPECT_EQ(out[0]->logicals()[0], 0);
        EXPECT_EQ(out[1]->rows(), 0u);
        EXPECT_EQ(out[1]->cols(), 0u);
        EXPECT_TRUE(channels.traceLines.empty());
    }
    ArrayPtr empty = sparse(0, {});
    auto out = call("iso", 0, 1, {empty.get(), empty.get()}, 2);
    EXPECT_EQ(out[0]->logicals()[0], 1);
    EXPECT_EQ(out[1]->rows(), 1u);
    EXPECT_EQ(out[1]->cols(), 0u);
}

TEST(Isomorphism, UnmappedIsolatedVerticesGetTheUnusedOnes) {
    struct Case {
        const char* name;
        ArrayPtr first, second;
        std::vector<double> expected;
    };
    Case cases[] = {
        {"edgeless", sparse(3, {}), sparse(3, {}), {1, 2, 3}},
        {"single vertex", sparse(1, {}), sparse(1, {}), {1}},
        {"isolated beside an edge", sparse(4, {{2, 1}}), sparse(4, {{4, 3}}), {}},
    };
    for (Case& c : cases) {
        for (double directed : {0.0, 1.0}) {
            auto out = call("iso", 0, directed, {c.first.get(), c.second.get()}, 2);
            ASSERT_EQ(out[0]->logicals()[0], 1) << c.name;
            std::vector<double> m = mapping(out);
            std::vector<double> sorted = m;
            std::sort(sorted.begin(), sorted.end());
            std::vector<double> identity(m.size());
            std::iota(identity.begin(), identity.end(), 1.0);
            EXPECT_EQ(sorted, identity) << c.name;  // a permutation
            if (!c.expected.empty()) {
                EXPECT_EQ(m, c.expected) << c.name;
            }
        }
    }
}

TEST(Isomorphism, DirectionAndSelfLoopsMatter) {
    ArrayPtr path = sparse(3, {{1, 2}, {2, 3}}), star = sparse(3, {{1, 2}, {1, 3}});
    ArrayPtr loop = sparse(2, {{1, 1}, {1, 2}}), otherLoop = sparse(2, {{2, 2}, {1, 2}});
    EXPECT_EQ(call("iso", 0, 1, {path.get(), star.get()})[0]->logicals()[0], 0);
    auto out = call("iso", 0, 1, {loop.get(), otherLoop.get()}, 2);
    EXPECT_EQ(out[0]->logicals()[0], 0);  // the loop sits at the source in one, the target in the other
    ArrayPtr values1 = sparse(2, {{2, 1, 5.0}}), values2 = sparse(2, {{2, 1, NaN}});
    EXPECT_EQ(call("iso", 0, 0, {values1.get(), values2.get()})[0]->logicals()[0], 1);
}

TEST(Isomorphism, TraceAndListing) {
    ArrayPtr g = sparse(3, {{2, 1}, {3, 2}});
    CapturedChannels channels;
    testing::internal::CaptureStdout();
    call("iso", 2, 0, {g.get(), g.get()}, 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " <1,0> \n <2,1> \n <1,0> \n <2,1> \n");
    EXPECT_EQ(withoutTimes(channels.traceLines),
              (std::vector<std::string>{"Entering hgw function: T seconds", "Graphs copied: T seconds",
                                        "Algorithm finished: T seconds", "Outputs copied: T seconds"}));
}

TEST(Isomorphism, MissingOrBadGraphs) {
    ArrayPtr g = sparse(2, {{2, 1}}), dense = matrix(2, 2, {0, 1, 0, 0}), wide = sparse(2, 3, {{2, 1}});
    expectHostError("iso", 0, 1, {g.get()}, "genokit:linkworkhgw:NotEnoughInputs", "Not enough input arguments.");
    expectHostError("iso", 0, 1, {g.get(), dense.get()}, "genokit:linkworkhgw:NotSparseArray",
                    "Input argument should be a sparse array.");
    ArrayPtr wide2 = sparse(3, 3, {{2, 1}});
    expectHostError("iso", 0, 1, {wide.get(), wide2.get()}, "genokit:linkworkhgw:NotSquareArray",
                    "Sparse array should have same number of rows and columns.");
}

}  // namespace
}  // namespace linkwork::test
