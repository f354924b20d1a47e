// A C accessor for the module's stage clock, so that the benchmark driver can read
// the marks through ctypes (takeStageMarks returns a std::vector, which ctypes
// cannot call). Linked against the same liblinkwork_runtime.so that the Python
// extension loads, so both see the same thread-local list of marks.
#include <cstddef>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "linkwork/stage_clock.h"

namespace {
// The marks taken by the last lwbTakeStageMarks on this thread, read back by index.
thread_local std::vector<std::pair<std::string, double>> taken;
}  // namespace

extern "C" {

// Takes the marks recorded on this thread and returns how many there are.
__attribute__((visibility("default"))) std::size_t lwbTakeStageMarks() {
    taken = linkwork::takeStageMarks();
    return taken.size();
}

// Copies mark `index` of the last take: its stage name (NUL-terminated, cut to
// `capacity` - 1 bytes) and its time in seconds. Returns 0 when `index` is out of range.
__attribute__((visibility("default"))) int lwbStageMark(std::size_t index, char* name, std::size_t capacity,
                                                        double* seconds) {
    if (index >= taken.size() || name == nullptr || capacity == 0 || seconds == nullptr) return 0;
    const std::string& stage = taken[index].first;
    const std::size_t length = stage.size() < capacity - 1 ? stage.size() : capacity - 1;
    std::memcpy(name, stage.data(), length);
    name[length] = '\0';
    *seconds = taken[index].second;
    return 1;
}

}  // extern "C"
