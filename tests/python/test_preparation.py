"""The preparation step: structure checks, summed duplicates, the undirected fold."""

import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest
import scipy.sparse as sp

import linkwork
from linkwork import _graph


def reference(n, rows, cols, values, weights, directed):
    """Dense oracle: duplicates summed, then (undirected) mirrors folded by the minimum."""
    summed = {}
    for k, (i, j) in enumerate(zip(rows, cols)):
        v, w = summed.get((i, j), (0.0, 0.0))
        summed[(i, j)] = (v + values[k], w + (weights[k] if weights is not None else 0.0))
    if not directed:
        folded = {}
        for (i, j), (v, w) in summed.items():
            if i == j:
                continue
            key = (max(i, j), min(i, j))
            if key in folded:
                v, w = np.fmin(folded[key][0], v), np.fmin(folded[key][1], w)
            folded[key] = (v, w)
        summed = folded
    keys = sorted(summed, key=lambda ij: (ij[1], ij[0]))  # column-major
    return keys, [summed[k][0] for k in keys], [summed[k][1] for k in keys]


def stored_entries(matrix):
    """(row, column) pairs and values of a matrix in its own data order."""
    coo = matrix.tocoo() if matrix.format == "coo" else None
    if matrix.format == "coo":
        return coo.row, coo.col, coo.data
    major = np.repeat(np.arange(matrix.shape[0 if matrix.format == "csr" else 1]), np.diff(matrix.indptr))
    minor = matrix.indices[: matrix.indptr[-1]]
    rows, cols = (major, minor) if matrix.format == "csr" else (minor, major)
    return rows, cols, matrix.data[: matrix.indptr[-1]]


def shuffled_compressed(fmt, n, rows, cols, values, rng, index_dtype=None):
    """A CSR or CSC matrix that stores entries unsorted and duplicated, as given
    (with index arrays of `index_dtype` when given, else SciPy's choice)."""
    major, minor = (rows, cols) if fmt == "csr" else (cols, rows)
    order = rng.permutation(major.size)
    order = order[np.argsort(major[order], kind="stable")]
    indptr = np.zeros(n + 1, dtype=np.int64)
    np.cumsum(np.bincount(major, minlength=n), out=indptr[1:])
    kind = sp.csr_matrix if fmt == "csr" else sp.csc_matrix
    if index_dtype is None:
        return kind((values[order], minor[order], indptr), shape=(n, n))
    matrix = kind((n, n), dtype=values.dtype)
    matrix.data, matrix.indices, matrix.indptr = values[order], minor[order].astype(index_dtype), indptr.astype(index_dtype)
    return matrix


SHAPES = ["general", "symmetric", "lower", "upper", "diagonal"]


def shaped(rows, cols, shape):
    """Entry ends made symmetric, triangular, diagonal or left general."""
    if shape == "symmetric":
        rows, cols = np.concatenate([rows, cols]), np.concatenate([cols, rows])
    elif shape in ("lower", "upper"):
        rows, cols = np.maximum(rows, cols), np.minimum(rows, cols)
        if shape == "upper":
            rows, cols = cols, rows
    elif shape == "diagonal":
        cols = rows
    return rows, cols


def random_entries(rng, n, shape, duplicates):
    m = int(rng.integers(0, 2 * n * n + 1))
    rows, cols = shaped(rng.integers(0, n, m), rng.integers(0, n, m), shape)
    if not duplicates:
        _, first = np.unique(rows * n + cols, return_index=True)
        rows, cols = rows[first], cols[first]
    values = rng.integers(-3, 9, rows.size).astype(np.float64)
    values[rng.random(rows.size) < 0.1] = np.nan
    return rows, cols, values


@pytest.mark.parametrize("fmt", ["csr", "csc", "coo", "csr canonical", "csc canonical"])
@pytest.mark.parametrize("shape", SHAPES)
def test_preparation_matches_the_dense_oracle(fmt, shape):
    rng = np.random.default_rng(abs(hash((fmt, shape))) % 2**32)
    for trial in range(40):
        n = int(rng.integers(1, 9))
        duplicates = "canonical" not in fmt and trial % 2 == 0
        rows, cols, values = random_entries(rng, n, shape, duplicates)
        if fmt == "coo":
            matrix = sp.coo_matrix((values, (rows, cols)), shape=(n, n))
        elif "canonical" in fmt:
            matrix = sp.coo_matrix((values, (rows, cols)), shape=(n, n)).asformat(fmt.split()[0])
            matrix.sort_indices()
        else:
            matrix = shuffled_compressed(fmt, n, rows, cols, values, rng)
        use_weights = trial % 3 == 0
        r, c, v = stored_entries(matrix)
        weights = rng.integers(0, 5, v.size).astype(np.float64) if use_weights else None
        before = [a.copy() for a in (r, c, v)]
        for directed in (True, False):
            prepared = _graph.prepare(matrix, directed=directed, weights=weights)
            keys, want_values, want_weights = reference(n, r, c, v, weights, directed)
            got = prepared.matrix
            assert got.format == "csc" and got.indices.dtype == np.int64 or got is matrix
            got_rows, got_cols, got_values = stored_entries(got)
            assert list(zip(got_rows.tolist(), got_cols.tolist())) == [tuple(map(int, k)) for k in keys]
            np.testing.assert_array_equal(got_values, want_values)
            if use_weights:
                np.testing.assert_array_equal(prepared.weights, want_weights)
        # The caller's matrix is read, never written.
        for old, new in zip(before, stored_entries(matrix)):
            np.testing.assert_array_equal(old, new)


def test_duplicates_are_summed_before_the_mirror_takes_the_minimum():
    # (0, 1) stored twice sums to 6; its mirror (1, 0) weighs 4, the lighter of the pair.
    graph = sp.coo_matrix(([5.0, 1.0, 4.0], ([0, 0, 1], [1, 1, 0])), shape=(2, 2))
    np.testing.assert_array_equal(linkwork.dijkstra(graph, indices=0), [0.0, 6.0])
    np.testing.assert_array_equal(linkwork.dijkstra(graph, directed=False, indices=0), [0.0, 4.0])
    assert linkwork.minimum_spanning_tree(graph).sum() == 4.0


def test_logical_duplicates_and_mirrors_stay_edges():
    graph = sp.coo_matrix((np.array([True, False, True]), ([0, 0, 1], [1, 1, 0])), shape=(2, 2))
    for directed in (True, False):
        prepared = _graph.prepare(graph, directed=directed).matrix
        assert prepared.dtype == np.bool_ and prepared.nnz == (2 if directed else 1) and prepared.data.all()


def _edited_indptr():
    matrix = sp.csr_matrix(np.ones((3, 3)))
    matrix.indptr[1] = 7
    return matrix


def _edited_indices():
    matrix = sp.csc_matrix(np.ones((3, 3)))
    matrix.indices[4] = -1
    return matrix


def _bad_coo():
    matrix = sp.coo_matrix(np.eye(3))
    matrix.col[0] = 3
    return matrix


MALFORMED = {
    "starts out of range": lambda: sp.csc_matrix(
        (np.ones(2), np.array([1, 2]), np.array([0, 100000, 2, 2])), shape=(3, 3)),
    "indptr edited": _edited_indptr,
    "negative index": _edited_indices,
    "coo index out of range": _bad_coo,
}

CALLS = {
    "topological_sort": lambda g: linkwork.topological_sort(g),
    "is_directed_acyclic_graph": lambda g: linkwork.is_directed_acyclic_graph(g),
    "breadth_first_order": lambda g: linkwork.breadth_first_order(g, 0),
    "depth_first_order": lambda g: linkwork.depth_first_order(g, 0, directed=False),
    "connected_components": lambda g: linkwork.connected_components(g),
    "strong components": lambda g: linkwork.connected_components(g, connection="strong"),
    "is_tree": lambda g: linkwork.is_tree(g),
    "dijkstra": lambda g: linkwork.dijkstra(g, indices=0),
    "shortest_path": lambda g: linkwork.shortest_path(g),
    "minimum_spanning_tree": lambda g: linkwork.minimum_spanning_tree(g),
    "maximum_flow": lambda g: linkwork.maximum_flow(g, 0, 2),
    "is_isomorphic": lambda g: linkwork.is_isomorphic(g, g),
}


@pytest.mark.parametrize("malformed", MALFORMED)
@pytest.mark.parametrize("function", CALLS)
def test_malformed_sparse_structure_is_a_value_error_in_every_function(malformed, function):
    with pytest.raises(ValueError):
        CALLS[function](MALFORMED[malformed]())


def test_a_tall_array_is_refused_before_anything_is_allocated_by_its_row_count():
    # 5e8 declared rows: one slot per row would take 4 GB, far above the 1 GB cap.
    script = """
        import resource, numpy as np, scipy.sparse as sp, linkwork
        resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30))
        tall = sp.csc_matrix((np.ones(2), (np.array([0, 499999999]), np.array([0, 2]))), shape=(500000000, 3))
        for call in (lambda: linkwork.call("top", 0, 1, tall), lambda: linkwork.topological_sort(tall),
                     lambda: linkwork.connected_components(tall)):
            try:
                call()
            except linkwork.HostError as error:
                print(error.identifier)
    """
    env = dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(linkwork.__file__)))
    done = subprocess.run([sys.executable, "-c", textwrap.dedent(script)], env=env, capture_output=True, text=True,
                          timeout=60)
    assert done.stdout.split() == ["genokit:linkworkhgw:NotSquareArray"] * 3, done.stderr[-500:]
