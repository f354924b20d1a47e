"""Interrupting calls, running out of memory, exiting with busy threads, whole lines."""

import os
import re
import resource
import signal
import subprocess
import sys
import textwrap
import time

import numpy as np
import pytest
import scipy.sparse as sp

import linkwork
from conftest import BUILD_DIR

COMMAND = os.path.join(BUILD_DIR, "bin", "linkwork")
PACKAGE = os.path.join(BUILD_DIR, "python")


def child(script, **kwargs):
    """Starts /usr/bin/python3 on a script that imports the package from the build."""
    env = dict(os.environ, PYTHONPATH=PACKAGE)
    return subprocess.Popen([sys.executable, "-c", textwrap.dedent(script)], env=env, text=True,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs)


# The child announces each call, the test interrupts it after 0.05 s and times the
# answer; the child then makes a small call to show the process still works.
INTERRUPTED_CALLS = """
    import sys, numpy as np, scipy.sparse as sp, linkwork
    rng = np.random.default_rng(3)
    def graph(n, m):
        return sp.csc_matrix((rng.random(m) + 1, (rng.integers(0, n, m), rng.integers(0, n, m))), shape=(n, n))
    big, dense = graph(1500000, 6000000), graph(3000, 30000)
    forward = sp.triu(big, 1, format="csc")  # no reciprocal pairs: a valid flow graph
    n = big.shape[0]
    small = sp.csc_matrix(np.array([[0, 1], [0, 0.]]))
    for code, directed, args in [("all", 1, (dense,)), ("dfs", 1, (big, 1, np.inf)), ("bfs", 0, (big, 1, np.inf)),
                                 ("scc", 1, (big,)), ("wcc", 1, (big,)), ("dij", 1, (big, 1)), ("bel", 1, (big, 1)),
                                 ("pri", 0, (big, 1)), ("kru", 0, (big, 1)), ("edm", 1, (forward, 1, n)),
                                 ("gol", 1, (forward, 1, n)), ("iso", 0, (big, big))]:
        print("start", code, flush=True)
        try:
            linkwork.call(code, 0, directed, *args)
            print("finished", code, flush=True)
        except KeyboardInterrupt as error:
            after = linkwork.call("top", 0, 1, small)[0].tolist()
            print("interrupted", code, type(error).__name__, after, flush=True)
        except Exception as error:
            print("failed", code, repr(error), flush=True)
"""


def test_sigint_stops_a_python_call_and_the_next_call_works():
    process = child(INTERRUPTED_CALLS)
    try:
        for line in process.stdout:
            if not line.startswith("start"):
                continue
            code = line.split()[1]
            time.sleep(0.05)
            sent = time.monotonic()
            process.send_signal(signal.SIGINT)
            answer = process.stdout.readline().split(maxsplit=3)
            assert answer[:2] == ["interrupted", code], (code, answer)
            assert time.monotonic() - sent < 3, code  # 1 s on an idle machine
            assert answer[2] == "KeyboardInterrupt" and answer[3].strip() == "[[1.0, 2.0]]"
        assert process.wait(timeout=30) == 0, process.stderr.read()
    finally:
        process.kill()


# Once fatal in three ways: a thread retaking the GIL during finalization was unwound
# through non-throwing code (abort); a thread ended that way while writing a trace
# line to a pipe dropped Python references without the GIL (SIGSEGV, one run in
# four); and the module was unloaded at exit while threads still ran in it.
def test_interpreter_exit_with_daemon_threads_inside_calls_is_clean():
    script = """
        import threading, time, numpy as np, scipy.sparse as sp, linkwork
        rng = np.random.default_rng(1)
        n, m = 20000, 100000
        g = sp.csc_matrix((rng.random(m) + 1, (rng.integers(0, n, m), rng.integers(0, n, m))), shape=(n, n))
        def loop(trace):
            while True:
                linkwork.call("dij", trace, 1, g, 1, nargout=2)
        for trace in (0, 1, 0):
            threading.Thread(target=loop, args=(trace,), daemon=True).start()
        time.sleep(0.3)
    """
    for _ in range(8):
        process = child(script)
        out, err = process.communicate(timeout=60)
        assert process.returncode == 0, err[-500:]


def limit_memory():
    resource.setrlimit(resource.RLIMIT_AS, (4 << 30, 4 << 30))


def test_all_pairs_beyond_a_memory_cap_names_the_size():
    script = """
        import resource, scipy.sparse as sp, linkwork
        resource.setrlimit(resource.RLIMIT_AS, (4 << 30, 4 << 30))
        try:
            linkwork.call("all", 0, 1, sp.csc_matrix((100000, 100000)))
        except MemoryError as error:
            print(type(error).__name__, error.identifier, "|", error.message)
    """
    process = child(script)
    out, err = process.communicate(timeout=60)
    assert out.strip() == ("OutOfMemoryError linkwork:runtime:OutOfMemory | "
                           "cannot allocate 80.0 GB for a 100000-by-100000 result"), err


@pytest.mark.skipif(not os.path.exists(COMMAND), reason="the command is not built")
def test_command_exits_130_on_sigint_and_1_beyond_a_memory_cap(tmp_path):
    rng = np.random.default_rng(5)
    n, m = 3000, 30000
    rows, cols = rng.integers(1, n + 1, m), rng.integers(1, n + 1, m)
    dense = tmp_path / "dense.mtx"
    with open(dense, "w") as f:
        f.write(f"%%MatrixMarket matrix coordinate real general\n{n} {n} {m}\n")
        f.writelines(f"{i} {j} {w:.3f}\n" for i, j, w in zip(rows, cols, rng.random(m) + 1))
    for sig in (signal.SIGINT, signal.SIGTERM):
        process = subprocess.Popen([COMMAND, "all", str(dense)], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                   text=True)
        time.sleep(0.5)
        sent = time.monotonic()
        process.send_signal(sig)
        assert process.wait(timeout=10) == 130
        assert time.monotonic() - sent < 3
        assert process.stderr.read() == "Error: The call was interrupted. [linkwork:runtime:Interrupted]\n"
    huge = tmp_path / "huge.mtx"
    huge.write_text("%%MatrixMarket matrix coordinate real general\n100000 100000 1\n1 2 1\n")
    result = subprocess.run([COMMAND, "all", str(huge)], capture_output=True, text=True, timeout=60,
                            preexec_fn=limit_memory)
    assert result.returncode == 1
    assert "cannot allocate 80.0 GB for a 100000-by-100000 result [linkwork:runtime:OutOfMemory]" in result.stderr
    assert "bad_alloc" not in result.stderr


def test_bellman_ford_sums_at_the_edge_of_the_double_range():
    top = np.finfo(float).max
    g = sp.csc_matrix(([top, -1e308], ([0, 1], [1, 2])), shape=(3, 3))
    for code in ("bel", "spa"):
        distances = linkwork.call(code, 0, 1, g, 1)[0].ravel()
        assert distances.tolist() == [0.0, top, top - 1e308], code


def test_concurrent_edge_listings_keep_their_lines_whole():
    script = """
        import threading, numpy as np, scipy.sparse as sp, linkwork
        rng = np.random.default_rng(2)
        n, m = 300, 3000
        g = sp.csc_matrix((rng.random(m) + 1, (rng.integers(0, n, m), rng.integers(0, n, m))), shape=(n, n))
        def run():
            for _ in range(20):
                linkwork.call("dij", 2, 1, g, 1)
        threads = [threading.Thread(target=run) for _ in range(6)]
        for t in threads: t.start()
        for t in threads: t.join()
    """
    process = child(script)
    out, err = process.communicate(timeout=120)
    assert process.returncode == 0, err
    lines = out.splitlines()
    listing = [line for line in lines if line.startswith(" <")]
    assert len(listing) > 6 * 20 * 2000
    broken = [line for line in lines if not re.fullmatch(r" <\d+,\d+> [0-9.e+-]+|[A-Z][a-z ]+: \d+\.\d{3} seconds", line)]
    assert broken == []


def test_eight_threads_on_shared_inputs_answer_as_one_thread_does():
    import threading
    rng = np.random.default_rng(9)
    n, m = 400, 3000
    g = sp.csc_matrix((rng.integers(1, 9, m).astype(float), (rng.integers(0, n, m), rng.integers(0, n, m))),
                      shape=(n, n))
    calls = [("dij", 1, (g, 1)), ("bfs", 0, (g, 1, np.inf)), ("scc", 1, (g,)), ("wcc", 0, (g,)),
             ("kru", 0, (g, 1)), ("bel", 1, (g, 1)), ("all", 1, (g,)), ("dfs", 1, (g, 1, np.inf))]

    def answer(code, directed, args):
        return [o.toarray() if sp.issparse(o) else o for o in linkwork.call(code, 0, directed, *args, nargout=2)
                if o is not None]

    expected = [answer(*c) for c in calls]
    mismatches, deadline = [], time.monotonic() + 3

    def worker(k):
        while time.monotonic() < deadline:
            got = answer(*calls[k])
            if not all(np.array_equal(a, b, equal_nan=True) for a, b in zip(got, expected[k])):
                mismatches.append(calls[k][0])

    threads = [threading.Thread(target=worker, args=(k,)) for k in range(len(calls))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert mismatches == []
