"""linkwork-mpi at 1, 2 and 4 ranks against the single-machine command on the same file.

Graphs are random (directed and undirected, with unreachable parts, isolated
vertices, self-loops and repeated entries) or real networks from graph-tool's
collection. Every file is read by both commands; depths, distances, labels and
forest weights must agree exactly, and predecessors wherever they are unique.
"""

import gzip
import math
import os
import subprocess

import numpy as np
import pytest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ.get("LINKWORK_BUILD", os.path.join(ROOT, "build"))
MPI_CMD = os.path.join(BUILD, "bin", "linkwork-mpi")
CLI = os.path.join(BUILD, "bin", "linkwork")
RANKS = (1, 2, 4)

if not os.path.exists(MPI_CMD):
    pytest.skip("linkwork-mpi is not built (LINKWORK_MPI=OFF)", allow_module_level=True)


def mpirun(ranks, *args, check=True):
    command = ["mpirun", "--oversubscribe", "--timeout", "60", "-n", str(ranks), MPI_CMD, *map(str, args)]
    if os.geteuid() == 0:
        command.insert(1, "--allow-run-as-root")
    result = subprocess.run(command, capture_output=True, text=True, timeout=120)
    if check:
        assert result.returncode == 0, result.stderr
    return result


def single(*args):
    result = subprocess.run([CLI, *map(str, args)], capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    return result.stdout


def outputs(text):
    """{title: [lines]} from 'output k (title):' blocks."""
    blocks, title = {}, None
    for line in text.splitlines():
        if line.startswith("output ") and line.endswith(":"):
            title = line[line.index("(") + 1 : line.rindex(")")]
            blocks[title] = []
        elif title is not None:
            blocks[title].append(line)
    return blocks


def vector(lines):
    return np.array([float(x) for x in " ".join(lines).split()])


def write_mtx(path, n, rows, cols, values=None, symmetric=False):
    field = "pattern" if values is None else "real"
    with open(path, "w") as f:
        f.write(f"%%MatrixMarket matrix coordinate {field} {'symmetric' if symmetric else 'general'}\n")
        f.write("% a comment line\n")
        f.write(f"{n} {n} {len(rows)}\n")
        for k in range(len(rows)):
            tail = "" if values is None else " " + repr(float(values[k]))
            f.write(f"{rows[k] + 1} {cols[k] + 1}{tail}\n")


def write_edges(path, rows, cols, values=None, opener=open):
    with opener(path, "wt") as f:
        f.write("# an edge list\n")
        for k in range(len(rows)):
            tail = "" if values is None else " " + repr(float(values[k]))
            f.write(f"{rows[k] + 1} {cols[k] + 1}{tail}\n")


def random_graph(seed, n, m, symmetric=False):
    """Entries over the first 80% of the vertices (the rest isolated), with
    self-loops and repeated entries; weights drawn from a continuum (no ties)."""
    rng = np.random.default_rng(seed)
    live = max(2, int(n * 0.8))
    rows = rng.integers(0, live, m)
    cols = rng.integers(0, live, m)
    rows[:3], cols[:3] = [0, 1, 1], [0, 1, 1]  # self-loops, one repeated
    if symmetric:
        keep = rows >= cols
        rows, cols = rows[keep], cols[keep]
    values = rng.uniform(0.5, 4.0, len(rows))
    # The last live vertex only points out: unreachable from everything else.
    rows = np.append(rows, live - 1)
    cols = np.append(cols, 0)
    values = np.append(values, 1.5)
    return rows, cols, values


CASES = [
    # (name, n, m, symmetric, weighted)
    ("directed-weighted", 60, 90, False, True),
    ("directed-pattern", 50, 70, False, False),
    ("symmetric-weighted", 70, 110, True, True),
]


@pytest.fixture(scope="module", params=CASES, ids=[c[0] for c in CASES])
def graph_file(request, tmp_path_factory):
    name, n, m, symmetric, weighted = request.param
    rows, cols, values = random_graph(len(name), n, m, symmetric)
    path = tmp_path_factory.mktemp("g") / f"{name}.mtx"
    write_mtx(path, n, rows, cols, values if weighted else None, symmetric)
    return str(path), n


def predecessors_agree(mine, theirs, distances):
    """Identical wherever the predecessor is forced; elsewhere both must lie one
    step closer to the source (checked by the caller through distances)."""
    assert len(mine) == len(theirs)
    reached = ~np.isinf(distances)
    assert np.array_equal(np.isnan(mine), ~reached)
    assert np.array_equal(np.isnan(theirs), ~reached)


# Each (flags, rank count) pair of a case: every case runs at several rank counts,
# and MPI start-up (seconds on a loaded machine) keeps the number of runs small.
RUNS = [([], 1), (["--undirected"], 2), ([], 4), (["--undirected"], 4), (["--undirected", "--as-stored"], 3)]


@pytest.mark.parametrize("code", ["spb", "dij"])
def test_paths_match_single_machine(graph_file, code):
    path, n = graph_file
    with open(path) as f:
        weighted = "pattern" not in f.readline()
    for flags, ranks in RUNS[1:] if code == "spb" else RUNS[:3] + RUNS[4:]:
        source = 1 if ranks != 2 else n // 3
        want = outputs(single(code, *flags, path, source))
        expected = vector(want["distances"])
        got = outputs(mpirun(ranks, code, *flags, path, source).stdout)
        distances = vector(got["distances"])
        assert np.array_equal(distances, expected), (flags, ranks)
        predecessors = vector(got["predecessors"])
        predecessors_agree(predecessors, vector(want["predecessors"]), distances)
        if code == "dij" and weighted:  # continuous weights: no ties, one shortest-path tree
            assert np.array_equal(predecessors, vector(want["predecessors"]), equal_nan=True)
        # Every predecessor is a neighbour one step closer (spb: one level up).
        for v in np.flatnonzero(~np.isnan(predecessors) & (predecessors > 0)):
            u = int(predecessors[v]) - 1
            assert distances[u] <= distances[v]
            if code == "spb":
                assert distances[u] == distances[v] - 1


def test_components_match_single_machine(graph_file):
    path, _ = graph_file
    for flags, ranks in RUNS[:3] + RUNS[4:]:
        want = outputs(single("wcc", *flags, path))
        got = outputs(mpirun(ranks, "wcc", *flags, path).stdout)
        assert got["count"] == want["count"], (flags, ranks)
        assert np.array_equal(vector(got["labels"]), vector(want["labels"])), (flags, ranks)


def forest(lines):
    return [tuple(float(x) for x in line.split()) for line in lines]


def test_forest_matches_single_machine(graph_file):
    path, _ = graph_file
    with open(path) as f:
        weighted = "pattern" not in f.readline()
    for flags, ranks in ((["--as-stored"], 1), ([], 2), ([], 4)):
        want = forest(outputs(single("kru", *flags, path, 1))["forest"])
        got = outputs(mpirun(ranks, "kru", *flags, path).stdout)
        edges = forest(got["forest"])
        assert int(got["edge count"][0]) == len(edges) == len(want)
        # The total, summed in written order, equals the single-machine forest's to the bit.
        total = 0.0
        for _, _, w in want:
            total += w
        assert float(got["total weight"][0]) == total
        if weighted:  # distinct weights: one minimum forest
            assert edges == want, (flags, ranks)


def test_formats_give_the_same_graph(tmp_path):
    """Matrix Market, edge list, gzip of either, and the binary conversion agree."""
    rows, cols, values = random_graph(7, 40, 80)
    mtx = tmp_path / "g.mtx"
    write_mtx(mtx, 40, rows, cols, values)
    edges = tmp_path / "g.edges"
    write_edges(edges, rows, cols, values)
    with open(mtx, "rb") as f, gzip.open(tmp_path / "g.mtx.gz", "wb") as g:
        g.write(f.read())
    write_edges(tmp_path / "g.edges.gz", rows, cols, values, opener=gzip.open)
    binary = tmp_path / "g.bin"
    mpirun(2, "convert", mtx, binary)
    expected = single("dij", mtx, 1)
    for name in ("g.mtx.gz", "g.bin"):
        assert mpirun(3, "dij", tmp_path / name, 1).stdout == expected, name
    # An edge list knows no isolated vertices past its largest number.
    from_edges = mpirun(3, "dij", edges, 1).stdout
    assert mpirun(2, "dij", tmp_path / "g.edges.gz", 1).stdout == from_edges
    last = int(max(rows.max(), cols.max())) + 1
    distances = vector(outputs(from_edges)["distances"])
    assert distances.size == last
    assert np.array_equal(distances, vector(outputs(expected)["distances"])[:last])


def test_output_file_and_summary(tmp_path):
    n = 50
    path = tmp_path / "g.mtx"
    write_mtx(path, n, *random_graph(5, n, 60))
    printed = mpirun(2, "spb", path, 1).stdout
    out = tmp_path / "out.txt"
    assert mpirun(4, "spb", path, 1, "-o", out).stdout == ""
    assert out.read_text() == printed
    for code, args in (("spb", [1]), ("dij", ["--undirected", 1]), ("wcc", [])):
        assert mpirun(2, "--summary", code, path, *args).stdout == single("--summary", code, path, *args)


def test_more_ranks_than_vertices(tmp_path):
    path = tmp_path / "tiny.mtx"
    write_mtx(path, 3, [1, 2], [0, 1], [2.0, 3.0])
    for code, source in (("dij", [1]), ("spb", [1]), ("wcc", [])):
        assert mpirun(4, code, path, *source).stdout == single(code, path, *source)


BAD_INPUTS = [
    # (file text, expected exit status, fragment of the message)
    ("%%MatrixMarket matrix coordinate real general\n3 3 2\n1 2 1\n4 1 1\n", 2, ":4: row index 4 is out of range 1..3"),
    ("%%MatrixMarket matrix coordinate real general\n3 3 2\n1 2 x\n2 1 1\n", 2, ":3: value 'x' is not a number"),
    ("%%MatrixMarket matrix coordinate real general\n3 3 3\n1 2 1\n2 1 1\n", 2, ":4: the file ends after 2 of the 3"),
    ("%%MatrixMarket matrix coordinate real general\n3 3 1\n1 2 1\n2 1 1\n", 2, ":4: more entries than the 1"),
    ("%%MatrixMarket matrix coordinate real general\n3 4 1\n1 2 1\n", 1, "NotSquareArray"),
    ("%%MatrixMarket matrix coordinate real general\n3 3 1\n1 2 -1\n", 1, "DijkstraAlgorithmError"),
    ("1 2 1.5\n2 3\n", 2, ":2: 2 fields where the first line has 3"),
    ("1 2\n0 3\n", 2, ":2: vertex 0 in a 1-based edge list"),
    ("not a graph at all\n", 2, ":1: too many fields"),
]


@pytest.mark.parametrize("text,status,message", BAD_INPUTS)
def test_bad_input_is_reported_once_by_rank_zero(tmp_path, text, status, message):
    path = tmp_path / ("g.mtx" if text.startswith("%%") else "g.edges")
    path.write_text(text)
    result = mpirun(3, "dij", path, 1, check=False)
    assert result.returncode == status, result.stderr
    assert message in result.stderr
    assert result.stderr.count(message) == 1  # rank 0 alone reports it


def test_usage_errors(tmp_path):
    missing = tmp_path / "missing.mtx"
    result = mpirun(2, "wcc", missing, check=False)
    assert result.returncode == 2 and "cannot open" in result.stderr
    result = mpirun(2, "scc", missing, check=False)
    assert result.returncode == 2 and "strong components" in result.stderr
    path = tmp_path / "g.mtx"
    write_mtx(path, 3, [1], [0], [1.0])
    result = mpirun(2, "spb", path, 9, check=False)
    assert result.returncode == 1 and "Source node index is invalid." in result.stderr
    result = mpirun(2, "dij", path, check=False)
    assert result.returncode == 2 and "too few arguments" in result.stderr
    # A gzip file cut short is an error, not a shorter graph.
    whole = gzip.compress(b"1 2\n" * 20000)
    cut = tmp_path / "cut.edges.gz"
    cut.write_bytes(whole[: len(whole) // 2])
    result = mpirun(2, "wcc", cut, check=False)
    assert result.returncode == 2 and "cannot inflate" in result.stderr, result.stderr


@pytest.fixture(scope="module", params=["karate", "polblogs"])
def real_network(request, tmp_path_factory):
    gt = pytest.importorskip("graph_tool")
    collection = os.path.join(os.path.dirname(gt.__file__), "collection", request.param + ".gt.gz")
    if not os.path.exists(collection):
        pytest.skip(f"{request.param} is not in graph_tool's collection here")
    g = gt.load_graph(collection)
    e = g.get_edges()[:, :2].astype(np.int64)
    rng = np.random.default_rng(3)
    path = tmp_path_factory.mktemp("real") / f"{request.param}.mtx"
    # Undirected networks as symmetric files, directed ones as they are.
    if not g.is_directed():
        e = np.sort(e, axis=1)[:, ::-1]
    write_mtx(path, g.num_vertices(), e[:, 0], e[:, 1], rng.uniform(0.5, 2.0, len(e)), not g.is_directed())
    return str(path)


def test_real_networks(real_network):
    ranks = 4 if "karate" in real_network else 2
    for flags in ([], ["--undirected"]):
        want = outputs(single("wcc", *flags, real_network))
        got = outputs(mpirun(ranks, "wcc", *flags, real_network).stdout)
        assert got["count"] == want["count"]
        assert np.array_equal(vector(got["labels"]), vector(want["labels"]))
        for code in ("spb", "dij"):
            want = vector(outputs(single(code, *flags, real_network, 1))["distances"])
            got = vector(outputs(mpirun(ranks, code, *flags, real_network, 1).stdout)["distances"])
            assert np.array_equal(got, want), (code, flags, ranks)
    want = forest(outputs(single("kru", real_network, 1))["forest"])
    assert forest(outputs(mpirun(ranks, "kru", real_network).stdout)["forest"]) == want
