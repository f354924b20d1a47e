"""SciPy's own csgraph test suite, run against linkwork.csgraph.

Each test module that python3-scipy installs under scipy/sparse/csgraph/tests
is loaded here with its csgraph imports pointed at linkwork.csgraph (imports
of SciPy's private modules, such as ``scipy.sparse.csgraph._flow``, stay
SciPy's). Its tests are collected as ``test_<module>__<name>``. A test that
cannot pass against linkwork is listed in EXCEPTIONS with the reason.
"""

import builtins
import importlib.machinery
import os
import sys
import types

import pytest
import scipy.sparse.csgraph

import linkwork.csgraph

SUITE_DIR = os.path.join(os.path.dirname(scipy.sparse.csgraph.__file__), "tests")
SUITE = ["test_connected_components", "test_conversions", "test_flow", "test_graph_laplacian", "test_matching",
         "test_reordering", "test_shortest_path", "test_spanning_tree", "test_traversal"]

LOOSER = "linkwork accepts what SciPy refuses here (documented in maximum_flow)"
EXCEPTIONS = {
    # SciPy requires CSR input with integer capacities; linkwork's maximum_flow takes any
    # sparse format, dense arrays and real capacities.
    "test_flow::test_raises_on_dense_input": LOOSER + ": dense arrays",
    "test_flow::test_raises_on_csc_input": LOOSER + ": CSC matrices",
    "test_flow::test_raises_on_floating_point_input": LOOSER + ": real capacities",
    # Vertex 1 is 6 from vertex 2 both through 0 and through 3; the module's Bellman-Ford
    # keeps the other of the two equally short paths (the distances agree).
    "test_shortest_path::test_predecessors": "ties between equally short paths: 'BF' undirected keeps another "
                                             "valid predecessor",
}

_CSGRAPH = "scipy.sparse.csgraph"
_sparse_view = types.ModuleType("scipy.sparse")


def _redirecting_import(name, globals=None, locals=None, fromlist=(), level=0):
    """__import__ that hands out linkwork.csgraph for scipy.sparse.csgraph."""
    if level == 0 and name == _CSGRAPH and fromlist:
        return linkwork.csgraph
    module = builtins.__import__(name, globals, locals, fromlist, level)
    if level == 0 and name == "scipy.sparse" and fromlist and "csgraph" in fromlist:
        return _sparse_view
    return module


def _load(name):
    path = os.path.join(SUITE_DIR, name + ".py")
    qualified = f"scipy_csgraph_suite.{name}"
    loader = importlib.machinery.SourceFileLoader(qualified, path)
    module = types.ModuleType(qualified)
    module.__file__, module.__loader__ = path, loader
    module.__builtins__ = dict(vars(builtins), __import__=_redirecting_import)
    sys.modules[qualified] = module
    loader.exec_module(module)
    return module


def _mark(test, key):
    reason = EXCEPTIONS.get(key)
    if reason is None:
        return test
    return pytest.mark.skip(reason=reason)(test)


def _collect():
    import scipy.sparse
    for attribute in dir(scipy.sparse):
        setattr(_sparse_view, attribute, getattr(scipy.sparse, attribute))
    _sparse_view.csgraph = linkwork.csgraph
    collected = {}
    for name in SUITE:
        if not os.path.exists(os.path.join(SUITE_DIR, name + ".py")):
            continue
        module = _load(name)
        short = name[len("test_"):]
        for attribute, value in vars(module).items():
            if attribute.startswith("test") and callable(value) and not isinstance(value, type):
                collected[f"test_{short}__{attribute[len('test_'):]}"] = _mark(value, f"{name}::{attribute}")
            elif attribute.startswith("Test") and isinstance(value, type):
                collected[f"Test_{short}__{attribute[len('Test'):]}"] = _mark(value, f"{name}::{attribute}")
            elif getattr(value, "_pytestfixturefunction", None) is not None:
                collected[attribute] = value
    return collected


globals().update(_collect())


def test_the_suite_is_installed_and_redirected():
    assert os.path.isdir(SUITE_DIR), SUITE_DIR
    module = sys.modules["scipy_csgraph_suite.test_shortest_path"]
    assert module.dijkstra is linkwork.csgraph.dijkstra
    assert sys.modules["scipy_csgraph_suite.test_connected_components"].csgraph is linkwork.csgraph
