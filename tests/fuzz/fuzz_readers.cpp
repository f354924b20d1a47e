// libFuzzer target for the command's graph readers: arbitrary bytes read as a Matrix
// Market file (and as a vector file), or as an edge list, from memory. A malformed
// file must end in InputError; a file that reads must give a well-formed sparse
// array that the undirected fold keeps well-formed. Anything else (a crash, a
// sanitizer report, any other exception) is a finding.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "readers.h"
#include "undirected.h"

namespace {

using namespace linkwork;
using namespace linkwork::cli;

void checkGraph(const hxArray& graph) {
    validateSparse(graph, "the graph read");
    if (graph.rows() != graph.cols()) return;  // the fold is for square graphs only
    const FoldedGraph folded = foldUndirected(graph, nullptr);
    validateSparse(*folded.graph, "the folded graph");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ReadOptions options;
    options.progress = Progress::Mode::Never;
    options.vertexLimit = 1u << 16;  // declared sizes beyond it are refused, not allocated
#if defined(LINKWORK_FUZZ_FORMAT_edges)
    options.zeroBased = size % 2 == 1;
    MemorySource source(bytes);
    LineReader lines(source, "fuzz.edges");
    try {
        checkGraph(*readEdgeList(lines, options));
    } catch (const InputError&) {
    }
#else
    {
        MemorySource source(bytes);
        LineReader lines(source, "fuzz.mtx");
        try {
            checkGraph(*readMatrixMarket(lines, options));
        } catch (const InputError&) {
        }
    }
    MemorySource source(bytes);
    LineReader lines(source, "fuzz.txt");
    try {
        readVectorLines(lines);
    } catch (const InputError&) {
    }
#endif
    return 0;
}
