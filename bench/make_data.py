#!/usr/bin/env python3
"""Synthetic two-class expression data with planted differential pairs.

Writes an expression file (one line of `samples` values per gene) and a label
file (the first n1 samples labelled 1, the rest 0). Every gene is standard
normal noise, except `planted` disjoint gene pairs (g, g + 1) that are strongly
correlated in class 1 and anti-correlated in class 2, so that they should top
the ranking.

    make_data.py GENES SAMPLES OUT_PREFIX [--n1 N1] [--planted K] [--seed S]
"""
import argparse
import random


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("genes", type=int)
    ap.add_argument("samples", type=int)
    ap.add_argument("prefix", help="writes PREFIX.expr.txt and PREFIX.labels.txt")
    ap.add_argument("--n1", type=int, default=None, help="class-1 samples (default: half)")
    ap.add_argument("--planted", type=int, default=50, help="differential pairs to plant")
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args()
    n1 = args.samples // 2 if args.n1 is None else args.n1
    if not 1 <= n1 < args.samples:
        ap.error("each class needs at least one sample")
    rng = random.Random(args.seed)
    gauss = rng.gauss
    planted = min(args.planted, args.genes // 2)
    with open(args.prefix + ".expr.txt", "w") as out:
        g = 0
        while g < args.genes:
            x = [gauss(0, 1) for _ in range(args.samples)]
            out.write(" ".join("%.6g" % v for v in x) + "\n")
            g += 1
            if g // 2 <= planted and g % 2 == 1 and g < args.genes:
                # Partner of gene g - 1: follows it in class 1, mirrors it in class 2.
                y = [(x[s] if s < n1 else -x[s]) + gauss(0, 0.3) for s in range(args.samples)]
                out.write(" ".join("%.6g" % v for v in y) + "\n")
                g += 1
    with open(args.prefix + ".labels.txt", "w") as out:
        out.write(" ".join("1" if s < n1 else "0" for s in range(args.samples)) + "\n")


if __name__ == "__main__":
    main()
