// Code matching, the control inputs, and the failure guard's trace behaviour.
#include "support.h"

namespace linkwork::test {
namespace {

const char* unknown = "genokit:linkworkhgw:UnknownAlgorithm";

TEST(Gateway, MatchesExactlyThreeCaseSensitiveCharacters) {
    ArrayPtr g = sparse(3, {{1, 3}, {2, 3}});
    EXPECT_TRUE(sameValues(values(call("topology", 0, 1, {g.get()})[0].get()), {2, 1, 3}));
    for (const char* code : {"to", "", "TOP", "Top", "xyz"}) expectHostError(code, 0, 1, {g.get()}, unknown, "Unknown algorithm.");
}

TEST(Gateway, UnknownCodeIsReportedBeforeOtherInputsAreRead) {
    for (std::size_t count : {0u, 1u, 2u}) {
        ArrayPtr name = makeString("abc");
        std::vector<const hxArray*> inputs{name.get(), nullptr, nullptr};
        inputs.resize(count);
        if (count > 1) inputs[1] = name.get();
        try {
            module().call(1, inputs);
            ADD_FAILURE();
        } catch (const HostError& error) {
            EXPECT_EQ(error.identifier(), unknown);
        }
    }
}

TEST(Gateway, NonTextCodeIsUnknownAndMissingInputsAreNotEnough) {
    ArrayPtr number = makeDoubleScalar(116), code = makeString("top"), zero = makeDoubleScalar(0);
    try {
        module().call(1, {number.get(), zero.get(), zero.get()});
        ADD_FAILURE();
    } catch (const HostError& error) {
        EXPECT_EQ(error.identifier(), unknown);
    }
    for (std::size_t count : {1u, 2u, 3u}) {
        std::vector<const hxArray*> inputs{code.get(), zero.get(), zero.get()};
        inputs.resize(count);
        try {
            module().call(1, inputs);
            ADD_FAILURE() << count;
        } catch (const HostError& error) {
            EXPECT_EQ(error.identifier(), "genokit:linkworkhgw:NotEnoughInputs");
            EXPECT_EQ(error.message(), "Not enough input arguments.");
        }
    }
}

TEST(Gateway, OnlyExactlyOneAndTwoSwitchTheTraceOn) {
    ArrayPtr g = sparse(1, {});
    const std::vector<std::pair<double, std::size_t>> cases = {{1.0, 4}, {2.0, 4}, {1.5, 0}, {3.0, 0},
                                                               {-1.0, 0}, {NaN, 0}, {0.0, 0}};
    for (const auto& [level, lines] : cases) {
        CapturedChannels channels;
        testing::internal::CaptureStdout();
        call("isd", level, 1, {g.get()});
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(channels.traceLines.size(), lines) << level;
    }
}

TEST(Gateway, TraceStopsAtAFailedCheck) {
    ArrayPtr dense = matrix(1, 1, {0});
    CapturedChannels channels;
    expectHostError("top", 1, 1, {dense.get()}, "genokit:linkworkhgw:NotSparseArray",
                    "Input argument should be a sparse array.");
    EXPECT_EQ(withoutTimes(channels.traceLines), std::vector<std::string>{"Entering hgw function: T seconds"});
}

TEST(Gateway, EveryCodeIsDispatched) {
    // Each code either runs or raises a host error of its own; none crashes or
    // reports an unknown algorithm.
    ArrayPtr g = sparse(2, {{2, 1, 1.0}}), one = makeDoubleScalar(1), two = makeDoubleScalar(2);
    for (const char* code : {"top", "dfs", "bfs", "dij", "isd", "ist", "spb", "bel", "spa", "all", "kru", "pri",
                             "scc", "wcc", "edm", "gol", "iso"}) {
        for (double directed : {0.0, 1.0}) {
            try {
                call(code, 0, directed, {g.get(), one.get(), two.get()}, 2);
            } catch (const HostError& error) {
                EXPECT_NE(error.identifier(), unknown) << code;
            }
        }
    }
}

}  // namespace
}  // namespace linkwork::test
