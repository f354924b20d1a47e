// "ist": is the lower-triangle graph a spanning tree (connected and acyclic)?
#include <vector>

#include <boost/graph/undirected_dfs.hpp>
#include <boost/property_map/property_map.hpp>

#include "gateway/guard.h"
#include "gateway/interrupt.h"
#include "gateway/trace.h"
#include "import/results.h"
#include "import/sparse_import.h"
#include "traversal/traversal.h"

namespace {

// Counts tree edges and notes the first cycle; after it every examined target turns
// black, so the search takes no further tree edge.
class TreeTestVisitor : public boost::default_dfs_visitor {
public:
    TreeTestVisitor(std::vector<boost::default_color_type>* colors, bool* hasCycle, Vertex* treeEdges,
                    InterruptPoll* poll)
        : colors_(colors), hasCycle_(hasCycle), treeEdges_(treeEdges), poll_(poll) {}
    template <class E, class G>
    void examine_edge(E e, const G& g) const {
        poll_->step();
        if (*hasCycle_) (*colors_)[target(e, g)] = boost::black_color;
    }
    template <class E, class G>
    void tree_edge(E, const G&) const { ++*treeEdges_; }
    template <class E, class G>
    void back_edge(E, const G&) const { *hasCycle_ = true; }

private:
    std::vector<boost::default_color_type>* colors_;
    bool* hasCycle_;
    Vertex* treeEdges_;
    InterruptPoll* poll_;
};

// One colour per undirected edge, shared by the edge's two stored directions, so
// that the search does not take the way back to a parent for a cycle.
class SharedEdgeColors
    : public boost::put_get_helper<boost::default_color_type&, SharedEdgeColors> {
public:
    using key_type = boost::graph_traits<UndirectedColoredGraph>::edge_descriptor;
    using value_type = boost::default_color_type;
    using reference = value_type&;
    using category = boost::lvalue_property_map_tag;
    SharedEdgeColors(const UndirectedColoredGraph& g, std::vector<value_type>* colors) : g_(&g), colors_(colors) {}
    reference operator[](const key_type& e) const { return (*colors_)[g_->m_forward.m_edge_properties[e.idx].number]; }

private:
    const UndirectedColoredGraph* g_;
    std::vector<value_type>* colors_;
};

}  // namespace

void istHandler(LINKWORK_HANDLER_ARGS) {
    (void)outputCount, (void)inputCount;
    Trace trace(traceLevel);
    const UndirectedColoredGraph g = importUndirectedColoredGraph(inputs, traceLevel);
    trace.graphCopied();
    const hxSize n = num_vertices(g);
    std::vector<boost::default_color_type> colors(n, boost::white_color);
    std::vector<boost::default_color_type> edgeColors(num_edges(g), boost::white_color);
    bool hasCycle = false;
    Vertex treeEdges = 0;
    InterruptPoll poll;
    // A graph without vertices is no tree, and the search needs a start vertex.
    if (n > 0)
        guarded(traceLevel, failures::treeTest, [&] {
            boost::undirected_dfs(g, boost::visitor(TreeTestVisitor(&colors, &hasCycle, &treeEdges, &poll))
                                         .vertex_color_map(colors.data())
                                         .edge_color_map(SharedEdgeColors(g, &edgeColors))
                                         .root_vertex(Vertex{0}));
        });
    trace.algorithmFinished();
    outputs[0] = testScalar(!hasCycle && treeEdges + 1 == n);
    trace.outputsCopied();
}
