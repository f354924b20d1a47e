"""Graph isomorphism."""

from . import _api, _graph

__all__ = ["is_isomorphic"]


def is_isomorphic(csgraph1, csgraph2, directed=True, *, return_mapping=False, trace=0):
    """Return True if two graphs are isomorphic.

    Only the sparsity patterns count, never the values. Directed graphs match
    self-loops with self-loops; undirected graphs join i and j by an entry
    (i, j) or (j, i) and ignore self-loops.

    Parameters
    ----------
    csgraph1, csgraph2 : sparse matrix or array_like, square
        The two graphs. Dense input: nonzero finite entries are edges.
    directed : bool, optional
        Compare as directed graphs (default) or as undirected ones.
    return_mapping : bool, optional
        Also return the vertex correspondence.
    trace : {0, 1, 2}, optional
        Timing trace level of the module.

    Returns
    -------
    isomorphic : bool
    mapping : ndarray of int64 or None
        Returned if `return_mapping`: mapping[k] is the vertex of `csgraph2`
        that vertex k of `csgraph1` corresponds to; None when the graphs are
        not isomorphic.

    Notes
    -----
    Raw code "iso": ``call("iso", trace, directed, G1, G2, nargout=2)`` gives
    a logical and a 1-based 1-by-N mapping (0-by-0 when false). With
    ``directed=False`` both graphs are passed as the strict lower triangles of
    G + G.T, so a graph stored symmetric and the same graph stored as one
    triangle compare equal (the module's size pre-test counts stored entries).

    Examples
    --------
    >>> import numpy as np
    >>> import linkwork
    >>> path = np.array([[0, 1, 0], [0, 0, 1], [0, 0, 0]])
    >>> other = np.array([[0, 0, 0], [1, 0, 0], [0, 1, 0]])
    >>> linkwork.is_isomorphic(path, other, return_mapping=True)
    (True, array([2, 1, 0]))
    >>> linkwork.is_isomorphic(path, np.array([[0, 1, 1], [0, 0, 0], [0, 0, 0]]))
    False

    See also
    --------
    connected_components
    """
    first = _api.prepare(csgraph1, directed=directed, name="csgraph1")
    second = _api.prepare(csgraph2, directed=directed, name="csgraph2")
    answer, mapping = _api.raw("iso", trace, directed, first.matrix, second.matrix, nargout=2)
    isomorphic = bool(answer[0, 0])
    if not return_mapping:
        return isomorphic
    return isomorphic, (_graph.vertices(mapping, second.n) if isomorphic else None)
