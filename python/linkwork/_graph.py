"""Graph preparation and result conversion shared by the Pythonic API.

Every function of the API turns its graph into one canonical form, once, before
the raw call: a square CSC matrix of float64 (or bool) with sorted row indices
and no duplicate entries, where every stored entry is an edge, row to column.
"""

import operator

import numpy as np
import scipy.sparse

from ._call import call

# The predecessor of a start vertex and of an unreached vertex, as in scipy.sparse.csgraph.
NULL_VERTEX = -9999


class Graph:
    """A graph ready for the raw call: ``matrix`` and optional custom ``weights``."""

    __slots__ = ("matrix", "weights")

    def __init__(self, matrix, weights=None):
        self.matrix = matrix
        self.weights = weights

    @property
    def n(self):
        return self.matrix.shape[1]

    def inputs(self):
        """The graph input, followed by the custom weights when there are any."""
        return (self.matrix,) if self.weights is None else (self.matrix, self.weights)


def _real_dtype(dtype, name):
    if dtype == np.bool_:
        return np.dtype(bool)
    if dtype.kind in "iuf":
        return np.dtype(np.float64)
    raise TypeError(f"{name} must hold real numbers or booleans, not {dtype}")


def _entries_of_dense(csgraph, name):
    array = np.asarray(csgraph)
    if array.ndim != 2 or array.shape[0] != array.shape[1]:
        raise ValueError(f"{name} must be a square matrix, not of shape {array.shape}")
    dtype = _real_dtype(array.dtype, name)
    values = array.astype(dtype, copy=False)
    # As in scipy.sparse.csgraph: zeros, infinities and NaN of a dense matrix are not edges.
    present = values if dtype == np.bool_ else (values != 0) & np.isfinite(values)
    rows, cols = np.nonzero(present)
    return array.shape[0], rows, cols, values[rows, cols]


def _combine(values, starts, how):
    if values.dtype == np.bool_:
        if how == "sum":
            values = values.astype(np.float64)
        else:
            return np.logical_or.reduceat(values, starts)
    # fmin lets a number win over NaN, which marks no edge.
    return (np.add if how == "sum" else np.fmin).reduceat(values, starts)


def _column_major_order(n, rows, cols):
    """The permutation that sorts entries by column, then row, ties in input order.

    The same permutation as ``np.lexsort((rows, cols))``, computed as two stable
    counting sorts (by row, then by column) with SciPy's compiled COO-to-CSR
    conversion: linear time instead of a comparison sort, three times faster on
    10^7 entries. Falls back to lexsort where that routine is missing.
    """
    count = rows.size
    try:
        from scipy.sparse._sparsetools import coo_tocsr
    except ImportError:
        return np.lexsort((rows, cols))
    # One column of zeros stands in for the second index; read and written in place,
    # it stays zero.
    starts = np.empty(n + 1, dtype=np.int64)
    zeros = np.zeros(count, dtype=np.int64)
    by_row = np.empty(count, dtype=np.int64)
    coo_tocsr(n, 1, count, rows, zeros, np.arange(count, dtype=np.int64), starts, zeros, by_row)
    order = np.empty(count, dtype=np.int64)
    coo_tocsr(n, 1, count, cols[by_row], zeros, by_row, starts, zeros, order)
    return order


def _compress(n, rows, cols, values, weights, how):
    """Canonical CSC from entry lists; duplicate entries are combined by `how`."""
    order = _column_major_order(n, rows, cols)
    rows, cols, values = rows[order], cols[order], values[order]
    if weights is not None:
        weights = weights[order]
    if rows.size:
        fresh = np.empty(rows.size, dtype=bool)
        fresh[0] = True
        fresh[1:] = (rows[1:] != rows[:-1]) | (cols[1:] != cols[:-1])
        if not fresh.all():
            starts = np.flatnonzero(fresh)
            rows, cols = rows[starts], cols[starts]
            values = _combine(values, starts, how)
            if weights is not None:
                weights = _combine(weights, starts, how)
    indptr = np.zeros(n + 1, dtype=np.int64)
    np.cumsum(np.bincount(cols, minlength=n), out=indptr[1:])
    matrix = scipy.sparse.csc_matrix((n, n), dtype=values.dtype)
    matrix.data = np.ascontiguousarray(values)
    matrix.indices = np.ascontiguousarray(rows, dtype=np.int64)
    matrix.indptr = indptr
    return matrix, weights


def prepare(csgraph, *, directed=True, weights=None, combine="min", name="csgraph", weights_name="weights"):
    """The canonical graph of `csgraph` for one raw call.

    With ``directed=False`` the graph is folded into its strict lower triangle,
    the form the module reads undirected graphs in: an entry (i, j) or (j, i)
    becomes the edge at row max(i, j), column min(i, j), and diagonal entries
    (self-loops) are dropped. Two entries that land on one place, by folding or
    as duplicates, are combined: the lighter weight (``combine="min"``) or the
    sum (``combine="sum"``, for capacities). `weights` holds one value per
    stored entry of `csgraph`, in the order of ``csgraph.data``.
    """
    weight_values = None
    if scipy.sparse.issparse(csgraph):
        rows_count, cols_count = csgraph.shape
        if rows_count != cols_count:
            raise ValueError(f"{name} must be a square matrix, not of shape {csgraph.shape}")
        dtype = _real_dtype(csgraph.dtype, name)
        if weights is not None:
            if csgraph.format not in ("csr", "csc", "coo"):
                raise ValueError(f"{weights_name} need {name} in CSR, CSC or COO format, whose data order they follow")
            weight_values = np.asarray(weights, dtype=np.float64).ravel()
            if weight_values.size != csgraph.nnz:
                raise ValueError(
                    f"{weights_name} must hold one value per stored entry of {name} "
                    f"({csgraph.nnz}), not {weight_values.size}")
        if directed and weights is None and csgraph.format == "csc" and csgraph.has_canonical_format:
            matrix = csgraph if csgraph.dtype == dtype else csgraph.astype(dtype)
            return Graph(matrix)
        entries = csgraph.tocoo()
        n, rows, cols = rows_count, entries.row.astype(np.int64), entries.col.astype(np.int64)
        values = entries.data.astype(dtype, copy=False)
    else:
        if weights is not None:
            raise ValueError(f"{weights_name} need {name} as a sparse matrix, whose stored entries they follow")
        n, rows, cols, values = _entries_of_dense(csgraph, name)
        rows, cols = rows.astype(np.int64), cols.astype(np.int64)
    if not directed:
        rows, cols = np.maximum(rows, cols), np.minimum(rows, cols)
        off_diagonal = rows != cols
        rows, cols, values = rows[off_diagonal], cols[off_diagonal], values[off_diagonal]
        if weight_values is not None:
            weight_values = weight_values[off_diagonal]
    matrix, weight_values = _compress(n, rows, cols, values, weight_values, combine)
    return Graph(matrix, weight_values)


def flag(directed):
    """The raw directed flag."""
    return 1.0 if directed else 0.0


def trace_level(trace):
    level = operator.index(trace)
    if level not in (0, 1, 2):
        raise ValueError(f"trace must be 0, 1 or 2, not {trace!r}")
    return level


def vertex(index, n):
    """The raw 1-based vertex number of a 0-based index.

    An index outside 0..n-1 becomes 0, which the module rejects with the message
    of the argument's role ("Source node index is invalid." and so on).
    """
    index = operator.index(index)
    return float(index + 1) if 0 <= index < n else 0.0


def source_list(indices, n):
    """The sources of a path function and whether the result keeps one row per source."""
    if indices is None:
        return list(range(n)), True
    array = np.asarray(indices)
    if array.ndim == 0:
        return [operator.index(array[()])], False
    if array.ndim != 1 or not (array.size == 0 or np.issubdtype(array.dtype, np.integer)):
        raise ValueError("indices must be an integer or a 1-d sequence of integers")
    return [int(k) for k in array], True


def _checked_numbers(row, n, allowed_zero):
    values = np.asarray(row, dtype=np.float64).ravel()
    valid = np.isnan(values) | ((values >= (0 if allowed_zero else 1)) & (values <= n))
    if not valid.all() or not np.array_equal(values[~np.isnan(values)], np.floor(values[~np.isnan(values)])):
        raise RuntimeError("the module returned vertex numbers outside the graph")
    return values


def vertices(row, n):
    """0-based int64 vertices from a raw row of 1-based vertex numbers."""
    values = _checked_numbers(row, n, allowed_zero=False)
    if np.isnan(values).any():
        raise RuntimeError("the module returned vertex numbers outside the graph")
    return values.astype(np.int64) - 1


def predecessors(row, n):
    """csgraph-style predecessors from a raw row: NULL_VERTEX for the start and unreached vertices."""
    values = _checked_numbers(row, n, allowed_zero=True)
    result = np.full(values.size, NULL_VERTEX, dtype=np.int64)
    known = values >= 1
    result[known] = values[known].astype(np.int64) - 1
    return result


def row(array):
    """A raw 1-by-N output as a 1-d array (a view, no copy)."""
    return array.reshape(-1)


def raw(code, trace, directed, *inputs, nargout=1):
    """The raw call with the three control inputs in front."""
    return call(code, float(trace_level(trace)), flag(directed), *inputs, nargout=nargout)
