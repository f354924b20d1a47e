#include "frame.h"

namespace linkwork::detail {
namespace {
thread_local CallFrame* currentFrame = nullptr;
}

CallFrame::CallFrame(const Interrupt* interrupt) : interrupt_(interrupt), previous_(currentFrame) {
    currentFrame = this;
}

CallFrame::~CallFrame() {
    currentFrame = previous_;
    for (hxArray* array : owned_) destroyArray(array);
}

void CallFrame::adopt(hxArray* array) { owned_.insert(array); }

bool CallFrame::release(hxArray* array) { return owned_.erase(array) == 1; }

CallFrame* CallFrame::current() { return currentFrame; }

}  // namespace linkwork::detail

void hgwPollInterrupt() {
    const linkwork::detail::CallFrame* frame = linkwork::detail::currentFrame;
    if (frame != nullptr && frame->interrupt() != nullptr && frame->interrupt()->requested())
        throw hgwHostError("linkwork:runtime:Interrupted", "The call was interrupted.");
}
