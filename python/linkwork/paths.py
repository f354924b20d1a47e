"""Shortest paths: Dijkstra, breadth-first edge counts, Bellman-Ford, acyclic graphs, Johnson."""

import warnings

import numpy as np
import scipy.sparse

from . import _api, _graph
from ._errors import GraphStructureError, NegativeCycleError

__all__ = ["shortest_path", "dijkstra", "bellman_ford", "dag_shortest_path", "johnson", "floyd_warshall"]

_NEGATIVE_DIJKSTRA_WARNING = ("Graph has negative weights: dijkstra will give inaccurate results if the graph "
                              "contains negative cycles. Consider johnson or bellman_ford.")
_NEGATIVE_CYCLE_TEXT = "Negative cycle found in the Bellman-Ford algorithm."

_PATH_PARAMETERS = """
    Parameters
    ----------
    csgraph : sparse matrix or array_like, shape (N, N)
        The graph; entry (i, j) is an edge from i to j whose weight is the
        entry's value (stored zeros are edges of weight 0; NaN and +inf are
        not edges). Dense input: nonzero finite entries are edges.
    directed : bool, optional
        If False, (i, j) and (j, i) both join i and j, with the lighter of
        the two weights.
    indices : int or array_like of int, optional
        Source vertices, of any shape; None (default) for every vertex.
        Only the rows asked for are computed and held."""

_RETURN_PARAMETERS = """
    return_predecessors : bool, optional
        Also return the predecessor matrix."""

_UNWEIGHTED_PARAMETERS = """
    unweighted : bool, optional
        Count edges instead of adding weights; every stored entry is an edge."""

_WEIGHT_PARAMETERS = """
    weights : array_like, optional
        One weight per stored entry of `csgraph` (sparse), in the order of
        ``csgraph.data``, used instead of the stored values.
    trace : {0, 1, 2}, optional
        Timing trace level of the module."""

_PATH_RETURNS = """
    Returns
    -------
    dist_matrix : ndarray of float64
        Distances from each source (rows) to each vertex; inf where there is
        no path. Shape ``indices.shape + (N,)``: 1-d if `indices` is an
        integer, (N, N) if it is None.
    predecessors : ndarray of int32
        Returned if `return_predecessors`: the previous vertex on a shortest
        path from the source, -9999 for the source and unreached vertices."""


def _docstring(function, *parts):
    function.__doc__ = function.__doc__.replace("\n    {parameters}", "".join(parts))
    return function


def _sources(indices, n):
    """The flat int64 sources of `indices` and the shape its rows take (None: every vertex)."""
    if indices is None:
        return np.arange(n, dtype=np.int64), (n,)
    shape = np.shape(indices)
    return _api.vertex_array(np.ravel(indices), n), shape


def _rows(code, graph, directed, sources, return_predecessors, trace, tail=None, matrix=None):
    """One raw single-source call per source: (k, N) distances and int32 predecessors."""
    n = graph.n
    matrix = graph.matrix if matrix is None else matrix
    tail = ((graph.weights,) if graph.weights is not None else ()) if tail is None else tail
    nargout = 2 if return_predecessors else 1
    distances = np.empty((sources.size, n))
    preds = np.empty((sources.size, n), dtype=_api.index_dtype(n)) if return_predecessors else None
    for k, source in enumerate(sources):
        outputs = _api.raw(code, trace, directed, matrix, float(source + 1), *tail, nargout=nargout)
        distances[k] = _graph.row(outputs[0])[:n]
        if return_predecessors:
            preds[k] = _graph.predecessors(outputs[1], matrix.shape[0])[:n]
    return distances, preds


def _shaped(distances, preds, shape, return_predecessors):
    n = distances.shape[1]
    distances = distances.reshape(tuple(shape) + (n,))
    if not return_predecessors:
        return distances
    return distances, preds.reshape(tuple(shape) + (n,))


def _single_source(code, graph, directed, indices, return_predecessors, trace, pass_weights=True, limit=np.inf):
    sources, shape = _sources(indices, graph.n)
    tail = None if pass_weights else ()
    distances, preds = _rows(code, graph, directed, sources, return_predecessors, trace, tail)
    if limit < np.inf:
        _apply_limit(limit, distances, preds)
    return _shaped(distances, preds, shape, return_predecessors)


def _apply_limit(limit, distances, preds, sources=None):
    beyond = distances > limit
    distances[beyond] = np.inf
    if preds is not None:
        preds[beyond] = _api.NULL_VERTEX
    if sources is not None:
        sources[beyond] = _api.NULL_VERTEX


def _with_super_source(graph, starts):
    """The graph plus a vertex N with an edge of weight 0 to every start (weights in the values)."""
    matrix, n = graph.matrix, graph.n
    nnz = matrix.nnz
    weights = np.asarray(_edge_weights(graph), dtype=np.float64)
    rows = np.concatenate([matrix.indices[:nnz].astype(np.int64), np.full(starts.size, n, dtype=np.int64)])
    cols = np.concatenate([np.repeat(np.arange(n, dtype=np.int64), np.diff(matrix.indptr)), starts])
    values = np.concatenate([weights, np.zeros(starts.size)])
    return scipy.sparse.csc_matrix((values, (rows, cols)), shape=(n + 1, n + 1))


def _nearest(code, graph, directed, indices, return_predecessors, trace, limit):
    """Distances from the nearest of several sources, by one search from a super-source."""
    n = graph.n
    starts = np.unique(_sources(indices, n)[0])
    extended = _with_super_source(graph, starts)
    dist, pred = _api.raw(code, trace, directed, extended, float(n + 1), nargout=2)
    distances = np.array(_graph.row(dist)[:n], dtype=np.float64)
    if code == "spb":
        distances -= 1.0  # the edge from the super-source counts one step
    raw_preds = _graph.predecessors(pred, n + 1)[:n]
    from_super = raw_preds == n
    preds = np.where(from_super, _api.NULL_VERTEX, raw_preds).astype(_api.index_dtype(n))
    # The source that serves a vertex is the first vertex of its path after the super-source.
    owner = np.where(from_super, np.arange(n), np.where(raw_preds >= 0, raw_preds, -1))
    reached = distances < np.inf
    owner[~reached] = -1
    for _ in range(64):
        step = np.where(owner >= 0, owner[np.maximum(owner, 0)], -1)
        if np.array_equal(step, owner):
            break
        owner = step
    sources = np.where(reached, owner, _api.NULL_VERTEX).astype(_api.index_dtype(n))
    if limit < np.inf:
        _apply_limit(limit, distances, preds, sources)
    return (distances, preds, sources) if return_predecessors else distances


def _edge_weights(graph):
    """The weight of every stored entry of a prepared graph, as the module reads it."""
    if graph.weights is not None:
        return graph.weights
    if graph.matrix.dtype == np.bool_:
        return np.ones(graph.matrix.nnz)
    return graph.matrix.data[: graph.matrix.nnz]


def _has_negative(graph):
    weights = _edge_weights(graph)
    return weights.dtype != np.bool_ and bool(np.any(weights < 0))


def _input_has_negative(csgraph, weights):
    """Whether a weight as given is negative, without preparing the graph."""
    if weights is not None:
        values = np.asarray(weights)
    elif scipy.sparse.issparse(csgraph):
        values = csgraph.data
    else:
        values = np.asarray(csgraph)
    return values.dtype.kind in "iuf" and bool(np.any(values < 0))


def _unweighted_graph(csgraph, directed, weights):
    if weights is not None:
        raise ValueError("weights and unweighted=True exclude each other")
    return _api.prepare(csgraph, directed=directed)


def _negative_cycle():
    return NegativeCycleError("genokit:linkworkhgw:NegativeCycle", _NEGATIVE_CYCLE_TEXT)


def dijkstra(csgraph, directed=True, indices=None, return_predecessors=False, unweighted=False, limit=np.inf,
             min_only=False, *, weights=None, trace=0):
    """Return shortest-path distances by Dijkstra's algorithm, as scipy.sparse.csgraph does.

    With a negative weight anywhere in the graph this function warns, as
    SciPy does, and answers by the Bellman-Ford algorithm instead, so the
    distances are exact (a reached negative cycle raises NegativeCycleError;
    undirected, a reached negative edge is such a cycle).
    {parameters}
    limit : float, optional
        Distances greater than `limit` read inf (their predecessors -9999);
        default inf. Must be >= 0.
    min_only : bool, optional
        Return, for each vertex, the distance from the nearest of the
        `indices` only: 1-d distances, and with `return_predecessors` also
        the predecessors and ``sources`` (the index each vertex is reached
        from, -9999 when unreached). One search from an added vertex joined
        to every index by an edge of weight 0 computes them.

    Returns
    -------
    dist_matrix : ndarray of float64
        Distances from each source (rows) to each vertex; inf where there is
        no path. Shape ``indices.shape + (N,)``: 1-d if `indices` is an
        integer or `min_only` is set, (N, N) if `indices` is None.
    predecessors : ndarray of int32
        Returned if `return_predecessors`: the previous vertex on a shortest
        path from the source, -9999 for the source and unreached vertices.
    sources : ndarray of int32
        Returned if `min_only` and `return_predecessors`.

    Raises
    ------
    InvalidVertexError
        An index outside the graph (a ``ValueError``).
    NegativeCycleError
        After the negative-weight warning, a source reaches a negative cycle.

    Warns
    -----
    UserWarning
        The graph has a negative weight (SciPy's text).

    Notes
    -----
    Raw code "dij", once per source: ``call("dij", trace, directed, G, s + 1,
    [W,] nargout=2)`` gives 1-by-N distances and predecessors (1-based, 0 at
    the source, NaN unreached). With ``unweighted=True`` the raw code is "spb"
    (breadth-first edge counts), with a negative weight "bel". With
    ``directed=False`` the graph passed is the strict lower triangle of
    G + G.T, which the module reads as undirected.

    Examples
    --------
    >>> import scipy.sparse as sp
    >>> import linkwork
    >>> graph = sp.csr_matrix([[0, 1, 2, 0], [0, 0, 0, 1], [2, 0, 0, 3], [0, 0, 0, 0]])
    >>> linkwork.dijkstra(graph, indices=0)
    array([0., 1., 2., 2.])
    >>> dist, preds = linkwork.dijkstra(graph, indices=[0, 3], return_predecessors=True)
    >>> preds
    array([[-9999,     0,     0,     1],
           [-9999, -9999, -9999, -9999]], dtype=int32)
    >>> linkwork.dijkstra(graph, indices=2, unweighted=True)
    array([1., 2., 0., 1.])
    >>> linkwork.dijkstra(graph, indices=[1, 2], min_only=True, return_predecessors=True)
    (array([2., 0., 0., 1.]), array([    2, -9999, -9999,     1], dtype=int32), array([2, 1, 2, 1], dtype=int32))
    >>> linkwork.dijkstra(graph, indices=0, limit=1)
    array([ 0.,  1., inf, inf])

    See also
    --------
    shortest_path, bellman_ford, scipy.sparse.csgraph.dijkstra
    """
    limit = _api.distance_limit(limit)
    if unweighted:
        graph, code = _unweighted_graph(csgraph, directed, weights), "spb"
    else:
        graph, code = _api.prepare(csgraph, directed=directed, weights=weights), "dij"
        if _has_negative(graph):
            warnings.warn(_NEGATIVE_DIJKSTRA_WARNING, UserWarning, stacklevel=2)
            code = "bel"
    if min_only:
        result = _nearest(code, graph, directed, indices, return_predecessors, trace, limit)
    else:
        result = _single_source(code, graph, directed, indices, return_predecessors, trace, limit=limit)
    if code == "bel" and not directed:
        _refuse_reached_negative_edges(graph, result[0] if isinstance(result, tuple) else result)
    return result


def bellman_ford(csgraph, directed=True, indices=None, return_predecessors=False, unweighted=False, *,
                 weights=None, trace=0):
    """Return shortest-path distances by the Bellman-Ford algorithm, as scipy.sparse.csgraph does.

    Negative weights are allowed; a negative cycle that a source reaches is an
    error. In an undirected graph every negative edge is such a cycle (it can
    be walked back and forth), so one that a source reaches is reported too.
    {parameters}

    Raises
    ------
    NegativeCycleError
        A source reaches a negative cycle (identifier
        "genokit:linkworkhgw:NegativeCycle"); it is also a
        ``scipy.sparse.csgraph.NegativeCycleError``.
    InvalidVertexError
        An index outside the graph (a ``ValueError``).

    Notes
    -----
    Raw code "bel", once per source, converted as in `dijkstra`
    (``unweighted=True`` uses "spb"). The module's undirected form does not
    see a reached negative edge as a cycle; this function raises
    NegativeCycleError for it after the raw call.

    Examples
    --------
    >>> import scipy.sparse as sp
    >>> import linkwork
    >>> graph = sp.csr_matrix(([4.0, -2.0, 1.0], ([0, 1, 0], [1, 2, 2])), shape=(3, 3))
    >>> linkwork.bellman_ford(graph, indices=0, return_predecessors=True)
    (array([0., 4., 1.]), array([-9999,     0,     0], dtype=int32))
    >>> linkwork.bellman_ford(graph, directed=False, indices=0)
    Traceback (most recent call last):
        ...
    linkwork.NegativeCycleError: Negative cycle found in the Bellman-Ford algorithm.

    See also
    --------
    shortest_path, dijkstra, scipy.sparse.csgraph.bellman_ford
    """
    if unweighted:
        graph = _unweighted_graph(csgraph, directed, weights)
        return _single_source("spb", graph, directed, indices, return_predecessors, trace)
    graph = _api.prepare(csgraph, directed=directed, weights=weights)
    result = _single_source("bel", graph, directed, indices, return_predecessors, trace)
    if not directed:
        _refuse_reached_negative_edges(graph, result[0] if return_predecessors else result)
    return result


def _refuse_reached_negative_edges(graph, distances):
    negative = _edge_weights(graph) < 0
    if not negative.any():
        return
    rows = graph.matrix.indices[: graph.matrix.nnz][negative]
    reached = np.reshape(distances, (-1, graph.n)) < np.inf
    if reached[:, rows].any():
        raise _negative_cycle()


def dag_shortest_path(csgraph, directed=True, indices=None, return_predecessors=False, *, weights=None, trace=0):
    """Return shortest-path distances in a directed acyclic graph (or an undirected forest).

    Negative weights are allowed. Directed: the part of the graph that a
    source reaches must be acyclic. Undirected: the part that a source
    reaches must be a tree, where the path to each vertex is unique.
    {parameters}

    Raises
    ------
    GraphStructureError
        "genokit:linkworkhgw:DAGspAlgorithmError" when a source reaches a
        directed cycle; "linkwork:python:NotAForest" when, undirected, it
        reaches a cycle (a ``ValueError``).
    InvalidVertexError
        An index outside the graph (a ``ValueError``).

    Notes
    -----
    Raw code "spa", once per source, converted as in `dijkstra`. The module's
    undirected form ignores custom weights and adds weights along a
    breadth-first tree without looking for cycles, so here the weights are
    written into the graph passed and a reached cycle is refused after the
    raw call.

    Examples
    --------
    >>> import scipy.sparse as sp
    >>> import linkwork
    >>> graph = sp.csr_matrix(([5.0, -3.0, 1.0], ([0, 1, 0], [1, 2, 2])), shape=(3, 3))
    >>> linkwork.dag_shortest_path(graph, indices=0)
    array([0., 5., 1.])
    >>> linkwork.dag_shortest_path(graph, indices=0, weights=[1.0, 1.0, 3.0])
    array([0., 1., 1.])

    See also
    --------
    bellman_ford, topological_sort
    """
    graph = _api.prepare(csgraph, directed=directed, weights=weights)
    if directed:
        return _single_source("spa", graph, True, indices, return_predecessors, trace)
    if graph.weights is not None:
        matrix = graph.matrix.copy()
        matrix.data = graph.weights.copy()
        graph = _graph.Graph(matrix)
    result = _single_source("spa", graph, False, indices, return_predecessors, trace)
    _refuse_reached_cycles(graph, result[0] if return_predecessors else result)
    return result


def _refuse_reached_cycles(graph, distances):
    weights = _edge_weights(graph)
    edges = weights < np.inf  # NaN and +inf entries are not edges
    matrix = graph.matrix
    rows = matrix.indices[: matrix.nnz][edges]
    cols = np.repeat(np.arange(matrix.shape[1]), np.diff(matrix.indptr))[edges]
    for reached in np.reshape(distances, (-1, graph.n)) < np.inf:
        # A connected part with k vertices is a tree exactly when it has k - 1 edges.
        if np.count_nonzero(reached[rows] & reached[cols]) != np.count_nonzero(reached) - 1:
            raise GraphStructureError("linkwork:python:NotAForest",
                            "The undirected graph has a cycle that the source reaches; it must be a forest.")


def _potentials(graph, trace):
    """Johnson's vertex potentials: distances from an added vertex joined to all by weight 0."""
    n = graph.n
    extended = _with_super_source(graph, np.arange(n, dtype=np.int64))
    (dist,) = _api.raw("bel", trace, True, extended, float(n + 1))
    return _graph.row(dist)[:n]


def _johnson_rows(graph, directed, sources, return_predecessors, trace):
    """Rows of distances for a graph with negative weights: potentials once, then Dijkstra per row."""
    weights = np.asarray(_edge_weights(graph), dtype=np.float64)
    if not directed:
        raise _negative_cycle()  # an undirected negative edge is a negative cycle
    if np.any(weights == -np.inf):
        # Potentials are infinite; Bellman-Ford per row stays exact.
        return _rows("bel", graph, True, sources, return_predecessors, trace)
    potential = _potentials(graph, trace)
    matrix = graph.matrix
    heads = matrix.indices[: matrix.nnz]
    tails = np.repeat(np.arange(graph.n), np.diff(matrix.indptr))
    with np.errstate(invalid="ignore"):
        reduced = weights + potential[heads] - potential[tails]
    # Rounding can leave a reduced weight a hair below zero, which Dijkstra refuses.
    reduced = np.where(reduced < 0, 0.0, reduced)
    distances, preds = _rows("dij", graph, True, sources, return_predecessors, trace, tail=(reduced,))
    with np.errstate(invalid="ignore"):
        distances += potential[None, :] - potential[sources][:, None]
    distances[np.isnan(distances)] = np.inf
    return distances, preds


def johnson(csgraph, directed=True, indices=None, return_predecessors=False, unweighted=False, *,
            weights=None, trace=0):
    """Return shortest-path distances by Johnson's algorithm, as scipy.sparse.csgraph does.

    Negative weights are allowed; a negative cycle anywhere in the graph is an
    error, and so is any negative edge of an undirected graph.
    {parameters}

    Raises
    ------
    NegativeCycleError
        The graph has a negative cycle.
    InvalidVertexError
        An index outside the graph (a ``ValueError``).

    Notes
    -----
    Raw code "all" for every pair without predecessors: ``call("all", trace,
    directed, G, [W])`` gives the N-by-N matrix (row = source, column =
    target). For chosen `indices` or with predecessors only the rows asked
    for are computed: without negative weights one "dij" call per row; with
    them the vertex potentials first (one "bel" call from an added vertex
    joined to every vertex by weight 0), then one "dij" call per row on the
    reweighted edges. ``unweighted=True`` uses "spb" per row, or "all" with
    weights of 1.

    Examples
    --------
    >>> import numpy as np
    >>> import linkwork
    >>> graph = np.array([[0, -3, 0], [0, 0, 2], [0, 0, 0]])
    >>> linkwork.johnson(graph)
    array([[ 0., -3., -1.],
           [inf,  0.,  2.],
           [inf, inf,  0.]])
    >>> linkwork.johnson(graph, indices=1, unweighted=True)
    array([inf,  0.,  1.])
    >>> linkwork.johnson(graph, True, 0, True)
    (array([ 0., -3., -1.]), array([-9999,     0,     1], dtype=int32))

    See also
    --------
    shortest_path, bellman_ford, scipy.sparse.csgraph.johnson
    """
    if unweighted:
        graph = _unweighted_graph(csgraph, directed, weights)
        if indices is None and not return_predecessors:
            (distances,) = _api.raw("all", trace, directed, graph.matrix, np.ones(graph.matrix.nnz))
            return distances
        return _single_source("spb", graph, directed, indices, return_predecessors, trace)
    graph = _api.prepare(csgraph, directed=directed, weights=weights)
    sources, shape = _sources(indices, graph.n)
    if indices is None and not return_predecessors:
        (distances,) = _api.raw("all", trace, directed, *graph.inputs())
        return distances
    if _has_negative(graph):
        distances, preds = _johnson_rows(graph, directed, sources, return_predecessors, trace)
    else:
        distances, preds = _rows("dij", graph, directed, sources, return_predecessors, trace)
    return _shaped(distances, preds, shape, return_predecessors)


def floyd_warshall(csgraph, directed=True, return_predecessors=False, unweighted=False, overwrite=False, *,
                   weights=None, trace=0):
    """Return all-pairs shortest-path distances, as scipy.sparse.csgraph's Floyd-Warshall does.

    The distances come from the module's all-pairs code (Johnson's
    algorithm), which gives the same answers as Floyd-Warshall's; a negative
    cycle anywhere in the graph is an error, and so is any negative edge of
    an undirected graph.

    Parameters
    ----------
    csgraph, directed, unweighted, weights, trace
        As in `dijkstra`.
    return_predecessors : bool, optional
        Also return the (N, N) predecessor matrix, computed one source at a
        time by the single-source codes.
    overwrite : bool, optional
        Accepted for compatibility; the input is never changed.

    Returns
    -------
    dist_matrix : ndarray of float64, shape (N, N)
    predecessors : ndarray of int32, shape (N, N)
        Returned if `return_predecessors`.

    Raises
    ------
    NegativeCycleError
        The graph has a negative cycle.

    Notes
    -----
    Raw code "all" for the distances (with weights of 1 when `unweighted`);
    predecessors by "dij" per source ("bel" with negative weights, "spb"
    when `unweighted`).

    Examples
    --------
    >>> import numpy as np
    >>> import linkwork
    >>> graph = np.array([[0, 1, 4], [0, 0, 2], [0, 0, 0]])
    >>> linkwork.floyd_warshall(graph, return_predecessors=True)
    (array([[ 0.,  1.,  3.],
           [inf,  0.,  2.],
           [inf, inf,  0.]]), array([[-9999,     0,     1],
           [-9999, -9999,     1],
           [-9999, -9999, -9999]], dtype=int32))

    See also
    --------
    johnson, shortest_path, scipy.sparse.csgraph.floyd_warshall
    """
    del overwrite
    if unweighted:
        graph = _unweighted_graph(csgraph, directed, weights)
        inputs, code = (graph.matrix, np.ones(graph.matrix.nnz)), "spb"
    else:
        graph = _api.prepare(csgraph, directed=directed, weights=weights)
        inputs, code = graph.inputs(), ("bel" if _has_negative(graph) else "dij")
    (distances,) = _api.raw("all", trace, directed, *inputs)
    if not return_predecessors:
        return distances
    _, preds = _rows(code, graph, directed, np.arange(graph.n, dtype=np.int64), True, trace)
    return distances, preds


_METHODS = ("auto", "FW", "D", "BF", "J")


def shortest_path(csgraph, method="auto", directed=True, return_predecessors=False, unweighted=False,
                  overwrite=False, indices=None, *, weights=None, trace=0):
    """Return shortest-path distances, choosing the algorithm, as scipy.sparse.csgraph does.

    Parameters
    ----------
    csgraph : sparse matrix or array_like, shape (N, N)
        The graph, as in `dijkstra`.
    method : {'auto', 'FW', 'D', 'BF', 'J'}, optional
        'FW' Floyd-Warshall (see `floyd_warshall`), 'D' Dijkstra, 'BF'
        Bellman-Ford, 'J' Johnson. 'auto' (default) takes the all-pairs code
        for all pairs without predecessors, otherwise Bellman-Ford when some
        weight is negative and Dijkstra when none is.
    directed, return_predecessors, unweighted, indices, weights, trace
        As in `dijkstra`. 'FW' takes no `indices`.
    overwrite : bool, optional
        Accepted for compatibility; the input is never changed.

    Returns
    -------
    dist_matrix, predecessors
        As in `dijkstra`.

    Notes
    -----
    Raw codes: those of the chosen function ("all", "dij", "bel", and "spb"
    when `unweighted`).

    Examples
    --------
    >>> import numpy as np
    >>> import linkwork
    >>> graph = np.array([[0, 1, 2, 0], [0, 0, 0, 1], [2, 0, 0, 3], [0, 0, 0, 0]])
    >>> linkwork.shortest_path(graph, directed=False)
    array([[0., 1., 2., 2.],
           [1., 0., 3., 1.],
           [2., 3., 0., 3.],
           [2., 1., 3., 0.]])
    >>> linkwork.shortest_path(graph, method="FW", indices=0)
    Traceback (most recent call last):
        ...
    ValueError: method 'FW' computes every pair: it takes no indices

    See also
    --------
    dijkstra, bellman_ford, johnson, floyd_warshall, scipy.sparse.csgraph.shortest_path
    """
    del overwrite
    if method not in _METHODS:
        raise ValueError(f"method must be one of {', '.join(map(repr, _METHODS))}, not {method!r}")
    if method == "auto":
        if indices is None and not return_predecessors:
            method = "J"
        elif not unweighted and _input_has_negative(csgraph, weights):
            method = "BF"
        else:
            method = "D"
    options = dict(directed=directed, return_predecessors=return_predecessors, unweighted=unweighted,
                   weights=weights, trace=trace)
    if method == "FW":
        if indices is not None:
            raise ValueError("method 'FW' computes every pair: it takes no indices")
        return floyd_warshall(csgraph, **options)
    function = {"D": dijkstra, "BF": bellman_ford, "J": johnson}[method]
    return function(csgraph, indices=indices, **options)


for _function, _parts in (
    (dijkstra, (_PATH_PARAMETERS, _RETURN_PARAMETERS, _UNWEIGHTED_PARAMETERS, _WEIGHT_PARAMETERS)),
    (bellman_ford, (_PATH_PARAMETERS, _RETURN_PARAMETERS, _UNWEIGHTED_PARAMETERS, _WEIGHT_PARAMETERS,
                    _PATH_RETURNS)),
    (dag_shortest_path, (_PATH_PARAMETERS, _RETURN_PARAMETERS, _WEIGHT_PARAMETERS, _PATH_RETURNS)),
    (johnson, (_PATH_PARAMETERS, _RETURN_PARAMETERS, _UNWEIGHTED_PARAMETERS, _WEIGHT_PARAMETERS, _PATH_RETURNS)),
):
    _docstring(_function, *_parts)
