#pragma once

#include <cmath>
#include <vector>

#include <boost/graph/adjacency_list.hpp>
#include <boost/graph/bellman_ford_shortest_paths.hpp>
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

// True when the finite edges between vertices that satisfy `counts` close a negative
// cycle. Bellman-Ford from a source cannot see one behind a -Inf edge (every
// distance there is already -Inf), so this search starts every vertex at 0 instead.
template <class Counts>
bool hasFiniteNegativeCycleAmong(const DirectedWeightedGraph& g, Counts counts) {
    using Work = boost::adjacency_list<boost::vecS, boost::vecS, boost::directedS, boost::no_property,
                                       boost::property<boost::edge_weight_t, double>>;
    Work work(num_vertices(g));
    for (const auto e : boost::make_iterator_range(edges(g))) {
        const Vertex u = source(e, g), v = target(e, g);
        const double w = get(boost::edge_weight, g, e);
        if (std::isfinite(w) && counts(u) && counts(v)) add_edge(u, v, w, work);
    }
    std::vector<double> potential(num_vertices(work), 0.0);
    return !boost::bellman_ford_shortest_paths(work, num_vertices(work) + 1, get(boost::edge_weight, work),
                                               boost::dummy_property_map(), potential.data(),
                                               boost::closed_plus<double>(), std::less<double>(),
                                               boost::default_bellman_visitor());
}
