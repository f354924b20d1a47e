// Placeholders for handlers that this build does not have yet.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "paths/paths.h"

#define LINKWORK_STUB(handler, code)                                                         \
    template <class Graph>                                                                   \
    void handler(LINKWORK_HANDLER_ARGS, Graph) { notImplemented(code); }                     \
    template void handler<DirectedWeightedGraph>(LINKWORK_HANDLER_ARGS, DirectedWeightedGraph); \
    template void handler<UndirectedWeightedGraph>(LINKWORK_HANDLER_ARGS, UndirectedWeightedGraph);
LINKWORK_STUB(dijHandler, "dij")
LINKWORK_STUB(belHandler, "bel")
LINKWORK_STUB(spaHandler, "spa")
LINKWORK_STUB(allHandler, "all")
template <class Graph>
void spbHandler(LINKWORK_HANDLER_ARGS, Graph) { notImplemented("spb"); }
template void spbHandler<DirectedGraph>(LINKWORK_HANDLER_ARGS, DirectedGraph);
template void spbHandler<UndirectedGraph>(LINKWORK_HANDLER_ARGS, UndirectedGraph);
