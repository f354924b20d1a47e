"""Traversal and structure: topological order, acyclicity, searches, components, trees."""

from typing import NamedTuple

import numpy as np
import scipy.sparse

from . import _api, _graph

__all__ = [
    "topological_sort", "is_directed_acyclic_graph",
    "depth_first_order", "breadth_first_order", "depth_first_search", "breadth_first_search",
    "TraversalResult", "connected_components", "is_tree",
    "breadth_first_tree", "depth_first_tree", "reconstruct_path",
]


def topological_sort(csgraph, *, trace=0):
    """Return the vertices of a directed acyclic graph in topological order.

    Every edge i -> j (a stored entry at row i, column j, zeros and diagonal
    entries included) puts i before j. The order is the reverse finishing
    order of a depth-first search that tries vertices, and each vertex's
    successors, in ascending order, so it is fully determined by the graph.

    Parameters
    ----------
    csgraph : sparse matrix or array_like, shape (N, N)
        The directed graph. Dense input: nonzero finite entries are edges.
    trace : {0, 1, 2}, optional
        Timing trace level of the module (lines go to ``sys.stdout``).

    Returns
    -------
    order : ndarray of int64, shape (N,)
        The vertices, 0-based.

    Raises
    ------
    GraphStructureError
        "genokit:linkworkhgw:TopoSortAlgorithmError" when the graph has a
        directed cycle (a ``ValueError``; ``ModuleError`` "The graph must be
        a DAG." at trace levels 1 and 2).

    Notes
    -----
    Raw code "top": ``call("top", trace, 1, csgraph)`` gives the 1-based order
    as a 1-by-N row; this function subtracts 1.

    Examples
    --------
    >>> import scipy.sparse as sp
    >>> import linkwork
    >>> graph = sp.csr_matrix(([1, 1], ([0, 1], [2, 2])), shape=(3, 3))
    >>> linkwork.topological_sort(graph)
    array([1, 0, 2])

    See also
    --------
    is_directed_acyclic_graph
    """
    graph = _api.prepare(csgraph)
    (order,) = _api.raw("top", trace, True, graph.matrix)
    return _graph.vertices(order, graph.n)


def is_directed_acyclic_graph(csgraph, *, trace=0):
    """Return True if the directed graph has no directed cycle.

    Parameters
    ----------
    csgraph : sparse matrix or array_like, shape (N, N)
        The directed graph; a diagonal entry is a self-loop, hence a cycle.
    trace : {0, 1, 2}, optional
        Timing trace level of the module.

    Returns
    -------
    bool

    Notes
    -----
    Raw code "isd": ``call("isd", trace, 1, csgraph)`` gives a 1-by-1 logical.

    Examples
    --------
    >>> import numpy as np
    >>> import linkwork
    >>> linkwork.is_directed_acyclic_graph(np.array([[0, 1], [0, 0]]))
    True
    >>> linkwork.is_directed_acyclic_graph(np.array([[0, 1], [1, 0]]))
    False

    See also
    --------
    topological_sort
    """
    graph = _api.prepare(csgraph)
    (answer,) = _api.raw("isd", trace, True, graph.matrix)
    return bool(answer[0, 0])


class TraversalResult(NamedTuple):
    """The four results of a depth-first or breadth-first search."""

    #: Discovered vertices, 0-based, in discovery order (the source first).
    order: np.ndarray
    #: Parent of each vertex in the search tree; -9999 for the source and unreached vertices.
    predecessors: np.ndarray
    #: Depth-first: vertices in the order they finished; breadth-first: ``order`` again.
    finish_order: np.ndarray
    #: Tree depth of each vertex (0 at the source, inf when unreached).
    depths: np.ndarray


def _search(code, csgraph, source, directed, depth_limit, trace, role="source", graph=None):
    graph = _api.prepare(csgraph, directed=directed) if graph is None else graph
    n = graph.n
    limit = _api.depth_limit(depth_limit)
    start = _api.vertex(source, n, role)
    order, preds, finish, depths = _api.raw(code, trace, directed, graph.matrix, start, limit, nargout=4)
    return TraversalResult(
        _graph.vertices(order, n), _graph.predecessors(preds, n), _graph.vertices(finish, n), _graph.row(depths))


def _order(code, csgraph, i_start, directed, return_predecessors, depth_limit, trace):
    result = _search(code, csgraph, i_start, directed, depth_limit, trace, role="i_start")
    n = result.predecessors.size
    order = _api.as_index_array(result.order, n)
    return (order, _api.as_index_array(result.predecessors, n)) if return_predecessors else order


_SEARCH_PARAMETERS = """
    Parameters
    ----------
    csgraph : sparse matrix or array_like, shape (N, N)
        The graph; entry (i, j) is an edge from i to j.
    {start} : int
        The source vertex, 0-based.
    directed : bool, optional
        If False, (i, j) and (j, i) both join i and j.
    depth_limit : int or float, optional
        Vertices at this tree depth are not expanded; None (default) or inf
        for no limit. A number >= 0; strings and booleans are refused.
    trace : {{0, 1, 2}}, optional
        Timing trace level of the module."""


def depth_first_search(csgraph, source, directed=True, *, depth_limit=None, trace=0):
    """Run a depth-first search from `source`, with an optional depth limit.

    Neighbours are taken in ascending order. With a depth limit, a vertex at
    that depth of the depth-first tree is discovered but not expanded; since
    tree depth is not distance, a vertex within the limit by another path can
    stay undiscovered.
    {parameters}

    Returns
    -------
    TraversalResult
        ``order`` (discovery order), ``predecessors``, ``finish_order`` and
        ``depths``.

    Notes
    -----
    Raw code "dfs": ``call("dfs", trace, directed, G, source + 1, limit,
    nargout=4)``; vertex lists are 1-based there, predecessors are 0 at the
    source and NaN when unreached. With ``directed=False`` the graph passed is
    the strict lower triangle of G + G.T, which the module reads as undirected.

    Examples
    --------
    >>> import numpy as np
    >>> import linkwork
    >>> cycle = np.array([[0, 1, 0], [0, 0, 1], [1, 0, 0]])
    >>> result = linkwork.depth_first_search(cycle, 0)
    >>> result.order, result.finish_order
    (array([0, 1, 2]), array([2, 1, 0]))
    >>> result.predecessors, result.depths
    (array([-9999,     0,     1]), array([0., 1., 2.]))

    See also
    --------
    depth_first_order, breadth_first_search
    """
    return _search("dfs", csgraph, source, directed, depth_limit, trace)


def breadth_first_search(csgraph, source, directed=True, *, depth_limit=None, trace=0):
    """Run a breadth-first search from `source`, with an optional depth limit.

    Exactly the vertices at most `depth_limit` edges from the source are
    discovered; those at the limit are not expanded.
    {parameters}

    Returns
    -------
    TraversalResult
        ``order`` (discovery order), ``predecessors``, ``finish_order`` (the
        discovery order again) and ``depths`` (edge counts from the source).

    Notes
    -----
    Raw code "bfs": ``call("bfs", trace, directed, G, source + 1, limit,
    nargout=4)``, converted as for `depth_first_search`.

    Examples
    --------
    >>> import numpy as np
    >>> import linkwork
    >>> graph = np.array([[0, 1, 1, 0], [0, 0, 0, 1], [0, 0, 0, 0], [0, 0, 0, 0]])
    >>> linkwork.breadth_first_search(graph, 0, depth_limit=1).order
    array([0, 1, 2])

    See also
    --------
    breadth_first_order, depth_first_search
    """
    return _search("bfs", csgraph, source, directed, depth_limit, trace)


def depth_first_order(csgraph, i_start, directed=True, return_predecessors=True, *, depth_limit=None, trace=0):
    """Return the depth-first discovery order from `i_start`, as scipy.sparse.csgraph does.

    Directed searches take neighbours in ascending order, as SciPy does.
    Undirected ones take them in the order the module stores the edges, so on
    ties the order (and tree) can differ from SciPy's.
    {parameters}
    return_predecessors : bool, optional
        Also return the predecessors (default True).

    Returns
    -------
    node_array : ndarray of int32
        The discovered vertices in discovery order.
    predecessors : ndarray of int32, shape (N,)
        Returned if `return_predecessors`: each vertex's parent in the
        depth-first tree, -9999 for `i_start` and for unreached vertices.

    Notes
    -----
    Raw code "dfs" (outputs 1 and 2), as in `depth_first_search`.

    Examples
    --------
    >>> import scipy.sparse as sp
    >>> import linkwork
    >>> graph = sp.csr_matrix([[0, 1, 2, 0], [0, 0, 0, 1], [2, 0, 0, 3], [0, 0, 0, 0]])
    >>> order, preds = linkwork.depth_first_order(graph, 0)
    >>> order
    array([0, 1, 3, 2], dtype=int32)
    >>> preds
    array([-9999,     0,     0,     1], dtype=int32)

    See also
    --------
    depth_first_search, scipy.sparse.csgraph.depth_first_order
    """
    return _order("dfs", csgraph, i_start, directed, return_predecessors, depth_limit, trace)


def breadth_first_order(csgraph, i_start, directed=True, return_predecessors=True, *, depth_limit=None, trace=0):
    """Return the breadth-first discovery order from `i_start`, as scipy.sparse.csgraph does.

    Directed searches take neighbours in ascending order, as SciPy does.
    Undirected ones take them in the order the module stores the edges, so on
    ties the order (and tree) can differ from SciPy's; the depths agree.
    {parameters}
    return_predecessors : bool, optional
        Also return the predecessors (default True).

    Returns
    -------
    node_array : ndarray of int32
        The discovered vertices in discovery order.
    predecessors : ndarray of int32, shape (N,)
        Returned if `return_predecessors`: each vertex's parent in the
        breadth-first tree, -9999 for `i_start` and for unreached vertices.

    Notes
    -----
    Raw code "bfs" (outputs 1 and 2), as in `breadth_first_search`.

    Examples
    --------
    >>> import scipy.sparse as sp
    >>> import linkwork
    >>> graph = sp.csr_matrix([[0, 1, 2, 0], [0, 0, 0, 1], [2, 0, 0, 3], [0, 0, 0, 0]])
    >>> order, preds = linkwork.breadth_first_order(graph, 0)
    >>> order
    array([0, 1, 2, 3], dtype=int32)
    >>> preds
    array([-9999,     0,     0,     1], dtype=int32)

    See also
    --------
    breadth_first_search, scipy.sparse.csgraph.breadth_first_order
    """
    return _order("bfs", csgraph, i_start, directed, return_predecessors, depth_limit, trace)


for _function, _start in ((depth_first_search, "source"), (breadth_first_search, "source"),
                          (depth_first_order, "i_start"), (breadth_first_order, "i_start")):
    _function.__doc__ = _function.__doc__.replace(
        "\n    {parameters}", _SEARCH_PARAMETERS.format(start=_start))


def connected_components(csgraph, directed=True, connection="weak", return_labels=True, *, trace=0):
    """Return the connected components of a graph, as scipy.sparse.csgraph does.

    Parameters
    ----------
    csgraph : sparse matrix or array_like, shape (N, N)
        The graph.
    directed : bool, optional
        If False, the graph is undirected and `connection` plays no part.
    connection : {'weak', 'strong'}, optional
        For directed graphs: weakly connected components (edge directions
        ignored) or strongly connected ones (mutually reachable vertices).
    return_labels : bool, optional
        Also return each vertex's component (default True).
    trace : {0, 1, 2}, optional
        Timing trace level of the module.

    Returns
    -------
    n_components : int
    labels : ndarray of int32, shape (N,)
        Returned if `return_labels`: the component of each vertex, 0-based.
        Weak and undirected components are numbered by their lowest vertex;
        strong components in the order their search roots finish, so a
        component comes before every component that reaches it.

    Notes
    -----
    Raw codes "wcc" and "scc": weak components are ``call("wcc", trace, 1, G,
    nargout=2)`` (every stored entry an undirected edge), undirected ones
    ``call("wcc", trace, 0, L, nargout=2)`` with L the strict lower triangle
    of G + G.T, strong ones ``call("scc", trace, 1, G, nargout=2)``. The raw
    labels are 1-based.

    Examples
    --------
    >>> import numpy as np
    >>> import linkwork
    >>> graph = np.array([[0, 1, 0], [1, 0, 1], [0, 0, 0]])
    >>> linkwork.connected_components(graph)
    (1, array([0, 0, 0], dtype=int32))
    >>> linkwork.connected_components(graph, connection="strong")
    (2, array([1, 1, 0], dtype=int32))

    See also
    --------
    scipy.sparse.csgraph.connected_components
    """
    if connection not in ("weak", "strong"):
        raise ValueError(f"connection must be 'weak' or 'strong', not {connection!r}")
    if not directed:
        code, graph = "wcc", _api.prepare(csgraph, directed=False)
    else:
        code, graph = ("scc" if connection == "strong" else "wcc"), _api.prepare(csgraph)
    count, labels = _api.raw(code, trace, directed, graph.matrix, nargout=2)
    n_components = int(count[0, 0])
    if not return_labels:
        return n_components
    return n_components, _api.as_index_array(_graph.vertices(labels, max(graph.n, 1)), graph.n)


def is_tree(csgraph, *, trace=0):
    """Return True if the graph, read as undirected, is a spanning tree.

    That is: connected and free of cycles. An entry (i, j) or (j, i) joins i
    and j; diagonal entries (self-loops) are ignored. The graph without
    vertices is not a tree.

    Parameters
    ----------
    csgraph : sparse matrix or array_like, shape (N, N)
        The graph.
    trace : {0, 1, 2}, optional
        Timing trace level of the module.

    Returns
    -------
    bool

    Notes
    -----
    Raw code "ist": ``call("ist", trace, 0, L)`` with L the strict lower
    triangle of G + G.T (the module reads only that triangle).

    Examples
    --------
    >>> import numpy as np
    >>> import linkwork
    >>> path = np.array([[0, 1, 0], [0, 0, 1], [0, 0, 0]])
    >>> linkwork.is_tree(path)
    True
    >>> linkwork.is_tree(path + path.T + np.array([[0, 0, 1], [0, 0, 0], [0, 0, 0]]))
    False

    See also
    --------
    connected_components
    """
    graph = _api.prepare(csgraph, directed=False)
    (answer,) = _api.raw("ist", trace, False, graph.matrix)
    return bool(answer[0, 0])


def reconstruct_path(csgraph, predecessors, directed=True):
    """Return the tree that a predecessor list describes, with the graph's weights, as scipy.sparse.csgraph does.

    Parameters
    ----------
    csgraph : sparse matrix or array_like, shape (N, N)
        The graph the predecessors were found in.
    predecessors : array_like of int, shape (N,)
        Each vertex's parent; -9999 (or any negative value) for none.
    directed : bool, optional
        If True, the edge p -> j takes the weight of entry (p, j); if False,
        the lighter of (p, j) and (j, p), as the undirected searches read it.

    Returns
    -------
    cstree : scipy.sparse.csr_matrix, shape (N, N)
        Entry (p, j) for every vertex j with parent p, holding the edge's
        weight.

    Raises
    ------
    InvalidVertexError
        A parent outside the graph, or an edge p -> j the graph does not
        have (a ``ValueError``).

    Notes
    -----
    No raw call: a lookup in the graph prepared as the raw codes read it.

    Examples
    --------
    >>> import numpy as np
    >>> import linkwork
    >>> graph = np.array([[0, 1, 2, 0], [0, 0, 0, 1], [2, 0, 0, 3], [0, 0, 0, 0]])
    >>> order, preds = linkwork.breadth_first_order(graph, 0)
    >>> linkwork.reconstruct_path(graph, preds).toarray()
    array([[0., 1., 2., 0.],
           [0., 0., 0., 1.],
           [0., 0., 0., 0.],
           [0., 0., 0., 0.]])

    See also
    --------
    breadth_first_tree, scipy.sparse.csgraph.reconstruct_path
    """
    graph = _api.prepare(csgraph, directed=directed)
    return _tree_of(graph, predecessors, directed)


def _edge_values(graph):
    matrix = graph.matrix
    values = matrix.data[: matrix.nnz] if graph.weights is None else graph.weights
    return np.asarray(values, dtype=np.float64)


def _tree_of(graph, predecessors, directed):
    n = graph.n
    preds = np.asarray(predecessors)
    if preds.shape != (n,) or not (preds.size == 0 or np.issubdtype(preds.dtype, np.integer)):
        raise ValueError(f"predecessors must be {n} integers, not of shape {preds.shape} and dtype {preds.dtype}")
    preds = preds.astype(np.int64)
    children = np.flatnonzero(preds >= 0)
    parents = preds[children]
    if np.any(parents >= n):
        bad = int(parents[parents >= n][0])
        _api.vertex(bad, n, "predecessor")
    # Look every edge up in the stored (canonical CSC) graph: row = tail, column = head.
    if directed:
        rows, cols = parents, children
    else:
        rows, cols = np.maximum(parents, children), np.minimum(parents, children)
    matrix = graph.matrix
    keys = np.repeat(np.arange(n, dtype=np.int64), np.diff(matrix.indptr)) * n + matrix.indices[: matrix.nnz]
    wanted = cols * n + rows
    where = np.searchsorted(keys, wanted)
    found = (where < keys.size) & (keys[np.minimum(where, max(keys.size - 1, 0))] == wanted) if keys.size else \
        np.zeros(wanted.size, dtype=bool)
    if not found.all():
        k = int(np.flatnonzero(~found)[0])
        raise _api.InvalidVertexError(
            "genokit:linkworkhgw:NotValidNode",
            f"predecessor {int(parents[k])} of vertex {int(children[k])} is not joined to it by an edge")
    values = _edge_values(graph)[where]
    return scipy.sparse.csr_matrix((values, (parents, children)), shape=(n, n))


def _search_tree(code, csgraph, i_start, directed, depth_limit, trace):
    graph = _api.prepare(csgraph, directed=directed)
    result = _search(code, None, i_start, directed, depth_limit, trace, role="i_start", graph=graph)
    return _tree_of(graph, result.predecessors, directed)


def breadth_first_tree(csgraph, i_start, directed=True, *, depth_limit=None, trace=0):
    """Return the breadth-first tree from `i_start`, as scipy.sparse.csgraph does.

    Parameters
    ----------
    csgraph : sparse matrix or array_like, shape (N, N)
        The graph; entry (i, j) is an edge from i to j.
    i_start : int
        The root, 0-based.
    directed : bool, optional
        If False, (i, j) and (j, i) both join i and j, with the lighter of
        the two weights.
    depth_limit : int, optional
        As in `breadth_first_search`.
    trace : {0, 1, 2}, optional
        Timing trace level of the module.

    Returns
    -------
    cstree : scipy.sparse.csr_matrix, shape (N, N)
        Entry (p, j) for every tree edge from parent p to vertex j, with the
        edge's weight.

    Notes
    -----
    Raw code "bfs" (the predecessors), then `reconstruct_path`.

    Examples
    --------
    >>> import numpy as np
    >>> import linkwork
    >>> graph = np.array([[0, 1, 2, 0], [0, 0, 0, 1], [2, 0, 0, 3], [0, 0, 0, 0]])
    >>> linkwork.breadth_first_tree(graph, 0).toarray()
    array([[0., 1., 2., 0.],
           [0., 0., 0., 1.],
           [0., 0., 0., 0.],
           [0., 0., 0., 0.]])

    See also
    --------
    depth_first_tree, scipy.sparse.csgraph.breadth_first_tree
    """
    return _search_tree("bfs", csgraph, i_start, directed, depth_limit, trace)


def depth_first_tree(csgraph, i_start, directed=True, *, depth_limit=None, trace=0):
    """Return the depth-first tree from `i_start`, as scipy.sparse.csgraph does.

    Parameters
    ----------
    csgraph, i_start, directed, depth_limit, trace
        As in `breadth_first_tree`.

    Returns
    -------
    cstree : scipy.sparse.csr_matrix, shape (N, N)
        Entry (p, j) for every tree edge from parent p to vertex j, with the
        edge's weight.

    Notes
    -----
    Raw code "dfs" (the predecessors), then `reconstruct_path`.

    Examples
    --------
    >>> import numpy as np
    >>> import linkwork
    >>> graph = np.array([[0, 1, 2, 0], [0, 0, 0, 1], [2, 0, 0, 3], [0, 0, 0, 0]])
    >>> linkwork.depth_first_tree(graph, 2, directed=False).toarray()
    array([[0., 1., 0., 0.],
           [0., 0., 0., 1.],
           [2., 0., 0., 0.],
           [0., 0., 0., 0.]])

    See also
    --------
    breadth_first_tree, scipy.sparse.csgraph.depth_first_tree
    """
    return _search_tree("dfs", csgraph, i_start, directed, depth_limit, trace)
