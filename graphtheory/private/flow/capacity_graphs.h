#pragma once

#include <cstdint>

#include <boost/graph/adjacency_list.hpp>

#include "host/hx.h"

// Directed graphs whose edges carry a capacity, a residual capacity and a link to
// their reverse twin, as the library's maximum-flow algorithms expect. Out-edge
// lists are vectors reserved before the edges are added; an edge descriptor points
// at the edge's properties, which the library keeps in a block of their own, so the
// twin links stay valid.
using FlowTraits = boost::adjacency_list_traits<boost::vecS, boost::vecS, boost::directedS>;
template <class Capacity>
using FlowGraph = boost::adjacency_list<
    boost::vecS, boost::vecS, boost::directedS, boost::no_property,
    boost::property<boost::edge_capacity_t, Capacity,
                    boost::property<boost::edge_residual_capacity_t, Capacity,
                                    boost::property<boost::edge_reverse_t, FlowTraits::edge_descriptor>>>>;
using CapacityGraph = FlowGraph<double>;
using IntegerCapacityGraph = FlowGraph<std::int64_t>;

// Custom capacities are handler input 3 when given.
inline int customCapacitiesIndex(int inputCount) { return inputCount > 3 ? 3 : 0; }

// Fills `g` from handler input 0 (and custom capacities). `finiteCapacityTotal`
// starts at +Inf and becomes the total of the finite capacities when an infinite
// one is met; each infinite capacity is then twice that total. When that stand-in
// would leave the double range, the capacities and the total are divided by
// 2^`capacityExponent` (otherwise 0), and flows are multiplied back by it.
void importCapacityGraph(CapacityGraph& g, const hxArray* inputs[], int traceLevel, int customIndex,
                         double& finiteCapacityTotal, int& capacityExponent);

// The integer scaling of the capacities: finite capacities times `scale`, truncated;
// infinite ones `infinite`. Flows at or above `cutoff` read +Inf. When the finite
// total is too small or too large for that factor to be a finite, nonzero double,
// the factor is kept in extended precision (`wide`) instead.
struct IntegerScaling {
    double scale = 1.0;
    long double wideScale = 1.0L;
    bool wide = false;
    std::int64_t infinite = 0;
    std::int64_t cutoff = 0;

    std::int64_t toInteger(double capacity) const;
    double toDouble(std::int64_t flow) const {
        return wide ? static_cast<double>(static_cast<long double>(flow) / wideScale) : static_cast<double>(flow) / scale;
    }
};

// Fills `g` with capacities scaled so that the finite ones add up to about 2^61.
void importIntegerCapacityGraph(IntegerCapacityGraph& g, const hxArray* inputs[], int traceLevel, int customIndex,
                                IntegerScaling& scaling);
