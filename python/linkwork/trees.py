"""Minimum spanning trees by Kruskal's and Prim's algorithms."""

from . import _graph

__all__ = ["minimum_spanning_tree"]


def minimum_spanning_tree(csgraph, overwrite=False, *, method="kruskal", root=0, return_predecessors=False,
                          weights=None, trace=0):
    """Return a minimum spanning tree (or forest) of an undirected graph, as scipy.sparse.csgraph does.

    An entry (i, j) or (j, i) joins i and j; when both are stored the lighter
    weight counts. Stored zeros are edges of weight 0, NaN and +inf entries
    are not edges, and diagonal entries are ignored.

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
    span_tree : scipy.sparse.csr_matrix, shape (N, N)
        Each tree edge {i, j} once, at row max(i, j), column min(i, j), with
        its weight.
    predecessors : ndarray of int64, shape (N,)
        Returned if `return_predecessors`: -9999 for `root` and for vertices
        outside its component.

    Raises
    ------
    HostError
        "genokit:linkworkhgw:NotValidNode" ("Root node index is invalid.")
        for a root outside the graph (also for an empty graph);
        "genokit:linkworkhgw:PrimAlgorithmError" for a negative weight that
        Prim's search meets.

    Notes
    -----
    Raw codes "kru" and "pri": ``call(code, trace, 0, L, root + 1, [W],
    nargout=2)`` with L the strict lower triangle of G + G.T; the raw tree is
    CSC, converted to CSR here, and the raw predecessors are 1-based (0 at the
    root, NaN outside its component).

    Examples
    --------
    >>> import scipy.sparse as sp
    >>> import linkwork
    >>> graph = sp.csr_matrix([[0, 8, 0, 3], [0, 0, 2, 5], [0, 0, 0, 6], [0, 0, 0, 0]])
    >>> linkwork.minimum_spanning_tree(graph).toarray()
    array([[0., 0., 0., 0.],
           [0., 0., 0., 0.],
           [0., 2., 0., 0.],
           [3., 5., 0., 0.]])
    >>> tree, preds = linkwork.minimum_spanning_tree(graph, method="prim", return_predecessors=True)
    >>> preds
    array([-9999,     3,     1,     0])

    See also
    --------
    scipy.sparse.csgraph.minimum_spanning_tree
    """
    del overwrite
    codes = {"kruskal": "kru", "prim": "pri"}
    if method not in codes:
        raise ValueError(f"method must be 'kruskal' or 'prim', not {method!r}")
    graph = _graph.prepare(csgraph, directed=False, weights=weights)
    n = graph.n
    inputs = (graph.matrix, _graph.vertex(root, n)) + (() if graph.weights is None else (graph.weights,))
    tree, preds = _graph.raw(codes[method], trace, False, *inputs, nargout=2)
    tree = tree.tocsr()
    return (tree, _graph.predecessors(preds, n)) if return_predecessors else tree
