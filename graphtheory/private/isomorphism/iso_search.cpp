// The isomorphism search: the library's order of partial mappings, pruned by joint
// colours and by incremental edge checks.
#include "isomorphism/iso_search.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <utility>

#include "gateway/interrupt.h"
#include "isomorphism/colour_refinement.h"

#include "gateway/stage_mark.h"

namespace {

using Index = IsoGraph::Index;
constexpr Index none = IsoGraph::none;

// The library's default invariant: (largest in-degree + 1) * out-degree + in-degree,
// with in-degrees counted over the adjacency lists (undirected: the degree).
std::vector<std::uint64_t> degreeInvariants(const IsoGraph& g) {
    std::uint64_t largestIn = 0;
    for (Index v = 0; v < g.n; ++v) largestIn = std::max<std::uint64_t>(largestIn, g.inDegree(v));
    std::vector<std::uint64_t> invariant(g.n);
    for (Index v = 0; v < g.n; ++v) invariant[v] = (largestIn + 1) * g.outDegree(v) + g.inDegree(v);
    return invariant;
}

// The order in which the library maps the first graph's vertices. `order` lists the
// vertices by depth-first number; the depth-first search starts from the vertices
// sorted by how many vertices share their invariant (fewest first, by the same
// unstable sort). The vertex at position w is mapped either to a neighbour of the
// image of order[parent[w]], when it has an in-edge (undirected: an edge) from an
// earlier position (the earliest gives parent[w]), or else to any vertex of the
// second graph. Only the first `mapped` positions are ever mapped: the rest are
// isolated vertices after the last edge.
struct SearchOrder {
    std::vector<Index> order, parent;
    Index mapped = 0;
};

SearchOrder librarySearchOrder(const IsoGraph& g, const std::vector<std::uint64_t>& invariant) {
    const Index n = g.n;
    std::vector<std::uint64_t> sorted(invariant);
    std::sort(sorted.begin(), sorted.end());
    std::vector<Index> multiplicity(n);
    for (Index v = 0; v < n; ++v) {
        const auto range = std::equal_range(sorted.begin(), sorted.end(), invariant[v]);
        multiplicity[v] = static_cast<Index>(range.second - range.first);
    }
    std::vector<Index> starts(n);
    std::iota(starts.begin(), starts.end(), Index{0});
    std::sort(starts.begin(), starts.end(), [&](Index a, Index b) { return multiplicity[a] < multiplicity[b]; });

    SearchOrder s;
    s.order.reserve(n);
    std::vector<Index> number(n, none);
    std::vector<std::pair<Index, Index>> stack;  // vertex, offset of its next out-edge
    for (const Index root : starts) {
        if (number[root] != none) continue;
        number[root] = static_cast<Index>(s.order.size());
        s.order.push_back(root);
        stack.emplace_back(root, g.outStart[root]);
        while (!stack.empty()) {
            const Index u = stack.back().first;
            const Index next = stack.back().second;
            if (next == g.outStart[u + 1]) {
                stack.pop_back();
                continue;
            }
            ++stack.back().second;
            const Index w = g.outAdj[next];
            if (number[w] != none) continue;
            number[w] = static_cast<Index>(s.order.size());
            s.order.push_back(w);
            stack.emplace_back(w, g.outStart[w]);
        }
    }

    s.parent.assign(n, none);
    bool anyEdge = false;
    Index last = 0;
    for (Index u = 0; u < n; ++u)
        for (const Index* w = g.outBegin(u); w != g.outEnd(u); ++w) {
            const Index a = number[u], b = number[*w];
            if (a < b) s.parent[b] = std::min(s.parent[b], a);
            last = std::max({last, a, b});
            anyEdge = true;
        }
    s.mapped = anyEdge ? last + 1 : 0;
    return s;
}

class Search {
public:
    Search(const IsoGraph& first, const IsoGraph& second, const JointColours& colours, std::vector<Index>& map)
        : first_(first), second_(second), map_(map), inverse_(second.n, none),
          next_(second.n + colours.colourCount()), previous_(second.n + colours.colourCount()), outMark_(second.n, 0),
          inMark_(second.n, 0), scanFrom_(second.outStart.begin(), second.outStart.end() - 1), levels_(1, colours) {
        // One circular list per colour of the second graph's unused vertices, in index
        // order; node n + c heads colour c.
        const Index n = second.n;
        for (Index c = 0; c < colours.colourCount(); ++c) next_[n + c] = previous_[n + c] = n + c;
        for (Index u = 0; u < n; ++u) {
            const Index head = n + colours.second(u), tail = previous_[head];
            next_[tail] = u, previous_[u] = tail, next_[u] = head, previous_[head] = u;
        }
    }

    bool run(const SearchOrder& s) {
        const Index n = second_.n;
        std::vector<Index> cursor(s.mapped);  // the candidate (or adjacency offset) in use
        individualised_.assign(s.mapped, 0);
        Index position = 0;
        bool resume = false;
        while (position < s.mapped) {
            poll_.step();
            const Index v = s.order[position];
            Index chosen = none;
            firstTry_ = !resume;
            if (s.parent[position] == none) {
                const Index head = n + levels_.front().first(v);
                Index node = next_[resume ? cursor[position] : head];
                while (node != head && !accept(v, node, position)) node = next_[node];
                cursor[position] = node;
                if (node != head) chosen = node;
            } else {
                const Index image = map_[s.order[s.parent[position]]];
                Index k = resume ? cursor[position] + 1 : scanFrom_[image];
                for (const Index end = second_.outStart[image + 1]; k < end; ++k) {
                    const Index u = second_.outAdj[k];
                    if (inverse_[u] != none) {
                        if (k == scanFrom_[image]) ++scanFrom_[image];
                        continue;
                    }
                    if (accept(v, u, position)) {
                        chosen = u;
                        break;
                    }
                }
                cursor[position] = k;
            }
            if (chosen != none) {
                map_[v] = chosen, inverse_[chosen] = v;
                unlink(chosen);
                ++position;
                resume = false;
            } else {
                if (position == 0) return false;
                --position;
                const Index w = s.order[position], u = map_[w];
                map_[w] = none, inverse_[u] = none;
                relink(u);
                // u is free again: lists that skip it as used must look from their start.
                for (const Index* x = second_.inBegin(u); x != second_.inEnd(u); ++x)
                    scanFrom_[*x] = second_.outStart[*x];
                if (individualised_[position]) levels_.pop_back(), individualised_[position] = 0;
                resume = true;
            }
        }
        return true;
    }

private:
    void unlink(Index u) { next_[previous_[u]] = next_[u], previous_[next_[u]] = previous_[u]; }
    void relink(Index u) { next_[previous_[u]] = u, previous_[next_[u]] = u; }

    // Whether v may go onto u: the same colour, consistent edges, and, for the first
    // candidate tried at a position whose colour at least two other vertices share
    // (while levels remain), the colours refined with the pair set apart still balance between the
    // graphs. Setting pairs apart splits the classes that symmetric graphs (a torus,
    // a cycle) leave whole; it costs a copy of the colours and a refinement, so it is
    // spent on first candidates only, which in such graphs are right.
    bool accept(Index v, Index u, Index position) {
        const JointColours& colours = levels_.back();
        if (colours.first(v) != colours.second(u) || !consistent(v, u)) return false;
        const bool first = firstTry_;
        firstTry_ = false;
        if (!first || levels_.size() > maxIndividualised || colours.firstGraphCount(colours.first(v)) < 3)
            return true;
        levels_.push_back(colours);
        if (!levels_.back().individualise(v, u)) {
            levels_.pop_back();
            return false;
        }
        individualised_[position] = 1;
        return true;
    }

    // Whether mapping v onto u keeps the edges between mapped vertices in exact
    // correspondence: every edge of v to or from a mapped vertex (or itself) has its
    // image at u, and u has no others.
    bool consistent(Index v, Index u) {
        poll_.step();
        if (++stamp_ == 0) {
            std::fill(outMark_.begin(), outMark_.end(), 0);
            std::fill(inMark_.begin(), inMark_.end(), 0);
            stamp_ = 1;
        }
        Index expected = 0, found = 0;
        bool loop = false;
        for (const Index* x = first_.outBegin(v); x != first_.outEnd(v); ++x) {
            if (*x == v)
                loop = true, ++expected;
            else if (map_[*x] != none)
                outMark_[map_[*x]] = stamp_, ++expected;
        }
        for (const Index* y = second_.outBegin(u); y != second_.outEnd(u); ++y) {
            if (*y == u) {
                if (!loop) return false;
                ++found;
            } else if (inverse_[*y] != none) {
                if (outMark_[*y] != stamp_) return false;
                ++found;
            }
        }
        if (found != expected) return false;
        if (!first_.directed) return true;
        expected = found = 0;
        for (const Index* x = first_.inBegin(v); x != first_.inEnd(v); ++x)
            if (*x != v && map_[*x] != none) inMark_[map_[*x]] = stamp_, ++expected;
        for (const Index* y = second_.inBegin(u); y != second_.inEnd(u); ++y)
            if (*y != u && inverse_[*y] != none) {
                if (inMark_[*y] != stamp_) return false;
                ++found;
            }
        return found == expected;
    }

    // Each level is a copy of the colours, O(n) in size.
    static constexpr std::size_t maxIndividualised = 16;

    const IsoGraph& first_;
    const IsoGraph& second_;
    std::vector<Index>& map_;
    std::vector<Index> inverse_, next_, previous_, outMark_, inMark_;
    // Per second-graph vertex: every out-neighbour before this offset is in use, so a
    // scan of its out-neighbours for candidates may start there (a hub's leaves are
    // not rescanned for each leaf).
    std::vector<Index> scanFrom_;
    std::vector<JointColours> levels_;    // the colours refined with each pair set apart
    std::vector<char> individualised_;    // per position: whether its pair added a level
    Index stamp_ = 0;
    bool firstTry_ = false;  // no candidate tried yet at a freshly entered position
    InterruptPoll poll_;
};

}  // namespace

bool findIsomorphism(const IsoGraph& first, const IsoGraph& second, std::vector<Index>& map) {
    map.assign(first.n, none);
    if (first.n != second.n) return false;
    if (first.n == 0) return true;

    // The library's answer when the sorted invariants differ.
    const std::vector<std::uint64_t> invariant = degreeInvariants(first);
    {
        std::vector<std::uint64_t> a(invariant), b = degreeInvariants(second);
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        if (a != b) return false;
    }

    JointColours colours(first, second);
    const bool coloured = colours.refine();
    LINKWORK_MARK("refined");  // the benchmark splits refinement from search here
    if (!coloured) return false;

    const SearchOrder order = librarySearchOrder(first, invariant);
    Search search(first, second, colours, map);
    if (!search.run(order)) {
        std::fill(map.begin(), map.end(), none);
        return false;
    }

    // The isolated vertices after the last edge, in index order, onto the unused
    // vertices of the second graph, which are isolated as well.
    std::vector<char> used(second.n, 0);
    for (const Index u : map)
        if (u != none) used[u] = 1;
    Index nextUnused = 0;
    for (Index& u : map) {
        if (u != none) continue;
        while (used[nextUnused]) ++nextUnused;
        u = nextUnused;
        used[u] = 1;
    }
    return true;
}
