"""Graph preparation and result conversion shared by the Pythonic API.

Every function of the API turns its graph into one canonical form, once, before
the raw call: a square CSC matrix of float64 (or bool) with sorted row indices
and no duplicate entries, where every stored entry is an edge, row to column.
"""

import operator

import numpy as np
import scipy.sparse

from . import _linkwork
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


# ---------------------------------------------------------------- structure checks

def _malformed(name, fault):
    return ValueError(f"{name} is a malformed sparse matrix: {fault}")


def _index_vector(array, name, label):
    if not isinstance(array, np.ndarray) or array.ndim != 1 or array.dtype.kind not in "iu":
        raise _malformed(name, f"its {label} must be a 1-d integer array")
    return array


def _check_range(indices, bound, name, label):
    if indices.size and (int(indices.min()) < 0 or int(indices.max()) >= bound):
        raise _malformed(name, f"{label} must lie in 0..{bound - 1}")


def _check_compressed(matrix, majors, minors, name):
    """Checks index pointers and indices of a compressed matrix (CSR, CSC, BSR)."""
    indptr = _index_vector(matrix.indptr, name, "indptr")
    indices = _index_vector(matrix.indices, name, "indices")
    if indptr.size != majors + 1:
        raise _malformed(name, f"indptr holds {indptr.size} entries, not {majors + 1}")
    if not isinstance(matrix.data, np.ndarray) or matrix.data.shape[:1] != indices.shape:
        raise _malformed(name, "data and indices differ in length")
    if indptr[0] != 0 or indptr[-1] > indices.size or (indptr[1:] < indptr[:-1]).any():
        raise _malformed(name, f"indptr must rise from 0 to at most {indices.size} without decreasing")
    _check_range(indices[: int(indptr[-1])], minors, name, "indices")


def _checked_sparse(matrix, name):
    """`matrix` with a structure that SciPy's compiled routines can read safely.

    Runs before any of them does: a matrix whose index arrays were edited after
    construction can make them read or write out of bounds. CSR, CSC, BSR and COO
    are checked in place; the other formats are converted to COO (by routines that
    do not trust stored indices) and that is checked.
    """
    shape = matrix.shape
    if len(shape) != 2 or not all(isinstance(s, (int, np.integer)) and s >= 0 for s in shape):
        raise _malformed(name, f"shape {shape!r} is not two non-negative integers")
    rows, cols = int(shape[0]), int(shape[1])
    fmt = matrix.format
    if fmt == "csr":
        _check_compressed(matrix, rows, cols, name)
    elif fmt == "csc":
        _check_compressed(matrix, cols, rows, name)
    elif fmt == "bsr":
        block_rows, block_cols = matrix.blocksize
        if (block_rows < 1 or block_cols < 1 or rows % block_rows or cols % block_cols
                or np.ndim(matrix.data) != 3 or matrix.data.shape[1:] != (block_rows, block_cols)):
            raise _malformed(name, "its blocks do not tile its shape")
        _check_compressed(matrix, rows // block_rows, cols // block_cols, name)
    else:
        if fmt != "coo":
            matrix = matrix.tocoo()
        row = _index_vector(matrix.row, name, "row indices")
        col = _index_vector(matrix.col, name, "column indices")
        if row.size != col.size or np.shape(matrix.data) != row.shape:
            raise _malformed(name, "row, col and data differ in length")
        _check_range(row, rows, name, "row indices")
        _check_range(col, cols, name, "column indices")
    return matrix


# ---------------------------------------------------------------- canonical form
#
# Compressed arrays (indptr, indices, data) are read as CSC throughout: indptr over
# columns, indices are rows. The CSR arrays of a matrix are the CSC arrays of its
# transpose, so CSR input reaches the column-major form by one transposition, and
# for an undirected graph by none at all (folding a matrix or its transpose gives
# the same lower triangle). The counting sorts and the fold are compiled steps of
# the extension (_linkwork): they read int32 and int64 indices as they are and
# make int64 ones.

def _wide(array):
    return np.ascontiguousarray(array, dtype=np.int64)


_READABLE_INDICES = (np.dtype(np.int32), np.dtype(np.int64))


def _readable(array):
    """An index array the compiled steps read without a copy (native int32 or int64), others widened."""
    if array.dtype in _READABLE_INDICES:
        return np.ascontiguousarray(array)
    return _wide(array)


def _transposed(n, indptr, indices, *datas):
    """The compressed arrays of the transpose, with every data array carried along.

    A stable counting sort by index: indices come out ascending within each
    column, equal entries in their stored order (as SciPy's csr_tocsc).
    """
    out_ptr, out_idx, out_datas, _ = _linkwork.transpose(n, indptr, indices, list(datas))
    return out_ptr, out_idx, out_datas


def _is_canonical(n, indptr, indices):
    """Indices strictly ascending within every column: sorted, no duplicates."""
    if indices.size < 2:
        return True
    return bool(_linkwork.is_canonical(n, indptr, indices))


def _add(values, starts):
    if values.dtype == np.bool_:
        return np.logical_or.reduceat(values, starts)
    return np.add.reduceat(values, starts)


def _summed(indptr, indices, datas):
    """Sorted compressed arrays with duplicate entries summed (as SciPy's sum_duplicates).

    Duplicates sit next to each other in sorted arrays, in stored order.
    """
    count = indices.size
    if count == 0:
        return indptr, indices, datas
    fresh = np.empty(count, dtype=bool)
    fresh[0] = True
    np.not_equal(indices[1:], indices[:-1], out=fresh[1:])
    fresh[indptr[:-1][indptr[:-1] < count]] = True  # each column's first entry
    if fresh.all():
        return indptr, indices, datas
    starts = np.flatnonzero(fresh)
    kept = np.zeros(count + 1, dtype=np.int64)
    np.cumsum(fresh, out=kept[1:])
    return kept[indptr], indices[starts], [_add(data, starts) for data in datas]


def _fold_combine(how, dtype):
    if dtype == np.bool_:
        return np.logical_or
    # fmin lets a number win over NaN, which marks no edge.
    return np.add if how == "sum" else np.fmin


def _folded(n, indptr, indices, datas, how):
    """The strict lower triangle of the undirected graph of canonical arrays.

    An entry (i, j) lands at row max(i, j), column min(i, j); diagonal entries
    are dropped; an entry and its mirror are combined by `how`, the one below
    the diagonal first. The compiled fold places every entry in one counting
    sort and a merge per column; the arrays are kept as they are when every
    entry already lies below the diagonal.
    """
    folded = _linkwork.fold(n, indptr, indices, list(datas))
    if folded is None:
        return _wide(indptr), _wide(indices), datas
    indptr, indices, values, at, mirrors = folded
    if at.size:
        for data, mirror in zip(values, mirrors):
            data[at] = _fold_combine(how, data.dtype)(data[at], mirror)
    return indptr, indices, values


def _csc(n, indptr, indices, values):
    # Built empty and then filled, so that SciPy keeps int64 indices as they are.
    matrix = scipy.sparse.csc_matrix((n, n), dtype=values.dtype)
    matrix.data = values
    matrix.indices = _wide(indices)
    matrix.indptr = _wide(indptr)
    matrix.has_canonical_format = True
    return matrix


def _entries_of_dense(csgraph, name):
    """The square dense graph as canonical CSR arrays (row-major), and its order."""
    array = np.asarray(csgraph)
    if array.ndim != 2 or array.shape[0] != array.shape[1]:
        raise ValueError(f"{name} must be a square matrix, not of shape {array.shape}")
    dtype = _real_dtype(array.dtype, name)
    values = array.astype(dtype, copy=False)
    # As in scipy.sparse.csgraph: zeros, infinities and NaN of a dense matrix are not edges.
    present = values if dtype == np.bool_ else (values != 0) & np.isfinite(values)
    rows, cols = np.nonzero(present)
    n = array.shape[0]
    indptr = np.zeros(n + 1, dtype=np.int64)
    np.cumsum(np.bincount(rows, minlength=n), out=indptr[1:])
    return n, indptr, cols.astype(np.int64), values[rows, cols]


class _Entries:
    """The stored entries of a graph as compressed arrays, after the structure checks.

    `datas` holds the values (float64 or bool) and then the custom weights, if
    any. Unless `canonical`, the arrays may hold unsorted and duplicate entries;
    None means not known yet.
    `matrix` is the checked sparse matrix itself when it can serve as the
    canonical directed graph as it is (canonical CSC of the graph's dtype, no
    weights, no extra storage), otherwise None.
    """

    __slots__ = ("n", "indptr", "indices", "datas", "canonical", "row_major", "matrix")

    def __init__(self, n, indptr, indices, datas, canonical, row_major, matrix=None):
        self.n, self.indptr, self.indices, self.datas = n, indptr, indices, datas
        self.canonical, self.row_major, self.matrix = canonical, row_major, matrix


def _checked_input(csgraph, weights, name, weights_name):
    """The checked square sparse `csgraph` in CSR, CSC or COO format, its vertex
    count, its value dtype and the custom weight values (None without weights)."""
    weight_values = None
    given_format = csgraph.format
    csgraph = _checked_sparse(csgraph, name)
    rows_count, cols_count = csgraph.shape
    if rows_count != cols_count:
        raise ValueError(f"{name} must be a square matrix, not of shape {csgraph.shape}")
    n = int(cols_count)
    dtype = _real_dtype(csgraph.dtype, name)
    if weights is not None:
        if given_format not in ("csr", "csc", "coo"):
            raise ValueError(f"{weights_name} need {name} in CSR, CSC or COO format, whose data order they follow")
        weight_values = np.asarray(weights, dtype=np.float64).ravel()
        if weight_values.size != csgraph.nnz:
            raise ValueError(
                f"{weights_name} must hold one value per stored entry of {name} "
                f"({csgraph.nnz}), not {weight_values.size}")
    if csgraph.format not in ("csr", "csc", "coo"):
        csgraph = _checked_sparse(csgraph.tocsr(), name)
    return csgraph, n, dtype, weight_values


def _entries(csgraph, weights, name, weights_name):
    """The checked entries of `csgraph` (sparse or dense) and its custom weights."""
    if not scipy.sparse.issparse(csgraph):
        if weights is not None:
            raise ValueError(f"{weights_name} need {name} as a sparse matrix, whose stored entries they follow")
        n, indptr, indices, values = _entries_of_dense(csgraph, name)
        return _Entries(n, indptr, indices, [values], canonical=True, row_major=True)
    csgraph, n, dtype, weight_values = _checked_input(csgraph, weights, name, weights_name)
    if csgraph.format == "coo":
        # A stable counting sort by row: CSR arrays, entries of a row in input order.
        datas = [np.asarray(csgraph.data).astype(dtype, copy=False)]
        if weight_values is not None:
            datas.append(weight_values)
        indptr, indices, datas = _linkwork.compress(n, _readable(csgraph.row), _readable(csgraph.col), datas)
        return _Entries(n, indptr, indices, datas, canonical=False, row_major=True)
    count = int(csgraph.indptr[-1])
    indptr, indices = _readable(csgraph.indptr), _readable(csgraph.indices[:count])
    values = csgraph.data[:count]
    row_major = csgraph.format == "csr"
    # CSR input learns whether it is canonical on its way to CSC, if it goes there.
    canonical = None if row_major else _is_canonical(n, indptr, indices)
    as_is = (not row_major and canonical and weight_values is None
             and csgraph.indices.size == count and values.dtype == dtype)
    datas = [values.astype(dtype, copy=False)]
    if weight_values is not None:
        datas.append(weight_values[:count])
    return _Entries(n, indptr, indices, datas, canonical, row_major, csgraph if as_is else None)


def _canonical(entries):
    """Sorted compressed arrays with duplicates summed, in the entries' own orientation.

    Returns (indptr, indices, datas, row_major); unsorted entries are sorted by
    one transposition, which flips the orientation.
    """
    if entries.canonical is None:
        entries.canonical = _is_canonical(entries.n, entries.indptr, entries.indices)
    if entries.canonical:
        return entries.indptr, entries.indices, entries.datas, entries.row_major
    # One transposition sorts; duplicates are then neighbours.
    indptr, indices, datas = _summed(*_transposed(entries.n, entries.indptr, entries.indices, *entries.datas))
    return indptr, indices, datas, not entries.row_major


def prepare(csgraph, *, directed=True, weights=None, combine="min", name="csgraph", weights_name="weights"):
    """The canonical graph of `csgraph` for one raw call.

    The structure of a sparse `csgraph` is checked first (ValueError when it is
    malformed); duplicate entries are then summed, as SciPy's sum_duplicates
    does. With ``directed=False`` the graph is folded into its strict lower
    triangle, the form the module reads undirected graphs in: an entry (i, j) or
    (j, i) becomes the edge at row max(i, j), column min(i, j), and diagonal
    entries (self-loops) are dropped. An entry and its mirror are combined into
    the lighter weight (``combine="min"``, where a number beats NaN) or their sum
    (``combine="sum"``, for capacities); boolean entries by logical or.
    `weights` holds one value per stored entry of `csgraph`, in the order of
    ``csgraph.data``, and is summed and folded alongside. COO and dense input are
    accepted; nonzero finite entries of a dense matrix are its edges.

    The caller's arrays are never written; a canonical CSC matrix (and, for an
    undirected graph, a strictly lower-triangular one) is used as it is.
    """
    entries = _entries(csgraph, weights, name, weights_name)
    if directed and entries.matrix is not None:
        return Graph(entries.matrix)
    n = entries.n
    if directed and entries.row_major and entries.canonical is None:
        # One transposition reaches CSC whether or not the input is canonical; it
        # sorts, and then only duplicates remain to be summed.
        indptr, indices, datas, canonical = _linkwork.transpose(n, entries.indptr, entries.indices, entries.datas)
        if not canonical:
            indptr, indices, datas = _summed(indptr, indices, datas)
        return Graph(_csc(n, indptr, indices, datas[0]), datas[1] if len(datas) > 1 else None)
    indptr, indices, datas, row_major = _canonical(entries)
    if directed:
        if row_major:
            indptr, indices, datas = _transposed(n, indptr, indices, *datas)
    else:
        indptr, indices, datas = _folded(n, indptr, indices, datas, combine)
    return Graph(_csc(n, indptr, indices, datas[0]), datas[1] if len(datas) > 1 else None)


def stored_values(csgraph, rows, cols, *, weights=None, name="csgraph", weights_name="weights"):
    """The value stored at each (rows[k], cols[k]) of `csgraph` as float64, NaN where none is.

    Values as the directed canonical graph holds them: duplicates summed, and the
    custom `weights` instead of the stored values when given. Looks up only the
    places asked for, with the same checks as :func:`prepare`.
    """
    entries = _entries(csgraph, weights, name, weights_name)
    indptr, indices, datas, row_major = _canonical(entries)
    rows, cols = _wide(rows), _wide(cols)
    majors, minors = (rows, cols) if row_major else (cols, rows)
    return _linkwork.stored_at(indptr, indices, np.ascontiguousarray(datas[-1]), majors, minors)


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


def _vertex_indices(row, n, predecessors):
    indices = _linkwork.vertex_indices(np.asarray(row, dtype=np.float64).ravel(), n, predecessors, NULL_VERTEX)
    if indices is None:
        raise RuntimeError("the module returned vertex numbers outside the graph")
    return indices


def vertices(row, n):
    """0-based int64 vertices from a raw row of 1-based vertex numbers."""
    return _vertex_indices(row, n, predecessors=False)


def predecessors(row, n):
    """csgraph-style predecessors from a raw row: NULL_VERTEX for the start and unreached vertices."""
    return _vertex_indices(row, n, predecessors=True)


def row(array):
    """A raw 1-by-N output as a 1-d array (a view, no copy)."""
    return array.reshape(-1)


def raw(code, trace, directed, *inputs, nargout=1):
    """The raw call with the three control inputs in front."""
    return call(code, float(trace_level(trace)), flag(directed), *inputs, nargout=nargout)
