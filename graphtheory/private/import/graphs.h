#pragma once

#include <cstdint>

#include <boost/graph/adjacency_list.hpp>

// The graph variants built from a sparse adjacency array. Out-edge lists are linked
// lists in the order the import adds edges (ascending neighbour for sorted input).
using DirectedGraph = boost::adjacency_list<boost::listS, boost::vecS, boost::directedS, boost::no_property,
                                            boost::no_property, boost::no_property, boost::listS>;
using DirectedWeightedGraph =
    boost::adjacency_list<boost::listS, boost::vecS, boost::directedS, boost::no_property,
                          boost::property<boost::edge_weight_t, double>, boost::no_property, boost::listS>;
using UndirectedGraph = boost::adjacency_list<boost::listS, boost::vecS, boost::undirectedS>;
using UndirectedWeightedGraph = boost::adjacency_list<boost::listS, boost::vecS, boost::undirectedS, boost::no_property,
                                                      boost::property<boost::edge_weight_t, double>>;
using UndirectedColoredGraph =
    boost::adjacency_list<boost::listS, boost::vecS, boost::undirectedS, boost::no_property,
                          boost::property<boost::edge_color_t, boost::default_color_type>>;

// A vertex inside the module: 0 to N - 1. Hosts see it as its number + 1.
using Vertex = std::uint64_t;

template <class Graph>
inline constexpr bool isDirected =
    std::is_same_v<typename boost::graph_traits<Graph>::directed_category, boost::directed_tag> ||
    std::is_convertible_v<typename boost::graph_traits<Graph>::directed_category, boost::bidirectional_tag>;
