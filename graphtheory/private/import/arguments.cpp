#include "import/arguments.h"

#include "host/hgw.h"

void requireInput(int inputCount, int index) {
    if (inputCount <= index) hgwErrMsgIdAndTxt("genokit:linkworkhgw:NotEnoughInputs", "Not enough input arguments.");
}

namespace {
const char* invalidVertexMessage(VertexRole role) {
    switch (role) {
        case VertexRole::Source: return "Source node index is invalid.";
        case VertexRole::Root: return "Root node index is invalid.";
        case VertexRole::Destination: return "Destination node index is invalid.";
    }
    return "Source node index is invalid.";
}
}  // namespace

Vertex vertexArgument(const hxArray* inputs[], int inputCount, int index, hxSize n, VertexRole role) {
    requireInput(inputCount, index);
    const double x = hxGetScalar(inputs[index]);
    // Range-check before converting: NaN fails both comparisons.
    constexpr double twoTo64 = 18446744073709551616.0;
    if (!(x >= 1.0 && x < twoTo64) || static_cast<std::uint64_t>(x) > n)
        hgwErrMsgIdAndTxt("genokit:linkworkhgw:NotValidNode", invalidVertexMessage(role));
    return static_cast<Vertex>(x) - 1;
}
