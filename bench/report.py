"""RESULTS.md and the time-vs-size plot from the records of bench/run.py.

    /usr/bin/python3 bench/report.py [bench/results.json [more.json ...]]   # redraw without rerunning
"""

import json
import os
import sys

PEERS = ["scipy", "igraph", "graph-tool", "networkx"]
STAGES = ["front-end in", "import", "algorithm", "outputs", "release", "front-end out"]
TARGET_GRAPH = "random 1e6"
SIZES = ["random 1e3", "random 1e4", "random 1e5", "random 1e6"]


def _cell(record):
    if record is None:
        return "—"
    status = record.get("status")
    if status == "ok":
        return _seconds(record["median"])
    if status == "n/a":
        return "—"
    if status == "skipped":
        return "skip"
    return status


def _seconds(value):
    if value >= 10:
        return f"{value:.1f} s"
    if value >= 1:
        return f"{value:.2f} s"
    if value >= 1e-3:
        return f"{value * 1e3:.1f} ms"
    return f"{value * 1e6:.0f} µs"


def _megabytes(value):
    return f"{value / 1e6:.0f}" if value >= 1e6 else f"{value / 1e6:.2f}"


def _fastest_peer(records):
    best = None
    for peer in PEERS:
        record = records.get(peer)
        if record and record.get("status") == "ok" and (best is None or record["median"] < best[1]["median"]):
            best = (peer, record)
    return best


def _main_table(rows):
    lines = ["| graph | code | n | entries | linkwork | " + " | ".join(PEERS) +
             " | ratio to fastest peer | linkwork peak MB | check |",
             "|" + "---|" * (8 + len(PEERS))]
    for row in rows:
        records = row["records"]
        mine = records.get("linkwork") or {}
        sizes = next((r for r in records.values() if r.get("status") == "ok"), {})
        cells = []
        for peer in PEERS:
            record = records.get(peer)
            text = _cell(record)
            if record and record.get("status") == "ok" and mine.get("status") == "ok":
                text += f" ({mine['median'] / record['median']:.2f}x)"
            cells.append(text)
        best = _fastest_peer(records)
        ratio = f"{mine['median'] / best[1]['median']:.2f}x {best[0]}" if best and mine.get("status") == "ok" else "—"
        peak = _megabytes(mine["peak"]) if mine.get("status") == "ok" else "—"
        lines.append(f"| {row['graph']} | {row['code']} | {sizes.get('n', '')} | {sizes.get('nnz', '')} | "
                     f"{_cell(mine)} | " + " | ".join(cells) + f" | {ratio} | {peak} | {row.get('check') or ''} |")
    return lines


def _targets(rows):
    lines = ["| code | linkwork | fastest peer | ratio (target ≤ 1.0, goal ≤ 0.7) | import M entries/s (target ≥ 20) |"
             " peak MB (input + call's extra) | limit MB (2 x input + outputs) | memory |",
             "|---|---|---|---|---|---|---|---|"]
    for row in rows:
        if row["graph"] != TARGET_GRAPH:
            continue
        mine = row["records"].get("linkwork") or {}
        if mine.get("status") != "ok":
            lines.append(f"| {row['code']} | {_cell(mine)} | | | | | | |")
            continue
        best = _fastest_peer(row["records"])
        if best:
            ratio = mine["median"] / best[1]["median"]
            verdict = "goal met" if ratio <= 0.7 else "met" if ratio <= 1.0 else "missed"
            ratio_text = f"{ratio:.2f}x ({verdict})"
            peer_text = f"{best[0]} {_seconds(best[1]['median'])}"
        else:
            ratio_text, peer_text = "no peer", "—"
        stages = mine.get("stages") or {}
        rate = mine["nnz"] / stages["import"] / 1e6 if stages.get("import") else None
        rate_text = f"{rate:.1f} ({'met' if rate >= 20 else 'missed'})" if rate else "—"
        limit = 2 * mine["input_bytes"] + mine.get("output_bytes", 0)
        peak = mine["input_bytes"] + mine["peak"]
        memory = "met" if peak <= limit else f"missed ({peak / limit:.1f}x)"
        lines.append(f"| {row['code']} | {_seconds(mine['median'])} | {peer_text} | {ratio_text} | {rate_text} | "
                     f"{_megabytes(peak)} | {_megabytes(limit)} | {memory} |")
    return lines


def _breakdown(rows):
    lines = ["| graph | code | total | " + " | ".join(STAGES) + " |", "|" + "---|" * (3 + len(STAGES))]
    for row in rows:
        mine = row["records"].get("linkwork") or {}
        stages = mine.get("stages")
        if mine.get("status") != "ok" or not stages or row["graph"] not in (TARGET_GRAPH, "grid 1000x1000",
                                                                            "random 1e4", "pgp-strong-2009"):
            continue
        total = sum(stages.values())
        cells = [f"{_seconds(stages[s])} ({100 * stages[s] / total:.0f}%)" if total > 0 else "—" for s in STAGES]
        lines.append(f"| {row['graph']} | {row['code']} | {_seconds(total)} | " + " | ".join(cells) + " |")
    return lines


def _skips(rows):
    reasons = {}
    for row in rows:
        for tool, record in row["records"].items():
            if record.get("status") == "skipped":
                reasons.setdefault(record.get("why", ""), set()).add(f"{row['code']}/{tool}")
            elif record.get("status") in ("error", "crash", "timeout"):
                reasons.setdefault(f"{record['status']}: {record.get('error', record.get('why', ''))}",
                                   set()).add(f"{row['graph']} {row['code']}/{tool}")
    return [f"- {why}: {', '.join(sorted(where)[:12])}{' …' if len(where) > 12 else ''}"
            for why, where in sorted(reasons.items())]


def plot(report, path):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    rows = [row for row in report["rows"] if row["graph"] in SIZES]
    codes = list(dict.fromkeys(row["code"] for row in rows))
    if not codes:
        return False
    columns = 5
    figure, axes = plt.subplots((len(codes) + columns - 1) // columns, columns, figsize=(20, 13), squeeze=False)
    # One colour per tool in every panel, and a legend that names every tool drawn.
    tools = ["linkwork"] + PEERS
    colours = {tool: "C%d" % k for k, tool in enumerate(tools)}
    drawn = {}
    for axis, code in zip(axes.flat, codes):
        for tool in tools:
            points = []
            for row in rows:
                record = row["records"].get(tool)
                if row["code"] == code and record and record.get("status") == "ok":
                    points.append((record["nnz"], record["median"]))
            if points:
                points.sort()
                line, = axis.plot(*zip(*points), marker="o", label=tool, color=colours[tool],
                                  linewidth=2.5 if tool == "linkwork" else 1.2)
                drawn.setdefault(tool, line)
        axis.set_xscale("log")
        axis.set_yscale("log")
        axis.set_title(code)
        axis.set_xlabel("stored entries")
        axis.set_ylabel("seconds")
        axis.grid(True, which="both", alpha=0.3)
    for axis in list(axes.flat)[len(codes):]:
        axis.axis("off")
    present = [tool for tool in tools if tool in drawn]
    figure.legend([drawn[tool] for tool in present], present, loc="lower right")
    figure.suptitle("End-to-end time vs graph size (random graphs, 10 entries per vertex), median")
    figure.tight_layout()
    figure.savefig(path, dpi=80)
    plt.close(figure)
    return True


def write(report, out):
    machine = report["machine"]
    plot_name = "time_vs_size.png"
    drawn = plot(report, os.path.join(out, plot_name))
    rows = report["rows"]
    text = [
        "# linkwork benchmarks",
        "",
        f"Produced by `/usr/bin/python3 bench/run.py{' --quick' if report['quick'] else ''}` on "
        f"{report['date']} (took {report['seconds'] / 60:.1f} min).",
        "",
        f"Machine: {machine['cpu']}, {machine['cpus']} CPUs ({machine['caches']}), {machine['memory']} RAM; "
        f"{machine['os']}; Python {machine['python']}; load average at the end {machine['load']}. Versions: "
        + ", ".join(f"{k} {v}" for k, v in machine["versions"].items()) + ".",
        "",
        "Method: every time is end to end as a user sees it, from a canonical SciPy CSC matrix (float64,"
        " int64 indices) to the tool's answer; for igraph, graph-tool and NetworkX that includes building"
        " their graph from the matrix. Median of up to "
        f"{report['repeats']} runs (fewer once a measurement's runs exceed the run budget: large graphs"
        " get one or two runs); a call longer than"
        f" {report['timeout']:.0f} s is killed and shows `timeout`. Ratios are linkwork's time over the peer's"
        " (below 1: linkwork faster). Peak MB is the extra resident memory of the call (VmHWM after"
        " clearing it, less RSS before), so the input graph is not counted. `check` compares linkwork's"
        " answer with SciPy's (distances, component partition, MST weight, flow value, reached set) or"
        " with the answer's definition (topological order, acyclicity, isomorphism of a relabelled copy).",
        "",
        "Graph forms: top, isd and spa run on the DAG of each graph (its upper triangle); edm and gol on"
        " the directed graph less the lower entry of each mirrored pair (flows from vertex 0 to vertex N-1);"
        " ist, pri and kru on the undirected graph; the others on the"
        " directed graph with integer weights 1..100; iso on the graph and a randomly relabelled copy."
        " Peers compute the same answer, not always with the same algorithm (SciPy's MST is Kruskal's"
        " for both pri and kru; igraph's spanning tree is Prim's; SciPy's push-relabel stand-in is Dinic;"
        " igraph's max flow is push-relabel).",
        "",
        f"## Targets at {TARGET_GRAPH} (10^6 vertices, 10^7 entries)",
        "",
        *_targets(rows),
        "",
        "## Where linkwork's time goes (module stage clocks, median per stage)",
        "",
        "front-end in: Python API and conversion to host arrays up to the handler's entry; import: sparse"
        " array to Boost graph; algorithm; outputs: creating and filling host arrays; release: freeing"
        " the graph and work vectors; front-end out: host arrays back to NumPy/SciPy results.",
        "",
        *_breakdown(rows),
        "",
        "## All measurements",
        "",
        *_main_table(rows),
        "",
        "Not run, failed or timed out:",
        "",
        *_skips(rows),
        "",
        f"![time vs size]({plot_name})" if drawn else "(no random graphs measured: no plot)",
        "",
    ]
    study = os.path.join(out, "storage_study.txt")
    if os.path.exists(study):
        with open(study) as handle:
            body = [line.rstrip() for line in handle if line.startswith(("build/", "release/", "bfs/", "graph:",
                                                                          "all variants"))]
        text += ["## Graph storage study (bench/storage_study.cpp, Google Benchmark)", "", "```", *body, "```", ""]
    with open(os.path.join(out, "RESULTS.md"), "w") as handle:
        handle.write("\n".join(text))


if __name__ == "__main__":
    # Several result files (for instance a full run and a run of --graphs) merge into
    # one report, written next to the first.
    here = os.path.dirname(os.path.abspath(__file__))
    sources = sys.argv[1:] or [os.path.join(here, "results.json")]
    merged = None
    for source in sources:
        with open(source) as handle:
            data = json.load(handle)
        if merged is None:
            merged = data
        else:
            merged["rows"] += data["rows"]
            merged["seconds"] += data["seconds"]
    write(merged, os.path.dirname(os.path.abspath(sources[0])))
