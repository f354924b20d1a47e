#!/usr/bin/python3
"""Checks that two builds of the module give the same answers, bit for bit.

    bench/compare_builds.py OLD.hxe NEW.hxe [--graphs N] [--seed S]

Each module runs in its own process (one process loads one module) over the same
random graphs: every code, both directed flags, raw calls with every output, and at
trace level 2 the edge listing of the import. Outputs are compared exactly (NaN
equal to NaN, sparse outputs by structure and values); a host error must match by
identifier and message. Use it before changing how a graph is stored.
"""

import argparse
import os
import pickle
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

CODES = ["top", "isd", "dfs", "bfs", "wcc", "scc", "ist", "dij", "spb", "bel", "spa", "all",
         "pri", "kru", "edm", "gol", "iso"]
OUTPUTS = {"top": 1, "isd": 1, "dfs": 4, "bfs": 4, "wcc": 2, "scc": 2, "ist": 1, "dij": 2, "spb": 2,
           "bel": 2, "spa": 2, "all": 1, "pri": 2, "kru": 2, "edm": 2, "gol": 2, "iso": 2}


def random_graph(rng, np, scipy_sparse):
    n = int(rng.choice([0, 1, 2, 3, 5, 8, 13, 21, 40, 80, 150]))
    density = float(rng.choice([0.0, 0.05, 0.15, 0.4, 0.9]))
    dense = (rng.random((n, n)) < density)
    kind = rng.integers(4)
    if kind == 0:  # DAG
        dense = np.triu(dense, 1)
    elif kind == 1:  # no self-loops
        np.fill_diagonal(dense, False)
    rows, cols = np.nonzero(dense)
    values = rng.integers(1, 20, rows.size).astype(float)
    if rng.random() < 0.3:
        values -= rng.integers(0, 3, rows.size) * (rng.random(rows.size) < 0.1) * 25.0
    specials = rng.random(rows.size)
    values[specials < 0.03] = np.inf
    values[(specials >= 0.03) & (specials < 0.05)] = np.nan
    values[(specials >= 0.05) & (specials < 0.07)] = 0.0
    if rng.random() < 0.15:
        matrix = scipy_sparse.csc_matrix((np.ones(rows.size, bool), (rows, cols)), shape=(n, n))
    else:
        matrix = scipy_sparse.csc_matrix((values, (rows, cols)), shape=(n, n))
        matrix.data[:] = values[np.lexsort((rows, cols))]
    if rng.random() < 0.2 and matrix.nnz:  # rows out of order within columns
        for j in range(n):
            lo, hi = matrix.indptr[j], matrix.indptr[j + 1]
            order = rng.permutation(hi - lo) + lo
            matrix.indices[lo:hi] = matrix.indices[order]
            matrix.data[lo:hi] = matrix.data[order]
        matrix.has_sorted_indices = False
    return matrix


def arguments(code, matrix, rng, np, scipy_sparse):
    n = matrix.shape[0]
    vertex = float(rng.integers(1, n + 1)) if n else 1.0
    weights = []
    if code in ("dij", "bel", "spa", "all", "pri", "kru", "edm", "gol") and rng.random() < 0.3:
        weights = [rng.integers(-3, 30, matrix.nnz).astype(float)]
    if code in ("dfs", "bfs"):
        return [vertex, float(rng.choice([0, 1, 2, 5, np.inf]))]
    if code in ("dij", "bel", "spa", "pri", "kru", "spb"):
        return [vertex] + (weights if code != "spb" else [])
    if code == "all":
        return weights
    if code in ("edm", "gol"):
        return [vertex, float(rng.integers(1, n + 1)) if n else 1.0] + weights
    if code == "iso":
        p = rng.permutation(n)
        other = matrix[p][:, p].tocsc() if n else matrix
        return [other]
    return []


def canonical(value, np, scipy_sparse):
    if scipy_sparse.issparse(value):
        value = value.tocsc()
        return ("sparse", value.shape, value.indptr.tolist(), value.indices.tolist(),
                np.asarray(value.data).tobytes())
    array = np.asarray(value)
    return ("dense", array.shape, str(array.dtype), array.tobytes())


def record(graphs, seed):
    """Runs in the child process: every call's outputs, errors and edge listing."""
    import numpy as np
    import scipy.sparse as scipy_sparse

    sys.path.insert(0, os.path.join(ROOT, "build", "python"))
    import linkwork

    rng = np.random.default_rng(seed)
    results = []
    listing = tempfile.TemporaryFile(mode="w+b")
    for _ in range(graphs):
        matrix = random_graph(rng, np, scipy_sparse)
        for code in CODES:
            for directed in (1.0, 0.0):
                args = arguments(code, matrix, rng, np, scipy_sparse)
                for trace in (0.0, 2.0):
                    sys.stdout.flush()
                    saved = os.dup(1)
                    listing.seek(0)
                    listing.truncate()
                    os.dup2(listing.fileno(), 1)
                    try:
                        outputs = linkwork.call(code, trace, directed, matrix, *args, nargout=OUTPUTS[code])
                        outcome = ("ok", [canonical(o, np, scipy_sparse) for o in outputs])
                    except linkwork.HostError as error:
                        outcome = ("error", error.identifier, error.message)
                    except linkwork.ModuleError as error:
                        outcome = ("module error", str(error))
                    finally:
                        sys.stdout.flush()
                        os.dup2(saved, 1)
                        os.close(saved)
                    listing.seek(0)
                    edges = [line for line in listing.read().decode().splitlines() if line.startswith(" <")]
                    results.append((code, directed, trace, outcome, edges))
    pickle.dump(results, sys.stdout.buffer)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("old")
    parser.add_argument("new")
    parser.add_argument("--graphs", type=int, default=300)
    parser.add_argument("--seed", type=int, default=20261208)
    parser.add_argument("--record", action="store_true", help=argparse.SUPPRESS)
    options = parser.parse_args()
    if options.record:
        record(options.graphs, options.seed)
        return 0
    runs = []
    for module in (options.old, options.new):
        child = subprocess.run(
            [sys.executable, __file__, module, module, "--record", "--graphs", str(options.graphs),
             "--seed", str(options.seed)],
            env={**os.environ, "LINKWORK_MODULE": os.path.abspath(module)}, capture_output=True, check=True)
        runs.append(pickle.loads(child.stdout))
    old, new = runs
    if len(old) != len(new):
        print(f"different call counts: {len(old)} and {len(new)}")
        return 1
    differences = [(a, b) for a, b in zip(old, new) if a != b]
    counts = {}
    for code, *_ in old:
        counts[code] = counts.get(code, 0) + 1
    print(f"{len(old)} calls on {options.graphs} graphs: " + ", ".join(f"{c} {k}" for c, k in counts.items()))
    errors = sum(1 for call in old if call[3][0] == "error")
    listed = sum(len(call[4]) for call in old)
    print(f"{errors} calls raised host errors; {listed} edge-listing lines")
    for a, b in differences[:10]:
        print("DIFFERENT:", a[:3], "\n  old:", a[3:], "\n  new:", b[3:])
    print(f"{len(differences)} differences")
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main())
