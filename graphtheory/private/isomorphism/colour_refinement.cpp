// Joint colour refinement of two graphs by partition refinement over their disjoint
// union, with each class split by its members' neighbour counts in a splitter class
// and all but the largest piece of a split queued as new splitters.
#include "isomorphism/colour_refinement.h"

#include "gateway/interrupt.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <numeric>

namespace {

using Index = IsoGraph::Index;

// The partition of the union: vertices 0..n-1 are the first graph's, n..2n-1 the
// second's. Each class is a range of `elements_`.
class JointPartition {
public:
    JointPartition(const IsoGraph& first, const IsoGraph& second)
        : first_(first), second_(second), n_(first.n), size_(2 * first.n), position_(size_), classOf_(size_),
          hits_(size_, 0) {}

    // Classes of equal keys (one key per union vertex), every class queued. False
    // when a class is unbalanced between the graphs.
    bool start(const std::vector<std::uint64_t>& keys) {
        elements_.resize(size_);
        std::iota(elements_.begin(), elements_.end(), Index{0});
        std::sort(elements_.begin(), elements_.end(),
                  [&](Index a, Index b) { return keys[a] != keys[b] ? keys[a] < keys[b] : a < b; });
        begin_.clear(), end_.clear(), firstCount_.clear(), queued_.clear(), queue_.clear();
        for (Index p = 0; p < size_; ++p) {
            const Index v = elements_[p];
            if (p == 0 || keys[v] != keys[elements_[p - 1]]) {
                queue_.push_back(static_cast<Index>(begin_.size()));
                begin_.push_back(p), end_.push_back(p), firstCount_.push_back(0), queued_.push_back(1);
            }
            const Index c = static_cast<Index>(begin_.size() - 1);
            ++end_[c];
            if (v < n_) ++firstCount_[c];
            classOf_[v] = c;
            position_[v] = p;
        }
        for (Index c = 0; c < begin_.size(); ++c)
            if (!balanced(c)) return false;
        return true;
    }

    // Splits until every class is stable. False when a split leaves a class
    // unbalanced between the graphs.
    bool refine() {
        while (!queue_.empty()) {
            poll_.step();
            const Index s = queue_.back();
            queue_.pop_back();
            queued_[s] = 0;
            splitter_.assign(elements_.begin() + begin_[s], elements_.begin() + end_[s]);
            // Count for every vertex its out-neighbours in the splitter, then (directed)
            // its in-neighbours.
            if (!split(true)) return false;
            if (first_.directed && !split(false)) return false;
        }
        return true;
    }

    Index classOf(Index v) const { return classOf_[v]; }
    Index classCount() const { return static_cast<Index>(begin_.size()); }
    Index largestClass() const {
        Index largest = 0;
        for (const Index c : firstCount_) largest = std::max(largest, c);
        return largest;
    }

private:
    bool balanced(Index c) const { return 2 * std::uint64_t{firstCount_[c]} == end_[c] - begin_[c]; }

    const IsoGraph& graphOf(Index v) const { return v < n_ ? first_ : second_; }

    void swapPositions(Index p, Index q) {
        std::swap(elements_[p], elements_[q]);
        position_[elements_[p]] = p;
        position_[elements_[q]] = q;
    }

    bool split(bool countOutNeighbours) {
        touched_.clear();
        for (const Index x : splitter_) {
            const IsoGraph& g = graphOf(x);
            const Index offset = x < n_ ? 0 : n_, local = x - offset;
            const Index* b = countOutNeighbours ? g.inBegin(local) : g.outBegin(local);
            const Index* e = countOutNeighbours ? g.inEnd(local) : g.outEnd(local);
            for (; b != e; ++b) {
                const Index y = *b + offset;
                if (hits_[y]++ == 0) touched_.push_back(y);
            }
        }
        std::sort(touched_.begin(), touched_.end(), [&](Index a, Index b) {
            return classOf_[a] != classOf_[b] ? classOf_[a] < classOf_[b] : hits_[a] < hits_[b];
        });
        bool allBalanced = true;
        for (std::size_t i = 0; i < touched_.size();) {
            const Index c = classOf_[touched_[i]];
            std::size_t j = i;
            while (j < touched_.size() && classOf_[touched_[j]] == c) ++j;
            if (j - i != end_[c] - begin_[c] || hits_[touched_[i]] != hits_[touched_[j - 1]])
                allBalanced = splitClass(c, i, j) && allBalanced;
            i = j;
        }
        for (const Index y : touched_) hits_[y] = 0;
        return allBalanced;
    }

    // Splits class c by the counts of its touched members touched_[i..j), which are
    // sorted by count; untouched members count 0.
    bool splitClass(Index c, std::size_t i, std::size_t j) {
        // Move the touched members to the back of the range, lowest count first.
        Index back = end_[c];
        for (std::size_t t = j; t-- > i;) swapPositions(position_[touched_[t]], --back);
        cuts_.clear();
        cuts_.push_back(begin_[c]);
        if (back > begin_[c]) cuts_.push_back(back);
        for (std::size_t t = i + 1; t < j; ++t)
            if (hits_[touched_[t]] != hits_[touched_[t - 1]]) cuts_.push_back(back + static_cast<Index>(t - i));
        cuts_.push_back(end_[c]);

        // The first piece keeps c; the others become new classes.
        Index firstOfRest = 0;
        end_[c] = cuts_[1];
        pieces_.assign(1, c);
        for (std::size_t k = 1; k + 1 < cuts_.size(); ++k) {
            const Index id = static_cast<Index>(begin_.size());
            begin_.push_back(cuts_[k]), end_.push_back(cuts_[k + 1]), firstCount_.push_back(0), queued_.push_back(0);
            for (Index p = cuts_[k]; p < cuts_[k + 1]; ++p) {
                classOf_[elements_[p]] = id;
                if (elements_[p] < n_) ++firstCount_[id];
            }
            firstOfRest += firstCount_[id];
            pieces_.push_back(id);
        }
        firstCount_[c] -= firstOfRest;

        // Stability against c as a whole is kept for the pieces that are not queued,
        // so when c is not queued one of its largest pieces can stay out.
        std::size_t skip = pieces_.size();
        if (!queued_[c]) {
            skip = 0;
            for (std::size_t k = 1; k < pieces_.size(); ++k)
                if (sizeOf(pieces_[k]) > sizeOf(pieces_[skip])) skip = k;
        }
        bool allBalanced = true;
        for (std::size_t k = 0; k < pieces_.size(); ++k) {
            const Index piece = pieces_[k];
            if (k != skip && !queued_[piece]) queued_[piece] = 1, queue_.push_back(piece);
            allBalanced = allBalanced && balanced(piece);
        }
        return allBalanced;
    }

    Index sizeOf(Index c) const { return end_[c] - begin_[c]; }

    const IsoGraph& first_;
    const IsoGraph& second_;
    Index n_, size_;
    std::vector<Index> elements_, position_, classOf_, hits_;
    std::vector<Index> begin_, end_, firstCount_;
    std::vector<char> queued_;
    std::vector<Index> queue_, splitter_, touched_, cuts_, pieces_;
    InterruptPoll poll_;
};

// The number of vertices at each distance from v (v itself at distance 0 left out).
void distanceProfile(const IsoGraph& g, Index v, std::vector<Index>& distance, std::vector<Index>& frontier,
                     std::vector<Index>& profile) {
    profile.clear();
    frontier.assign(1, v);
    distance[v] = 0;
    std::size_t head = 0;
    while (head < frontier.size()) {
        const Index u = frontier[head++];
        for (const Index* w = g.outBegin(u); w != g.outEnd(u); ++w) {
            if (distance[*w] != IsoGraph::none) continue;
            distance[*w] = distance[u] + 1;
            if (profile.size() < distance[*w]) profile.push_back(0);
            ++profile[distance[*w] - 1];
            frontier.push_back(*w);
        }
    }
    for (const Index u : frontier) distance[u] = IsoGraph::none;
}

}  // namespace

bool wantsDistanceProfiles(const IsoGraph& g, Index largestClass) {
    // A breadth-first search from every vertex costs about n * m steps.
    constexpr std::uint64_t budget = 100'000'000;
    const std::uint64_t work = std::uint64_t{g.n} * std::max<std::uint64_t>(g.edgeCount, 1);
    return largestClass > 1 && largestClass >= g.n / 16 && work <= budget;
}

bool jointColours(const IsoGraph& first, const IsoGraph& second, std::vector<Index>& firstColours,
                  std::vector<Index>& secondColours, Index& colourCount) {
    const Index n = first.n;
    JointPartition partition(first, second);
    std::vector<std::uint64_t> keys(2 * std::size_t{n});
    for (Index v = 0; v < n; ++v) {
        keys[v] = std::uint64_t{first.outDegree(v)} << 32 | first.inDegree(v);
        keys[n + v] = std::uint64_t{second.outDegree(v)} << 32 | second.inDegree(v);
    }
    if (!partition.start(keys) || !partition.refine()) return false;

    if (wantsDistanceProfiles(first, partition.largestClass())) {
        // Key each vertex by its colour and its distance profile, in one table for
        // both graphs, and refine again from there.
        std::map<std::vector<Index>, Index> table;
        std::vector<Index> distance(n, IsoGraph::none), frontier, profile;
        for (Index x = 0; x < 2 * n; ++x) {
            hgwPollInterrupt();  // one breadth-first search per step
            distanceProfile(x < n ? first : second, x < n ? x : x - n, distance, frontier, profile);
            profile.push_back(partition.classOf(x));
            keys[x] = table.emplace(profile, static_cast<Index>(table.size())).first->second;
        }
        if (!partition.start(keys) || !partition.refine()) return false;
    }

    firstColours.resize(n), secondColours.resize(n);
    for (Index v = 0; v < n; ++v) {
        firstColours[v] = partition.classOf(v);
        secondColours[v] = partition.classOf(n + v);
    }
    colourCount = partition.classCount();
    return true;
}
