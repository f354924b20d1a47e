"""Traversals, components and the tree test on random graphs, against NetworkX, SciPy
and a reference depth-first search written from the module's rules."""

import numpy as np
import pytest
import scipy.sparse as sp
import scipy.sparse.csgraph as csg

import linkwork
from conftest import require

nx = pytest.importorskip("networkx")

WHITE, GRAY, GREEN, BLACK = 0, 1, 2, 4


def random_graph(rng, n, density):
    """Self-loops, stored zeros and isolated vertices included; rows sometimes unsorted."""
    mask = rng.random((n, n)) < density
    rows, cols = np.nonzero(mask)
    data = rng.integers(0, 3, len(rows)).astype(float)  # zeros are stored edges
    a = sp.csc_matrix((np.ones(len(rows)), (rows, cols)), shape=(n, n))
    a.data = data[: a.nnz] if a.nnz else a.data
    if rng.random() < 0.3:  # shuffle the row order inside each column
        for j in range(n):
            lo, hi = a.indptr[j], a.indptr[j + 1]
            order = rng.permutation(hi - lo)
            a.indices[lo:hi] = a.indices[lo:hi][order]
    return a


def adjacency(a, directed):
    """Each vertex's neighbours in the order the module's import adds them."""
    out = [[] for _ in range(a.shape[0])]
    for j in range(a.shape[0]):
        for i in a.indices[a.indptr[j]:a.indptr[j + 1]]:
            if directed:
                out[i].append(j)
            elif i > j:
                out[i].append(j)
                out[j].append(i)
    return out


def reference_dfs(out, s, limit):
    """The library's non-recursive depth-first visit with the depth-limit block."""
    n = len(out)
    color = [WHITE] * n
    pred = list(range(n))
    depth = [0] * n
    discovered, finished = [], []

    def examine(u, v):
        if depth[u] >= limit:
            color[u] = color[v]
            color[v] = GREEN

    color[s] = GRAY
    discovered.append(s)
    stack = [(s, 0)]
    while stack:
        u, k = stack.pop()
        while k < len(out[u]):
            v = out[u][k]
            examine(u, v)
            if color[v] == WHITE:
                depth[v], pred[v] = depth[u] + 1, u
                stack.append((u, k + 1))
                u, k = v, 0
                color[u] = GRAY
                discovered.append(u)
                continue
            if color[v] != GRAY and color[v] == GREEN:
                color[v] = color[u]
            k += 1
        color[u] = BLACK
        finished.append(u)
    return discovered, pred, finished, depth


def as_host(order):
    return [v + 1 for v in order]


@pytest.mark.parametrize("seed", range(200))
def test_depth_first_orders_match_the_reference(seed):
    require("dfs")
    rng = np.random.default_rng(seed)
    n = int(rng.integers(1, 30))
    a = random_graph(rng, n, rng.choice([0.03, 0.1, 0.3]))
    directed = seed % 2 == 0
    s = int(rng.integers(0, n))
    limit = [np.inf, 0, 1, 2, 3.5][seed % 5]
    found, pred, finished, depth = linkwork.call("dfs", 0, int(directed), a, s + 1, limit, nargout=4)
    ref = reference_dfs(adjacency(a, directed), s, n if np.isinf(limit) else int(limit))
    assert found.ravel().tolist() == as_host(ref[0])
    assert finished.ravel().tolist() == as_host(ref[2])
    reached = set(ref[0])
    expected_pred = [0 if v == s else (ref[1][v] + 1 if v in reached else np.nan) for v in range(n)]
    np.testing.assert_array_equal(pred.ravel(), expected_pred)
    expected_depth = [ref[3][v] if v in reached else np.inf for v in range(n)]
    np.testing.assert_array_equal(depth.ravel(), expected_depth)


@pytest.mark.parametrize("seed", range(200))
def test_breadth_first_depths_match_scipy(seed):
    require("bfs")
    rng = np.random.default_rng(500 + seed)
    n = int(rng.integers(1, 40))
    a = random_graph(rng, n, rng.choice([0.03, 0.1, 0.3]))
    directed = seed % 2 == 0
    graph = a if directed else sp.tril(a, -1)
    s = int(rng.integers(0, n))
    limit = [np.inf, 0, 1, 2, 3.7][seed % 5]
    found, pred, again, depth = linkwork.call("bfs", 0, int(directed), a, s + 1, limit, nargout=4)
    pattern = graph.copy()
    pattern.data[:] = 1.0
    distance = csg.shortest_path(pattern, directed=directed, unweighted=True, indices=s)
    expected = np.where(distance <= limit, distance, np.inf)
    np.testing.assert_array_equal(depth.ravel(), expected)
    assert sorted(found.ravel().astype(int) - 1) == sorted(np.flatnonzero(np.isfinite(expected)))
    np.testing.assert_array_equal(found, again)
    # Discovery is level by level, and each tree edge is an edge of the graph.
    assert np.all(np.diff(expected[found.ravel().astype(int) - 1]) >= 0)
    g = nx.from_scipy_sparse_array(pattern, create_using=nx.DiGraph if directed else nx.Graph)
    for v in found.ravel().astype(int)[1:] - 1:
        assert g.has_edge(int(pred[0, v]) - 1, v)


@pytest.mark.parametrize("seed", range(200))
def test_component_partitions_match_networkx(seed):
    require("wcc", "scc")
    rng = np.random.default_rng(900 + seed)
    n = int(rng.integers(0, 40))
    a = random_graph(rng, n, rng.choice([0.02, 0.05, 0.15])) if n else sp.csc_matrix((0, 0))
    digraph = nx.from_scipy_sparse_array(a, create_using=nx.DiGraph) if n else nx.DiGraph()
    lower = nx.from_scipy_sparse_array(sp.tril(a, -1), create_using=nx.Graph) if n else nx.Graph()
    cases = [("scc", 1, list(nx.strongly_connected_components(digraph))),
             ("wcc", 1, list(nx.weakly_connected_components(digraph))),
             ("wcc", 0, list(nx.connected_components(lower)))]
    for code, flag, expected in cases:
        count, labels = linkwork.call(code, 0, flag, a, nargout=2)
        assert int(count[0, 0]) == len(expected)
        ours = {}
        for v, label in enumerate(labels.ravel().astype(int)):
            ours.setdefault(label, set()).add(v)
        assert sorted(map(sorted, ours.values())) == sorted(map(sorted, expected))
        if code == "wcc" and n:
            # Labels grow with each component's lowest vertex.
            firsts = [min(ours[label]) for label in sorted(ours)]
            assert firsts == sorted(firsts)


@pytest.mark.parametrize("seed", range(200))
def test_tree_test_matches_networkx(seed):
    require("ist")
    rng = np.random.default_rng(1400 + seed)
    n = int(rng.integers(0, 25))
    if seed % 3 == 0 and n > 1:
        # A random tree, sometimes with one edge added or removed.
        t = nx.random_labeled_tree(n, seed=seed) if hasattr(nx, "random_labeled_tree") else nx.random_tree(n, seed=seed)
        edges = [(max(u, v), min(u, v)) for u, v in t.edges]
        if seed % 2:
            edges = edges[1:] if rng.random() < 0.5 else edges + [(n - 1, 0)]
        rows, cols = zip(*set(edges)) if edges else ((), ())
        a = sp.csc_matrix((np.ones(len(rows)), (rows, cols)), shape=(n, n))
    else:
        a = random_graph(rng, n, rng.choice([0.05, 0.15])) if n else sp.csc_matrix((0, 0))
    lower = nx.from_scipy_sparse_array(sp.tril(a, -1), create_using=nx.Graph) if n else nx.Graph()
    (answer,) = linkwork.call("ist", 0, 0, a)
    assert bool(answer[0, 0]) == (n > 0 and nx.is_tree(lower))
