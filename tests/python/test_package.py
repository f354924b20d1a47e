"""The raw call linkwork.call: conversions, errors, warnings, trace, memory, threads."""

import contextlib
import doctest
import io
import os
import pickle
import re
import subprocess
import sys
import threading
import time
import warnings

import numpy as np
import pytest
import scipy.sparse as sp
from scipy.sparse.csgraph import NegativeCycleError as CsgraphNegativeCycleError

import linkwork
from linkwork import _call
from conftest import BUILD_DIR, require

DAG = sp.csc_matrix(([1.0, 1.0], ([0, 1], [2, 2])), shape=(3, 3))  # 1 -> 3, 2 -> 3 (1-based)
SELF_LOOP = sp.csc_matrix(([1.0], ([0], [0])), shape=(1, 1))


def round_trip(value):
    """The description of the host array `value` becomes, and that array back in Python."""
    description, back = linkwork._linkwork.round_trip(_call._to_host(value, 1))
    return description, _call._from_host(back)


def chain(n):
    """A directed path 0 -> 1 -> ... -> n-1."""
    return sp.csc_matrix((np.ones(n - 1), (np.arange(n - 1), np.arange(1, n))), shape=(n, n))


# ---------------------------------------------------------------- inputs

@pytest.mark.parametrize("value, host_class, shape, is_complex, expected", [
    ("top", "char", (1, 3), False, "top"),
    ("", "char", (1, 0), False, ""),
    ("héllo", "char", (1, 6), False, "héllo"),
    (True, "logical", (1, 1), False, np.array([[True]])),
    (np.bool_(False), "logical", (1, 1), False, np.array([[False]])),
    (3, "double", (1, 1), False, np.array([[3.0]])),
    (-2.5, "double", (1, 1), False, np.array([[-2.5]])),
    (np.int16(7), "double", (1, 1), False, np.array([[7.0]])),
    (np.uint64(2**64 - 1), "double", (1, 1), False, np.array([[2.0**64]])),
    (np.float32(1.5), "double", (1, 1), False, np.array([[1.5]])),
    (float("nan"), "double", (1, 1), False, np.array([[np.nan]])),
    (1 + 2j, "double", (1, 1), True, np.array([[1 + 2j]])),
    (np.complex64(3 - 1j), "double", (1, 1), True, np.array([[3 - 1j]])),
    (None, "double", (0, 0), False, np.zeros((0, 0))),
    (np.array(5.0), "double", (1, 1), False, np.array([[5.0]])),
    (np.arange(3.0), "double", (1, 3), False, np.array([[0.0, 1.0, 2.0]])),
    (np.arange(6.0).reshape(2, 3), "double", (2, 3), False, np.arange(6.0).reshape(2, 3)),
    (np.arange(12.0).reshape(3, 4)[::2, ::3], "double", (2, 2), False, np.array([[0.0, 3.0], [8.0, 11.0]])),
    (np.arange(4.0).reshape(2, 2).T, "double", (2, 2), False, np.array([[0.0, 2.0], [1.0, 3.0]])),
    (np.array([1.0, 2.0], dtype=">f8"), "double", (1, 2), False, np.array([[1.0, 2.0]])),
    (np.array([[1.5]], dtype=np.float32), "single", (1, 1), False, np.array([[1.5]], dtype=np.float32)),
    (np.array([True, False]), "logical", (1, 2), False, np.array([[True, False]])),
    (np.array([[1 + 1j, 2]]), "double", (1, 2), True, np.array([[1 + 1j, 2 + 0j]])),
    (np.zeros((0, 3)), "double", (0, 3), False, np.zeros((0, 3))),
    (np.array([[-2**63, 2**63 - 1]]), "int64", (1, 2), False, np.array([[-2**63, 2**63 - 1]])),
    (np.array([2**64 - 1], dtype=np.uint64), "uint64", (1, 1), False, np.array([[2**64 - 1]], dtype=np.uint64)),
] + [
    (np.array([[1, 2], [3, 4]], dtype=dtype), np.dtype(dtype).name, (2, 2), False,
     np.array([[1, 2], [3, 4]], dtype=dtype))
    for dtype in ("int8", "uint8", "int16", "uint16", "int32", "uint32", "int64", "uint64")
])
def test_dense_inputs_convert_both_ways(value, host_class, shape, is_complex, expected):
    description, back = round_trip(value)
    assert (description["class"], (description["rows"], description["cols"])) == (host_class, shape)
    assert description["complex"] is is_complex and description["sparse"] is False
    if isinstance(expected, str):
        assert back == expected
    else:
        assert back.dtype == expected.dtype and back.shape == expected.shape
        np.testing.assert_array_equal(back, expected)


@pytest.mark.parametrize("matrix", [
    sp.csc_matrix(np.array([[0, 2.0], [3.0, 0]])),
    sp.csr_matrix(np.array([[1.0, 0, 0], [0, 0, 4.0], [5.0, 0, 0]])),
    sp.coo_matrix(([1.0, 2.0], ([0, 2], [1, 1])), shape=(3, 2)),
    sp.lil_matrix(np.eye(2)),
    sp.csc_array(np.array([[0, 1.0], [1.0, 0]])),
    sp.csc_matrix(np.array([[True, False], [True, True]])),
    sp.csc_matrix(np.array([[1 + 2j, 0], [0, 3j]])),
    sp.csc_matrix((4, 5)),
    sp.csc_matrix((0, 0)),
], ids=["csc", "csr", "coo-rectangular", "lil", "csc_array", "bool", "complex", "empty", "0x0"])
def test_sparse_inputs_convert_both_ways(matrix):
    description, back = round_trip(matrix)
    assert description["sparse"] is True
    assert description["class"] == ("logical" if matrix.dtype == bool else "double")
    assert description["complex"] is (matrix.dtype.kind == "c")
    assert (description["rows"], description["cols"]) == matrix.shape
    assert isinstance(back, sp.csc_matrix) and back.dtype == matrix.dtype
    assert back.indices.dtype == np.int64 and back.indptr.dtype == np.int64
    np.testing.assert_array_equal(back.toarray(), matrix.toarray())


def test_a_csc_matrix_goes_as_stored():
    # Rows out of order and an explicit zero: both kept.
    matrix = sp.csc_matrix((np.array([5.0, 0.0, 7.0]), np.array([2, 0, 1]), np.array([0, 2, 3])), shape=(3, 2))
    _, back = round_trip(matrix)
    np.testing.assert_array_equal(back.indices, [2, 0, 1])
    np.testing.assert_array_equal(back.data, [5.0, 0.0, 7.0])
    np.testing.assert_array_equal(back.indptr, [0, 2, 3])


@pytest.mark.parametrize("value, kind", [
    ([1, 2], "list"),
    ((1, 2), "tuple"),
    (b"top", "bytes"),
    ({"a": 1}, "dict"),
    (object(), "object"),
    (np.zeros((2, 2, 2)), "numpy.ndarray"),
    (np.zeros(2, dtype=np.float16), "numpy.ndarray"),
    (np.array(["a"]), "numpy.ndarray"),
    (np.zeros(2, dtype=np.complex64), "numpy.ndarray"),
    (sp.csc_matrix(np.eye(2, dtype=np.int64)), "scipy.sparse"),
    (sp.csc_matrix(np.eye(2, dtype=np.float32)), "scipy.sparse"),
    (np.datetime64("2020-01-01"), "numpy.datetime64"),
])
def test_unsupported_inputs_raise_type_error_naming_position_and_type(value, kind):
    with pytest.raises(TypeError, match=rf"argument 4 of type {re.escape(kind)}"):
        linkwork.call("top", 0, 1, value)


def test_an_integer_beyond_double_range_is_refused():
    with pytest.raises(OverflowError, match="argument 2"):
        linkwork.call("top", 10**400, 1, DAG)


# ---------------------------------------------------------------- outputs

def test_outputs_are_numpy_arrays_of_the_host_class_and_unassigned_slots_are_none():
    order, missing = linkwork.call("top", 0, 1, DAG, nargout=2)
    assert order.dtype == np.float64 and order.shape == (1, 3)
    np.testing.assert_array_equal(order, [[2.0, 1.0, 3.0]])
    assert missing is None
    answer = linkwork.call("isd", 0, 1, DAG, nargout=0)
    assert len(answer) == 1 and answer[0].dtype == np.bool_ and answer[0].shape == (1, 1)


def test_outputs_are_handed_over_without_a_copy():
    (order,) = linkwork.call("top", 0, 1, chain(50))
    assert not order.flags.owndata and type(order.base).__name__ == "PyCapsule"
    order[0, 0] = -1.0  # the array is the caller's own and writable
    _, sparse = round_trip(sp.csc_matrix(np.eye(3)))
    assert type(sparse.data.base).__name__ == "PyCapsule"
    assert type(sparse.indices.base).__name__ == "PyCapsule"


def test_sparse_outputs_are_csc_matrices():
    require("kru")
    graph = sp.csc_matrix(([1.0, 2.0], ([1, 2], [0, 1])), shape=(3, 3))
    tree, preds = linkwork.call("kru", 0, 0, graph, 1, nargout=2)
    assert isinstance(tree, sp.csc_matrix) and tree.shape == (3, 3)
    np.testing.assert_array_equal(tree.toarray(), graph.toarray())
    np.testing.assert_array_equal(preds, [[0.0, 1.0, 2.0]])


@pytest.mark.parametrize("nargout, error", [(-1, ValueError), (10**6, ValueError), (1.0, TypeError)])
def test_bad_nargout_is_refused(nargout, error):
    with pytest.raises(error):
        linkwork.call("top", 0, 1, DAG, nargout=nargout)


# ---------------------------------------------------------------- errors

@pytest.mark.parametrize("inputs, identifier", [
    (("xyz",), "genokit:linkworkhgw:UnknownAlgorithm"),
    ((), "genokit:linkworkhgw:UnknownAlgorithm"),
    (("TOP", 0, 1, DAG), "genokit:linkworkhgw:UnknownAlgorithm"),
    ((3.0, 0, 1, DAG), "genokit:linkworkhgw:UnknownAlgorithm"),
    (("top",), "genokit:linkworkhgw:NotEnoughInputs"),
    (("top", 0, 1, np.eye(2)), "genokit:linkworkhgw:NotSparseArray"),
    (("top", 0, 1, sp.csc_matrix((2, 3))), "genokit:linkworkhgw:NotSquareArray"),
    (("top", 0, 1, SELF_LOOP), "genokit:linkworkhgw:TopoSortAlgorithmError"),
])
def test_host_errors_carry_identifier_and_message(inputs, identifier):
    with pytest.raises(linkwork.HostError) as caught:
        linkwork.call(*inputs)
    error = caught.value
    assert error.identifier == identifier
    assert str(error) == error.message and error.message
    assert isinstance(error, Exception) and not isinstance(error, RuntimeError)


def test_host_errors_survive_pickling():
    error = linkwork.HostError("genokit:linkworkhgw:NotValidNode", "Source node index is invalid.")
    copy = pickle.loads(pickle.dumps(error))
    assert (type(copy), copy.identifier, copy.message) == (linkwork.HostError, error.identifier, error.message)
    cycle = pickle.loads(pickle.dumps(linkwork.NegativeCycleError("id", "text")))
    assert isinstance(cycle, CsgraphNegativeCycleError) and cycle.identifier == "id"


def test_negative_cycle_is_also_csgraphs_error():
    require("bel")
    graph = sp.csc_matrix(([-1.0], ([0], [0])), shape=(1, 1))
    with pytest.raises(CsgraphNegativeCycleError) as caught:
        linkwork.call("bel", 0, 1, graph, 1)
    assert isinstance(caught.value, linkwork.HostError)
    assert caught.value.identifier == "genokit:linkworkhgw:NegativeCycle"


def test_module_error_after_the_first_trace_lines(capsys):
    with pytest.raises(linkwork.ModuleError, match=r"^The graph must be a DAG\.$") as caught:
        linkwork.call("top", 1, 1, SELF_LOOP)
    assert isinstance(caught.value, RuntimeError)
    lines = capsys.readouterr().out.splitlines()
    assert [line.split(":")[0] for line in lines] == ["Entering hgw function", "Graph copied"]


MALFORMED = {
    "row beyond the row count": (np.array([1.0]), np.array([5]), np.array([0, 1, 1])),
    "negative row": (np.array([1.0]), np.array([-1]), np.array([0, 1, 1])),
    "row twice in a column": (np.array([1.0, 2.0]), np.array([0, 0]), np.array([0, 2, 2])),
    "decreasing column starts": (np.array([1.0]), np.array([0]), np.array([0, 1, 0])),
    "more entries than stored": (np.array([1.0]), np.array([0]), np.array([0, 1, 2])),
    "start not at zero": (np.array([1.0]), np.array([0]), np.array([1, 1, 1])),
}


@pytest.mark.parametrize("data, indices, indptr", MALFORMED.values(), ids=MALFORMED.keys())
def test_malformed_sparse_inputs_are_refused_before_the_module_reads_them(data, indices, indptr):
    matrix = sp.csc_matrix((2, 2))
    matrix.data, matrix.indices, matrix.indptr = data, indices, indptr  # past scipy's own checks
    with pytest.raises(linkwork.HostError) as caught:
        linkwork.call("top", 0, 1, matrix)
    assert caught.value.identifier == "linkwork:runtime:MalformedSparseArray"


def test_sparse_parts_of_inconsistent_length_are_refused():
    matrix = sp.csc_matrix((2, 2))
    matrix.data, matrix.indices, matrix.indptr = np.array([1.0]), np.array([0]), np.array([0, 1])
    with pytest.raises(ValueError, match="argument 4"):
        linkwork.call("top", 0, 1, matrix)


# ---------------------------------------------------------------- warnings

ILL_CONDITIONED = sp.csc_matrix(([1.0, 1e-20], ([0, 1], [1, 2])), shape=(3, 3))


@pytest.mark.parametrize("code", ["edm", "gol"])
def test_host_warnings_go_through_the_warnings_module(code):
    require(code)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        (value,) = linkwork.call(code, 0, 1, ILL_CONDITIONED, 1, 3)
    assert len(caught) == 1 and caught[0].category is linkwork.HostWarning
    warning = caught[0].message
    assert warning.identifier == "genokit:linkworkhgw:IllConditioned"
    assert str(warning) == warning.message == "Ill-conditioned graph, rounding errors may cause incorrect results."
    assert caught[0].filename == __file__  # attributed to the caller, not to the package
    assert value[0, 0] == pytest.approx(1e-20)


def test_a_warning_filtered_into_an_error_ends_the_call():
    require("edm")
    with warnings.catch_warnings():
        warnings.simplefilter("error", linkwork.HostWarning)
        with pytest.raises(linkwork.HostWarning) as caught:
            linkwork.call("edm", 0, 1, ILL_CONDITIONED, 1, 3)
    assert caught.value.identifier == "genokit:linkworkhgw:IllConditioned"
    assert linkwork.call("top", 0, 1, DAG)[0].shape == (1, 3)  # the next call is unaffected


# ---------------------------------------------------------------- trace

TRACE_LINE = r"{}: +\d+\.\d{{3}} seconds"
FOUR_LINES = ["Entering hgw function", "Graph copied", "Algorithm finished", "Outputs copied"]


@pytest.mark.parametrize("level", [1, 2])
def test_trace_lines_reach_sys_stdout(level):
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        linkwork.call("top", level, 1, DAG)
    lines = out.getvalue().splitlines()
    assert len(lines) == 4
    for line, label in zip(lines, FOUR_LINES):
        assert re.fullmatch(TRACE_LINE.format(label), line)


class _WriteOnly:
    def __init__(self):
        self.parts = []

    def write(self, text):
        self.parts.append(text)


class _Broken:
    def write(self, text):
        raise ValueError("stream closed")


def test_trace_lines_reach_a_stdout_that_cannot_flush():
    out = _WriteOnly()
    with contextlib.redirect_stdout(out):
        linkwork.call("top", 1, 1, DAG)
    assert len("".join(out.parts).splitlines()) == 4


def test_a_failing_stdout_fails_the_call_once_it_is_over():
    with contextlib.redirect_stdout(_Broken()):
        with pytest.raises(ValueError, match="stream closed"):
            linkwork.call("top", 1, 1, DAG)
    assert linkwork.call("top", 1, 1, DAG, nargout=1)[0].shape == (1, 3)


def test_no_trace_at_level_zero(capfd):
    linkwork.call("top", 0, 1, DAG)
    assert capfd.readouterr() == ("", "")


def test_edge_listing_goes_to_file_descriptor_one_in_order(capfd):
    print("before", flush=False)
    linkwork.call("top", 2, 1, DAG)
    print("after")
    lines = capfd.readouterr().out.splitlines()
    labels = [re.sub(r":.*", "", line) for line in lines]
    assert labels == ["before", "Entering hgw function", " <0,2> ", " <1,2> ",
                      "Graph copied", "Algorithm finished", "Outputs copied", "after"]


# ---------------------------------------------------------------- memory and threads

class _Sink:
    def write(self, text):
        return len(text)

    def flush(self):
        pass


def _resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def test_no_leak_over_many_failing_and_succeeding_calls():
    n = 300
    dag = chain(n)
    cyclic = dag + sp.csc_matrix(([1.0], ([n - 1], [0])), shape=(n, n))

    def calls(count):
        with contextlib.redirect_stdout(_Sink()):
            for k in range(count):
                kind = k % 5
                if kind in (0, 1):
                    order, _ = linkwork.call("top", 0, 1, dag, nargout=2)
                    assert order.shape == (1, n)
                elif kind == 2:
                    with pytest.raises(linkwork.HostError):
                        linkwork.call("top", 0, 1, cyclic)
                elif kind == 3:
                    with pytest.raises(linkwork.ModuleError):
                        linkwork.call("top", 1, 1, cyclic)
                else:
                    with pytest.raises(linkwork.HostError):
                        linkwork.call("top", 0, 1, sp.csc_matrix((2, 3)), "text", np.ones(n))

    calls(1000)
    before = _resident_bytes()
    calls(10000)
    grown = _resident_bytes() - before
    # A leak of one output row per call would come to about 24 MB.
    assert grown < 4 * 2**20, f"resident memory grew by {grown} bytes"


def test_concurrent_calls_give_the_results_of_serial_ones():
    graphs = [chain(n) for n in range(2, 40)] + [DAG]
    expected = [linkwork.call("top", 0, 1, g)[0] for g in graphs]
    failures = []

    def worker(offset):
        try:
            for round_ in range(30):
                k = (offset + round_) % len(graphs)
                (order,) = linkwork.call("top", 0, 1, graphs[k])
                if not np.array_equal(order, expected[k]):
                    failures.append((k, order))
                with pytest.raises(linkwork.HostError):
                    linkwork.call("top", 0, 1, SELF_LOOP)
        except Exception as error:  # reported by the main thread
            failures.append(error)

    threads = [threading.Thread(target=worker, args=(k,)) for k in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert failures == []


def test_the_gil_is_released_while_the_module_runs():
    # All-pairs paths on a few thousand vertices: one call long enough to measure.
    n = 2_500
    rng = np.random.default_rng(7)
    heads = rng.integers(0, n, size=4 * n)
    tails = rng.integers(0, n, size=4 * n)
    big = sp.csc_matrix((np.ones(heads.size), (heads, tails)), shape=(n, n))
    big.sum_duplicates()
    counter = [0]
    stop = threading.Event()

    def spin():
        while not stop.is_set():
            counter[0] += 1

    _call._ensure_loaded()
    items = [_call._to_host(value, k) for k, value in enumerate(("all", 0, 1, big), start=1)]
    spinner = threading.Thread(target=spin)
    spinner.start()
    try:
        time.sleep(0.1)
        before = counter[0]
        time.sleep(0.2)
        rate = (counter[0] - before) / 0.2  # spins per second with the GIL free
        started = time.perf_counter()
        before = counter[0]
        linkwork._linkwork.call(items, 1)  # the extension alone, without the Python glue
        during = counter[0] - before
        elapsed = time.perf_counter() - started
    finally:
        stop.set()
        spinner.join()
    # Holding the GIL would let the spinner run one switch interval (5 ms) at most.
    assert elapsed > 0.1, "the call was too short to tell"
    assert during > 0.1 * rate * elapsed, (during, rate, elapsed)


# ---------------------------------------------------------------- the package and its module

def _python(code, **environment):
    env = dict(os.environ, PYTHONPATH=os.path.join(BUILD_DIR, "python"), **environment)
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env, timeout=120,
                          cwd="/")


def test_the_package_imports_and_calls_from_the_build_tree():
    done = _python("import linkwork, scipy.sparse as sp; print(linkwork.call('top', 0, 1, "
                   "sp.csc_matrix(([1.,1.],([0,1],[2,2])),shape=(3,3))))")
    assert done.returncode == 0, done.stderr
    assert done.stdout.strip() == "(array([[2., 1., 3.]]),)"
    assert linkwork.module_path() == os.path.join(BUILD_DIR, "lib", "linkwork.hxe")


def test_linkwork_module_names_another_module_file():
    missing = _python("import linkwork\ntry:\n linkwork.call('top')\nexcept linkwork.ModuleLoadError as e:\n"
                      " print('refused', isinstance(e, OSError))", LINKWORK_MODULE="/nonexistent/linkwork.hxe")
    assert missing.stdout.strip() == "refused True", missing.stderr
    module = os.path.join(BUILD_DIR, "lib", "linkwork.hxe")
    named = _python("import linkwork; print(linkwork.module_path()); linkwork.call('isd', 0, 1, None)",
                    LINKWORK_MODULE=module)
    assert named.stdout.splitlines()[0] == module
    assert "NotSparseArray" not in named.stdout and "Input argument should be a sparse array." in named.stderr


# ---------------------------------------------------------------- doctests

DOCUMENTED = {
    "call": ["top"],
    "topological_sort": ["top"], "is_directed_acyclic_graph": ["isd"],
    "depth_first_search": ["dfs"], "breadth_first_search": ["bfs"],
    "depth_first_order": ["dfs"], "breadth_first_order": ["bfs"],
    "connected_components": ["wcc", "scc"], "is_tree": ["ist"],
    "dijkstra": ["dij", "spb"], "bellman_ford": ["bel"], "dag_shortest_path": ["spa"],
    "johnson": ["all"], "shortest_path": ["all"], "floyd_warshall": ["all", "dij"],
    "breadth_first_tree": ["bfs"], "depth_first_tree": ["dfs"], "reconstruct_path": ["bfs"],
    "construct_dist_matrix": [],
    "minimum_spanning_tree": ["kru", "pri"], "maximum_flow": ["edm", "gol"], "is_isomorphic": ["iso"],
}


def test_every_public_function_has_a_documented_example():
    functions = {name for name in linkwork.__all__ if callable(getattr(linkwork, name))
                 and not isinstance(getattr(linkwork, name), type)}
    assert functions - {"module_path"} == set(DOCUMENTED)


@pytest.mark.parametrize("name", sorted(DOCUMENTED))
def test_docstring_examples_run(name):
    require(*DOCUMENTED[name])
    function = getattr(linkwork, name)
    finder = doctest.DocTestFinder(recurse=False)
    runner = doctest.DocTestRunner(optionflags=doctest.NORMALIZE_WHITESPACE)
    tests = finder.find(function, name, globs={})
    assert tests and tests[0].examples, f"{name} has no example"
    report = io.StringIO()
    for test in tests:
        runner.run(test, out=report.write)
    assert runner.failures == 0, report.getvalue()
