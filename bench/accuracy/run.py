#!/usr/bin/env python3
"""Accuracy of tivarne's ranking and p-values on simulated studies with known truth.

    /usr/bin/python3 bench/accuracy/run.py [--quick] [--out FILE] [--studies N]
        [--null-studies N] [--null-genes G] [--sizes 20,50,100,20:80] [--scenarios clean,outliers]
        [--methods KEY,...] [--seed S] [--no-calibration]

Runs every method of methods.py on every pair of simulated studies
(simulate.py: blocks of correlated genes, six differential patterns and three
controls, 600 genes; clean and with outliers) and of null studies (the same
correlated blocks in both classes, more genes), and writes the tables as
Markdown (to FILE, or standard output): ROC AUC overall and per pattern,
precision among the top k, power and realised FDR at BH q <= 0.05, the
fraction of null pairs at or below 1e-2 ... 1e-5, and the calibration study
behind the calibrated p-value (calibration.py). Means over studies with
standard errors (between studies) in brackets. Fixed seeds: the same command
gives the same tables.

Needs the tivarne package (PYTHONPATH=build/python, or an installed copy),
NumPy and SciPy. --quick: two studies per setting, small null studies and a
small calibration study (about a minute).
"""
import argparse
import math
import os
import platform
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import numpy as np  # noqa: E402
import scipy  # noqa: E402

import calibration  # noqa: E402
import methods as methods_module  # noqa: E402
import metrics  # noqa: E402
import simulate  # noqa: E402
import tivarne  # noqa: E402

LEVELS = [1e-2, 1e-3, 1e-4, 1e-5]
CORRELATED_LEVELS = [1e-2, 1e-3]   # the null pairs of the correlated blocks are too few for smaller levels
Q_LEVEL = 0.05
TOP = 100
GENES = 600
NULL_LIBRARY_LEVEL = 0.05   # the null studies list only the library's pairs at or below it
# Goals of the calibrated route: null ratio at 1e-5 within these factors, FDR at most these.
GOAL_RATIO = {"small": 1.5, "large": 1.2}
GOAL_FDR = {"small": 0.10, "large": 0.06}
FULL = dict(studies=20, null_studies=12, null_genes=2000, variance_reps=100000, tail_genes=2500,
            tail_draws=4)
QUICK = dict(studies=2, null_studies=2, null_genes=600, variance_reps=4000, tail_genes=400, tail_draws=1)
CAL_SIZES = [10, 20, 50, 100]
CAL_RHOS = [0.0, 0.5, 0.8]


NULL_NOTE = ("1.00 is exact; above 1 too many small p-values (anti-conservative). All pairs of the "
             "study, then only the pairs within the correlated blocks (correlation +0.5 or -0.5 in "
             "both classes, %d per study). Last column: the fraction of null studies with any pair "
             "at BH q <= %g (the FDR of a study without true pairs).")
VARIANCE_NOTE = ("Sampling distribution of atanh(r) for the biweight midcorrelation and Pearson's, "
                 "%d replicate pairs per row: bias = mean of atanh(r) - atanh(rho); (n - 3) var(atanh r) "
                 "is 1 where Fisher's variance 1/(n-3) holds.")
TAIL_NOTE = ("Null tails (rho = 0, two independent classes of n, %d draws of %d genes: %d pairs per row): "
             "n - n', where n' is the class size both classes need for the statistic to exceed the "
             "chi-squared(1) quantile at that level as often as the level says. ECOR: the ECOR "
             "statistic of the biweight midcorrelations with sizes n', n'; z: n'/2 (atanh r1 - "
             "atanh r2)^2 of the biweight midcorrelations (the z-test with variance 1/n'); Pearson z: "
             "the same of Pearson's correlations (Fisher's z-test). A constant n - n' across the "
             "levels means the form's tail has the chi-squared shape.")


def parse_sizes(text):
    sizes = []
    for item in text.split(","):
        n1, _, n2 = item.partition(":")
        sizes.append((int(n1), int(n2 or n1)))
    return sizes


def size_name(n1, n2):
    return "%d/%d" % (n1, n2)


def goal_class(n1, n2):
    """Goals for "n = 20 per class" apply when the smaller class has fewer than 50 samples."""
    return "small" if min(n1, n2) < 50 else "large"


def log(message):
    print(message, file=sys.stderr, flush=True)


class Collector:
    """Per (scenario, sizes, method key): lists of per-study values by metric name."""

    def __init__(self):
        self.values = {}

    def add(self, where, key, metric, value):
        self.values.setdefault((where, key), {}).setdefault(metric, []).append(value)

    def get(self, where, key, metric):
        return metrics.mean_se(self.values.get((where, key), {}).get(metric, []))


def run_method(method, ev, active, notes):
    """The method's Result, or None after dropping a library option the package refuses."""
    try:
        return method.run(ev)
    except Exception as error:  # a library option may exist yet refuse these arguments
        if not isinstance(method, methods_module.Library):
            raise
        notes[method.key] = "skipped: %s" % error
        active.remove(method)
        return None


def check_library(ev, checks):
    """The NumPy correlations and ECOR p-values the candidates use, against the library's own."""
    lib = ev.library()
    r1, r2 = ev.correlations("bicor")
    dr = float(np.nanmax(np.abs(np.r_[r1 - lib["r1"], r2 - lib["r2"]])))
    _, p = methods_module.ecor_p(lib["r1"], lib["r2"], *ev.sizes())
    have = lib["p_value"] > 0
    dp = float(np.nanmax(np.abs(p[have] / lib["p_value"][have] - 1)))
    if not dr < 1e-9 or not dp < 1e-9:
        raise RuntimeError("the benchmark's biweight midcorrelations or ECOR p-values differ from the "
                           "library's (%.3g, %.3g): fix methods.py before trusting the candidates" % (dr, dp))
    checks["r"] = max(checks.get("r", 0.0), dr)
    checks["p"] = max(checks.get("p", 0.0), dp)


def compare_with_reference(results, checks):
    """The largest relative difference of each library option's p-values from the formula it implements."""
    for method in methods_module.METHODS:
        reference = getattr(method, "same_as", None)
        if results.get(method.key) is not None and results.get(reference) is not None:
            got, want = results[method.key].p, results[reference].p
            have = want > 0
            diff = float(np.nanmax(np.abs(got[have] / want[have] - 1))) if have.any() else 0.0
            checks[method.key] = max(checks.get(method.key, 0.0), diff)


def signal_studies(args, active, notes, collected, checks):
    for si, scenario in enumerate(args.scenarios):
        for n1, n2 in args.sizes:
            where = (scenario, (n1, n2))
            for s in range(args.studies):
                study = simulate.Study([args.seed, 0, si, n1, n2, s], GENES, n1, n2,
                                       outliers=scenario == "outliers")
                ev = methods_module.Evaluation(study)
                check_library(ev, checks)
                truth = study.true
                patterns = [study.pattern == p for p in simulate.PATTERNS]
                results = {}
                for method in list(active):
                    res = results[method.key] = run_method(method, ev, active, notes)
                    if res is None:
                        continue
                    add = lambda metric, value: collected.add(where, method.key, metric, value)
                    aucs = metrics.auc(res.stat, [truth] + patterns, ~truth)
                    for name, value in zip(["auc"] + ["auc " + p for p in simulate.PATTERNS], aucs):
                        add(name, value)
                    top, top_true = metrics.precision_at(res.stat, truth, [TOP, int(truth.sum())])
                    add("top", top)
                    add("top true", top_true)
                    add("oracle", metrics.oracle_power(res.stat, truth, Q_LEVEL))
                    if res.p is not None:
                        q = res.q if res.q is not None else metrics.bh(res.p)
                        power, fdp = metrics.discoveries(q, truth, Q_LEVEL)
                        add("power", power)
                        add("fdr", fdp)
                compare_with_reference(results, checks)
            log("signal %s %s: %d studies done" % (scenario, size_name(n1, n2), args.studies))


def null_studies(args, active, notes, collected):
    for si, scenario in enumerate(args.scenarios):
        for n1, n2 in args.sizes:
            where = (scenario, (n1, n2))
            for s in range(args.null_studies):
                study = simulate.Study([args.seed, 1, si, n1, n2, s], args.null_genes, n1, n2,
                                       outliers=scenario == "outliers", null=True)
                ev = methods_module.Evaluation(study, library_level=NULL_LIBRARY_LEVEL)
                for method in list(active):
                    if not method.has_p:
                        continue
                    res = run_method(method, ev, active, notes)
                    if res is None:
                        continue
                    for level, value in zip(LEVELS, metrics.fractions_below(res.p, LEVELS, study.pairs)):
                        collected.add(where, method.key, "null %g" % level, value / level)
                    correlated = res.p[study.correlated]
                    for level, value in zip(CORRELATED_LEVELS, metrics.fractions_below(correlated, CORRELATED_LEVELS)):
                        collected.add(where, method.key, "correlated %g" % level, value / level)
                    if res.q is not None:
                        anything = bool(np.nanmin(res.q) <= Q_LEVEL)
                    else:
                        anything = metrics.any_discovery(res.p, study.pairs, Q_LEVEL)
                    collected.add(where, method.key, "null any", float(anything))
                del ev, study
            log("null %s %s: %d studies done" % (scenario, size_name(n1, n2), args.null_studies))


# ------------------------------------------------------------------- tables

def cell(mean_se, digits=3):
    mean, se = mean_se
    if math.isnan(mean):
        return "-"
    if math.isnan(se):
        return "%.*f" % (digits, mean)
    return "%.*f (%.*f)" % (digits, mean, digits, se)


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    return "\n".join(lines) + "\n"


def by_size_table(args, active, collected, scenario, metric, digits=3, p_only=False):
    header = ["method"] + ["n = " + size_name(*sz) for sz in args.sizes]
    rows = [[m.label] + [cell(collected.get((scenario, sz), m.key, metric), digits) for sz in args.sizes]
            for m in active if m.has_p or not p_only]
    return table(header, rows)


def power_fdr_table(args, active, collected, scenario):
    header = ["method"] + ["n = %s power / FDR" % size_name(*sz) for sz in args.sizes]
    rows = []
    for m in active:
        if m.has_p:
            rows.append([m.label] + ["%s / %s" % (cell(collected.get((scenario, sz), m.key, "power")),
                                                  cell(collected.get((scenario, sz), m.key, "fdr")))
                                     for sz in args.sizes])
    return table(header, rows)


def pattern_table(args, active, collected, scenario):
    header = ["n", "method"] + simulate.PATTERNS
    rows, worst_se = [], 0.0
    for sz in args.sizes:
        for m in active:
            row = [size_name(*sz), m.label]
            for pattern in simulate.PATTERNS:
                mean, se = collected.get((scenario, sz), m.key, "auc " + pattern)
                worst_se = max(worst_se, 0.0 if math.isnan(se) else se)
                row.append("-" if math.isnan(mean) else "%.3f" % mean)
            rows.append(row)
    return table(header, rows), worst_se


def null_table(args, active, collected, scenario):
    header = (["n", "method"] + ["<= %g" % level for level in LEVELS]
              + ["correlated pairs <= %g" % level for level in CORRELATED_LEVELS] + ["studies with a discovery"])
    rows = []
    for sz in args.sizes:
        for m in active:
            if m.has_p:
                rows.append([size_name(*sz), m.label]
                            + [cell(collected.get((scenario, sz), m.key, "null %g" % level), 2)
                               for level in LEVELS]
                            + [cell(collected.get((scenario, sz), m.key, "correlated %g" % level), 2)
                               for level in CORRELATED_LEVELS]
                            + [cell(collected.get((scenario, sz), m.key, "null any"), 2)])
    return table(header, rows)


def goals(args, active, collected):
    """Each p-value method against the goals of the calibrated route: 'met', or the misses."""
    rows = []
    for m in active:
        if not m.has_p or m.key == "pearson":
            continue
        misses = {"null": [], "fdr": [], "power": [], "outliers": []}
        for scenario in args.scenarios:
            for sz in args.sizes:
                where, size = (scenario, sz), goal_class(*sz)
                tag = "%s %s" % (scenario, size_name(*sz))
                ratio = collected.get(where, m.key, "null 1e-05")[0]
                if not math.isnan(ratio) and not 1 / GOAL_RATIO[size] <= ratio <= GOAL_RATIO[size]:
                    misses["null"].append("%s: %.2fx (%s)" % (tag, ratio, "too many" if ratio > 1 else "too few"))
                fdr = collected.get(where, m.key, "fdr")[0]
                if not math.isnan(fdr) and fdr > GOAL_FDR[size]:
                    misses["fdr"].append("%s: %.3f" % (tag, fdr))
                if size != "large":
                    continue
                # Clean data: power at BH q <= 0.05. With outliers Pearson's BH power comes with an FDR
                # near 1, so there the powers compared are those at a realised FDR of 0.05.
                metric, goal = ("power", "power") if scenario == "clean" else ("oracle", "outliers")
                power = collected.get(where, m.key, metric)[0]
                pearson = collected.get(where, "pearson", metric)[0]
                if not math.isnan(power) and not math.isnan(pearson):
                    misses[goal].append("%s: %.3f %s %.3f" % (tag, power, ">=" if power >= pearson else "<",
                                                              pearson))
        for goal in ("power", "outliers"):
            values = misses[goal]
            if values and all(">=" in v for v in values):
                misses[goal] = ["met (" + "; ".join(values) + ")"]
        rows.append([m.label] + ["; ".join(v) if v else "met" for v in misses.values()])
    header = ["method", "null fraction at 1e-5 (within 1.5x at n = 20, 1.2x at n >= 50)",
              "realised FDR (<= 0.10 at n = 20, <= 0.06 at n >= 50)",
              "clean, n >= 50: power at BH q <= 0.05, this method against Pearson's",
              "outliers, n >= 50: power at a realised FDR of 0.05, against Pearson's"]
    return table(header, rows)


def calibration_tables(args):
    alphas = LEVELS
    rows_v, rows_t = [], []
    for oi, scenario in enumerate(args.scenarios):
        for n in CAL_SIZES:
            for ri, rho in enumerate(CAL_RHOS):
                v = calibration.variance([args.seed, 2, oi, n, ri], n, rho, args.variance_reps,
                                         scenario == "outliers")
                rows_v.append([scenario, str(n), "%.1f" % rho]
                              + ["%+.4f" % v[k][0] for k in ("bicor", "pearson")]
                              + ["%.3f" % v[k][1] for k in ("bicor", "pearson")])
            t = calibration.tail_sizes([args.seed, 3, oi, n], n, alphas, args.tail_genes, args.tail_draws,
                                       scenario == "outliers")
            rows_t.append([scenario, str(n)] + ["%.2f" % x for form in ("ecor", "z", "pearson z") for x in t[form]])
        log("calibration study %s done" % scenario)
    var_table = table(["data", "n", "rho", "bias, biweight", "bias, Pearson", "(n-3) var, biweight",
                       "(n-3) var, Pearson"], rows_v)
    tail_table = table(["data", "n"] + ["%s %g" % (form, a) for form in ("ECOR", "z", "Pearson z")
                                        for a in alphas], rows_t)
    return var_table, tail_table


def machine():
    try:
        out = subprocess.run(["lscpu"], capture_output=True, text=True).stdout
        fields = dict(line.split(":", 1) for line in out.splitlines() if ":" in line)
        model = fields.get("Model name", "?").strip()
        cpus = fields.get("CPU(s)", "?").strip()
    except OSError:
        model, cpus = platform.processor() or "?", str(os.cpu_count())
    load = os.getloadavg()[0] if hasattr(os, "getloadavg") else math.nan
    return "%s, %s CPUs, load average %.1f at the start" % (model, cpus, load)


def report(args, active, notes, collected, checks, calib, seconds, command, machine_text):
    out = ["# Accuracy benchmark results", ""]
    out.append("Command: `%s`  " % command)
    cpu = os.times()
    out.append("Machine: %s; Python %s, NumPy %s, SciPy %s, tivarne %s. Wall time %.0f s (%s); "
               "CPU time %.0f s.  "
               % (machine_text, platform.python_version(), np.__version__, scipy.__version__,
                  getattr(tivarne, "__version__", "?"), sum(seconds.values()),
                  ", ".join("%s %.0f s" % kv for kv in seconds.items()), cpu.user + cpu.system))
    out.append("Settings: %d signal studies of %d genes (%d true pairs each) and %d null studies of %d genes "
               "(%d pairs each) per setting; seed %d. Cells: mean over studies (standard error)."
               % (args.studies, GENES, simulate.true_pair_count(), args.null_studies, args.null_genes,
                  args.null_genes * (args.null_genes - 1) // 2, args.seed))
    out.append("")
    out.append("Methods:")
    out.append("")
    for m in methods_module.METHODS:
        out.append("- %s: %s%s" % (m.label, m.about, " (%s)" % notes[m.key] if m.key in notes else ""))
    out.append("")
    if checks:
        out.append("Check: the benchmark's biweight midcorrelations match the library's r1, r2 within %.1e, "
                   "its ECOR p-values the library's within a relative %.1e." % (checks["r"], checks["p"]))
        for m in methods_module.METHODS:
            if m.key in checks:
                out.append("Check: %s against %s: p-values within a relative %.1e."
                           % (m.label, m.same_as, checks[m.key]))
        out.append("")
    for scenario in args.scenarios:
        out += ["## %s data" % scenario.capitalize(), ""]
        out += ["### ROC AUC (true pairs against all other pairs)", "",
                by_size_table(args, active, collected, scenario, "auc")]
        pat, worst = pattern_table(args, active, collected, scenario)
        out += ["### ROC AUC per pattern (the pattern's true pairs against all non-differential pairs; "
                "standard errors at most %.3f)" % worst, "", pat]
        out += ["### Precision among the top %d pairs" % TOP, "",
                by_size_table(args, active, collected, scenario, "top")]
        out += ["### Precision among the top k, k = the number of true pairs", "",
                by_size_table(args, active, collected, scenario, "top true")]
        out += ["### Power and realised FDR at BH q <= %g" % Q_LEVEL, "",
                power_fdr_table(args, active, collected, scenario)]
        out += ["### Power of the ranking at a realised FDR of %g" % Q_LEVEL, "",
                "The longest top of each method's ranking whose false discovery proportion is at most %g "
                "(a cut that needs the truth): the ranking's quality without its p-value's calibration."
                % Q_LEVEL, "", by_size_table(args, active, collected, scenario, "oracle")]
        out += ["### Null studies: fraction of pairs at or below each level, divided by the level", "",
                NULL_NOTE % (simulate.correlated_null_pairs(), Q_LEVEL), "",
                null_table(args, active, collected, scenario)]
    out += ["## Goals of the calibrated route", "", goals(args, active, collected)]
    if calib:
        var_table, tail_table = calib
        tail_pairs = args.tail_draws * args.tail_genes * (args.tail_genes - 1) // 2
        out += ["## Calibration study", "", VARIANCE_NOTE % args.variance_reps, "", var_table,
                TAIL_NOTE % (args.tail_draws, args.tail_genes, tail_pairs), "", tail_table]
    return "\n".join(out)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--out", help="write the Markdown here (default: standard output)")
    ap.add_argument("--quick", action="store_true", help="a small run (about a minute)")
    ap.add_argument("--studies", type=int, help="signal studies per setting (default 20; quick 2)")
    ap.add_argument("--null-studies", type=int, help="null studies per setting (default 12; quick 2)")
    ap.add_argument("--null-genes", type=int, help="genes of a null study (default 2000; quick 600)")
    ap.add_argument("--sizes", type=parse_sizes, default=parse_sizes("20,50,100,20:80"),
                    help="class sizes: N for N/N, N1:N2 for unequal classes (default 20,50,100,20:80)")
    ap.add_argument("--scenarios", type=lambda t: t.split(","), default=["clean", "outliers"])
    ap.add_argument("--methods", type=lambda t: t.split(","),
                    help="method keys (default: all): " + ",".join(m.key for m in methods_module.METHODS))
    ap.add_argument("--seed", type=int, default=20261206)
    ap.add_argument("--no-calibration", action="store_true", help="leave out the calibration study")
    args = ap.parse_args(argv)
    for name, value in (QUICK if args.quick else FULL).items():
        if getattr(args, name, None) is None:
            setattr(args, name, value)
    unknown = set(args.scenarios) - {"clean", "outliers"}
    if unknown:
        ap.error("unknown scenario(s) %s: use clean, outliers" % ", ".join(sorted(unknown)))
    known = {m.key: m for m in methods_module.METHODS}
    if args.methods:
        bad = [k for k in args.methods if k not in known]
        if bad:
            ap.error("unknown method(s) %s: the keys are %s" % (", ".join(bad), ", ".join(known)))
    chosen = [known[k] for k in args.methods] if args.methods else list(methods_module.METHODS)
    notes, active = {}, []
    for m in chosen:
        reason = m.skip_reason()
        if reason:
            notes[m.key] = "skipped: " + reason
            log("%s skipped: %s" % (m.label, reason))
        else:
            active.append(m)
    if "pearson" not in [m.key for m in active]:
        active.append(known["pearson"])  # the goals compare with it

    machine_text = machine()
    collected, checks, seconds = Collector(), {}, {}
    start = time.perf_counter()
    signal_studies(args, active, notes, collected, checks)
    seconds["signal"] = time.perf_counter() - start
    start = time.perf_counter()
    null_studies(args, active, notes, collected)
    seconds["null"] = time.perf_counter() - start
    calib = None
    if not args.no_calibration:
        start = time.perf_counter()
        calib = calibration_tables(args)
        seconds["calibration"] = time.perf_counter() - start
    command = "/usr/bin/python3 bench/accuracy/run.py " + " ".join(argv if argv is not None else sys.argv[1:])
    text = report(args, active, notes, collected, checks, calib, seconds, command.strip(), machine_text)
    if args.out:
        tmp = args.out + ".tmp"
        with open(tmp, "w") as f:
            f.write(text)
        os.replace(tmp, args.out)
    else:
        sys.stdout.write(text)
    return collected


if __name__ == "__main__":
    main()
