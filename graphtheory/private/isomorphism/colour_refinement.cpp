// Joint colour refinement of two graphs by partition refinement over their union.
#include "isomorphism/colour_refinement.h"

#include <algorithm>
#include <map>
#include <numeric>

namespace {

using Index = IsoGraph::Index;

// The number of vertices at each distance from v (v itself left out).
void distanceProfile(const IsoGraph& g, Index v, std::vector<Index>& distance, std::vector<Index>& frontier,
                     std::vector<Index>& profile) {
    profile.clear();
    frontier.assign(1, v);
    distance[v] = 0;
    for (std::size_t head = 0; head < frontier.size(); ++head) {
        const Index u = frontier[head];
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

JointColours::JointColours(const IsoGraph& first, const IsoGraph& second)
    : first_(&first), second_(&second), n_(first.n), size_(2 * first.n), position_(size_), classOf_(size_),
      hits_(size_, 0) {}

bool JointColours::refine() {
    std::vector<std::uint64_t> keys(size_);
    for (Index v = 0; v < n_; ++v) {
        keys[v] = std::uint64_t{first_->outDegree(v)} << 32 | first_->inDegree(v);
        keys[n_ + v] = std::uint64_t{second_->outDegree(v)} << 32 | second_->inDegree(v);
    }
    if (!start(keys) || !stabilise()) return false;
    if (!distanceProfilesPay()) return true;
    // Key each vertex by its colour and its distance profile, in one table for both
    // graphs, and refine again from there.
    std::map<std::vector<Index>, Index> table;
    std::vector<Index> distance(n_, IsoGraph::none), frontier, profile;
    for (Index x = 0; x < size_; ++x) {
        hgwPollInterrupt();  // one breadth-first search per step
        distanceProfile(x < n_ ? *first_ : *second_, x < n_ ? x : x - n_, distance, frontier, profile);
        profile.push_back(classOf_[x]);
        keys[x] = table.emplace(profile, static_cast<Index>(table.size())).first->second;
    }
    return start(keys) && stabilise();
}

bool JointColours::distanceProfilesPay() const {
    // A breadth-first search from every vertex of both graphs costs about 2 n m steps.
    constexpr std::uint64_t budget = 20'000'000;
    const std::uint64_t work = std::uint64_t{n_} * std::max<std::uint64_t>(first_->edgeCount, 1);
    const Index largest = *std::max_element(firstCount_.begin(), firstCount_.end());
    return largest > 1 && largest >= n_ / 16 && work <= budget;
}

bool JointColours::individualise(Index v, Index u) {
    const Index a = v, b = n_ + u, c = classOf_[a];
    if (classOf_[b] != c) return false;
    if (sizeOf(c) == 2) return true;
    // The pair leaves the back of its class as a class of its own. The partition was
    // stable, so only the pair needs to be a splitter.
    swapPositions(position_[a], end_[c] - 1);
    swapPositions(position_[b], end_[c] - 2);
    const Index id = static_cast<Index>(begin_.size());
    begin_.push_back(end_[c] - 2), end_.push_back(end_[c]), firstCount_.push_back(1), queued_.push_back(0);
    end_[c] -= 2, firstCount_[c] -= 1;
    classOf_[a] = classOf_[b] = id;
    queue(id);
    return stabilise();
}

bool JointColours::start(const std::vector<std::uint64_t>& keys) {
    elements_.resize(size_);
    std::iota(elements_.begin(), elements_.end(), Index{0});
    std::sort(elements_.begin(), elements_.end(),
              [&](Index a, Index b) { return keys[a] != keys[b] ? keys[a] < keys[b] : a < b; });
    begin_.clear(), end_.clear(), firstCount_.clear(), queued_.clear(), queue_.clear();
    for (Index p = 0; p < size_; ++p) {
        const Index v = elements_[p];
        if (p == 0 || keys[v] != keys[elements_[p - 1]]) {
            begin_.push_back(p), end_.push_back(p), firstCount_.push_back(0), queued_.push_back(0);
            queue(static_cast<Index>(begin_.size() - 1));
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

bool JointColours::stabilise() {
    while (!queue_.empty()) {
        hgwPollInterrupt();  // a split costs far more than the poll
        const Index s = queue_.back();
        queue_.pop_back();
        queued_[s] = 0;
        splitter_.assign(elements_.begin() + begin_[s], elements_.begin() + end_[s]);
        // Split by every vertex's count of out-neighbours in the splitter, then
        // (directed) of in-neighbours.
        if (!split(true)) return false;
        if (first_->directed && !split(false)) return false;
    }
    return true;
}

void JointColours::queue(Index c) {
    if (!queued_[c]) queued_[c] = 1, queue_.push_back(c);
}

void JointColours::swapPositions(Index p, Index q) {
    std::swap(elements_[p], elements_[q]);
    position_[elements_[p]] = p;
    position_[elements_[q]] = q;
}

bool JointColours::split(bool countOutNeighbours) {
    touched_.clear();
    for (const Index x : splitter_) {
        const IsoGraph& g = x < n_ ? *first_ : *second_;
        const Index offset = x < n_ ? 0 : n_, local = x - offset;
        const Index* b = countOutNeighbours ? g.inBegin(local) : g.outBegin(local);
        const Index* e = countOutNeighbours ? g.inEnd(local) : g.outEnd(local);
        for (; b != e; ++b)
            if (hits_[*b + offset]++ == 0) touched_.push_back(*b + offset);
    }
    // Group the touched vertices by class (a counting sort), each group by count.
    if (classHits_.size() < begin_.size()) classHits_.resize(begin_.size(), 0);
    touchedClasses_.clear();
    for (const Index y : touched_)
        if (classHits_[classOf_[y]]++ == 0) touchedClasses_.push_back(classOf_[y]);
    Index offset = 0;
    for (const Index c : touchedClasses_) {
        const Index count = classHits_[c];
        classHits_[c] = offset;
        offset += count;
    }
    grouped_.resize(touched_.size());
    for (const Index y : touched_) grouped_[classHits_[classOf_[y]]++] = y;
    bool allBalanced = true;
    std::size_t i = 0;
    for (const Index c : touchedClasses_) {
        const std::size_t j = classHits_[c];
        classHits_[c] = 0;
        std::sort(grouped_.begin() + i, grouped_.begin() + j, [&](Index a, Index b) { return hits_[a] < hits_[b]; });
        if (j - i != sizeOf(c) || hits_[grouped_[i]] != hits_[grouped_[j - 1]])
            allBalanced = splitClass(c, i, j) && allBalanced;
        i = j;
    }
    for (const Index y : touched_) hits_[y] = 0;
    return allBalanced;
}

// Splits class c by the counts of its touched members grouped_[i..j), sorted by
// count; untouched members count 0.
bool JointColours::splitClass(Index c, std::size_t i, std::size_t j) {
    // Move the touched members to the back of the range, lowest count first.
    Index back = end_[c];
    for (std::size_t t = j; t-- > i;) swapPositions(position_[grouped_[t]], --back);
    cuts_.assign(1, begin_[c]);
    if (back > begin_[c]) cuts_.push_back(back);
    for (std::size_t t = i + 1; t < j; ++t)
        if (hits_[grouped_[t]] != hits_[grouped_[t - 1]]) cuts_.push_back(back + static_cast<Index>(t - i));
    cuts_.push_back(end_[c]);

    // The first piece keeps c; the others become new classes.
    const bool wasQueued = queued_[c];
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

    // The partition stays stable against c as a whole, so when c was not queued one
    // of its largest pieces need not be.
    std::size_t skip = pieces_.size();
    if (!wasQueued) {
        skip = 0;
        for (std::size_t k = 1; k < pieces_.size(); ++k)
            if (sizeOf(pieces_[k]) > sizeOf(pieces_[skip])) skip = k;
    }
    bool allBalanced = true;
    for (std::size_t k = 0; k < pieces_.size(); ++k) {
        if (k != skip) queue(pieces_[k]);
        allBalanced = allBalanced && balanced(pieces_[k]);
    }
    return allBalanced;
}
