#!/usr/bin/python3
"""linkwork against its peers, end to end, and where linkwork's time goes.

Run from the repository root with Debian's interpreter (it carries numpy/scipy):

    /usr/bin/python3 bench/run.py            # full run (about 30 minutes on 2 cores)
    /usr/bin/python3 bench/run.py --quick    # small graphs, few repeats (a minute or two)

It builds (once) a Release tree with the module's stage clocks in build-bench/
(cmake -DLINKWORK_STAGE_CLOCKS=ON) plus bench/'s native parts, then times every
algorithm code through the Pythonic API against SciPy csgraph, igraph, graph-tool
and NetworkX on the same graphs. Every tool gets the CSR matrix a csgraph user
holds (what tocsr() gives: sorted, int32 indices where they fit); "linkwork-csc"
is linkwork again from the canonical CSC matrix (int64 indices), the module's
own form. Peers' times include building their graph objects from the matrix,
since a user has to. Each (graph, code) runs in a fresh worker process, tools one after another;
a tool whose call exceeds --timeout is killed with its worker and recorded as
"timeout", the worker then resumes with the next tool.

Memory: before each timed call the worker resets the kernel's peak-RSS mark
(writing 5 to /proc/self/clear_refs), and after it reads VmHWM from
/proc/self/status; "peak" is VmHWM less the RSS just before the call, i.e. the
extra resident memory the call needed (C++ allocations included, which
tracemalloc would miss). The graph itself is loaded before, so it is not counted.

Writes bench/RESULTS.md, bench/results.json and bench/time_vs_size.png.
"""

import argparse
import ctypes
import datetime
import gc
import json
import os
import platform
import selectors
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
BUILD = os.path.join(ROOT, "build-bench")
GRAPH_CACHE = os.path.join(BUILD, "bench-graphs")
SHIM = os.path.join(BUILD, "bench", "liblwb_stage_marks.so")

CODES = ["top", "isd", "dfs", "bfs", "wcc", "scc", "ist", "dij", "spb", "bel", "spa", "all",
         "pri", "kru", "edm", "gol", "iso"]
TOOLS = ["linkwork", "linkwork-csc", "scipy", "igraph", "graph-tool", "networkx"]
STAGES = ["front-end in", "import", "algorithm", "outputs", "release", "front-end out"]

# Which form of a graph a code runs on: the directed graph, its DAG (upper
# triangle: no cycles, no reciprocal edges, as top/isd/spa and the flows need),
# or the undirected graph (every entry an undirected edge).
FORM = {"top": "dag", "isd": "dag", "spa": "dag", "edm": "oneway", "gol": "oneway",
        "ist": "undirected", "pri": "undirected", "kru": "undirected"}
# Size limits (vertices) beyond which a combination is not run, and why.
LIMITS = {
    ("all", None): (5000, "all-pairs output is N^2 doubles"),
    ("iso", None): (10000, "isomorphism only on relabelled copies of the graphs up to 10^4 vertices"),
    (None, "networkx"): (10000, "NetworkX only on the small graphs"),
    ("all", "networkx"): (1000, "NetworkX all-pairs only on the smallest graph"),
    ("iso", "networkx"): (1000, "NetworkX VF2 only on the smallest graph"),
}


# ---------------------------------------------------------------------------
# Graphs

def graph_specs(quick):
    if quick:
        return [("random 1e3", "random", 1000), ("random 1e4", "random", 10000), ("power", "real", "power")]
    return [
        ("random 1e3", "random", 1000), ("random 1e4", "random", 10000), ("random 1e5", "random", 100000),
        ("random 1e6", "random", 1000000), ("grid 1000x1000", "grid", 1000),
        ("email-Enron", "real", "email-Enron"), ("cond-mat-2005", "real", "cond-mat-2005"),
        ("pgp-strong-2009", "real", "pgp-strong-2009"),
    ]


def _canonical(n, rows, cols, weights):
    import numpy as np
    import scipy.sparse as sp
    matrix = sp.csc_matrix((weights.astype(np.float64), (rows, cols)), shape=(n, n))
    matrix.sum_duplicates()
    matrix.sort_indices()
    matrix.eliminate_zeros()
    return matrix


def make_graph(kind, arg, seed=9):
    """The directed graph as a canonical CSC matrix with integer weights 1..100."""
    import numpy as np
    random = np.random.default_rng(seed)
    if kind == "random":
        n = int(arg)
        m = 10 * n
        rows = random.integers(0, n, m)
        cols = random.integers(0, n, m)
        keep = rows != cols
        rows, cols = rows[keep], cols[keep]
        # Duplicates are dropped (not summed) so that weights stay in 1..100.
        key = np.unique(rows * n + cols)
        rows, cols = key // n, key % n
    elif kind == "grid":
        side = int(arg)
        index = np.arange(side * side).reshape(side, side)
        right = np.stack([index[:, :-1].ravel(), index[:, 1:].ravel()])
        down = np.stack([index[:-1, :].ravel(), index[1:, :].ravel()])
        pairs = np.concatenate([right, down], axis=1)
        rows = np.concatenate([pairs[0], pairs[1]])
        cols = np.concatenate([pairs[1], pairs[0]])
        n = side * side
    else:
        import graph_tool.collection
        g = graph_tool.collection.data[arg]
        edges = g.get_edges()
        n = g.num_vertices()
        rows, cols = edges[:, 0].astype(np.int64), edges[:, 1].astype(np.int64)
        if not g.is_directed():
            rows, cols = np.concatenate([rows, cols]), np.concatenate([cols, rows])
        keep = rows != cols
        rows, cols = rows[keep], cols[keep]
        key = np.unique(rows * n + cols)
        rows, cols = key // n, key % n
    weights = random.integers(1, 101, rows.size).astype(np.float64)
    if kind == "grid":
        # Symmetric weights, so the directed and undirected readings agree.
        lower = np.minimum(rows, cols) * n + np.maximum(rows, cols)
        _, inverse = np.unique(lower, return_inverse=True)
        weights = random.integers(1, 101, inverse.max() + 1).astype(np.float64)[inverse]
    return _canonical(n, rows, cols, weights)


def graph_file(name, kind, arg):
    os.makedirs(GRAPH_CACHE, exist_ok=True)
    path = os.path.join(GRAPH_CACHE, name.replace(" ", "_") + ".npz")
    if not os.path.exists(path):
        import scipy.sparse as sp
        sp.save_npz(path, make_graph(kind, arg), compressed=False)
    return path


def graph_form(matrix, form):
    """The form a code runs on, as a canonical CSC matrix with int64 indices."""
    import numpy as np
    import scipy.sparse as sp
    if form == "dag":
        matrix = sp.triu(matrix, 1).tocsc()
    elif form == "oneway":
        # The flows refuse mirrored entries; "oneway" drops the lower entry of each
        # mirrored pair and keeps the cycles, so that vertex N-1 stays reachable from
        # vertex 0 (in a random DAG it seldom is, and every flow would be 0).
        upper = sp.triu(matrix, 1).tocsc()
        lower = sp.tril(matrix, -1).tocsc()
        mirrored = lower.multiply(upper.T.tocsc() != 0).tocsc()
        matrix = (upper + (lower - mirrored)).tocsc()
        matrix.eliminate_zeros()
    matrix.sort_indices()
    matrix.indices = matrix.indices.astype(np.int64)
    matrix.indptr = matrix.indptr.astype(np.int64)
    return matrix


# ---------------------------------------------------------------------------
# Memory and stage clocks

def _status(field):
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1]) * 1024
    return 0


def reset_peak():
    with open("/proc/self/clear_refs", "w") as refs:
        refs.write("5")


class StageClock:
    """Reads the module's stage marks through bench/'s C accessor."""

    def __init__(self):
        self.lib = ctypes.CDLL(SHIM)
        self.lib.lwbTakeStageMarks.restype = ctypes.c_size_t
        self.lib.lwbStageMark.restype = ctypes.c_int
        self.lib.lwbStageMark.argtypes = [ctypes.c_size_t, ctypes.c_char_p, ctypes.c_size_t,
                                          ctypes.POINTER(ctypes.c_double)]

    def take(self):
        count = self.lib.lwbTakeStageMarks()
        name = ctypes.create_string_buffer(32)
        seconds = ctypes.c_double()
        marks = []
        for index in range(count):
            if self.lib.lwbStageMark(index, name, 32, ctypes.byref(seconds)):
                marks.append((name.value.decode(), seconds.value))
        return marks


def breakdown(marks, start, end):
    """Seconds per stage of one API call from its marks and its Python start and end."""
    stages = dict.fromkeys(STAGES, 0.0)
    entered = [t for s, t in marks if s == "entered"]
    released = [t for s, t in marks if s == "released"]
    if not entered or not released:
        return None
    stages["front-end in"] = entered[0] - start
    stages["front-end out"] = end - released[-1]
    previous = None
    names = {"imported": "import", "algorithm": "algorithm", "outputs": "outputs", "released": "release"}
    for stage, moment in marks:
        if stage == "entered":
            previous = moment
            continue
        if previous is not None and stage in names:
            stages[names[stage]] += moment - previous
            previous = moment
    return stages


# ---------------------------------------------------------------------------
# The tools: each entry builds what the tool needs from the CSC matrix and runs
# the code; all of it is timed.

def edge_arrays(matrix):
    """(rows, cols) of the stored entries of a CSR or CSC matrix, in data order."""
    import numpy as np
    major = np.repeat(np.arange(len(matrix.indptr) - 1, dtype=np.int64), np.diff(matrix.indptr))
    minor = matrix.indices.astype(np.int64)
    return (major, minor) if matrix.format == "csr" else (minor, major)


def sink_of(matrix):
    return matrix.shape[0] - 1


def lw_runner(code, matrix, other):
    import linkwork as lw
    sink = sink_of(matrix)
    table = {
        "top": lambda: lw.topological_sort(matrix),
        "isd": lambda: lw.is_directed_acyclic_graph(matrix),
        "dfs": lambda: lw.depth_first_order(matrix, 0),
        "bfs": lambda: lw.breadth_first_order(matrix, 0),
        "wcc": lambda: lw.connected_components(matrix, connection="weak"),
        "scc": lambda: lw.connected_components(matrix, connection="strong"),
        "ist": lambda: lw.is_tree(matrix),
        "dij": lambda: lw.dijkstra(matrix, indices=0),
        "spb": lambda: lw.dijkstra(matrix, indices=0, unweighted=True),
        "bel": lambda: lw.bellman_ford(matrix, indices=0),
        "spa": lambda: lw.dag_shortest_path(matrix, indices=0),
        "all": lambda: lw.johnson(matrix),
        "pri": lambda: lw.minimum_spanning_tree(matrix, method="prim"),
        "kru": lambda: lw.minimum_spanning_tree(matrix, method="kruskal"),
        "edm": lambda: lw.maximum_flow(matrix, 0, sink),
        "gol": lambda: lw.maximum_flow(matrix, 0, sink, method="push_relabel"),
        "iso": lambda: lw.is_isomorphic(matrix, other),
    }
    return table.get(code)


def scipy_runner(code, matrix, other):
    import numpy as np
    from scipy.sparse import csgraph
    sink = sink_of(matrix)

    def flow(method):
        capacities = matrix.astype(np.int32).tocsr()
        return csgraph.maximum_flow(capacities, 0, sink, method=method).flow_value

    table = {
        "dfs": lambda: csgraph.depth_first_order(matrix, 0),
        "bfs": lambda: csgraph.breadth_first_order(matrix, 0),
        "wcc": lambda: csgraph.connected_components(matrix, connection="weak"),
        "scc": lambda: csgraph.connected_components(matrix, connection="strong"),
        "dij": lambda: csgraph.dijkstra(matrix, indices=0),
        "spb": lambda: csgraph.shortest_path(matrix, method="D", unweighted=True, indices=0),
        "bel": lambda: csgraph.bellman_ford(matrix, indices=0),
        "all": lambda: csgraph.johnson(matrix),
        "pri": lambda: csgraph.minimum_spanning_tree(matrix),
        "kru": lambda: csgraph.minimum_spanning_tree(matrix),
        "edm": lambda: flow("edmonds_karp"),
        "gol": lambda: flow("dinic"),
    }
    return table.get(code)


def igraph_runner(code, matrix, other):
    import igraph as ig

    def build(m, directed=True):
        rows, cols = edge_arrays(m)
        import numpy as np
        return ig.Graph(n=m.shape[0], edges=np.column_stack((rows, cols)), directed=directed)

    sink = sink_of(matrix)
    table = {
        "top": lambda: build(matrix).topological_sorting(),
        "isd": lambda: build(matrix).is_dag(),
        "dfs": lambda: build(matrix).dfs(0),
        "bfs": lambda: build(matrix).bfs(0),
        "wcc": lambda: build(matrix).connected_components(mode="weak").membership,
        "scc": lambda: build(matrix).connected_components(mode="strong").membership,
        "ist": lambda: build(matrix, False).is_tree(),
        "dij": lambda: build(matrix).distances(0, weights=matrix.data.tolist()),
        "spb": lambda: build(matrix).distances(0),
        "all": lambda: build(matrix).distances(weights=matrix.data.tolist()),
        "pri": lambda: build(matrix, False).spanning_tree(weights=matrix.data.tolist()),
        "kru": lambda: build(matrix, False).spanning_tree(weights=matrix.data.tolist()),
        "edm": lambda: build(matrix).maxflow_value(0, sink, capacity=matrix.data.tolist()),
        "gol": lambda: build(matrix).maxflow_value(0, sink, capacity=matrix.data.tolist()),
        "iso": lambda: build(matrix).isomorphic(build(other)),
    }
    return table.get(code)


def graphtool_runner(code, matrix, other):
    import graph_tool.all as gt

    def build(m, directed=True, weighted=False):
        rows, cols = edge_arrays(m)
        import numpy as np
        g = gt.Graph(directed=directed)
        g.add_vertex(m.shape[0])
        g.add_edge_list(np.column_stack((rows, cols)))
        if weighted:
            return g, g.new_edge_property("double", vals=m.data)
        return g

    def flow(method):
        g, capacity = build(matrix, weighted=True)
        source, target = g.vertex(0), g.vertex(sink_of(matrix))
        residual = method(g, source, target, capacity)
        return sum(capacity[e] - residual[e] for e in source.out_edges())

    def tree(prim):
        g, weight = build(matrix, False, True)
        return gt.min_spanning_tree(g, weights=weight, root=g.vertex(0) if prim else None).a.copy()

    def weighted(**options):
        g, weight = build(matrix, weighted=True)
        return gt.shortest_distance(g, g.vertex(0), weights=weight, **options).a.copy()

    def all_pairs():
        g, weight = build(matrix, weighted=True)
        return gt.shortest_distance(g, weights=weight).get_2d_array(range(matrix.shape[0]))

    def kept(function, *options):
        g = build(matrix)  # property maps need their graph alive to give arrays
        return function(g, *options)

    table = {
        "top": lambda: gt.topological_sort(build(matrix)),
        "isd": lambda: gt.is_DAG(build(matrix)),
        "dfs": lambda: gt.dfs_iterator(build(matrix), 0, array=True),
        "bfs": lambda: gt.bfs_iterator(build(matrix), 0, array=True),
        "wcc": lambda: kept(lambda g: gt.label_components(g, directed=False)[0].a.copy()),
        "scc": lambda: kept(lambda g: gt.label_components(g, directed=True)[0].a.copy()),
        "dij": lambda: weighted(),
        "spb": lambda: kept(lambda g: gt.shortest_distance(g, g.vertex(0)).a.copy()),
        "bel": lambda: weighted(negative_weights=True),
        "spa": lambda: weighted(dag=True),
        "all": all_pairs,
        "pri": lambda: tree(True),
        "kru": lambda: tree(False),
        "edm": lambda: flow(gt.edmonds_karp_max_flow),
        "gol": lambda: flow(gt.push_relabel_max_flow),
        "iso": lambda: gt.isomorphism(build(matrix), build(other)),
    }
    return table.get(code)


def networkx_runner(code, matrix, other):
    import networkx as nx
    from networkx.algorithms import flow

    def build(m, directed=True):
        return nx.from_scipy_sparse_array(m, create_using=nx.DiGraph if directed else nx.Graph)

    sink = sink_of(matrix)
    table = {
        "top": lambda: list(nx.topological_sort(build(matrix))),
        "isd": lambda: nx.is_directed_acyclic_graph(build(matrix)),
        "dfs": lambda: list(nx.dfs_preorder_nodes(build(matrix), 0)),
        "bfs": lambda: dict(nx.bfs_predecessors(build(matrix), 0)),
        "wcc": lambda: list(nx.weakly_connected_components(build(matrix))),
        "scc": lambda: list(nx.strongly_connected_components(build(matrix))),
        "ist": lambda: nx.is_tree(build(matrix, False)),
        "dij": lambda: nx.single_source_dijkstra_path_length(build(matrix), 0),
        "spb": lambda: nx.single_source_shortest_path_length(build(matrix), 0),
        "bel": lambda: nx.single_source_bellman_ford_path_length(build(matrix), 0),
        "all": lambda: dict(nx.all_pairs_dijkstra_path_length(build(matrix))),
        "pri": lambda: nx.minimum_spanning_tree(build(matrix, False), algorithm="prim"),
        "kru": lambda: nx.minimum_spanning_tree(build(matrix, False), algorithm="kruskal"),
        "edm": lambda: nx.maximum_flow_value(build(matrix), 0, sink, capacity="weight",
                                             flow_func=flow.edmonds_karp),
        "gol": lambda: nx.maximum_flow_value(build(matrix), 0, sink, capacity="weight",
                                             flow_func=flow.preflow_push),
        "iso": lambda: nx.is_isomorphic(build(matrix), build(other)),
    }
    return table.get(code)


RUNNERS = {"linkwork": lw_runner, "linkwork-csc": lw_runner, "scipy": scipy_runner, "igraph": igraph_runner,
           "graph-tool": graphtool_runner, "networkx": networkx_runner}


def skip_reason(code, tool, n):
    for key in ((code, tool), (code, None), (None, tool)):
        if key in LIMITS and n > LIMITS[key][0]:
            return LIMITS[key][1]
    return None


# ---------------------------------------------------------------------------
# Result checks: linkwork against SciPy (or against the answer's own
# definition), outside the timed runs. A mismatch is a fault to report.

def check(code, matrix, result, reference):
    import numpy as np
    from scipy.sparse import csgraph
    try:
        if code in ("dij", "spb", "bel"):
            return "ok" if np.allclose(result, reference, equal_nan=True) else "MISMATCH"
        if code in ("wcc", "scc"):
            count, labels = result
            ref_count, ref_labels = reference
            same = count == ref_count and len(set(zip(labels.tolist(), ref_labels.tolist()))) == ref_count
            return "ok" if same else "MISMATCH"
        if code == "all":
            return "ok" if np.allclose(result, reference, equal_nan=True) else "MISMATCH"
        if code == "kru":
            return "ok" if np.isclose(result.sum(), reference.sum()) else "MISMATCH"
        if code in ("edm", "gol"):
            return "ok" if np.isclose(result.flow_value, reference) else "MISMATCH"
        if code in ("dfs", "bfs"):
            return "ok" if set(result[0].tolist()) == set(reference[0].tolist()) else "MISMATCH"
        if code == "top":
            position = np.empty(matrix.shape[0], dtype=np.int64)
            position[np.asarray(result)] = np.arange(matrix.shape[0])
            rows, cols = edge_arrays(matrix)
            return "ok" if np.all(position[rows] < position[cols]) else "MISMATCH"
        if code == "isd":
            return "ok" if result is True or result == True else "MISMATCH"  # noqa: E712 (numpy bools)
        if code == "iso":
            return "ok" if bool(result) else "MISMATCH"
        if code == "spa":
            ref = csgraph.dijkstra(matrix, indices=0)
            return "ok" if np.allclose(result, ref, equal_nan=True) else "MISMATCH"
    except Exception as error:  # a malformed result is a fault too
        return f"MISMATCH ({type(error).__name__})"
    return ""


# ---------------------------------------------------------------------------
# The worker: one (graph, code), the given tools in order.

def emit(record):
    sys.stdout.write(json.dumps(record) + "\n")
    sys.stdout.flush()


def worker(args):
    import numpy as np
    import scipy.sparse as sp
    matrix = sp.load_npz(args.graph).tocsc()
    matrix.indices = matrix.indices.astype(np.int64)
    matrix.indptr = matrix.indptr.astype(np.int64)
    form = FORM.get(args.code, "directed")
    matrix = graph_form(matrix, form)
    # The CSR matrix a csgraph user holds: tocsr() sorts and picks int32 indices
    # where they fit.
    csr = matrix.tocsr()
    other = other_csr = None
    if args.code == "iso":
        permutation = np.random.default_rng(3).permutation(matrix.shape[0])
        other = matrix[permutation][:, permutation].tocsc()
        other.sort_indices()
        other_csr = other.tocsr()
    clock = StageClock() if any(tool.startswith("linkwork") for tool in args.tools) else None
    results = {}
    for tool in args.tools:
        emit({"event": "start", "tool": tool})
        given, given_other = (matrix, other) if tool == "linkwork-csc" else (csr, other_csr)
        input_bytes = given.data.nbytes + given.indices.nbytes + given.indptr.nbytes
        run = RUNNERS[tool](args.code, given, given_other)
        if run is None:
            emit({"event": "done", "tool": tool, "status": "n/a"})
            continue
        times, peaks, stages = [], [], []
        result = None
        try:
            while True:
                result = None
                gc.collect()
                if clock:
                    clock.take()
                reset_peak()
                before = _status("VmRSS")
                start = time.monotonic()
                result = run()
                end = time.monotonic()
                peaks.append(_status("VmHWM") - before)
                times.append(end - start)
                if tool.startswith("linkwork"):
                    split = breakdown(clock.take(), start, end)
                    if split:
                        stages.append(split)
                total = sum(times)
                if len(times) >= args.repeats or (len(times) >= 1 and total > args.run_budget) \
                        or (len(times) >= 3 and total > args.run_budget / 2):
                    break
        except Exception as error:
            emit({"event": "done", "tool": tool, "status": "error",
                  "error": f"{type(error).__name__}: {error}"[:300]})
            continue
        record = {"event": "done", "tool": tool, "status": "ok", "times": times,
                  "median": statistics.median(times), "peak": max(peaks), "input_bytes": input_bytes,
                  "n": matrix.shape[0], "nnz": int(matrix.nnz), "input": given.format}
        if tool.startswith("linkwork"):
            record["output_bytes"] = output_bytes(result)
            if stages:
                record["stages"] = {s: statistics.median(split[s] for split in stages) for s in STAGES}
            results.setdefault("linkwork", result)
        if tool == "scipy":
            results["scipy"] = result
        emit(record)
    if "linkwork" in results and (args.code not in ("dij", "spb", "bel", "wcc", "scc", "all", "kru", "edm",
                                                     "gol", "dfs", "bfs") or "scipy" in results):
        emit({"event": "check", "result": check(args.code, csr, results["linkwork"], results.get("scipy"))})


def output_bytes(result):
    import numpy as np
    import scipy.sparse as sp
    total = 0
    stack = [result]
    while stack:
        item = stack.pop()
        if isinstance(item, np.ndarray):
            total += item.nbytes
        elif sp.issparse(item):
            total += sum(getattr(item, name).nbytes for name in ("data", "indices", "indptr") if hasattr(item, name))
        elif isinstance(item, (tuple, list)):
            stack.extend(item)
        elif hasattr(item, "flow"):
            stack.append(item.flow)
    return total


# ---------------------------------------------------------------------------
# The driver

def build():
    steps = [
        ["cmake", "-S", ROOT, "-B", BUILD, "-DCMAKE_BUILD_TYPE=Release", "-DLINKWORK_STAGE_CLOCKS=ON",
         "-DLINKWORK_TESTS=OFF", "-DLINKWORK_CLI=OFF"],
        ["cmake", "--build", BUILD, "-j2"],
        ["cmake", "-S", HERE, "-B", os.path.join(BUILD, "bench"), "-DLINKWORK_BUILD=" + BUILD,
         "-DCMAKE_BUILD_TYPE=Release"],
        ["cmake", "--build", os.path.join(BUILD, "bench"), "-j2"],
    ]
    for step in steps:
        subprocess.run(step, check=True, stdout=subprocess.DEVNULL)


def environment():
    env = dict(os.environ)
    env["LINKWORK_MODULE"] = os.path.join(BUILD, "lib", "linkwork.hxe")
    env["PYTHONPATH"] = os.path.join(BUILD, "python") + os.pathsep + env.get("PYTHONPATH", "")
    env["OMP_NUM_THREADS"] = "1"  # graph-tool would otherwise use both cores; the others use one
    return env


def run_case(graph_path, code, tools, args, env, deadline):
    """Run one (graph, code) in workers, resuming after a timeout; returns tool -> record."""
    records, pending, check_result = {}, list(tools), None
    while pending:
        if time.monotonic() > deadline:
            for tool in pending:
                records[tool] = {"status": "skipped", "why": "run budget spent"}
            break
        command = [sys.executable, os.path.abspath(__file__), "--worker", "--graph", graph_path, "--code", code,
                   "--repeats", str(args.repeats), "--run-budget", str(args.run_budget), "--tools", *pending]
        process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
        partial = b""
        current = None
        started = time.monotonic()
        selector = selectors.DefaultSelector()
        selector.register(process.stdout, selectors.EVENT_READ)
        timed_out = False
        # Lines are split here from raw reads: a buffered readline would keep later
        # lines out of the selector's sight and charge one tool's time to another.
        waiting, finished = [], False
        while True:
            # One tool's runs: a first call within the timeout, repeats within the run
            # budget (plus one call). Loading the graph gets its own allowance.
            limit = args.timeout + args.run_budget + 10 if current is not None else 300
            if time.monotonic() - started > limit:
                timed_out = True
                break
            if not waiting:
                if finished:
                    break
                if not selector.select(timeout=0.5):
                    if process.poll() is not None and not selector.select(timeout=0):
                        break
                    continue
                chunk = os.read(process.stdout.fileno(), 65536)
                if not chunk:
                    finished = True
                    continue
                partial += chunk
                *lines, partial = partial.split(b"\n")
                waiting.extend(lines)
                continue
            record = json.loads(waiting.pop(0))
            if record["event"] == "start":
                current = record["tool"]
                started = time.monotonic()
            elif record["event"] == "done":
                records[record["tool"]] = record
                pending.remove(record["tool"])
                current = None
                started = time.monotonic()
            elif record["event"] == "check":
                check_result = record["result"]
        selector.close()
        if timed_out:
            process.kill()
            process.wait()
            if current is None:  # stuck before any tool started
                for tool in pending:
                    records[tool] = {"status": "timeout", "why": "loading"}
                break
            records[current] = {"status": "timeout"}
            pending.remove(current)
            continue
        process.wait()
        if pending:
            error = process.stderr.read().decode(errors="replace").strip().splitlines()
            tool = current or pending[0]
            records[tool] = {"status": "crash", "error": (error[-1] if error else f"exit {process.returncode}")[:300]}
            pending.remove(tool)
    return records, check_result


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--quick", action="store_true", help="small graphs and two repeats, for development")
    parser.add_argument("--codes", nargs="+", default=CODES, help="codes to run (default all)")
    parser.add_argument("--tools", nargs="+", default=TOOLS, help="tools to run (default all)")
    parser.add_argument("--repeats", type=int, help="timed runs per measurement (median); default 5, quick 2")
    parser.add_argument("--timeout", type=float, help="seconds allowed per measurement; default 60, quick 20")
    parser.add_argument("--run-budget", type=float, default=6.0,
                        help="stop repeating a measurement once its runs took this many seconds")
    parser.add_argument("--budget", type=float, help="minutes for the whole run; default 28, quick 5")
    parser.add_argument("--graphs", nargs="+", help="run only the graphs of these names (as in the table)")
    parser.add_argument("--no-build", action="store_true", help="use build-bench/ as it is")
    parser.add_argument("--out", default=HERE, help="directory of RESULTS.md and the plot")
    parser.add_argument("--worker", action="store_true", help=argparse.SUPPRESS)
    parser.add_argument("--graph", help=argparse.SUPPRESS)
    parser.add_argument("--code", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.repeats is None:
        args.repeats = 2 if args.quick else 5
    if args.worker:
        worker(args)
        return
    if args.timeout is None:
        args.timeout = 20.0 if args.quick else 60.0
    if args.budget is None:
        args.budget = 5.0 if args.quick else 28.0
    began = time.monotonic()
    deadline = began + 60 * args.budget
    if not args.no_build:
        build()
    env = environment()
    rows = []
    for name, kind, arg in graph_specs(args.quick):
        if args.graphs and name not in args.graphs:
            continue
        path = graph_file(name, kind, arg)
        import scipy.sparse as sp
        shape = sp.load_npz(path).shape[0]
        for code in args.codes:
            tools, skipped = [], {}
            for tool in args.tools:
                why = skip_reason(code, tool, shape)
                if why:
                    skipped[tool] = {"status": "skipped", "why": why}
                else:
                    tools.append(tool)
            records, checked = run_case(path, code, tools, args, env, deadline) if tools else ({}, None)
            records.update(skipped)
            rows.append({"graph": name, "code": code, "records": records, "check": checked})
            print(f"{time.monotonic() - began:7.1f}s {name:16s} {code} " + "  ".join(
                f"{t}={r.get('median', r['status']) if r.get('status') == 'ok' else r['status']}"
                if not isinstance(r.get("median"), float) else f"{t}={r['median']:.4f}"
                for t, r in records.items()) + (f"  check={checked}" if checked else ""), flush=True)
    report = {"date": datetime.datetime.now(datetime.timezone.utc).isoformat(timespec="seconds"),
              "machine": machine(), "quick": args.quick, "repeats": args.repeats, "timeout": args.timeout,
              "rows": rows, "seconds": time.monotonic() - began, "arguments": sys.argv[1:]}
    os.makedirs(args.out, exist_ok=True)
    with open(os.path.join(args.out, "results.json"), "w") as out:
        json.dump(report, out, indent=1)
    import report as reporting
    reporting.write(report, args.out)


def machine():
    def command(*words):
        try:
            return subprocess.run(words, capture_output=True, text=True, check=True).stdout
        except (OSError, subprocess.CalledProcessError):
            return ""
    lscpu = {}
    for line in command("lscpu").splitlines():
        key, _, value = line.partition(":")
        lscpu[key.strip()] = value.strip()
    memory = command("free", "-g").splitlines()
    total = memory[1].split()[1] + " GiB" if len(memory) > 1 else "?"
    load = os.getloadavg()
    return {"cpu": lscpu.get("Model name", "?"), "cpus": lscpu.get("CPU(s)", "?"),
            "caches": f"L2 {lscpu.get('L2 cache', '?')}, L3 {lscpu.get('L3 cache', '?')}",
            "memory": total, "os": platform.platform(), "python": platform.python_version(),
            "load": f"{load[0]:.2f} {load[1]:.2f} {load[2]:.2f}", "versions": versions()}


def versions():
    found = {}
    for module in ("numpy", "scipy", "igraph", "graph_tool", "networkx"):
        try:
            found[module] = __import__(module).__version__.split()[0]
        except Exception:  # a missing peer is reported as missing, not fatal
            found[module] = "missing"
    return found


if __name__ == "__main__":
    sys.path.insert(0, HERE)
    main()
