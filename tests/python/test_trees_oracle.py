"""Spanning trees and isomorphism on random graphs, against NetworkX."""

import numpy as np
import pytest
import scipy.sparse as sp

import linkwork
from conftest import require

nx = pytest.importorskip("networkx")


def random_lower(rng, n, density, weights=True):
    """A random lower-triangle graph with stored zeros and a few upper/diagonal entries."""
    dense = np.tril(rng.random((n, n)) < density, -1)
    noise = rng.random((n, n)) < density / 4  # upper triangle and diagonal: never edges
    mask = dense | np.triu(noise)
    rows, cols = np.nonzero(mask)
    data = np.round(rng.uniform(-1 if weights == "negative" else 0, 5, len(rows)), 2)
    return sp.csc_matrix((data, (rows, cols)), shape=(n, n))


def nx_graph(a):
    g = nx.Graph()
    g.add_nodes_from(range(a.shape[0]))
    coo = sp.tril(a, -1).tocoo()
    g.add_weighted_edges_from(zip(coo.row, coo.col, coo.data))
    return g


def tree_edges(tree):
    coo = tree.tocoo()
    assert np.all(coo.row > coo.col)
    return list(zip(coo.row, coo.col, coo.data))


@pytest.mark.parametrize("seed", range(200))
def test_spanning_tree_weights_match_networkx(seed):
    require("pri", "kru")
    rng = np.random.default_rng(seed)
    n = int(rng.integers(1, 40))
    a = random_lower(rng, n, rng.choice([0.05, 0.2, 0.6]), weights="negative" if seed % 5 == 0 else True)
    g = nx_graph(a)
    root = int(rng.integers(0, n))
    forest, pred = linkwork.call("kru", 0, 0, a, root + 1, nargout=2)
    expected = sum(d["weight"] for *_, d in nx.minimum_spanning_edges(g, algorithm="kruskal", data=True))
    assert forest.sum() == pytest.approx(expected, rel=1e-12, abs=1e-12)
    edges = tree_edges(forest)
    assert all(g.has_edge(u, v) and g[u][v]["weight"] == w for u, v, w in edges)
    assert nx.is_forest(nx.Graph([(u, v) for u, v, _ in edges])) if edges else True
    component = nx.node_connected_component(g, root)
    pred = pred.ravel()
    assert np.isnan(pred[[v for v in range(n) if v not in component]]).all()
    if any(g[u][v]["weight"] < 0 for u, v in g.subgraph(component).edges):
        with pytest.raises(linkwork.HostError) as error:
            linkwork.call("pri", 0, 0, a, root + 1)
        assert error.value.identifier == "genokit:linkworkhgw:PrimAlgorithmError"
        return
    tree, prim_pred = linkwork.call("pri", 0, 0, a, root + 1, nargout=2)
    sub = g.subgraph(component)
    assert tree.sum() == pytest.approx(sum(d["weight"] for *_, d in nx.minimum_spanning_edges(sub, data=True)),
                                       rel=1e-12, abs=1e-12)
    prim_pred = prim_pred.ravel()
    for v in component:
        p = int(prim_pred[v]) - 1
        assert (v == root and p == -1) or g.has_edge(v, p)


def relabel(a, permutation, directed):
    """The graph with vertex v renamed permutation[v]; undirected edges stay in the lower triangle."""
    coo = a.tocoo()
    rows, cols = permutation[coo.row], permutation[coo.col]
    if not directed:
        rows, cols = np.maximum(rows, cols), np.minimum(rows, cols)
    return sp.csc_matrix((coo.data, (rows, cols)), shape=a.shape)


@pytest.mark.parametrize("seed", range(200))
def test_isomorphism_matches_networkx(seed):
    require("iso")
    rng = np.random.default_rng(1000 + seed)
    n = int(rng.integers(0, 14))
    directed = seed % 2 == 0
    mask = rng.random((n, n)) < rng.choice([0.0, 0.15, 0.4])
    if not directed:
        mask = np.tril(mask, -1)
    a = sp.csc_matrix(mask.astype(float))
    if seed % 3 == 0 and a.nnz:
        # A near miss: move one edge, keeping the counts the pre-test sees.
        rows, cols = a.nonzero()
        b = mask.copy()
        b[rows[0], cols[0]] = False
        free = np.argwhere(~b & (np.tril(np.ones_like(b), -1) if not directed else np.ones_like(b)).astype(bool))
        if len(free):
            i, j = free[rng.integers(len(free))]
            b[i, j] = True
        second = sp.csc_matrix(b.astype(float))
    else:
        second = relabel(a, rng.permutation(n), directed)
    second = relabel(second, rng.permutation(n), directed)
    make = nx.DiGraph if directed else nx.Graph
    expected = nx.is_isomorphic(nx.from_scipy_sparse_array(a, create_using=make),
                                nx.from_scipy_sparse_array(second, create_using=make))
    answer, mapping = linkwork.call("iso", 0, 1 if directed else 0, a, second, nargout=2)
    assert bool(answer[0, 0]) == expected
    if expected:
        m = mapping.ravel().astype(int) - 1
        assert sorted(m) == list(range(n))
        rows, cols = a.nonzero()
        mapped = set(zip(m[rows], m[cols]))
        if not directed:
            mapped = {(max(u, v), min(u, v)) for u, v in mapped}
        assert mapped == set(zip(*second.nonzero()))
    else:
        assert mapping.shape == (0, 0)
