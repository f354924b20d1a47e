// "dfs" and "bfs": one depth-limited traversal from a source vertex.
#include <cmath>
#include <vector>

#include <boost/graph/breadth_first_search.hpp>
#include <boost/graph/depth_first_search.hpp>

#include "gateway/guard.h"
#include "gateway/interrupt.h"
#include "gateway/trace.h"
#include "import/arguments.h"
#include "import/results.h"
#include "import/sparse_import.h"
#include "traversal/traversal.h"

namespace {

using Colors = std::vector<boost::default_color_type>;

// The state a traversal fills; the visitors hold pointers to it.
struct SearchRecord {
    explicit SearchRecord(hxSize n)
        : colors(n, boost::white_color), predecessor(identityPredecessors(n)), depth(n, 0) {
        discovered.reserve(n);
    }
    Colors colors;
    std::vector<Vertex> predecessor;
    std::vector<Vertex> depth;
    std::vector<Vertex> discovered;
    std::vector<Vertex> finished;
    InterruptPoll poll;
};

// A vertex at the depth limit follows none of its edges. Each edge it examines is
// blocked by painting the target green (the target's own colour is kept in the
// expanding vertex's slot), so the search sees a finished target and does not
// descend; the target's colour is restored right after, so a white vertex can still
// be discovered later along another branch.
struct DepthLimit {
    SearchRecord* record;
    Vertex limit;

    template <class V>
    void block(V u, V v) const {
        if (record->depth[u] < limit) return;
        record->colors[u] = record->colors[v];
        record->colors[v] = boost::green_color;
    }
    template <class V>
    void restore(V u, V v) const {
        if (record->colors[v] == boost::green_color) record->colors[v] = record->colors[u];
    }
    template <class V>
    void treeEdge(V u, V v) const {
        record->depth[v] = record->depth[u] + 1;
        record->predecessor[v] = u;
    }
};

// The events both traversals share: record discoveries, block at the limit, grow the tree.
template <class LibraryVisitor>
class DepthLimitedVisitor : public LibraryVisitor {
public:
    explicit DepthLimitedVisitor(DepthLimit limit) : limit_(limit) {}
    template <class V, class G>
    void discover_vertex(V u, const G&) const { limit_.record->discovered.push_back(u); }
    template <class E, class G>
    void examine_edge(E e, const G& g) const {
        limit_.record->poll.step();
        limit_.block(source(e, g), target(e, g));
    }
    template <class E, class G>
    void tree_edge(E e, const G& g) const { limit_.treeEdge(source(e, g), target(e, g)); }

protected:
    DepthLimit limit_;
};

class DepthLimitedDfsVisitor : public DepthLimitedVisitor<boost::default_dfs_visitor> {
public:
    using DepthLimitedVisitor::DepthLimitedVisitor;
    template <class E, class G>
    void forward_or_cross_edge(E e, const G& g) const { limit_.restore(source(e, g), target(e, g)); }
    template <class V, class G>
    void finish_vertex(V u, const G&) const { limit_.record->finished.push_back(u); }
};

// A green target is reported as a black one, among the non-tree edges.
class DepthLimitedBfsVisitor : public DepthLimitedVisitor<boost::default_bfs_visitor> {
public:
    using DepthLimitedVisitor::DepthLimitedVisitor;
    template <class E, class G>
    void non_tree_edge(E e, const G& g) const { limit_.restore(source(e, g), target(e, g)); }
};

// Handler input 2: a non-negative numeric scalar. Inf, NaN and values of n or more
// mean no limit (n, which no tree depth reaches); others are truncated.
Vertex depthLimit(const hxArray* inputs[], int inputCount, hxSize n) {
    requireInput(inputCount, 2);
    const hxArray* input = inputs[2];
    const double d = hxGetScalar(input);
    if (d < 0 || hxGetNumberOfElements(input) != 1 || !input->isNumeric())
        hgwErrMsgIdAndTxt("genokit:linkworkhgw:NotNumericDepth", "Depth must be numeric and scalar.");
    if (std::isnan(d) || !(d < static_cast<double>(n))) return n;
    return static_cast<Vertex>(d);
}

enum class Order { DepthFirst, BreadthFirst };

template <class Graph>
void traverse(LINKWORK_HANDLER_ARGS, Order order) {
    Trace trace(traceLevel);
    const Graph g = importGraph<Graph>(inputs, traceLevel);
    trace.graphCopied();
    const hxSize n = num_vertices(g);
    const Vertex s = vertexArgument(inputs, inputCount, 1, n, VertexRole::Source);
    const Vertex limit = depthLimit(inputs, inputCount, n);
    SearchRecord record(n);
    if (order == Order::DepthFirst) {
        record.finished.reserve(n);
        guarded(traceLevel, failures::depthFirst, [&] {
            boost::depth_first_visit(g, s, DepthLimitedDfsVisitor({&record, limit}), record.colors.data());
        });
    } else {
        guarded(traceLevel, failures::breadthFirst, [&] {
            boost::queue<Vertex> queue;
            boost::breadth_first_visit(g, s, queue, DepthLimitedBfsVisitor({&record, limit}), record.colors.data());
        });
    }
    trace.algorithmFinished();
    outputs[0] = vertexListRow(record.discovered);
    if (wantsOutput(outputCount, 2)) outputs[1] = predecessorRow(record.predecessor, s);
    if (wantsOutput(outputCount, 3))
        outputs[2] = vertexListRow(order == Order::DepthFirst ? record.finished : record.discovered);
    if (wantsOutput(outputCount, 4)) outputs[3] = treeDistanceRow(record.depth, record.predecessor, s);
    trace.outputsCopied();
}

}  // namespace

template <class Graph>
void dfsHandler(LINKWORK_HANDLER_ARGS, Graph) {
    traverse<Graph>(outputCount, outputs, inputCount, inputs, traceLevel, Order::DepthFirst);
}
template <class Graph>
void bfsHandler(LINKWORK_HANDLER_ARGS, Graph) {
    traverse<Graph>(outputCount, outputs, inputCount, inputs, traceLevel, Order::BreadthFirst);
}
template void dfsHandler<DirectedGraph>(LINKWORK_HANDLER_ARGS, DirectedGraph);
template void dfsHandler<UndirectedGraph>(LINKWORK_HANDLER_ARGS, UndirectedGraph);
template void bfsHandler<DirectedGraph>(LINKWORK_HANDLER_ARGS, DirectedGraph);
template void bfsHandler<UndirectedGraph>(LINKWORK_HANDLER_ARGS, UndirectedGraph);
