#pragma once

#include <vector>

#include "gateway/host_constants.h"
#include "host/hx.h"
#include "import/graphs.h"

// Output k (1-based) is made when it is the first or the caller asked for it.
inline bool wantsOutput(int outputCount, int k) { return k == 1 || outputCount >= k; }

// A 1-by-length real double row; returns its data through `data`.
hxArray* createRow(hxSize length, double*& data);
hxArray* createMatrix(hxSize rows, hxSize cols, double*& data);

// v + 1 for each vertex of the list, in list order.
template <class Iterator>
hxArray* vertexListRow(Iterator first, Iterator last) {
    double* data = nullptr;
    hxArray* row = createRow(static_cast<hxSize>(std::distance(first, last)), data);
    for (; first != last; ++first) *data++ = static_cast<double>(static_cast<Vertex>(*first) + 1);
    return row;
}
template <class Container>
hxArray* vertexListRow(const Container& list) {
    return vertexListRow(list.begin(), list.end());
}

// Every vertex its own predecessor: the start state of a search or path tree.
std::vector<Vertex> identityPredecessors(hxSize n);

// One stored entry of a sparse result, 0-based.
struct SparseEntry {
    Vertex row, col;
    double value;
};

// An N-by-N real sparse result with room for `capacity` entries, holding `entries`
// in column-major order with rows increasing (the entries are sorted here).
hxArray* sparseResult(hxSize n, hxSize capacity, std::vector<SparseEntry> entries);

// pred[i] + 1; 0 for the start vertex; NaN for an unreached vertex (pred[i] == i).
hxArray* predecessorRow(const std::vector<Vertex>& predecessor, Vertex start);

// The algorithm's distances, unchanged (unreached vertices already hold +Inf).
hxArray* distanceRow(const std::vector<double>& distance);

// 0 for the start vertex, +Inf for an unreached vertex, the computed value otherwise.
template <class T>
hxArray* treeDistanceRow(const std::vector<T>& distance, const std::vector<Vertex>& predecessor, Vertex start) {
    double* data = nullptr;
    hxArray* row = createRow(distance.size(), data);
    for (Vertex i = 0; i < distance.size(); ++i)
        data[i] = i == start ? 0.0 : predecessor[i] == i ? HostInf : static_cast<double>(distance[i]);
    return row;
}

// label[i] + 1.
template <class T>
hxArray* labelRow(const std::vector<T>& label) {
    double* data = nullptr;
    hxArray* row = createRow(label.size(), data);
    for (std::size_t i = 0; i < label.size(); ++i) data[i] = static_cast<double>(static_cast<Vertex>(label[i]) + 1);
    return row;
}

hxArray* countScalar(double value);
hxArray* testScalar(bool value);
