#!/usr/bin/python3
"""linkwork-mpi at 1, 2 and 4 ranks against the single-machine command on one file.

Writes a random directed graph (default 10^6 vertices, 10^7 entries, integer weights)
as a Matrix Market file, runs wcc, spb and dij with `build/bin/linkwork` and with
`mpirun -n P build/bin/linkwork-mpi` (each rank under /usr/bin/time, for its peak
resident memory), and puts the table in bench/RESULTS.md between the markers
<!-- section:mpi --> and <!-- /section:mpi -->.

    /usr/bin/python3 bench/mpi_bench.py                 # 10^6 / 10^7, about 10 minutes
    /usr/bin/python3 bench/mpi_bench.py --vertices 100000 --entries 1000000 --no-write
"""

import argparse
import ast
import datetime
import os
import re
import subprocess
import sys
import tempfile
import time

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RESULTS = os.path.join(ROOT, "bench", "RESULTS.md")
BEGIN, END = "<!-- section:mpi -->", "<!-- /section:mpi -->"


def write_graph(path, n, m, seed):
    rng = np.random.default_rng(seed)
    with open(path, "w") as f:
        f.write("%%MatrixMarket matrix coordinate integer general\n")
        f.write(f"{n} {n} {m}\n")
        chunk = 1_000_000
        for start in range(0, m, chunk):
            k = min(chunk, m - start)
            block = np.column_stack([rng.integers(1, n + 1, k), rng.integers(1, n + 1, k), rng.integers(1, 1001, k)])
            np.savetxt(f, block, fmt="%d")


def timed(command, ranks):
    """(wall seconds, peak resident MiB per rank as a list)."""
    wrapped = ["/usr/bin/time", "-f", "peak-kib %M"]
    if ranks:
        mpirun = ["mpirun", "--oversubscribe", "-n", str(ranks)]
        if os.geteuid() == 0:
            mpirun.insert(1, "--allow-run-as-root")
        command = mpirun + wrapped + command
    else:
        command = wrapped + command
    start = time.perf_counter()
    result = subprocess.run(command, capture_output=True, text=True)
    wall = time.perf_counter() - start
    if result.returncode != 0:
        sys.exit(f"failed: {' '.join(command)}\n{result.stderr}")
    peaks = [int(x) / 1024 for x in re.findall(r"peak-kib (\d+)", result.stderr)]
    return wall, peaks


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--vertices", type=int, default=1_000_000)
    parser.add_argument("--entries", type=int, default=10_000_000)
    parser.add_argument("--ranks", type=int, nargs="+", default=[1, 2, 4])
    parser.add_argument("--codes", nargs="+", default=["wcc", "spb", "dij"])
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--no-write", action="store_true", help="print the table only")
    parser.add_argument("--rows-from", metavar="LOG", help="publish the rows a run printed (one tuple a line)")
    args = parser.parse_args()
    if args.rows_from:
        with open(args.rows_from) as f:
            publish([ast.literal_eval(line) for line in f if line.startswith("(")], args)
        return
    single = os.path.join(args.build, "bin", "linkwork")
    dist = os.path.join(args.build, "bin", "linkwork-mpi")

    rows = []
    with tempfile.TemporaryDirectory() as tmp:
        graph = os.path.join(tmp, "g.mtx")
        start = time.perf_counter()
        write_graph(graph, args.vertices, args.entries, 1)
        print(f"graph written in {time.perf_counter() - start:.0f} s ({os.path.getsize(graph) / 2**20:.0f} MiB)")
        binary = os.path.join(tmp, "g.bin")
        timed([dist, "convert", graph, binary], 2)
        out = os.path.join(tmp, "out.txt")
        for code in args.codes:
            extra = [] if code == "wcc" else ["1"]
            wall, peaks = timed([single, "-o", out, code, graph, *extra], 0)
            base = wall
            rows.append((code, "linkwork (one process)", "-", wall, max(peaks), 1.0))
            print(rows[-1], flush=True)
            for ranks in args.ranks:
                wall, peaks = timed([dist, code, graph, *extra, "-o", out], ranks)
                rows.append((code, "linkwork-mpi, Matrix Market", ranks, wall, max(peaks), wall / base))
                print(rows[-1], flush=True)
            wall, peaks = timed([dist, code, binary, *extra, "-o", out], max(args.ranks))
            rows.append((code, "linkwork-mpi, binary file", max(args.ranks), wall, max(peaks), wall / base))
            print(rows[-1], flush=True)

    publish(rows, args)


def publish(rows, args):
    load = os.getloadavg()
    lines = [
        BEGIN,
        "## The distributed command (linkwork-mpi)",
        "",
        f"Produced by `/usr/bin/python3 bench/mpi_bench.py` on {datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC: "
        f"a random directed graph of {args.vertices:,} vertices and {args.entries:,} entries (integer weights 1..1000), "
        "one run each, results written to a file. Time is the whole run (reading included, MPI start-up included); "
        "memory is the largest peak resident set over the ranks. The machine has 2 cores, so 4 ranks are "
        "oversubscribed, and it was shared with other jobs "
        f"(load average {load[0]:.1f} at the end): times are noisy and more ranks are slower here; what the "
        "table shows is that memory per rank falls with the rank count.",
        "",
        "| code | command | ranks | time (s) | peak memory per rank (MiB) | time / one process |",
        "|---|---|---|---|---|---|",
    ]
    for code, tool, ranks, wall, peak, ratio in rows:
        lines.append(f"| {code} | {tool} | {ranks} | {wall:.1f} | {peak:.0f} | {ratio:.2f} |")
    lines.append(END)
    table = "\n".join(lines)
    print(table)
    if args.no_write:
        return
    text = open(RESULTS).read() if os.path.exists(RESULTS) else ""
    if BEGIN in text and END in text:
        text = text[: text.index(BEGIN)] + table + text[text.index(END) + len(END) :]
    else:
        text = text.rstrip("\n") + "\n\n" + table + "\n"
    with open(RESULTS, "w") as f:
        f.write(text)


if __name__ == "__main__":
    main()
