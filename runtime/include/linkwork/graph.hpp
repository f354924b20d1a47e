// The typed C++ API of linkwork: one function per algorithm code, over a
// non-owning compressed-column view of the caller's graph.
//
// Vertices are 0-based; `noVertex` (-1) marks "no predecessor" (the start vertex and
// every vertex that was not reached), and unreached vertices are +inf in distances
// and depths. Every function builds the host arrays, calls the module through the
// runtime (loaded once per process from linkwork::defaultModulePath()) and converts
// its outputs, so every answer is the module's own. Every failure is a
// linkwork::Error carrying the module's identifier and message.
//
//     std::vector<std::int64_t> starts{0, 0, 1, 3}, rows{0, 0, 1};
//     std::vector<double> weights{1, 4, 2};
//     linkwork::GraphView g(3, starts, rows, weights);   // 0->1 (1), 0->2 (4), 1->2 (2)
//     linkwork::ShortestPaths p = linkwork::dijkstra(g, 0); // distances 0 1 3
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "linkwork/runtime.h"

namespace linkwork {

inline constexpr std::int64_t noVertex = -1;

// Any failure of a call: the module's host errors keep their identifier
// ("genokit:linkworkhgw:NotValidNode", ...) and message; the runtime and this header
// use identifiers of the form "linkwork:<area>:<Name>".
class Error : public std::runtime_error {
public:
    Error(std::string identifier, std::string message)
        : std::runtime_error(message + " [" + identifier + "]"),
          identifier_(std::move(identifier)),
          message_(std::move(message)) {}
    const std::string& identifier() const noexcept { return identifier_; }
    const std::string& message() const noexcept { return message_; }

private:
    std::string identifier_;
    std::string message_;
};

// A square graph of `vertexCount` vertices in compressed-column form, over arrays
// that the caller keeps alive while the view is used (nothing is copied before a
// call). Entry k of column j, for columnStarts[j] <= k < columnStarts[j + 1], is an
// edge from vertex rowIndices[k] to vertex j with weight values[k]; without values
// every entry is an edge of weight 1. columnStarts has vertexCount + 1 elements and
// starts at 0; a row appears at most once per column (rows may be unsorted).
//
// The graph is read as directed unless undirected() says otherwise; codes that
// always read it one way (noted on each function) ignore the setting. Undirected,
// the module reads the entries below the diagonal (row > column), so a symmetric
// matrix gives each edge once.
class GraphView {
public:
    GraphView(std::size_t vertexCount, const std::int64_t* columnStarts, const std::int64_t* rowIndices,
              const double* values = nullptr)
        : vertexCount_(vertexCount), starts64_(columnStarts), rows64_(rowIndices), values_(values) {}
    GraphView(std::size_t vertexCount, const std::int32_t* columnStarts, const std::int32_t* rowIndices,
              const double* values = nullptr)
        : vertexCount_(vertexCount), starts32_(columnStarts), rows32_(rowIndices), values_(values) {}

    // Over vectors, whose sizes are checked against the structure when a call is made.
    GraphView(std::size_t vertexCount, const std::vector<std::int64_t>& columnStarts,
              const std::vector<std::int64_t>& rowIndices)
        : GraphView(vertexCount, columnStarts.data(), rowIndices.data()) {
        sizes_ = {columnStarts.size(), rowIndices.size(), 0, true};
    }
    GraphView(std::size_t vertexCount, const std::vector<std::int64_t>& columnStarts,
              const std::vector<std::int64_t>& rowIndices, const std::vector<double>& values)
        : GraphView(vertexCount, columnStarts.data(), rowIndices.data(), values.data()) {
        sizes_ = {columnStarts.size(), rowIndices.size(), values.size(), true};
    }

    // The same arrays, read as undirected.
    GraphView undirected() const {
        GraphView view = *this;
        view.directed_ = false;
        return view;
    }

    std::size_t vertexCount() const { return vertexCount_; }
    bool directed() const { return directed_; }

    // The host array of the graph: sparse double, or logical when there are no values.
    ArrayPtr toHostArray() const {
        const std::int64_t stored = columnStart(vertexCount_);
        if (columnStart(0) != 0 || stored < 0)
            throw Error("linkwork:graph:MalformedGraph",
                        "The column starts of the graph must begin at 0 and end at a count of at least 0.");
        const auto count = static_cast<std::uint64_t>(stored);
        if (sizes_.known && (count > sizes_.rows || (values_ != nullptr && count > sizes_.values)))
            throw Error("linkwork:graph:MalformedGraph",
                        "The graph stores " + std::to_string(count) +
                            " entries but its row indices or values hold fewer.");
        ArrayPtr array = makeSparse(values_ != nullptr ? hxDOUBLE_CLASS : hxLOGICAL_CLASS, vertexCount_,
                                    vertexCount_, static_cast<hxSize>(count));
        // Negative starts or rows wrap to huge unsigned values, which the runtime's
        // structure check rejects before the module reads anything.
        for (std::size_t j = 0; j <= vertexCount_; ++j) array->columnStarts[j] = static_cast<hxIndex>(columnStart(j));
        for (std::uint64_t k = 0; k < count; ++k) {
            array->rowIndices[k] = static_cast<hxIndex>(rows64_ != nullptr ? rows64_[k] : rows32_[k]);
            if (values_ != nullptr)
                static_cast<double*>(array->realData)[k] = values_[k];
            else
                static_cast<std::uint8_t*>(array->realData)[k] = 1;
        }
        return array;
    }

private:
    std::int64_t columnStart(std::size_t j) const {
        if (sizes_.known && j >= sizes_.starts)
            throw Error("linkwork:graph:MalformedGraph",
                        "The graph needs " + std::to_string(vertexCount_ + 1) + " column starts but has " +
                            std::to_string(sizes_.starts) + ".");
        return starts64_ != nullptr ? starts64_[j] : starts32_[j];
    }

    struct Sizes {
        std::size_t starts = 0, rows = 0, values = 0;
        bool known = false;
    };
    std::size_t vertexCount_;
    const std::int64_t* starts64_ = nullptr;
    const std::int64_t* rows64_ = nullptr;
    const std::int32_t* starts32_ = nullptr;
    const std::int32_t* rows32_ = nullptr;
    const double* values_;
    Sizes sizes_;
    bool directed_ = true;
};

// Custom weights or capacities, one per stored entry of the graph in storage order
// (column by column); NaN and +inf drop their edge. Unset: the graph's own values.
class Weights {
public:
    Weights() = default;
    Weights(const double* data, std::size_t size) : data_(data), size_(size), given_(true) {}
    Weights(const std::vector<double>& values) : Weights(values.data(), values.size()) {}
    bool given() const { return given_; }
    ArrayPtr toHostArray() const {
        ArrayPtr array = makeDouble(1, size_);
        for (std::size_t k = 0; k < size_; ++k) static_cast<double*>(array->realData)[k] = data_[k];
        return array;
    }

private:
    const double* data_ = nullptr;
    std::size_t size_ = 0;
    bool given_ = false;
};

// A sparse result (a tree, a forest or a flow) in compressed-column form, 0-based,
// like GraphView: entry k of column j is (rowIndices[k], j) with value values[k].
struct SparseMatrix {
    std::size_t vertexCount = 0;
    std::vector<std::int64_t> columnStarts;
    std::vector<std::int64_t> rowIndices;
    std::vector<double> values;
};

struct Traversal {
    std::vector<std::int64_t> order;         // discovered vertices, the source first
    std::vector<std::int64_t> predecessors;  // per vertex; noVertex for the source and unreached
    std::vector<std::int64_t> finishOrder;   // depth-first: finish order; breadth-first: `order` again
    std::vector<double> depths;              // per vertex; +inf when unreached
};

struct Components {
    std::size_t count = 0;
    std::vector<std::int64_t> labels;  // per vertex, 0 .. count - 1
};

struct ShortestPaths {
    std::vector<double> distances;           // per vertex; +inf when unreached
    std::vector<std::int64_t> predecessors;  // per vertex; noVertex for the source and unreached
};

struct DistanceMatrix {
    std::size_t vertexCount = 0;
    std::vector<double> distances;  // row-major: distances[from * vertexCount + to]
    double operator()(std::size_t from, std::size_t to) const { return distances[from * vertexCount + to]; }
};

struct SpanningTree {
    SparseMatrix tree;                       // lower triangle: entry (i, j), i > j, with the edge's weight
    std::vector<std::int64_t> predecessors;  // from the root; noVertex for the root and other components
};

struct MaximumFlow {
    double value = 0;
    SparseMatrix flows;  // the flow on each edge
};

struct Isomorphism {
    bool isomorphic = false;
    std::vector<std::int64_t> mapping;  // vertex of the first graph -> vertex of the second; empty when not
};

namespace detail {

inline const Module& sharedModule() {
    try {
        static const Module module(defaultModulePath());
        return module;
    } catch (const ModuleLoadError& failure) {
        throw Error("linkwork:runtime:ModuleLoadError", failure.what());
    }
}

[[noreturn]] inline void unexpected(const char* code, const std::string& what) {
    throw Error("linkwork:graph:UnexpectedOutput", std::string("The module's ") + code + " output " + what + ".");
}

// Calls one code: the trace level is 0, the directed flag the view's.
inline std::vector<ArrayPtr> call(const char* code, int outputCount, const GraphView& graph,
                                  std::vector<ArrayPtr> arguments = {}) {
    std::vector<ArrayPtr> inputs;
    inputs.push_back(makeString(code));
    inputs.push_back(makeDoubleScalar(0));
    inputs.push_back(makeDoubleScalar(graph.directed() ? 1 : 0));
    inputs.push_back(graph.toHostArray());
    for (ArrayPtr& argument : arguments) inputs.push_back(std::move(argument));
    std::vector<const hxArray*> views;
    for (const ArrayPtr& input : inputs) views.push_back(input.get());
    const Module& module = sharedModule();
    try {
        std::vector<ArrayPtr> outputs = module.call(outputCount, views);
        for (int k = 0; k < outputCount; ++k)
            if (!outputs[k]) unexpected(code, std::to_string(k + 1) + " is missing");
        return outputs;
    } catch (const HostError& failure) {
        throw Error(failure.identifier(), failure.message());
    } catch (const ModuleError& failure) {
        throw Error("linkwork:runtime:ModuleError", failure.what());
    }
}

// A vertex argument, 1-based as the module reads it; the module rejects a vertex
// outside the graph with its own error.
inline ArrayPtr vertex(std::int64_t v) { return makeDoubleScalar(static_cast<double>(v) + 1.0); }

inline const double* denseDoubles(const char* code, const hxArray* array) {
    if (array->sparse || array->classID != hxDOUBLE_CLASS || array->imagData != nullptr)
        unexpected(code, "is not a real dense double array");
    return static_cast<const double*>(array->realData);
}

inline std::size_t elementCount(const hxArray* array) { return array->rows() * array->cols(); }

inline std::vector<double> doubles(const char* code, const hxArray* array) {
    const double* data = denseDoubles(code, array);
    return std::vector<double>(data, data + elementCount(array));
}

// 1-based vertex numbers to 0-based ones; `zeroOrNaNIsNone` reads 0 and NaN (the
// predecessor rule's "none") as noVertex. Every value is range-checked before it
// is converted.
inline std::vector<std::int64_t> vertices(const char* code, const hxArray* array, std::size_t vertexCount,
                                          bool zeroOrNaNIsNone = false) {
    const double* data = denseDoubles(code, array);
    std::vector<std::int64_t> result(elementCount(array));
    for (std::size_t k = 0; k < result.size(); ++k) {
        const double x = data[k];
        if (zeroOrNaNIsNone && (std::isnan(x) || x == 0)) {
            result[k] = noVertex;
            continue;
        }
        if (!(x >= 1 && x <= static_cast<double>(vertexCount)) || x != std::floor(x))
            unexpected(code, "holds " + std::to_string(x) + ", not a vertex number");
        result[k] = static_cast<std::int64_t>(x) - 1;
    }
    return result;
}

inline std::size_t count(const char* code, const hxArray* array) {
    const double* data = denseDoubles(code, array);
    if (elementCount(array) != 1 || !(data[0] >= 0 && data[0] <= 9007199254740992.0) || data[0] != std::floor(data[0]))
        unexpected(code, "is not a count");
    return static_cast<std::size_t>(data[0]);
}

inline bool logical(const char* code, const hxArray* array) {
    if (array->sparse || array->classID != hxLOGICAL_CLASS || elementCount(array) != 1)
        unexpected(code, "is not a logical scalar");
    return static_cast<const std::uint8_t*>(array->realData)[0] != 0;
}

inline SparseMatrix sparse(const char* code, const hxArray* array) {
    if (!array->sparse || array->classID != hxDOUBLE_CLASS || array->rows() != array->cols())
        unexpected(code, "is not a square sparse double array");
    const std::size_t n = array->cols();
    const hxIndex stored = array->columnStarts[n];
    if (stored > array->capacity) unexpected(code, "stores more entries than it has room for");
    SparseMatrix result;
    result.vertexCount = n;
    result.columnStarts.assign(array->columnStarts, array->columnStarts + n + 1);
    result.rowIndices.assign(array->rowIndices, array->rowIndices + stored);
    const double* values = static_cast<const double*>(array->realData);
    result.values.assign(values, values + stored);
    return result;
}

inline Traversal traversal(const char* code, const GraphView& graph, std::int64_t source, double depthLimit) {
    std::vector<ArrayPtr> arguments;
    arguments.push_back(vertex(source));
    arguments.push_back(makeDoubleScalar(depthLimit));
    const std::vector<ArrayPtr> out = call(code, 4, graph, std::move(arguments));
    const std::size_t n = graph.vertexCount();
    return {vertices(code, out[0].get(), n), vertices(code, out[1].get(), n, true), vertices(code, out[2].get(), n),
            doubles(code, out[3].get())};
}

inline ShortestPaths paths(const char* code, const GraphView& graph, std::int64_t source, const Weights& weights) {
    std::vector<ArrayPtr> arguments;
    arguments.push_back(vertex(source));
    if (weights.given()) arguments.push_back(weights.toHostArray());
    const std::vector<ArrayPtr> out = call(code, 2, graph, std::move(arguments));
    return {doubles(code, out[0].get()), vertices(code, out[1].get(), graph.vertexCount(), true)};
}

inline SpanningTree tree(const char* code, const GraphView& graph, std::int64_t root, const Weights& weights) {
    std::vector<ArrayPtr> arguments;
    arguments.push_back(vertex(root));
    if (weights.given()) arguments.push_back(weights.toHostArray());
    const std::vector<ArrayPtr> out = call(code, 2, graph, std::move(arguments));
    return {sparse(code, out[0].get()), vertices(code, out[1].get(), graph.vertexCount(), true)};
}

inline MaximumFlow flow(const char* code, const GraphView& graph, std::int64_t source, std::int64_t sink,
                        const Weights& capacities) {
    std::vector<ArrayPtr> arguments;
    arguments.push_back(vertex(source));
    arguments.push_back(vertex(sink));
    if (capacities.given()) arguments.push_back(capacities.toHostArray());
    const std::vector<ArrayPtr> out = call(code, 2, graph, std::move(arguments));
    const double* value = denseDoubles(code, out[0].get());
    if (elementCount(out[0].get()) != 1) unexpected(code, "is not a flow value");
    return {value[0], sparse(code, out[1].get())};
}

inline Components components(const char* code, const GraphView& graph) {
    const std::vector<ArrayPtr> out = call(code, 2, graph);
    std::vector<std::int64_t> labels = vertices(code, out[1].get(), graph.vertexCount());
    return {count(code, out[0].get()), std::move(labels)};
}

}  // namespace detail

// top: a topological order of a directed acyclic graph (always read as directed).
// A graph with a cycle raises genokit:linkworkhgw:TopoSortAlgorithmError.
inline std::vector<std::int64_t> topologicalSort(const GraphView& graph) {
    const std::vector<ArrayPtr> out = detail::call("top", 1, graph);
    return detail::vertices("top", out[0].get(), graph.vertexCount());
}

// isd: whether the graph has no directed cycle (always read as directed).
inline bool isDirectedAcyclic(const GraphView& graph) {
    return detail::logical("isd", detail::call("isd", 1, graph)[0].get());
}

// dfs: depth-first traversal from `source`, descending at most `depthLimit` edges.
inline Traversal depthFirstSearch(const GraphView& graph, std::int64_t source,
                                  double depthLimit = std::numeric_limits<double>::infinity()) {
    return detail::traversal("dfs", graph, source, depthLimit);
}

// bfs: breadth-first traversal from `source`, at most `depthLimit` edges deep.
inline Traversal breadthFirstSearch(const GraphView& graph, std::int64_t source,
                                    double depthLimit = std::numeric_limits<double>::infinity()) {
    return detail::traversal("bfs", graph, source, depthLimit);
}

// wcc: connected components; of a directed graph, the weakly connected ones (every
// entry counts, whatever its triangle).
inline Components connectedComponents(const GraphView& graph) { return detail::components("wcc", graph); }

// scc: strongly connected components (always read as directed).
inline Components stronglyConnectedComponents(const GraphView& graph) { return detail::components("scc", graph); }

// ist: whether the graph, read as undirected (lower triangle), is a tree spanning
// every vertex.
inline bool isSpanningTree(const GraphView& graph) {
    return detail::logical("ist", detail::call("ist", 1, graph)[0].get());
}

// dij: shortest paths from `source` by Dijkstra's algorithm (non-negative weights).
inline ShortestPaths dijkstra(const GraphView& graph, std::int64_t source, const Weights& weights = {}) {
    return detail::paths("dij", graph, source, weights);
}

// spb: shortest paths from `source` counted in edges (breadth-first).
inline ShortestPaths unweightedShortestPaths(const GraphView& graph, std::int64_t source) {
    return detail::paths("spb", graph, source, Weights());
}

// bel: shortest paths from `source` by Bellman-Ford (negative weights allowed); a
// negative cycle raises genokit:linkworkhgw:NegativeCycle.
inline ShortestPaths bellmanFord(const GraphView& graph, std::int64_t source, const Weights& weights = {}) {
    return detail::paths("bel", graph, source, weights);
}

// spa: shortest paths from `source` in a directed acyclic graph (undirected: along
// a breadth-first tree).
inline ShortestPaths dagShortestPaths(const GraphView& graph, std::int64_t source, const Weights& weights = {}) {
    return detail::paths("spa", graph, source, weights);
}

// all: the distance between every ordered pair of vertices (Johnson's algorithm).
inline DistanceMatrix allPairsShortestPaths(const GraphView& graph, const Weights& weights = {}) {
    std::vector<ArrayPtr> arguments;
    if (weights.given()) arguments.push_back(weights.toHostArray());
    const std::vector<ArrayPtr> out = detail::call("all", 1, graph, std::move(arguments));
    const std::size_t n = graph.vertexCount();
    const double* columnMajor = detail::denseDoubles("all", out[0].get());
    if (out[0]->rows() != n || out[0]->cols() != n) detail::unexpected("all", "is not N by N");
    DistanceMatrix result{n, std::vector<double>(n * n)};
    for (std::size_t from = 0; from < n; ++from)
        for (std::size_t to = 0; to < n; ++to) result.distances[from * n + to] = columnMajor[to * n + from];
    return result;
}

// pri: the minimum spanning tree of `root`'s component by Prim's algorithm (always
// read as undirected).
inline SpanningTree minimumSpanningTree(const GraphView& graph, std::int64_t root, const Weights& weights = {}) {
    return detail::tree("pri", graph, root, weights);
}

// kru: the minimum spanning forest by Kruskal's algorithm (always read as
// undirected); the predecessors run from `root` within its tree.
inline SpanningTree minimumSpanningForest(const GraphView& graph, std::int64_t root, const Weights& weights = {}) {
    return detail::tree("kru", graph, root, weights);
}

// edm: the maximum flow from `source` to `sink` by Edmonds-Karp (always directed;
// the values or `capacities` are the capacities).
inline MaximumFlow maximumFlow(const GraphView& graph, std::int64_t source, std::int64_t sink,
                               const Weights& capacities = {}) {
    return detail::flow("edm", graph, source, sink, capacities);
}

// gol: the maximum flow by push-relabel on integer-scaled capacities.
inline MaximumFlow pushRelabelMaximumFlow(const GraphView& graph, std::int64_t source, std::int64_t sink,
                                          const Weights& capacities = {}) {
    return detail::flow("gol", graph, source, sink, capacities);
}

// iso: whether two graphs are isomorphic and, when they are, a vertex mapping. Both
// are read with the first graph's direction; values are ignored.
inline Isomorphism isIsomorphic(const GraphView& first, const GraphView& second) {
    std::vector<ArrayPtr> arguments;
    arguments.push_back(second.toHostArray());
    const std::vector<ArrayPtr> out = detail::call("iso", 2, first, std::move(arguments));
    Isomorphism result;
    result.isomorphic = detail::logical("iso", out[0].get());
    if (result.isomorphic) result.mapping = detail::vertices("iso", out[1].get(), second.vertexCount());
    return result;
}

}  // namespace linkwork
