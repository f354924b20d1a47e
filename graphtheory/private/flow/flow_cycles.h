#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include <boost/graph/filtered_graph.hpp>
#include <boost/graph/strong_components.hpp>

#include "gateway/interrupt.h"

// Removes every directed cycle of positive flow from a flow held as residual
// capacities (the flow on an edge of positive capacity is its capacity less its
// residual). Each cycle found loses its smallest flow on every edge, so every
// vertex keeps its net flow and the flow value does not change. Only edges that
// lie on a cycle can change: a flow whose edges of positive flow form no cycle is
// left exactly as it was.
//
// Cycles can only run inside a strongly connected component of the graph of edges
// that carry flow, so the library's strong components tell first whether there is
// anything to do and where. Inside the components a depth-first search keeps the
// path it is on; an edge back to a vertex on that path closes a cycle, which is
// cancelled, and the search resumes at the tail of the first edge the
// cancellation emptied. Each vertex's next edge to look at only moves forward and
// each cancellation empties an edge for good, so the work is the edge count plus,
// for each cancelled cycle, its length.
template <class Graph, class CapacityMap, class ResidualMap, class ReverseMap>
class FlowCycleCanceller {
public:
    using Vertex = typename boost::graph_traits<Graph>::vertex_descriptor;
    using Edge = typename boost::graph_traits<Graph>::edge_descriptor;
    using Flow = typename boost::property_traits<CapacityMap>::value_type;

    FlowCycleCanceller(const Graph& g, CapacityMap capacity, ResidualMap residual, ReverseMap reverse)
        : g_(g), capacity_(capacity), residual_(residual), reverse_(reverse) {}

    // Asks the host every few thousand steps whether the call should stop.
    void run() {
        const std::size_t n = num_vertices(g_);
        for (std::size_t v = 0; v < n; ++v)
            for (const Edge e : boost::make_iterator_range(out_edges(vertexAt(v), g_)))
                if (target(e, g_) == vertexAt(v) && carries(e)) lower(e, flow(e));

        const boost::filtered_graph<Graph, Carries> support(g_, Carries{this});
        component_.assign(n, 0);
        const std::size_t count = boost::strong_components(
            support, boost::make_iterator_property_map(component_.begin(), get(boost::vertex_index, g_)));
        if (count == n) return;
        std::vector<std::size_t> size(count, 0);
        for (const std::size_t c : component_) ++size[c];

        state_.assign(n, unseen);
        next_.resize(n);
        position_.resize(n);
        via_.resize(n);
        for (std::size_t r = 0; r < n; ++r) {
            // Vertices cut off the path by a cancellation may start a search of their own.
            if (state_[r] == finished || size[component_[r]] < 2) continue;
            enter(r);
            while (!path_.empty()) {
                interrupt_.step();
                const std::size_t u = path_.back();
                if (!advance(u)) {
                    state_[u] = finished;
                    path_.pop_back();
                }
            }
        }
    }

private:
    // A vertex that left the path when a cancellation cut it keeps its next edge:
    // the edges it passed carry no flow, leave the component or end at a finished
    // vertex, and stay so.
    enum : unsigned char { unseen, onPath, finished, leftPath };

    // Edge filter of the library's search: a forward edge that carries flow.
    struct Carries {
        const FlowCycleCanceller* owner = nullptr;
        bool operator()(const Edge& e) const { return owner->carries(e); }
    };

    Vertex vertexAt(std::size_t v) const { return vertex(v, g_); }
    std::size_t indexOf(Vertex v) const { return get(boost::vertex_index, g_, v); }
    Flow flow(const Edge& e) const { return get(capacity_, e) - get(residual_, e); }
    bool carries(const Edge& e) const { return get(capacity_, e) > 0 && get(residual_, e) < get(capacity_, e); }

    void lower(const Edge& e, Flow by) {
        put(residual_, e, get(residual_, e) + by);
        const Edge twin = get(reverse_, e);
        put(residual_, twin, get(residual_, twin) - by);
    }

    void enter(std::size_t v) {
        if (state_[v] == unseen) next_[v] = out_edges(vertexAt(v), g_);
        state_[v] = onPath;
        position_[v] = path_.size();
        path_.push_back(v);
    }

    // Follows u's next edge of positive flow inside its component: into a vertex
    // not yet seen (the path grows), or back onto the path (a cycle is cancelled and
    // the path cut back to the tail of the first emptied edge). False when u has no
    // edge left.
    bool advance(std::size_t u) {
        auto& [next, end] = next_[u];
        for (; next != end; ++next) {
            const Edge e = *next;
            const std::size_t v = indexOf(target(e, g_));
            if (component_[v] != component_[u] || state_[v] == finished || !carries(e)) continue;
            if (state_[v] != onPath) {
                via_[v] = e;
                enter(v);
                return true;
            }
            cancelCycle(e, position_[v]);
            return true;
        }
        return false;
    }

    // The cycle is the path from position `from` to its end, closed by `closing`.
    void cancelCycle(const Edge& closing, std::size_t from) {
        Flow smallest = flow(closing);
        for (std::size_t k = from + 1; k < path_.size(); ++k) smallest = std::min(smallest, flow(via_[path_[k]]));
        lower(closing, smallest);
        std::size_t cut = path_.size();
        for (std::size_t k = from + 1; k < path_.size(); ++k) {
            lower(via_[path_[k]], smallest);
            if (cut == path_.size() && !carries(via_[path_[k]])) cut = k;
        }
        // Vertices past the emptied edge leave the path and may be reached again.
        for (std::size_t k = cut; k < path_.size(); ++k) state_[path_[k]] = leftPath;
        path_.resize(cut);
    }

    const Graph& g_;
    CapacityMap capacity_;
    ResidualMap residual_;
    ReverseMap reverse_;
    std::vector<std::size_t> component_;
    std::vector<unsigned char> state_;
    std::vector<std::pair<typename boost::graph_traits<Graph>::out_edge_iterator,
                          typename boost::graph_traits<Graph>::out_edge_iterator>>
        next_;
    std::vector<std::size_t> position_;
    std::vector<Edge> via_;
    std::vector<std::size_t> path_;
    InterruptPoll interrupt_;
};

template <class Graph, class CapacityMap, class ResidualMap, class ReverseMap>
void cancelFlowCycles(const Graph& g, CapacityMap capacity, ResidualMap residual, ReverseMap reverse) {
    FlowCycleCanceller<Graph, CapacityMap, ResidualMap, ReverseMap>(g, capacity, residual, reverse).run();
}
