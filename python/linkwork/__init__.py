"""linkwork: Boost Graph Library algorithms on graphs stored as sparse matrices.

``linkwork.call`` is the raw gateway call of the module. The functions beside
it are the Pythonic API: 0-based vertices, keyword arguments, NumPy arrays out,
SciPy sparse matrices in and out (dense arrays are accepted), named and shaped
after ``scipy.sparse.csgraph`` where it has the same function.
"""

from ._call import call, module_path
from ._errors import HostError, HostWarning, ModuleError, ModuleLoadError, NegativeCycleError
from .flow import MaximumFlowResult, maximum_flow
from .isomorphism import is_isomorphic
from .paths import bellman_ford, dag_shortest_path, dijkstra, johnson, shortest_path
from .traversal import (
    TraversalResult, breadth_first_order, breadth_first_search, connected_components, depth_first_order,
    depth_first_search, is_directed_acyclic_graph, is_tree, topological_sort,
)
from .trees import minimum_spanning_tree

__all__ = [
    "call", "module_path",
    "HostError", "HostWarning", "ModuleError", "ModuleLoadError", "NegativeCycleError",
    "topological_sort", "is_directed_acyclic_graph",
    "depth_first_order", "breadth_first_order", "depth_first_search", "breadth_first_search", "TraversalResult",
    "connected_components", "is_tree",
    "shortest_path", "dijkstra", "bellman_ford", "dag_shortest_path", "johnson",
    "minimum_spanning_tree",
    "maximum_flow", "MaximumFlowResult",
    "is_isomorphic",
]
