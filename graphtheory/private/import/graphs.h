#pragma once

#include <cstdint>

#include <boost/graph/adjacency_list.hpp>
#include <boost/graph/compressed_sparse_row_graph.hpp>

// A vertex inside the module: 0 to N - 1. Hosts see it as its number + 1.
using Vertex = std::uint64_t;

// The graph variants built from a sparse adjacency array. Every variant keeps each
// vertex's out-edges in the order the import adds them (ascending neighbour for
// sorted input).
//
// Directed graphs are read-only once imported, so they are compressed sparse row
// graphs: two arrays built in two passes over the entries, with no allocation per
// edge. So are unweighted undirected graphs and the weighted graph of Prim's search
// (UndirectedGraph, UndirectedWeightedSearchGraph below), which hold each edge at
// both ends. The other weighted and the coloured undirected graphs keep the library's
// shared edge list, which holds each edge's properties (weight, colour) once for
// both ends and gives the edge order the spanning-tree codes rely on. Its vector and
// the out-edge vectors are reserved from a counting pass, so they never reallocate.
// Edge entries find their properties by index into that vector; the library's graph
// has no move constructor, so a moved graph is copied edge by edge and stays
// consistent.
using DirectedGraph =
    boost::compressed_sparse_row_graph<boost::directedS, boost::no_property, boost::no_property, boost::no_property,
                                       Vertex, Vertex>;
using DirectedWeightedGraph =
    boost::compressed_sparse_row_graph<boost::directedS, boost::no_property,
                                       boost::property<boost::edge_weight_t, double>, boost::no_property, Vertex,
                                       Vertex>;

// An unweighted undirected graph: a compressed sparse row graph in which every edge
// {i, j} is stored as i -> j and j -> i (a self-loop twice at its vertex), each
// vertex's out-edges in the order the edges were added, which is the order the
// library's undirected adjacency list gives them. Searches see it as undirected;
// only traversals that follow out-edges use it (no edge properties, no edge list).
struct UndirectedGraph : DirectedGraph {
    using DirectedGraph::DirectedGraph;
};

// The same layout with a weight per stored direction, for Prim's search, which only
// follows out-edges and relaxes each edge towards its target.
struct UndirectedWeightedSearchGraph : DirectedWeightedGraph {
    using DirectedWeightedGraph::DirectedWeightedGraph;
};

using UndirectedWeightedGraph =
    boost::adjacency_list<boost::vecS, boost::vecS, boost::undirectedS, boost::no_property,
                          boost::property<boost::edge_weight_t, double>, boost::no_property, boost::vecS>;
using UndirectedColoredGraph =
    boost::adjacency_list<boost::vecS, boost::vecS, boost::undirectedS, boost::no_property,
                          boost::property<boost::edge_color_t, boost::default_color_type>, boost::no_property,
                          boost::vecS>;

namespace boost {
template <>
struct graph_traits<UndirectedGraph> : graph_traits<DirectedGraph> {
    using directed_category = undirected_tag;
};
template <>
struct property_map<UndirectedGraph, vertex_index_t> : property_map<DirectedGraph, vertex_index_t> {};
template <>
struct graph_traits<UndirectedWeightedSearchGraph> : graph_traits<DirectedWeightedGraph> {
    using directed_category = undirected_tag;
};
template <>
struct property_map<UndirectedWeightedSearchGraph, vertex_index_t>
    : property_map<DirectedWeightedGraph, vertex_index_t> {};
template <>
struct property_map<UndirectedWeightedSearchGraph, edge_weight_t> : property_map<DirectedWeightedGraph, edge_weight_t> {};
}  // namespace boost

template <class Graph>
inline constexpr bool isDirected =
    std::is_same_v<typename boost::graph_traits<Graph>::directed_category, boost::directed_tag> ||
    std::is_convertible_v<typename boost::graph_traits<Graph>::directed_category, boost::bidirectional_tag>;
