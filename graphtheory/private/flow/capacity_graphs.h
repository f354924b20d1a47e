#pragma once

#include <cstdint>
#include <vector>

#include <boost/graph/compressed_sparse_row_graph.hpp>
#include <boost/property_map/property_map.hpp>

#include "host/hx.h"
#include "import/graphs.h"

// Directed graphs whose edges carry a capacity, a residual capacity and a link to
// their reverse twin, as the library's maximum-flow algorithms expect. The structure
// is a compressed sparse row graph (two arrays); capacities, residual capacities and
// twins are vectors indexed by edge, owned with the graph, so building and releasing
// it allocate a few blocks, not one per edge. Each vertex's out-edges are its
// entries' forward edges and the twins of the entries that point at it, in the order
// the entries are visited.
using FlowStructure = boost::compressed_sparse_row_graph<boost::directedS, boost::no_property, boost::no_property,
                                                         boost::no_property, Vertex, Vertex>;
using FlowEdge = boost::graph_traits<FlowStructure>::edge_descriptor;

// The twin of an edge, from its stored index: it starts where the edge ends.
class TwinEdgeMap {
public:
    using key_type = FlowEdge;
    using value_type = FlowEdge;
    using reference = FlowEdge;
    using category = boost::readable_property_map_tag;

    TwinEdgeMap() = default;
    TwinEdgeMap(const FlowStructure* g, const Vertex* twin) : g_(g), twin_(twin) {}
    friend FlowEdge get(const TwinEdgeMap& m, const FlowEdge& e) {
        return FlowEdge(target(e, *m.g_), m.twin_[e.idx]);
    }

private:
    const FlowStructure* g_ = nullptr;
    const Vertex* twin_ = nullptr;
};

template <class Capacity>
struct FlowNetwork {
    using EdgeIndexMap = boost::property_map<FlowStructure, boost::edge_index_t>::const_type;
    using CapacityMap = boost::iterator_property_map<Capacity*, EdgeIndexMap, Capacity, Capacity&>;

    FlowStructure graph;
    std::vector<Capacity> capacity;  // 0 for a twin
    std::vector<Capacity> residual;  // set by the flow algorithm
    std::vector<Vertex> twin;        // index of each edge's reverse twin

    CapacityMap capacityMap() { return CapacityMap(capacity.data(), get(boost::edge_index, graph)); }
    CapacityMap residualMap() { return CapacityMap(residual.data(), get(boost::edge_index, graph)); }
    TwinEdgeMap twinMap() const { return TwinEdgeMap(&graph, twin.data()); }
};

using CapacityGraph = FlowNetwork<double>;
using IntegerCapacityGraph = FlowNetwork<std::int64_t>;

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
