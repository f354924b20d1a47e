"""The linkwork command against SciPy and the Python API, and the README's examples of it.

Real undirected networks are written as many tools write them: a general Matrix
Market file holding each edge once, above the diagonal. The command must read them
as the Python API and SciPy do.
"""

import json
import os
import re
import shlex
import subprocess

import numpy as np
import pytest
import scipy.io
import scipy.sparse as sp
import scipy.sparse.csgraph as csg

import linkwork
from conftest import BUILD_DIR

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
COMMAND = os.path.join(BUILD_DIR, "bin", "linkwork")

pytestmark = pytest.mark.skipif(not os.path.exists(COMMAND), reason="the command is not built")


def run(*arguments, cwd=None):
    return subprocess.run([COMMAND, *arguments], capture_output=True, text=True, cwd=cwd, timeout=120)


def outputs(*arguments):
    """The outputs of a --json run as NumPy arrays (sparse ones as CSC matrices)."""
    result = run("--json", *arguments)
    assert result.returncode == 0, result.stderr
    arrays = []
    for output in json.loads(result.stdout)["outputs"]:
        if output["sparse"]:
            entries = np.array(output["entries"], dtype=float).reshape(-1, 3)
            shape = tuple(output["shape"])
            arrays.append(sp.csc_matrix((entries[:, 2], (entries[:, 0] - 1, entries[:, 1] - 1)), shape=shape))
        else:
            values = [float(v) if not isinstance(v, str) else float(v.replace("Inf", "inf")) for v in output["values"]]
            arrays.append(np.array(values).reshape(output["shape"]))
    return arrays


def upper_triangle_network(name, tmp_path):
    """(file, symmetric weighted CSC) for a graph_tool collection network written upper-triangle only."""
    gt = pytest.importorskip("graph_tool.all")
    path = os.path.join(os.path.dirname(gt.__file__), "collection", name + ".gt.gz")
    if not os.path.exists(path):
        pytest.skip(f"{name} is not in graph_tool.collection here")
    g = gt.load_graph(path)
    edges = g.get_edges()[:, :2].astype(np.int64)
    edges = edges[edges[:, 0] != edges[:, 1]]
    n = g.num_vertices()
    rows, cols = np.minimum(edges[:, 0], edges[:, 1]), np.maximum(edges[:, 0], edges[:, 1])
    upper = sp.coo_matrix((np.ones(len(rows)), (rows, cols)), shape=(n, n)).tocsr()
    upper.sum_duplicates()
    upper.data = np.random.default_rng(7).integers(1, 20, upper.nnz).astype(float)
    file = tmp_path / (name + ".mtx")
    scipy.io.mmwrite(str(file), upper.tocoo(), symmetry="general")
    return str(file), (upper + upper.T).tocsc()


@pytest.mark.parametrize("name, components", [("karate", 1), ("polblogs", 268)])
def test_upper_triangle_files_read_as_undirected(name, components, tmp_path):
    file, graph = upper_triangle_network(name, tmp_path)
    count, labels = outputs("wcc", "--undirected", file)
    scipy_count, _ = csg.connected_components(graph, directed=False)
    assert count[0, 0] == scipy_count == components
    assert linkwork.connected_components(graph, directed=False)[0] == scipy_count

    distances, _ = outputs("dij", "--undirected", file, "1")
    expected = csg.dijkstra(graph, directed=False, indices=0)
    np.testing.assert_array_equal(distances[0], expected)
    np.testing.assert_array_equal(linkwork.dijkstra(graph, directed=False, indices=0), expected)

    forest, _ = outputs("kru", file, "1")
    assert forest.sum() == csg.minimum_spanning_tree(graph).sum()
    tree, _ = outputs("pri", file, "1")
    reached = np.isfinite(expected)
    assert tree.sum() == csg.minimum_spanning_tree(graph[reached][:, reached]).sum()

    # As stored, the module sees only the (empty) lower triangle: every vertex alone.
    stored = run("wcc", "--undirected", "--as-stored", file, "--nargout", "1")
    assert stored.stdout == f"{graph.shape[0]}\n"
    assert "on or above the diagonal ignored" in stored.stderr


def readme_command_examples():
    """(command line, strings its output must contain) for every example of the command."""
    text = open(os.path.join(REPO, "README.md"), encoding="utf-8").read()
    section = text[text.index("## The linkwork command"):text.index("## The Python package")]
    examples = []
    for line in section.splitlines():
        if line.startswith("    ") and "build/bin/linkwork " in line and " CODE" not in line:
            command, _, comment = line.strip().partition("  #")
            examples.append((command.strip(), [comment.strip(" #")] if comment.strip() else []))
        match = re.match(r"\| `(linkwork [^`]*)` \| (.*) \|$", line)
        if match:
            examples.append(("build/bin/" + match.group(1), re.findall(r"`([^`]*)`", match.group(2))))
    return examples


def test_readme_lists_examples_of_every_code():
    commands = " ".join(command for command, _ in readme_command_examples())
    for code in ("top", "isd", "dfs", "bfs", "wcc", "scc", "ist", "dij", "spb", "bel", "spa", "all", "pri", "kru",
                 "edm", "gol", "iso"):
        assert f"linkwork {code} " in commands, code


@pytest.mark.parametrize("command, shown", readme_command_examples())
def test_readme_examples_run_as_written(command, shown, tmp_path):
    # As a shell runs it from the source directory, with this build's command.
    script = command.replace("build/bin/linkwork ", shlex.quote(COMMAND) + " ")
    result = subprocess.run(["/bin/sh", "-c", script], capture_output=True, text=True, cwd=REPO, timeout=60)
    assert result.returncode == 0, result.stderr
    for text in shown:
        assert text in result.stdout, (text, result.stdout)


def test_progress_line_on_a_terminal_only(tmp_path):
    """A file of several megabytes shows the loading line when standard error is a terminal."""
    pty = pytest.importorskip("pty")
    rng = np.random.default_rng(3)
    edges = rng.integers(1, 50001, size=(600000, 2))
    file = tmp_path / "big.edges"
    np.savetxt(file, edges, fmt="%d")
    assert file.stat().st_size > 4 << 20
    controller, terminal = pty.openpty()
    try:
        result = subprocess.run([COMMAND, "wcc", str(file), "--nargout", "1"], stdout=subprocess.PIPE,
                                stderr=terminal, timeout=120)
        os.close(terminal)
        terminal = None
        shown = b""
        while True:
            try:
                chunk = os.read(controller, 65536)
            except OSError:  # the terminal's other end is closed: everything was read
                break
            if not chunk:
                break
            shown += chunk
    finally:
        if terminal is not None:
            os.close(terminal)
        os.close(controller)
    assert result.returncode == 0
    assert re.search(rb"linkwork: read .*big\.edges: [0-9.]+ MB in [0-9.]+ s", shown), shown
    # Not a terminal: nothing but the result.
    quiet = run("wcc", str(file), "--nargout", "1")
    assert quiet.stderr == "" and quiet.stdout == result.stdout.decode()
