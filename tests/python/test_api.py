"""The Pythonic API against the raw call, code by code, and its graph preparation."""

import numpy as np
import pytest
import scipy.sparse as sp

import linkwork
from linkwork import _graph
from conftest import require

NULL = -9999


def raw(code, directed, *inputs, nargout=1):
    return linkwork.call(code, 0, 1.0 if directed else 0.0, *inputs, nargout=nargout)


def zero_based(row):
    return np.asarray(row).ravel().astype(np.int64) - 1


def csgraph_preds(row):
    row = np.asarray(row).ravel()
    out = np.full(row.size, NULL, dtype=np.int64)
    known = row >= 1
    out[known] = row[known].astype(np.int64) - 1
    return out


def random_graph(n, density, seed, low=1.0, high=5.0, dag=False):
    """A canonical CSC graph with integer weights in [low, high]."""
    rng = np.random.default_rng(seed)
    mask = rng.random((n, n)) < density
    np.fill_diagonal(mask, False)
    if dag:
        mask = np.triu(mask, 1)
    weights = rng.integers(int(low), int(high) + 1, size=(n, n)).astype(float)
    return sp.csc_matrix(np.where(mask, weights, 0.0))


def lower_of_symmetric(graph):
    """The strict lower triangle of the pattern union, with the lighter weight (test's own fold)."""
    dense = graph.toarray()
    present = (dense != 0) | (dense.T != 0)
    both = np.where(dense != 0, dense, np.inf)
    lighter = np.minimum(both, both.T)
    return sp.csc_matrix(np.tril(np.where(present, lighter, 0.0), -1))


GRAPHS = [random_graph(n, d, seed) for seed, (n, d) in enumerate([(1, 0.0), (5, 0.3), (8, 0.25), (12, 0.2)])]
DAGS = [random_graph(n, d, seed, dag=True) for seed, (n, d) in enumerate([(0, 0.0), (4, 0.5), (9, 0.3)])]


# ---------------------------------------------------------------- preparation

@pytest.mark.parametrize("form", [sp.csr_matrix, sp.coo_matrix, sp.lil_matrix, np.asarray, lambda g: g.toarray().tolist()])
def test_every_input_form_prepares_to_the_same_canonical_matrix(form):
    graph = GRAPHS[3]
    source = form(graph.toarray() if form in (np.asarray,) else graph)
    matrix = _graph.prepare(source).matrix
    assert matrix.format == "csc" and matrix.has_canonical_format and matrix.dtype == np.float64
    np.testing.assert_array_equal(matrix.toarray(), graph.toarray())


def test_dense_zeros_infinities_and_nan_are_not_edges():
    dense = np.array([[0, np.inf, 2], [np.nan, 0, -np.inf], [-1, 0, 0]])
    matrix = _graph.prepare(dense).matrix
    assert matrix.nnz == 2
    np.testing.assert_array_equal(matrix.toarray(), [[0, 0, 2], [0, 0, 0], [-1, 0, 0]])


def test_sparse_explicit_zeros_and_values_are_kept():
    graph = sp.csr_matrix((np.array([0.0, np.inf, np.nan]), np.array([1, 2, 0]), np.array([0, 1, 2, 3])), shape=(3, 3))
    matrix = _graph.prepare(graph).matrix
    assert matrix.nnz == 3
    np.testing.assert_array_equal(matrix.data, [np.nan, 0.0, np.inf])


def test_undirected_preparation_folds_to_the_lighter_lower_triangle_without_self_loops():
    graph = sp.csr_matrix(np.array([[7.0, 4.0, np.nan], [2.0, 0.0, 9.0], [3.0, 0.0, 0.0]]))
    folded = _graph.prepare(graph, directed=False).matrix
    # (2, 0) holds 3 and (0, 2) NaN, which marks no edge: the weight wins.
    np.testing.assert_array_equal(folded.toarray(), [[0, 0, 0], [2, 0, 0], [3, 9, 0]])


@pytest.mark.parametrize("combine, expected", [("min", 7.0), ("sum", 7.0)])
def test_duplicate_entries_are_summed(combine, expected):
    graph = sp.coo_matrix(([5.0, 2.0], ([0, 0], [1, 1])), shape=(2, 2))
    matrix = _graph.prepare(graph, combine=combine).matrix
    assert matrix.nnz == 1 and matrix.data[0] == expected


def test_weights_follow_the_data_order_of_the_given_matrix():
    graph = sp.csr_matrix(np.array([[0, 1.0, 1.0], [1.0, 0, 0], [0, 0, 0]]))  # CSR: (0,1), (0,2), (1,0)
    prepared = _graph.prepare(graph, weights=[10.0, 20.0, 30.0])
    # CSC order: (1,0), (0,1), (0,2)
    np.testing.assert_array_equal(prepared.weights, [30.0, 10.0, 20.0])
    np.testing.assert_array_equal(prepared.matrix.indices, [1, 0, 0])


@pytest.mark.parametrize("csgraph, weights, error", [
    (sp.csr_matrix((2, 3)), None, ValueError),
    (np.zeros((2, 2, 2)), None, ValueError),
    (sp.csr_matrix(np.eye(2) * 1j), None, TypeError),
    (sp.csr_matrix(np.eye(2)), [1.0], ValueError),
    (np.eye(2), [1.0, 1.0], ValueError),
    (sp.lil_matrix(np.eye(2)), [1.0, 1.0], ValueError),
])
def test_bad_graphs_and_weights_are_refused(csgraph, weights, error):
    with pytest.raises(error):
        _graph.prepare(csgraph, weights=weights)


@pytest.mark.parametrize("index, n, expected", [(0, 3, 1.0), (2, 3, 3.0), (3, 3, 0.0), (-1, 3, 0.0),
                                                (10**30, 3, 0.0), (np.int32(1), 3, 2.0), (0, 0, 0.0)])
def test_vertex_indices_become_one_based_or_an_invalid_zero(index, n, expected):
    assert _graph.vertex(index, n) == expected


def test_vertex_numbers_from_the_module_are_checked():
    with pytest.raises(RuntimeError):
        _graph.vertices(np.array([[1.0, 7.0]]), 3)
    with pytest.raises(RuntimeError):
        _graph.predecessors(np.array([[0.5]]), 3)


# ---------------------------------------------------------------- traversal and structure

@pytest.mark.parametrize("graph", DAGS)
def test_topological_sort_against_top(graph):
    (expected,) = raw("top", True, graph)
    np.testing.assert_array_equal(linkwork.topological_sort(graph), zero_based(expected))
    np.testing.assert_array_equal(linkwork.topological_sort(graph.toarray()), zero_based(expected))


def test_topological_sort_of_a_cycle_is_a_host_error():
    with pytest.raises(linkwork.HostError) as caught:
        linkwork.topological_sort(np.array([[0, 1], [1, 0]]))
    assert caught.value.identifier == "genokit:linkworkhgw:TopoSortAlgorithmError"


@pytest.mark.parametrize("graph", GRAPHS + DAGS)
def test_is_directed_acyclic_graph_against_isd(graph):
    (expected,) = raw("isd", True, graph)
    assert linkwork.is_directed_acyclic_graph(graph) is bool(expected[0, 0])


SEARCHES = [(linkwork.depth_first_search, "dfs"), (linkwork.breadth_first_search, "bfs")]


@pytest.mark.parametrize("search, code", SEARCHES)
@pytest.mark.parametrize("directed", [True, False])
@pytest.mark.parametrize("depth_limit", [None, 0, 1, 2.7])
def test_searches_against_the_raw_traversals(search, code, directed, depth_limit):
    require(code)
    for graph in GRAPHS[1:]:
        passed = graph if directed else lower_of_symmetric(graph)
        limit = np.inf if depth_limit is None else depth_limit
        for source in range(graph.shape[0]):
            order, preds, finish, depths = raw(code, directed, passed, source + 1, limit, nargout=4)
            result = search(graph, source, directed, depth_limit=depth_limit)
            np.testing.assert_array_equal(result.order, zero_based(order))
            np.testing.assert_array_equal(result.predecessors, csgraph_preds(preds))
            np.testing.assert_array_equal(result.finish_order, zero_based(finish))
            np.testing.assert_array_equal(result.depths, np.ravel(depths))


@pytest.mark.parametrize("source", [-1, 12, 10**20])
def test_a_source_outside_the_graph_is_not_valid(source):
    require("dfs")
    with pytest.raises(linkwork.HostError, match=f"^i_start {source} is out of range: the graph has 12 vertices "
                                                 r"\(0..11\)$") as caught:
        linkwork.depth_first_order(GRAPHS[3], source)
    assert caught.value.identifier == "genokit:linkworkhgw:NotValidNode"
    assert isinstance(caught.value, ValueError)


@pytest.mark.parametrize("graph", GRAPHS)
def test_connected_components_against_wcc_and_scc(graph):
    require("wcc", "scc")
    weak = raw("wcc", True, graph, nargout=2)
    strong = raw("scc", True, graph, nargout=2)
    undirected = raw("wcc", False, lower_of_symmetric(graph), nargout=2)
    for kwargs, (count, labels) in [({}, weak), ({"connection": "strong"}, strong), ({"directed": False}, undirected)]:
        n_components, found = linkwork.connected_components(graph, **kwargs)
        assert n_components == int(count[0, 0])
        np.testing.assert_array_equal(found, zero_based(labels))
    assert linkwork.connected_components(graph, directed=False, return_labels=False) == int(weak[0][0, 0])


@pytest.mark.parametrize("graph", GRAPHS + [sp.csc_matrix(np.array([[0, 0, 0], [1, 0, 0], [0, 1, 0]]))])
def test_is_tree_against_ist(graph):
    require("ist")
    (expected,) = raw("ist", False, lower_of_symmetric(graph))
    assert linkwork.is_tree(graph) is bool(expected[0, 0])
    assert linkwork.is_tree(graph + graph.T) is bool(expected[0, 0])  # either triangle joins


# ---------------------------------------------------------------- shortest paths

def single_source_expected(code, graph, directed, sources, *tail, passed=None):
    passed = graph if passed is None else passed
    rows = [raw(code, directed, passed, s + 1, *tail, nargout=2) for s in sources]
    return (np.array([np.ravel(d) for d, _ in rows]).reshape(len(sources), -1),
            np.array([csgraph_preds(p) for _, p in rows]).reshape(len(sources), -1))


@pytest.mark.parametrize("function, code, unweighted", [
    (linkwork.dijkstra, "dij", False), (linkwork.dijkstra, "spb", True),
    (linkwork.bellman_ford, "bel", False), (linkwork.bellman_ford, "spb", True),
    (linkwork.dag_shortest_path, "spa", False),
])
@pytest.mark.parametrize("directed", [True, False])
def test_single_source_paths_against_the_raw_codes(function, code, unweighted, directed):
    require(code)
    graphs = DAGS[1:] if code == "spa" and directed else GRAPHS[1:]
    if code == "spa" and not directed:
        graphs = [sp.csc_matrix(np.array([[0, 0, 0, 0], [2.0, 0, 0, 0], [0, -1.0, 0, 0], [4.0, 0, 0, 0]]))]
    extra = {"unweighted": True} if unweighted else {}
    for graph in graphs:
        n = graph.shape[0]
        passed = graph if directed else lower_of_symmetric(graph)
        dist, preds = single_source_expected(code, graph, directed, range(n), passed=passed)
        found_dist, found_preds = function(graph, directed, return_predecessors=True, **extra)
        np.testing.assert_array_equal(found_dist, dist)
        np.testing.assert_array_equal(found_preds, preds)
        np.testing.assert_array_equal(function(graph, directed, indices=1, **extra), dist[1])
        np.testing.assert_array_equal(function(graph, directed, indices=[2, 0], **extra), dist[[2, 0]])


@pytest.mark.parametrize("function, code", [
    (linkwork.dijkstra, "dij"), (linkwork.bellman_ford, "bel"), (linkwork.dag_shortest_path, "spa")])
def test_weights_are_passed_as_custom_weights(function, code):
    require(code)
    graph = DAGS[2]
    weights = np.arange(1.0, graph.nnz + 1)[::-1]
    dist, preds = single_source_expected(code, graph, True, [0, 3], weights)
    found = function(graph, indices=[0, 3], return_predecessors=True, weights=weights)
    np.testing.assert_array_equal(found[0], dist)
    np.testing.assert_array_equal(found[1], preds)


def test_undirected_dag_shortest_path_takes_the_weights_into_the_graph():
    require("spa")
    tree = sp.csr_matrix(np.array([[0, 0, 0], [1.0, 0, 0], [0, 1.0, 0]]))
    np.testing.assert_array_equal(linkwork.dag_shortest_path(tree, False, 0, weights=[5.0, -2.0]), [0.0, 5.0, 3.0])


def test_undirected_dag_shortest_path_refuses_a_reached_cycle():
    require("spa")
    triangle = sp.csr_matrix(np.array([[0, 0, 0, 0], [5.0, 0, 0, 0], [1.0, 1.0, 0, 0], [0, 0, 0, 0]]))
    with pytest.raises(linkwork.HostError) as caught:
        linkwork.dag_shortest_path(triangle, directed=False, indices=0)
    assert caught.value.identifier == "linkwork:python:NotAForest"
    # The cycle is out of reach from vertex 3, which is alone.
    np.testing.assert_array_equal(linkwork.dag_shortest_path(triangle, False, 3), [np.inf, np.inf, np.inf, 0.0])


@pytest.mark.parametrize("source", [0, 1])
def test_undirected_bellman_ford_refuses_a_reached_negative_edge(source):
    require("bel")
    graph = sp.csr_matrix(np.array([[0, 0, 0], [-1.0, 0, 0], [0, 0, 0]]))
    with pytest.raises(linkwork.NegativeCycleError):
        linkwork.bellman_ford(graph, directed=False, indices=source)
    np.testing.assert_array_equal(linkwork.bellman_ford(graph, directed=False, indices=2), [np.inf, np.inf, 0.0])


def test_directed_negative_cycle_is_a_negative_cycle_error():
    require("bel")
    with pytest.raises(linkwork.NegativeCycleError):
        linkwork.bellman_ford(np.array([[0, 1.0], [-2.0, 0]]), indices=0)


@pytest.mark.parametrize("directed", [True, False])
def test_johnson_against_all(directed):
    require("all")
    for graph in GRAPHS:
        passed = graph if directed else lower_of_symmetric(graph)
        (expected,) = raw("all", directed, passed)
        np.testing.assert_array_equal(linkwork.johnson(graph, directed), expected)
        if graph.shape[0] > 2:
            np.testing.assert_array_equal(linkwork.johnson(graph, directed, indices=[2, 1]), expected[[2, 1]])
        (ones,) = raw("all", directed, passed, np.ones(passed.nnz))
        np.testing.assert_array_equal(linkwork.johnson(graph, directed, unweighted=True), ones)


def test_johnson_refuses_a_source_outside_the_graph():
    with pytest.raises(linkwork.HostError) as caught:
        linkwork.johnson(GRAPHS[1], indices=5)
    assert caught.value.identifier == "genokit:linkworkhgw:NotValidNode"


@pytest.mark.parametrize("method, kwargs, function", [
    ("D", {"indices": 1}, linkwork.dijkstra),
    ("BF", {"indices": [0, 1], "return_predecessors": True}, linkwork.bellman_ford),
    ("J", {}, linkwork.johnson),
    ("auto", {}, linkwork.johnson),
    ("auto", {"indices": 0, "return_predecessors": True}, linkwork.dijkstra),
])
def test_shortest_path_dispatches_by_method(method, kwargs, function, needs):
    needs({"D": "dij", "BF": "bel", "J": "all"}.get(method, "all"), "dij")
    graph = GRAPHS[2]
    found = linkwork.shortest_path(graph, method=method, **kwargs)
    expected = function(graph, **kwargs)
    for a, b in zip(*(result if isinstance(result, tuple) else (result,) for result in (found, expected))):
        np.testing.assert_array_equal(a, b)


@pytest.mark.parametrize("kwargs", [{"method": "FW", "indices": 0}, {"method": "XX"}])
def test_shortest_path_refuses_what_it_cannot_do(kwargs):
    with pytest.raises(ValueError):
        linkwork.shortest_path(GRAPHS[1], **kwargs)


# ---------------------------------------------------------------- spanning trees

@pytest.mark.parametrize("method, code", [("kruskal", "kru"), ("prim", "pri")])
@pytest.mark.parametrize("root", [0, 3])
def test_minimum_spanning_tree_against_kru_and_pri(method, code, root):
    require(code)
    for graph in GRAPHS[2:]:
        tree, preds = raw(code, False, lower_of_symmetric(graph), root + 1, nargout=2)
        found, found_preds = linkwork.minimum_spanning_tree(graph, method=method, root=root, return_predecessors=True)
        assert isinstance(found, sp.csr_matrix)
        # Each edge is kept where the graph stores it; folded, it is the raw tree.
        np.testing.assert_array_equal(np.tril((found + found.T).toarray(), -1), tree.toarray())
        assert np.all(graph.toarray()[found.nonzero()] == found.data)
        np.testing.assert_array_equal(found_preds, csgraph_preds(preds))
        lower = lower_of_symmetric(graph)  # already in the module's form, so passed as it is
        weights = np.arange(lower.nnz, dtype=float)
        (custom,) = raw(code, False, lower, root + 1, weights)
        found = linkwork.minimum_spanning_tree(lower, method=method, root=root, weights=weights)
        np.testing.assert_array_equal(found.toarray(), custom.toarray())  # the lower triangle stores every edge


def test_minimum_spanning_tree_refuses_a_bad_root():
    require("kru")
    with pytest.raises(linkwork.InvalidVertexError, match=r"^root 5 is out of range: the graph has 5 vertices "
                                                          r"\(0..4\)$"):
        linkwork.minimum_spanning_tree(GRAPHS[1], root=5)


# ---------------------------------------------------------------- flow

FLOW = sp.csr_matrix(np.array([[0, 5.0, 2.0, 0], [0, 0, 1.0, 3.0], [0, 0, 0, 4.0], [0, 0, 0, 0]]))


@pytest.mark.parametrize("method, code", [("edmonds_karp", "edm"), ("push_relabel", "gol")])
def test_maximum_flow_against_edm_and_gol(method, code):
    require(code)
    graph = FLOW.tocsc()
    for capacities in (None, np.arange(1.0, graph.nnz + 1)):
        tail = () if capacities is None else (capacities,)
        value, edge_flow = raw(code, True, graph, 1, 4, *tail, nargout=2)
        result = linkwork.maximum_flow(graph, 0, 3, method=method, capacities=capacities)
        assert result.flow_value == value[0, 0]
        np.testing.assert_array_equal(result.flow.toarray(), (edge_flow - edge_flow.T).toarray())
        assert isinstance(result.flow, sp.csr_matrix)


@pytest.mark.parametrize("source, sink, message", [
    (0, 0, "source and sink must differ, both are 0"),
    (9, 1, r"source 9 is out of range: the graph has 4 vertices \(0..3\)"),
    (0, -1, r"sink -1 is out of range: the graph has 4 vertices \(0..3\)"),
])
def test_maximum_flow_vertex_errors(source, sink, message):
    require("edm")
    with pytest.raises(linkwork.HostError, match=f"^{message}$") as caught:
        linkwork.maximum_flow(FLOW, source, sink)
    assert isinstance(caught.value, ValueError)


def test_maximum_flow_adds_duplicate_capacities():
    require("edm")
    doubled = sp.coo_matrix(([2.0, 3.0], ([0, 0], [1, 1])), shape=(2, 2))
    assert linkwork.maximum_flow(doubled, 0, 1).flow_value == 5.0


# ---------------------------------------------------------------- isomorphism

@pytest.mark.parametrize("directed", [True, False])
def test_is_isomorphic_against_iso(directed):
    require("iso")
    rng = np.random.default_rng(3)
    for graph in GRAPHS:
        n = graph.shape[0]
        permutation = rng.permutation(n)
        shuffled = sp.csc_matrix(graph.toarray()[np.ix_(permutation, permutation)])
        first = graph if directed else lower_of_symmetric(graph)
        second = shuffled if directed else lower_of_symmetric(shuffled)
        answer, mapping = raw("iso", directed, first, second, nargout=2)
        found, found_mapping = linkwork.is_isomorphic(graph, shuffled, directed, return_mapping=True)
        assert found is bool(answer[0, 0]) is True
        np.testing.assert_array_equal(found_mapping, zero_based(mapping))
        assert linkwork.is_isomorphic(graph, shuffled, directed) is True


def test_undirected_isomorphism_ignores_how_the_graph_is_stored():
    require("iso")
    lower = sp.csr_matrix(np.array([[0, 0, 0], [1.0, 0, 0], [0, 1.0, 0]]))
    assert linkwork.is_isomorphic(lower, lower + lower.T, directed=False) is True
    assert linkwork.is_isomorphic(lower, lower + lower.T, directed=True, return_mapping=True) == (False, None)


# ---------------------------------------------------------------- inputs stay as given

def test_no_function_changes_its_input():
    graph = sp.csr_matrix(np.array([[0, 1.0, 0], [0, 0, 1.0], [2.0, 0, 0]]))
    snapshot = (graph.data.copy(), graph.indices.copy(), graph.indptr.copy())
    linkwork.dijkstra(graph, directed=False, weights=[3.0, 1.0, 2.0])
    linkwork.minimum_spanning_tree(graph)
    linkwork.maximum_flow(graph, 0, 2)
    for before, after in zip(snapshot, (graph.data, graph.indices, graph.indptr)):
        np.testing.assert_array_equal(before, after)
