// Interrupting calls and running out of memory.
#include <chrono>
#include <future>
#include <random>
#include <thread>

#include "support.h"

namespace linkwork::test {
namespace {

using Clock = std::chrono::steady_clock;

std::vector<const hxArray*> controls(const std::string& code, double directedFlag, ArrayPtr& name, ArrayPtr& trace,
                                     ArrayPtr& directed) {
    name = text(code), trace = scalar(0), directed = scalar(directedFlag);
    return {name.get(), trace.get(), directed.get()};
}

// A random graph with n vertices and about n * degree weighted entries.
ArrayPtr randomGraph(hxIndex n, int degree, unsigned seed = 7) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<hxIndex> vertex(1, n);
    std::uniform_real_distribution<double> weight(1.0, 10.0);
    std::vector<Entry> entries;
    entries.reserve(n * degree);
    for (hxIndex j = 1; j <= n; ++j) {
        std::vector<hxIndex> rows;
        for (int d = 0; d < degree; ++d)
            rows.push_back(vertex(random));
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        for (hxIndex i : rows) entries.push_back({i, j, weight(random)});
    }
    return sparse(n, entries);
}

// A random graph whose edges all run from a lower to a higher vertex number, so it has
// no mirrored pair and the flow codes take it; vertex 1 reaches vertex n through many paths.
ArrayPtr forwardGraph(hxIndex n, int degree, unsigned seed = 11) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> capacity(1.0, 10.0);
    std::vector<Entry> entries;
    entries.reserve(n * degree);
    for (hxIndex j = 2; j <= n; ++j) {
        std::uniform_int_distribution<hxIndex> earlier(1, j - 1);
        std::vector<hxIndex> rows;
        for (int d = 0; d < degree; ++d)
            rows.push_back(earlier(random));
        std::sort(rows.begin(), rows.end());
        rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        for (hxIndex i : rows) entries.push_back({i, j, capacity(random)});
    }
    return sparse(n, entries);
}

TEST(RuntimeInterrupt, ARequestBeforeTheCallStopsItAndClearingAllowsTheNext) {
    ArrayPtr name, trace, directed, g = sparse(2, {{1, 2}});
    auto inputs = controls("top", 1, name, trace, directed);
    inputs.push_back(g.get());
    Interrupt interrupt;
    interrupt.request();
    try {
        module().call(1, inputs, &interrupt);
        FAIL();
    } catch (const HostError& error) {
        EXPECT_EQ(error.identifier(), "linkwork:runtime:Interrupted");
        EXPECT_EQ(error.message(), "The call was interrupted.");
    }
    interrupt.clear();
    EXPECT_TRUE(sameValues(values(module().call(1, inputs, &interrupt)[0].get()), {1, 2}));
    EXPECT_NO_THROW(hgwPollInterrupt());  // outside any call it never raises
}

// A call on another thread, interrupted after a fraction of a second, ends promptly
// (within a second on an idle machine; the bound leaves room for a loaded one, where
// unwinding and freeing a large graph take longer); the next call works.
constexpr auto promptly = std::chrono::seconds(3);
void expectInterruptible(const std::string& code, double directedFlag, const std::vector<const hxArray*>& arguments) {
    ArrayPtr name, trace, directed;
    auto inputs = controls(code, directedFlag, name, trace, directed);
    inputs.insert(inputs.end(), arguments.begin(), arguments.end());
    Interrupt interrupt;
    auto running = std::async(std::launch::async, [&] { module().call(2, inputs, &interrupt); });
    ASSERT_EQ(running.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout)
        << code << " finished too soon to be interrupted";
    const auto requested = Clock::now();
    interrupt.request();
    ASSERT_EQ(running.wait_for(promptly), std::future_status::ready) << code;
    EXPECT_LT(Clock::now() - requested, promptly);
    try {
        running.get();
        ADD_FAILURE() << code << " was not interrupted";
    } catch (const HostError& error) {
        EXPECT_EQ(error.identifier(), "linkwork:runtime:Interrupted") << code;
    }
    ArrayPtr small = sparse(2, {{1, 2}});
    EXPECT_TRUE(sameValues(values(call("top", 0, 1, {small.get()})[0].get()), {1, 2}));
}

TEST(RuntimeInterrupt, EveryLongRunningCodeStopsWithinASecond) {
    const hxIndex n = 1000000;
    ArrayPtr graph = randomGraph(n, 4), dense = randomGraph(3000, 10);
    ArrayPtr flowGraph = forwardGraph(n, 4);
    ArrayPtr first = scalar(1), last = scalar(static_cast<double>(n)), noLimit = scalar(Inf);
    const struct {
        const char* code;
        double directed;
        std::vector<const hxArray*> arguments;
    } cases[] = {
        {"dfs", 1, {graph.get(), first.get(), noLimit.get()}},
        {"bfs", 0, {graph.get(), first.get(), noLimit.get()}},
        {"scc", 1, {graph.get()}},
        {"wcc", 1, {graph.get()}},
        {"dij", 1, {graph.get(), first.get()}},
        {"bel", 1, {graph.get(), first.get()}},
        {"all", 1, {dense.get()}},
        {"pri", 0, {graph.get(), first.get()}},
        {"kru", 0, {graph.get(), first.get()}},
        {"edm", 1, {flowGraph.get(), first.get(), last.get()}},
        {"gol", 1, {flowGraph.get(), first.get(), last.get()}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        expectInterruptible(c.code, c.directed, c.arguments);
    }
}

TEST(RuntimeOutOfMemory, HostArraysNameTheSizeTheyCouldNotHave) {
    const hxSize huge = hxSize(1) << 31;
    const struct {
        std::function<void()> make;
        std::string message;
    } cases[] = {
        {[&] { makeDouble(huge, huge); }, "cannot allocate 36.9 EB for a 2147483648-by-2147483648 array"},
        {[&] { makeNumeric(hxLOGICAL_CLASS, hxSize(1) << 62, 16); }, "cannot allocate 73.8 EB for a 4611686018427387904-by-16 array"},
        {[&] { makeSparse(hxDOUBLE_CLASS, 3, 3, hxSize(1) << 61); },
         "cannot allocate 36.9 EB for a 3-by-3 sparse array"},
    };
    for (const auto& c : cases) {
        try {
            c.make();
            ADD_FAILURE() << c.message;
        } catch (const HostError& error) {
            EXPECT_EQ(error.identifier(), "linkwork:runtime:OutOfMemory");
            EXPECT_EQ(error.message(), c.message);
        }
    }
    EXPECT_EQ(byteCount(512), "512 bytes");
    EXPECT_EQ(byteCount(8e10), "80.0 GB");
    EXPECT_EQ(byteCount(999999), "1.0 MB");
}

}  // namespace
}  // namespace linkwork::test
