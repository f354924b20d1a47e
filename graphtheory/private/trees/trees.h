#pragma once

#include "gateway/handler.h"

void priHandler(LINKWORK_HANDLER_ARGS);
void kruHandler(LINKWORK_HANDLER_ARGS);
