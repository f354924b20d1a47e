#include "import/sparse_import.h"

#include <iostream>

#include "gateway/host_constants.h"
#include "gateway/trace.h"
#include "host/hgw.h"

SparseGraphArray readGraphArray(const hxArray* array) {
    if (!array->isSparse())
        hgwErrMsgIdAndTxt("genokit:linkworkhgw:NotSparseArray", "Input argument should be a sparse array.");
    const hxSize n = hxGetN(array);
    if (array->get_dimensions()[0] != n)
        hgwErrMsgIdAndTxt("genokit:linkworkhgw:NotSquareArray",
                          "Sparse array should have same number of rows and columns.");
    return SparseGraphArray{array, n, array->rowIndices, array->columnStarts, array->storedCount()};
}

const CustomValueErrors customWeightErrors = {
    "genokit:linkworkhgw:IncorrectSizeCustomWeights",
    "Custom weights should have same number of elements as nonzero entries in the sparse array.",
    "genokit:linkworkhgw:IncorrectTypeCustomWeights", "Custom weights should be double and real."};

EntryWeights::EntryWeights(const SparseGraphArray& graph, const hxArray* inputs[], int customIndex,
                           const CustomValueErrors& errors) {
    if (customIndex == 0) {
        if (!graph.array->isLogical()) values_ = graph.array->realDoubles();
        return;
    }
    const hxArray* custom = inputs[customIndex];
    if (hxGetNumberOfElements(custom) != graph.stored)
        hgwErrMsgIdAndTxt(errors.sizeIdentifier, errors.sizeMessage);
    if (!custom->isDouble() || custom->isComplex()) hgwErrMsgIdAndTxt(errors.typeIdentifier, errors.typeMessage);
    if (!custom->isSparse()) {
        values_ = custom->realDoubles();
        return;
    }
    // A sparse array of weights stands for the full column-major vector it denotes.
    expanded_.assign(graph.stored, 0.0);
    const hxSize rows = custom->rows();
    for (hxSize j = 0; j < custom->cols(); ++j)
        for (hxIndex k = custom->columnStarts[j]; k < custom->columnStarts[j + 1]; ++k)
            expanded_[j * rows + custom->rowIndices[k]] = custom->realDoubles()[k];
    values_ = expanded_.data();
}

bool keepsWeight(double weight) { return weight < HostInf; }

namespace {

template <class Graph>
void listEdge(const Graph& g, typename boost::graph_traits<Graph>::edge_descriptor e) {
    std::cout << " <" << static_cast<Vertex>(source(e, g)) << "," << static_cast<Vertex>(target(e, g)) << "> ";
    if constexpr (std::is_same_v<Graph, DirectedWeightedGraph> || std::is_same_v<Graph, UndirectedWeightedGraph>)
        std::cout << get(boost::edge_weight, g, e) << "\n";
    else
        std::cout << "\n";
}

// Directed graphs list vertex by vertex; undirected ones in the order edges were added.
template <class Graph>
void listEdges(const Graph& g, int traceLevel) {
    if (!listsEdges(traceLevel)) return;
    if constexpr (isDirected<Graph>) {
        for (auto v : boost::make_iterator_range(vertices(g)))
            for (auto e : boost::make_iterator_range(out_edges(v, g))) listEdge(g, e);
    } else {
        for (auto e : boost::make_iterator_range(edges(g))) listEdge(g, e);
    }
    std::cout.flush();
}

enum class Triangle { All, Lower };

template <class Graph>
Graph importUnweighted(const hxArray* inputs[], int traceLevel, Triangle triangle) {
    const SparseGraphArray a = readGraphArray(inputs[0]);
    Graph g(a.n);
    a.forEachEntry([&](Vertex i, Vertex j, hxIndex) {
        if (triangle == Triangle::All || i > j) add_edge(i, j, g);
    });
    listEdges(g, traceLevel);
    return g;
}

template <class Graph>
Graph importWeighted(const hxArray* inputs[], int customWeightsIndex, int traceLevel, Triangle triangle) {
    const SparseGraphArray a = readGraphArray(inputs[0]);
    Graph g(a.n);
    const EntryWeights weights(a, inputs, customWeightsIndex);
    a.forEachEntry([&](Vertex i, Vertex j, hxIndex k) {
        const double w = weights[k];
        if ((triangle == Triangle::All || i > j) && keepsWeight(w)) add_edge(i, j, w, g);
    });
    listEdges(g, traceLevel);
    return g;
}

}  // namespace

DirectedGraph importDirectedGraph(const hxArray* inputs[], int traceLevel) {
    return importUnweighted<DirectedGraph>(inputs, traceLevel, Triangle::All);
}
UndirectedGraph importUndirectedGraph(const hxArray* inputs[], int traceLevel) {
    return importUnweighted<UndirectedGraph>(inputs, traceLevel, Triangle::Lower);
}
UndirectedGraph importUndirectedGraphAllEntries(const hxArray* inputs[], int traceLevel) {
    return importUnweighted<UndirectedGraph>(inputs, traceLevel, Triangle::All);
}
UndirectedColoredGraph importUndirectedColoredGraph(const hxArray* inputs[], int traceLevel) {
    // Edge colours start white (0), the property's default value.
    return importUnweighted<UndirectedColoredGraph>(inputs, traceLevel, Triangle::Lower);
}
DirectedWeightedGraph importDirectedWeightedGraph(const hxArray* inputs[], int customWeightsIndex, int traceLevel) {
    return importWeighted<DirectedWeightedGraph>(inputs, customWeightsIndex, traceLevel, Triangle::All);
}
UndirectedWeightedGraph importUndirectedWeightedGraph(const hxArray* inputs[], int customWeightsIndex, int traceLevel) {
    return importWeighted<UndirectedWeightedGraph>(inputs, customWeightsIndex, traceLevel, Triangle::Lower);
}
