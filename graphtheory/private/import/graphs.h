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
// edge. Undirected graphs keep the library's shared edge list, which the edge colours
// and the edge-list order of the spanning-tree codes rely on; their out-edge lists
// are vectors reserved from a counting pass.
using DirectedGraph =
    boost::compressed_sparse_row_graph<boost::directedS, boost::no_property, boost::no_property, boost::no_property,
                                       Vertex, Vertex>;
using DirectedWeightedGraph =
    boost::compressed_sparse_row_graph<boost::directedS, boost::no_property,
                                       boost::property<boost::edge_weight_t, double>, boost::no_property, Vertex,
                                       Vertex>;
using UndirectedGraph = boost::adjacency_list<boost::vecS, boost::vecS, boost::undirectedS>;
using UndirectedWeightedGraph = boost::adjacency_list<boost::vecS, boost::vecS, boost::undirectedS, boost::no_property,
                                                      boost::property<boost::edge_weight_t, double>>;
using UndirectedColoredGraph =
    boost::adjacency_list<boost::vecS, boost::vecS, boost::undirectedS, boost::no_property,
                          boost::property<boost::edge_color_t, boost::default_color_type>>;

template <class Graph>
inline constexpr bool isDirected =
    std::is_same_v<typename boost::graph_traits<Graph>::directed_category, boost::directed_tag> ||
    std::is_convertible_v<typename boost::graph_traits<Graph>::directed_category, boost::bidirectional_tag>;
