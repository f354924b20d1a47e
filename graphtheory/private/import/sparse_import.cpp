#include "import/sparse_import.h"

#include <iostream>
#include <type_traits>
#include <utility>

#include <boost/iterator/iterator_facade.hpp>

#include "gateway/host_constants.h"
#include "gateway/interrupt.h"
#include "gateway/listing.h"
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
void listEdge(ListingWriter& out, const Graph& g, typename boost::graph_traits<Graph>::edge_descriptor e) {
    out << " <" << static_cast<Vertex>(source(e, g)) << "," << static_cast<Vertex>(target(e, g)) << "> ";
    if constexpr (std::is_same_v<Graph, DirectedWeightedGraph> || std::is_same_v<Graph, UndirectedWeightedGraph>)
        out << get(boost::edge_weight, g, e);
    out.endLine();
}

// Directed graphs list vertex by vertex; undirected ones in the order edges were added.
template <class Graph>
void listEdges(const Graph& g, int traceLevel) {
    if (!listsEdges(traceLevel)) return;
    ListingWriter out;
    if constexpr (isDirected<Graph>) {
        for (auto v : boost::make_iterator_range(vertices(g)))
            for (auto e : boost::make_iterator_range(out_edges(v, g))) listEdge(out, g, e);
    } else {
        for (auto e : boost::make_iterator_range(edges(g))) listEdge(out, g, e);
    }
}

enum class Triangle { All, Lower };

// The entries an import keeps: every entry, or those of the lower triangle, and for
// weighted imports only entries whose weight is an edge weight.
struct KeptEntry {
    Triangle triangle;
    const EntryWeights* weights;  // null: unweighted
    mutable InterruptPoll poll{};  // every pass over the entries asks it once per entry
    bool operator()(Vertex i, Vertex j, hxIndex k) const {
        poll.step();
        return (triangle == Triangle::All || i > j) && (!weights || keepsWeight((*weights)[k]));
    }
};

struct EntryEnds {
    std::pair<Vertex, Vertex> operator()(Vertex i, Vertex j, hxIndex) const { return {i, j}; }
};
struct EntryWeight {
    const EntryWeights* weights;
    double operator()(Vertex, Vertex, hxIndex k) const { return (*weights)[k]; }
};

// Walks the kept entries column by column, in stored order, yielding Project(i, j, k).
// A forward iterator, so a compressed graph can be built from it in two passes.
template <class Project>
class KeptEntryIterator
    : public boost::iterator_facade<KeptEntryIterator<Project>, std::invoke_result_t<Project, Vertex, Vertex, hxIndex>,
                                    boost::forward_traversal_tag, std::invoke_result_t<Project, Vertex, Vertex, hxIndex>> {
public:
    KeptEntryIterator() = default;
    KeptEntryIterator(const SparseGraphArray& a, KeptEntry keep, Project project, hxIndex k)
        : a_(&a), keep_(keep), project_(project), k_(k) {
        settle();
    }

private:
    friend class boost::iterator_core_access;
    void settle() {
        for (; k_ < a_->stored; ++k_) {
            while (k_ >= a_->starts[j_ + 1]) ++j_;
            if (keep_(a_->rows[k_], j_, k_)) return;
        }
    }
    void increment() {
        ++k_;
        settle();
    }
    bool equal(const KeptEntryIterator& other) const { return k_ == other.k_; }
    std::invoke_result_t<Project, Vertex, Vertex, hxIndex> dereference() const {
        return project_(a_->rows[k_], j_, k_);
    }

    const SparseGraphArray* a_ = nullptr;
    KeptEntry keep_{};
    Project project_{};
    Vertex j_ = 0;
    hxIndex k_ = 0;
};

template <class Project>
std::pair<KeptEntryIterator<Project>, KeptEntryIterator<Project>> keptEntries(const SparseGraphArray& a,
                                                                              KeptEntry keep, Project project) {
    return {KeptEntryIterator<Project>(a, keep, project, 0), KeptEntryIterator<Project>(a, keep, project, a.stored)};
}

// An unweighted compressed graph laid out straight from the entries in two passes
// (count, place), the library's own arrays filled as its unsorted-edge constructor
// would fill them. Out-edges of row i are its kept entries in the order a pass column
// by column meets them. `bothWays` adds each kept entry (i, j) as i -> j and then
// j -> i, so that every vertex meets its undirected edges in entry order (a
// self-loop twice), as the library's undirected adjacency list would give them.
template <class Graph>
Graph compressedGraph(const SparseGraphArray& a, Triangle triangle, bool bothWays) {
    Graph g(a.n);
    auto& starts = g.m_forward.m_rowstart;  // n + 1 zeros
    auto& targets = g.m_forward.m_column;
    const KeptEntry keep{triangle, nullptr};
    a.forEachEntry([&](Vertex i, Vertex j, hxIndex k) {
        if (!keep(i, j, k)) return;
        ++starts[i + 1];
        if (bothWays) ++starts[j + 1];
    });
    for (Vertex v = 0; v < a.n; ++v) starts[v + 1] += starts[v];
    targets.resize(starts[a.n]);
    std::vector<Vertex> next(starts.begin(), starts.end() - 1);
    a.forEachEntry([&](Vertex i, Vertex j, hxIndex k) {
        if (!keep(i, j, k)) return;
        targets[next[i]++] = j;
        if (bothWays) targets[next[j]++] = i;
    });
    return g;
}

DirectedGraph directedGraph(const SparseGraphArray& a) {
    return compressedGraph<DirectedGraph>(a, Triangle::All, false);
}

// Kept entries (i, j) as i -> j and then j -> i, each direction with the entry's
// projection (its ends, swapped for the second, or its weight, twice).
template <class Project>
class BothWaysIterator
    : public boost::iterator_facade<BothWaysIterator<Project>, std::invoke_result_t<Project, Vertex, Vertex, hxIndex>,
                                    boost::forward_traversal_tag, std::invoke_result_t<Project, Vertex, Vertex, hxIndex>> {
public:
    BothWaysIterator() = default;
    explicit BothWaysIterator(KeptEntryIterator<Project> entry) : entry_(entry) {}

private:
    friend class boost::iterator_core_access;
    void increment() {
        if (reversed_) ++entry_;
        reversed_ = !reversed_;
    }
    bool equal(const BothWaysIterator& other) const { return entry_ == other.entry_ && reversed_ == other.reversed_; }
    std::invoke_result_t<Project, Vertex, Vertex, hxIndex> dereference() const {
        auto value = *entry_;
        if constexpr (std::is_same_v<decltype(value), std::pair<Vertex, Vertex>>)
            if (reversed_) std::swap(value.first, value.second);
        return value;
    }

    KeptEntryIterator<Project> entry_{};
    bool reversed_ = false;
};

template <class Project>
BothWaysIterator<Project> bothWays(KeptEntryIterator<Project> entry) {
    return BothWaysIterator<Project>(entry);
}

DirectedWeightedGraph directedWeightedGraph(const SparseGraphArray& a, const EntryWeights& weights) {
    const KeptEntry keep{Triangle::All, &weights};
    const auto [begin, end] = keptEntries(a, keep, EntryEnds{});
    return DirectedWeightedGraph(boost::edges_are_unsorted_multi_pass, begin, end,
                                 keptEntries(a, keep, EntryWeight{&weights}).first, a.n);
}

// Lists the edges of an unweighted undirected graph as they were added: the kept
// entries in entry order.
void listKeptEntries(const SparseGraphArray& a, Triangle triangle, int traceLevel) {
    if (!listsEdges(traceLevel)) return;
    ListingWriter out;
    const auto [begin, end] = keptEntries(a, KeptEntry{triangle, nullptr}, EntryEnds{});
    for (auto e = begin; e != end; ++e) {
        out << " <" << e->first << "," << e->second << "> ";
        out.endLine();
    }
}

// Undirected graphs: each kept entry is added as an edge in entry order, after
// reserving every vertex's out-edge list for the edges that will meet it.
template <class Graph, class Add>
Graph undirectedGraph(const SparseGraphArray& a, KeptEntry keep, Add add) {
    Graph g(a.n);
    g.m_edges.reserve(reserveForBothEnds(g, a, keep));
    a.forEachEntry([&](Vertex i, Vertex j, hxIndex k) {
        if (keep(i, j, k)) add(i, j, k, g);
    });
    return g;
}

template <class Graph>
Graph importUnweighted(const hxArray* inputs[], int traceLevel, Triangle triangle) {
    const SparseGraphArray a = readGraphArray(inputs[0]);
    if constexpr (std::is_same_v<Graph, UndirectedGraph>) {
        UndirectedGraph g = compressedGraph<UndirectedGraph>(a, triangle, true);
        listKeptEntries(a, triangle, traceLevel);
        return g;
    } else {
        Graph g = [&] {
            if constexpr (isDirected<Graph>)
                return directedGraph(a);
            else
                return undirectedGraph<Graph>(a, KeptEntry{triangle, nullptr},
                                              [](Vertex i, Vertex j, hxIndex, Graph& g) { add_edge(i, j, g); });
        }();
        listEdges(g, traceLevel);
        return g;
    }
}

template <class Graph>
Graph importWeighted(const hxArray* inputs[], int customWeightsIndex, int traceLevel, Triangle triangle) {
    const SparseGraphArray a = readGraphArray(inputs[0]);
    const EntryWeights weights(a, inputs, customWeightsIndex);
    Graph g = [&] {
        if constexpr (isDirected<Graph>)
            return directedWeightedGraph(a, weights);
        else
            return undirectedGraph<Graph>(a, KeptEntry{triangle, &weights}, [&](Vertex i, Vertex j, hxIndex k, Graph& g) {
                add_edge(i, j, weights[k], g);
            });
    }();
    listEdges(g, traceLevel);
    return g;
}

}  // namespace

UndirectedWeightedSearchGraph importUndirectedWeightedSearchGraph(const hxArray* inputs[], int customWeightsIndex,
                                                                  int traceLevel) {
    const SparseGraphArray a = readGraphArray(inputs[0]);
    const EntryWeights weights(a, inputs, customWeightsIndex);
    const KeptEntry keep{Triangle::Lower, &weights};
    const auto [begin, end] = keptEntries(a, keep, EntryEnds{});
    UndirectedWeightedSearchGraph g(boost::edges_are_unsorted_multi_pass, bothWays(begin), bothWays(end),
                                    bothWays(keptEntries(a, keep, EntryWeight{&weights}).first), a.n);
    if (listsEdges(traceLevel)) {
        // As added: the kept entries in entry order, each with its weight.
        ListingWriter out;
        a.forEachEntry([&](Vertex i, Vertex j, hxIndex k) {
            if (!keep(i, j, k)) return;
            out << " <" << i << "," << j << "> " << weights[k];
            out.endLine();
        });
    }
    return g;
}

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
