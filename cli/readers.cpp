#include "readers.h"

namespace linkwork::cli {
namespace {

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

GraphFormat formatFor(const std::string& path, GraphFormat requested) {
    if (requested != GraphFormat::Automatic) return requested;
    std::string name = path;
    if (endsWith(name, ".gz")) name.resize(name.size() - 3);
    for (const char* suffix : {".edges", ".el", ".txt"})
        if (endsWith(name, suffix)) return GraphFormat::EdgeList;
    return GraphFormat::MatrixMarket;
}

ArrayPtr readGraph(const std::string& path, const ReadOptions& options) {
    const std::string name = displayName(path);
    const std::unique_ptr<ByteSource> source = openFile(path);
    Progress progress(name, options.progress);
    LineReader lines(*source, name, &progress);
    return formatFor(path, options.format) == GraphFormat::EdgeList ? readEdgeList(lines, options)
                                                                      : readMatrixMarket(lines, options);
}

ArrayPtr readVector(const std::string& path) {
    const std::unique_ptr<ByteSource> source = openFile(path);
    LineReader lines(*source, displayName(path));
    return readVectorLines(lines);
}

}  // namespace linkwork::cli
