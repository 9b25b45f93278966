"""tivarne.analyse() at run time: two threads at once, Ctrl-C, a pair table too large."""
import signal
import threading
import time
from concurrent.futures import ThreadPoolExecutor

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


def test_other_threads_run_during_an_analysis(golub):
    # Seconds of straightforward scoring: with the GIL held, this thread's
    # short sleep would last until the analysis is over.
    worker = threading.Thread(target=tivarne.analyse, args=golub, kwargs={"engine": "straightforward"})
    start = time.monotonic()
    worker.start()
    time.sleep(0.2)
    slept = time.monotonic() - start
    worker.join()
    assert slept < 0.5 * (time.monotonic() - start)


# About 40 s of straightforward scoring (3.2e7 pairs); interrupted after 1 s.
CTRL_C = """
import signal, time, numpy as np, tivarne
# A shell that starts jobs in the background leaves them ignoring SIGINT.
signal.signal(signal.SIGINT, signal.default_int_handler)
x = np.random.default_rng(1).standard_normal((8000, 100))
labels = np.arange(100) % 2
tivarne.analyse  # its lazy import of pandas done before the signal can come
print("started", flush=True)
try:
    tivarne.analyse(x, labels, engine="straightforward")
except KeyboardInterrupt:
    print("interrupted", time.monotonic(), flush=True)
print("rows afterwards:", len(tivarne.analyse(x[:50], labels, level=1)))
"""


def test_ctrl_c_stops_the_analysis_and_the_interpreter_goes_on(tmp_path):
    child = python(CTRL_C, cwd=tmp_path)
    assert child.stdout.readline() == "started\n"
    time.sleep(1)
    sent = time.monotonic()
    child.send_signal(signal.SIGINT)
    out, err = child.communicate(timeout=120)
    assert child.returncode == 0, err
    first, second = out.splitlines()
    assert first.split()[0] == "interrupted" and float(first.split()[1]) - sent < 3
    assert second == "rows afterwards: 20"


# 46341 genes make 1.07e9 pairs; q-values over all of them need the table of
# all pairs, 12.9 GB, which this address-space limit cannot hold.
TOO_LARGE = """
import resource, numpy as np, tivarne
x = np.random.default_rng(1).standard_normal((46341, 6))
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
    out, err = child.communicate(timeout=120)
    assert (child.returncode, out, err) == (0, "MemoryError: Aborted due to allocation error.\n", "")
