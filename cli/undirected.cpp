#include "undirected.h"

#include <algorithm>

#include "sparse_build.h"

namespace linkwork::cli {

FoldedGraph foldUndirected(const hxArray& graph, const hxArray* weights) {
    const bool pattern = graph.classID == hxLOGICAL_CLASS;
    const hxSize stored = graph.storedCount();
    Triplets triplets;
    triplets.rows.reserve(stored);
    triplets.cols.reserve(stored);
    if (!pattern) triplets.values.reserve(stored);
    if (weights != nullptr) triplets.weights.reserve(stored);
    FoldedGraph folded;
    for (hxSize j = 0; j < graph.cols(); ++j) {
        for (hxIndex p = graph.columnStarts[j]; p < graph.columnStarts[j + 1]; ++p) {
            const hxIndex i = graph.rowIndices[p];
            if (i == j) {
                ++folded.selfLoops;
                continue;
            }
            triplets.rows.push_back(std::max<hxIndex>(i, j));
            triplets.cols.push_back(std::min<hxIndex>(i, j));
            if (!pattern) triplets.values.push_back(graph.realDoubles()[p]);
            if (weights != nullptr) triplets.weights.push_back(weights->realDoubles()[p]);
        }
    }
    Assembled assembled = assemble(graph.rows(), graph.cols(), pattern, std::move(triplets), Combine::Lighter);
    folded.graph = std::move(assembled.matrix);
    folded.weights = std::move(assembled.weights);
    folded.differing = assembled.merged;
    return folded;
}

std::size_t entriesOutsideLowerTriangle(const hxArray& graph) {
    std::size_t count = 0;
    for (hxSize j = 0; j < graph.cols(); ++j)
        for (hxIndex p = graph.columnStarts[j]; p < graph.columnStarts[j + 1]; ++p)
            if (graph.rowIndices[p] <= j) ++count;
    return count;
}

}  // namespace linkwork::cli
