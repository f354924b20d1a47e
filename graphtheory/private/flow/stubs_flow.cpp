// Placeholders for handlers that this build does not have yet.
#pragma GCC diagnostic ignored "-Wunused-parameter"
#include "flow/flow.h"

void edmHandler(LINKWORK_HANDLER_ARGS) { notImplemented("edm"); }
void golHandler(LINKWORK_HANDLER_ARGS) { notImplemented("gol"); }
