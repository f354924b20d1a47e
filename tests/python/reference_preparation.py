"""The preparation step as it was before its compiled steps: the reference of test_preparation_identity.py.

A frozen copy of linkwork/_graph.py's canonical form built from SciPy's
sparsetools and NumPy (and of trees._stored_where_given on top of it); the input
checks and the NumPy steps that did not change are the package's own. The
compiled preparation must give the same arrays, bit for bit.
"""

import numpy as np
import scipy.sparse

from linkwork._graph import Graph, _checked_input, _entries_of_dense, _fold_combine, _summed


def _sparsetools():
    try:
        from scipy.sparse import _sparsetools
    except ImportError:  # older SciPy
        from scipy.sparse import sparsetools as _sparsetools
    return _sparsetools


def _wide(array):
    return np.ascontiguousarray(array, dtype=np.int64)


def _transposed(n, indptr, indices, *datas):
    """The compressed arrays of the transpose, with every data array carried along.

    A stable counting sort by index (SciPy's compiled csr_tocsc): indices come out
    ascending within each column, equal entries in their stored order.
    """
    count = indices.size
    out_ptr = np.empty(n + 1, dtype=np.int64)
    out_idx = np.empty(count, dtype=np.int64)
    transpose = _sparsetools().csr_tocsc
    if len(datas) == 1:
        out = np.empty(count, dtype=datas[0].dtype)
        transpose(n, n, indptr, indices, datas[0], out_ptr, out_idx, out)
        return out_ptr, out_idx, [out]
    order = np.empty(count, dtype=np.int64)
    transpose(n, n, indptr, indices, np.arange(count, dtype=np.int64), out_ptr, out_idx, order)
    return out_ptr, out_idx, [data[order] for data in datas]


def _is_canonical(n, indptr, indices):
    """Indices strictly ascending within every column: sorted, no duplicates."""
    if indices.size < 2:
        return True
    return bool(_sparsetools().csr_has_canonical_format(n, indptr, indices))


def _part(indptr, keep, indices, datas):
    """The entries where `keep` holds, still compressed by column."""
    at = np.flatnonzero(keep)
    return np.searchsorted(at, indptr), indices[at], [data[at] for data in datas]


def _folded(n, indptr, indices, datas, how):
    """The strict lower triangle of the undirected graph of canonical arrays.

    An entry (i, j) lands at row max(i, j), column min(i, j); diagonal entries
    are dropped; an entry and its mirror are combined by `how`. The part below
    the diagonal is already in place and the part above it is transposed by one
    counting sort; the two sorted halves are then merged without a general sort,
    and not at all when either is empty (triangular input) or both have the same
    structure (symmetric input).
    """
    column = np.repeat(np.arange(n, dtype=np.int64), np.diff(indptr))
    below = indices > column
    above = indices < column
    del column
    count_below, count_above = int(np.count_nonzero(below)), int(np.count_nonzero(above))
    if count_below == indices.size:
        return indptr, indices, datas
    lower = _part(indptr, below, indices, datas) if count_below else None
    if count_above == 0:
        upper = None
    elif count_above == indices.size:
        upper = _transposed(n, indptr, indices, *datas)
    else:
        part_ptr, part_idx, part_datas = _part(indptr, above, indices, datas)
        upper = _transposed(n, part_ptr, part_idx, *part_datas)
    del below, above
    if upper is None:
        return lower if lower is not None else (np.zeros(n + 1, dtype=np.int64), indices[:0], [d[:0] for d in datas])
    if lower is None:
        return upper
    combine = [_fold_combine(how, data.dtype) for data in datas]
    if np.array_equal(lower[0], upper[0]) and np.array_equal(lower[1], upper[1]):
        return lower[0], lower[1], [f(a, b) for f, a, b in zip(combine, lower[2], upper[2])]
    return _merged(n, lower, upper, combine)


def _merged(n, first, second, combine):
    """The union of two canonical compressed structures, entries on one place combined.

    SciPy's compiled merge (csr_plus_csr) adds codes that name each entry's
    position in `first` (low bits) and in `second` (high bits); a sum is never
    zero, so the merge drops nothing.
    """
    size1, size2 = first[1].size, second[1].size
    shift = (size1 + 1).bit_length()
    if (size2 + 1).bit_length() + shift > 62:
        raise MemoryError(f"{size1 + size2} entries are too many to fold")
    code1 = np.arange(1, size1 + 1, dtype=np.int64)
    code2 = np.arange(1, size2 + 1, dtype=np.int64) << shift
    indptr = np.empty(n + 1, dtype=np.int64)
    indices = np.empty(size1 + size2, dtype=np.int64)
    codes = np.empty(size1 + size2, dtype=np.int64)
    _sparsetools().csr_plus_csr(n, n, first[0], first[1], code1, second[0], second[1], code2, indptr, indices, codes)
    del code1, code2
    count = int(indptr[-1])
    indices, codes = indices[:count], codes[:count]
    at1 = (codes & ((1 << shift) - 1)) - 1
    at2 = (codes >> shift) - 1
    in1, in2 = at1 >= 0, at2 >= 0
    datas = []
    for f, data1, data2 in zip(combine, first[2], second[2]):
        # -1 (absent) is clipped to a real position; np.where discards what it read.
        value1, value2 = data1.take(at1, mode="clip"), data2.take(at2, mode="clip")
        datas.append(np.where(in1, np.where(in2, f(value1, value2), value1), value2))
    return indptr, indices, datas


def _csc(n, indptr, indices, values):
    # Built empty and then filled, so that SciPy keeps int64 indices as they are.
    matrix = scipy.sparse.csc_matrix((n, n), dtype=values.dtype)
    matrix.data = values
    matrix.indices = indices
    matrix.indptr = indptr
    matrix.has_canonical_format = True
    return matrix


def prepare(csgraph, *, directed=True, weights=None, combine="min", name="csgraph", weights_name="weights"):
    """linkwork._graph.prepare as it was: the same contract, in NumPy and sparsetools steps."""
    weight_values = None
    if scipy.sparse.issparse(csgraph):
        csgraph, n, dtype, weight_values = _checked_input(csgraph, weights, name, weights_name)
        if csgraph.format == "coo":
            # A stable counting sort by row: CSR arrays, entries of a row in input order.
            count = csgraph.row.size
            indptr = np.empty(n + 1, dtype=np.int64)
            indices = np.empty(count, dtype=np.int64)
            order = np.empty(count, dtype=np.int64)
            _sparsetools().coo_tocsr(n, n, count, _wide(csgraph.row), _wide(csgraph.col),
                                     np.arange(count, dtype=np.int64), indptr, indices, order)
            values = csgraph.data[order].astype(dtype, copy=False)
            if weight_values is not None:
                weight_values = weight_values[order]
            canonical = False
            row_major = True
        else:
            count = int(csgraph.indptr[-1])
            indptr, indices = csgraph.indptr, csgraph.indices[:count]
            values = csgraph.data[:count]
            if weight_values is not None:
                weight_values = weight_values[:count]
            row_major = csgraph.format == "csr"
            canonical = _is_canonical(n, indptr, indices)
            if (directed and not row_major and canonical and weight_values is None
                    and csgraph.indices.size == count and values.dtype == dtype):
                return Graph(csgraph)
            values = values.astype(dtype, copy=False)
            indptr, indices = _wide(indptr), _wide(indices)
    else:
        if weights is not None:
            raise ValueError(f"{weights_name} need {name} as a sparse matrix, whose stored entries they follow")
        n, indptr, indices, values = _entries_of_dense(csgraph, name)
        canonical = row_major = True
    datas = [values] if weight_values is None else [values, weight_values]
    if not canonical:
        # One transposition sorts; duplicates are then neighbours.
        indptr, indices, datas = _summed(*_transposed(n, indptr, indices, *datas))
        row_major = not row_major
    if directed:
        if row_major:
            indptr, indices, datas = _transposed(n, indptr, indices, *datas)
    else:
        indptr, indices, datas = _folded(n, indptr, indices, datas, combine)
    return Graph(_csc(n, indptr, indices, datas[0]), datas[1] if len(datas) > 1 else None)


def stored_where_given(csgraph, weights, tree):
    """The tree with each edge {i, j} at (i, j) or (j, i), as the input stores it."""
    n = tree.shape[0]
    lower = tree.tocoo()
    rows, cols, values = lower.row.astype(np.int64), lower.col.astype(np.int64), lower.data.astype(np.float64)
    graph = prepare(csgraph, directed=True, weights=weights)
    matrix = graph.matrix
    keys = np.repeat(np.arange(n, dtype=np.int64), np.diff(matrix.indptr)) * n + matrix.indices[: matrix.nnz]
    stored = np.asarray(matrix.data[: matrix.nnz] if graph.weights is None else graph.weights, dtype=np.float64)

    def holds(r, c):
        # Whether (r, c) is stored with the tree weight of its edge.
        wanted = c * n + r
        where = np.minimum(np.searchsorted(keys, wanted), max(keys.size - 1, 0))
        if not keys.size:
            return np.zeros(wanted.size, dtype=bool)
        return (keys[where] == wanted) & (stored[where] == values)

    # The row-major first of the two places (the upper one) wins a tie, as in SciPy.
    upper = holds(cols, rows)
    out_rows = np.where(upper, cols, rows)
    out_cols = np.where(upper, rows, cols)
    return scipy.sparse.csr_matrix((values, (out_rows, out_cols)), shape=(n, n))
