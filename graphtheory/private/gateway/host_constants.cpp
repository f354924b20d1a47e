#include "gateway/host_constants.h"

#include "host/hx.h"

// Defined in one translation unit, so they initialise in this order at load.
const double HostInf = hxGetInf();
const double HostNaN = hxGetNaN();
const double HostEps = hxGetEps();
