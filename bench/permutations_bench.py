"""One analysis of tivarne's files through the Python package, optionally with
label permutations; prints the wall time of analyse() and the summary.

    PYTHONPATH=build/python /usr/bin/time -v /usr/bin/python3 bench/permutations_bench.py \\
        EXPR LABELS [--permutations N] [--level 0.05] [--max-pairs 1000] [--p-value calibrated] [--threads 2]

The data: bench/make_data.py 20000 100 PREFIX --planted 50 --seed 7. Run the
plain analysis and the one with permutations as separate processes (each
under /usr/bin/time -v for its peak memory), alternating, and take medians.
"""
import argparse
import time

import numpy as np

import tivarne


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("expr")
    ap.add_argument("labels")
    ap.add_argument("--permutations", type=int)
    ap.add_argument("--level", type=float, default=0.05)
    ap.add_argument("--max-pairs", type=int, default=1000)
    ap.add_argument("--p-value", default="calibrated")
    ap.add_argument("--order", default="score")
    ap.add_argument("--adjust", default=None)
    ap.add_argument("--threads", type=int, default=2)
    args = ap.parse_args()
    x = np.loadtxt(args.expr)
    labels = np.loadtxt(args.labels, dtype=int)
    extra = {"permutations": args.permutations, "seed": 1} if args.permutations else {}
    start = time.perf_counter()
    pairs = tivarne.analyse(x, labels, level=args.level, max_pairs=args.max_pairs, p_value=args.p_value,
                            order=args.order, adjust=args.adjust, threads=args.threads, **extra)
    seconds = time.perf_counter() - start
    print("analyse: %.2f s, %d genes x %d samples, %d pairs selected, permutations %s"
          % (seconds, x.shape[0], x.shape[1], len(pairs), args.permutations or 0))
    if args.permutations:
        print("smallest p_perm %.3g, fdr of the last pair %.3g" % (pairs.p_perm.min(), pairs.fdr.iloc[-1]))


if __name__ == "__main__":
    main()
