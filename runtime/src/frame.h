// The call frame: every array the module creates during a call belongs to it.
#pragma once

#include <unordered_set>

#include "linkwork/runtime.h"

namespace linkwork::detail {

class CallFrame {
public:
    explicit CallFrame(const Interrupt* interrupt = nullptr);
    CallFrame(const CallFrame&) = delete;
    CallFrame& operator=(const CallFrame&) = delete;
    ~CallFrame();  // frees every array still owned

    void adopt(hxArray* array);
    // Hands an owned array to the caller; false if the frame does not own it.
    bool release(hxArray* array);

    const Interrupt* interrupt() const { return interrupt_; }

    static CallFrame* current();

private:
    const Interrupt* interrupt_;
    std::unordered_set<hxArray*> owned_;
    CallFrame* previous_;
};

// Allocates a zero-filled array; with joinFrame it belongs to the open call frame.
hxArray* allocateArray(hxClassID classID, bool sparse, hxSize rows, hxSize cols, hxSize elements, bool complex,
                       bool joinFrame);
// rows * cols for a dense array; raises OutOfMemory naming the shape when it overflows.
hxSize denseElements(hxClassID classID, hxSize rows, hxSize cols, bool complex, bool result);

}  // namespace linkwork::detail

namespace linkwork {
[[noreturn]] void outOfMemory(const std::string& message);

}  // namespace linkwork
