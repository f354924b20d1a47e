#pragma once

#include "gateway/handler.h"

void edmHandler(LINKWORK_HANDLER_ARGS);
void golHandler(LINKWORK_HANDLER_ARGS);
