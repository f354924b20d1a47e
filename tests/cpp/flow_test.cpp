// "edm" and "gol": capacity checks, infinite capacities, the flow matrix, the trace.
#include "support.h"

namespace linkwork::test {
namespace {

using Triplets = std::vector<std::tuple<hxIndex, hxIndex, double>>;
const char* const flowCodes[] = {"edm", "gol"};

struct FlowResult {
    double value;
    Triplets flow;
};

FlowResult maxFlow(const char* code, const hxArray* g, double s, double t, const hxArray* capacities = nullptr) {
    ArrayPtr source = scalar(s), destination = scalar(t);
    std::vector<const hxArray*> args{g, source.get(), destination.get()};
    if (capacities) args.push_back(capacities);
    auto out = call(code, 0, 1, args, 2);
    return {values(out[0].get())[0], triplets(out[1].get())};
}

TEST(MaxFlow, WorkedExamplesAgreeInBothCodes) {
    struct Case {
        const char* name;
        hxSize n;
        std::vector<Entry> entries;
        double value;
        Triplets flow;
    };
    const std::vector<Case> cases = {
        {"no path", 3, {{2, 3, 4.0}}, 0.0, {}},
        {"bottleneck", 3, {{1, 2, 5.0}, {2, 3, 3.0}}, 3.0, {{1, 2, 3.0}, {2, 3, 3.0}}},
        {"infinite after finite", 3, {{1, 2, 5.0}, {2, 3, Inf}}, 5.0, {{1, 2, 5.0}, {2, 3, 5.0}}},
        {"single infinite edge", 2, {{1, 2, Inf}}, Inf, {{1, 2, Inf}}},
        {"single finite edge", 2, {{1, 2, 7.0}}, 7.0, {{1, 2, 7.0}}},
        {"self-loop never carries flow", 2, {{1, 1, 4.0}, {1, 2, 2.0}}, 2.0, {{1, 2, 2.0}}},
    };
    for (const Case& c : cases) {
        ArrayPtr g = sparse(c.n, c.entries);
        for (const char* code : flowCodes) {
            const FlowResult r = maxFlow(code, g.get(), 1, static_cast<double>(c.n));
            EXPECT_EQ(r.value, c.value) << code << " " << c.name;
            EXPECT_EQ(r.flow, c.flow) << code << " " << c.name;
        }
    }
}

TEST(MaxFlow, RoundingAboveTheFiniteTotalStaysFinite) {
    // The finite total is 1.2; the augmentations add up to 1.2000000000000002.
    ArrayPtr g = sparse(4, {{1, 2, Inf}, {1, 3, 1.0}, {2, 4, 0.2}, {3, 4, Inf}});
    EXPECT_NEAR(maxFlow("edm", g.get(), 1, 4).value, 1.2, 1e-15);
}

TEST(MaxFlow, ManyInfiniteCapacitiesLeavingTheSourceStayInRange) {
    // Three and fifty infinite edges out of the source: all-infinite paths read +Inf,
    // a finite cut reads its finite value.
    for (int width : {3, 50}) {
        const hxSize n = width + 2;
        std::vector<Entry> allInfinite, finiteCut;
        for (int k = 0; k < width; ++k) {
            const hxIndex middle = 2 + k;
            allInfinite.push_back({1, middle, Inf});
            allInfinite.push_back({middle, n, Inf});
            finiteCut.push_back({1, middle, Inf});
            finiteCut.push_back({middle, n, static_cast<double>(k + 1)});
        }
        ArrayPtr infiniteGraph = sparse(n, allInfinite), finiteGraph = sparse(n, finiteCut);
        const double expected = width * (width + 1) / 2.0;
        for (const char* code : flowCodes) {
            EXPECT_EQ(maxFlow(code, infiniteGraph.get(), 1, n).value, Inf) << code << width;
            EXPECT_NEAR(maxFlow(code, finiteGraph.get(), 1, n).value, expected, expected * 1e-12) << code << width;
        }
    }
}

TEST(MaxFlow, ExtremeCapacityTotalsStillScale) {
    // A subnormal total makes 2^61 over it infinite; a total past the double range
    // makes it 0. Both must still give the flow, not undefined conversions or zeros.
    const std::vector<std::pair<double, double>> cases = {{5e-324, 1e-323}, {6e307, 8e307}};
    for (const auto& [first, second] : cases) {
        ArrayPtr g = sparse(3, {{1, 2, first}, {2, 3, second}, {1, 3, second}});
        const double expected = std::min(first, second) + second;
        EXPECT_NEAR(maxFlow("gol", g.get(), 1, 3).value, expected, expected * 1e-12) << first;
    }
}

// Infinite capacities stand in as twice the finite total S; when that is past the
// double range the search must still end, with the same answers in both codes.
TEST(MaxFlow, TotalsNearAndPastHalfTheDoubleRangeStillEnd) {
    struct Case {
        const char* name;
        hxSize n;
        std::vector<Entry> entries;
        double value;
        Triplets flow;
    };
    const std::vector<Case> cases = {
        {"2S just finite", 3, {{1, 2, 0.8e308}, {2, 3, Inf}}, 0.8e308, {{1, 2, 0.8e308}, {2, 3, 0.8e308}}},
        {"2S past the range, finite cut", 3, {{1, 2, 0.9e308}, {2, 3, Inf}}, 0.9e308,
         {{1, 2, 0.9e308}, {2, 3, 0.9e308}}},
        {"infinite path beside a huge edge", 3, {{1, 2, 1e308}, {1, 3, Inf}}, Inf, {{1, 3, Inf}}},
        {"infinite path beside a huge one", 3, {{1, 2, Inf}, {2, 3, Inf}, {1, 3, 1e308}}, Inf,
         {{1, 2, Inf}, {1, 3, 1e308}, {2, 3, Inf}}},
        {"S itself past the range", 4, {{1, 2, 1e308}, {1, 3, 1e308}, {2, 4, Inf}, {3, 4, Inf}}, Inf,
         {{1, 2, 1e308}, {1, 3, 1e308}, {2, 4, 1e308}, {3, 4, 1e308}}},
    };
    for (const Case& c : cases) {
        ArrayPtr g = sparse(c.n, c.entries);
        for (const char* code : flowCodes) {
            const FlowResult r = maxFlow(code, g.get(), 1, static_cast<double>(c.n));
            if (std::isinf(c.value))
                EXPECT_EQ(r.value, c.value) << code << " " << c.name;
            else
                EXPECT_NEAR(r.value, c.value, c.value * 1e-12) << code << " " << c.name;
            ASSERT_EQ(r.flow.size(), c.flow.size()) << code << " " << c.name;
            for (std::size_t k = 0; k < c.flow.size(); ++k) {
                const auto& [row, col, expected] = c.flow[k];
                EXPECT_EQ(std::get<0>(r.flow[k]), row) << code << " " << c.name;
                EXPECT_EQ(std::get<1>(r.flow[k]), col) << code << " " << c.name;
                if (std::isinf(expected))
                    EXPECT_EQ(std::get<2>(r.flow[k]), expected) << code << " " << c.name;
                else
                    EXPECT_NEAR(std::get<2>(r.flow[k]), expected, expected * 1e-12) << code << " " << c.name;
            }
        }
    }
}

// Push-relabel's preflow conversion can leave a cycle of flow (here 2 -> 6 -> 3 -> 2
// beside the path 1 -> 5 -> 8); it is cancelled, and a sink that nothing reaches
// gets no flow at all.
TEST(MaxFlow, PushRelabelFlowsCarryNoCycle) {
    const std::vector<Entry> entries = {{1, 5, 2}, {2, 1, 4}, {2, 6, 2}, {3, 2, 4}, {4, 1, 3}, {4, 2, 3}, {4, 7, 3},
                                        {4, 8, 1}, {5, 3, 2}, {5, 6, 4}, {5, 8, 1}, {6, 3, 1}, {7, 5, 4}, {8, 7, 1}};
    ArrayPtr g = sparse(8, entries);
    const FlowResult r = maxFlow("gol", g.get(), 1, 8);
    EXPECT_NEAR(r.value, 1.0, 1e-15);
    ASSERT_EQ(r.flow.size(), 2u);
    EXPECT_EQ(std::get<0>(r.flow[0]), 1u);
    EXPECT_EQ(std::get<1>(r.flow[0]), 5u);
    EXPECT_EQ(std::get<0>(r.flow[1]), 5u);
    EXPECT_EQ(std::get<1>(r.flow[1]), 8u);

    std::vector<Entry> cutOff;
    for (const Entry& e : entries)
        if (e.col != 8) cutOff.push_back(e);
    ArrayPtr h = sparse(8, cutOff);
    for (const char* code : flowCodes) {
        const FlowResult none = maxFlow(code, h.get(), 1, 8);
        EXPECT_EQ(none.value, 0.0) << code;
        EXPECT_TRUE(none.flow.empty()) << code;
    }
}

TEST(MaxFlow, CustomCapacitiesOverrideAndNaNDropsTheEdge) {
    ArrayPtr g = sparse(3, {{1, 2, 1.0}, {1, 3, 1.0}, {2, 3, 1.0}});
    ArrayPtr capacities = row({4.0, NaN, 2.0}), logical = sparseLogical(3, {{1, 2}, {2, 3}});
    for (const char* code : flowCodes) {
        const FlowResult r = maxFlow(code, g.get(), 1, 3, capacities.get());
        EXPECT_EQ(r.value, 2.0) << code;
        EXPECT_EQ(r.flow, (Triplets{{1, 2, 2.0}, {2, 3, 2.0}})) << code;
        EXPECT_EQ(maxFlow(code, logical.get(), 1, 3).value, 1.0) << code;
    }
}

TEST(MaxFlow, ChecksComeInTheirOrder) {
    ArrayPtr g = sparse(3, {{1, 2, 1.0}}), reciprocal = sparse(2, {{1, 2, 1.0}, {2, 1, 1.0}});
    ArrayPtr both = sparse(2, {{1, 2, -1.0}, {2, 1, 1.0}}), negative = sparse(2, {{1, 2, -1.0}});
    ArrayPtr one = scalar(1), zero = scalar(0), two = scalar(2);
    const std::string node = "genokit:linkworkhgw:NotValidNode";
    for (const char* code : flowCodes) {
        expectHostError(code, 0, 1, {g.get(), one.get(), one.get()}, node, "Source and destination nodes should not be the same.");
        expectHostError(code, 0, 1, {g.get(), one.get(), zero.get()}, node, "Destination node index is invalid.");
        expectHostError(code, 0, 1, {g.get(), zero.get(), zero.get()}, node, "Source node index is invalid.");
        expectHostError(code, 0, 1, {g.get(), one.get()}, "genokit:linkworkhgw:NotEnoughInputs", "Not enough input arguments.");
        expectHostError(code, 0, 1, {reciprocal.get(), one.get(), two.get()}, "genokit:linkworkhgw:ParallelEdges",
                        "Reciprocal edges are not allowed in maxflow algorithms.");
        expectHostError(code, 0, 1, {negative.get(), one.get(), two.get()}, "genokit:linkworkhgw:NegativeEdges",
                        "Edge capacities must have non-negative values in maxflow algorithms.");
        ArrayPtr shortCaps = row({1.0, 2.0}), intCaps = makeNumeric(hxINT32_CLASS, 1, 1);
        expectHostError(code, 0, 1, {g.get(), one.get(), two.get(), shortCaps.get()},
                        "genokit:linkworkhgw:IncorrectSizeCustomCaps",
                        "Custom capacities should have same number of elements as nonzero entries in the sparse array.");
        expectHostError(code, 0, 1, {g.get(), one.get(), two.get(), intCaps.get()},
                        "genokit:linkworkhgw:IncorrectTypeCustomCaps", "Custom capacities should be double and real.");
    }
    // A negative and a reciprocal pair together: each code reports its own first check.
    expectHostError("edm", 0, 1, {both.get(), one.get(), two.get()}, "genokit:linkworkhgw:ParallelEdges",
                    "Reciprocal edges are not allowed in maxflow algorithms.");
    expectHostError("gol", 0, 1, {both.get(), one.get(), two.get()}, "genokit:linkworkhgw:NegativeEdges",
                    "Edge capacities must have non-negative values in maxflow algorithms.");
}

// Only a pair of entries i -> j and j -> i (i != j), both with a capacity, is refused.
TEST(MaxFlow, MirroredEntriesAreFoundAndNothingElse) {
    struct Case {
        const char* name;
        std::vector<Entry> entries;
        std::vector<double> capacities;  // empty: the stored values
        bool refused;
    };
    const std::vector<Case> cases = {
        {"self-loops beside a path", {{1, 1, 1.0}, {1, 2, 1.0}, {2, 2, 3.0}, {2, 3, 1.0}}, {}, false},
        {"a directed triangle", {{1, 2, 1.0}, {2, 3, 1.0}, {3, 1, 1.0}}, {}, false},
        {"a vertex with an edge in and out", {{1, 2, 1.0}, {3, 2, 1.0}, {2, 4, 1.0}, {4, 3, 1.0}}, {}, false},
        {"a mirrored pair far from the source", {{1, 2, 1.0}, {2, 3, 1.0}, {4, 3, 1.0}, {3, 4, 1.0}}, {}, true},
        {"a mirrored pair beside self-loops", {{3, 3, 1.0}, {1, 3, 1.0}, {3, 1, 1.0}, {1, 1, 1.0}}, {}, true},
        // Capacities follow column-major entry order (3,1) (1,2) (1,3); a NaN one is no edge.
        {"a mirrored pair with a NaN capacity", {{1, 3, 1.0}, {3, 1, 1.0}, {1, 2, 1.0}}, {NaN, 1.0, 2.0}, false},
    };
    for (const Case& c : cases) {
        ArrayPtr g = sparse(4, c.entries), one = scalar(1), four = scalar(4);
        ArrayPtr caps = c.capacities.empty() ? nullptr : row(c.capacities);
        for (const char* code : flowCodes) {
            std::vector<const hxArray*> inputs = {g.get(), one.get(), four.get()};
            if (caps) inputs.push_back(caps.get());
            if (c.refused)
                expectHostError(code, 0, 1, inputs, "genokit:linkworkhgw:ParallelEdges",
                                "Reciprocal edges are not allowed in maxflow algorithms.");
            else
                EXPECT_NO_THROW(call(code, 0, 1, inputs, 2)) << c.name << " " << code;
        }
    }
}

TEST(MaxFlow, IllConditionedCapacitiesWarnAndGoOn) {
    ArrayPtr g = sparse(3, {{1, 2, 1.0}, {2, 3, 1e-20}});
    for (const char* code : flowCodes) {
        CapturedChannels channels;
        EXPECT_NO_THROW(maxFlow(code, g.get(), 1, 3));
        ASSERT_EQ(channels.warnings.size(), 1u) << code;
        EXPECT_EQ(channels.warnings[0].first, "genokit:linkworkhgw:IllConditioned");
        EXPECT_EQ(channels.warnings[0].second, "Ill-conditioned graph, rounding errors may cause incorrect results.");
    }
}

TEST(MaxFlow, TraceHasThreeLinesAndListsTwins) {
    ArrayPtr g = sparse(5, {{2, 5, 3.0}}), two = scalar(2), five = scalar(5);
    const std::vector<std::pair<const char*, std::string>> listings = {
        {"edm", "(1,4) edg_idx: (4,1) -> 3\n(4,1) edg_idx: (1,4) -> 0\n"},
        {"gol", "(1,4) edg_idx: (4,1) -> 2305843009213693952\n(4,1) edg_idx: (1,4) -> 0\n"},
    };
    for (const auto& [code, listing] : listings) {
        CapturedChannels channels;
        testing::internal::CaptureStdout();
        call(code, 2, 1, {g.get(), two.get(), five.get()}, 2);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), listing) << code;
        EXPECT_EQ(withoutTimes(channels.traceLines),
                  (std::vector<std::string>{"Entering hgw function: T seconds", "Graph copied: T seconds",
                                            "Algorithm finished: T seconds"}));
    }
}

// Each vertex lists its row's forward edges and its column's twins in entry order
// (column-major), a diagonal entry's forward loop before its twin: the order the
// flow matrix, the listing and the mirrored-entry test rely on.
TEST(MaxFlow, OutEdgesKeepEntryOrder) {
    ArrayPtr g = sparse(3, {{1, 1, 5.0}, {3, 1, 2.0}, {1, 2, 3.0}, {2, 3, 1.0}}), one = scalar(1), three = scalar(3);
    CapturedChannels channels;
    testing::internal::CaptureStdout();
    call("edm", 2, 1, {g.get(), one.get(), three.get()}, 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "(0,0) edg_idx: (0,0) -> 5\n(0,0) edg_idx: (0,0) -> 0\n(0,2) edg_idx: (2,0) -> 0\n"
              "(0,1) edg_idx: (1,0) -> 3\n(1,0) edg_idx: (0,1) -> 0\n(1,2) edg_idx: (2,1) -> 1\n"
              "(2,0) edg_idx: (0,2) -> 2\n(2,1) edg_idx: (1,2) -> 0\n");
}

}  // namespace
}  // namespace linkwork::test
