"""tivarne-plot: what the figure holds, and the refusals."""
import os
import shutil
import subprocess
import sys

import numpy as np
import pytest

from conftest import ROOT

TOOLS = os.path.join(ROOT, "tools")
sys.path.insert(0, TOOLS)

import tivarne_plot  # noqa: E402

HEAD = ("Results of TIVARNE:\n" + "-" * 49 + "\nsignificant level = 0.050000\n"
        "number of gene pairs to be output = 10 (maximum)\n" + "-" * 49 + "\n")
COLUMNS = ("rank \t score(WCOR) \t log10(p-value(ECOR)) \t gene X \t gene Y \t r1 \t r2 \t "
           "weight c\n")

# Five genes over seven samples; samples 1, 2 and 5 are class 1.
LABELS = "1 1 0 0 1 0 0\n"
EXPRESSION = [
    [0.5, 1.5, 2.5, 3.5, 4.5, 5.5, 6.5],
    [10, 11, 12, 13, 14, 15, 16],
    [-1, -2, -3, -4, -5, -6, -7],
    [0.25, 0.75, 1.25, 1.75, 2.25, 2.75, 3.25],
    [7, 5, 3, 1, -1, -3, -5],
]
EXPRESSION_TEXT = "".join(" ".join("%g" % v for v in gene) + "\n" for gene in EXPRESSION)
# rank, score, log10 p, gene X, gene Y, r1, r2, c
ROWS = [
    (1, 1.51, -6.45, 1, 4, -0.81, 0.72, 0.99),
    (2, 1.45, -5.64, 2, 5, 0.75, -0.71, 0.99),
    (3, 1.42, -5.72, 3, 5, -0.79, 0.67, 0.97),
    (4, 1.10, float("-inf"), 1, 2, 0.30, -0.80, 1.00),
    (5, 0.40, -2.00, 2, 3, 0.50, 0.50, float("nan")),
]


def result_text(rows):
    return HEAD + COLUMNS + "".join("%d\t%.2f\t%.2f\t%d\t%d\t%.2f\t%.2f\t%.2f\n" % row for row in rows)


@pytest.fixture
def files(tmp_path):
    def write(result=result_text(ROWS), labels=LABELS, expression=EXPRESSION_TEXT, missing=None):
        paths = []
        for option, name, text in (("-r", "result.tsv", result), ("-e", "expr.txt", expression),
                                   ("-l", "labels.txt", labels)):
            paths.append(tmp_path / ("missing.txt" if option == missing else name))
            if option != missing:
                paths[-1].write_text(text)
        return [str(path) for path in paths]
    return write


def figure_of(result, expression, labels, k, names=None, **options):
    level, pairs = tivarne_plot.read_result(result)
    classes = tivarne_plot.read_labels(labels)
    genes = tivarne_plot.read_genes(expression, {g for p in pairs[:k] for g in (p.gene_x, p.gene_y)},
                                    len(classes))
    names = names and tivarne_plot.read_names(names, genes.count)
    return tivarne_plot.make_figure(level, pairs, genes, classes, k, names, **options)


# ---- the figure -----------------------------------------------------------

@pytest.mark.parametrize("k, panels", [(1, 1), (4, 4), (6, 5)])
def test_one_panel_per_drawn_pair_and_a_histogram_of_every_written_pair(files, k, panels):
    fig, scatter, hist = figure_of(*files(), k)
    assert len(scatter) == panels
    assert len(fig.axes) == panels + 1 and fig.axes[-1] is hist
    assert "top %d of 5 pairs" % panels in fig._suptitle.get_text()
    heights = [bar.get_height() for bar in hist.patches]
    edges = [bar.get_x() for bar in hist.patches] + [hist.patches[-1].get_x() + hist.patches[-1].get_width()]
    assert heights == list(np.histogram([row[1] for row in ROWS], bins=edges)[0]) and sum(heights) == len(ROWS)
    assert "5 written pairs" in hist.get_title()


def test_panels_show_each_pairs_numbers_values_by_class_and_names(files, tmp_path):
    level, pairs = tivarne_plot.read_result(files()[0])
    assert level == "significant level = 0.050000"
    assert [(p.rank, p.gene_x, p.gene_y) for p in pairs] == [(r[0], r[3], r[4]) for r in ROWS]
    assert pairs[3].log10_p == float("-inf") and np.isnan(pairs[4].c)
    _, scatter, _ = figure_of(*files(), 6)
    assert [ax.get_title() for ax in scatter] == [
        "genes 1 & 4\nr1 = -0.81, r2 = 0.72, score = 1.51\np = $10^{-6.45}$",
        "genes 2 & 5\nr1 = 0.75, r2 = -0.71, score = 1.45\np = $10^{-5.64}$",
        "genes 3 & 5\nr1 = -0.79, r2 = 0.67, score = 1.42\np = $10^{-5.72}$",
        "genes 1 & 2\nr1 = 0.30, r2 = -0.80, score = 1.10\np = 0",
        "genes 2 & 3\nr1 = 0.50, r2 = 0.50, score = 0.40\np = $10^{-2.00}$",
    ]
    assert (scatter[0].get_xlabel(), scatter[0].get_ylabel()) == ("gene 1", "gene 4")
    for ax, row in zip(scatter, ROWS):
        x, y = EXPRESSION[row[3] - 1], EXPRESSION[row[4] - 1]
        first, second = ax.collections
        assert (first.get_label(), second.get_label()) == ("class 1 (n = 3)", "class 2 (n = 4)")
        np.testing.assert_array_equal(first.get_offsets(), [[x[s], y[s]] for s in (0, 1, 4)])
        np.testing.assert_array_equal(second.get_offsets(), [[x[s], y[s]] for s in (2, 3, 5, 6)])
        assert not np.array_equal(first.get_facecolor(), second.get_facecolor())
    assert scatter[0].get_legend() is not None
    # With gene names and class names.
    (tmp_path / "genes.txt").write_text("TP53\nMYC\nCD33\nKIT\nFLT3\n")
    fig, scatter, _ = figure_of(*files(), 3, str(tmp_path / "genes.txt"), class_names=("AML", "ALL"))
    assert scatter[1].get_title().startswith("MYC & FLT3\n")
    assert (scatter[0].get_xlabel(), scatter[0].get_ylabel()) == ("TP53", "KIT")
    legends = [ax.get_legend() for ax in fig.axes if ax.get_legend()]
    assert [[t.get_text() for t in legend.get_texts()] for legend in legends] == [
        ["AML (n = 3)", "ALL (n = 4)"]]


@pytest.mark.parametrize("name, magic", [("pairs.png", b"\x89PNG"), ("pairs.PDF", b"%PDF")])
def test_picture_format_follows_the_file_name(files, tmp_path, name, magic):
    result, expression, labels = files()
    assert tivarne_plot.main(["-r", result, "-e", expression, "-l", labels, "-o", str(tmp_path / name),
                              "-k", "2"]) == 0
    assert (tmp_path / name).read_bytes().startswith(magic)


# ---- refusals: "Error: ..." (after the usage line for a bad option), status 1,
# no picture -----------------------------------------------------------------

REFUSED = {  # the files' contents, the options after -r -e -l, the message
    "no pairs": (dict(result=HEAD + "\n---No significant gene pairs---\n"), [], "no gene pairs"),
    "not a result": (dict(result="rank\tscore\n1\t2\n"), [], "not a tivarne result file"),
    "empty result": (dict(result=""), [], "not a tivarne result file"),
    "header only": (dict(result=HEAD + COLUMNS), [], "has no gene pairs"),
    "broken row": (dict(result=HEAD + COLUMNS + "1\t1.5\tx\t1\t2\t0.1\t0.2\t0.9\n"), [],
                   "Line 7 of the result file"),
    "gene beyond the file": (dict(result=result_text([(1, 1.0, -3.0, 2, 9, 0.1, 0.9, 1.0)])), [],
                             "Gene 9 of the result file is beyond the 5 genes"),
    "a gene paired with itself": (dict(result=result_text([(1, 1.0, -3.0, 2, 2, 0.1, 0.9, 1.0)])), [],
                                  'Line 7 of the result file "'),
    "more labels than values": (dict(labels="1 1 0 0 1 0 0 1\n"), [], "Line 1 of the expression file"),
    "fewer labels than values": (dict(labels="1 0 1 0\n"), [], "has 4 samples"),
    "labels not 0 or 1": (dict(labels="1 2 0 0 1 0 0\n"), [], "not one line of labels"),
    "text among values": (dict(expression="1 2 3 4 5 6 7\n1 2 x 4 5 6 7\n" * 3), [], "not a number"),
    "no result file": (dict(missing="-r"), [], 'Cannot read the result file "{missing}'),
    "no expression file": (dict(missing="-e"), [], 'Cannot read the expression file "{missing}'),
    "no label file": (dict(missing="-l"), [], 'Cannot read the label file "{missing}'),
    "svg": ({}, ["-o", "pairs.svg"], "must end in .png or .pdf"),
    "no suffix": ({}, ["-o", "pairs"], "must end in .png or .pdf"),
    "-k 0": ({}, ["-k", "0"], "at least 1"),
    "-k six": ({}, ["-k", "six"], "invalid int value"),
    "no -o": ({}, None, "required: -o"),
    "one class name": ({}, ["--class-names", "AML"], "expected 2 arguments"),
    "too few gene names": ({}, ["--genes", "three.txt"], "has 3 names, but the expression file has 5 genes"),
}


@pytest.mark.parametrize("case", sorted(REFUSED))
def test_refusals(files, tmp_path, capsys, monkeypatch, case):
    given, extra, message = REFUSED[case]
    result, expression, labels = files(**given)
    monkeypatch.chdir(tmp_path)
    (tmp_path / "three.txt").write_text("A\nB\nC\n")
    try:
        status = tivarne_plot.main(["-r", result, "-e", expression, "-l", labels]
                                   + (["-o", "pairs.png"] + extra if extra is not None else []))
    except SystemExit as e:  # the option parser ends the program
        status = e.code
    lines = capsys.readouterr().err.splitlines()
    assert status == 1 and lines[-1].startswith("Error: "), lines
    assert message.format(missing=tmp_path / "missing.txt") in lines[-1]
    assert len(lines) == 1 or lines[0].startswith("usage: ")
    assert not [name for name in os.listdir(tmp_path) if name.startswith("pairs")]


# ---- the command as installed ---------------------------------------------

@pytest.mark.parametrize("layout", ["source tree", "installed"])
def test_command_finds_its_module(files, tmp_path, layout):
    script = os.path.join(TOOLS, "tivarne-plot")
    if layout == "installed":
        for folder, name in (("bin", "tivarne-plot"), ("share/tivarne", "tivarne_plot.py")):
            os.makedirs(tmp_path / folder)
            shutil.copy(os.path.join(TOOLS, name), tmp_path / folder)
        script = str(tmp_path / "bin" / "tivarne-plot")
    result, expression, labels = files()
    run = [sys.executable, script, "-r", result, "-e", expression]
    drawn = subprocess.run(run + ["-l", labels, "-o", "out.png"], cwd=tmp_path, capture_output=True, text=True)
    assert (drawn.returncode, drawn.stderr) == (0, "") and (tmp_path / "out.png").stat().st_size > 0
    refused = subprocess.run(run + ["-o", "x.png"], cwd=tmp_path, capture_output=True, text=True)
    assert refused.returncode == 1 and "Error: " in refused.stderr
