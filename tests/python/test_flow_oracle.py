"""Maximum flows on random graphs, against NetworkX, and the flow matrices' laws."""

import numpy as np
import pytest
import scipy.sparse as sp
from scipy.sparse import csgraph

import linkwork
from conftest import require

nx = pytest.importorskip("networkx")
# Stored zero capacities beside positive ones are warned about as ill-conditioned.
pytestmark = pytest.mark.filterwarnings("ignore::linkwork.HostWarning")


def random_capacity_graph(rng, n, density, integer):
    """Finite capacities, no reciprocal pairs (each unordered pair gets one direction)."""
    mask = np.triu(rng.random((n, n)) < density, 1)
    flip = rng.random((n, n)) < 0.5
    rows, cols = np.nonzero(mask)
    swap = flip[rows, cols]
    rows, cols = np.where(swap, cols, rows), np.where(swap, rows, cols)
    caps = rng.integers(0, 20, len(rows)).astype(float) if integer else np.round(rng.uniform(0, 10, len(rows)), 3)
    return sp.csc_matrix((caps, (rows, cols)), shape=(n, n))


def check_flow_laws(a, flow, value, s, t):
    assert np.all(flow.data > 0)
    cap = a.toarray()
    f = flow.toarray()
    assert np.all(f <= cap * (1 + 1e-12) + 1e-12)
    assert np.all(f[cap == 0] == 0)
    net = f.sum(axis=1) - f.sum(axis=0)
    inner = np.ones(a.shape[0], bool)
    inner[[s, t]] = False
    np.testing.assert_allclose(net[inner], 0, atol=1e-9 * max(1.0, cap.sum()))
    assert net[s] == pytest.approx(value, rel=1e-9, abs=1e-9)


@pytest.mark.parametrize("seed", range(200))
def test_flow_values_match_networkx(seed):
    require("edm", "gol")
    rng = np.random.default_rng(seed)
    n = int(rng.integers(2, 30))
    a = random_capacity_graph(rng, n, rng.choice([0.1, 0.3, 0.7]), integer=seed % 2 == 0)
    s, t = rng.choice(n, 2, replace=False)
    g = nx.DiGraph()
    g.add_nodes_from(range(n))
    coo = a.tocoo()
    for u, v, c in zip(coo.row, coo.col, coo.data):
        g.add_edge(u, v, capacity=c)
    expected = nx.maximum_flow_value(g, s, t)
    value, flow = linkwork.call("edm", 0, 1, a, s + 1, t + 1, nargout=2)
    assert value[0, 0] == pytest.approx(expected, rel=1e-9, abs=1e-9)
    check_flow_laws(a, flow, value[0, 0], s, t)
    gvalue, gflow = linkwork.call("gol", 0, 1, a, s + 1, t + 1, nargout=2)
    # Each cut edge loses at most one scaled unit, S / 2^61, to truncation.
    bound = a.nnz * max(a.sum(), 1.0) / 2.0**61 * 4
    assert abs(gvalue[0, 0] - expected) <= bound + 1e-9 * expected
    check_flow_laws(a, gflow, gvalue[0, 0], s, t)


def has_flow_cycle(flow):
    """A directed cycle of positive flow: a flowing self-loop or a strong component of two or more."""
    support = sp.csr_matrix(flow)
    support.eliminate_zeros()
    if np.any(support.diagonal() != 0):
        return True
    count, _ = csgraph.connected_components(support, directed=True, connection="strong")
    return count < support.shape[0]


@pytest.mark.parametrize("seed", range(60))
def test_push_relabel_flows_are_acyclic(seed):
    require("edm", "gol")
    rng = np.random.default_rng(1000 + seed)
    n = int(rng.integers(5, 61))
    a = random_capacity_graph(rng, n, rng.choice([0.15, 0.3, 0.5]), integer=True)
    s, t = (int(x) for x in rng.choice(n, 2, replace=False))
    expected = csgraph.maximum_flow(sp.csr_matrix(a).astype(np.int32), s, t).flow_value
    for code in ("gol", "edm"):
        value, flow = linkwork.call(code, 0, 1, a, s + 1, t + 1, nargout=2)
        assert value[0, 0] == pytest.approx(expected, rel=1e-12), code
        check_flow_laws(a, flow, value[0, 0], s, t)
        assert not has_flow_cycle(flow), code


@pytest.mark.parametrize("seed", range(20))
def test_cut_off_sink_gets_no_flow(seed):
    require("edm", "gol")
    rng = np.random.default_rng(2000 + seed)
    # Sparse graphs (about three neighbours a vertex) are where push-relabel used to
    # leave flow circling on the source's side.
    n = int(rng.integers(50, 200))
    a = random_capacity_graph(rng, n, 6 / n, integer=True).tolil()
    t = int(rng.integers(1, n))
    a[:, t] = 0  # nothing enters the sink
    a = a.tocsc()
    a.eliminate_zeros()
    for code in ("gol", "edm"):
        value, flow = linkwork.call(code, 0, 1, a, 1, t + 1, nargout=2)
        assert value[0, 0] == 0, code
        assert flow.nnz == 0, code
