"""Every code, in every variant, on thousands of random sparse graphs, against peers.

Graphs run from 0 to 300 vertices and from empty to dense, with self-loops, stored
zeros, NaN and +Inf entries (which weighted codes drop), logical arrays and unsorted
row indices. Where a peer computes the same thing (SciPy's csgraph, NetworkX) the
results must agree; exact visit orders are checked against the reference traversal
of test_traversal_oracle. The number of graphs and comparisons per code is printed
at the end of the run.
"""

import collections

import numpy as np
import pytest
import scipy.sparse as sp
import scipy.sparse.csgraph as csg

import linkwork
from test_traversal_oracle import adjacency, reference_dfs

nx = pytest.importorskip("networkx")

GRAPHS = 2000
BATCHES = 20
COMPARISONS = collections.Counter()
GRAPHS_SEEN = collections.Counter()


def compared(code, count=1):
    COMPARISONS[code] += count


def random_case(rng):
    size_class = rng.random()
    n = int(rng.integers(0, 41) if size_class < 0.7 else rng.integers(41, 121) if size_class < 0.95
            else rng.integers(121, 301))
    density = rng.choice([0.0, 2.0 / max(n, 1), 0.02, 0.1, 0.4 if n <= 60 else 0.05])
    mask = rng.random((n, n)) < density
    rows, cols = np.nonzero(mask)
    values = np.round(rng.uniform(0, 5, len(rows)), 2)
    special = rng.random(len(rows))
    values[special < 0.05] = 0.0
    values[(special >= 0.05) & (special < 0.08)] = np.nan
    values[(special >= 0.08) & (special < 0.10)] = np.inf
    a = sp.csc_matrix((np.ones(len(rows)), (rows, cols)), shape=(n, n))
    a.sort_indices()
    order = np.lexsort((rows, cols))
    a.data = values[order]
    if rng.random() < 0.2:
        for j in range(n):
            lo, hi = a.indptr[j], a.indptr[j + 1]
            perm = rng.permutation(hi - lo)
            a.indices[lo:hi] = a.indices[lo:hi][perm]
            a.data[lo:hi] = a.data[lo:hi][perm]
        a.has_sorted_indices = False
    logical = rng.random() < 0.15
    return a, logical


def pattern(a):
    """Every stored entry as an edge of weight 1."""
    p = a.copy()
    p.data = np.ones(p.nnz)
    return p


def finite_weights(a, logical):
    """The weighted graph the module builds: NaN and +Inf entries are not edges."""
    w = a.copy()
    if logical:
        w.data = np.ones(w.nnz)
    keep = np.isfinite(w.data)
    coo = w.tocoo()
    return sp.csc_matrix((coo.data[keep], (coo.row[keep], coo.col[keep])), shape=w.shape)


def module_graph(a, logical):
    if logical:  # the same structure, in the same stored order
        return sp.csc_matrix((np.ones(a.nnz, bool), a.indices.copy(), a.indptr.copy()), shape=a.shape)
    return a


def partition(labels):
    groups = collections.defaultdict(set)
    for v, label in enumerate(labels):
        groups[label].add(v)
    return sorted(map(sorted, groups.values()))


def check_unweighted(a, g, rng):
    n = a.shape[0]
    p = pattern(a)
    digraph = nx.from_scipy_sparse_array(p, create_using=nx.DiGraph)
    (acyclic,) = linkwork.call("isd", 0, 1, g)
    assert bool(acyclic[0, 0]) == nx.is_directed_acyclic_graph(digraph)
    compared("isd")
    if acyclic[0, 0]:
        (order,) = linkwork.call("top", 0, 1, g)
        position = np.empty(n, int)
        position[order.ravel().astype(int) - 1] = np.arange(n)
        assert all(position[u] < position[v] for u, v in digraph.edges)
    else:
        with pytest.raises(linkwork.HostError):
            linkwork.call("top", 0, 1, g)
    compared("top")
    for code, flag, graph, connection in [("scc", 1, p, "strong"), ("wcc", 1, p, "weak"),
                                          ("wcc", 0, sp.tril(p, -1), "weak")]:
        count, labels = linkwork.call(code, 0, flag, g, nargout=2)
        expected_count, expected = csg.connected_components(graph, directed=True, connection=connection)
        assert int(count[0, 0]) == expected_count
        assert partition(labels.ravel()) == partition(expected)
        compared(code)
    (tree,) = linkwork.call("ist", 0, 0, g)
    lower = nx.from_scipy_sparse_array(sp.tril(p, -1), create_using=nx.Graph) if n else nx.Graph()
    assert bool(tree[0, 0]) == (n > 0 and nx.is_tree(lower))
    compared("ist")
    if n == 0:
        return
    s = int(rng.integers(0, n))
    limit = rng.choice([np.inf, 0, 1, 2, 5])
    for directed in (1, 0):
        graph = p if directed else sp.tril(p, -1)
        found, pred, _, depth = linkwork.call("bfs", 0, directed, g, s + 1, limit, nargout=4)
        hops = csg.shortest_path(graph, directed=bool(directed), unweighted=True, indices=s)
        np.testing.assert_array_equal(depth.ravel(), np.where(hops <= limit, hops, np.inf))
        compared("bfs")
        found, pred, finished, depth = linkwork.call("dfs", 0, directed, g, s + 1, limit, nargout=4)
        ref = reference_dfs(adjacency(a, bool(directed)), s, n if np.isinf(limit) else int(limit))
        assert found.ravel().astype(int).tolist() == [v + 1 for v in ref[0]]
        assert finished.ravel().astype(int).tolist() == [v + 1 for v in ref[2]]
        compared("dfs")
        distances, _ = linkwork.call("spb", 0, directed, g, s + 1, nargout=2)
        np.testing.assert_array_equal(distances.ravel(), hops)
        compared("spb")


def check_weighted(a, g, logical, rng):
    n = a.shape[0]
    w = finite_weights(a, logical)
    if n == 0:
        (d,) = linkwork.call("all", 0, 1, g)
        assert d.shape == (0, 0)
        compared("all")
        return
    s = int(rng.integers(0, n))
    for directed in (1, 0):
        graph = w if directed else sp.tril(w, -1)
        expected = csg.dijkstra(graph, directed=bool(directed), indices=s)
        for code in ("dij", "bel"):
            distances, _ = linkwork.call(code, 0, directed, g, s + 1, nargout=2)
            np.testing.assert_allclose(distances.ravel(), expected, rtol=1e-12)
            compared(code)
        if n <= 60:
            (d,) = linkwork.call("all", 0, directed, g)
            np.testing.assert_allclose(d, csg.johnson(graph, directed=bool(directed)), rtol=1e-12, atol=1e-12)
            compared("all")
    dag = sp.triu(w, 1).tocsc()
    distances, _ = linkwork.call("spa", 0, 1, dag, s + 1, nargout=2)
    np.testing.assert_allclose(distances.ravel(), csg.dijkstra(dag, directed=True, indices=s), rtol=1e-12)
    compared("spa")
    lower = sp.tril(w, -1).tocsc()
    forest, _ = linkwork.call("kru", 0, 0, g, s + 1, nargout=2)
    assert forest.sum() == pytest.approx(csg.minimum_spanning_tree(lower).sum(), rel=1e-12, abs=1e-12)
    compared("kru")
    count, labels = csg.connected_components(pattern(lower), directed=False)
    keep = np.flatnonzero(labels == labels[s])
    tree, _ = linkwork.call("pri", 0, 0, g, s + 1, nargout=2)
    expected_tree = csg.minimum_spanning_tree(lower[keep][:, keep]).sum() if len(keep) > 1 else 0.0
    assert tree.sum() == pytest.approx(expected_tree, rel=1e-12, abs=1e-12)
    compared("pri")


def check_flow(a, rng):
    n = a.shape[0]
    if n < 2:
        return
    oriented = sp.triu(pattern(a) + pattern(a).T, 1).tocsc()
    capacities = oriented.copy()
    capacities.data = rng.integers(1, 10, capacities.nnz).astype(float)
    s, t = (int(x) for x in rng.choice(n, 2, replace=False))
    expected = csg.maximum_flow(sp.csr_matrix(capacities).astype(np.int32), s, t).flow_value
    for code in ("edm", "gol"):
        value, _ = linkwork.call(code, 0, 1, capacities, s + 1, t + 1, nargout=2)
        assert value[0, 0] == pytest.approx(expected, rel=1e-9)
        compared(code)


def check_isomorphism(a, rng):
    n = a.shape[0]
    if n > 40:
        return
    for directed in (1, 0):
        p = pattern(a) if directed else sp.tril(pattern(a), -1).tocsc()
        perm = rng.permutation(n)
        coo = p.tocoo()
        rows, cols = perm[coo.row], perm[coo.col]
        if not directed:
            rows, cols = np.maximum(rows, cols), np.minimum(rows, cols)
        other = sp.csc_matrix((np.ones(len(rows)), (rows, cols)), shape=(n, n))
        answer, mapping = linkwork.call("iso", 0, directed, p, other, nargout=2)
        assert bool(answer[0, 0])
        m = mapping.ravel().astype(int) - 1
        mapped = set(zip(m[coo.row], m[coo.col]))
        if not directed:
            mapped = {(max(u, v), min(u, v)) for u, v in mapped}
        assert mapped == set(zip(*other.nonzero()))
        compared("iso")


@pytest.mark.filterwarnings("ignore::linkwork.HostWarning")
@pytest.mark.parametrize("batch", range(BATCHES))
def test_every_code_agrees_with_its_peers(batch):
    rng = np.random.default_rng(20261208 + batch)
    for _ in range(GRAPHS // BATCHES):
        a, logical = random_case(rng)
        g = module_graph(a, logical)
        check_unweighted(a, g, rng)
        check_weighted(a, g, logical, rng)
        check_flow(a, rng)
        check_isomorphism(a, rng)
        GRAPHS_SEEN["graphs"] += 1


def summary_lines():
    lines = [f"differential suite: {GRAPHS_SEEN['graphs']} random graphs"]
    lines += [f"  {code}: {COMPARISONS[code]} comparisons" for code in sorted(COMPARISONS)]
    return lines
