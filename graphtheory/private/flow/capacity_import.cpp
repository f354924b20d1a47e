// The capacity-graph imports of the maximum-flow codes: reverse twins, the
// negative and reciprocity tests, the ill-conditioning warning, infinite capacities.
#include <cmath>
#include <iostream>
#include <limits>
#include <vector>

#include "flow/capacity_graphs.h"
#include "gateway/host_constants.h"
#include "gateway/listing.h"
#include "gateway/trace.h"
#include "host/hgw.h"
#include "huge_pages.h"
#include "import/sparse_import.h"

namespace {

const CustomValueErrors customCapacityErrors = {
    "genokit:linkworkhgw:IncorrectSizeCustomCaps",
    "Custom capacities should have same number of elements as nonzero entries in the sparse array.",
    "genokit:linkworkhgw:IncorrectTypeCustomCaps", "Custom capacities should be double and real."};

constexpr double largestDouble = std::numeric_limits<double>::max();

[[noreturn]] void negativeEdges() {
    hgwErrMsgIdAndTxt("genokit:linkworkhgw:NegativeEdges",
                      "Edge capacities must have non-negative values in maxflow algorithms.");
}

void warnIfIllConditioned(double smallest, double largest) {
    if (smallest / largest < HostEps)
        hgwWarnMsgIdAndTxt("genokit:linkworkhgw:IllConditioned",
                           "Ill-conditioned graph, rounding errors may cause incorrect results.");
}

// True when two entries mirror each other (i -> j and j -> i, i != j). Each entry
// gives its row an edge to its column and its column a twin back to the row, and a
// column never repeats a row, so a mirrored pair is exactly a vertex with two
// out-edges to one other vertex. One pass over the out-edges with a last-seen mark
// per target, instead of a set of every entry.
template <class Graph>
bool hasReciprocalEdges(const Graph& g) {
    const Vertex none = num_vertices(g);
    std::vector<Vertex> seenFrom(num_vertices(g), none);
    for (const auto v : boost::make_iterator_range(vertices(g)))
        for (const auto e : boost::make_iterator_range(out_edges(v, g))) {
            const Vertex w = target(e, g);
            if (w == v) continue;
            if (seenFrom[w] == v) return true;
            seenFrom[w] = v;
        }
    return false;
}

void raiseIfReciprocal(bool reciprocal) {
    if (reciprocal)
        hgwErrMsgIdAndTxt("genokit:linkworkhgw:ParallelEdges", "Reciprocal edges are not allowed in maxflow algorithms.");
}

// Lays out the forward edge and the reverse twin of every entry whose capacity is
// not NaN: a counting pass gives each vertex's out-degree (its row's and its
// column's entries), then each entry (i, j) puts i -> j in vertex i's next slot and
// j -> i in vertex j's next slot, so both lists keep the order of the entries; for a
// diagonal entry the forward loop comes first. `forwardCapacity(k)` is called once
// per kept entry, in entry order; twins have capacity 0.
template <class Capacity, class ForwardCapacity>
void layOutEdgePairs(FlowNetwork<Capacity>& g, const SparseGraphArray& a, const EntryWeights& capacities,
                     ForwardCapacity forwardCapacity) {
    auto& starts = g.graph.m_forward.m_rowstart;
    auto& targets = g.graph.m_forward.m_column;
    assignOnHugePages(starts, a.n + 1, Vertex{0});
    a.forEachEntry([&](Vertex i, Vertex j, hxIndex k) {
        if (!std::isnan(capacities[k])) ++starts[i + 1], ++starts[j + 1];
    });
    for (Vertex v = 0; v < a.n; ++v) starts[v + 1] += starts[v];
    const Vertex edgeCount = starts[a.n];
    assignOnHugePages(targets, edgeCount);
    assignOnHugePages(g.twin, edgeCount);
    assignOnHugePages(g.capacity, edgeCount, Capacity(0));
    assignOnHugePages(g.residual, edgeCount, Capacity(0));
    std::vector<Vertex> next(starts.begin(), starts.end() - 1);
    a.forEachEntry([&](Vertex i, Vertex j, hxIndex k) {
        if (std::isnan(capacities[k])) return;
        const Vertex forward = next[i]++;
        const Vertex twin = next[j]++;
        targets[forward] = j;
        targets[twin] = i;
        g.twin[forward] = twin;
        g.twin[twin] = forward;
        g.capacity[forward] = forwardCapacity(k);
    });
}

template <class Capacity>
void listCapacityEdges(const FlowNetwork<Capacity>& g, int traceLevel) {
    if (!listsEdges(traceLevel)) return;
    const TwinEdgeMap twins = g.twinMap();
    ListingWriter out;
    for (const auto v : boost::make_iterator_range(vertices(g.graph)))
        for (const auto e : boost::make_iterator_range(out_edges(v, g.graph))) {
            const FlowEdge reverse = get(twins, e);
            out << "(" << static_cast<Vertex>(source(e, g.graph)) << "," << static_cast<Vertex>(target(e, g.graph))
                << ") edg_idx: (" << static_cast<Vertex>(source(reverse, g.graph)) << ","
                << static_cast<Vertex>(target(reverse, g.graph)) << ") -> " << g.capacity[e.idx];
            out.endLine();
        }
}

// An augmentation lowers each residual on its path by the path's bottleneck, which
// starts at the largest finite double: a path of +Inf residuals would never be used
// up. When the stand-in 2S is past the double range (or close to it), every capacity
// is divided by a power of two, exactly (subnormal ones aside), so that S falls below
// 2^1020 and 2S and the sums of flows stay finite. Returns the exponent by which
// flows are multiplied back; 0 leaves the graph as it is. A finite capacity is at
// most S (negative ones were refused), so the stand-in edges are those holding 2S.
int keepStandInFinite(CapacityGraph& g, double standIn, long double wideTotal, double& finiteCapacityTotal) {
    constexpr int largestExponent = 1019;  // S below 2^1020
    if (std::isfinite(standIn) && wideTotal < std::ldexp(1.0L, largestExponent + 1)) return 0;
    const int exponent = std::ilogb(wideTotal) - largestExponent;
    if (exponent <= 0) return 0;
    finiteCapacityTotal = static_cast<double>(std::ldexp(wideTotal, -exponent));
    for (double& x : g.capacity) x = x == standIn ? 2 * finiteCapacityTotal : std::ldexp(x, -exponent);
    return exponent;
}

}  // namespace

void importCapacityGraph(CapacityGraph& g, const hxArray* inputs[], int traceLevel, int customIndex,
                         double& finiteCapacityTotal, int& capacityExponent) {
    capacityExponent = 0;
    const SparseGraphArray a = readGraphArray(inputs[0]);
    const EntryWeights capacities(a, inputs, customIndex, customCapacityErrors);
    double smallest = largestDouble, largest = 0.0;
    bool negativeSeen = false;
    if (capacities.allOnes()) {
        layOutEdgePairs(g, a, capacities, [](hxIndex) { return 1.0; });
    } else {
        double infiniteCapacity = 0.0;  // 2S, set at the first infinite capacity
        long double wideTotal = 0.0L;   // S without rounding past the double range
        layOutEdgePairs(g, a, capacities, [&](hxIndex k) {
            double x = capacities[k];
            if (x < 0) negativeSeen = true;
            if (x == HostInf) {
                if (infiniteCapacity == 0.0) {
                    double total = 0.0;
                    for (hxIndex e = 0; e < a.stored; ++e)
                        if (capacities[e] != HostInf && !std::isnan(capacities[e])) {
                            total += capacities[e];
                            wideTotal += capacities[e];
                        }
                    if (total == 0.0) total = 1.0;
                    finiteCapacityTotal = total;
                    infiniteCapacity = 2 * total;
                }
                x = infiniteCapacity;
            }
            if (x < smallest) smallest = x;
            if (x > largest) largest = x;
            return x;
        });
        warnIfIllConditioned(smallest, largest);
        raiseIfReciprocal(hasReciprocalEdges(g.graph));
        if (negativeSeen) negativeEdges();
        listCapacityEdges(g, traceLevel);
        if (infiniteCapacity != 0.0)
            capacityExponent = keepStandInFinite(g, infiniteCapacity, wideTotal, finiteCapacityTotal);
        return;
    }
    raiseIfReciprocal(hasReciprocalEdges(g.graph));
    if (negativeSeen) negativeEdges();
    listCapacityEdges(g, traceLevel);
}

// A finite capacity is at most the finite total, so it scales to about 2^61 at most;
// the bound only guards the conversion against rounding.
std::int64_t IntegerScaling::toInteger(double capacity) const {
    constexpr long double limit = 4611686018427387904.0L;  // 2^62
    const long double scaled = wide ? capacity * wideScale : static_cast<long double>(capacity * scale);
    return static_cast<std::int64_t>(scaled < limit ? scaled : limit - 1);
}

void importIntegerCapacityGraph(IntegerCapacityGraph& g, const hxArray* inputs[], int traceLevel, int customIndex,
                                IntegerScaling& scaling) {
    const SparseGraphArray a = readGraphArray(inputs[0]);
    const EntryWeights capacities(a, inputs, customIndex, customCapacityErrors);
    const bool numeric = !capacities.allOnes();
    if (numeric)
        for (hxIndex k = 0; k < a.stored; ++k)
            if (capacities[k] < 0) negativeEdges();
    double total = 0.0, smallest = largestDouble, largest = 0.0;
    long double wideTotal = 0.0L;
    std::size_t infiniteCount = 0;
    for (hxIndex k = 0; k < a.stored; ++k) {
        const double x = capacities[k];
        if (x == HostInf) ++infiniteCount;
        if (x == HostInf || std::isnan(x)) continue;
        total += x;
        wideTotal += x;
        if (x < smallest) smallest = x;
        if (x > largest) largest = x;
    }
    if (total == 0.0) total = 1.0;
    if (numeric) warnIfIllConditioned(smallest, largest);

    // Finite capacities add up to about 2^61 once scaled, an infinite one is 2^62 - 1
    // and flows from 1.5 * 2^61 up read +Inf: far above any finite total (which
    // rounding can push a few hundred units past 2^61) and below any all-infinite
    // path. With two or more infinite capacities the sums that the algorithm forms
    // could pass 2^63, so everything, the cut-off included, is divided by the
    // smallest power of two that keeps all capacities together below 2^62.
    constexpr double twoTo61 = 2305843009213693952.0, twoTo62 = 2 * twoTo61;
    std::int64_t divisor = 1;
    if (infiniteCount >= 2)
        while ((twoTo61 + static_cast<double>(infiniteCount) * twoTo62) / static_cast<double>(divisor) >= twoTo62)
            divisor *= 2;
    scaling.scale = static_cast<double>(std::int64_t{0x1FFFFFFFFFFFFFFF}) / total / static_cast<double>(divisor);
    if (!std::isfinite(scaling.scale) || scaling.scale == 0.0 || !std::isfinite(total)) {
        // A total past the double range, or one so small that 2^61 over it is, would
        // turn every capacity into 0 or into a value no integer holds.
        scaling.wide = true;
        scaling.wideScale = static_cast<long double>(twoTo61) / (wideTotal == 0.0L ? 1.0L : wideTotal) /
                            static_cast<long double>(divisor);
    }
    scaling.infinite = std::int64_t{0x3FFFFFFFFFFFFFFF} / divisor;
    scaling.cutoff = (std::int64_t{3} << 60) / divisor;

    layOutEdgePairs(g, a, capacities, [&](hxIndex k) {
        const double x = capacities[k];
        return x == HostInf ? scaling.infinite : scaling.toInteger(x);
    });
    raiseIfReciprocal(hasReciprocalEdges(g.graph));
    listCapacityEdges(g, traceLevel);
}
