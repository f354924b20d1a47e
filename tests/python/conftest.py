"""Puts the built package on sys.path: $LINKWORK_BUILD/python, by default <repo>/build/python."""

import os
import sys

import pytest

_REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD_DIR = os.path.abspath(os.environ.get("LINKWORK_BUILD") or os.path.join(_REPO, "build"))
_PACKAGE_PARENT = os.path.join(BUILD_DIR, "python")
if not os.path.isdir(os.path.join(_PACKAGE_PARENT, "linkwork")):
    raise pytest.UsageError(
        f"no built linkwork package in {_PACKAGE_PARENT}; build the project or set LINKWORK_BUILD")
sys.path.insert(0, _PACKAGE_PARENT)

import linkwork  # noqa: E402  (needs the path above)
import scipy.sparse as sp  # noqa: E402

NOT_IMPLEMENTED = "genokit:linkworkhgw:NotImplemented"
_availability = {}


def code_available(code):
    """False while the module answers `code` with the NotImplemented host error."""
    if code not in _availability:
        probe = sp.csc_matrix(([1.0], ([1], [0])), shape=(2, 2))
        try:
            linkwork.call(code, 0, 1, probe, 1.0, 2.0)
        except linkwork.HostError as error:
            _availability[code] = error.identifier != NOT_IMPLEMENTED
        else:
            _availability[code] = True
    return _availability[code]


def require(*codes):
    """Skips the running test until every raw code it needs has landed."""
    missing = [code for code in codes if not code_available(code)]
    if missing:
        pytest.skip(f"raw code(s) {', '.join(missing)} not implemented yet")


@pytest.fixture
def needs():
    return require


def pytest_terminal_summary(terminalreporter):
    """Reports how many graphs and comparisons the differential suite ran."""
    module = sys.modules.get("test_differential")
    if module is not None and module.GRAPHS_SEEN["graphs"]:
        for line in module.summary_lines():
            terminalreporter.write_line(line)
