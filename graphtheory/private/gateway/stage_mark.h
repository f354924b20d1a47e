// LINKWORK_MARK(stage) tells the benchmarks' stage clocks that a handler stage ended;
// without LINKWORK_STAGE_CLOCKS it compiles to nothing.
#pragma once

#ifdef LINKWORK_STAGE_CLOCKS
#include "linkwork/stage_clock.h"
#define LINKWORK_MARK(stage) linkworkStageMark(stage)
#else
#define LINKWORK_MARK(stage) ((void)0)
#endif
