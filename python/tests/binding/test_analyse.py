"""tivarne.analyse() and read_result(): the command line's rows, the library's
numbers, names and layouts, the refusals, q-values, progress and help."""
import inspect
import os
import re
import subprocess

import numpy as np
import pandas as pd
import pytest

import tivarne
from conftest import CASES, GOLUB, ROOT, built, python, run_cli


def printed(pairs, x, y):
    """The rows as the result file prints them."""
    return ["%d\t%.2f\t%.2f\t%d\t%d\t%.2f\t%.2f\t%.2f" % row for row in
            zip(pairs["rank"], pairs.score, pairs.log10_p, pairs[x], pairs[y], pairs.r1, pairs.r2, pairs.c)]


# The bundled example through the command line, and end-to-end cases with their
# expected result files: p-values 1 and 0, weights that are not a number,
# constant genes, a level in log form, no pairs at all, a class of two samples
# (min_class_size=0, as the command line runs it).
@pytest.mark.parametrize("case", ["golub", "run_pvalue_special_cases", "run_level_zero_infinite_statistic",
                                  "run_constant_gene_nan_scores", "run_level_5e-7_log_form",
                                  "run_one_gene_no_pairs", "run_class_of_two_note"])
def test_rows_are_the_command_lines(case, tmp_path):
    if case == "golub":
        folder, answers, result = GOLUB, "0.01 20\n", tmp_path / "result.tsv"
        run_cli(os.path.join(GOLUB, "expr.txt"), os.path.join(GOLUB, "labels.txt"), answers, result)
    else:
        folder = os.path.join(CASES, case)
        answers, result = open(os.path.join(folder, "stdin")).read(), os.path.join(folder, "expected.result")
    level, max_pairs = answers.split()
    pairs = tivarne.analyse(np.loadtxt(os.path.join(folder, "expr.txt"), ndmin=2),
                            np.loadtxt(os.path.join(folder, "labels.txt"), ndmin=1),
                            level=float(level), max_pairs=int(max_pairs), min_class_size=0)
    rows = [line.replace("-nan", "nan") for line in open(result).read().splitlines()[6:]
            if line and not line.startswith("---")]
    assert printed(pairs, "index_x", "index_y") == rows
    assert list(pairs.gene_x) == list(pairs.index_x)
    read = tivarne.read_result(result)
    assert list(read.columns) == ["rank", "gene_x", "gene_y", "score", "r1", "r2", "c", "log10_p"]
    assert printed(read, "gene_x", "gene_y") == rows
    assert (read.attrs["level"], read.attrs["max_pairs"]) == (pytest.approx(float(level), rel=1e-6), int(max_pairs))


# The bundled example, and its first 800 genes with every p-value adjusted:
# q-values up to 0.1.
@pytest.mark.parametrize("genes, answers, adjust, order", [(3051, (0.01, 50), None, "score"),
                                                           (800, (0.2, 2000), "BH", "p_value")])
def test_numbers_are_the_librarys_to_the_last_bit(golub, tmp_path, genes, answers, adjust, order):
    x, labels = golub[0][:genes], golub[1]
    np.savetxt(tmp_path / "expr.txt", x, fmt="%.17g")
    args = [str(tmp_path / "expr.txt"), os.path.join(GOLUB, "labels.txt"), *map(str, answers), adjust or "none", order]
    out = subprocess.run([built("TIVARNE_LIBRARY_ROWS", "python", "python_library_rows")] + args,
                         capture_output=True, text=True, check=True).stdout.splitlines()
    rows = np.array([[float(v) for v in line.split()] for line in out[1:]]).reshape(-1, 9)
    pairs = tivarne.analyse(x, labels, level=answers[0], max_pairs=answers[1], adjust=adjust, order=order)
    got = pairs[["index_x", "index_y", "score", "r1", "r2", "c", "p_value", "log10_p"]].to_numpy(float)
    got[:, :2] -= 1
    np.testing.assert_array_equal(got, rows[:, :8])
    assert ("q_value" in pairs) == (adjust == "BH")
    np.testing.assert_array_equal(pairs.get("q_value", np.full(len(pairs), np.nan)), rows[:, 8])
    assert [pairs.attrs[k] for k in ("without_p_value", "tested")] == [int(v) for v in out[0].split()]


def test_gene_and_class_names_are_carried_through(golub):
    x, labels = golub
    named = tivarne.analyse(_frame(x), pd.Categorical(np.where(labels == 1, "AML", "ALL")), class1="AML")
    plain = tivarne.analyse(x, labels)
    assert [list(named.gene_x), list(named.gene_y)] == [["g%d" % g for g in plain[c]] for c in ("index_x", "index_y")]
    pd.testing.assert_frame_equal(named.drop(columns=["gene_x", "gene_y"]), plain.drop(columns=["gene_x", "gene_y"]))
    assert [(named.attrs[k], plain.attrs[k]) for k in ("class1", "class2", "n1", "n2", "left_out")] == [
        ("AML", 1), ("ALL", 0), (11, 11), (27, 27), (0, 0)]
    assert named.attrs["version"] == tivarne.__version__


# The bundled example as a study of five subtypes over named samples in another
# order than the table's: AML-a/AML-b (11), B1/B2 (19), T1 (8).
SUBTYPES = ["AML-a", "AML-b", "B1", "B2", "T1"]


def _study(golub, genes=300):
    x, labels = golub[0][:genes], golub[1]
    frame = _frame(x)
    subtype = np.where(labels == 1, np.where(np.arange(38) % 2, "AML-a", "AML-b"),
                       np.array(["B1", "B2", "T1"])[np.arange(38) % 3])
    sheet = pd.DataFrame({"subtype": subtype, "lineage": [s[0] if s[0] in "BT" else "M" for s in subtype]},
                         index=frame.columns).iloc[np.random.default_rng(7).permutation(38)]
    return frame, sheet


def test_labels_and_samples_with_names_are_matched_by_name(golub):
    frame, sheet = _study(golub)
    aligned = sheet.subtype.reindex(frame.columns)
    want = tivarne.analyse(frame, aligned.to_numpy(), class1="AML*", class2=["B1", "B2", "T1"], level=0.05)
    assert len(want) == 20
    by_name = tivarne.analyse(frame, sheet.subtype, class1="AML*", class2=["B1", "B2", "T1"], level=0.05)
    pd.testing.assert_frame_equal(by_name, want, check_exact=True)
    # The same Series taken by position is another study.
    by_place = tivarne.analyse(frame, sheet.subtype.to_numpy(), class1="AML*", class2=["B1", "B2", "T1"], level=0.05)
    assert not by_place[["index_x", "index_y"]].equals(want[["index_x", "index_y"]])
    # A filter by name, by mask aligned by name, and by mask in column order.
    keep = (sheet.lineage != "T")
    masks = [keep, keep.reindex(frame.columns).to_numpy(), list(keep.index[keep])]
    got = [tivarne.analyse(frame, sheet.subtype, class1="AML*", class2="B*", samples=m, level=0.05) for m in masks]
    merged = tivarne.analyse(frame, sheet.subtype, class1=["AML-a", "AML-b"], class2=["B1", "B2"], level=0.05)
    for frame_ in got:
        pd.testing.assert_frame_equal(frame_, merged, check_exact=True)
    assert {k: merged.attrs[k] for k in ("class1", "class2", "n1", "n2", "left_out", "samples")} == {
        "class1": ["AML-a", "AML-b"], "class2": ["B1", "B2"], "n1": 11, "n2": 18, "left_out": 9, "samples": 29}
    # Left-out samples do not count, not even a value that is not finite, nor
    # a missing label when both classes are named.
    spoiled = frame.copy()
    spoiled.iloc[0, np.flatnonzero(aligned == "T1")[0]] = np.nan
    for data, given in ((spoiled, sheet.subtype), (frame, sheet.subtype.where(sheet.subtype != "T1"))):
        pd.testing.assert_frame_equal(tivarne.analyse(data, given, class1="AML*", class2="B*", level=0.05), merged,
                                      check_exact=True)


def test_classes_of_fewer_than_3_samples_are_refused_and_fewer_than_10_warned(golub):
    x, labels = golub[0][:50], golub[1].copy()
    two = np.where(labels == 1)[0][2:]
    labels[two] = 2  # class 1 keeps 2 samples
    with pytest.raises(ValueError, match=r"^class 1 \(1\) has 2 samples; at least 3 are needed"):
        tivarne.analyse(x, labels, class1=1, class2=0)
    labels[two[:7]] = 1  # 9 samples
    with pytest.warns(tivarne.SmallClassWarning, match=r"class 1 \(1\) has 9 samples, fewer than 10"):
        tivarne.analyse(x, labels, class1=1, class2=0)
    assert len(tivarne.analyse(x, labels == 1, min_class_size=0))


# Every layout and label form of one study gives the same frame; float64 in any
# layout of whole-element strides is handed to the library without a copy.
SAME_STUDY = [  # (name, expression(x), labels(l), keywords, used without a copy)
    ("C order", lambda x: x, lambda l: l, {}, True),
    ("Fortran order", np.asfortranarray, lambda l: l, {}, True),
    ("padded rows", lambda x: np.pad(x, ((0, 0), (0, 5)))[:, :x.shape[1]], lambda l: l, {}, True),
    ("every other column", lambda x: np.repeat(x, 2, axis=1)[:, ::2], lambda l: l, {}, True),
    ("DataFrame", pd.DataFrame, lambda l: l, {}, True),
    ("nested lists", lambda x: x.tolist(), list, {}, False),
    ("booleans", lambda x: x, lambda l: l == 1, {}, False),
    ("float labels", lambda x: x, lambda l: l.astype(float), {}, False),
    ("names", lambda x: x, lambda l: pd.Series(np.where(l == 1, "t", "n")), {"class1": "t"}, False),
    ("one thread", lambda x: x, lambda l: l, {"threads": 1}, False),
    ("straightforward engine", lambda x: x, lambda l: l, {"engine": "straightforward"}, False),
]


@pytest.mark.parametrize("name, expression, labels, keywords, shared", SAME_STUDY, ids=[c[0] for c in SAME_STUDY])
def test_views_copies_and_label_forms_give_the_same_result(golub, monkeypatch, name, expression, labels, keywords,
                                                           shared):
    x, l = golub[0][:400].copy(), golub[1]
    want = tivarne.analyse(x, l, level=0.05, max_pairs=100)
    given = expression(x)
    seen = []
    core = tivarne._analysis._core.analyse
    monkeypatch.setattr(tivarne._analysis._core, "analyse", lambda values, *a, **k: seen.append(values) or core(values, *a, **k))
    got = tivarne.analyse(given, labels(l), level=0.05, max_pairs=100, **keywords)
    pd.testing.assert_frame_equal(got.drop(columns=["gene_x", "gene_y"]), want.drop(columns=["gene_x", "gene_y"]),
                                  check_exact=True)
    if shared:
        assert np.shares_memory(seen[0], x if name == "DataFrame" else given)


def _frame(x):
    return pd.DataFrame(x, index=["g%d" % (g + 1) for g in range(len(x))],
                        columns=["s%d" % (s + 1) for s in range(x.shape[1])])


def _with(x, g, s, value):
    x = x.copy()
    x[g, s] = value
    return x


X = np.arange(36.0).reshape(4, 9) % 5
L = [1, 1, 1, 0, 0, 0, 1, 0, 1]
NAMED = pd.Series(list("abbaabaab"), index=["s%d" % (s + 1) for s in range(9)])
BAD = [  # (exception, message, expression, labels, keywords)
    (ValueError, r"gene 'g3' \(row 3\) in sample 's5' \(column 5\) is not a finite number: nan",
     _frame(_with(X, 2, 4, np.nan)), L, {}),
    (ValueError, r"the value of gene 2 in sample 1 is not a finite number: -inf", _with(X, 1, 0, -np.inf), L, {}),
    (ValueError, "5 labels for 9 samples", X, L[:5], {}),
    (ValueError, r"all samples are of one class \(1 \(9\)\)", X, [1] * 9, {}),
    (ValueError, r"more than two classes: name class 2 with class2 .* 1 \(3\), 0 \(4\), 2 \(2\)", X,
     [1, 0, 2, 1, 0, 0, 1, 0, 2], {"class1": 1}),
    (ValueError, r"class1='AML' names no class of the samples; the classes and their sizes: 'a' \(5\), 'b' \(4\)",
     X, list("abbaabaab"), {"class1": "AML"}),
    (ValueError, r"class2=\['b', 'c\*'\]|class2='c\*' names no class", X, list("abbaabaab"),
     {"class1": "a", "class2": ["b", "c*"]}),
    (ValueError, "class 'a' is in both class1 and class2", X, list("abbaabaab"), {"class1": "a", "class2": "?"}),
    (ValueError, r"name class 1 with class1; the classes and their sizes: 'a' \(5\), 'b' \(4\)", X,
     list("abbaabaab"), {}),
    (ValueError, r"name class 1 with class1", X, [2, 1, 2, 1, 2, 1, 2, 1, 1], {}),
    (ValueError, r"label of sample 's2' \(column 2\) is missing: name both classes", _frame(X),
     ["a", None] + list("baabaab"), {"class1": "a"}),
    (ValueError, r"sample 's9' of the expression has no entry in the labels", _frame(X), NAMED[:8], {"class1": "a"}),
    (ValueError, r"the labels name sample 'x' \(and 1 more\), which is not a column", _frame(X),
     pd.concat([NAMED, pd.Series(["a", "b"], index=["x", "y"])]), {"class1": "a"}),
    (ValueError, r"sample '007' \(and 8 more\) of the expression has no entry in the labels; the names differ in "
     r"leading zeros \(\"007\" in the expression for \"7\" in the labels",
     pd.DataFrame(X, columns=["%03d" % (s + 7) for s in range(9)]), pd.Series(L, index=[str(s + 7) for s in range(9)]),
     {}),
    (ValueError, r"sample 'g1' \(and 3 more\) .*; the expression looks transposed: 9 of these names are its gene "
     r"IDs \(s1, s2, s3, \.\.\.\)", _frame(X).T, NAMED, {"class1": "a"}),
    (ValueError, r"the labels are indexed by sample names but the expression's columns have none", X, NAMED,
     {"class1": "a"}),
    (ValueError, r"samples= names sample 'S1', which is not a column", _frame(X), NAMED, {"class1": "a",
                                                                                          "samples": ["S1"]}),
    (TypeError, "dtype <U1", np.array([list("abcdefghi")] * 3), L, {}),
    (TypeError, "dtype bool", X > 2, L, {}),
    (TypeError, "column 's2' holds object values", _frame(X).astype({"s2": str}), L, {}),
    (ValueError, "must be 2-D", X[0], L, {}),
    (ValueError, r"too many genes: 46342 \(at most 46341\)", np.zeros((46342, 9)), L, {}),
    (TypeError, "max_pairs must be an integer", X, L, {"max_pairs": 2.5}),
    (ValueError, r"max_pairs must fit a 32-bit integer \(-2\*\*31 to 2\*\*31 - 1\), got 2147483648", X, L,
     {"max_pairs": 2**31}),
    (ValueError, "max_pairs must fit a 32-bit integer .* got -2147483649", X, L, {"max_pairs": -2**31 - 1}),
    (ValueError, "adjust must be one of None, 'BH', got 'bonferroni'", X, L, {"adjust": "bonferroni"}),
]


@pytest.mark.parametrize("error, message, expression, labels, keywords", BAD)
def test_bad_input_raises_with_its_reason(error, message, expression, labels, keywords):
    with pytest.raises(error, match=message):
        tivarne.analyse(expression, labels, **keywords)


def test_the_librarys_own_checks_raise_value_error_and_32_bit_limits_hold():
    with pytest.raises(ValueError, match=r"^Invalid data in expressions \(gene 2, sample 2: not a finite number\)"):
        tivarne._core.analyse(_with(X, 1, 1, np.inf), np.array(L, np.int32), 0.05, 20, 0, "none", "score", "fast", 3,
                              None)
    assert len(tivarne.analyse(X, L, level=1, max_pairs=2**31 - 1)) == 6 - 1  # one pair of X has no p-value


# Equal scores (a duplicated gene) away from the selection: no table of all
# pairs, with "BH" neither.
def test_the_table_of_all_pairs_only_when_the_selection_needs_it():
    x = np.random.default_rng(3).normal(size=(3000, 20))
    x[-1] = x[0]
    labels = np.repeat([1, 0], 10)
    assert tivarne.analyse(x, labels, level=1e-300, max_pairs=20).attrs["used_pair_table"] is False
    assert tivarne.analyse(x[:100], labels, level=0.05, adjust="BH").attrs["used_pair_table"] is False


def test_progress_bars_on_standard_error(golub, capsys):
    pd.testing.assert_frame_equal(tivarne.analyse(*golub, progress=True), tivarne.analyse(*golub))
    err = capsys.readouterr().err
    for phase in ("per-gene statistics: 100%", "scoring pairs: 100%", "selecting pairs: 100%"):
        assert phase in err


def test_help_explains_every_argument_and_column(golub):
    doc = tivarne.analyse.__doc__
    columns = tivarne.analyse(golub[0][:20], golub[1], level=1, adjust="BH").columns
    for name in list(inspect.signature(tivarne.analyse).parameters) + list(columns):
        assert re.search(r"^ +%s\b" % name, doc, re.M), name
    # analyse() brings none of the companions in.
    child = python("import sys, tivarne; tivarne.analyse; print(sorted(m for m in sys.modules if m.startswith("
                   "'tivarne.') and not m.startswith('tivarne._')))")
    assert child.communicate(timeout=300)[0] == "[]\n"


def test_documented_python_lines_run(tmp_path):
    """The Python of the front page and of doc/python.md, on a clone where the quick start has
    run, prints what the pages show below each example."""
    front = open(os.path.join(ROOT, "README.md")).read().split("\n## Python\n")[1].split("\n## ")[0]
    manual = open(os.path.join(ROOT, "doc", "python.md")).read()
    examples = re.findall(r"```python\n([^`]*)```\n\n```\n([^`]*)```", front + manual, re.S)
    assert len(examples) >= 3
    os.symlink(os.path.join(ROOT, "examples"), tmp_path / "examples")
    run_cli(os.path.join(GOLUB, "expr.txt"), os.path.join(GOLUB, "labels.txt"), "0.01\n20\n",
            tmp_path / "golub_result.tsv")
    child = python("\n".join(code for code, _ in examples), cwd=tmp_path)
    out, err = child.communicate(timeout=120)
    assert child.returncode == 0, err
    for _, shown in examples:
        assert shown in out
