// Placeholders for handlers that this build does not have yet.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "traversal/traversal.h"

template <class Graph>
void dfsHandler(LINKWORK_HANDLER_ARGS, Graph) { notImplemented("dfs"); }
template <class Graph>
void bfsHandler(LINKWORK_HANDLER_ARGS, Graph) { notImplemented("bfs"); }
template void dfsHandler<DirectedGraph>(LINKWORK_HANDLER_ARGS, DirectedGraph);
template void dfsHandler<UndirectedGraph>(LINKWORK_HANDLER_ARGS, UndirectedGraph);
template void bfsHandler<DirectedGraph>(LINKWORK_HANDLER_ARGS, DirectedGraph);
template void bfsHandler<UndirectedGraph>(LINKWORK_HANDLER_ARGS, UndirectedGraph);
void wccHandler(LINKWORK_HANDLER_ARGS, bool) { notImplemented("wcc"); }
void sccHandler(LINKWORK_HANDLER_ARGS) { notImplemented("scc"); }
void istHandler(LINKWORK_HANDLER_ARGS) { notImplemented("ist"); }
