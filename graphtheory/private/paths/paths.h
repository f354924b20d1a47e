#pragma once

#include "gateway/handler.h"
#include "import/graphs.h"

template <class Graph>
void dijHandler(LINKWORK_HANDLER_ARGS, Graph prototype);
template <class Graph>
void spbHandler(LINKWORK_HANDLER_ARGS, Graph prototype);
template <class Graph>
void belHandler(LINKWORK_HANDLER_ARGS, Graph prototype);
template <class Graph>
void spaHandler(LINKWORK_HANDLER_ARGS, Graph prototype);
template <class Graph>
void allHandler(LINKWORK_HANDLER_ARGS, Graph prototype);
