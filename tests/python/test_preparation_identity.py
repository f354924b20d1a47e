"""The compiled preparation steps give the reference's arrays bit for bit, and refuse bad arrays safely.

reference_preparation.py holds the preparation as it was built from SciPy's
sparsetools and NumPy; both run on the same random graphs (every input format
and index dtype, unsorted and duplicate entries, explicit zeros, NaN with
payloads, signed zeros and infinities, bool, int and float values, custom
weights, both combine rules) and must agree on every array, dtype and error.

One exception: the sign and payload of a NaN that NumPy makes by adding two NaNs
depend on the arrays' alignment (np.add and np.add.reduceat pick either operand's
NaN), so the reference does not repeat them itself; where entries are added
(duplicates summed, or mirrors combined by "sum") NaN only has to meet NaN.
Everywhere else every bit counts: NaN payloads and signed zeros picked by fmin
included.
"""

import warnings

import numpy as np
import pytest
import scipy.sparse as sp

import linkwork
from linkwork import _api, _graph, _linkwork, trees
import reference_preparation as reference
from test_preparation import shaped, shuffled_compressed

# Summing inf and -inf in the random graphs warns, in the reference as in the package.
pytestmark = pytest.mark.filterwarnings("ignore::RuntimeWarning")

# NaN with a payload and with the sign bit, so that a combination that picks the other operand shows.
_ODD_NAN = np.array([0x7FF8000000000123, 0xFFF8000000000456], dtype=np.uint64).view(np.float64)
SPECIALS = np.concatenate([[np.nan, np.inf, -np.inf, 0.0, -0.0], _ODD_NAN])
VALUE_DTYPES = [np.float64, np.float64, np.float32, np.int64, np.int32, np.uint8, np.bool_]
FORMATS = ["csr", "csc", "coo", "csr sorted", "csc sorted", "lil", "dok", "bsr"]


def _entries(rng, n, shape):
    m = int(rng.integers(0, 2 * n * n + 1)) if n <= 8 else int(rng.integers(0, 4 * n))
    rows, cols = shaped(rng.integers(0, max(n, 1), m), rng.integers(0, max(n, 1), m), shape)
    if shape == "few rows":
        rows = rows % 3
    duplicates = rng.random() < 0.5
    if not duplicates:
        _, first = np.unique(rows * max(n, 1) + cols, return_index=True)
        rows, cols = rows[first], cols[first]
    return rows.astype(np.int64), cols.astype(np.int64), duplicates


def _values(rng, size, dtype):
    values = rng.integers(-3, 9, size).astype(np.float64)
    if dtype in (np.float64, np.float32):
        special = rng.random(size) < 0.2
        values[special] = rng.choice(SPECIALS, int(special.sum()))
    elif dtype == np.uint8:
        values = np.abs(values)
    return values.astype(dtype)


def random_case(seed):
    rng = np.random.default_rng(seed)
    n = int(rng.choice([0, 1, 2, 3, 5, 8, 40, 257, 600, 3000, 70000]))
    shape = str(rng.choice(["general", "general", "symmetric", "lower", "upper", "diagonal", "few rows"]))
    rows, cols, duplicates = _entries(rng, n, shape)
    values = _values(rng, rows.size, VALUE_DTYPES[rng.integers(len(VALUE_DTYPES))])
    fmt = FORMATS[rng.integers(len(FORMATS))]
    index_dtype = [np.int32, np.int64, np.int16, np.uint32][rng.choice(4, p=[0.45, 0.45, 0.05, 0.05])]
    if n > np.iinfo(index_dtype).max:
        index_dtype = np.int32
    if fmt in ("csr", "csc"):
        matrix = shuffled_compressed(fmt, n, rows, cols, values, rng, index_dtype)
    else:
        matrix = sp.coo_matrix((values, (rows, cols)), shape=(n, n))
        matrix.row, matrix.col = matrix.row.astype(index_dtype), matrix.col.astype(index_dtype)
        if fmt != "coo":
            matrix = matrix.asformat(fmt.split()[0])
            if fmt.endswith("sorted"):
                matrix.sum_duplicates()
                matrix.indices, matrix.indptr = matrix.indices.astype(index_dtype), matrix.indptr.astype(index_dtype)
    weights = None
    if fmt in ("csr", "csc", "coo") and rng.random() < 0.4:
        weights = _values(rng, matrix.nnz, np.float64)
    return matrix, weights, duplicates


def _stored_arrays(matrix):
    if matrix.format == "coo":
        return [matrix.row, matrix.col, matrix.data]
    if matrix.format in ("csr", "csc", "bsr"):
        return [matrix.indptr, matrix.indices, matrix.data]
    return []


def _outcome(function):
    with np.errstate(all="ignore"), warnings.catch_warnings():
        warnings.simplefilter("ignore")
        try:
            return function()
        except Exception as error:  # noqa: BLE001 -- compared by type and text
            return type(error), str(error)


def assert_same_array(got, want, any_nan=False):
    assert got.dtype == want.dtype and got.shape == want.shape
    if any_nan and got.dtype.kind == "f":
        nan = np.isnan(want)
        np.testing.assert_array_equal(np.isnan(got), nan)
        got, want = got[~nan], want[~nan]
    assert np.ascontiguousarray(got).tobytes() == np.ascontiguousarray(want).tobytes()


def assert_same_graph(got, want, given, any_nan=False):
    if isinstance(want, tuple):
        assert got == want
        return
    if want.matrix is given:
        assert got.matrix is given
    else:
        assert got.matrix.format == want.matrix.format == "csc" and got.matrix.shape == want.matrix.shape
        for name in ("indptr", "indices", "data"):
            assert_same_array(getattr(got.matrix, name), getattr(want.matrix, name), any_nan)
    assert (got.weights is None) == (want.weights is None)
    if want.weights is not None:
        assert_same_array(got.weights, want.weights, any_nan)


def assert_same_sparse(got, want, any_nan=False):
    assert got.format == want.format and got.shape == want.shape
    for name in ("indptr", "indices", "data"):
        assert_same_array(getattr(got, name), getattr(want, name), any_nan)


def some_tree(rng, graph):
    """A lower-triangular CSC matrix on some folded entries, their values mostly kept."""
    folded = graph.matrix.tocoo()
    keep = rng.random(folded.nnz) < 0.5
    values = np.asarray(folded.data if graph.weights is None else graph.weights, dtype=np.float64)[keep]
    values[rng.random(values.size) < 0.2] += 1.0
    n = graph.matrix.shape[0]
    return sp.csc_matrix((values, (folded.row[keep], folded.col[keep])), shape=(n, n))


@pytest.mark.parametrize("block", range(20))
def test_preparation_matches_the_reference_bit_for_bit(block):
    for seed in range(block * 30, block * 30 + 30):
        matrix, weights, duplicates = random_case(seed)
        before = [array.copy() for array in _stored_arrays(matrix)]
        for directed, combine in ((True, "min"), (False, "min"), (False, "sum")):
            want = _outcome(lambda: reference.prepare(matrix, directed=directed, weights=weights, combine=combine))
            got = _outcome(lambda: _graph.prepare(matrix, directed=directed, weights=weights, combine=combine))
            assert_same_graph(got, want, matrix, any_nan=duplicates or combine == "sum")
        if not isinstance(want, tuple) and matrix.shape[0]:
            folded = _graph.prepare(matrix, directed=False, weights=weights)
            tree = some_tree(np.random.default_rng(seed), folded)
            assert_same_sparse(trees._stored_where_given(matrix, weights, tree),
                               reference.stored_where_given(matrix, weights, tree), any_nan=duplicates)
        for old, new in zip(before, _stored_arrays(matrix)):
            assert_same_array(new, old)


@pytest.mark.parametrize("block", range(4))
def test_stored_values_are_those_of_the_directed_canonical_graph(block):
    for seed in range(2000 + 40 * block, 2040 + 40 * block):
        matrix, weights, duplicates = random_case(seed)
        n = matrix.shape[0]
        if n == 0:
            continue
        rng = np.random.default_rng(seed)
        graph = reference.prepare(matrix, directed=True, weights=weights)
        count = int(graph.matrix.indptr[-1])
        stored_rows = graph.matrix.indices[:count].astype(np.int64)
        stored_cols = np.repeat(np.arange(n), np.diff(graph.matrix.indptr.astype(np.int64)))
        stored = np.asarray(graph.matrix.data[:count] if weights is None else graph.weights, dtype=np.float64)
        # Every stored place and as many random ones, most of them empty.
        rows = np.concatenate([stored_rows, rng.integers(0, n, count + 5)]).astype(np.int64)
        cols = np.concatenate([stored_cols, rng.integers(0, n, count + 5)]).astype(np.int64)
        place = {(r, c): k for k, (r, c) in enumerate(zip(stored_rows.tolist(), stored_cols.tolist()))}
        want = np.array([stored[place[r, c]] if (r, c) in place else np.nan
                         for r, c in zip(rows.tolist(), cols.tolist())], dtype=np.float64)
        assert_same_array(_graph.stored_values(matrix, rows, cols, weights=weights), want, any_nan=duplicates)


@pytest.mark.parametrize("seed", range(12))
def test_minimum_spanning_tree_matches_the_reference_pipeline(seed):
    matrix, weights, duplicates = random_case(1000 + seed)
    if matrix.shape[0] == 0:
        return
    for method, code in (("kruskal", "kru"), ("prim", "pri")):
        def old_way():
            graph = reference.prepare(matrix, directed=False, weights=weights)
            inputs = (graph.matrix, 1.0) + (() if graph.weights is None else (graph.weights,))
            tree, _ = _api.raw(code, 0, False, *inputs, nargout=2)
            return reference.stored_where_given(matrix, weights, tree)

        want = _outcome(old_way)
        got = _outcome(lambda: linkwork.minimum_spanning_tree(matrix, method=method, weights=weights))
        if isinstance(want, tuple):
            assert got == want
        else:
            assert_same_sparse(got, want, any_nan=duplicates)


def test_unsigned_64_bit_indices_are_read_like_signed_ones():
    # SciPy's sparsetools refused uint64 index arrays ("unsupported data types"); they are valid indices.
    matrix = sp.csr_matrix(np.array([[0, 1.0, 2.0], [3.0, 0, 0], [0, 5.0, 0]]))
    unsigned = matrix.copy()
    unsigned.indptr, unsigned.indices = matrix.indptr.astype(np.uint64), matrix.indices.astype(np.uint64)
    for directed in (True, False):
        assert_same_graph(_graph.prepare(unsigned, directed=directed), _graph.prepare(matrix, directed=directed), None)


GOOD_PTR, GOOD_IDX = np.array([0, 2, 3, 3]), np.array([0, 2, 1])
BAD_ARRAYS = {
    "index past n": (GOOD_PTR, np.array([0, 3, 1])),
    "negative index": (GOOD_PTR, np.array([0, -1, 1])),
    "indptr decreasing": (np.array([0, 2, 1, 3]), GOOD_IDX),
    "indptr not from 0": (np.array([1, 2, 3, 3]), GOOD_IDX),
    "indptr past the indices": (np.array([0, 2, 3, 4]), GOOD_IDX),
    "indptr too short": (np.array([0, 2, 3]), GOOD_IDX),
}


@pytest.mark.parametrize("index_dtype", [np.int32, np.int64])
@pytest.mark.parametrize("fault", BAD_ARRAYS)
@pytest.mark.parametrize("step", ["transpose", "fold", "is_canonical", "stored_at"])
def test_compiled_steps_refuse_malformed_arrays(step, fault, index_dtype):
    indptr, indices = (array.astype(index_dtype) for array in BAD_ARRAYS[fault])
    data = [np.ones(indices.size)]
    calls = {
        "transpose": lambda: _linkwork.transpose(3, indptr, indices, data),
        "fold": lambda: _linkwork.fold(3, indptr, indices, data),
        "is_canonical": lambda: _linkwork.is_canonical(3, indptr, indices),
        "stored_at": lambda: _linkwork.stored_at(indptr, indices, data[0], np.array([1]), np.array([2])),
    }
    if step in ("is_canonical", "stored_at") and "index" in fault or step == "stored_at" and fault == "indptr too short":
        # They compare indices and never index with them; stored_at takes n from indptr.
        calls[step]()
        return
    with pytest.raises(ValueError):
        calls[step]()


@pytest.mark.parametrize("call", [
    lambda: _linkwork.compress(3, np.array([0, 3]), np.array([1, 1]), []),
    lambda: _linkwork.compress(3, np.array([0, 1]), np.array([1]), []),
    lambda: _linkwork.transpose(3, GOOD_PTR, GOOD_IDX, [np.ones(2)]),
    lambda: _linkwork.fold(3, GOOD_PTR, np.array([2, 0, 1]), [np.ones(3)]),  # unsorted column
    lambda: _linkwork.transpose(-1, GOOD_PTR, GOOD_IDX, []),
    lambda: _linkwork.fold(3, GOOD_PTR, GOOD_IDX, []),  # nothing to fold alongside
    lambda: _linkwork.stored_at(GOOD_PTR, GOOD_IDX, np.ones(2), np.array([0]), np.array([0])),
])
def test_compiled_steps_refuse_inconsistent_arguments(call):
    with pytest.raises(ValueError):
        call()


@pytest.mark.parametrize("indices", [GOOD_IDX.astype(np.float64), GOOD_IDX.astype(np.int16),
                                     np.array([0, 9, 2, 9, 1, 9])[::2]])
def test_compiled_steps_take_only_contiguous_int32_or_int64_indices(indices):
    with pytest.raises(TypeError):
        _linkwork.transpose(3, GOOD_PTR, indices, [])


def _old_numbers(row, n, allowed_zero):
    values = np.asarray(row, dtype=np.float64).ravel()
    valid = np.isnan(values) | ((values >= (0 if allowed_zero else 1)) & (values <= n))
    if not valid.all() or not np.array_equal(values[~np.isnan(values)], np.floor(values[~np.isnan(values)])):
        raise RuntimeError("the module returned vertex numbers outside the graph")
    return values


def _old_vertices(row, n):
    values = _old_numbers(row, n, allowed_zero=False)
    if np.isnan(values).any():
        raise RuntimeError("the module returned vertex numbers outside the graph")
    return values.astype(np.int64) - 1


def _old_predecessors(row, n):
    values = _old_numbers(row, n, allowed_zero=True)
    result = np.full(values.size, _graph.NULL_VERTEX, dtype=np.int64)
    known = values >= 1
    result[known] = values[known].astype(np.int64) - 1
    return result


@pytest.mark.parametrize("convert, old", [(_graph.vertices, _old_vertices), (_graph.predecessors, _old_predecessors)])
def test_vertex_numbers_from_the_module_convert_as_before(convert, old):
    rng = np.random.default_rng(7)
    for _ in range(400):
        n = int(rng.integers(0, 12))
        odd = np.array([np.nan, np.inf, -np.inf, -0.0, 0.0, 0.5, -1.0, n + 1.0, n - 0.5, 2.0**53, -2.0**63])
        numbers = rng.integers(1, n + 1, int(rng.integers(0, 9))).astype(np.float64) if n else np.zeros(0)
        if numbers.size and rng.random() < 0.5:
            numbers[rng.integers(numbers.size)] = rng.choice(odd)
        row = numbers.reshape(1, -1) if rng.random() < 0.5 else numbers
        want, got = _outcome(lambda: old(row, n)), _outcome(lambda: convert(row, n))
        if isinstance(want, tuple):
            assert got == want
        else:
            assert_same_array(got, want)
