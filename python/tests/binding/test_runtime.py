"""tivarne.analyse() at run time: two threads at once, the GIL released, Ctrl-C,
a pair table too large. Nothing here races the clock: the tests wait for
events, and their only time limits guard against a hang."""
import signal
import sys
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pandas as pd

import tivarne
from conftest import python


def test_two_analyses_in_two_threads_at_once(golub):
    studies = [golub, (golub[0][::-1], 1 - golub[1])]
    want = [tivarne.analyse(*study, level=0.05, max_pairs=300) for study in studies]
    start = threading.Barrier(2)

    def run(study):
        start.wait()  # both threads call analyse() together
        return tivarne.analyse(*study, level=0.05, max_pairs=300)

    with ThreadPoolExecutor(2) as pool:
        for got, expected in zip(pool.map(run, studies), want):
            pd.testing.assert_frame_equal(got, expected, check_exact=True)


def test_another_thread_runs_while_the_library_computes(golub):
    # With a switch interval of 1000 s this thread keeps the GIL until
    # something releases it: only the binding's release lets the counting
    # thread run between the two reads of `counted` (a second or more of
    # straightforward scoring, far longer than any wait for a core).
    x = np.ascontiguousarray(golub[0][:1500])
    labels = np.ascontiguousarray(golub[1], dtype=np.int32)
    counted, stop = [0], threading.Event()

    def count():
        while not stop.is_set():
            counted[0] += 1
            time.sleep(0)  # releases the GIL for the main thread

    interval = sys.getswitchinterval()
    counter = threading.Thread(target=count)
    counter.start()
    sys.setswitchinterval(1000)
    try:
        before = counted[0]
        out = tivarne._core.analyse(x, labels, 0.05, 20, 1, "none", "score", "straightforward", 3, None)
        during = counted[0] - before
    finally:
        sys.setswitchinterval(interval)
        stop.set()
        counter.join()
    assert len(out["score"]) == 20 and during > 0


# About 40 s of straightforward scoring (3.2e7 pairs). The child says when
# scoring has begun, from inside the analysis; Ctrl-C then stops it before
# the end, and the interpreter goes on.
CTRL_C = """
import signal, numpy as np, tivarne, tivarne._analysis as analysis
# A shell that starts jobs in the background leaves them ignoring SIGINT.
signal.signal(signal.SIGINT, signal.default_int_handler)
seen = {}
class Report:
    def __call__(self, phase, done, total, finished):
        first = phase == "scoring" and phase not in seen
        seen[phase] = (done, total, finished)
        if first:  # Ctrl-C may come as soon as this is printed, inside this call
            print("scoring", flush=True)
    def close(self):
        pass
analysis._ProgressBar = Report
x = np.random.default_rng(1).standard_normal((8000, 100))
labels = np.arange(100) % 2
try:
    tivarne.analyse(x, labels, engine="straightforward", progress=True)
except KeyboardInterrupt:
    done, total, finished = seen["scoring"]
    print("interrupted", "before the end" if done < total and not finished else "at the end", flush=True)
print("rows afterwards:", len(tivarne.analyse(x[:50], labels, level=1)))
"""


def test_ctrl_c_stops_the_analysis_and_the_interpreter_goes_on(tmp_path):
    child = python(CTRL_C, cwd=tmp_path)
    assert child.stdout.readline() == "scoring\n"
    child.send_signal(signal.SIGINT)
    out, err = child.communicate(timeout=600)
    assert (child.returncode, out) == (0, "interrupted before the end\nrows afterwards: 20\n"), err


# 46341 genes make 1.07e9 pairs; with every gene twice, equal scores reach
# into the selection and need the table of all pairs, 12.9 GB, which this
# address-space limit cannot hold.
TOO_LARGE = """
import resource, warnings, numpy as np, tivarne
warnings.simplefilter("ignore")
x = np.random.default_rng(1).standard_normal((46341, 6))
x[23171:] = x[:23170]
pages = int(open("/proc/self/statm").read().split()[0])
limit = pages * resource.getpagesize() + 2**30
resource.setrlimit(resource.RLIMIT_AS, (limit, resource.getrlimit(resource.RLIMIT_AS)[1]))
try:
    tivarne.analyse(x, [1, 1, 1, 0, 0, 0], adjust="BH")
except MemoryError as e:
    print("MemoryError:", e)
"""


def test_a_pair_table_that_cannot_fit_raises_memory_error(tmp_path):
    child = python(TOO_LARGE, cwd=tmp_path)
    out, err = child.communicate(timeout=600)
    assert (child.returncode, out, err) == (0, "MemoryError: Aborted due to allocation error.\n", "")
