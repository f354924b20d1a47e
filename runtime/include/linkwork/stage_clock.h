// Benchmark-only stage clock. A module built with LINKWORK_STAGE_CLOCKS marks each
// stage of a handler (entered, imported, algorithm, outputs, released); front ends
// collect the marks of the calls made on their thread.
#pragma once

#include <string>
#include <utility>
#include <vector>

extern "C" __attribute__((visibility("default"))) void linkworkStageMark(const char* stage);

namespace linkwork {
// The marks recorded on this thread since the last take, as (stage, seconds on a
// steady clock); taking them clears them.
std::vector<std::pair<std::string, double>> takeStageMarks();
}  // namespace linkwork
