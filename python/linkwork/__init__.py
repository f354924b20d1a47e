"""linkwork: Boost Graph Library algorithms on graphs stored as sparse matrices.

Graphs are square SciPy sparse matrices (dense arrays are accepted): entry
(i, j) is an edge from i to j, its value the weight or capacity. Vertices are
0-based. ``from linkwork import csgraph`` is a drop-in for
``scipy.sparse.csgraph``; the functions below are also here at the top.

=========================== ======================================= ======== =====================================
function                    computes                                raw code SciPy / NetworkX counterpart
=========================== ======================================= ======== =====================================
topological_sort            topological order of a DAG              top      networkx.topological_sort
is_directed_acyclic_graph   is the graph free of directed cycles?   isd      networkx.is_directed_acyclic_graph
depth_first_order           depth-first discovery order             dfs      csgraph.depth_first_order
breadth_first_order         breadth-first discovery order           bfs      csgraph.breadth_first_order
depth_first_tree            depth-first tree as a sparse matrix     dfs      csgraph.depth_first_tree
breadth_first_tree          breadth-first tree as a sparse matrix   bfs      csgraph.breadth_first_tree
depth_first_search          depth-first search, all four results    dfs      networkx.dfs_tree
breadth_first_search        breadth-first search, all four results  bfs      networkx.bfs_tree
reconstruct_path            tree of a predecessor list              (none)   csgraph.reconstruct_path
construct_dist_matrix       distances of a predecessor matrix       (none)   csgraph.construct_dist_matrix
connected_components        weak or strong components               wcc, scc csgraph.connected_components
is_tree                     is the undirected graph a tree?         ist      networkx.is_tree
shortest_path               shortest paths, algorithm chosen        (below)  csgraph.shortest_path
dijkstra                    shortest paths, non-negative weights    dij, spb csgraph.dijkstra
bellman_ford                shortest paths, negative weights        bel      csgraph.bellman_ford
johnson                     shortest paths, negative weights        all, dij csgraph.johnson
floyd_warshall              all-pairs shortest paths                all      csgraph.floyd_warshall
dag_shortest_path           shortest paths in a DAG                 spa      networkx (DAG path lengths)
minimum_spanning_tree       minimum spanning forest or tree         kru, pri csgraph.minimum_spanning_tree
maximum_flow                maximum flow                            edm, gol csgraph.maximum_flow
is_isomorphic               are two graphs isomorphic?              iso      networkx.is_isomorphic
call                        the raw gateway call                    any      (none)
module_path                 the module file this process loads      (none)   (none)
=========================== ======================================= ======== =====================================

Exceptions (importable from ``linkwork``; each class has its own docstring):

=========================== ================================ ==========================================
exception                   also a                           raised for
=========================== ================================ ==========================================
HostError                   Exception                        any host error; the raw ``call`` raises it
InvalidVertexError          HostError, ValueError            a vertex outside the graph ("NotValidNode")
InvalidArgumentError        HostError, ValueError            a missing or malformed argument
InvalidGraphError           HostError, ValueError            a non-square or non-numeric graph
InvalidWeightsError         HostError, ValueError            weights of the wrong count, kind or sign
GraphStructureError         HostError, ValueError            a cycle where none may be
NegativeCycleError          HostError, csgraph's own         a negative cycle
OutOfMemoryError            HostError, MemoryError           an exhausted allocation
CallInterrupted             HostError, KeyboardInterrupt     Ctrl-C while the algorithm runs
AlgorithmError              HostError, RuntimeError          a failure of the graph library
ModuleError                 RuntimeError                     another exception from the module
ModuleLoadError             OSError                          the module file cannot be loaded
HostWarning                 UserWarning                      a warning of the module
=========================== ================================ ==========================================

The raw ``call`` raises ``HostError`` itself, except ``NegativeCycleError``,
``OutOfMemoryError`` and ``CallInterrupted``; the functions above raise the
class of the identifier's family, with a message that names the offending
value where the module's fixed text cannot.
"""

from ._version import __version__
from . import csgraph
from ._call import call, module_path
from ._errors import (
    AlgorithmError, CallInterrupted, GraphStructureError, HostError, HostWarning, InvalidArgumentError,
    InvalidGraphError, InvalidVertexError, InvalidWeightsError, ModuleError, ModuleLoadError, NegativeCycleError,
    OutOfMemoryError,
)
from .csgraph import construct_dist_matrix
from .flow import MaximumFlowResult, maximum_flow
from .isomorphism import is_isomorphic
from .paths import bellman_ford, dag_shortest_path, dijkstra, floyd_warshall, johnson, shortest_path
from .traversal import (
    TraversalResult, breadth_first_order, breadth_first_search, breadth_first_tree, connected_components,
    depth_first_order, depth_first_search, depth_first_tree, is_directed_acyclic_graph, is_tree,
    reconstruct_path, topological_sort,
)
from .trees import minimum_spanning_tree

# The exceptions stay out of __all__ so that help(linkwork) lists them in the table above
# instead of repeating every method they inherit from the built-in exceptions.
__all__ = [
    "call", "module_path", "csgraph",
    "topological_sort", "is_directed_acyclic_graph",
    "depth_first_order", "breadth_first_order", "depth_first_search", "breadth_first_search", "TraversalResult",
    "depth_first_tree", "breadth_first_tree", "reconstruct_path", "construct_dist_matrix",
    "connected_components", "is_tree",
    "shortest_path", "dijkstra", "bellman_ford", "dag_shortest_path", "johnson", "floyd_warshall",
    "minimum_spanning_tree",
    "maximum_flow", "MaximumFlowResult",
    "is_isomorphic",
]
