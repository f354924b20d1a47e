"""RESULTS.md and the time-vs-size plot from the records of bench/run.py.

    /usr/bin/python3 bench/report.py [bench/results.json [more.json ...]]   # redraw without rerunning
"""

import json
import os
import re
import sys

PEERS = ["scipy", "igraph", "graph-tool", "networkx"]
STAGES = ["front-end in", "import", "algorithm", "outputs", "release", "front-end out"]
TARGET_GRAPH = "random 1e6"
SMALLER_GRAPH = "random 1e5"
# linkwork from the CSR matrix a csgraph user holds (judged), and from canonical CSC.
MINE = ["linkwork", "linkwork-csc"]
# Blocks other benchmarks append to RESULTS.md; kept when the report is rewritten.
SECTION = re.compile(r"<!-- section:([\w.-]+) -->.*?<!-- /section:\1 -->", re.S)
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
    lines = ["| graph | code | n | entries | linkwork | linkwork (CSC in) | " + " | ".join(PEERS) +
             " | ratio to fastest peer | linkwork peak MB | check |",
             "|" + "---|" * (9 + len(PEERS))]
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
                     f"{_cell(mine)} | {_cell(records.get('linkwork-csc'))} | " + " | ".join(cells) + f" | {ratio} | {peak} | {row.get('check') or ''} |")
    return lines


def _ratio(record, records):
    best = _fastest_peer(records)
    if not best or not record or record.get("status") != "ok":
        return None, best
    return record["median"] / best[1]["median"], best


def _verdict(ratio):
    return "goal met" if ratio <= 0.7 else "met" if ratio <= 1.0 else "missed"


def _targets(rows):
    """Every target at the target size, CSR in, with the stage that holds a miss back."""
    smaller = {row["code"]: row for row in rows if row["graph"] == SMALLER_GRAPH}
    lines = ["| code | linkwork (CSR in) | linkwork (CSC in) | fastest peer | ratio, CSR in (≤ 1.0, goal ≤ 0.7) |"
             " ratio, CSC in | algorithm alone / peer | outside the algorithm (≤ 15 % where the algorithm"
             " alone misses) | ratio at 10^5 (≤ ratio at 10^6) | peak MB (input + call's extra) |"
             " limit MB (2 x input + outputs) | memory | holding stage |",
             "|" + "---|" * 13]
    for row in rows:
        if row["graph"] != TARGET_GRAPH:
            continue
        records = row["records"]
        mine = records.get("linkwork") or {}
        if mine.get("status") != "ok":
            lines.append(f"| {row['code']} | {_cell(mine)} |" + " |" * 11)
            continue
        ratio, best = _ratio(mine, records)
        csc_ratio, _ = _ratio(records.get("linkwork-csc"), records)
        stages = mine.get("stages") or {}
        total = sum(stages.values()) if stages else 0.0
        algorithm = stages.get("algorithm")
        outside_share = (total - algorithm) / total if stages and total > 0 else None
        algorithm_ratio = algorithm / best[1]["median"] if best and algorithm is not None else None
        if ratio is None:
            ratio_text, peer_text, algo_text = "no peer", "—", "—"
            outside_text = f"{100 * outside_share:.0f} %" if outside_share is not None else "—"
        else:
            ratio_text = f"{ratio:.2f}x ({_verdict(ratio)})"
            peer_text = f"{best[0]} {_seconds(best[1]['median'])}"
            algo_text = f"{algorithm_ratio:.2f}x" if algorithm_ratio is not None else "—"
            if outside_share is None:
                outside_text = "—"
            elif algorithm_ratio is not None and algorithm_ratio > 1.0:
                outside_text = f"{100 * outside_share:.0f} % ({'met' if outside_share <= 0.15 else 'missed'})"
            else:
                outside_text = f"{100 * outside_share:.0f} %"
        small = smaller.get(row["code"])
        small_ratio, _ = _ratio((small or {}).get("records", {}).get("linkwork"), (small or {}).get("records", {}))
        if small_ratio is None or ratio is None:
            small_text = "—"
        else:
            small_text = f"{small_ratio:.2f}x ({'met' if small_ratio <= ratio else 'missed'})"
        limit = 2 * mine["input_bytes"] + mine.get("output_bytes", 0)
        peak = mine["input_bytes"] + mine["peak"]
        memory = "met" if peak <= limit else f"missed ({peak / limit:.1f}x)"
        holding = "—"
        missed = (ratio is not None and ratio > 1.0) or peak > limit
        if missed and stages and total > 0:
            stage = max(STAGES, key=lambda name: stages[name])
            holding = f"{stage} {_seconds(stages[stage])} ({100 * stages[stage] / total:.0f} %)"
        lines.append(f"| {row['code']} | {_seconds(mine['median'])} | {_cell(records.get('linkwork-csc'))} | "
                     f"{peer_text} | {ratio_text} | {f'{csc_ratio:.2f}x' if csc_ratio is not None else '—'} | "
                     f"{algo_text} | {outside_text} | {small_text} | {_megabytes(peak)} | {_megabytes(limit)} | "
                     f"{memory} | {holding} |")
    return lines


def _breakdown(rows):
    lines = ["| graph | code | input | total | " + " | ".join(STAGES) + " |", "|" + "---|" * (4 + len(STAGES))]
    for row in rows:
        for tool, form in zip(MINE, ("CSR", "CSC")):
            mine = row["records"].get(tool) or {}
            stages = mine.get("stages")
            if mine.get("status") != "ok" or not stages or row["graph"] not in (TARGET_GRAPH, "grid 1000x1000",
                                                                                "random 1e4", "pgp-strong-2009"):
                continue
            total = sum(stages.values())
            cells = [f"{_seconds(stages[s])} ({100 * stages[s] / total:.0f}%)" if total > 0 else "—" for s in STAGES]
            lines.append(f"| {row['graph']} | {row['code']} | {form} | {_seconds(total)} | " + " | ".join(cells) + " |")
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
    tools = MINE + PEERS
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
                                  linewidth=2.5 if tool in MINE else 1.2)
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


def _arguments(report):
    words = report.get("arguments")
    if words is None:
        return " --quick" if report["quick"] else ""
    return "".join(f" '{word}'" if " " in word else f" {word}" for word in words if word != "--no-build")


def write(report, out):
    machine = report["machine"]
    plot_name = "time_vs_size.png"
    drawn = plot(report, os.path.join(out, plot_name))
    rows = report["rows"]
    text = [
        "# linkwork benchmarks",
        "",
        f"Produced by `/usr/bin/python3 bench/run.py{_arguments(report)}` on "
        f"{report['date']} (took {report['seconds'] / 60:.1f} min).",
        "",
        f"Machine: {machine['cpu']}, {machine['cpus']} CPUs ({machine['caches']}), {machine['memory']} RAM; "
        f"{machine['os']}; Python {machine['python']}; load average at the end {machine['load']}. Versions: "
        + ", ".join(f"{k} {v}" for k, v in machine["versions"].items()) + ".",
        "",
        "Method: every time is end to end as a user sees it, from the SciPy CSR matrix a csgraph user holds"
        " (what `tocsr()` gives: float64, sorted, int32 indices) to the tool's answer; for igraph, graph-tool"
        " and NetworkX that includes building their graph from the matrix. `linkwork (CSC in)` is linkwork"
        " again from the canonical CSC matrix (int64 indices), the module's own form; targets are judged on"
        " CSR input. The machine may be shared: compare ratios within one run rather than absolute times."
        " Median of up to "
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
    path = os.path.join(out, "RESULTS.md")
    text += kept_sections(path)
    with open(path, "w") as handle:
        handle.write("\n".join(text))


def kept_sections(path):
    """The marked blocks of other benchmarks in an existing RESULTS.md, each followed by a blank line."""
    if not os.path.exists(path):
        return []
    with open(path) as handle:
        blocks = [match.group(0) for match in SECTION.finditer(handle.read())]
    return [line for block in blocks for line in (block, "")]


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
