#pragma once

// The host's infinity, NaN and machine epsilon, read once when the module loads.
extern const double HostInf;
extern const double HostNaN;
extern const double HostEps;
