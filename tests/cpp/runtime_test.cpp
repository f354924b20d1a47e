// The runtime as a host: arrays, scalars, trace commands, warnings, validation, loading.
#include <cstdlib>
#include <filesystem>

#include "support.h"

namespace linkwork::test {
namespace {

TEST(RuntimeArrays, ScalarReadsFollowTheDocumentedRules) {
    ArrayPtr empty = makeDouble(0, 0), logical = makeLogicalScalar(true), chars = makeString("A");
    ArrayPtr integer = makeNumeric(hxINT32_CLASS, 1, 2);
    static_cast<std::int32_t*>(integer->realData)[0] = -7;
    ArrayPtr stored = sparse(2, {{1, 1, 4.5}}), unstored = sparse(2, {{2, 1, 4.5}});
    const std::vector<std::pair<const hxArray*, double>> cases = {
        {empty.get(), 0.0}, {logical.get(), 1.0}, {chars.get(), 65.0},
        {integer.get(), -7.0}, {stored.get(), 4.5}, {unstored.get(), 0.0},
    };
    for (const auto& [array, expected] : cases) EXPECT_EQ(hxGetScalar(array), expected);
}

TEST(RuntimeArrays, StringReadTruncatesAndRejectsNonText) {
    ArrayPtr code = makeString("dfsx"), number = makeDoubleScalar(3);
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(hxGetString_730(code.get(), buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "dfs");
    EXPECT_EQ(hxGetString_730(number.get(), buffer, sizeof buffer), 1);
    EXPECT_STREQ(buffer, "");
}

TEST(RuntimeArrays, ElementCountSaturatesForHugeSparseDimensions) {
    hxArray header;
    header.dims[0] = header.dims[1] = hxSize(1) << 40;
    EXPECT_EQ(hxGetNumberOfElements(&header), std::numeric_limits<hxSize>::max());
}

TEST(RuntimeTrace, EvaluatesOnlyTheTraceCommands) {
    CapturedChannels channels;
    EXPECT_EQ(hgwEvalString("tic"), 0);
    EXPECT_EQ(hgwEvalString("disp(sprintf('Graph copied: %5.3f seconds',toc))"), 0);
    for (const char* other : {"toc", "disp('hello')", "disp(sprintf('%d %5.3f',toc))", "disp(sprintf('%s',toc))", ""})
        EXPECT_EQ(hgwEvalString(other), 1) << other;
    EXPECT_EQ(withoutTimes(channels.traceLines), std::vector<std::string>{"Graph copied: T seconds"});
}

TEST(RuntimeMessages, ErrorsAndWarningsTakeTheirTextLiterally) {
    CapturedChannels channels;
    hgwWarnMsgIdAndTxt("a:b", "100% %s");
    ASSERT_EQ(channels.warnings.size(), 1u);
    EXPECT_EQ(channels.warnings[0], std::make_pair(std::string("a:b"), std::string("100% %s")));
    try {
        hgwErrMsgIdAndTxt("c:d", "%n%n");
        FAIL();
    } catch (const HostError& error) {
        EXPECT_EQ(error.identifier(), "c:d");
        EXPECT_EQ(error.message(), "%n%n");
    }
}

ArrayPtr rawSparse(hxSize rows, hxSize cols, std::vector<hxIndex> starts, std::vector<hxIndex> rowIndices) {
    ArrayPtr a = makeSparse(hxDOUBLE_CLASS, rows, cols, rowIndices.size());
    std::copy(starts.begin(), starts.end(), a->columnStarts);
    std::copy(rowIndices.begin(), rowIndices.end(), a->rowIndices);
    return a;
}

TEST(RuntimeValidation, RejectsMalformedSparseStructure) {
    struct Case {
        const char* name;
        ArrayPtr array;
        const char* fault;
    };
    Case cases[] = {
        {"start not zero", rawSparse(2, 2, {1, 1, 1}, {0}), "column starts do not begin at 0"},
        {"decreasing", rawSparse(2, 2, {0, 1, 0}, {0}), "column starts decrease at column 2"},
        {"over capacity", rawSparse(2, 2, {0, 1, 2}, {0}), "it stores more entries than it has room for"},
        {"row too large", rawSparse(2, 2, {0, 1, 1}, {2}), "row index 2 in column 1 is not below the row count 2"},
        {"repeated row", rawSparse(2, 1, {0, 2}, {1, 1}), "row 2 appears twice in column 1"},
    };
    for (Case& c : cases) {
        try {
            call("top", 0, 1, {c.array.get()});
            ADD_FAILURE() << c.name;
        } catch (const HostError& error) {
            EXPECT_EQ(error.identifier(), "linkwork:runtime:MalformedSparseArray") << c.name;
            EXPECT_EQ(error.message(), std::string("Sparse input 4 is malformed: ") + c.fault + ".") << c.name;
        }
    }
    ArrayPtr unsorted = rawSparse(3, 1, {0, 2}, {2, 0});  // unsorted rows are valid
    EXPECT_NO_THROW(validateSparse(*unsorted, "input"));
}

// Borrowed arrays read the caller's storage: the same answers as copies, the storage
// untouched, and destroying them frees nothing of it (a free of these vectors'
// storage would trip the sanitizer build). A malformed borrowed structure is refused.
TEST(RuntimeArrays, BorrowedStorageIsReadNeverWrittenOrFreed) {
    // 4 vertices: 0 -> 1 (2.0), 0 -> 2 (5.0), 1 -> 2 (1.0), 2 -> 3 (1.0), column-major.
    const std::vector<hxIndex> starts{0, 0, 1, 3, 4}, rows{0, 0, 1, 2};
    const std::vector<double> weights{2.0, 5.0, 1.0, 1.0};
    const std::vector<double> custom{1.0, 1.0, 7.0, 2.0};
    const auto startsCopy = starts, rowsCopy = rows;
    const auto weightsCopy = weights, customCopy = custom;
    ArrayPtr copied = sparse(4, {{1, 2, 2.0}, {1, 3, 5.0}, {2, 3, 1.0}, {3, 4, 1.0}});
    ArrayPtr borrowed = borrowSparse(hxDOUBLE_CLASS, 4, 4, 4, weights.data(), rows.data(), starts.data());
    ArrayPtr customRow = borrowNumeric(hxDOUBLE_CLASS, 1, 4, custom.data());
    ArrayPtr source = makeDoubleScalar(1);
    for (int withCustom : {0, 1}) {
        std::vector<const hxArray*> extra{source.get()};
        if (withCustom) extra.push_back(customRow.get());
        std::vector<const hxArray*> inputsCopied{copied.get()}, inputsBorrowed{borrowed.get()};
        inputsCopied.insert(inputsCopied.end(), extra.begin(), extra.end());
        inputsBorrowed.insert(inputsBorrowed.end(), extra.begin(), extra.end());
        for (const char* code : {"dij", "bel", "scc", "spa"}) {
            const bool graphOnly = std::string(code) == "scc";
            if (graphOnly && withCustom) continue;
            auto expected = call(code, 0, 1,
                                 graphOnly ? std::vector<const hxArray*>{copied.get()} : inputsCopied, 2);
            auto actual = call(code, 0, 1,
                               graphOnly ? std::vector<const hxArray*>{borrowed.get()} : inputsBorrowed, 2);
            for (std::size_t k = 0; k < expected.size(); ++k)
                EXPECT_TRUE(sameValues(values(actual[k].get()), values(expected[k].get()))) << code << " " << k;
        }
    }
    borrowed.reset();
    customRow.reset();
    EXPECT_EQ(starts, startsCopy);
    EXPECT_EQ(rows, rowsCopy);
    EXPECT_EQ(weights, weightsCopy);
    EXPECT_EQ(custom, customCopy);

    const std::vector<hxIndex> outOfRange{0, 9, 9, 9, 9};
    ArrayPtr malformed = borrowSparse(hxDOUBLE_CLASS, 4, 4, 4, weights.data(), rows.data(), outOfRange.data());
    EXPECT_THROW(call("top", 0, 1, {malformed.get()}), HostError);
    // Empty storage may come as null pointers; missing storage for entries is refused.
    ArrayPtr empty = borrowSparse(hxLOGICAL_CLASS, 0, 0, 0, nullptr, nullptr, nullptr);
    EXPECT_EQ(call("top", 0, 1, {empty.get()}).size(), 1u);
    EXPECT_THROW(borrowSparse(hxDOUBLE_CLASS, 2, 2, 0, nullptr, nullptr, nullptr), std::invalid_argument);
    EXPECT_THROW(borrowNumeric(hxDOUBLE_CLASS, 1, 2, nullptr), std::invalid_argument);
}

TEST(RuntimeModule, LoadFailuresAreClear) {
    EXPECT_THROW(Module("/nonexistent/linkwork.hxe"), ModuleLoadError);
    try {
        Module("libm.so.6");
        FAIL();
    } catch (const ModuleLoadError& error) {
        EXPECT_NE(std::string(error.what()).find("does not export hgwFunction"), std::string::npos);
    }
}

TEST(RuntimeModule, ModulePathHonoursTheEnvironment) {
    unsetenv("LINKWORK_MODULE");
    EXPECT_EQ(modulePath("fallback"), "fallback");
    setenv("LINKWORK_MODULE", "/elsewhere.hxe", 1);
    EXPECT_EQ(modulePath("fallback"), "/elsewhere.hxe");
    unsetenv("LINKWORK_MODULE");
}

// Front ends load the module beside the runtime library, wherever the two were put;
// no path of the build machine is involved.
TEST(RuntimeModule, DefaultModuleIsTheOneBesideTheRuntime) {
    unsetenv("LINKWORK_MODULE");
    const std::string beside = defaultModulePath();
    EXPECT_TRUE(std::filesystem::equivalent(beside, LINKWORK_MODULE_PATH)) << beside;
    EXPECT_NO_THROW(Module{beside});
    setenv("LINKWORK_MODULE", "/elsewhere.hxe", 1);
    EXPECT_EQ(defaultModulePath(), "/elsewhere.hxe");
    unsetenv("LINKWORK_MODULE");
}

TEST(RuntimeModule, OutputSlotsMatchTheRequestedCount) {
    ArrayPtr g = sparse(2, {{1, 2}});
    for (int requested : {0, 1, 3}) {
        auto out = call("top", 0, 1, {g.get()}, requested);
        ASSERT_EQ(out.size(), static_cast<std::size_t>(std::max(requested, 1)));
        EXPECT_NE(out[0], nullptr);
        for (std::size_t k = 1; k < out.size(); ++k) EXPECT_EQ(out[k], nullptr);
    }
}

}  // namespace
}  // namespace linkwork::test
