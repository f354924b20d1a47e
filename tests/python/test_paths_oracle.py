"""Shortest paths on random graphs, against SciPy's csgraph, with every predecessor
vector checked to describe a shortest-path tree."""

import numpy as np
import pytest
import scipy.sparse as sp
import scipy.sparse.csgraph as csg

import linkwork
from conftest import require


def random_weighted(rng, n, density, negative=False, dag=False):
    mask = rng.random((n, n)) < density
    if dag:
        mask = np.triu(mask, 1)
    rows, cols = np.nonzero(mask)
    low = -2.0 if negative else 0.0
    weights = np.round(rng.uniform(low, 5.0, len(rows)), 3)
    weights[weights == 0] = 0.5  # SciPy reads a stored zero in a dense view as no edge
    return sp.csc_matrix((weights, (rows, cols)), shape=(n, n))


def check_tree(a, directed, s, distances, predecessors):
    """Each reached vertex's distance is its predecessor's plus the edge's weight."""
    w = a.toarray()
    for v in range(a.shape[0]):
        p = predecessors[v]
        if v == s:
            assert p == 0
        elif np.isinf(distances[v]):
            assert np.isnan(p)
        else:
            u = int(p) - 1
            weight = w[u, v] if directed else (w[u, v] if u > v else w[v, u])
            assert distances[v] == pytest.approx(distances[u] + weight, rel=1e-12, abs=1e-12)


def scipy_graph(a, directed):
    return a if directed else sp.tril(a, -1).tocsc()


@pytest.mark.parametrize("seed", range(200))
def test_dijkstra_and_breadth_first_match_scipy(seed):
    require("dij", "spb")
    rng = np.random.default_rng(seed)
    n = int(rng.integers(1, 40))
    a = random_weighted(rng, n, rng.choice([0.05, 0.15, 0.4]))
    directed = seed % 2 == 0
    s = int(rng.integers(0, n))
    graph = scipy_graph(a, directed)
    dist, pred = linkwork.call("dij", 0, int(directed), a, s + 1, nargout=2)
    np.testing.assert_allclose(dist.ravel(), csg.dijkstra(graph, directed=directed, indices=s), rtol=1e-12)
    check_tree(a, directed, s, dist.ravel(), pred.ravel())
    # The same weights given as custom weights, with the stored values scrambled.
    scrambled = a.copy()
    scrambled.data = rng.uniform(-9, 9, a.nnz)
    (custom,) = linkwork.call("dij", 0, int(directed), scrambled, s + 1, a.data.copy())
    np.testing.assert_array_equal(custom, dist)
    hops, hop_pred = linkwork.call("spb", 0, int(directed), a, s + 1, nargout=2)
    expected = csg.shortest_path(graph, directed=directed, unweighted=True, indices=s)
    np.testing.assert_array_equal(hops.ravel(), expected)


@pytest.mark.parametrize("seed", range(200))
def test_bellman_ford_and_dag_paths_match_scipy(seed):
    require("bel", "spa")
    rng = np.random.default_rng(300 + seed)
    n = int(rng.integers(1, 30))
    dag = random_weighted(rng, n, rng.choice([0.1, 0.3]), negative=True, dag=True)
    s = int(rng.integers(0, n))
    expected = csg.bellman_ford(dag, directed=True, indices=s)
    for code in ("bel", "spa"):
        dist, pred = linkwork.call(code, 0, 1, dag, s + 1, nargout=2)
        np.testing.assert_allclose(dist.ravel(), expected, rtol=1e-12, atol=1e-12)
        check_tree(dag, True, s, dist.ravel(), pred.ravel())
    positive = random_weighted(rng, n, rng.choice([0.1, 0.3]))
    dist, pred = linkwork.call("bel", 0, 0, positive, s + 1, nargout=2)
    np.testing.assert_allclose(dist.ravel(), csg.dijkstra(sp.tril(positive, -1), directed=False, indices=s),
                               rtol=1e-12)
    check_tree(positive, False, s, dist.ravel(), pred.ravel())


@pytest.mark.parametrize("seed", range(200))
def test_johnson_matches_scipy(seed):
    require("all")
    rng = np.random.default_rng(600 + seed)
    n = int(rng.integers(0, 25))
    directed = seed % 3 != 0
    if directed:
        # Negative weights without negative cycles: potentials keep cycles non-negative.
        a = random_weighted(rng, n, rng.choice([0.1, 0.3]))
        potential = rng.uniform(0, 3, n)
        coo = a.tocoo()
        coo.data = coo.data + potential[coo.row] - potential[coo.col]
        coo.data[coo.data == 0] = 0.25
        a = coo.tocsc()
    else:
        a = random_weighted(rng, n, rng.choice([0.1, 0.3]))
    (dist,) = linkwork.call("all", 0, int(directed), a)
    assert dist.shape == (n, n)
    if n == 0:
        return
    expected = csg.johnson(scipy_graph(a, directed), directed=directed)
    np.testing.assert_allclose(dist, expected, rtol=1e-12, atol=1e-12)
    assert not np.isnan(dist).any()
