"""Maximum flow by the Edmonds-Karp and push-relabel algorithms."""

import warnings

import numpy as np
import scipy.sparse

from . import _api
from ._errors import InvalidVertexError

__all__ = ["maximum_flow", "MaximumFlowResult"]

_CODES = {"edmonds_karp": "edm", "push_relabel": "gol", "dinic": "edm"}


class MaximumFlowResult:
    """A maximum flow: its value ``flow_value`` and the flow matrix ``flow``.

    ``flow`` is a CSR matrix holding, as in scipy.sparse.csgraph, the net flow
    f at (i, j) and -f at (j, i) for every edge i -> j, on the stored entries
    of the graph and their mirrors (explicit zeros where no flow passes).
    ``residual`` is the same matrix under SciPy's deprecated name.
    """

    def __init__(self, flow_value, flow):
        self.flow_value = flow_value
        self.flow = flow

    @property
    def residual(self):
        """The flow matrix (deprecated name, as in SciPy; use ``flow``)."""
        warnings.warn("The attribute `residual` has been renamed to `flow` and will be removed in a future "
                      "release; use `flow` instead.", DeprecationWarning, stacklevel=2)
        return self.flow

    def __repr__(self):
        return f"MaximumFlowResult with value of {self.flow_value!r}"


def _capacities(graph):
    matrix = graph.matrix
    if graph.weights is not None:
        return np.asarray(graph.weights, dtype=np.float64)
    return np.asarray(matrix.data[: matrix.nnz], dtype=np.float64)


def _integral(csgraph, capacities):
    """Whether the capacities are integers by type, so that the flow is an integer matrix."""
    if capacities is not None:
        return np.asarray(capacities).dtype.kind in "iu"
    dtype = csgraph.dtype if hasattr(csgraph, "dtype") else np.asarray(csgraph).dtype
    return dtype.kind in "iu"


def _network(graph):
    """The raw capacity graph: stored zeros, NaN and self-loops dropped, opposite pairs split by new vertices.

    Returns the CSC matrix whose values are the capacities, the tails and
    heads of every stored edge of the input, and the head of the routed edge
    behind each new vertex.
    """
    n = graph.n
    matrix = graph.matrix
    # Entry (r, c) of the CSC matrix is the edge r -> c.
    tails = matrix.indices[: matrix.nnz].astype(np.int64)
    heads = np.repeat(np.arange(n, dtype=np.int64), np.diff(matrix.indptr))
    capacity = _capacities(graph)
    edge = (capacity != 0) & ~np.isnan(capacity) & (tails != heads)
    e_tails, e_heads, e_capacity = tails[edge], heads[edge], capacity[edge]
    keys = e_tails * n + e_heads
    order = np.argsort(keys, kind="stable")
    mirrored = e_heads * n + e_tails
    has_mirror = np.zeros(keys.size, dtype=bool)
    if keys.size:
        where = np.minimum(np.searchsorted(keys, mirrored, sorter=order), keys.size - 1)
        has_mirror = keys[order[where]] == mirrored
    # Of each opposite pair, the edge from the higher vertex goes through a new vertex.
    routed = np.flatnonzero(has_mirror & (e_tails > e_heads))
    extra = n + np.arange(routed.size, dtype=np.int64)
    targets = e_heads[routed]
    raw_tails = np.concatenate([e_tails, extra])
    raw_heads = e_heads.copy()
    raw_heads[routed] = extra
    raw_heads = np.concatenate([raw_heads, targets])
    raw_capacity = np.concatenate([e_capacity, e_capacity[routed]])
    size = n + routed.size
    network = scipy.sparse.csc_matrix((raw_capacity, (raw_tails, raw_heads)), shape=(size, size))
    network.sum_duplicates()
    return network, tails, heads, targets


def maximum_flow(csgraph, source, sink, *, method="dinic", capacities=None, trace=0):
    """Return a maximum flow from `source` to `sink`, as scipy.sparse.csgraph does.

    Capacities are real numbers, +inf included (a flow that only infinite
    capacities limit has value inf); negative capacities are an error. Stored
    zeros and NaN are not edges. Opposite edges (i, j) and (j, i) are allowed:
    the one from the higher vertex is routed through an added vertex for the
    raw call (which refuses opposite edges) and its flow folded back, so
    ``flow`` holds the net flow between the two. Integer capacities give an
    integer flow matrix and value, as in SciPy.

    linkwork is knowingly looser than SciPy: dense arrays, every sparse format
    and real capacities are accepted (SciPy wants CSR and integers).

    Parameters
    ----------
    csgraph : sparse matrix or array_like, shape (N, N)
        The directed graph; entry (i, j) is an edge from i to j whose
        capacity is the entry's value. Duplicate entries add up.
    source, sink : int
        The two vertices, 0-based and different.
    method : {'dinic', 'edmonds_karp', 'push_relabel'}, optional
        'edmonds_karp' runs Edmonds-Karp on the capacities as given;
        'push_relabel' runs push-relabel (Goldberg) on capacities scaled to
        61-bit integers (exact for integer capacities). linkwork has no
        Dinic's algorithm: 'dinic', SciPy's default and the default here, is
        served by Edmonds-Karp, exact on real capacities too.
    capacities : array_like, optional
        One capacity per stored entry of `csgraph` (sparse), in the order of
        ``csgraph.data``, used instead of the stored values.
    trace : {0, 1, 2}, optional
        Timing trace level of the module.

    Returns
    -------
    MaximumFlowResult
        ``flow_value`` (int for integer capacities, otherwise float) and
        ``flow`` (CSR, int32 or int64 for integer capacities, otherwise
        float64).

    Raises
    ------
    InvalidVertexError
        A source or sink outside the graph, or both the same (a
        ``ValueError``).
    InvalidWeightsError
        "genokit:linkworkhgw:NegativeEdges" for a negative capacity, or
        capacities of the wrong count (a ``ValueError``).

    Warns
    -----
    HostWarning
        "genokit:linkworkhgw:IllConditioned" when the smallest capacity is
        below machine epsilon times the largest.

    Notes
    -----
    Raw codes "edm" and "gol": ``call(code, trace, 1, G, source + 1, sink +
    1, nargout=2)`` gives the value and a CSC matrix F of the flow on each
    edge of G, here the capacity graph after the rewriting above; ``flow`` is
    the net flow F - F.T on the input's edges and their mirrors.

    Examples
    --------
    >>> import scipy.sparse as sp
    >>> import linkwork
    >>> graph = sp.csr_matrix(([5.0, 3.0, 1.0], ([0, 1, 0], [1, 2, 2])), shape=(3, 3))
    >>> result = linkwork.maximum_flow(graph, 0, 2)
    >>> result
    MaximumFlowResult with value of 4.0
    >>> result.flow.toarray()
    array([[ 0.,  3.,  1.],
           [-3.,  0.,  3.],
           [-1., -3.,  0.]])
    >>> pair = sp.csr_matrix([[0, 3, 0], [2, 0, 4], [0, 0, 0]])
    >>> result = linkwork.maximum_flow(pair, 0, 2, method="edmonds_karp")
    >>> result.flow_value, result.flow.dtype
    (3, dtype('int32'))

    See also
    --------
    scipy.sparse.csgraph.maximum_flow
    """
    if method not in _CODES:
        raise ValueError(f"method must be 'dinic', 'edmonds_karp' or 'push_relabel', not {method!r}")
    integral = _integral(csgraph, capacities)
    graph = _api.prepare(csgraph, weights=capacities, combine="sum", weights_name="capacities")
    n = graph.n
    first = _api.vertex(source, n, "source")
    last = _api.vertex(sink, n, "sink")
    if first == last:
        raise InvalidVertexError("genokit:linkworkhgw:NotValidNode",
                                 f"source and sink must differ, both are {int(first) - 1}")
    network, tails, heads, targets = _network(graph)
    value, edge_flow = _api.raw(_CODES[method], trace, True, network, first, last, nargout=2)
    flow = _net_flow(edge_flow, n, tails, heads, targets)
    flow_value = float(value[0, 0])
    if integral:
        flow_value = int(round(flow_value)) if np.isfinite(flow_value) else flow_value
        flow = _as_integers(flow)
    return MaximumFlowResult(flow_value, flow)


def _net_flow(edge_flow, n, tails, heads, targets):
    """The net flow between the input's vertices, on its edges and their mirrors."""
    flows = edge_flow.tocoo()
    f_tails, f_heads, f_values = flows.row.astype(np.int64), flows.col.astype(np.int64), flows.data
    # Flow on i -> new vertex is the flow of the routed edge i -> j; the new vertex's out-edge repeats it.
    into_new = f_heads >= n
    f_heads = np.where(into_new, targets[np.where(into_new, f_heads - n, 0)] if targets.size else 0, f_heads)
    keep = f_tails < n
    f_tails, f_heads, f_values = f_tails[keep], f_heads[keep], f_values[keep]
    rows = np.concatenate([f_tails, f_heads, tails, heads])
    cols = np.concatenate([f_heads, f_tails, heads, tails])
    values = np.concatenate([f_values, -f_values, np.zeros(2 * tails.size)])
    flow = scipy.sparse.csr_matrix((values, (rows, cols)), shape=(n, n))
    flow.sum_duplicates()
    return flow


def _as_integers(flow):
    values = np.rint(flow.data)
    dtype = np.int32 if values.size == 0 or np.max(np.abs(values)) <= np.iinfo(np.int32).max else np.int64
    result = scipy.sparse.csr_matrix((values.astype(dtype), flow.indices, flow.indptr), shape=flow.shape)
    return result
