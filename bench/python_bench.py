#!/usr/bin/env python3
"""tivarne.analyse() against the command line on the same data.

    python3 bench/python_bench.py [--cli build/tivarne] [--genes 20000] [--samples 100]
                                  [--repeats 3] [WORK_DIR]

Generates GENES x SAMPLES data with bench/make_data.py (50 planted pairs, seed
7, as bench/run_bench.sh does), then runs REPEATS rounds of:

- the command line: `echo "0.05 1000" | TIVARNE_TIMING=1 tivarne ...`, its wall
  time, and its analysis time: the wall time less its load phase;
- tivarne.analyse(x, labels, level=0.05, max_pairs=1000) on data already
  loaded (in this process);
- a whole Python run in a new interpreter: import, np.loadtxt of the two text
  files, analyse(); and the interpreter's start with `import tivarne` alone.

Prints the medians as Markdown and checks that the Python rows, to two
decimals, are the command line's result file. Run it with the interpreter
that has the package (a venv with it installed, or PYTHONPATH=build/python).
"""
import argparse
import os
import platform
import statistics
import subprocess
import sys
import time

import numpy as np

import tivarne

HERE = os.path.dirname(os.path.abspath(__file__))
WHOLE_RUN = """
import sys, numpy as np, tivarne
x = np.loadtxt(sys.argv[1]); labels = np.loadtxt(sys.argv[2], dtype=int)
tivarne.analyse(x, labels, level=0.05, max_pairs=1000)
"""


def timed(run):
    start = time.perf_counter()
    value = run()
    return time.perf_counter() - start, value


def cli_run(cli, expr, labels, result):
    wall, out = timed(lambda: subprocess.run(
        [cli, "-e", expr, "-l", labels, "-o", result], input="0.05 1000\n", text=True, check=True,
        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=dict(os.environ, TIVARNE_TIMING="1")))
    phases = {w[1]: float(w[2]) for w in (line.split() for line in out.stderr.splitlines())
              if len(w) > 2 and w[0] == "timing:"}
    return wall, wall - phases["load"]


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("work", nargs="?", default="/tmp/tivarne-bench")
    ap.add_argument("--cli", default=os.path.join(HERE, os.pardir, "build", "tivarne"))
    ap.add_argument("--genes", type=int, default=20000)
    ap.add_argument("--samples", type=int, default=100)
    ap.add_argument("--repeats", type=int, default=3)
    args = ap.parse_args()
    os.makedirs(args.work, exist_ok=True)
    prefix = os.path.join(args.work, "data-%dx%d" % (args.genes, args.samples))
    expr, labels = prefix + ".expr.txt", prefix + ".labels.txt"
    if not os.path.exists(expr):
        subprocess.run([sys.executable, os.path.join(HERE, "make_data.py"), str(args.genes), str(args.samples),
                        prefix, "--planted", "50", "--seed", "7"], check=True)
    result = os.path.join(args.work, "python-bench-result.tsv")
    load_before = open("/proc/loadavg").read().split()[:3]

    load_time, (x, y) = timed(lambda: (np.loadtxt(expr), np.loadtxt(labels, dtype=int)))
    cli, calls, whole, start_up = [], [], [], []
    for _ in range(args.repeats):  # interleaved, so that a change of load hits every column alike
        cli.append(cli_run(args.cli, expr, labels, result))
        calls.append(timed(lambda: tivarne.analyse(x, y, level=0.05, max_pairs=1000)))
        whole.append(timed(lambda: subprocess.run([sys.executable, "-c", WHOLE_RUN, expr, labels], check=True))[0])
        start_up.append(timed(lambda: subprocess.run([sys.executable, "-c", "import tivarne"], check=True))[0])
    pairs = calls[-1][1]
    printed = ["%d\t%.2f\t%.2f\t%d\t%d\t%.2f\t%.2f\t%.2f" % row for row in zip(
        pairs["rank"], pairs.score, pairs.log10_p, pairs.index_x, pairs.index_y, pairs.r1, pairs.r2, pairs.c)]
    same = printed == open(result).read().splitlines()[6:]

    def median(values):
        return statistics.median(values), min(values), max(values)

    cli_wall, cli_analysis = median([c[0] for c in cli]), median([c[1] for c in cli])
    call, python_whole = median([c[0] for c in calls]), median(whole)
    cpu = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo") if line.startswith("model name")),
               platform.processor())
    print("Machine: %s, %d cores; load average before: %s; threads: %s" % (
        cpu, os.cpu_count(), " ".join(load_before), os.environ.get("OMP_NUM_THREADS", "all cores")))
    print("Data: %d x %d (%s), level 0.05, 1000 pairs; %d runs each, median (min-max)\n" % (
        args.genes, args.samples, expr, args.repeats))
    print("| what | command line s | Python s | Python / command line |")
    print("|---|---|---|---|")
    for name, a, b in (("analysis (command line: wall less load; Python: the analyse() call)", cli_analysis, call),
                       ("whole run (command line; Python: new interpreter, imports, np.loadtxt, analyse())",
                        cli_wall, python_whole)):
        print("| %s | %.2f (%.2f-%.2f) | %.2f (%.2f-%.2f) | %.2f |" % ((name,) + a + b + (b[0] / a[0],)))
    print("\nPython's start with `import tivarne` (NumPy, pandas): %.2f s (%.2f-%.2f); np.loadtxt of the two "
          "files in this process: %.2f s" % (median(start_up) + (load_time,)))
    print("Python rows equal the command line's result file to two decimals: %s" % ("yes" if same else "NO"))
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
