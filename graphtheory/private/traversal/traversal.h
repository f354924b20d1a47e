#pragma once

#include "gateway/handler.h"
#include "import/graphs.h"

void topHandler(LINKWORK_HANDLER_ARGS);
void isdHandler(LINKWORK_HANDLER_ARGS);
template <class Graph>
void dfsHandler(LINKWORK_HANDLER_ARGS, Graph prototype);
template <class Graph>
void bfsHandler(LINKWORK_HANDLER_ARGS, Graph prototype);
void wccHandler(LINKWORK_HANDLER_ARGS, bool directedFlag);
void sccHandler(LINKWORK_HANDLER_ARGS);
void istHandler(LINKWORK_HANDLER_ARGS);
