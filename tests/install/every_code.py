"""Runs every algorithm code of an installed linkwork once through the Python package
and once through the installed `linkwork` command, and checks that both give the
module's known answers on the bundled example graphs.

    python every_code.py EXAMPLES_DIR VERSION FORBIDDEN_DIR

FORBIDDEN_DIR is the source tree: nothing may be loaded from it.
"""

import json
import math
import os
import shutil
import subprocess
import sys

import numpy as np
import scipy.io
import scipy.sparse as sp

import linkwork

examples, version, forbidden = sys.argv[1], sys.argv[2], os.path.realpath(sys.argv[3])

# code, graph, directed, arguments, first output as the command prints it
CASES = [
    ("top", "tasks", True, [], [1, 3, 2, 4, 5, 7, 6, 8]),
    ("isd", "ring", True, [], [False]),
    ("dfs", "tasks", True, [1, math.inf], [1, 2, 4, 5, 6, 8, 7, 3]),
    ("bfs", "tasks", True, [1, 2], [1, 2, 3, 4, 5]),
    ("wcc", "roads", False, [], [1]),
    ("scc", "ring", True, [], [1]),
    ("ist", "roads", False, [], [False]),
    ("dij", "roads", False, [1], [0, 7, 9, 20, 20, 11]),
    ("spb", "tasks", True, [1], [0, 1, 1, 2, 2, 3, 3, 4]),
    ("bel", "tasks", True, [1], [0, 1, 1, 2, 2, 3, 3, 4]),
    ("spa", "tasks", True, [1], [0, 1, 1, 2, 2, 3, 3, 4]),
    ("all", "roads", False, [], None),
    ("pri", "roads", False, [1], [[2, 1, 7], [3, 1, 9], [6, 3, 2], [5, 4, 6], [6, 5, 9]]),
    ("kru", "roads", False, [1], [[2, 1, 7], [3, 1, 9], [6, 3, 2], [5, 4, 6], [6, 5, 9]]),
    ("edm", "network", True, [1, 6], [23]),
    ("gol", "network", True, [1, 6], [23]),
    ("iso", "ring", True, ["ring"], [True]),
]


def graph(name):
    return sp.csc_matrix(scipy.io.mmread(os.path.join(examples, name + ".mtx")))


def from_python(output):
    """The first output in the command's JSON form."""
    if sp.issparse(output):
        coo = output.tocoo()
        return sorted([int(r) + 1, int(c) + 1, float(v)] for r, c, v in zip(coo.row, coo.col, coo.data))
    return np.asarray(output).ravel().tolist()


def from_command(document):
    first = document["outputs"][0]
    if first["sparse"]:
        return sorted(first["entries"])
    return [float(v) if isinstance(v, str) else v for v in first["values"]]


def main():
    assert linkwork.__version__ == version, (linkwork.__version__, version)
    for loaded in (linkwork.__file__, linkwork.module_path()):
        assert not os.path.realpath(loaded).startswith(forbidden + os.sep), f"{loaded} is in the source tree"
    command = shutil.which("linkwork")
    assert command and os.path.realpath(command).startswith(os.path.realpath(sys.prefix)), command
    shown = subprocess.run([command, "--version"], capture_output=True, text=True, check=True).stdout
    assert shown.strip() == f"linkwork {version}", shown

    roads_distances = None
    for code, name, directed, arguments, expected in CASES:
        values = [graph(a) if isinstance(a, str) else a for a in arguments]
        python = from_python(linkwork.call(code, 0, directed, graph(name), *values, nargout=1)[0])
        line = [command, "--json"] + ([] if directed else ["--undirected"])
        line += ["--as-stored", code, os.path.join(examples, name + ".mtx")]
        line += [os.path.join(examples, a + ".mtx") if isinstance(a, str) else str(a) for a in arguments]
        done = subprocess.run(line, capture_output=True, text=True)
        assert done.returncode == 0, (code, done.stderr)
        shell = from_command(json.loads(done.stdout))
        if expected is None:  # the distance matrix: row 1 is dij from vertex 1
            expected = roads_distances + python[6:]
        elif expected and isinstance(expected[0], list):
            expected = sorted(expected)
        assert python == expected, (code, "python", python, expected)
        assert shell == expected, (code, "command", shell, expected)
        if code == "dij":
            roads_distances = python
        print(f"{code}: python and command agree")
    with open("/proc/self/maps") as maps:
        mapped = {line.split()[-1] for line in maps if "linkwork" in line and "/" in line}
    assert mapped and not any(os.path.realpath(m).startswith(forbidden + os.sep) for m in mapped), mapped
    print(f"linkwork {version}: every code from {os.path.dirname(linkwork.__file__)}")


main()
