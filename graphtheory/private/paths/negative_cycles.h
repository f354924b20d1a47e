#pragma once

#include <cmath>
#include <vector>

#include <boost/graph/strong_components.hpp>

#include "host/hgw.h"
#include "import/graphs.h"

// The NegativeCycle host error with the algorithm's message.
[[noreturn]] inline void negativeCycle(const char* message) {
    hgwErrMsgIdAndTxt("genokit:linkworkhgw:NegativeCycle", message);
}

// True when the directed graph has an edge of weight -Inf on a cycle (its ends in one
// strongly connected component) whose source satisfies `counts`. Sums with -Inf can
// never fall below -Inf, so the usual relaxation test cannot see such a cycle.
template <class CountsSource>
bool hasMinusInfinityCycle(const DirectedWeightedGraph& g, CountsSource counts) {
    bool any = false;
    for (const auto e : boost::make_iterator_range(edges(g)))
        if (get(boost::edge_weight, g, e) == -INFINITY) any = true;
    if (!any) return false;
    std::vector<Vertex> component(num_vertices(g));
    boost::strong_components(g, boost::make_iterator_property_map(component.begin(), get(boost::vertex_index, g)));
    for (const auto e : boost::make_iterator_range(edges(g))) {
        const Vertex u = source(e, g), v = target(e, g);
        if (get(boost::edge_weight, g, e) == -INFINITY && component[u] == component[v] && counts(u)) return true;
    }
    return false;
}
