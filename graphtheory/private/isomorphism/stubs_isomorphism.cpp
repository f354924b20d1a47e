// Placeholder for a handler that this build does not have yet.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "isomorphism/isomorphism.h"

template <class Graph>
void isoHandler(LINKWORK_HANDLER_ARGS, Graph) { notImplemented("iso"); }
template void isoHandler<IsoDirectedGraph>(LINKWORK_HANDLER_ARGS, IsoDirectedGraph);
template void isoHandler<IsoUndirectedGraph>(LINKWORK_HANDLER_ARGS, IsoUndirectedGraph);
