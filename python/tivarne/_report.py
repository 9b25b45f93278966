"""tivarne-report: one HTML file that shows a run: summary, pairs, network, genes.

    tivarne-report EXPRESSION LABELS -o REPORT.html [--genes GENES]
                   [--level L] [--max-pairs N] [--adjust BH] [--order ORDER]
                   [--threads N] [--class-names NAME1 NAME2]
                   [--network-edges N] [--title TEXT] [--result RESULT]

EXPRESSION and LABELS are tivarne's own input files (as tivarne-prep writes
them: one line of numbers per gene; one line of labels 1 = class 1, 0 = class
2), GENES the gene IDs, one per line in the order of EXPRESSION. The analysis
runs as tivarne.analyse() runs it; with --result, the pairs of a finished run
of the command line are shown instead (its level and number of pairs come
from that file). The report is one self-contained file: every script, style
and figure is inside it, it opens offline and asks nothing of the network.

The data behind the page
------------------------
The page is a template (report_assets/report.html, .css, .js, and the
vendored cytoscape.min.js) filled with one JSON object, embedded as
<script type="application/json" id="tivarne-data">. Missing values are null.

summary      title, genes, samples (used), classes ([{name, size}, {name,
             size}]: class 1, class 2), left_out, level, adjust ("none" or
             "BH"), p_value_route ("ECOR"; later "calibrated" or
             "permutations"), order ("score" or "p_value"), max_pairs,
             pairs_tested (all pairs scored), pairs_with_p_value,
             pairs_passing (pairs at or below the level over all pairs),
             pairs_shown, network_edges (the cap), run_time_s, version,
             command (the command or call that makes this report again),
             source ("analysis" or "result file"), result_file
pairs        one object per shown pair, in rank order: rank, gene_x,
             gene_y (names), index_x, index_y (rows of the expression
             file, from 1), r1, r2, c, score, p, q, dc_class ("+/0" ...),
             direction ("stronger_in_class1", "stronger_in_class2",
             "sign_change": see tivarne.network.direction)
expression   samples (names), classes (1, 2, or 0 for a sample left out),
             values: {index (text): the gene's values, 4 significant
             digits} for the genes of the shown pairs
genes        null (not computed: a result file), or one object per gene:
             gene, degree, expected, stronger_in_class1, stronger_in_class2,
             sign_changes, p, q; the 5000 with the smallest p at most
histograms   null, or {score: {edges, counts, cut, nan_scores}, p_value:
             {log10_edges, counts, p_below}, pairs_with_p_value}: all pairs'
             scores (len(edges) = len(counts) + 1; bins of 0.01; cut = the
             score of the last pair shown) and p-values binned on a log10
             scale (bins of 0.01 from -12 to 0, and the p-values below 1e-12
             in a first bin from -13 to -12), from the library's histograms
"""
import argparse
import json
import math
import os
import re
import shlex
import sys
import time

import numpy as np

from . import __version__
from ._tool import Parser, InputError, read_text, run, write_files
from .network import pair_records

ASSETS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "report_assets")
FORMAT = 1
DEFAULT_MAX_PAIRS = 500
DEFAULT_NETWORK_EDGES = 500
# The gene table shows the genes with the smallest p-values, at most this many
# (a few hundred bytes each).
MAX_GENES = 5000
GENE_COLUMNS = ["gene", "degree", "expected", "stronger_in_class1", "stronger_in_class2", "sign_changes", "p", "q"]
_MARKER = re.compile(r"@@(TITLE|STYLE|LIBRARY|SCRIPT|DATA)@@")
# Characters that must not appear literally inside a <script> element.
_SCRIPT_UNSAFE = {"<": "\\u003c", ">": "\\u003e", "&": "\\u0026", "\u2028": "\\u2028", "\u2029": "\\u2029"}


def report(expression, labels, path, level=0.01, max_pairs=DEFAULT_MAX_PAIRS, *, gene_names=None,
           class_names=None, result=None, network_edges=DEFAULT_NETWORK_EDGES, title=None, **options):
    """Write the HTML report of an analysis: one self-contained file.

    Runs :func:`tivarne.analyse` (or reads the pairs of a finished run from
    `result`) and writes a page with the run's summary, the pairs (a
    sortable, filterable table; a click draws the pair's scatter plot per
    class), the network of the top pairs, and downloads of the tables, the
    network (GraphML, Cytoscape JSON) and the figures (SVG, PNG). The file
    holds every script and style it needs and opens offline.

    Parameters
    ----------
    expression : numpy.ndarray, pandas.DataFrame, str or os.PathLike
        Genes x samples, as for :func:`tivarne.analyse`; or the path of an
        expression file in tivarne's own format.
    labels : array-like, str or os.PathLike
        One label per sample, as for :func:`tivarne.analyse`; or the path of
        a label file (1 = class 1, 0 = class 2).
    path : str or os.PathLike
        The HTML file to write. It is written under a temporary name first
        and appears complete or not at all.
    level, max_pairs
        As for :func:`tivarne.analyse`; `max_pairs` is 500 here (enough
        pairs to make a network), not 20.
    gene_names : sequence of str, str or os.PathLike, optional
        The genes' names in the order of the rows, or the path of a file
        with one name per line. A DataFrame's index names the genes itself.
    class_names : (str, str), optional
        The names shown for class 1 and class 2; by default the label values
        (for 0/1 labels and label files: "class 1" and "class 2").
    result : str or os.PathLike, optional
        A result file of the command line ``tivarne`` for this expression
        file: its pairs are shown and no analysis is run (the analysis
        arguments must then be left out).
    network_edges : int, default 500
        The network shows at most this many pairs, best first.
    title : str, optional
        The page's title.
    **options
        The other arguments of :func:`tivarne.analyse` (class1, threads,
        adjust, order, engine, progress, ...).

    Returns
    -------
    dict
        The data embedded in the page; its fields are listed in
        ``help(tivarne._report)`` (module tivarne._report) and doc/report.md.

    Raises
    ------
    ValueError
        Unreadable or malformed input files, names or a result file that do
        not match the expression's genes, analysis arguments with `result`,
        and everything :func:`tivarne.analyse` refuses.
    OSError
        The report cannot be written.
    """
    call = _call(expression, labels, path, level, max_pairs, gene_names, class_names, result, network_edges,
                 title, options)
    try:
        return _make(expression, labels, path, level, max_pairs, gene_names, class_names, result, network_edges,
                     title, options, call)
    except InputError as e:
        raise (OSError if str(e).startswith("Cannot write") else ValueError)(str(e)) from None


def _make(expression, labels, path, level, max_pairs, gene_names, class_names, result, network_edges, title,
          options, command):
    """Everything report() and the command do, in one place."""
    path = os.fspath(path)
    _check_target(path)
    if network_edges is None or isinstance(network_edges, bool) or int(network_edges) != network_edges \
            or network_edges < 1:
        raise InputError("network_edges must be a whole number of at least 1, got %r." % (network_edges,))
    if class_names is not None and (len(class_names) != 2 or not all(isinstance(n, str) for n in class_names)):
        raise InputError("class_names must be two names (class 1, class 2), got %r." % (class_names,))
    from_files = isinstance(expression, (str, os.PathLike))
    if from_files != isinstance(labels, (str, os.PathLike)):
        raise InputError("expression and labels must both be paths of tivarne's files or both be data.")
    values, names, samples, labels, source = _inputs(expression, labels, from_files)
    names = _gene_names(gene_names, names, values.shape[0] if np.ndim(values) else 0)

    if result is not None:
        if set(options) or level != 0.01 or max_pairs != DEFAULT_MAX_PAIRS:
            given = sorted(set(options) | ({"level"} if level != 0.01 else set())
                           | ({"max_pairs"} if max_pairs != DEFAULT_MAX_PAIRS else set()))
            raise InputError("a result file is reported as it is: leave out %s (its level and number of pairs "
                             "come from the file)." % ", ".join(given))
        records, summary, classes = _from_result(os.fspath(result), values.shape[0], labels, names)
        genes = histograms = None
    else:
        records, summary, classes, genes, histograms = _from_analysis(values, labels, names, samples, source, level,
                                                                      max_pairs, options)
    if class_names is not None:
        for entry, name in zip(summary["classes"], class_names):
            entry["name"] = name
    summary.update(
        title=title or "%s vs %s" % (summary["classes"][0]["name"], summary["classes"][1]["name"]),
        network_edges=int(network_edges), version=__version__, command=command)
    data = report_data(summary, records, np.asarray(values, dtype=np.float64), samples, classes, genes, histograms)
    write_report(data, path)
    return data


def report_data(summary, pairs, values, samples, classes, genes=None, histograms=None):
    """The JSON object behind a report (its fields: see help(tivarne._report)).

    Parameters
    ----------
    summary : dict
        The summary fields.
    pairs : list of dict
        The shown pairs as :func:`tivarne.network.pair_records` gives them.
    values : numpy.ndarray
        The expression matrix (genes x samples); the rows of the pairs' genes
        are kept, at 4 significant digits.
    samples : sequence of str
        The samples' names.
    classes : sequence of int
        Each sample's class: 1, 2, or 0 when left out.
    genes : pandas.DataFrame, optional
        The gene-level table (columns gene, degree, expected,
        stronger_in_class1, stronger_in_class2, sign_changes, p_value,
        q_value), or None when not computed.
    histograms : dict, optional
        {"score": {"edges", "counts", "cut"}, "p_value": {"log10_edges",
        "counts"}, "pairs_with_p_value"}, or None when not computed.
    """
    rows = sorted({r["index_x"] for r in pairs} | {r["index_y"] for r in pairs})
    kept = {str(i): [float("%.4g" % v) for v in values[i - 1].tolist()] for i in rows}
    return {"format": FORMAT, "summary": dict(summary, pairs_shown=len(pairs)), "pairs": pairs,
            "expression": {"samples": [str(s) for s in samples], "classes": [int(c) for c in classes],
                           "values": kept},
            "genes": None if genes is None else _gene_records(genes),
            "histograms": histograms}


def _gene_records(genes):
    """The gene-level table's rows as the report's records."""
    renamed = genes.rename(columns={"p_value": "p", "q_value": "q"})
    missing = [c for c in GENE_COLUMNS if c not in renamed.columns]
    if missing:
        raise ValueError("the gene table lacks the column(s) %s" % ", ".join(missing))
    out = []
    for row in renamed[GENE_COLUMNS].itertuples(index=False):
        record = dict(zip(GENE_COLUMNS, row))
        for key in GENE_COLUMNS[1:]:
            value = float(record[key])
            record[key] = None if math.isnan(value) else (int(value) if key not in ("expected", "p", "q") else value)
        record["gene"] = str(record["gene"])
        out.append(record)
    return out


def render(data):
    """The page's text: the template with its styles, scripts and data inside."""
    def asset(name):
        with open(os.path.join(ASSETS, name), encoding="utf-8") as f:
            return f.read()

    text = json.dumps(data, ensure_ascii=False, allow_nan=False, separators=(",", ":"))
    parts = {"TITLE": _html_text(data["summary"].get("title") or "tivarne report"),
             "STYLE": asset("report.css"),
             "LIBRARY": _script_text(asset("cytoscape.min.js")),
             "SCRIPT": _script_text(asset("report.js")),
             "DATA": re.sub("[<>&\u2028\u2029]", lambda m: _SCRIPT_UNSAFE[m.group()], text)}
    return _MARKER.sub(lambda m: parts[m.group(1)], asset("report.html"))


def write_report(data, path):
    """Writes the page of `data` to `path` through a temporary file."""
    write_files({os.fspath(path): render(data)})


def _html_text(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def _script_text(code):
    return re.sub(r"</(script)", r"<\\/\1", code, flags=re.I)


def _check_target(path):
    """Refuses a report path that cannot be written, before any work."""
    folder = os.path.dirname(os.path.abspath(path))
    if os.path.isdir(path):
        raise InputError('Cannot write "%s": it is a directory.' % path)
    if not os.path.isdir(folder):
        raise InputError('Cannot write "%s": the folder "%s" does not exist.' % (path, folder))


def _inputs(expression, labels, from_files):
    """(values, gene names or None, sample names, labels, source) of the inputs."""
    if from_files:
        from ._format import check_files
        expression, labels = os.fspath(expression), os.fspath(labels)
        values, given = check_files(expression, labels)
        samples = ["sample %d" % (k + 1) for k in range(values.shape[1])]
        return values, None, samples, np.asarray(given), {"expression": expression, "labels": labels}
    import pandas as pd
    names = None
    if isinstance(expression, pd.DataFrame):
        index = expression.index
        if not (isinstance(index, pd.RangeIndex) and index.start == 0 and index.step == 1):
            names = [str(n) for n in index]
        columns = expression.columns
        default = isinstance(columns, pd.RangeIndex) and columns.start == 0 and columns.step == 1
        samples = ["sample %d" % (k + 1) for k in range(len(columns))] if default else [str(c) for c in columns]
        values = expression
    else:
        values = np.asarray(expression)
        samples = ["sample %d" % (k + 1) for k in range(values.shape[1] if values.ndim == 2 else 0)]
    return values, names, samples, labels, None


def _gene_names(gene_names, names, genes):
    """The genes' names as a list (None when there are none)."""
    if gene_names is None:
        return names
    if names is not None:
        raise InputError("the expression's index names the genes already: leave out the gene names.")
    if isinstance(gene_names, (str, os.PathLike)):
        path = os.fspath(gene_names)
        gene_names = read_text(path, "gene").splitlines()
        where = "%s has %d names" % (path, len(gene_names))
    else:
        gene_names = [str(n) for n in gene_names]
        where = "%d gene names are given" % len(gene_names)
    if len(gene_names) != genes:
        raise InputError("%s, but the expression has %d genes: one name per gene is needed, in the same order."
                         % (where, genes))
    return gene_names


def _named(records, names):
    if names is not None:
        for r in records:
            r["gene_x"], r["gene_y"] = names[r["index_x"] - 1], names[r["index_y"] - 1]
    return records


def _from_analysis(values, labels, names, samples, source, level, max_pairs, options):
    """(records, summary, sample classes, gene table, histograms) of a run of
    analyse() with the gene table and the all-pairs histograms."""
    from ._analysis import _run
    from ._rewired import gene_frame
    start = time.perf_counter()
    pairs, out, _ = _run(values, labels, level=level, max_pairs=max_pairs, gene_summary=True,
                         **dict(options, histograms=True))
    seconds = time.perf_counter() - start
    attrs = pairs.attrs
    records = _named(pair_records(pairs), names)
    classes = _sample_classes(*_by_column(values, labels, options.get("samples")), attrs)
    genes = gene_frame(out, None if names is None else np.asarray(names, dtype=object), attrs).head(MAX_GENES)
    histograms = _histograms(attrs["histograms"], records)
    shown = len(records)
    summary = {
        "genes": int(attrs["genes"]), "samples": int(attrs["samples"]),
        "classes": [{"name": _class_name(attrs["class1"], 1, source), "size": int(attrs["n1"])},
                    {"name": _class_name(attrs["class2"], 2, source), "size": int(attrs["n2"])}],
        "left_out": int(attrs.get("left_out", len(classes) - int(attrs["n1"]) - int(attrs["n2"]))),
        "level": float(attrs["level"]), "adjust": attrs["adjust"] or "none", "p_value_route": "ECOR",
        "order": attrs["order"], "max_pairs": int(attrs["max_pairs"]), "pairs_tested": int(attrs["pairs"]),
        "pairs_with_p_value": int(attrs["pairs_with_p_value"]), "pairs_passing": int(out["passing"]),
        "pairs_shown": shown, "run_time_s": round(seconds, 3), "source": "analysis", "result_file": None}
    return records, summary, classes, genes, histograms


def _histograms(h, records):
    """The report's histograms from the library's: scores in bins of 0.01 up
    to the highest, with the score of the last pair shown as the cut; p-values
    by log10 p ascending (bins of 0.01 from -12 to 0; the p-values below
    1e-12, and 0, in a first bin from -13 to -12)."""
    per = 10
    scores = np.asarray(h["scores"], dtype=np.int64)
    last = int(np.flatnonzero(scores).max()) + 1 if scores.any() else 1
    last = -(-last // per) * per
    merged = scores[:last].reshape(-1, per).sum(axis=1)
    width = h["score_width"] * per
    p_counts = [int(h["p_below"])] + [int(c) for c in reversed(h["log10_p"])]
    bins = len(h["log10_p"])
    log10_edges = [-(bins * h["log10_p_width"]) - 1] + [
        round(-(bins - k) * h["log10_p_width"], 10) for k in range(bins + 1)]
    cut = min((r["score"] for r in records if r["score"] is not None), default=None)
    return {"score": {"edges": [round(k * width, 10) for k in range(len(merged) + 1)],
                      "counts": [int(c) for c in merged], "cut": cut,
                      "nan_scores": int(h["nan_scores"])},
            "p_value": {"log10_edges": log10_edges, "counts": p_counts, "p_below": int(h["p_below"])},
            "pairs_with_p_value": int(h["with_p_value"])}


def _by_column(values, labels, samples):
    """(labels in the order of the columns, matched by name as analyse()
    matches them; the mask of the samples= filter, or None)."""
    import pandas as pd
    from ._analysis import _aligned, _names, _samples
    names = _names(values.columns) if isinstance(values, pd.DataFrame) else None
    count = values.shape[1]
    return _aligned(labels, "labels", count, names), None if samples is None else _samples(samples, count, names)


def _class_name(value, number, source):
    values = value if isinstance(value, (list, tuple)) else [value]
    if source is not None or all(isinstance(v, (bool, int, np.integer)) and v in (0, 1) for v in values):
        return "class %d" % number
    return "+".join(str(v) for v in values)


def _sample_classes(labels, used, attrs):
    """Each sample's class (1, 2, 0 when left out) from the class values of a
    run; `used`: the mask of its samples= filter (None: every sample)."""
    import pandas as pd

    if isinstance(labels, (pd.Series, pd.Index)):
        labels = labels.array
    given = np.asarray(labels, dtype=object)
    if used is not None:
        given = np.where(used, given, None)

    def members(value):
        wanted = value if isinstance(value, (list, tuple)) else [value]
        return np.array([any(_same(label, v) for v in wanted) for label in given], dtype=bool)

    one, two = members(attrs["class1"]), members(attrs["class2"])
    if one.sum() != attrs["n1"] or two.sum() != attrs["n2"] or (one & two).any():
        raise InputError("cannot tell which samples form the classes (%d and %d of them carry the class values, "
                         "the run used %d and %d)." % (one.sum(), two.sum(), attrs["n1"], attrs["n2"]))
    return np.where(one, 1, np.where(two, 2, 0))


def _same(a, b):
    try:
        return bool(a == b)
    except (TypeError, ValueError):
        return False


def _from_result(path, genes, labels, names):
    """(records, summary, sample classes) of a result file of the command line."""
    from .network import result_records
    records = result_records(path)
    last = max((max(r["index_x"], r["index_y"]) for r in records), default=0)
    if last > genes:
        raise InputError("%s names gene %d, but the expression file has %d genes: the files do not belong "
                         "together." % (path, last, genes))
    from ._result_file import read_result
    settings = read_result(path).attrs
    if settings["format"] != "result file":
        raise InputError("%s is a pairs table, not a result file of the command line: report the run from its "
                         "expression and label files with its settings (--level, --max-pairs, --adjust)." % path)
    level, max_pairs = settings["level"], settings["max_pairs"]
    labels = np.asarray(labels, dtype=object)
    if not all(_same(label, 1) or _same(label, 0) for label in labels):
        raise InputError("a result file of the command line goes with its label file (labels 1 and 0); the "
                         "labels given have other values.")
    labels = labels.astype(float)
    n1, n2 = int((labels == 1).sum()), int((labels == 0).sum())
    shown = len(records)
    summary = {
        "genes": genes, "samples": n1 + n2,
        "classes": [{"name": "class 1", "size": n1}, {"name": "class 2", "size": n2}], "left_out": 0,
        "level": level, "adjust": "none", "p_value_route": "ECOR", "order": "score", "max_pairs": max_pairs,
        "pairs_tested": genes * (genes - 1) // 2, "pairs_with_p_value": None,
        "pairs_passing": shown if shown < max_pairs else None, "pairs_shown": shown,
        "run_time_s": None, "source": "result file", "result_file": path}
    return _named(records, names), summary, np.where(labels == 1, 1, 2)


def _call(expression, labels, path, level, max_pairs, gene_names, class_names, result, network_edges, title,
          options):
    """The Python call that makes the same report."""
    def shown(value, name):
        return repr(os.fspath(value)) if isinstance(value, (str, os.PathLike)) else name

    args = [shown(expression, "expression"), shown(labels, "labels"), repr(os.fspath(path))]
    if level != 0.01:
        args.append("level=%r" % (level,))
    if max_pairs != DEFAULT_MAX_PAIRS:
        args.append("max_pairs=%r" % (max_pairs,))
    named = dict(options, gene_names=gene_names, class_names=class_names, result=result, title=title)
    for key, value in named.items():
        if value is not None and key != "progress":
            args.append("%s=%s" % (key, shown(value, key) if key == "gene_names" else repr(value)))
    if network_edges != DEFAULT_NETWORK_EDGES:
        args.append("network_edges=%r" % (network_edges,))
    return "tivarne.report(%s)" % ", ".join(args)


def _main(argv):
    p = Parser(prog="tivarne-report", description=__doc__.split("\n\n", 2)[2].split("\n\nThe data")[0],
               formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("expression", metavar="EXPRESSION", help="expression file (one line per gene)")
    p.add_argument("labels", metavar="LABELS", help="label file (one line: 1 = class 1, 0 = class 2)")
    p.add_argument("-o", dest="output", required=True, metavar="REPORT", help="the HTML file to write")
    p.add_argument("--genes", metavar="GENES", help="gene IDs, one per line in the order of EXPRESSION")
    p.add_argument("--level", type=float, metavar="L", help="significance level (default 0.01)")
    p.add_argument("--max-pairs", type=int, metavar="N", help="at most N pairs (default %d)" % DEFAULT_MAX_PAIRS)
    p.add_argument("--adjust", choices=["BH"], help="select by Benjamini-Hochberg q-value")
    p.add_argument("--order", choices=["score", "p_value"], help="order of the pairs (default score)")
    p.add_argument("--threads", type=int, metavar="N", help="threads (default: all cores)")
    p.add_argument("--class-names", nargs=2, metavar=("NAME1", "NAME2"), help="names of class 1 and class 2")
    p.add_argument("--network-edges", type=int, default=DEFAULT_NETWORK_EDGES, metavar="N",
                   help="at most N pairs in the network (default %d)" % DEFAULT_NETWORK_EDGES)
    p.add_argument("--title", metavar="TEXT", help="title of the page")
    p.add_argument("--result", metavar="RESULT", help="report this result file of tivarne instead of running")
    args = p.parse_args(argv)
    if args.network_edges < 1:
        p.error("--network-edges must be at least 1, got %d" % args.network_edges)
    analysis = {"level": args.level, "max_pairs": args.max_pairs, "adjust": args.adjust, "order": args.order,
                "threads": args.threads}
    given = {k: v for k, v in analysis.items() if v is not None}
    if args.result is not None and given:
        p.error("--result reports a finished run: leave out %s"
                % ", ".join("--" + k.replace("_", "-") for k in given))
    command = "tivarne-report " + " ".join(shlex.quote(a) for a in (sys.argv[1:] if argv is None else argv))
    level, max_pairs = given.pop("level", 0.01), given.pop("max_pairs", DEFAULT_MAX_PAIRS)
    try:
        data = _make(args.expression, args.labels, args.output, level, max_pairs, args.genes, args.class_names,
                     args.result, args.network_edges, args.title, given, command)
    except (ValueError, TypeError, MemoryError) as e:
        raise InputError(str(e))
    summary = data["summary"]
    sys.stderr.write("Wrote %s: %d pairs, %d in the network.\n"
                     % (args.output, summary["pairs_shown"], min(summary["pairs_shown"], summary["network_edges"])))


def main(argv=None):
    return run(_main, argv)


if __name__ == "__main__":
    sys.exit(main())
