#pragma once

#include <cstdint>

#include <boost/graph/compressed_sparse_row_graph.hpp>
#include <boost/iterator/filter_iterator.hpp>
#include <boost/range/iterator_range.hpp>

// A vertex inside the module: 0 to N - 1. Hosts see it as its number + 1.
using Vertex = std::uint64_t;

// The graph variants built from a sparse adjacency array. Every variant keeps each
// vertex's out-edges in the order the import adds them (ascending neighbour for
// sorted input).
//
// Every variant is the library's compressed sparse row graph: arrays built in two
// passes over the entries, with no allocation per edge. Directed graphs hold each
// entry once; undirected graphs (BothEndsGraph) hold each edge at both ends.
using DirectedGraph =
    boost::compressed_sparse_row_graph<boost::directedS, boost::no_property, boost::no_property, boost::no_property,
                                       Vertex, Vertex>;
using DirectedWeightedGraph =
    boost::compressed_sparse_row_graph<boost::directedS, boost::no_property,
                                       boost::property<boost::edge_weight_t, double>, boost::no_property, Vertex,
                                       Vertex>;

// An undirected graph stored as a compressed sparse row graph in which every edge
// {i, j} is i -> j and j -> i, each with the edge's property (a self-loop twice at its
// vertex). Each vertex's out-edges come in the order the edges were added, the order
// the library's undirected adjacency list gives them, so searches that follow
// out-edges take the same steps on it.
//
// edges(g) below lists each edge once, at its smaller end: for a graph built from the
// strict lower triangle column by column, vertex j's out-edges to larger vertices are
// exactly column j's entries in stored order, and they come last among j's out-edges
// (entries of row j belong to earlier columns). So edges(g) gives the edges in the
// order they were added, as the library's shared edge list does, seen from the other
// end: source j, target i for the entry (i, j). Edge-list algorithms here either
// treat both ends alike or relax an edge both ways, where only one way can improve.
template <class EdgeProperty>
struct BothEndsGraph;

// Keeps the stored directions whose target is above their source.
template <class EdgeProperty>
struct AtSmallerEnd {
    const BothEndsGraph<EdgeProperty>* g = nullptr;
    template <class Edge>
    bool operator()(const Edge& e) const {
        return target(e, *g) > source(e, *g);
    }
};

// The graph's traits, read by the library for the graph and its const form alike.
template <class EdgeProperty>
struct BothEndsGraph
    : boost::compressed_sparse_row_graph<boost::directedS, boost::no_property, EdgeProperty, boost::no_property,
                                         Vertex, Vertex> {
    using Base = boost::compressed_sparse_row_graph<boost::directedS, boost::no_property, EdgeProperty,
                                                    boost::no_property, Vertex, Vertex>;
    using Base::Base;
    using directed_category = boost::undirected_tag;
    using edge_iterator = boost::filter_iterator<AtSmallerEnd<EdgeProperty>, typename Base::edge_iterator>;
};

// The number of an undirected edge in the order edges were added, shared by both
// stored directions (the key of a colour per undirected edge).
struct EdgeNumber {
    Vertex number;
};

using UndirectedGraph = BothEndsGraph<boost::no_property>;
using UndirectedWeightedGraph = BothEndsGraph<boost::property<boost::edge_weight_t, double>>;
using UndirectedColoredGraph = BothEndsGraph<EdgeNumber>;

namespace boost {
template <class EdgeProperty, class Tag>
struct property_map<BothEndsGraph<EdgeProperty>, Tag> : property_map<typename BothEndsGraph<EdgeProperty>::Base, Tag> {};
}  // namespace boost

template <class EdgeProperty>
std::pair<typename boost::graph_traits<BothEndsGraph<EdgeProperty>>::edge_iterator,
          typename boost::graph_traits<BothEndsGraph<EdgeProperty>>::edge_iterator>
edges(const BothEndsGraph<EdgeProperty>& g) {
    using Base = typename BothEndsGraph<EdgeProperty>::Base;
    const auto [begin, end] = edges(static_cast<const Base&>(g));
    const AtSmallerEnd<EdgeProperty> keep{&g};
    return {boost::make_filter_iterator(keep, begin, end), boost::make_filter_iterator(keep, end, end)};
}

template <class EdgeProperty>
Vertex num_edges(const BothEndsGraph<EdgeProperty>& g) {
    using Base = typename BothEndsGraph<EdgeProperty>::Base;
    return num_edges(static_cast<const Base&>(g)) / 2;
}

template <class Graph>
inline constexpr bool isDirected =
    std::is_same_v<typename boost::graph_traits<Graph>::directed_category, boost::directed_tag> ||
    std::is_convertible_v<typename boost::graph_traits<Graph>::directed_category, boost::bidirectional_tag>;
