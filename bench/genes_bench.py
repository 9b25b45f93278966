#!/usr/bin/env python3
"""The cost of the gene table, the all-pairs histograms and focused runs.

    PYTHONPATH=build/python python3 bench/genes_bench.py [--genes 20000] [--samples 100]
                                                         [--repeats 3] [WORK_DIR]

Generates GENES x SAMPLES data with bench/make_data.py (50 planted pairs, seed
7, as bench/run_bench.sh does) and times the analyse() call (data already
loaded, level 0.05, 1,000 pairs) of each case in a fresh interpreter, with
that interpreter's peak resident memory (the data, NumPy and pandas included),
the cases alternating round by round. Prints the medians as Markdown.
"""
import argparse
import os
import platform
import statistics
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
CHILD = """
import resource, sys, time, numpy as np, tivarne
from tivarne._analysis import _run
x = np.load(sys.argv[1]); labels = np.load(sys.argv[2])
sys.path.insert(0, sys.argv[4])
from genes_bench import cases
options = dict(cases(x.shape[0]))[sys.argv[3]]
start = time.perf_counter()
_run(x, labels, 0.05, 1000, **options)
print(time.perf_counter() - start, resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024)
"""


def cases(genes):
    """(name, options of analyse()) of every case, for data of `genes` genes."""
    listed = [(k % genes + 1, (k + 1 + k % 97) % genes + 1) for k in range(1, 10001)]
    listed = list(dict.fromkeys((min(a, b), max(a, b)) for a, b in listed if a != b))
    return [
        ("plain", {}),
        ("plain + gene table", {"gene_summary": True}),
        ("plain + histograms", {"histograms": True}),
        ("plain + both", {"gene_summary": True, "histograms": True}),
        ("BH", {"adjust": "BH"}),
        ("BH + gene table", {"adjust": "BH", "gene_summary": True}),
        ("BH + histograms", {"adjust": "BH", "histograms": True}),
        ("focused: 1 gene", {"genes": [101]}),
        ("focused: 100 genes", {"genes": list(range(1, 101))}),
        ("focused: %d listed pairs, BH" % len(listed), {"pairs": listed, "adjust": "BH"}),
    ]


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("work", nargs="?", default="/tmp/tivarne-genes-bench")
    ap.add_argument("--genes", type=int, default=20000)
    ap.add_argument("--samples", type=int, default=100)
    ap.add_argument("--repeats", type=int, default=3)
    args = ap.parse_args()
    import numpy as np
    os.makedirs(args.work, exist_ok=True)
    prefix = os.path.join(args.work, "data_%d_%d" % (args.genes, args.samples))
    if not os.path.exists(prefix + ".x.npy"):
        subprocess.run([sys.executable, os.path.join(HERE, "make_data.py"), str(args.genes), str(args.samples),
                        prefix, "--planted", "50", "--seed", "7"], check=True)
        np.save(prefix + ".x.npy", np.loadtxt(prefix + ".expr.txt"))
        np.save(prefix + ".labels.npy", np.loadtxt(prefix + ".labels.txt", dtype=np.int64))
    every = cases(args.genes)
    times = {name: [] for name, _ in every}
    memory = {name: [] for name, _ in every}
    for _ in range(args.repeats):
        for name, options in every:
            out = subprocess.run([sys.executable, "-c", CHILD, prefix + ".x.npy", prefix + ".labels.npy", name, HERE],
                                 check=True, capture_output=True, text=True).stdout.split()
            times[name].append(float(out[0]))
            memory[name].append(float(out[1]))
    print("%s, %s, %d x %d, median of %d (range)\n"
          % (platform.processor() or platform.machine(), platform.python_version(), args.genes, args.samples,
             args.repeats))
    print("| case | analyse() s | / plain | peak RSS MiB |")
    print("|---|---|---|---|")
    base = {"plain": statistics.median(times["plain"]), "BH": statistics.median(times["BH"])}
    for name, options in every:
        t = statistics.median(times[name])
        ref = base["BH"] if options.get("adjust") == "BH" and not name.startswith("focused") else base["plain"]
        print("| %s | %.3f (%.3f-%.3f) | %.2f | %.0f |"
              % (name, t, min(times[name]), max(times[name]), t / ref, statistics.median(memory[name])))


if __name__ == "__main__":
    main()
