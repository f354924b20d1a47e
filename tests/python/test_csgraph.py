"""linkwork.csgraph as a drop-in for scipy.sparse.csgraph, and the Pythonic errors."""

import doctest
import importlib
import io
import os
import pydoc

import numpy as np
import pytest
import scipy.sparse as sp
import scipy.sparse.csgraph as scg

import linkwork
from linkwork import _api, _errors, _graph, csgraph
from conftest import require


def random_graph(n, density, seed, negative=False, integers=False):
    """A CSR graph with distinct weights (so shortest paths and trees are unique), no self-loops."""
    rng = np.random.default_rng(seed)
    mask = rng.random((n, n)) < density
    np.fill_diagonal(mask, False)
    weights = rng.integers(1, 20, (n, n)) if integers else rng.uniform(1.0, 10.0, (n, n))
    if negative:
        weights = weights - 2.0
    return sp.csr_matrix(np.where(mask, weights, 0))


GRAPHS = [random_graph(n, d, seed) for seed, (n, d) in enumerate([(1, 0.0), (6, 0.4), (15, 0.2), (40, 0.08)])]


# ---------------------------------------------------------------- the namespace

def test_every_name_of_scipys_csgraph_is_there():
    missing = [name for name in scg.__all__ if not hasattr(csgraph, name)]
    assert not missing
    assert set(scg.__all__) <= set(csgraph.__all__)
    assert csgraph.NegativeCycleError is linkwork.NegativeCycleError
    assert csgraph.dijkstra is linkwork.dijkstra  # one implementation behind both imports


MODULES = ["linkwork", "linkwork.csgraph", "linkwork.paths", "linkwork.traversal", "linkwork.trees",
           "linkwork.flow", "linkwork.isomorphism", "linkwork._call", "linkwork._errors"]


@pytest.mark.parametrize("name", MODULES)
def test_every_docstring_example_runs(name):
    module = importlib.import_module(name)
    runner = doctest.DocTestRunner(optionflags=doctest.NORMALIZE_WHITESPACE)
    report = io.StringIO()
    tests = doctest.DocTestFinder().find(module, name, globs={})
    for test in tests:
        if getattr(test, "filename", None) and not test.filename.startswith(os.path.dirname(linkwork.__file__)):
            continue  # SciPy's own functions re-exported by linkwork.csgraph
        runner.run(test, out=report.write)
    assert runner.failures == 0, report.getvalue()


def test_help_opens_with_the_overview_and_skips_inherited_boilerplate():
    text = pydoc.render_doc(linkwork, renderer=pydoc.plaintext)
    head = "\n".join(text.splitlines()[:20])
    assert "raw code" in head and "counterpart" in head
    for name in linkwork.__all__:
        if callable(getattr(linkwork, name)) and not isinstance(getattr(linkwork, name), type):
            assert name in linkwork.__doc__, f"{name} is missing from the overview"
    assert "inherited from builtins.BaseException" not in text
    for name in ("InvalidVertexError", "OutOfMemoryError", "CallInterrupted", "NegativeCycleError"):
        assert name in linkwork.__doc__ and getattr(linkwork, name).__doc__, name
    assert isinstance(linkwork.__version__, str) and linkwork.__version__[0].isdigit()


# ---------------------------------------------------------------- errors

@pytest.mark.parametrize("call, message", [
    (lambda g: linkwork.dijkstra(g, indices=12), r"index 12 is out of range: the graph has 6 vertices \(0..5\)"),
    (lambda g: linkwork.bellman_ford(g, indices=[0, -1]), r"index -1 is out of range"),
    (lambda g: linkwork.johnson(g, indices=[[0], [6]]), r"index 6 is out of range"),
    (lambda g: linkwork.breadth_first_order(g, 6), r"i_start 6 is out of range: the graph has 6 vertices"),
    (lambda g: linkwork.depth_first_tree(g, -3), r"i_start -3 is out of range"),
    (lambda g: linkwork.minimum_spanning_tree(g, root=99), r"root 99 is out of range"),
    (lambda g: linkwork.maximum_flow(g, 0, 10**30), r"sink 1000000000000000000000000000000 is out of range"),
    (lambda g: linkwork.maximum_flow(g, 2, 2), r"source and sink must differ, both are 2"),
])
def test_a_bad_vertex_names_its_value_and_the_range(call, message):
    with pytest.raises(linkwork.InvalidVertexError, match=message) as caught:
        call(GRAPHS[1])
    assert isinstance(caught.value, ValueError) and isinstance(caught.value, linkwork.HostError)
    assert caught.value.identifier == "genokit:linkworkhgw:NotValidNode"


@pytest.mark.parametrize("call", [
    lambda g, w: linkwork.dijkstra(g, indices=0, weights=w),
    lambda g, w: linkwork.minimum_spanning_tree(g, weights=w),
    lambda g, w: linkwork.maximum_flow(g, 0, 1, capacities=w),
])
def test_a_short_weight_vector_names_both_counts(call):
    graph = GRAPHS[2]
    with pytest.raises(linkwork.InvalidWeightsError, match=f"expected {graph.nnz}, given 3$") as caught:
        call(graph, [1.0, 2.0, 3.0])
    assert isinstance(caught.value, ValueError)
    with pytest.raises(linkwork.InvalidWeightsError, match="not LIL"):
        call(graph.tolil(), np.ones(graph.nnz))


@pytest.mark.parametrize("csgraph_, error", [
    (sp.csr_matrix((2, 3)), linkwork.InvalidGraphError),
    (np.zeros((2, 2, 2)), linkwork.InvalidGraphError),
    (np.array([[None, 1], [1, None]]), linkwork.InvalidGraphError),
    (sp.csr_matrix((np.ones(2), np.array([0, 5]), np.array([0, 1, 2])), shape=(2, 2)), linkwork.InvalidGraphError),
])
def test_bad_graphs_are_value_errors(csgraph_, error):
    with pytest.raises(error) as caught:
        linkwork.dijkstra(csgraph_)
    assert isinstance(caught.value, ValueError)


@pytest.mark.parametrize("value, error", [
    ("1", TypeError), (True, TypeError), (-1, ValueError), (-0.5, ValueError)])
def test_depth_limits_are_type_checked(value, error):
    with pytest.raises(error):
        linkwork.breadth_first_order(GRAPHS[1], 0, depth_limit=value)


@pytest.mark.parametrize("kwargs", [{"indices": 1.5}, {"indices": "0"}, {"limit": "1"}, {"limit": -1}])
def test_path_arguments_are_type_checked(kwargs):
    with pytest.raises((TypeError, ValueError)):
        linkwork.dijkstra(GRAPHS[1], **kwargs)


@pytest.mark.parametrize("identifier, kind, builtin", [
    ("genokit:linkworkhgw:NotValidNode", linkwork.InvalidVertexError, ValueError),
    ("genokit:linkworkhgw:IncorrectSizeCustomCaps", linkwork.InvalidWeightsError, ValueError),
    ("genokit:linkworkhgw:NotSquareArray", linkwork.InvalidGraphError, ValueError),
    ("genokit:linkworkhgw:NotNumericDepth", linkwork.InvalidArgumentError, ValueError),
    ("genokit:linkworkhgw:TopoSortAlgorithmError", linkwork.GraphStructureError, ValueError),
    ("genokit:linkworkhgw:BFSAlgorithmError", linkwork.AlgorithmError, RuntimeError),
    ("genokit:linkworkhgw:NegativeCycle", linkwork.NegativeCycleError, scg.NegativeCycleError),
    ("linkwork:runtime:OutOfMemory", linkwork.OutOfMemoryError, MemoryError),
    ("linkwork:runtime:Interrupted", linkwork.CallInterrupted, KeyboardInterrupt),
])
def test_each_identifier_family_has_its_class(identifier, kind, builtin):
    translated = _errors.pythonic(linkwork.HostError(identifier, "text"))
    assert type(translated) is kind and isinstance(translated, builtin)
    assert (translated.identifier, translated.message) == (identifier, "text")


def test_the_raw_call_keeps_host_error_except_for_memory_and_interrupts():
    assert type(_errors.host_error("genokit:linkworkhgw:NotValidNode", "m")) is linkwork.HostError
    assert isinstance(_errors.host_error("linkwork:runtime:OutOfMemory", "m"), MemoryError)
    assert isinstance(_errors.host_error("linkwork:runtime:Interrupted", "m"), KeyboardInterrupt)
    with pytest.raises(linkwork.HostError) as caught:
        linkwork.call("top", 0, 1, sp.csc_matrix(([1.0], ([0], [0])), shape=(1, 1)))
    assert type(caught.value) is linkwork.HostError


def test_an_exhausted_allocation_in_the_module_is_a_memory_error(monkeypatch):
    def exhausted(*args, **kwargs):
        raise linkwork.ModuleError("std::bad_alloc")

    monkeypatch.setattr(_graph, "raw", exhausted)
    with pytest.raises(MemoryError) as caught:
        linkwork.dijkstra(GRAPHS[1], indices=0)
    assert isinstance(caught.value, linkwork.OutOfMemoryError)
    assert caught.value.identifier == "linkwork:runtime:OutOfMemory"


def test_an_all_pairs_matrix_beyond_memory_is_a_memory_error():
    require("all")
    with pytest.raises(MemoryError) as caught:
        linkwork.johnson(sp.csr_matrix((3 * 10**6, 3 * 10**6)))
    assert isinstance(caught.value, linkwork.OutOfMemoryError)
    assert caught.value.identifier == "linkwork:runtime:OutOfMemory"


def test_dijkstra_with_a_negative_weight_warns_as_scipy_and_answers_by_bellman_ford():
    graph = sp.csr_matrix(np.array([[0, 4.0, 1.0], [0, 0, 0], [0, -2.0, 0]]))
    with pytest.warns(UserWarning, match="Graph has negative weights") as record:
        found = linkwork.dijkstra(graph, indices=0, return_predecessors=True)
    assert record[0].filename == __file__
    np.testing.assert_array_equal(found[0], [0.0, -1.0, 1.0])
    np.testing.assert_array_equal(found[1], [-9999, 2, 0])
    with pytest.warns(UserWarning), pytest.raises(linkwork.NegativeCycleError):
        linkwork.dijkstra(graph, directed=False, indices=0)


# ---------------------------------------------------------------- shortest paths

@pytest.mark.parametrize("graph", GRAPHS[1:], ids=lambda g: f"n{g.shape[0]}")
@pytest.mark.parametrize("directed", [True, False])
@pytest.mark.parametrize("method", ["auto", "FW", "D", "BF", "J"])
def test_shortest_path_methods_match_scipy_with_predecessors(graph, directed, method):
    found = csgraph.shortest_path(graph, method, directed, True)
    # SciPy's own 'BF' reports a negative cycle in some undirected graphs of positive weights,
    # so Dijkstra's answer is the reference for every method.
    expected = scg.shortest_path(graph, "D", directed, True)
    np.testing.assert_allclose(found[0], expected[0])
    np.testing.assert_array_equal(found[1], expected[1])  # distinct weights: one shortest path each
    assert found[1].dtype == np.int32


@pytest.mark.parametrize("shape", [(), (3,), (3, 1), (2, 2), (0,)])
@pytest.mark.parametrize("function", [csgraph.dijkstra, csgraph.bellman_ford, csgraph.johnson])
def test_indices_of_any_shape_give_rows_of_that_shape(function, shape):
    graph = GRAPHS[2]
    indices = np.arange(int(np.prod(shape))).reshape(shape) if shape else 4
    dist, preds = function(graph, indices=indices, return_predecessors=True)
    expected = scg.dijkstra(graph, indices=np.ravel(indices), return_predecessors=True)
    assert dist.shape == np.shape(indices) + (15,) and preds.shape == dist.shape
    np.testing.assert_allclose(dist.reshape(-1, 15), expected[0].reshape(-1, 15))
    np.testing.assert_array_equal(preds.reshape(-1, 15), expected[1].reshape(-1, 15))


@pytest.mark.parametrize("seed", range(4))
def test_johnson_rows_with_negative_weights_match_the_all_pairs_code(seed):
    graph = random_graph(12, 0.25, seed + 10, negative=True)
    graph = sp.csr_matrix(np.triu(graph.toarray()) + np.tril(np.abs(graph.toarray())))  # negative edges in a DAG
    try:
        everything = linkwork.johnson(graph)
    except linkwork.NegativeCycleError:
        with pytest.raises(linkwork.NegativeCycleError):
            linkwork.johnson(graph, indices=0)
        return
    dist, preds = linkwork.johnson(graph, True, [3, 0, 7], True)
    np.testing.assert_allclose(dist, everything[[3, 0, 7]], atol=1e-9)
    np.testing.assert_allclose(csgraph.construct_dist_matrix(graph, linkwork.johnson(graph, True, None, True)[1]),
                               everything, atol=1e-9)


def test_johnson_takes_return_predecessors_fourth_as_scipy_does():
    graph = GRAPHS[2]
    found = linkwork.johnson(graph, True, None, True)
    assert isinstance(found, tuple) and len(found) == 2
    np.testing.assert_allclose(found[0], scg.johnson(graph, True, None, True)[0])


@pytest.mark.parametrize("limit", [0, 2.5, 7.0, np.inf])
@pytest.mark.parametrize("directed", [True, False])
def test_dijkstra_limit_matches_scipy(limit, directed):
    graph = GRAPHS[3]
    found = csgraph.dijkstra(graph, directed, [0, 5], True, limit=limit)
    expected = scg.dijkstra(graph, directed, [0, 5], True, limit=limit)
    np.testing.assert_allclose(found[0], expected[0])
    np.testing.assert_array_equal(found[1], expected[1])


@pytest.mark.parametrize("unweighted", [False, True])
@pytest.mark.parametrize("directed", [True, False])
def test_min_only_is_the_nearest_source(directed, unweighted):
    graph = GRAPHS[3]
    indices = [3, 17, 29]
    rows = linkwork.dijkstra(graph, directed, indices, unweighted=unweighted)
    dist, preds, sources = csgraph.dijkstra(graph, directed, indices, True, unweighted, min_only=True)
    np.testing.assert_allclose(dist, rows.min(axis=0))
    reached = np.isfinite(dist)
    np.testing.assert_array_equal(sources == -9999, ~reached)
    # Every vertex is served by a source at the minimal distance, along predecessors of that source.
    np.testing.assert_allclose(rows[[indices.index(s) for s in sources[reached]], np.flatnonzero(reached)],
                               dist[reached])
    for vertex in np.flatnonzero(reached):
        walk = vertex
        while preds[walk] != -9999:
            walk = preds[walk]
            assert sources[walk] == sources[vertex]
        assert walk == sources[vertex]


def test_floyd_warshall_matches_scipy():
    graph = GRAPHS[3]
    for directed in (True, False):
        found = csgraph.floyd_warshall(graph, directed, True)
        expected = scg.floyd_warshall(graph, directed, True)
        np.testing.assert_allclose(found[0], expected[0])
        np.testing.assert_array_equal(found[1], expected[1])


def test_construct_dist_matrix_reads_int64_predecessors():
    graph = GRAPHS[2]
    dist, preds = linkwork.shortest_path(graph, return_predecessors=True)
    np.testing.assert_allclose(csgraph.construct_dist_matrix(graph, preds.astype(np.int64)), dist)
    with pytest.raises(ValueError, match="predecessor 99 is out of range"):
        csgraph.construct_dist_matrix(graph, np.full((15, 15), 99))


# ---------------------------------------------------------------- traversal and trees

@pytest.mark.parametrize("graph", GRAPHS, ids=lambda g: f"n{g.shape[0]}")
@pytest.mark.parametrize("directed", [True, False])
def test_traversal_orders_and_trees_match_scipy(graph, directed):
    if not directed:
        # Undirected searches take neighbours in the module's stored order, not ascending:
        # the same vertices at the same breadth-first depths, possibly another tree.
        order, preds = csgraph.breadth_first_order(graph, 0, False)
        expected = scg.breadth_first_order(graph, 0, False)
        assert sorted(order) == sorted(expected[0]) and order.dtype == preds.dtype == np.int32
        depths = linkwork.dijkstra(graph, False, 0, unweighted=True)
        tree = csgraph.breadth_first_tree(graph, 0, False)
        np.testing.assert_array_equal(linkwork.dijkstra(tree, False, 0, unweighted=True), depths)
        return
    for name in ("breadth_first_order", "breadth_first_tree", "depth_first_tree"):
        found = getattr(csgraph, name)(graph, 0, directed)
        expected = getattr(scg, name)(graph, 0, directed)
        if name.endswith("tree"):
            assert found.format == "csr" and found.dtype == np.float64
            np.testing.assert_array_equal(found.toarray(), expected.toarray())
        else:
            for a, b in zip(found, expected):
                np.testing.assert_array_equal(a, b)
                assert a.dtype == b.dtype == np.int32
    count, labels = csgraph.connected_components(graph, directed, "strong")
    assert labels.dtype == np.int32 and count == scg.connected_components(graph, directed, "strong")[0]


@pytest.mark.parametrize("seed", range(6))
@pytest.mark.parametrize("symmetric", [False, True])
def test_spanning_tree_edges_stay_where_the_input_stores_them(seed, symmetric):
    graph = random_graph(20, 0.3, seed)
    if symmetric:
        graph = sp.csr_matrix(np.triu(graph.toarray()) + np.triu(graph.toarray()).T)
    for method in ("kruskal", "prim"):
        found = csgraph.minimum_spanning_tree(graph, method=method) if method == "kruskal" else \
            linkwork.minimum_spanning_tree(graph, method=method)
        if method == "prim" and scg.connected_components(graph, False)[0] > 1:
            continue  # Prim's tree spans the root's component only
        expected = scg.minimum_spanning_tree(graph)
        # Folded, the trees agree (distinct weights); each edge sits on a stored entry of its weight,
        # the upper one of two equal entries (SciPy's choice between those follows its sort).
        np.testing.assert_array_equal((found + found.T).toarray(), (expected + expected.T).toarray())
        dense = graph.toarray()
        rows, cols = found.nonzero()
        np.testing.assert_array_equal(dense[rows, cols], found.data)
        assert not np.any((dense[cols, rows] == found.data) & (cols < rows))
        if not symmetric:
            np.testing.assert_array_equal(found.toarray(), expected.toarray())


@pytest.mark.parametrize("empty", [sp.csr_matrix((0, 0)), np.zeros((0, 0))])
def test_the_empty_graph_has_the_empty_tree(empty):
    tree = csgraph.minimum_spanning_tree(empty)
    assert tree.shape == (0, 0) and tree.nnz == 0 and tree.format == "csr"
    tree, preds = linkwork.minimum_spanning_tree(empty, return_predecessors=True)
    assert preds.shape == (0,)


# ---------------------------------------------------------------- maximum flow

def flow_case(seed, n=30, density=0.15):
    """An integer capacity graph with opposite pairs and stored zeros."""
    graph = random_graph(n, density, seed, integers=True).tocoo()
    rng = np.random.default_rng(seed)
    zero = rng.random(graph.nnz) < 0.1
    data = np.where(zero, 0, graph.data).astype(np.int32)
    return sp.csr_matrix((data, (graph.row, graph.col)), shape=graph.shape)


@pytest.mark.parametrize("seed", range(8))
@pytest.mark.parametrize("method", ["dinic", "edmonds_karp", "push_relabel"])
def test_flows_with_opposite_pairs_and_stored_zeros_match_scipy(seed, method):
    graph = flow_case(seed)
    dense = graph.toarray()
    assert np.any((dense > 0) & (dense.T > 0)), "the case needs opposite pairs"
    found = csgraph.maximum_flow(graph, 0, 29, method=method)
    expected = scg.maximum_flow(graph, 0, 29)
    assert found.flow_value == expected.flow_value and isinstance(found.flow_value, int)
    flow = found.flow.toarray()
    assert found.flow.dtype == np.int32
    np.testing.assert_array_equal(flow, -flow.T)
    assert np.all(flow <= np.maximum(dense, 0) + 0)  # net flow within the capacity of i -> j
    balance = flow.sum(axis=1)
    assert balance[0] == expected.flow_value and balance[29] == -expected.flow_value
    assert not np.any(np.delete(balance, [0, 29]))
    # Stored on the input's entries and their mirrors (explicit zeros included), as SciPy stores it.
    np.testing.assert_array_equal(found.flow.indptr, expected.flow.indptr)
    np.testing.assert_array_equal(found.flow.indices, expected.flow.indices)


def test_real_capacities_give_a_real_flow_and_residual_is_deprecated():
    graph = sp.csr_matrix(np.array([[0, 2.5, 1.0], [1.5, 0, 2.0], [0, 0, 0]]))
    result = linkwork.maximum_flow(graph, 0, 2)
    assert result.flow_value == 3.0 and result.flow.dtype == np.float64
    with pytest.deprecated_call():
        assert result.residual is result.flow


def test_the_raw_flow_call_keeps_refusing_opposite_edges():
    require("edm")
    pair = sp.csc_matrix(np.array([[0, 1.0], [1.0, 0]]))
    with pytest.raises(linkwork.HostError) as caught:
        linkwork.call("edm", 0, 1, pair, 1, 2, nargout=2)
    assert caught.value.identifier == "genokit:linkworkhgw:ParallelEdges"
    assert linkwork.maximum_flow(pair, 0, 1).flow_value == 1.0


def test_polblogs_maximum_flow_equals_scipys():
    gt = pytest.importorskip("graph_tool.all")
    path = os.path.join(os.path.dirname(gt.__file__), "collection", "polblogs.gt.gz")
    if not os.path.exists(path):
        pytest.skip("polblogs is not in graph_tool.collection here")
    g = gt.load_graph(path)
    edges = g.get_edges()[:, :2]
    n = g.num_vertices()
    capacities = np.random.default_rng(5).integers(1, 10, len(edges)).astype(np.int32)
    graph = sp.csr_matrix((capacities, (edges[:, 0], edges[:, 1])), shape=(n, n))
    graph.sum_duplicates()
    assert graph.multiply(graph.T).nnz > 1000  # thousands of opposite pairs
    out_degree, in_degree = np.diff(graph.indptr), np.bincount(graph.indices, minlength=n)
    source, sink = int(np.argmax(out_degree)), int(np.argmax(in_degree))
    for method in ("dinic", "push_relabel"):
        assert linkwork.maximum_flow(graph, source, sink, method=method).flow_value == \
            scg.maximum_flow(graph, source, sink).flow_value
