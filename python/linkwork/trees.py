"""Minimum spanning trees by Kruskal's and Prim's algorithms."""

import numpy as np
import scipy.sparse

from . import _api, _graph

__all__ = ["minimum_spanning_tree"]


def minimum_spanning_tree(csgraph, overwrite=False, *, method="kruskal", root=0, return_predecessors=False,
                          weights=None, trace=0):
    """Return a minimum spanning tree (or forest) of an undirected graph, as scipy.sparse.csgraph does.

    An entry (i, j) or (j, i) joins i and j; when both are stored the lighter
    weight counts. Stored zeros are edges of weight 0 (SciPy drops them: here
    linkwork is knowingly looser), NaN and +inf entries are not edges, and
    diagonal entries are ignored. A graph without vertices has the empty tree.

    Parameters
    ----------
    csgraph : sparse matrix or array_like, shape (N, N)
        The graph. Dense input: nonzero finite entries are edges.
    overwrite : bool, optional
        Accepted for compatibility; the input is never changed.
    method : {'kruskal', 'prim'}, optional
        'kruskal' (default): a forest spanning every component, negative
        weights allowed. 'prim': a tree spanning the component of `root`
        only; a negative weight in that component is an error.
    root : int, optional
        The vertex the predecessors lead to (and Prim's tree grows from);
        default 0.
    return_predecessors : bool, optional
        Also return each vertex's parent in the tree hung from `root`.
    weights : array_like, optional
        One weight per stored entry of `csgraph` (sparse), in the order of
        ``csgraph.data``, used instead of the stored values.
    trace : {0, 1, 2}, optional
        Timing trace level of the module.

    Returns
    -------
    span_tree : scipy.sparse.csr_matrix of float64, shape (N, N)
        Each tree edge {i, j} once, where the input stores it: at (i, j) or
        (j, i), whichever holds the tree's (lighter) weight, the first in
        row-major order when both do, as SciPy keeps it.
    predecessors : ndarray of int32, shape (N,)
        Returned if `return_predecessors`: -9999 for `root` and for vertices
        outside its component.

    Raises
    ------
    InvalidVertexError
        "genokit:linkworkhgw:NotValidNode" for a root outside the graph (a
        ``ValueError``).
    InvalidWeightsError
        "genokit:linkworkhgw:PrimAlgorithmError" for a negative weight that
        Prim's search meets (a ``ValueError``).

    Notes
    -----
    Raw codes "kru" and "pri": ``call(code, trace, 0, L, root + 1, [W],
    nargout=2)`` with L the strict lower triangle of G + G.T; the raw tree
    (CSC, lower triangle) has each edge moved back to where G stores it, and
    the raw predecessors are 1-based (0 at the root, NaN outside its
    component).

    Examples
    --------
    >>> import scipy.sparse as sp
    >>> import linkwork
    >>> graph = sp.csr_matrix([[0, 8, 0, 3], [0, 0, 2, 5], [0, 0, 0, 6], [0, 0, 0, 0]])
    >>> linkwork.minimum_spanning_tree(graph).toarray()
    array([[0., 0., 0., 3.],
           [0., 0., 2., 5.],
           [0., 0., 0., 0.],
           [0., 0., 0., 0.]])
    >>> tree, preds = linkwork.minimum_spanning_tree(graph, method="prim", return_predecessors=True)
    >>> preds
    array([-9999,     3,     1,     0], dtype=int32)

    See also
    --------
    scipy.sparse.csgraph.minimum_spanning_tree
    """
    del overwrite
    codes = {"kruskal": "kru", "prim": "pri"}
    if method not in codes:
        raise ValueError(f"method must be 'kruskal' or 'prim', not {method!r}")
    n = _api.check_graph(csgraph)
    if n == 0:
        tree = scipy.sparse.csr_matrix((0, 0), dtype=np.float64)
        return (tree, np.empty(0, dtype=np.int32)) if return_predecessors else tree
    graph = _api.prepare(csgraph, directed=False, weights=weights)
    start = _api.vertex(root, n, "root")
    tree, preds = _api.raw(codes[method], trace, False, *graph.inputs()[:1], start, *graph.inputs()[1:], nargout=2)
    tree = _stored_where_given(csgraph, weights, tree)
    return (tree, _api.as_index_array(_graph.predecessors(preds, n), n)) if return_predecessors else tree


def _stored_where_given(csgraph, weights, tree):
    """The tree with each edge {i, j} at (i, j) or (j, i), as the input stores it."""
    n = tree.shape[0]
    lower = tree.tocoo()
    rows, cols = lower.row.astype(np.int64, copy=False), lower.col.astype(np.int64, copy=False)
    values = lower.data.astype(np.float64, copy=False)
    # The row-major first of the two places (the upper one) wins a tie, as in SciPy:
    # an edge goes there when the input stores it there with the tree weight. Only
    # the tree's places are looked up, not the whole graph prepared again.
    upper = _api.stored_values(csgraph, cols, rows, weights=weights) == values
    out_rows = np.where(upper, cols, rows)
    out_cols = np.where(upper, rows, cols)
    return scipy.sparse.csr_matrix((values, (out_rows, out_cols)), shape=(n, n))
