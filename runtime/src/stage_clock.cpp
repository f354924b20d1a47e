#include "linkwork/stage_clock.h"

#include <chrono>

namespace {
thread_local std::vector<std::pair<std::string, double>> marks;
}

void linkworkStageMark(const char* stage) {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    marks.emplace_back(stage, std::chrono::duration<double>(now).count());
}

namespace linkwork {
std::vector<std::pair<std::string, double>> takeStageMarks() { return std::exchange(marks, {}); }
}  // namespace linkwork
