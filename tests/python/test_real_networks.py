"""Every code on the real networks that graph-tool ships, against independent peers.

The networks are read with graph-tool and turned into SciPy sparse matrices: an
undirected network becomes a symmetric matrix (so directed codes see both directions
and undirected codes read its lower triangle), a directed one keeps its direction.
Weights are drawn from a seeded generator so that shortest paths and spanning trees
are not decided by ties alone.
"""

import os
import time

import numpy as np
import pytest
import scipy.sparse as sp
import scipy.sparse.csgraph as csg

import linkwork
from conftest import code_available, require

gt = pytest.importorskip("graph_tool.all")
nx = pytest.importorskip("networkx")

COLLECTION = os.path.join(os.path.dirname(gt.__file__), "collection")
LARGE = ["power", "email-Enron", "cond-mat-2005", "as-22july06"]
SMALL = ["karate", "celegansneural", "polblogs", "netscience"]


def load(name, seed=0):
    """The network as (directed CSC adjacency, lower-triangle CSC, is_directed)."""
    path = os.path.join(COLLECTION, name + ".gt.gz")
    if not os.path.exists(path):
        pytest.skip(f"{name} is not in graph_tool.collection here")
    g = gt.load_graph(path)
    edges = g.get_edges()[:, :2].astype(np.int64)
    edges = edges[edges[:, 0] != edges[:, 1]]  # self-loops would make every DAG test moot
    n = g.num_vertices()
    rows, cols = edges[:, 0], edges[:, 1]
    if not g.is_directed():
        rows, cols = np.concatenate([rows, cols]), np.concatenate([cols, rows])
    pattern = sp.csc_matrix((np.ones(len(rows)), (rows, cols)), shape=(n, n))
    pattern.sum_duplicates()
    pattern.data[:] = 1.0
    rng = np.random.default_rng(seed)
    # Symmetric weights for undirected networks: one draw per unordered pair.
    upper = sp.triu(pattern, 1).tocsc()
    upper.data = rng.uniform(0.5, 2.0, upper.nnz)
    if g.is_directed():
        weighted = pattern.copy()
        weighted.data = rng.uniform(0.5, 2.0, weighted.nnz)
    else:
        weighted = (upper + upper.T).tocsc()
    weighted.sort_indices()
    return weighted, sp.tril(weighted, -1).tocsc(), g.is_directed()


@pytest.fixture(scope="module", params=LARGE + SMALL)
def network(request):
    a, lower, directed = load(request.param)
    return request.param, a, lower, directed


def values(output):
    return np.asarray(output).ravel()


def test_components_match_scipy(network):
    require("wcc", "scc")
    name, a, lower, _ = network
    for code, connection, directed_flag in [("wcc", "weak", 1), ("scc", "strong", 1), ("wcc", "weak", 0)]:
        graph = lower + lower.T if directed_flag == 0 else a
        count, labels = linkwork.call(code, 0, directed_flag, a, nargout=2)
        expected_count, expected = csg.connected_components(graph, directed=True, connection=connection)
        assert int(values(count)[0]) == expected_count, (name, code)
        # Same partition: the pair (ours, theirs) is a bijection.
        pairs = set(zip(values(labels).astype(int), expected))
        assert len(pairs) == expected_count, (name, code)


def test_breadth_first_depths_match_scipy(network):
    require("bfs", "spb")
    name, a, _, _ = network
    source = 0
    unweighted = csg.shortest_path(a, directed=True, unweighted=True, indices=source)
    for depth in [np.inf, 2.0]:
        order, pred, _, depths = linkwork.call("bfs", 0, 1, a, source + 1, depth, nargout=4)
        expected = np.where(unweighted <= depth, unweighted, np.inf)
        np.testing.assert_array_equal(values(depths), expected, err_msg=name)
        assert set(values(order).astype(int) - 1) == set(np.flatnonzero(np.isfinite(expected)))
    distances, _ = linkwork.call("spb", 0, 1, a, source + 1, nargout=2)
    np.testing.assert_array_equal(values(distances), unweighted)


def test_depth_first_search_builds_a_tree_of_reachable_vertices(network):
    require("dfs")
    name, a, _, _ = network
    order, pred, finish, depth = (values(x) for x in linkwork.call("dfs", 0, 1, a, 1.0, np.inf, nargout=4))
    reachable = np.isfinite(csg.shortest_path(a, directed=True, unweighted=True, indices=0))
    assert set(order.astype(int) - 1) == set(np.flatnonzero(reachable)) == set(finish.astype(int) - 1)
    assert order[0] == 1 and finish[-1] == 1
    assert pred[0] == 0 and depth[0] == 0
    for v in np.flatnonzero(reachable)[1:] if reachable.sum() > 1 else []:
        if v == 0:
            continue
        u = int(pred[v]) - 1
        assert a[u, v] != 0, (name, v)  # a tree edge is an edge of the graph
        assert depth[v] == depth[u] + 1
    assert np.all(np.isnan(pred[~reachable])) and np.all(np.isinf(depth[~reachable]))


def test_weighted_shortest_paths_match_scipy(network):
    require("dij", "bel")
    name, a, lower, directed = network
    for flag, graph in [(1, a), (0, lower)]:
        expected = csg.dijkstra(graph, directed=bool(flag), indices=0)
        for code in ["dij", "bel"]:
            if code == "bel" and a.shape[0] > 5000:
                continue  # Bellman-Ford is O(N E); the small networks cover it
            distances, pred = linkwork.call(code, 0, flag, graph, 1.0, nargout=2)
            np.testing.assert_allclose(values(distances), expected, rtol=1e-12, err_msg=f"{name} {code} {flag}")


def test_acyclic_codes_on_the_index_oriented_network(network):
    require("top", "isd", "spa")
    name, a, _, _ = network
    dag = sp.triu(a, 1).tocsc()  # edges from lower to higher index: acyclic
    (acyclic,) = linkwork.call("isd", 0, 1, dag)
    assert bool(values(acyclic)[0])
    (cyclic,) = linkwork.call("isd", 0, 1, a)
    assert bool(values(cyclic)[0]) == nx.is_directed_acyclic_graph(nx.from_scipy_sparse_array(a, create_using=nx.DiGraph))
    (order,) = linkwork.call("top", 0, 1, dag)
    position = np.empty(a.shape[0], dtype=int)
    position[values(order).astype(int) - 1] = np.arange(a.shape[0])
    rows, cols = dag.nonzero()
    assert np.all(position[rows] < position[cols])
    distances, _ = linkwork.call("spa", 0, 1, dag, 1.0, nargout=2)
    np.testing.assert_allclose(values(distances), csg.dijkstra(dag, directed=True, indices=0), rtol=1e-12)


def test_spanning_trees_match_scipy_weight(network):
    require("pri", "kru")
    name, a, lower, _ = network
    forest_weight = csg.minimum_spanning_tree(lower + lower.T).sum()
    tree, pred = linkwork.call("kru", 0, 0, lower, 1.0, nargout=2)
    assert tree.sum() == pytest.approx(forest_weight, rel=1e-12), name
    count, labels = csg.connected_components(lower + lower.T, directed=False)
    root_component = labels == labels[0]
    sub = (lower + lower.T)[root_component][:, root_component]
    prim_tree, _ = linkwork.call("pri", 0, 0, lower, 1.0, nargout=2)
    assert prim_tree.sum() == pytest.approx(csg.minimum_spanning_tree(sub).sum(), rel=1e-12), name
    if code_available("ist"):
        (is_tree,) = linkwork.call("ist", 0, 0, tree)
        assert bool(values(is_tree)[0]) == (count == 1)


def test_maximum_flow_matches_scipy(network):
    require("edm", "gol")
    name, a, _, _ = network
    rng = np.random.default_rng(1)
    dag = sp.triu(a, 1).tocsc()  # no reciprocal pairs
    capacities = dag.copy()
    capacities.data = rng.integers(1, 10, capacities.nnz).astype(float)
    integer = sp.csr_matrix(capacities).astype(np.int32)
    sinks = [a.shape[0] - 1, a.shape[0] // 2]
    for sink in sinks:
        expected = csg.maximum_flow(integer, 0, sink).flow_value
        for code in ["edm", "gol"]:
            value, flow = linkwork.call(code, 0, 1, capacities, 1.0, float(sink + 1), nargout=2)
            assert values(value)[0] == pytest.approx(expected, rel=1e-9), (name, code, sink)


def test_all_pairs_match_scipy_on_the_smaller_networks(network):
    require("all")
    name, a, lower, _ = network
    if a.shape[0] > 2000:
        pytest.skip("all pairs is N^2 in memory and time")
    (distances,) = linkwork.call("all", 0, 1, a)
    np.testing.assert_allclose(distances, csg.johnson(a, directed=True), rtol=1e-12)


def test_isomorphic_to_a_relabelled_copy(network):
    require("iso")
    name, a, lower, directed = network
    rng = np.random.default_rng(3)
    permutation = rng.permutation(a.shape[0])
    p = sp.csc_matrix((np.ones(a.shape[0]), (np.arange(a.shape[0]), permutation)), shape=a.shape)
    relabelled = (p.T @ a @ p).tocsc()
    relabelled.sort_indices()
    started = time.monotonic()
    answer, mapping = linkwork.call("iso", 0, 1, a, relabelled, nargout=2)
    assert bool(values(answer)[0]), name
    m = values(mapping).astype(int) - 1
    rows, cols = a.nonzero()
    assert set(zip(m[rows], m[cols])) == set(zip(*relabelled.nonzero()))
    assert time.monotonic() - started < 60
    # The undirected variant on the lower triangles.
    lower_relabelled = sp.tril(relabelled, -1).tocsc() if not directed else None
    if lower_relabelled is not None:
        answer, mapping = linkwork.call("iso", 0, 0, lower, lower_relabelled, nargout=2)
        assert bool(values(answer)[0]), name
        m = values(mapping).astype(int) - 1
        rows, cols = lower.nonzero()
        mapped = {(max(u, v), min(u, v)) for u, v in zip(m[rows], m[cols])}
        assert mapped == set(zip(*lower_relabelled.nonzero()))
