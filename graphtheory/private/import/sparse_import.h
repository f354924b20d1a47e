#pragma once

#include <vector>

#include "gateway/interrupt.h"
#include "host/hx.h"
#include "import/graphs.h"

// A checked square sparse graph array (handler input 0).
struct SparseGraphArray {
    const hxArray* array;
    hxSize n;               // vertex count (the column count)
    const hxIndex* rows;    // row index of each stored entry
    const hxIndex* starts;  // n + 1 column starts
    hxSize stored;          // stored-entry count

    // Calls visit(i, j, k) for every stored entry (row i, column j) at entry
    // position k, column by column, in stored order. Polls for interruption.
    template <class Visit>
    void forEachEntry(Visit&& visit) const {
        InterruptPoll poll;
        for (hxSize j = 0; j < n; ++j) {
            poll.step();
            for (hxIndex k = starts[j]; k < starts[j + 1]; ++k) {
                poll.step();
                visit(static_cast<Vertex>(rows[k]), static_cast<Vertex>(j), k);
            }
        }
    }
};

// Raises NotSparseArray or NotSquareArray for an unusable graph array.
SparseGraphArray readGraphArray(const hxArray* array);

// The host errors for a custom vector of the wrong size or type.
struct CustomValueErrors {
    const char* sizeIdentifier;
    const char* sizeMessage;
    const char* typeIdentifier;
    const char* typeMessage;
};
extern const CustomValueErrors customWeightErrors;

// The weight of each stored entry, by entry position: custom weights when given,
// 1.0 for a logical array, otherwise the entry's (real) value.
class EntryWeights {
public:
    // customIndex 0 means no custom weights; otherwise inputs[customIndex] holds them.
    // Raises the size error, then the type error.
    EntryWeights(const SparseGraphArray& graph, const hxArray* inputs[], int customIndex,
                 const CustomValueErrors& errors = customWeightErrors);
    // True when every weight is 1.0 (a logical array without custom weights).
    bool allOnes() const { return values_ == nullptr; }
    double operator[](hxIndex k) const { return values_ ? values_[k] : 1.0; }

private:
    const double* values_ = nullptr;   // null: every weight is 1.0
    std::vector<double> expanded_;      // custom weights given as a sparse array
};

// Weighted imports keep an entry only when its weight is below +Inf (NaN fails too).
bool keepsWeight(double weight);

DirectedGraph importDirectedGraph(const hxArray* inputs[], int traceLevel);
UndirectedGraph importUndirectedGraph(const hxArray* inputs[], int traceLevel);
UndirectedGraph importUndirectedGraphAllEntries(const hxArray* inputs[], int traceLevel);
UndirectedColoredGraph importUndirectedColoredGraph(const hxArray* inputs[], int traceLevel);
DirectedWeightedGraph importDirectedWeightedGraph(const hxArray* inputs[], int customWeightsIndex, int traceLevel);
UndirectedWeightedGraph importUndirectedWeightedGraph(const hxArray* inputs[], int customWeightsIndex, int traceLevel);

// Chooses the import by variant, so that handlers generic over the variant call one
// name: directed variants take every entry, undirected ones the lower triangle.
template <class Graph>
Graph importGraph(const hxArray* inputs[], int traceLevel);
template <>
inline DirectedGraph importGraph<DirectedGraph>(const hxArray* inputs[], int traceLevel) {
    return importDirectedGraph(inputs, traceLevel);
}
template <>
inline UndirectedGraph importGraph<UndirectedGraph>(const hxArray* inputs[], int traceLevel) {
    return importUndirectedGraph(inputs, traceLevel);
}

template <class Graph>
Graph importWeightedGraph(const hxArray* inputs[], int customWeightsIndex, int traceLevel);
template <>
inline DirectedWeightedGraph importWeightedGraph<DirectedWeightedGraph>(const hxArray* inputs[], int customWeightsIndex,
                                                                        int traceLevel) {
    return importDirectedWeightedGraph(inputs, customWeightsIndex, traceLevel);
}
template <>
inline UndirectedWeightedGraph importWeightedGraph<UndirectedWeightedGraph>(const hxArray* inputs[],
                                                                            int customWeightsIndex, int traceLevel) {
    return importUndirectedWeightedGraph(inputs, customWeightsIndex, traceLevel);
}
