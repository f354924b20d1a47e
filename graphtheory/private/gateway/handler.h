#pragma once

#include "host/hx.h"

// The shape every handler shares: handler input k is host input k + 3.
#define LINKWORK_HANDLER_ARGS int outputCount, hxArray *outputs[], int inputCount, const hxArray *inputs[], int traceLevel

// Raised by codes whose handler is not part of this build.
[[noreturn]] void notImplemented(const char* code);
