#pragma once

#include <boost/graph/adjacency_list.hpp>

#include "gateway/handler.h"

// List-based vertex storage with an explicit vertex index; edges carry nothing.
using IsoDirectedGraph = boost::adjacency_list<boost::listS, boost::listS, boost::bidirectionalS,
                                               boost::property<boost::vertex_index_t, std::size_t>>;
using IsoUndirectedGraph = boost::adjacency_list<boost::listS, boost::listS, boost::undirectedS,
                                                 boost::property<boost::vertex_index_t, std::size_t>>;

template <class Graph>
void isoHandler(LINKWORK_HANDLER_ARGS, Graph prototype);
