"""Pictures of the gene pairs that tivarne found (needs matplotlib).

    tivarne-plot -r RESULT -e EXPRESSION -l LABELS -o OUTPUT.png|.pdf [-k K]
                 [--genes GENES] [--class-names NAME1 NAME2] [--allow-no-pairs]

Reads a tivarne result file (or a pairs table of tivarne-analyse or
tivarne-annotate) together with the expression and label files of the run
and draws, for the K best pairs, gene X against gene Y over all samples,
class 1 and class 2 in two colours, and below them a histogram of the scores
of all pairs of the result. GENES names the genes (one per line, in the
order of the expression file, as tivarne-prep writes genes.txt); a pairs
table's own names are used otherwise. The result is checked against the
files: its r1 and r2 must be theirs, and files beside a manifest of
tivarne-prep must be the ones it records.

From Python::

    import tivarne.plot
    figure = tivarne.plot.figure("pairs.tsv", "out/expr.txt", "out/labels.txt", k=6)
    figure.savefig("pairs.png")
"""
import argparse
import math
import os
import sys

try:
    import matplotlib
except ImportError:  # the optional extra
    raise ImportError("tivarne.plot needs matplotlib: pip install 'tivarne[plot]', or on Debian "
                      "apt-get install python3-matplotlib")

import numpy as np

from ._format import check_files
from ._manifest import check_result
from ._result_file import gene_numbers, p_value_text, read_result
from ._tool import InputError, read_text

FORMATS = (".png", ".pdf")
CLASS_COLOURS = {1: "#d95f02", 2: "#1b9e77"}


def _pyplot():
    import matplotlib.pyplot as plt
    return plt


def gene_name(gene, names=None):
    return names[gene - 1] if names else "gene %d" % gene


def pair_title(pairs, k, names=None):
    """The title of row k's panel: the genes, r1, r2, score and p-value."""
    x, y = (int(v[k]) for v in gene_numbers(pairs))
    heading = "%s & %s" % (names[x - 1], names[y - 1]) if names else "genes %d & %d" % (x, y)
    row = pairs.iloc[k]
    return "%s\nr1 = %.2f, r2 = %.2f, score = %.2f\n%s" % (heading, row.r1, row.r2, row.score,
                                                           p_value_text(pairs, k))


def make_figure(pairs, values, labels, k=6, names=None, class_names=("class 1", "class 2"), title=None):
    """The figure: a grid of scatter panels for the first k rows of `pairs`
    (read_result()'s or analyse()'s rows) with the values (genes x samples)
    and labels (1 = class 1, 0 = class 2) of their data, then the histogram
    of all scores. Returns (figure, scatter axes, histogram axes)."""
    plt = _pyplot()
    shown = min(k, len(pairs))
    columns = min(3, shown)
    rows = math.ceil(shown / columns)
    fig = plt.figure(figsize=(4.2 * columns, 3.9 * rows + 3.0), layout="constrained")
    cells = [["pair%d" % (r * columns + c) if r * columns + c < shown else "."
              for c in range(columns)] for r in range(rows)]
    axes = fig.subplot_mosaic(cells + [["hist"] * columns], height_ratios=[3.9] * rows + [3.0])
    labels = np.asarray(labels)
    members = {1: labels == 1, 2: labels != 1}
    gx, gy = gene_numbers(pairs)
    panels = []
    for index in range(shown):
        ax = axes["pair%d" % index]
        x, y = values[gx[index] - 1], values[gy[index] - 1]
        for c in (1, 2):
            ax.scatter(x[members[c]], y[members[c]], s=18, color=CLASS_COLOURS[c], alpha=0.85, edgecolors="none",
                       label="%s (n = %d)" % (class_names[c - 1], members[c].sum()))
        ax.set_title(pair_title(pairs, index, names), fontsize=10)
        ax.set_xlabel(gene_name(gx[index], names))
        ax.set_ylabel(gene_name(gy[index], names))
        if index == 0:
            ax.legend(fontsize=8, loc="best")
        panels.append(ax)
    hist = axes["hist"]
    scores = pairs.score.to_numpy()
    hist.hist(scores, bins=min(30, max(5, len(scores) // 2)), color="#7570b3", edgecolor="white")
    hist.set_title("scores of the %d pairs of the result" % len(pairs), fontsize=10)
    hist.set_xlabel("score (WCOR)")
    hist.set_ylabel("pairs")
    fig.suptitle("tivarne: top %d of %d pairs%s" % (shown, len(pairs), " (%s)" % title if title else ""))
    return fig, panels, hist


def _settings_line(pairs):
    if "log10_level" in pairs.attrs:
        return "log10(significant level) = %f" % pairs.attrs["log10_level"]
    return "significant level = %f" % pairs.attrs["level"] if "level" in pairs.attrs else None


def _names(path, count, expression):
    names = [name.strip() for name in read_text(path, "genes").split("\n")]
    if names and names[-1] == "":
        names.pop()
    if len(names) != count:
        raise InputError("%s: %d names; expected %d, one per gene of %s: the files do not belong together."
                         % (path, len(names), count, expression))
    return names


def figure(result, expression, labels, k=6, genes=None, class_names=None):
    """The figure of a result with its data, checked as tivarne-plot checks
    them (see the module's help); None for a result without pairs.

    Parameters
    ----------
    result : str or os.PathLike
        A result file of ``tivarne``, or a pairs table.
    expression, labels : str or os.PathLike
        The expression and label files of the run.
    k : int, default 6
        Pairs to draw.
    genes : str or os.PathLike, optional
        Gene names, one per line in the order of the expression file.
    class_names : (str, str), optional
        The legend's names of class 1 and class 2; default: the classes in
        the manifest of tivarne-prep beside the files, else "class 1" and
        "class 2".

    Returns
    -------
    matplotlib.figure.Figure or None

    Raises
    ------
    ValueError
        Files that cannot be read as such, or that do not belong together.
    """
    if k < 1:
        raise InputError("The number of pairs to draw (-k) must be at least 1.")
    pairs = read_result(result)
    values, classes = check_files(expression, labels)
    names = _names(genes, len(values), expression) if genes else None
    record = check_result(result, pairs, expression, labels, genes, values=values, classes=classes)
    if not len(pairs):
        return None
    if names is None and "index_x" in pairs and not pairs.gene_x.equals(pairs.index_x):
        names = [None] * len(values)
        for number, name in zip(np.concatenate(gene_numbers(pairs)), np.concatenate([pairs.gene_x, pairs.gene_y])):
            names[number - 1] = str(name)
    if class_names is None:
        class_names = ("class 1", "class 2") if record is None else tuple(
            ", ".join(map(str, c)) if isinstance(c, list) else str(c) for c in (record["class1"], record["class2"]))
    return make_figure(pairs, values, classes, k, names, class_names, _settings_line(pairs))[0]


def plot(result, expression, labels, output, k=6, genes=None, class_names=None, allow_no_pairs=False):
    """Draws the figure of `result` into `output` (.png or .pdf)."""
    if os.path.splitext(output)[1].lower() not in FORMATS:
        raise InputError('Cannot tell the picture format of "%s": the name must end in .png or .pdf.' % output)
    fig = figure(result, expression, labels, k, genes, class_names)
    plt = _pyplot()
    if fig is None:
        if not allow_no_pairs:
            raise InputError('The result "%s" has no gene pairs (---No significant gene pairs---); nothing to '
                             "draw." % result)
        fig = plt.figure(figsize=(6, 2))
        fig.text(0.5, 0.5, "%s: no significant gene pairs" % os.path.basename(str(result)), ha="center")
    try:
        fig.savefig(output, dpi=100)
    except OSError as e:
        raise InputError('Cannot write the picture "%s": %s.' % (output, e.strerror or e))
    finally:
        plt.close(fig)


class _Parser(argparse.ArgumentParser):
    def error(self, message):
        self.print_usage(sys.stderr)
        sys.stderr.write("Error: %s\n" % message)
        sys.exit(1)


def main(argv=None):
    parser = _Parser(prog="tivarne-plot", description="Draw the best gene pairs of a tivarne result.")
    parser.add_argument("-r", dest="result", required=True, metavar="RESULT",
                        help="result file written by tivarne, or a pairs table of tivarne-analyse")
    parser.add_argument("-e", dest="expression", required=True, metavar="EXPRESSION",
                        help="the expression file of the run")
    parser.add_argument("-l", dest="labels", required=True, metavar="LABELS",
                        help="the label file of the run")
    parser.add_argument("-o", dest="output", required=True, metavar="OUTPUT",
                        help="picture to write: .png or .pdf")
    parser.add_argument("-k", dest="k", type=int, default=6, metavar="K",
                        help="number of pairs to draw (default 6)")
    parser.add_argument("--genes", metavar="GENES",
                        help="gene names, one per line in the order of the expression file")
    parser.add_argument("--class-names", nargs=2, metavar=("NAME1", "NAME2"),
                        help="names of class 1 (label 1) and class 2 (label 0) for the legend")
    parser.add_argument("--allow-no-pairs", action="store_true",
                        help="a result without pairs gives a picture that says so, not an error")
    args = parser.parse_args(argv)
    matplotlib.use("Agg")  # files only, no window
    try:
        plot(args.result, args.expression, args.labels, args.output, args.k, args.genes, args.class_names,
             args.allow_no_pairs)
    except InputError as e:
        sys.stderr.write("Error: %s\n" % e)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
