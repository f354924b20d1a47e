// "top" (topological order) and "isd" (no directed cycle), by depth-first search.
#include <deque>
#include <iterator>

#include <boost/graph/depth_first_search.hpp>
#include <boost/graph/topological_sort.hpp>

#include "gateway/guard.h"
#include "gateway/interrupt.h"
#include "gateway/trace.h"
#include "import/results.h"
#include "import/sparse_import.h"
#include "traversal/traversal.h"

void topHandler(LINKWORK_HANDLER_ARGS) {
    (void)outputCount, (void)inputCount;
    Trace trace(traceLevel);
    const DirectedGraph g = importDirectedGraph(inputs, traceLevel);
    trace.graphCopied();
    std::deque<Vertex> order;
    if (num_vertices(g) > 0)
        guarded(traceLevel, failures::topologicalSort, [&] {
            // The sort takes no visitor of ours: it polls through the colours it reads per edge.
            std::vector<boost::default_color_type> colors(num_vertices(g));
            InterruptPoll poll;
            boost::topological_sort(
                g, std::front_inserter(order),
                boost::color_map(polled(boost::make_iterator_property_map(colors.begin(), get(boost::vertex_index, g)), poll)));
        });
    trace.algorithmFinished();
    outputs[0] = vertexListRow(order);
    trace.outputsCopied();
}

namespace {

// Marks a cycle at the first edge into a gray vertex; from then on every target
// turns black, so the search takes no further tree edge and winds down.
class CycleVisitor : public boost::default_dfs_visitor {
public:
    CycleVisitor(std::vector<boost::default_color_type>* colors, bool* hasCycle, InterruptPoll* poll)
        : colors_(colors), hasCycle_(hasCycle), poll_(poll) {}

    template <class Edge, class Graph>
    void examine_edge(Edge e, const Graph& g) const {
        poll_->step();
        const auto v = target(e, g);
        if ((*colors_)[v] == boost::gray_color) *hasCycle_ = true;
        if (*hasCycle_) (*colors_)[v] = boost::black_color;
    }

private:
    std::vector<boost::default_color_type>* colors_;
    bool* hasCycle_;
    InterruptPoll* poll_;
};

}  // namespace

void isdHandler(LINKWORK_HANDLER_ARGS) {
    (void)outputCount, (void)inputCount;
    Trace trace(traceLevel);
    bool hasCycle = false;
    const DirectedGraph g = importDirectedGraph(inputs, traceLevel);
    trace.graphCopied();
    std::vector<boost::default_color_type> colors(num_vertices(g), boost::white_color);
    InterruptPoll poll;
    if (num_vertices(g) > 0)
        guarded(traceLevel, failures::acyclicTest, [&] {
            boost::depth_first_search(g, CycleVisitor(&colors, &hasCycle, &poll),
                                      boost::make_iterator_property_map(colors.begin(), get(boost::vertex_index, g)));
        });
    trace.algorithmFinished();
    outputs[0] = testScalar(!hasCycle);
    trace.outputsCopied();
}
