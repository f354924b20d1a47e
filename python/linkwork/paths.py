"""Shortest paths: Dijkstra, breadth-first edge counts, Bellman-Ford, acyclic graphs, Johnson."""

import numpy as np
import scipy.sparse

from . import _graph
from ._errors import HostError, NegativeCycleError

__all__ = ["shortest_path", "dijkstra", "bellman_ford", "dag_shortest_path", "johnson"]

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
    indices : int or sequence of int, optional
        Source vertices; None (default) for every vertex."""

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
        no path. 1-d if `indices` is an integer.
    predecessors : ndarray of int64
        Returned if `return_predecessors`: the previous vertex on a shortest
        path from the source, -9999 for the source and unreached vertices."""


def _docstring(function, *parts):
    function.__doc__ = function.__doc__.replace("\n    {parameters}", "".join(parts))
    return function


def _single_source(code, graph, directed, indices, return_predecessors, trace, pass_weights=True):
    n = graph.n
    sources, keep_rows = _graph.source_list(indices, n)
    tail = (graph.weights,) if pass_weights and graph.weights is not None else ()
    nargout = 2 if return_predecessors else 1
    distances = np.empty((len(sources), n))
    preds = np.empty((len(sources), n), dtype=np.int64) if return_predecessors else None
    for k, source in enumerate(sources):
        outputs = _graph.raw(code, trace, directed, graph.matrix, _graph.vertex(source, n), *tail, nargout=nargout)
        distances[k] = _graph.row(outputs[0])
        if return_predecessors:
            preds[k] = _graph.predecessors(outputs[1], n)
    if not keep_rows:
        distances = distances[0]
        preds = preds[0] if return_predecessors else None
    return (distances, preds) if return_predecessors else distances


def _edge_weights(graph):
    """The weight of every stored entry of a prepared graph, as the module reads it."""
    if graph.weights is not None:
        return graph.weights
    if graph.matrix.dtype == np.bool_:
        return np.ones(graph.matrix.nnz)
    return graph.matrix.data[: graph.matrix.nnz]


def _unweighted_graph(csgraph, directed, weights):
    if weights is not None:
        raise ValueError("weights and unweighted=True exclude each other")
    return _graph.prepare(csgraph, directed=directed)


def dijkstra(csgraph, directed=True, indices=None, return_predecessors=False, unweighted=False, *,
             weights=None, trace=0):
    """Return shortest-path distances by Dijkstra's algorithm, as scipy.sparse.csgraph does.

    Weights must not be negative on any edge that a source reaches.
    {parameters}

    Raises
    ------
    HostError
        "genokit:linkworkhgw:NotValidNode" for a source outside the graph,
        "genokit:linkworkhgw:DijkstraAlgorithmError" for a negative weight
        that a source reaches.

    Notes
    -----
    Raw code "dij", once per source: ``call("dij", trace, directed, G, s + 1,
    [W,] nargout=2)`` gives 1-by-N distances and predecessors (1-based, 0 at
    the source, NaN unreached). With ``unweighted=True`` the raw code is "spb"
    (breadth-first edge counts). With ``directed=False`` the graph passed is
    the strict lower triangle of G + G.T, which the module reads as undirected.

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
           [-9999, -9999, -9999, -9999]])
    >>> linkwork.dijkstra(graph, indices=2, unweighted=True)
    array([1., 2., 0., 1.])

    See also
    --------
    shortest_path, bellman_ford, scipy.sparse.csgraph.dijkstra
    """
    if unweighted:
        graph = _unweighted_graph(csgraph, directed, weights)
        return _single_source("spb", graph, directed, indices, return_predecessors, trace)
    graph = _graph.prepare(csgraph, directed=directed, weights=weights)
    return _single_source("dij", graph, directed, indices, return_predecessors, trace)


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
    HostError
        "genokit:linkworkhgw:NotValidNode" for a source outside the graph.

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
    (array([0., 4., 1.]), array([-9999,     0,     0]))
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
    graph = _graph.prepare(csgraph, directed=directed, weights=weights)
    result = _single_source("bel", graph, directed, indices, return_predecessors, trace)
    if not directed:
        _refuse_reached_negative_edges(graph, result[0] if return_predecessors else result)
    return result


def _refuse_reached_negative_edges(graph, distances):
    negative = _edge_weights(graph) < 0
    if not negative.any():
        return
    rows = graph.matrix.indices[: graph.matrix.nnz][negative]
    reached = np.atleast_2d(distances) < np.inf
    if reached[:, rows].any():
        raise NegativeCycleError("genokit:linkworkhgw:NegativeCycle", "Negative cycle found in the Bellman-Ford algorithm.")


def dag_shortest_path(csgraph, directed=True, indices=None, return_predecessors=False, *, weights=None, trace=0):
    """Return shortest-path distances in a directed acyclic graph (or an undirected forest).

    Negative weights are allowed. Directed: the part of the graph that a
    source reaches must be acyclic. Undirected: the part that a source
    reaches must be a tree, where the path to each vertex is unique.
    {parameters}

    Raises
    ------
    HostError
        "genokit:linkworkhgw:DAGspAlgorithmError" when a source reaches a
        directed cycle; "linkwork:python:NotAForest" when, undirected, it
        reaches a cycle; "genokit:linkworkhgw:NotValidNode" for a source
        outside the graph.

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
    graph = _graph.prepare(csgraph, directed=directed, weights=weights)
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
    for reached in np.atleast_2d(distances) < np.inf:
        # A connected part with k vertices is a tree exactly when it has k - 1 edges.
        if np.count_nonzero(reached[rows] & reached[cols]) != np.count_nonzero(reached) - 1:
            raise HostError("linkwork:python:NotAForest",
                            "The undirected graph has a cycle that the source reaches; it must be a forest.")


def johnson(csgraph, directed=True, indices=None, unweighted=False, *, weights=None, trace=0):
    """Return all-pairs shortest-path distances by Johnson's algorithm, as scipy.sparse.csgraph does.

    Negative weights are allowed; a negative cycle anywhere in the graph is an
    error, and so is any negative edge of an undirected graph.
    {parameters}

    Returns
    -------
    dist_matrix : ndarray of float64
        Distances from each source (rows) to each vertex (columns); inf
        where there is no path. 1-d if `indices` is an integer.

    Raises
    ------
    NegativeCycleError
        The graph has a negative cycle.

    Notes
    -----
    Raw code "all", once: ``call("all", trace, directed, G, [W])`` gives the
    N-by-N matrix (row = source, column = target); `indices` selects its rows.
    ``unweighted=True`` passes custom weights of 1 for every stored entry. No
    predecessors: the raw code computes none.

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

    See also
    --------
    shortest_path, bellman_ford, scipy.sparse.csgraph.johnson
    """
    if unweighted:
        graph = _unweighted_graph(csgraph, directed, weights)
        graph = _graph.Graph(graph.matrix, np.ones(graph.matrix.nnz))
    else:
        graph = _graph.prepare(csgraph, directed=directed, weights=weights)
    n = graph.n
    sources, keep_rows = _graph.source_list(indices, n)
    if any(_graph.vertex(source, n) == 0.0 for source in sources):
        raise HostError("genokit:linkworkhgw:NotValidNode", "Source node index is invalid.")
    (distances,) = _graph.raw("all", trace, directed, *graph.inputs())
    if indices is None:
        return distances
    rows = distances[sources]
    return rows if keep_rows else rows[0]


def _has_negative_weights(csgraph, weights):
    if weights is not None:
        values = np.asarray(weights, dtype=np.float64)
    elif scipy.sparse.issparse(csgraph):
        values = csgraph.data
    else:
        values = np.asarray(csgraph)
    return values.dtype != np.bool_ and bool(np.any(values < 0))


def shortest_path(csgraph, method="auto", directed=True, return_predecessors=False, unweighted=False,
                  overwrite=False, indices=None, *, weights=None, trace=0):
    """Return shortest-path distances, choosing the algorithm, as scipy.sparse.csgraph does.

    Parameters
    ----------
    csgraph : sparse matrix or array_like, shape (N, N)
        The graph, as in `dijkstra`.
    method : {'auto', 'D', 'BF', 'J'}, optional
        'D' Dijkstra, 'BF' Bellman-Ford, 'J' Johnson. 'auto' (default) takes
        Johnson for all pairs without predecessors, otherwise Bellman-Ford
        when some weight is negative and Dijkstra when none is.
        Floyd-Warshall ('FW') is not offered.
    directed, return_predecessors, unweighted, indices, weights, trace
        As in `dijkstra`. Method 'J' returns no predecessors.
    overwrite : bool, optional
        Accepted for compatibility; the input is never changed.

    Returns
    -------
    dist_matrix, predecessors
        As in `dijkstra`.

    Notes
    -----
    Raw codes: those of the chosen function ("dij", "bel", "all", and "spb"
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

    See also
    --------
    dijkstra, bellman_ford, johnson, scipy.sparse.csgraph.shortest_path
    """
    del overwrite
    if method == "auto":
        if indices is None and not return_predecessors:
            method = "J"
        elif not unweighted and _has_negative_weights(csgraph, weights):
            method = "BF"
        else:
            method = "D"
    options = dict(directed=directed, indices=indices, unweighted=unweighted, weights=weights, trace=trace)
    if method == "D":
        return dijkstra(csgraph, return_predecessors=return_predecessors, **options)
    if method == "BF":
        return bellman_ford(csgraph, return_predecessors=return_predecessors, **options)
    if method == "J":
        if return_predecessors:
            raise ValueError("method 'J' gives no predecessors; use 'D' or 'BF'")
        return johnson(csgraph, **options)
    raise ValueError(f"method must be 'auto', 'D', 'BF' or 'J', not {method!r}")


for _function, _parts in (
    (dijkstra, (_PATH_PARAMETERS, _RETURN_PARAMETERS, _UNWEIGHTED_PARAMETERS, _WEIGHT_PARAMETERS, _PATH_RETURNS)),
    (bellman_ford, (_PATH_PARAMETERS, _RETURN_PARAMETERS, _UNWEIGHTED_PARAMETERS, _WEIGHT_PARAMETERS,
                    _PATH_RETURNS)),
    (dag_shortest_path, (_PATH_PARAMETERS, _RETURN_PARAMETERS, _WEIGHT_PARAMETERS, _PATH_RETURNS)),
    (johnson, (_PATH_PARAMETERS, _UNWEIGHTED_PARAMETERS, _WEIGHT_PARAMETERS)),
):
    _docstring(_function, *_parts)
