"""tivarne-plot (tivarne.plot): what the figure holds, its checks of the files
against each other, the refusals, and the command as installed."""
import hashlib
import json
import os
import shutil
import subprocess
import sys

import numpy as np
import pytest

from conftest import COLUMNS, ROOT, result_head
from tivarne import plot
from tivarne._manifest import midcorrelations

HEAD = result_head(0.05, 10)

# Five genes over nine samples; samples 1, 2, 5 and 8 are class 1.
LABELS = "1 1 0 0 1 0 0 1 0\n"
CLASSES = np.array([1, 1, 0, 0, 1, 0, 0, 1, 0])
EXPRESSION = np.round(np.random.default_rng(5).normal(size=(5, 9)), 2)
EXPRESSION_TEXT = "".join(" ".join("%g" % v for v in gene) + "\n" for gene in EXPRESSION)
# rank, score, log10 p, gene X, gene Y (r1, r2 and c follow from the data)
PAIRS = [(1, 1.51, -6.45, 1, 4), (2, 1.45, -5.64, 2, 5), (3, 1.42, -5.72, 3, 5), (4, 1.10, float("-inf"), 1, 2),
         (5, 0.40, -2.00, 2, 3)]


def rows(pairs=PAIRS, data=EXPRESSION):
    out = []
    for rank, score, log10_p, x, y in pairs:
        r1, r2 = midcorrelations(data, CLASSES == 1, x - 1, y - 1)
        out.append((rank, score, log10_p, x, y, r1, r2, score / abs(r1 - r2)))
    return out


def result_text(pairs=PAIRS, data=EXPRESSION):
    return HEAD + COLUMNS + "".join("%d\t%.2f\t%.2f\t%d\t%d\t%.2f\t%.2f\t%.2f\n" % row for row in rows(pairs, data))


@pytest.fixture
def files(tmp_path):
    def write(result=None, labels=LABELS, expression=EXPRESSION_TEXT, missing=None):
        paths = []
        for option, name, text in (("-r", "result.tsv", result or result_text()), ("-e", "expr.txt", expression),
                                   ("-l", "labels.txt", labels)):
            paths.append(tmp_path / ("missing.txt" if option == missing else name))
            if option != missing:
                paths[-1].write_text(text)
        return [str(path) for path in paths]
    return write


# ---- the figure -----------------------------------------------------------

@pytest.mark.parametrize("k, panels", [(1, 1), (4, 4), (6, 5)])
def test_one_panel_per_drawn_pair_and_a_histogram_of_every_pair(files, k, panels):
    fig = plot.figure(*files(), k=k)
    scatter, hist = fig.axes[:-1], fig.axes[-1]
    assert len(scatter) == panels
    assert fig._suptitle.get_text() == "tivarne: top %d of 5 pairs (significant level = 0.050000)" % panels
    heights = [bar.get_height() for bar in hist.patches]
    edges = [bar.get_x() for bar in hist.patches] + [hist.patches[-1].get_x() + hist.patches[-1].get_width()]
    assert heights == list(np.histogram([row[1] for row in PAIRS], bins=edges)[0]) and sum(heights) == len(PAIRS)
    assert "5 pairs of the result" in hist.get_title()


def test_panels_show_each_pairs_numbers_values_by_class_and_names(files, tmp_path):
    fig = plot.figure(*files(), k=6)
    scatter = fig.axes[:-1]
    titles = [ax.get_title() for ax in scatter]
    for title, row in zip(titles, rows()):
        assert title.split("\n")[1] == "r1 = %.2f, r2 = %.2f, score = %.2f" % (row[5], row[6], row[1])
    assert titles[0].split("\n")[::2] == ["genes 1 & 4", "p = $10^{-6.45}$"]
    assert titles[3].endswith("\np < $10^{-300}$")  # a p-value that underflowed is never "p = 0"
    assert (scatter[0].get_xlabel(), scatter[0].get_ylabel()) == ("gene 1", "gene 4")
    for ax, (_, _, _, x, y) in zip(scatter, PAIRS):
        first, second = ax.collections
        assert (first.get_label(), second.get_label()) == ("class 1 (n = 4)", "class 2 (n = 5)")
        np.testing.assert_array_equal(first.get_offsets(), EXPRESSION[[x - 1, y - 1]][:, CLASSES == 1].T)
        np.testing.assert_array_equal(second.get_offsets(), EXPRESSION[[x - 1, y - 1]][:, CLASSES == 0].T)
        assert not np.array_equal(first.get_facecolor(), second.get_facecolor())
    assert scatter[0].get_legend() is not None
    # With gene names and class names.
    (tmp_path / "genes.txt").write_text("TP53\nMYC\nCD33\nKIT\nFLT3\n")
    fig = plot.figure(*files(), k=3, genes=str(tmp_path / "genes.txt"), class_names=("AML", "ALL"))
    assert fig.axes[1].get_title().startswith("MYC & FLT3\n")
    assert (fig.axes[0].get_xlabel(), fig.axes[0].get_ylabel()) == ("TP53", "KIT")
    legends = [ax.get_legend() for ax in fig.axes if ax.get_legend()]
    assert [[t.get_text() for t in legend.get_texts()] for legend in legends] == [["AML (n = 4)", "ALL (n = 5)"]]


def test_a_pairs_table_brings_its_names_and_a_manifest_its_class_names(files, tmp_path):
    result, expression, labels = files()
    table = "rank\tscore\tlog10_p\tgene_x\tgene_y\tname_x\tname_y\tr1\tr2\tc\tp_value\tq_value\n" + "".join(
        "%d\t%r\t%r\t%d\t%d\tG%d\tG%d\t%r\t%r\t%r\t%r\t0.01\n"
        % (row[:5] + (row[3], row[4]) + row[5:] + (10.0 ** row[2],)) for row in rows())
    (tmp_path / "pairs.tsv").write_text(table)
    texts = {"expression": EXPRESSION_TEXT, "labels": LABELS}
    (tmp_path / "manifest.json").write_text(json.dumps({
        "format": "tivarne-prep manifest 1", "genes": 5, "class1": ["AML-a", "AML-b"], "class2": "ALL",
        "files": {role: {"name": os.path.basename(path), "sha256": hashlib.sha256(texts[role].encode()).hexdigest()}
                  for role, path in (("expression", expression), ("labels", labels))}}))
    fig = plot.figure(str(tmp_path / "pairs.tsv"), expression, labels, k=4)
    assert [ax.get_title().split("\n")[0] for ax in fig.axes[:4]] == ["G1 & G4", "G2 & G5", "G3 & G5", "G1 & G2"]
    assert fig.axes[3].get_title().endswith("\np < $10^{-300}$")
    assert [t.get_text() for t in fig.axes[0].get_legend().get_texts()] == ["AML-a, AML-b (n = 4)", "ALL (n = 5)"]
    assert fig._suptitle.get_text() == "tivarne: top 4 of 5 pairs"


@pytest.mark.parametrize("name, magic", [("pairs.png", b"\x89PNG"), ("pairs.PDF", b"%PDF")])
def test_picture_format_follows_the_file_name(files, tmp_path, name, magic):
    result, expression, labels = files()
    assert plot.main(["-r", result, "-e", expression, "-l", labels, "-o", str(tmp_path / name), "-k", "2"]) == 0
    assert (tmp_path / name).read_bytes().startswith(magic)
    (tmp_path / "none.tsv").write_text(HEAD + "\n---No significant gene pairs---\n")
    assert plot.main(["-r", str(tmp_path / "none.tsv"), "-e", expression, "-l", labels, "-o",
                      str(tmp_path / "none.png"), "--allow-no-pairs"]) == 0
    assert (tmp_path / "none.png").read_bytes().startswith(b"\x89PNG")


# ---- refusals: "Error: ..." (after the usage line for a bad option), status 1,
# no picture -----------------------------------------------------------------

OTHER_DATA = np.round(np.random.default_rng(6).normal(size=(5, 9)), 2)
REFUSED = {  # the files' contents, the options after -r -e -l, the message
    "no pairs": (dict(result=HEAD + "\n---No significant gene pairs---\n"), [], "has no gene pairs"),
    "not a result": (dict(result="rank\tscore\n1\t2\n"), [], "neither a tivarne result file nor a pairs table"),
    "empty result": (dict(result="\n"), [], "neither a tivarne result file nor a pairs table"),
    "header only": (dict(result=HEAD + COLUMNS), [], "has no gene pairs"),
    "broken row": (dict(result=HEAD + COLUMNS + "1\t1.5\tx\t1\t2\t0.1\t0.2\t0.9\n"), [],
                   "result.tsv, line 7: not a row of 8 numbers"),
    "gene beyond the file": (dict(result=HEAD + COLUMNS + "1\t1.00\t-3.00\t2\t9\t0.10\t0.90\t1.00\n"), [],
                             "result.tsv: gene 9 is beyond the 5 genes of"),
    "a gene paired with itself": (dict(result=HEAD + COLUMNS + "1\t1.00\t-3.00\t2\t2\t0.10\t0.90\t1.00\n"), [],
                                  "result.tsv, line 7: gene numbers 2 and 2"),
    "a result of other data": (dict(result=result_text(data=OTHER_DATA)), [], "the result comes from other data"),
    "more labels than values": (dict(labels="1 1 0 0 1 0 0 1 0 1\n"), [], "expr.txt, line 1: 9 values; expected 10"),
    "fewer labels than values": (dict(labels="1 0 1 0\n"), [], "expr.txt, line 1: 9 values; expected 4"),
    "labels not 0 or 1": (dict(labels="1 2 0 0 1 0 0 1 0\n"), [], '"2" is not a label'),
    "a second line of labels": (dict(labels=LABELS + "1 0\n"), [], "labels.txt, line 2: a second line"),
    "text among values": (dict(expression=EXPRESSION_TEXT.replace(" ", " x", 1)), [], "is not a number"),
    "no result file": (dict(missing="-r"), [], 'Cannot read the result file "{missing}'),
    "no expression file": (dict(missing="-e"), [], 'Cannot read the expression file "{missing}'),
    "no label file": (dict(missing="-l"), [], 'Cannot read the label file "{missing}'),
    "svg": ({}, ["-o", "pairs.svg"], "must end in .png or .pdf"),
    "no suffix": ({}, ["-o", "pairs"], "must end in .png or .pdf"),
    "-k 0": ({}, ["-k", "0"], "at least 1"),
    "-k six": ({}, ["-k", "six"], "invalid int value"),
    "no -o": ({}, None, "required: -o"),
    "one class name": ({}, ["--class-names", "AML"], "expected 2 arguments"),
    "too few gene names": ({}, ["--genes", "three.txt"], "three.txt: 3 names; expected 5, one per gene of"),
}


@pytest.mark.parametrize("case", sorted(REFUSED))
def test_refusals(files, tmp_path, capsys, monkeypatch, case):
    given, extra, message = REFUSED[case]
    result, expression, labels = files(**given)
    monkeypatch.chdir(tmp_path)
    (tmp_path / "three.txt").write_text("A\nB\nC\n")
    try:
        status = plot.main(["-r", result, "-e", expression, "-l", labels]
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
    script = os.path.join(ROOT, "tools", "tivarne-plot")
    if layout == "installed":
        os.makedirs(tmp_path / "bin")
        shutil.copy(script, tmp_path / "bin")
        shutil.copytree(os.path.join(ROOT, "python", "tivarne"), tmp_path / "share" / "tivarne" / "python" / "tivarne",
                        ignore=shutil.ignore_patterns("*.so", "__pycache__"))
        shutil.copy(os.path.join(ROOT, "VERSION"), tmp_path / "share" / "tivarne")
        script = str(tmp_path / "bin" / "tivarne-plot")
    result, expression, labels = files()
    env = dict(os.environ, PYTHONPATH="")  # the module of the layout, not the one under test
    drawn = subprocess.run([sys.executable, script, "-r", result, "-e", expression, "-l", labels, "-o", "out.png"],
                           cwd=tmp_path, capture_output=True, text=True, env=env)
    assert (drawn.returncode, drawn.stderr) == (0, "") and (tmp_path / "out.png").stat().st_size > 0
