"""Pictures of the gene pairs that tivarne found.

tivarne-plot -r RESULT -e EXPRESSION -l LABELS -o OUTPUT.png|.pdf [-k K]
             [--genes GENES] [--class-names NAME1 NAME2]

Reads a tivarne result file together with the expression and label files of
the run and draws, for the K best written pairs, gene X against gene Y over
all samples, class 1 and class 2 in two colours, and below them a histogram
of the scores of all written pairs. GENES names the genes (one per line, in
the order of the expression file, as tivarne-prep writes genes.txt).
"""
import argparse
import math
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402  (after the backend is chosen)

FORMATS = (".png", ".pdf")
CLASS_COLOURS = {1: "#d95f02", 2: "#1b9e77"}
RULE = "-" * 49
HEADER = ("rank \t score(WCOR) \t log10(p-value(ECOR)) \t gene X \t gene Y \t r1 \t r2 \t weight c")
NO_PAIRS = "---No significant gene pairs---"


class PlotError(Exception):
    """A problem with the input files or the options; its text is the message."""


class Pair:
    """One row of a result file."""

    __slots__ = ("rank", "score", "log10_p", "gene_x", "gene_y", "r1", "r2", "c")

    def __init__(self, rank, score, log10_p, gene_x, gene_y, r1, r2, c):
        self.rank, self.score, self.log10_p = rank, score, log10_p
        self.gene_x, self.gene_y = gene_x, gene_y
        self.r1, self.r2, self.c = r1, r2, c


def _read_lines(path, what):
    try:
        with open(path, encoding="ascii", newline="\n") as f:
            return f.read().split("\n")
    except UnicodeDecodeError:
        raise PlotError('The %s file "%s" is not a plain text file.' % (what, path))
    except OSError as e:
        raise PlotError('Cannot read the %s file "%s": %s.' % (what, path, e.strerror or e))


def read_result(path):
    """The pairs of a result file, best first, and its settings lines."""
    lines = _read_lines(path, "result")
    if lines and lines[-1] == "":
        lines.pop()
    not_result = PlotError('"%s" is not a tivarne result file.' % path)
    if (len(lines) < 6 or lines[0] != "Results of TIVARNE:" or lines[1] != RULE or lines[4] != RULE
            or not lines[2].startswith(("significant level = ", "log10(significant level) = "))
            or not lines[3].startswith("number of gene pairs to be output = ")):
        raise not_result
    if lines[5:] == ["", NO_PAIRS]:
        raise PlotError('The result file "%s" has no gene pairs (---No significant gene pairs---).'
                        % path)
    if lines[5] != HEADER:
        raise not_result
    pairs = []
    for number, line in enumerate(lines[6:], start=7):
        fields = line.split("\t")
        try:
            if len(fields) != 8:
                raise ValueError
            pair = Pair(int(fields[0]), float(fields[1]), float(fields[2]), int(fields[3]),
                        int(fields[4]), float(fields[5]), float(fields[6]), float(fields[7]))
        except ValueError:
            raise PlotError('Line %d of the result file "%s" is not a row of gene pairs.'
                            % (number, path))
        if pair.gene_x < 1 or pair.gene_y <= pair.gene_x:
            raise PlotError('Line %d of the result file "%s" has invalid gene numbers.'
                            % (number, path))
        pairs.append(pair)
    if not pairs:
        raise PlotError('The result file "%s" has no gene pairs.' % path)
    return lines[2], pairs


def read_labels(path):
    """The class of each sample: 1 for label 1, 2 for label 0."""
    lines = _read_lines(path, "label")
    words = lines[0].split() if lines else []
    if not words or any(w not in ("0", "1") for w in words) or any(line.strip() for line in lines[1:]):
        raise PlotError('The label file "%s" is not one line of labels 0 and 1.' % path)
    return [1 if w == "1" else 2 for w in words]


def read_genes(path, wanted, samples):
    """The values of the genes numbered in `wanted` (from 1), by gene number.

    Every line of the expression file must hold one value per sample."""
    lines = _read_lines(path, "expression")
    if lines and lines[-1] == "":
        lines.pop()
    beyond = [g for g in sorted(wanted) if g > len(lines)]
    if beyond:
        raise PlotError('Gene %d of the result file is beyond the %d genes of the expression file '
                        '"%s": the files do not belong together.' % (beyond[0], len(lines), path))
    genes = _Genes()
    genes.count = len(lines)
    for number, line in enumerate(lines, start=1):
        words = line.split()
        if len(words) != samples:
            raise PlotError('Line %d of the expression file "%s" has %d values, but the label file '
                            'has %d samples: the files do not belong together.'
                            % (number, path, len(words), samples))
        if number in wanted:
            try:
                genes[number] = [float(w) for w in words]
            except ValueError:
                raise PlotError('Line %d of the expression file "%s" holds text that is not a '
                                'number.' % (number, path))
    return genes


class _Genes(dict):
    """Values by gene number; `count` is the number of genes in the file."""


def read_names(path, count):
    """The gene names of a genes file: one per line, one per gene of the expression file."""
    names = [name.strip() for name in _read_lines(path, "genes")]
    if names and names[-1] == "":
        names.pop()
    if len(names) != count:
        raise PlotError('The genes file "%s" has %d names, but the expression file has %d genes: '
                        "the files do not belong together." % (path, len(names), count))
    return names


def _number(v):
    return "%.2f" % v


def _p_value(log10_p):
    return "0" if log10_p == -math.inf else "$10^{%s}$" % _number(log10_p)


def gene_name(gene, names=None):
    return names[gene - 1] if names else "gene %d" % gene


def pair_title(pair, names=None):
    heading = ("%s & %s" % (names[pair.gene_x - 1], names[pair.gene_y - 1]) if names
               else "genes %d & %d" % (pair.gene_x, pair.gene_y))
    return "%s\nr1 = %s, r2 = %s, score = %s\np = %s" % (
        heading, _number(pair.r1), _number(pair.r2), _number(pair.score), _p_value(pair.log10_p))


def make_figure(level_line, pairs, genes, classes, k=6, names=None,
                class_names=("class 1", "class 2")):
    """The figure: a grid of scatter panels for the first k pairs, then the
    histogram of all scores. Returns (figure, scatter axes, histogram axes)."""
    shown = pairs[:k]
    columns = min(3, len(shown))
    rows = math.ceil(len(shown) / columns)
    fig = plt.figure(figsize=(4.2 * columns, 3.9 * rows + 3.0), layout="constrained")
    cells = [["pair%d" % (r * columns + c) if r * columns + c < len(shown) else "."
              for c in range(columns)] for r in range(rows)]
    axes = fig.subplot_mosaic(cells + [["hist"] * columns], height_ratios=[3.9] * rows + [3.0])
    panels = []
    sizes = {c: classes.count(c) for c in (1, 2)}
    for index, pair in enumerate(shown):
        ax = axes["pair%d" % index]
        x, y = genes[pair.gene_x], genes[pair.gene_y]
        for c in (1, 2):
            ax.scatter([v for v, s in zip(x, classes) if s == c],
                       [v for v, s in zip(y, classes) if s == c],
                       s=18, color=CLASS_COLOURS[c], alpha=0.85, edgecolors="none",
                       label="%s (n = %d)" % (class_names[c - 1], sizes[c]))
        ax.set_title(pair_title(pair, names), fontsize=10)
        ax.set_xlabel(gene_name(pair.gene_x, names))
        ax.set_ylabel(gene_name(pair.gene_y, names))
        if index == 0:
            ax.legend(fontsize=8, loc="best")
        panels.append(ax)
    hist = axes["hist"]
    scores = [p.score for p in pairs]
    hist.hist(scores, bins=min(30, max(5, len(scores) // 2)), color="#7570b3", edgecolor="white")
    hist.set_title("scores of the %d written pairs" % len(pairs), fontsize=10)
    hist.set_xlabel("score (WCOR)")
    hist.set_ylabel("pairs")
    fig.suptitle("tivarne: top %d of %d pairs (%s)" % (len(shown), len(pairs), level_line))
    return fig, panels, hist


def plot(result, expression, labels, output, k=6, genes_file=None, class_names=None):
    if os.path.splitext(output)[1].lower() not in FORMATS:
        raise PlotError('Cannot tell the picture format of "%s": the name must end in .png or .pdf.'
                        % output)
    if k < 1:
        raise PlotError("The number of pairs to draw (-k) must be at least 1.")
    level_line, pairs = read_result(result)
    classes = read_labels(labels)
    wanted = {g for p in pairs[:k] for g in (p.gene_x, p.gene_y)}
    genes = read_genes(expression, wanted, len(classes))
    names = read_names(genes_file, genes.count) if genes_file else None
    fig, _, _ = make_figure(level_line, pairs, genes, classes, k, names,
                            class_names or ("class 1", "class 2"))
    try:
        fig.savefig(output, dpi=100)
    except OSError as e:
        raise PlotError('Cannot write the picture "%s": %s.' % (output, e.strerror or e))
    finally:
        plt.close(fig)


class _Parser(argparse.ArgumentParser):
    def error(self, message):
        self.print_usage(sys.stderr)
        sys.stderr.write("Error: %s\n" % message)
        sys.exit(1)


def main(argv=None):
    parser = _Parser(prog="tivarne-plot",
                     description="Draw the best gene pairs of a tivarne result file.")
    parser.add_argument("-r", dest="result", required=True, metavar="RESULT",
                        help="result file written by tivarne")
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
    args = parser.parse_args(argv)
    try:
        plot(args.result, args.expression, args.labels, args.output, args.k, args.genes,
             args.class_names)
    except PlotError as e:
        sys.stderr.write("Error: %s\n" % e)
        return 1
    return 0
