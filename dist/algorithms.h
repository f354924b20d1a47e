// The distributed codes. Each takes the rank's part of the graph (see reader.h) and
// returns the values of the rank's own vertices, in vertex order.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "common.h"
#include "reader.h"

namespace linkwork::dist {

// Out-edges of this rank's vertices in compressed sparse row form.
struct LocalRows {
    Blocks blocks;
    std::uint64_t first = 0;  // global number of local vertex 0
    std::uint64_t count = 0;  // local vertices
    std::vector<std::uint64_t> starts;  // count + 1
    std::vector<std::uint64_t> targets;
    std::vector<double> weights;  // empty when unweighted
};

// Builds the rows from sorted entries and frees them. Weighted rows keep only
// entries whose weight is below +Inf (NaN and +Inf drop their edge).
LocalRows localRows(const World& world, LocalGraph&& graph, bool weighted);

constexpr std::uint64_t unreached = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint64_t noPredecessor = std::numeric_limits<std::uint64_t>::max();

struct PathResult {
    std::vector<double> distances;          // Inf where unreached
    std::vector<std::uint64_t> predecessors;  // global vertex, or noPredecessor (source, unreached)
};

// Breadth-first depths, and each reached vertex's smallest-numbered in-neighbour
// one level up.
PathResult breadthFirstPaths(const World& world, const LocalRows& rows, std::uint64_t source);

// Delta-stepping distances; each reached vertex's predecessor is the smallest-numbered
// in-neighbour u with dist(u) + w(u, v) == dist(v) among those fewest edges from the
// source along such tight edges (so the predecessors always form a tree).
PathResult shortestPaths(const World& world, const LocalRows& rows, std::uint64_t source);

struct ComponentResult {
    std::uint64_t count = 0;
    std::vector<std::uint64_t> labels;  // 1-based, numbered by each component's smallest vertex
};

ComponentResult connectedComponents(const World& world, const LocalRows& rows);

struct ForestEdge {
    std::uint64_t row;  // row > col
    std::uint64_t col;
    double weight;
};

struct ForestResult {
    std::vector<ForestEdge> edges;  // the edges whose column this rank owns, sorted by column then row
    std::uint64_t edgeCount = 0;
    double totalWeight = 0.0;       // summed in the order the edges are written
};

// Minimum spanning forest, by Borůvka's algorithm with ties broken by the edge's
// ends, of the undirected graph whose rows hold both directions of every edge.
ForestResult spanningForest(const World& world, const LocalRows& rows);

}  // namespace linkwork::dist
