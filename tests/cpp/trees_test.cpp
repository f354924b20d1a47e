// "pri" and "kru": the tree output, predecessors, roots, weights.
#include "support.h"

namespace linkwork::test {
namespace {

using Triplets = std::vector<std::tuple<hxIndex, hxIndex, double>>;

TEST(SpanningTree, TwoComponentsRootInTheFirst) {
    // Component {1,2,3} (a triangle) and {4,5}; entries below the diagonal.
    ArrayPtr g = sparse(5, {{2, 1, 1.0}, {3, 1, 5.0}, {3, 2, 2.0}, {5, 4, 7.0}});
    ArrayPtr root = scalar(1);
    auto prim = call("pri", 0, 1, {g.get(), root.get()}, 2);
    EXPECT_EQ(triplets(prim[0].get()), (Triplets{{2, 1, 1.0}, {3, 2, 2.0}}));
    EXPECT_EQ(prim[0]->capacity, 4u);
    EXPECT_TRUE(sameValues(values(prim[1].get()), {0, 1, 2, NaN, NaN}));
    auto kruskal = call("kru", 0, 0, {g.get(), root.get()}, 2);
    EXPECT_EQ(triplets(kruskal[0].get()), (Triplets{{2, 1, 1.0}, {3, 2, 2.0}, {5, 4, 7.0}}));
    EXPECT_TRUE(sameValues(values(kruskal[1].get()), {0, 1, 2, NaN, NaN}));
    ArrayPtr rootFour = scalar(4.9);
    EXPECT_TRUE(sameValues(values(call("kru", 0, 0, {g.get(), rootFour.get()}, 2)[1].get()), {NaN, NaN, NaN, 0, 4}));
}

TEST(SpanningTree, SingleVertexAndEdgelessUpperTriangle) {
    ArrayPtr one = sparse(1, {}), upper = sparse(3, {{1, 2, 1.0}, {2, 3, 1.0}}), root = scalar(1);
    for (const char* code : {"pri", "kru"}) {
        auto out = call(code, 0, 0, {one.get(), root.get()}, 2);
        EXPECT_EQ(out[0]->rows(), 1u);
        EXPECT_TRUE(triplets(out[0].get()).empty());
        EXPECT_TRUE(sameValues(values(out[1].get()), {0}));
        auto edgeless = call(code, 0, 0, {upper.get(), root.get()}, 2);
        EXPECT_TRUE(triplets(edgeless[0].get()).empty());
        EXPECT_TRUE(sameValues(values(edgeless[1].get()), {0, NaN, NaN}));
    }
}

TEST(SpanningTree, NegativeWeightFailsPrimOnlyInTheRootsComponent) {
    ArrayPtr g = sparse(4, {{2, 1, 1.0}, {4, 3, -2.0}}), first = scalar(1), third = scalar(3);
    EXPECT_EQ(triplets(call("pri", 0, 0, {g.get(), first.get()})[0].get()), (Triplets{{2, 1, 1.0}}));
    expectHostError("pri", 0, 0, {g.get(), third.get()}, "genokit:linkworkhgw:PrimAlgorithmError",
                    "There was an error in Prim's algorithm.");
    EXPECT_EQ(triplets(call("kru", 0, 0, {g.get(), third.get()})[0].get()), (Triplets{{2, 1, 1.0}, {4, 3, -2.0}}));
}

TEST(SpanningTree, LargestFiniteWeightIsAnEdgeLikeAnyOther) {
    const double largest = std::numeric_limits<double>::max();
    ArrayPtr g = sparse(3, {{2, 1, largest}, {3, 2, 1.0}}), root = scalar(1);
    auto out = call("pri", 0, 0, {g.get(), root.get()}, 2);
    EXPECT_EQ(triplets(out[0].get()), (Triplets{{2, 1, largest}, {3, 2, 1.0}}));
    EXPECT_TRUE(sameValues(values(out[1].get()), {0, 1, 2}));
}

TEST(SpanningTree, CustomWeightsOverrideValuesAndKeepZeros) {
    ArrayPtr g = sparse(3, {{2, 1, 9.0}, {3, 1, 9.0}, {3, 2, 9.0}}), root = scalar(1);
    ArrayPtr weights = row({0.0, 4.0, NaN});  // the edge {3,2} is dropped
    for (const char* code : {"pri", "kru"})
        EXPECT_EQ(triplets(call(code, 0, 0, {g.get(), root.get(), weights.get()})[0].get()),
                  (Triplets{{2, 1, 0.0}, {3, 1, 4.0}}));
}

// Among equal weights Kruskal's algorithm takes edges as the library's queue gives
// them, which depends on the order edges were added: the lower-triangle entries
// column by column, rows in stored order (here out of order within column 1).
TEST(SpanningTree, KruskalTiesFollowTheOrderEdgesWereAdded) {
    ArrayPtr g = sparse(4, {{4, 1}, {2, 1}, {3, 1}, {4, 2}, {3, 2}, {4, 3}}), root = scalar(1);
    auto kruskal = call("kru", 0, 0, {g.get(), root.get()}, 2);
    EXPECT_EQ(triplets(kruskal[0].get()), (Triplets{{3, 1, 1.0}, {4, 1, 1.0}, {3, 2, 1.0}}));
    EXPECT_TRUE(sameValues(values(kruskal[1].get()), {0, 3, 1, 1}));
    auto prim = call("pri", 0, 0, {g.get(), root.get()}, 2);
    EXPECT_TRUE(sameValues(values(prim[1].get()), {0, 1, 1, 1}));
}

TEST(SpanningTree, RootIsChecked) {
    ArrayPtr g = sparse(2, {{2, 1}}), empty = sparse(0, {});
    for (double bad : {0.0, 3.0, -1.0, NaN}) {
        ArrayPtr root = scalar(bad);
        for (const char* code : {"pri", "kru"})
            expectHostError(code, 0, 0, {g.get(), root.get()}, "genokit:linkworkhgw:NotValidNode",
                            "Root node index is invalid.");
    }
    ArrayPtr root = scalar(1);
    expectHostError("pri", 0, 0, {empty.get(), root.get()}, "genokit:linkworkhgw:NotValidNode",
                    "Root node index is invalid.");
    expectHostError("kru", 0, 0, {g.get()}, "genokit:linkworkhgw:NotEnoughInputs", "Not enough input arguments.");
}

}  // namespace
}  // namespace linkwork::test
