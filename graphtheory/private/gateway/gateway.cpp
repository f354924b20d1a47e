// hgwFunction: reads the three control inputs and dispatches to a handler.
#include <cstring>

#include "flow/flow.h"
#include "host/hgw.h"
#include "isomorphism/isomorphism.h"
#include "paths/paths.h"
#include "traversal/traversal.h"
#include "trees/trees.h"

void notImplemented(const char* code) {
    hgwErrMsgIdAndTxt("genokit:linkworkhgw:NotImplemented",
                      (std::string("The algorithm \"") + code + "\" is not available in this build.").c_str());
}

namespace {

using Dispatch = void (*)(LINKWORK_HANDLER_ARGS, bool directedFlag);

// Picks the instantiation by DirectedFlag and passes a prototype of the variant.
template <class DirectedVariant, class UndirectedVariant,
          void (*DirectedHandler)(LINKWORK_HANDLER_ARGS, DirectedVariant),
          void (*UndirectedHandler)(LINKWORK_HANDLER_ARGS, UndirectedVariant)>
void byVariant(LINKWORK_HANDLER_ARGS, bool directedFlag) {
    if (directedFlag)
        DirectedHandler(outputCount, outputs, inputCount, inputs, traceLevel, DirectedVariant());
    else
        UndirectedHandler(outputCount, outputs, inputCount, inputs, traceLevel, UndirectedVariant());
}

template <void (*Handler)(LINKWORK_HANDLER_ARGS)>
void single(LINKWORK_HANDLER_ARGS, bool) {
    Handler(outputCount, outputs, inputCount, inputs, traceLevel);
}

#define LINKWORK_BOTH(handler, D, U) byVariant<D, U, &handler<D>, &handler<U>>

struct Code {
    char name[4];
    Dispatch dispatch;
};

const Code codes[] = {
    {"top", single<&topHandler>},
    {"dfs", LINKWORK_BOTH(dfsHandler, DirectedGraph, UndirectedGraph)},
    {"bfs", LINKWORK_BOTH(bfsHandler, DirectedGraph, UndirectedGraph)},
    {"dij", LINKWORK_BOTH(dijHandler, DirectedWeightedGraph, UndirectedWeightedGraph)},
    {"isd", single<&isdHandler>},
    {"ist", single<&istHandler>},
    {"spb", LINKWORK_BOTH(spbHandler, DirectedGraph, UndirectedGraph)},
    {"bel", LINKWORK_BOTH(belHandler, DirectedWeightedGraph, UndirectedWeightedGraph)},
    {"spa", LINKWORK_BOTH(spaHandler, DirectedWeightedGraph, UndirectedWeightedGraph)},
    {"all", LINKWORK_BOTH(allHandler, DirectedWeightedGraph, UndirectedWeightedGraph)},
    {"kru", single<&kruHandler>},
    {"pri", single<&priHandler>},
    {"scc", single<&sccHandler>},
    {"wcc", wccHandler},
    {"edm", single<&edmHandler>},
    {"gol", single<&golHandler>},
    {"iso", LINKWORK_BOTH(isoHandler, IsoDirectedGraph, IsoUndirectedGraph)},
};

// Exactly 1.0 and 2.0 switch the trace on; every other value leaves it off.
int readTraceLevel(const hxArray* input) {
    const double x = hxGetScalar(input);
    return x == 1.0 ? 1 : x == 2.0 ? 2 : 0;
}

}  // namespace

void hgwFunction(int outputCount, hxArray* outputs[], int inputCount, const hxArray* inputs[]) {
    char name[4] = {0, 0, 0, 0};
    // A missing or non-text first input names no algorithm.
    if (inputCount < 1 || hxGetString_730(inputs[0], name, sizeof name) != 0) name[0] = '\0';
    const Code* code = nullptr;
    for (const Code& candidate : codes)
        if (std::memcmp(candidate.name, name, sizeof name) == 0) code = &candidate;
    if (code == nullptr) hgwErrMsgIdAndTxt("genokit:linkworkhgw:UnknownAlgorithm", "Unknown algorithm.");
    // Every handler reads a graph after the three control inputs.
    if (inputCount < 4) hgwErrMsgIdAndTxt("genokit:linkworkhgw:NotEnoughInputs", "Not enough input arguments.");
    const int traceLevel = readTraceLevel(inputs[1]);
    const bool directedFlag = hxGetScalar(inputs[2]) != 0.0;  // NaN sets the flag, -0.0 does not
    code->dispatch(outputCount, outputs, inputCount - 3, inputs + 3, traceLevel, directedFlag);
}
