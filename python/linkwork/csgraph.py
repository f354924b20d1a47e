"""A drop-in for ``scipy.sparse.csgraph``: ``from linkwork import csgraph``.

Every public name of SciPy's csgraph is here, with the same positional
order, keywords, defaults, return types and dtypes (int32 vertex arrays) and
exception types. linkwork computes what its module has codes for:

    shortest_path, dijkstra, bellman_ford, johnson, floyd_warshall,
    breadth_first_order, depth_first_order, breadth_first_tree,
    depth_first_tree, reconstruct_path, connected_components,
    minimum_spanning_tree, maximum_flow

``construct_dist_matrix`` is SciPy's, given int32 predecessors. The rest is
SciPy's own function: laplacian, maximum_bipartite_matching,
min_weight_full_bipartite_matching, reverse_cuthill_mckee, structural_rank
and the conversions (csgraph_from_dense and its kin).

Where linkwork is knowingly looser than SciPy, the function's docstring says
so: ``maximum_flow`` accepts dense arrays, every sparse format and real
capacities; stored zeros are edges of weight 0 in shortest paths and
spanning trees; ``dijkstra`` answers exactly by Bellman-Ford after SciPy's
negative-weight warning.

Examples
--------
>>> import numpy as np
>>> from linkwork import csgraph
>>> graph = np.array([[0, 1, 2], [0, 0, 1], [0, 0, 0]])
>>> dist, preds = csgraph.shortest_path(graph, return_predecessors=True)
>>> csgraph.construct_dist_matrix(graph, preds)
array([[ 0.,  1.,  2.],
       [inf,  0.,  1.],
       [inf, inf,  0.]])
"""

import numpy as np
from scipy.sparse import csgraph as _scipy_csgraph

from ._errors import NegativeCycleError
from .flow import MaximumFlowResult, maximum_flow
from .paths import bellman_ford, dijkstra, floyd_warshall, johnson, shortest_path
from .traversal import (
    breadth_first_order, breadth_first_tree, connected_components, depth_first_order, depth_first_tree,
    reconstruct_path,
)
from .trees import minimum_spanning_tree

# SciPy's own functions for what the module has no code for.
laplacian = _scipy_csgraph.laplacian
maximum_bipartite_matching = _scipy_csgraph.maximum_bipartite_matching
min_weight_full_bipartite_matching = _scipy_csgraph.min_weight_full_bipartite_matching
reverse_cuthill_mckee = _scipy_csgraph.reverse_cuthill_mckee
structural_rank = _scipy_csgraph.structural_rank
csgraph_from_dense = _scipy_csgraph.csgraph_from_dense
csgraph_masked_from_dense = _scipy_csgraph.csgraph_masked_from_dense
csgraph_from_masked = _scipy_csgraph.csgraph_from_masked
csgraph_to_dense = _scipy_csgraph.csgraph_to_dense
csgraph_to_masked = _scipy_csgraph.csgraph_to_masked


def construct_dist_matrix(graph, predecessors, directed=True, null_value=np.inf):
    """Return the distances that a predecessor matrix describes, as scipy.sparse.csgraph does.

    SciPy's own function, given the predecessors as int32: SciPy reads other
    integer types as zeros without a word, so they are converted here after
    a range check.

    Parameters
    ----------
    graph : sparse matrix or array_like, shape (N, N)
        The graph the predecessors were found in.
    predecessors : array_like of int, shape (N, N)
        As `shortest_path` returns them (-9999 for none).
    directed : bool, optional
        If False, an edge's weight is the lighter of (i, j) and (j, i).
    null_value : float, optional
        The distance between unconnected vertices (default inf).

    Returns
    -------
    dist_matrix : ndarray of float64, shape (N, N)

    Raises
    ------
    ValueError
        A predecessor outside -9999 and 0..N-1.

    Examples
    --------
    >>> import numpy as np
    >>> from linkwork import csgraph
    >>> graph = np.array([[0, 4, 1], [0, 0, 0], [0, 2, 0]])
    >>> dist, preds = csgraph.shortest_path(graph, return_predecessors=True)
    >>> csgraph.construct_dist_matrix(graph, preds.astype(np.int64))
    array([[ 0.,  3.,  1.],
           [inf,  0., inf],
           [inf,  2.,  0.]])
    """
    preds = np.asarray(predecessors)
    if preds.size and not np.issubdtype(preds.dtype, np.integer):
        raise TypeError(f"predecessors must be integers, not of dtype {preds.dtype}")
    n = np.shape(graph)[-1]
    outside = (preds < -9999) | (preds >= n) | ((preds < 0) & (preds != -9999))
    if np.any(outside):
        raise ValueError(f"predecessor {int(preds[outside].flat[0])} is out of range: "
                         f"-9999 for none or 0..{n - 1}")
    return _scipy_csgraph.construct_dist_matrix(graph, preds.astype(np.int32), directed=directed,
                                                null_value=null_value)


__all__ = [
    "connected_components", "laplacian", "shortest_path", "floyd_warshall", "dijkstra", "bellman_ford",
    "johnson", "breadth_first_order", "depth_first_order", "breadth_first_tree", "depth_first_tree",
    "minimum_spanning_tree", "reverse_cuthill_mckee", "maximum_flow", "maximum_bipartite_matching",
    "min_weight_full_bipartite_matching", "structural_rank", "construct_dist_matrix", "reconstruct_path",
    "csgraph_masked_from_dense", "csgraph_from_dense", "csgraph_from_masked", "csgraph_to_dense",
    "csgraph_to_masked", "NegativeCycleError", "MaximumFlowResult",
]
