"""Maximum flow by the Edmonds-Karp and push-relabel algorithms."""

from . import _graph

__all__ = ["maximum_flow", "MaximumFlowResult"]


class MaximumFlowResult:
    """A maximum flow: its value ``flow_value`` and the flow matrix ``flow``.

    ``flow`` is a CSR matrix holding, as in scipy.sparse.csgraph, f at (i, j)
    and -f at (j, i) for every edge i -> j that carries a flow f > 0.
    """

    def __init__(self, flow_value, flow):
        self.flow_value = flow_value
        self.flow = flow

    def __repr__(self):
        return f"MaximumFlowResult with value of {self.flow_value!r}"


def maximum_flow(csgraph, source, sink, *, method="edmonds_karp", capacities=None, trace=0):
    """Return a maximum flow from `source` to `sink`, as scipy.sparse.csgraph does.

    Capacities are real numbers, +inf included (a flow that only infinite
    capacities limit has value inf). Opposite edges (i, j) and (j, i) are not
    allowed, nor are negative capacities; a NaN capacity is no edge.

    Parameters
    ----------
    csgraph : sparse matrix or array_like, shape (N, N)
        The directed graph; entry (i, j) is an edge from i to j whose
        capacity is the entry's value. Duplicate entries add up.
    source, sink : int
        The two vertices, 0-based and different.
    method : {'edmonds_karp', 'push_relabel'}, optional
        Edmonds-Karp on the capacities as given (default), or push-relabel
        (Goldberg) on capacities scaled to 61-bit integers.
    capacities : array_like, optional
        One capacity per stored entry of `csgraph` (sparse), in the order of
        ``csgraph.data``, used instead of the stored values.
    trace : {0, 1, 2}, optional
        Timing trace level of the module.

    Returns
    -------
    MaximumFlowResult

    Raises
    ------
    HostError
        "genokit:linkworkhgw:NotValidNode" for a bad source or sink (or both
        the same), "genokit:linkworkhgw:ParallelEdges" for opposite edges,
        "genokit:linkworkhgw:NegativeEdges" for a negative capacity.

    Warns
    -----
    HostWarning
        "genokit:linkworkhgw:IllConditioned" when the smallest capacity is
        below machine epsilon times the largest.

    Notes
    -----
    Raw codes "edm" and "gol": ``call(code, trace, 1, G, source + 1, sink +
    1, [C], nargout=2)`` gives the value and a CSC matrix F of the flow on
    each edge; ``flow`` is F - F.T as CSR.

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
    >>> linkwork.maximum_flow(graph, 0, 2, method="push_relabel").flow_value
    4.0

    See also
    --------
    scipy.sparse.csgraph.maximum_flow
    """
    codes = {"edmonds_karp": "edm", "push_relabel": "gol"}
    if method not in codes:
        raise ValueError(f"method must be 'edmonds_karp' or 'push_relabel', not {method!r}")
    graph = _graph.prepare(csgraph, weights=capacities, combine="sum", weights_name="capacities")
    n = graph.n
    inputs = (graph.matrix, _graph.vertex(source, n), _graph.vertex(sink, n))
    if graph.weights is not None:
        inputs += (graph.weights,)
    value, edge_flow = _graph.raw(codes[method], trace, True, *inputs, nargout=2)
    return MaximumFlowResult(float(value[0, 0]), (edge_flow - edge_flow.T).tocsr())
