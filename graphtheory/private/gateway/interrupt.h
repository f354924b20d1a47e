#pragma once

#include <cstdint>

#include "host/hgw.h"

// Counts the steps of a long loop and asks the host every 4096 steps whether the
// call should stop; hgwPollInterrupt then raises "linkwork:runtime:Interrupted",
// which unwinds like any host error and passes the failure guard as itself.
class InterruptPoll {
public:
    void step() {
        if ((++steps_ & 4095u) == 0) hgwPollInterrupt();
    }

private:
    std::uint32_t steps_ = 0;
};
