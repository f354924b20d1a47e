// Shortest routes, a spanning tree and a maximum flow through linkwork's typed C++
// API: graphs are the caller's compressed-column arrays, vertices are 0-based.
#include <cstdint>
#include <iostream>
#include <vector>

#include "linkwork/graph.hpp"

namespace {

void print(const char* label, const std::vector<double>& values) {
    std::cout << label;
    for (double value : values) std::cout << ' ' << value;
    std::cout << '\n';
}

}  // namespace

int main() {
    // examples/roads.mtx: six towns and nine roads (km), each road stored once, below
    // the diagonal; column j lists the towns i > j that a road joins to town j.
    const std::vector<std::int64_t> roadStarts{0, 3, 5, 7, 8, 9, 9};
    const std::vector<std::int64_t> roadRows{1, 2, 5, 2, 3, 3, 5, 4, 5};
    const std::vector<double> km{7, 9, 14, 10, 15, 11, 2, 6, 9};
    const linkwork::GraphView roads = linkwork::GraphView(6, roadStarts, roadRows, km).undirected();

    const linkwork::ShortestPaths fromTown0 = linkwork::dijkstra(roads, 0);
    print("distances from town 0:", fromTown0.distances);
    std::vector<std::int64_t> route{4};
    while (fromTown0.predecessors[route.back()] != linkwork::noVertex)
        route.push_back(fromTown0.predecessors[route.back()]);
    std::cout << "route from town 0 to town 4:";
    for (auto town = route.rbegin(); town != route.rend(); ++town) std::cout << ' ' << *town;
    std::cout << '\n';

    const linkwork::SpanningTree tree = linkwork::minimumSpanningTree(roads, 0);
    double total = 0;
    for (double length : tree.tree.values) total += length;
    std::cout << "spanning tree: " << tree.tree.values.size() << " roads, " << total << " km\n";

    // examples/network.mtx: pipes with capacities, entry (i, j) from i to j.
    const std::vector<std::int64_t> pipeStarts{0, 0, 2, 4, 6, 7, 9};
    const std::vector<std::int64_t> pipeRows{0, 2, 0, 3, 1, 4, 2, 3, 4};
    const std::vector<double> capacities{16, 4, 13, 9, 12, 7, 14, 20, 4};
    const linkwork::GraphView network(6, pipeStarts, pipeRows, capacities);
    std::cout << "maximum flow from 0 to 5: " << linkwork::maximumFlow(network, 0, 5).value << '\n';

    // Failures carry the module's identifier and message.
    try {
        linkwork::dijkstra(roads, 6);
    } catch (const linkwork::Error& error) {
        std::cout << "town 6: " << error.identifier() << ": " << error.message() << '\n';
    }
    return 0;
}
