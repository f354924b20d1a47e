// Placeholders for handlers that this build does not have yet.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "trees/trees.h"

void priHandler(LINKWORK_HANDLER_ARGS) { notImplemented("pri"); }
void kruHandler(LINKWORK_HANDLER_ARGS) { notImplemented("kru"); }
