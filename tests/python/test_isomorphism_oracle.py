"""The isomorphism code "iso" against igraph and NetworkX on relabelled copies and near misses.

Random, regular, structured and real networks (from graph_tool.collection): each
against a relabelled copy of itself, which must answer true with a mapping that is
checked edge by edge, and against a near miss (one edge moved to a vertex of another
degree, or a graph that only a search tells apart), which must answer false. The peers
decide every pair independently.
"""

import os
import random

import numpy as np
import pytest
import scipy.sparse as sp

import linkwork
from conftest import require

igraph = pytest.importorskip("igraph")
nx = pytest.importorskip("networkx")


def matrix(n, rows, cols, directed):
    """The module's input: every edge (directed) or the strict lower triangle (undirected)."""
    rows, cols = np.asarray(rows, dtype=np.int64), np.asarray(cols, dtype=np.int64)
    keep = rows != cols
    rows, cols = rows[keep], cols[keep]
    if not directed:
        rows, cols = np.maximum(rows, cols), np.minimum(rows, cols)
    a = sp.csc_matrix((np.ones(len(rows)), (rows, cols)), shape=(n, n))
    a.sum_duplicates()
    a.data[:] = 1.0
    a.sort_indices()
    return a


def relabelled(a, directed, rng):
    perm = rng.permutation(a.shape[0])
    coo = a.tocoo()
    return matrix(a.shape[0], perm[coo.row], perm[coo.col], directed)


def near_miss(a, directed, rng):
    """One end of one edge moved to a vertex of another degree that it is not joined to."""
    coo = a.tocoo()
    rows, cols = coo.row.copy(), coo.col.copy()
    n = a.shape[0]
    degree = np.bincount(np.concatenate([rows, cols]), minlength=n)
    present = set(zip(rows.tolist(), cols.tolist()))
    regular = degree.min() == degree.max()  # then any other vertex will do
    while True:
        k, w = int(rng.integers(len(rows))), int(rng.integers(n))
        u, v = int(rows[k]), int(cols[k])
        edge = (u, w) if directed else (max(u, w), min(u, w))
        if w not in (u, v) and (degree[w] != degree[v] or regular) and edge not in present:
            cols[k] = w
            if not directed:
                rows[k], cols[k] = edge
            return matrix(n, rows, cols, directed)


def peers(a, b, directed):
    """igraph's answer, and NetworkX's where its search is quick enough."""
    ga, gb = (igraph.Graph(n=m.shape[0], edges=np.transpose(m.nonzero()).tolist(),
                                  directed=directed) for m in (a, b))
    answers = [ga.isomorphic_vf2(gb) if directed else ga.isomorphic_bliss(gb)]
    degree = np.bincount(np.concatenate(a.nonzero()), minlength=a.shape[0])
    if a.shape[0] <= 300 and degree.min() < degree.max():  # VF2 can take minutes on regular graphs
        make = nx.DiGraph if directed else nx.Graph
        na, nb = make(), make()
        for graph, m in ((na, a), (nb, b)):
            graph.add_nodes_from(range(m.shape[0]))
            graph.add_edges_from(np.transpose(m.nonzero()).tolist())
        answers.append(nx.is_isomorphic(na, nb))
    return answers


def check(a, b, directed, expected, ask_peers=True):
    """The module agrees with the peers, and its mapping carries a's edges onto b's."""
    if ask_peers:
        answers = peers(a, b, directed)
        assert answers == [expected] * len(answers)
    answer, mapping = linkwork.call("iso", 0, 1 if directed else 0, a, b, nargout=2)
    assert bool(answer[0, 0]) is expected
    if expected:
        m = mapping.ravel().astype(np.int64) - 1
        assert sorted(m) == list(range(a.shape[0]))
        coo = a.tocoo()
        mapped = matrix(a.shape[0], m[coo.row], m[coo.col], directed)
        assert (mapped != b).nnz == 0 and mapped.nnz == b.nnz
    else:
        assert mapping.shape == (0, 0)


def random_graph(n, m, directed, rng):
    return matrix(n, rng.integers(0, n, m), rng.integers(0, n, m), directed)


def regular_graph(n, degree, seed):
    random.seed(seed)
    e = np.array(igraph.Graph.K_Regular(n, degree).get_edgelist())
    return matrix(n, e[:, 0], e[:, 1], False)


def cycles(lengths):
    rows, cols, start = [], [], 0
    for length in lengths:
        rows += range(start, start + length)
        cols += [start + (k + 1) % length for k in range(length)]
        start += length
    return matrix(start, rows, cols, False)


@pytest.mark.parametrize("directed", [False, True])
@pytest.mark.parametrize("n,per_vertex", [(40, 2), (300, 3), (2000, 5)])
def test_random_graphs(n, per_vertex, directed):
    require("iso")
    rng = np.random.default_rng(n + directed)
    a = random_graph(n, n * per_vertex, directed, rng)
    check(a, relabelled(a, directed, rng), directed, True)
    check(a, near_miss(relabelled(a, directed, rng), directed, rng), directed, False)


@pytest.mark.parametrize("n,degree", [(100, 3), (400, 3), (300, 4)])
def test_regular_graphs(n, degree):
    """Refinement leaves one class here: distance profiles and the search decide."""
    require("iso")
    rng = np.random.default_rng(n * degree)
    a = regular_graph(n, degree, n)
    check(a, relabelled(a, False, rng), False, True)
    check(a, regular_graph(n, degree, n + 1), False, False)  # another random graph of the same degree
    check(a, near_miss(a, False, rng), False, False)


@pytest.mark.parametrize("left,right", [
    ([6] * 100, [6] * 100),
    ([6] * 100, [6] * 99 + [3, 3]),
    ([4, 5, 6, 7], [7, 6, 5, 4]),
    ([2000], [1000, 1000]),
])
def test_unions_of_cycles(left, right):
    """Isomorphic exactly when the cycle lengths agree (bliss takes a minute on some of these)."""
    require("iso")
    rng = np.random.default_rng(len(left))
    a, b = cycles(left), cycles(right)
    check(a, relabelled(b, False, rng), False, sorted(left) == sorted(right), ask_peers=False)


@pytest.mark.parametrize("name", ["karate", "dolphins", "celegansneural", "netscience", "power"])
def test_real_networks(name):
    require("iso")
    gt = pytest.importorskip("graph_tool.all")
    path = os.path.join(os.path.dirname(gt.__file__), "collection", name + ".gt.gz")
    if not os.path.exists(path):
        pytest.skip(f"{name} is not in graph_tool.collection here")
    g = gt.load_graph(path)
    e = g.get_edges()
    directed = g.is_directed()
    a = matrix(g.num_vertices(), e[:, 0], e[:, 1], directed)
    rng = np.random.default_rng(5)
    check(a, relabelled(a, directed, rng), directed, True)
    check(a, near_miss(relabelled(a, directed, rng), directed, rng), directed, False)
