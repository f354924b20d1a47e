#pragma once

#include "host/hgw.h"

// The host error that replaces an algorithm's exception at trace level 0.
struct AlgorithmFailure {
    const char* identifier;
    const char* message;
};

// Runs the algorithm stage. At trace level 0 any exception becomes the handler's
// fixed host error; at levels 1 and 2 it is rethrown unchanged. A host error raised
// inside the stage (such as a negative cycle) always passes as itself.
template <class Stage>
void guarded(int traceLevel, const AlgorithmFailure& failure, Stage&& stage) {
    try {
        stage();
    } catch (const hgwHostError&) {
        throw;
    } catch (...) {
        if (traceLevel != 0) throw;
        hgwErrMsgIdAndTxt(failure.identifier, failure.message);
    }
}

namespace failures {
#define LINKWORK_FAILURE(name, id, text) inline constexpr AlgorithmFailure name{"genokit:linkworkhgw:" id, text};
LINKWORK_FAILURE(topologicalSort, "TopoSortAlgorithmError",
                 "There was an error in the topological sort algorithm. Make sure the provided graph is a DAG.")
LINKWORK_FAILURE(acyclicTest, "DFSacyclicAlgorithmError", "There was an error in the DFS algorithm.")
LINKWORK_FAILURE(treeTest, "DFStreeAlgorithmError", "There was an error in the DFS algorithm.")
LINKWORK_FAILURE(depthFirst, "DFSAlgorithmError", "There was an error in the DFS algorithm.")
LINKWORK_FAILURE(breadthFirst, "BFSAlgorithmError", "There was an error in the BFS algorithm.")
LINKWORK_FAILURE(dijkstra, "DijkstraAlgorithmError", "There was an error in Dijkstra's algorithm.")
LINKWORK_FAILURE(breadthFirstPaths, "BFSspAlgorithmError", "There was an error in the BFS algorithm.")
LINKWORK_FAILURE(bellmanFord, "BellmanFordAlgorithmError", "There was an error in the Bellman-Ford algorithm.")
LINKWORK_FAILURE(dagPaths, "DAGspAlgorithmError",
                 "There was an error in the DAG shortest paths algorithm. Make sure the provided graph is a DAG.")
LINKWORK_FAILURE(treePaths, "TreespAlgorithmError", "There was an error in the BFS algorithm.")
LINKWORK_FAILURE(johnson, "JohnsonAlgorithmError", "There was an error in Johnson's algorithm.")
LINKWORK_FAILURE(kruskal, "KruskalAlgorithmError", "There was an error in Kruskal's algorithm.")
LINKWORK_FAILURE(prim, "PrimAlgorithmError", "There was an error in Prim's algorithm.")
LINKWORK_FAILURE(tarjan, "TarjanAlgorithmError", "There was an error in Tarjan's algorithm.")
LINKWORK_FAILURE(connectedComponents, "DFSccAlgorithmError", "There was an error in the DFS algorithm.")
LINKWORK_FAILURE(edmondsKarp, "EdmundsKarpAlgorithmError", "There was an error in the Edmunds-Karp algorithm.")
LINKWORK_FAILURE(goldberg, "GoldbergAlgorithmError", "There was an error in Goldberg's algorithm.")
LINKWORK_FAILURE(isomorphism, "isomorphismAlgorithmError", "There was an error in the isomorphism algorithm.")
#undef LINKWORK_FAILURE
}  // namespace failures
