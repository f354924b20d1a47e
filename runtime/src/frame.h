// The call frame: every array the module creates during a call belongs to it.
#pragma once

#include <unordered_set>

#include "linkwork/runtime.h"

namespace linkwork::detail {

class CallFrame {
public:
    CallFrame();
    CallFrame(const CallFrame&) = delete;
    CallFrame& operator=(const CallFrame&) = delete;
    ~CallFrame();  // frees every array still owned

    void adopt(hxArray* array);
    // Hands an owned array to the caller; false if the frame does not own it.
    bool release(hxArray* array);

    static CallFrame* current();

private:
    std::unordered_set<hxArray*> owned_;
    CallFrame* previous_;
};

// Allocates a zero-filled array; with joinFrame it belongs to the open call frame.
hxArray* allocateArray(hxClassID classID, bool sparse, hxSize rows, hxSize cols, hxSize elements, bool complex,
                       bool joinFrame);

}  // namespace linkwork::detail

namespace linkwork {
// a * b, throwing std::bad_alloc when it overflows.
hxSize checkedProduct(hxSize a, hxSize b);

}  // namespace linkwork::detail
