#include "import/sparse_import.h"

#include <iostream>
#include <type_traits>
#include <utility>

#include "gateway/host_constants.h"
#include "gateway/interrupt.h"
#include "gateway/listing.h"
#include "gateway/trace.h"
#include "host/hgw.h"
#include "huge_pages.h"

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

enum class Triangle { All, Lower };

// The entries an import keeps: every entry, or those of the lower triangle, and for
// weighted imports only entries whose weight is an edge weight.
struct KeptEntry {
    Triangle triangle;
    const EntryWeights* weights;  // null: unweighted
    bool operator()(Vertex i, Vertex j, hxIndex k) const {
        return (triangle == Triangle::All || i > j) && (!weights || keepsWeight((*weights)[k]));
    }
};

// Calls visit(i, j, k, number) for every kept entry, number counting them from 0.
template <class Visit>
void forEachKept(const SparseGraphArray& a, const KeptEntry& keep, Visit&& visit) {
    Vertex number = 0;
    a.forEachEntry([&](Vertex i, Vertex j, hxIndex k) {
        if (keep(i, j, k)) visit(i, j, k, number++);
    });
}

// The edge properties of each variant, from the kept entry at position k, the
// number-th kept.
struct NoProperty {
    boost::no_property operator()(hxIndex, Vertex) const { return {}; }
};
struct WeightProperty {
    const EntryWeights* weights;
    boost::property<boost::edge_weight_t, double> operator()(hxIndex k, Vertex) const { return (*weights)[k]; }
};
struct NumberProperty {
    EdgeNumber operator()(hxIndex, Vertex number) const { return {number}; }
};

// A compressed graph laid out straight from the entries in two passes (count,
// place), the library's own arrays filled as its unsorted-edge constructor would
// fill them. Out-edges of row i are its kept entries in the order a pass column by
// column meets them. `bothWays` adds each kept entry (i, j) as i -> j and then
// j -> i, so that every vertex meets its undirected edges in entry order (a
// self-loop twice), as the library's undirected adjacency list would give them.
template <class Graph, class Property>
Graph compressedGraph(const SparseGraphArray& a, const KeptEntry& keep, bool bothWays, Property property) {
    Graph g;
    auto& starts = g.m_forward.m_rowstart;
    assignOnHugePages(starts, a.n + 1, Vertex{0});  // the vertex count is its size - 1
    auto& targets = g.m_forward.m_column;
    forEachKept(a, keep, [&](Vertex i, Vertex j, hxIndex, Vertex) {
        ++starts[i + 1];
        if (bothWays) ++starts[j + 1];
    });
    for (Vertex v = 0; v < a.n; ++v) starts[v + 1] += starts[v];
    assignOnHugePages(targets, starts[a.n]);
    constexpr bool hasProperties = !std::is_same_v<std::invoke_result_t<Property, hxIndex, Vertex>, boost::no_property>;
    if constexpr (hasProperties) assignOnHugePages(g.m_forward.m_edge_properties, starts[a.n]);
    std::vector<Vertex> next(starts.begin(), starts.end() - 1);
    forEachKept(a, keep, [&](Vertex i, Vertex j, hxIndex k, Vertex number) {
        const auto place = [&](Vertex from, Vertex to) {
            const Vertex at = next[from]++;
            targets[at] = to;
            if constexpr (hasProperties) g.m_forward.m_edge_properties[at] = property(k, number);
        };
        place(i, j);
        if (bothWays) place(j, i);
    });
    return g;
}

// Directed graphs list vertex by vertex; undirected ones in the order edges were
// added: the kept entries in entry order. Weighted graphs add each edge's weight.
template <class Graph>
void listEdges(const Graph& g, const SparseGraphArray& a, const KeptEntry& keep, int traceLevel) {
    if (!listsEdges(traceLevel)) return;
    ListingWriter out;
    const auto line = [&](Vertex u, Vertex v, const double* weight) {
        out << " <" << u << "," << v << "> ";
        if (weight) out << *weight;
        out.endLine();
    };
    if constexpr (isDirected<Graph>) {
        for (auto v : boost::make_iterator_range(vertices(g)))
            for (auto e : boost::make_iterator_range(out_edges(v, g))) {
                if constexpr (std::is_same_v<Graph, DirectedWeightedGraph>) {
                    const double weight = get(boost::edge_weight, g, e);
                    line(source(e, g), target(e, g), &weight);
                } else {
                    line(source(e, g), target(e, g), nullptr);
                }
            }
    } else {
        forEachKept(a, keep, [&](Vertex i, Vertex j, hxIndex k, Vertex) {
            const double weight = keep.weights ? (*keep.weights)[k] : 0.0;
            line(i, j, keep.weights ? &weight : nullptr);
        });
    }
}

template <class Graph, class Property>
Graph importGraphOf(const SparseGraphArray& a, const KeptEntry& keep, Property property, int traceLevel) {
    Graph g = compressedGraph<Graph>(a, keep, !isDirected<Graph>, property);
    listEdges(g, a, keep, traceLevel);
    return g;
}

template <class Graph, class Property>
Graph importUnweighted(const hxArray* inputs[], int traceLevel, Triangle triangle, Property property) {
    return importGraphOf<Graph>(readGraphArray(inputs[0]), KeptEntry{triangle, nullptr}, property, traceLevel);
}

template <class Graph>
Graph importWeighted(const hxArray* inputs[], int customWeightsIndex, int traceLevel, Triangle triangle) {
    const SparseGraphArray a = readGraphArray(inputs[0]);
    const EntryWeights weights(a, inputs, customWeightsIndex);
    return importGraphOf<Graph>(a, KeptEntry{triangle, &weights}, WeightProperty{&weights}, traceLevel);
}

}  // namespace

DirectedGraph importDirectedGraph(const hxArray* inputs[], int traceLevel) {
    return importUnweighted<DirectedGraph>(inputs, traceLevel, Triangle::All, NoProperty{});
}
UndirectedGraph importUndirectedGraph(const hxArray* inputs[], int traceLevel) {
    return importUnweighted<UndirectedGraph>(inputs, traceLevel, Triangle::Lower, NoProperty{});
}
UndirectedGraph importUndirectedGraphAllEntries(const hxArray* inputs[], int traceLevel) {
    return importUnweighted<UndirectedGraph>(inputs, traceLevel, Triangle::All, NoProperty{});
}
UndirectedColoredGraph importUndirectedColoredGraph(const hxArray* inputs[], int traceLevel) {
    return importUnweighted<UndirectedColoredGraph>(inputs, traceLevel, Triangle::Lower, NumberProperty{});
}
DirectedWeightedGraph importDirectedWeightedGraph(const hxArray* inputs[], int customWeightsIndex, int traceLevel) {
    return importWeighted<DirectedWeightedGraph>(inputs, customWeightsIndex, traceLevel, Triangle::All);
}
UndirectedWeightedGraph importUndirectedWeightedGraph(const hxArray* inputs[], int customWeightsIndex, int traceLevel) {
    return importWeighted<UndirectedWeightedGraph>(inputs, customWeightsIndex, traceLevel, Triangle::Lower);
}
