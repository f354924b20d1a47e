#include "import/results.h"

#include <algorithm>
#include <tuple>

hxArray* createMatrix(hxSize rows, hxSize cols, double*& data) {
    const hxSize dimensions[2] = {rows, cols};
    hxArray* array = hxCreateNumericArray_730(2, dimensions, hxDOUBLE_CLASS, hxREAL);
    data = array->realDoubles();
    return array;
}

hxArray* createRow(hxSize length, double*& data) { return createMatrix(1, length, data); }

hxArray* predecessorRow(const std::vector<Vertex>& predecessor, Vertex start) {
    double* data = nullptr;
    hxArray* row = createRow(predecessor.size(), data);
    for (Vertex i = 0; i < predecessor.size(); ++i)
        data[i] = predecessor[i] != i ? static_cast<double>(predecessor[i] + 1) : i == start ? 0.0 : HostNaN;
    return row;
}

hxArray* distanceRow(const std::vector<double>& distance) {
    double* data = nullptr;
    hxArray* row = createRow(distance.size(), data);
    std::copy(distance.begin(), distance.end(), data);
    return row;
}

hxArray* countScalar(double value) { return hxCreateDoubleScalar(value); }
hxArray* testScalar(bool value) { return hxCreateLogicalScalar(value); }

std::vector<Vertex> identityPredecessors(hxSize n) {
    std::vector<Vertex> predecessor(n);
    for (Vertex v = 0; v < n; ++v) predecessor[v] = v;
    return predecessor;
}

hxArray* sparseResult(hxSize n, hxSize capacity, std::vector<SparseEntry> entries) {
    std::sort(entries.begin(), entries.end(),
              [](const SparseEntry& a, const SparseEntry& b) { return std::tie(a.col, a.row) < std::tie(b.col, b.row); });
    hxArray* output = hxCreateSparse_730(n, n, capacity, hxREAL);
    std::size_t c = 0;
    for (hxSize j = 0; j < n; ++j) {
        output->columnStarts[j] = c;
        for (; c < entries.size() && entries[c].col == j; ++c) {
            output->rowIndices[c] = entries[c].row;
            output->realDoubles()[c] = entries[c].value;
        }
    }
    output->columnStarts[n] = c;
    return output;
}
