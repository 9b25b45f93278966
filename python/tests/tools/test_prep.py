"""tivarne-prep: every input form gives the bundled example's files and result,
the summary counts, the refusals, and --check against the command line."""
import gzip
import os
import shutil
import subprocess

import numpy as np
import pytest

import pandas as pd

import tivarne
from conftest import GOLUB, ROOT, built, error_of, needs_core, run_cli
from tivarne import prep

GOLUB_LINES = open(os.path.join(GOLUB, "expr.txt")).read().split("\n")[:-1]
GOLUB_LABELS = open(os.path.join(GOLUB, "labels.txt")).read().split()
SAMPLES = ["S%d" % (k + 1) for k in range(len(GOLUB_LABELS))]
DISEASE = ["AML" if label == "1" else "ALL" for label in GOLUB_LABELS]
IDS = ["g%d" % (k + 1) for k in range(len(GOLUB_LINES))]


def table(sep, header, rows, quote=""):
    return "".join(sep.join(quote + c + quote if k == 0 else c for k, c in enumerate(row)) + "\n"
                   for row in [header] + rows)


def golub_as(form, folder):
    """The bundled example written as `form`; returns tivarne-prep's arguments."""
    rows = [[i] + line.split() for i, line in zip(IDS, GOLUB_LINES)]
    if form == "tivarne files":
        return [os.path.join(GOLUB, "expr.txt"), "--labels", os.path.join(GOLUB, "labels.txt")]
    path = target = str(folder / "table")
    sheet = folder / "sheet.txt"
    # The sheet: another order, a sample of another class that is not in the table, CR LF.
    sheet.write_text(table("\t", ["disease", "sample"], [[d, s] for d, s in zip(DISEASE, SAMPLES)][::-1]
                           + [["CML", "S99"]]).replace("\n", "\r\n"))
    by_sheet = ["--samples", str(sheet), "--sample-column", "sample", "--class-column", "disease", path]
    if form == "comma, annotation column":
        text = table(",", ["id", "symbol"] + SAMPLES, [r[:1] + ['"name, %s"' % r[0]] + r[1:] for r in rows])
        args = by_sheet + ["--skip-column", "symbol"]
    elif form == "R write.table: blanks, quotes, class row":
        text = table(" ", ['"%s"' % s for s in SAMPLES], [["class"] + DISEASE] + rows, '"')
        args = [path, "--class-row", "class"]
    elif form == "semicolons, decimal commas, gzip":
        text = table(";", ["gene"] + SAMPLES, [[v.replace(".", ",") for v in r] for r in rows])
        target = path + ".gz"
        args = by_sheet[:-1] + [target]
    else:
        gsm = ["GSM%d" % k for k in range(len(SAMPLES))]
        text = table("\t", ["!Sample_geo_accession"] + gsm, [
            ["!Sample_characteristics_ch1"] + ["tissue: bone marrow"] * len(gsm),
            ["!Sample_characteristics_ch1"] + ["disease: " + d for d in DISEASE],
            ["!series_matrix_table_begin"], ["ID_REF"] + gsm] + rows + [["!series_matrix_table_end"]], '"')
        text = text.replace('"!', "!").replace('_begin"', "_begin").replace('_end"', "_end")
        args = [path, "--geo-class", "disease"]
    with (gzip.open if target.endswith(".gz") else open)(target, "wt") as f:
        f.write(text)
    return args + ["--class1", "AML"]


@pytest.fixture(scope="module")
def bundled_result(tmp_path_factory):
    return run_cli(os.path.join(GOLUB, "expr.txt"), os.path.join(GOLUB, "labels.txt"), "0.01 20\n",
                   tmp_path_factory.mktemp("golub") / "result.tsv")


@pytest.mark.parametrize("form", ["tivarne files", "comma, annotation column",
                                  "R write.table: blanks, quotes, class row",
                                  "semicolons, decimal commas, gzip", "GEO series matrix"])
def test_every_form_of_the_example_gives_its_files_and_result(form, tmp_path, capsys, bundled_result):
    out, args = tmp_path / "out", golub_as(form, tmp_path)
    assert prep.main(args + ["-o", str(out)]) == 0
    summary = capsys.readouterr().out
    assert "samples: 38 kept: 11 in class 1 (%s), 27 in class 2 (%s)" % (
        ("1", "0") if form == "tivarne files" else ("AML", "ALL")) in summary
    assert "genes: 3051 kept\n" in summary
    assert ("note: 1 sample of the sheet not in the table (S99)" in summary) == ("--samples" in args)
    np.testing.assert_array_equal(np.loadtxt(out / "expr.txt"), np.loadtxt(os.path.join(GOLUB, "expr.txt")))
    assert (out / "labels.txt").read_text() == open(os.path.join(GOLUB, "labels.txt")).read()
    names = (out / "genes.txt").read_text().split("\n")[:-1]
    assert names == ([str(k + 1) for k in range(3051)] if form == "tivarne files" else IDS)
    assert run_cli(out / "expr.txt", out / "labels.txt", "0.01 20\n", tmp_path / "r.tsv") == bundled_result


# Eleven samples: S6 has no class, S8 is of a third class, S9 is not in the
# sheet (so the missing value of g9 there does not count), S10 of the sheet is
# not in the table. g2-g4 miss a value, g5 is infinite, g6 is constant in class
# A, g1 appears twice.
TABLE = """\
# exported from a spreadsheet
id\tdesc\tS1\tS2\tS3\tS4\tS5\tS6\tS7\tS8\tS9\tS11\tS12
g1\tx\t1.0\t2.5\t3.1\t4.2\t0.5\t1\t2.2\t7\t1\t3.3\t1.7
g2\tx\t2.0\tNA\t1.0\t0.5\t3.5\t1\t1.0\t7\t1\t2.5\t0.4
g3\tx\t0.3\t0.1\t\t0.9\t0.4\t1\t0.2\t7\t1\t0.8\t0.6
g4\tx\t5.0\t4.0\t3.0\t2.0\tnull\t1\t1.5\t7\t1\t2.5\t3.5
g5\tx\t1.0\t2.0\t3.0\tInf\t2.0\t1\t1.0\t7\t1\t1.5\t2.5
g6\tx\t4.0\t4.0\t4.0\t4.0\t1.0\t1\t2.0\t7\t1\t3.0\t4.0
g1\tx\t9.0\t8.0\t7.5\t6.0\t5.5\t1\t5.0\t7\t1\t4.5\t4.0
g8\tx\t2.1\t2.9\t2.2\t2.8\t2.6\t1\t2.4\t7\t1\t2.3\t2.7

g9\tx\t1.5\t1.4\t1.2\t1.1\t1.9\t1\t1.8\t7\tNA\t1.3\t1.6
g10\tx\t0.1\t0.4\t0.3\t0.2\t0.6\t1\t0.5\t7\t1\t0.7\t0.8
"""
SHEET = "sample,group\nS1,A\nS2,A\nS3,A\nS4,A\nS5,B\nS6,NA\nS7,B\nS8,C\nS10,C\nS11,B\nS12,B\n"
HEAD = ["read: {t} (tab-separated table): 10 genes x 11 samples",
        "samples: 8 kept: 4 in class 1 (A), 4 in class 2 (B); 3 left out: 1 without a class (S6); "
        "1 of class \"C\" (S8); 1 not in the sample sheet (S9)",
        "note: 1 sample of the sheet not in the table (S10)"]
FLAT = ("note: 1 gene without spread within a class (median absolute deviation 0, e.g. constant): "
        "their pairs get no p-value; --drop-flat drops them (g6)")
TWICE = "note: 1 gene ID more than once (g1); genes.txt keeps every line"


@pytest.mark.parametrize("options, lines, genes", [
    ([], ["genes: 6 kept, 4 dropped: 1 gene with infinite values; 3 genes with missing values",
          FLAT, TWICE], "g1 g6 g1 g8 g9 g10"),
    (["--missing", "class-median"],
     ["genes: 9 kept, 1 dropped: 1 gene with infinite values",
      "note: 3 missing values filled with the median of its gene in its class", FLAT, TWICE],
     "g1 g2 g3 g4 g6 g1 g8 g9 g10"),
    (["--drop-flat"], ["genes: 5 kept, 5 dropped: 1 gene with infinite values; 3 genes with missing "
                       "values; 1 gene without spread within a class", TWICE], "g1 g1 g8 g9 g10"),
    (["--top-variable", "2"], ["genes: 2 kept, 8 dropped: 1 gene with infinite values; 3 genes with "
                               "missing values; 4 genes less variable (--top-variable 2)", TWICE],
     "g1 g1"),
])
def test_summary_counts_what_is_kept_and_dropped(tmp_path, capsys, options, lines, genes):
    (tmp_path / "t.tsv").write_text(TABLE)
    (tmp_path / "s.csv").write_text(SHEET)
    args = [str(tmp_path / "t.tsv"), "--samples", str(tmp_path / "s.csv"), "--class-column", "group",
            "--skip-column", "desc", "--class1", "A", "--class2", "B", "-o", str(tmp_path)]
    assert prep.main(args + options) == 0
    expected = [line.format(t=tmp_path / "t.tsv") for line in HEAD] + lines
    out, err = capsys.readouterr()
    assert out.split("\n")[:-2] == expected
    assert err == "".join('Warning: class %d ("%s") has 4 samples, fewer than 10: the p-values rest on large-sample '
                          "theory and are only approximate.\n" % c for c in ((1, "A"), (2, "B")))
    assert (tmp_path / "genes.txt").read_text().split() == genes.split()
    assert (tmp_path / "labels.txt").read_text() == "1 1 1 1 0 0 0 0\n"
    assert (tmp_path / "expr.txt").read_text().split("\n")[0] == "1.0 2.5 3.1 4.2 0.5 2.2 3.3 1.7"


def test_geo_example_with_a_characteristic_or_a_whole_field(tmp_path, capsys):
    geo = os.path.join(ROOT, "examples", "geo", "GSE000000_series_matrix.txt")
    assert prep.main([geo, "--geo-class", "Disease State", "--class1", "AML", "--class2", "healthy",
                      "-o", str(tmp_path)]) == 0
    out = capsys.readouterr().out
    assert 'samples: 20 kept: 12 in class 1 (AML), 8 in class 2 (healthy); 14 left out: 14 of class "ALL"' in out
    assert "genes: 40 kept\n" in out  # the missing value is in a sample of class ALL
    assert prep.main([geo, "--geo-class", "!Sample_source_name_ch1", "--class1", "bone marrow, AML",
                      "--class2", "peripheral blood, AML", "-o", str(tmp_path)]) == 0
    assert "samples: 12 kept: 8 in class 1 (bone marrow, AML), 4 in class 2" in capsys.readouterr().out


def test_merged_classes_patterns_and_where_give_the_pairs_of_the_python_route(tmp_path, capsys):
    # The example's first 300 genes over five subtypes, a sheet in another order.
    x = np.loadtxt(os.path.join(GOLUB, "expr.txt"))[:300]
    aml = np.array(GOLUB_LABELS) == "1"
    subtype = np.where(aml, np.where(np.arange(38) % 2, "AML-a", "AML-b"),
                       np.array(["B1", "B2", "T1"])[np.arange(38) % 3])
    sheet = pd.DataFrame({"sample": SAMPLES, "subtype": subtype, "batch": np.arange(38) % 4 // 3 + 1})
    sheet.iloc[::-1].to_csv(tmp_path / "sheet.csv", index=False)
    pd.DataFrame(x, index=IDS[:300], columns=SAMPLES).to_csv(tmp_path / "table.tsv", sep="\t")
    table, out = str(tmp_path / "table.tsv"), tmp_path / "out"
    assert prep.main([table, "--samples", str(tmp_path / "sheet.csv"), "--class-column", "subtype", "--class1", "AML*",
                      "--class2", "B1", "--class2", "B2", "--where", "batch=1", "-o", str(out)]) == 0
    line = capsys.readouterr().out.split("\n")[1]
    assert line == ("samples: 22 kept: 8 in class 1 (AML-b, AML-a), 14 in class 2 (B1, B2); 16 left out: "
                    "9 not --where batch=1 (S4, S8, S12, S16, S20, ...); 7 of class \"T1\" (S3, S6, S9, S15, S18, ...)")
    needs_core()
    by_files = tivarne.analyse(np.loadtxt(out / "expr.txt"), np.loadtxt(out / "labels.txt"), level=0.05)
    t = tivarne.read_table(table, sheet=tmp_path / "sheet.csv", class_column="subtype")
    by_table = tivarne.analyse(t.expression, t.classes, class1="AML*", class2=["B1", "B2"], level=0.05,
                               samples=t.samples.batch == "1")
    assert len(by_files) == 20 and by_table.attrs["left_out"] == 16
    assert list(by_table.gene_x) == [IDS[k - 1] for k in by_files.index_x]
    np.testing.assert_array_equal(by_table[["index_x", "index_y", "score", "r1", "r2", "p_value"]],
                                  by_files[["index_x", "index_y", "score", "r1", "r2", "p_value"]])


SHEET_OK = "sample\tc\tlineage\nS1\tA\tB\nS2\tB\tB\nS3\tA\tT\nS4\tB\tT\nS5\tA\tB\nS6\tB\tB\n"
TAB4 = "id\tS1\tS2\tS3\tS4\tS5\tS6\ng1\t1\t2\t3\t4\t5\t1\ng2\t4\t3\t1\t1\t2\t6\n"
# Three samples of class B whose names lost their leading zeros in the sheet.
ZEROS = ("id\tA1\tA2\tA3\t007\t012\t013\tB1\tB2\tB3\ng1\t1\t2\t3\t4\t5\t6\t7\t8\t9\ng2\t3\t1\t2\t6\t5\t4\t9\t7\t8\n",
         "sample\tc\nA1\tA\nA2\tA\nA3\tA\n7\tB\n12\tB\n13\tB\nB1\tB\nB2\tB\nB3\tB\n")
# (table, sheet, extra options, message)
REFUSED = {
    "lost leading zeros": ZEROS + ([], 's.txt: 3 samples of class 1 or 2 are not columns of t.txt (7, 12, 13); the '
                                       'names differ in leading zeros ("007" in the table for "7" in the sheet, '
                                       '"012" in the table for "12" in the sheet (3 such names)): a spreadsheet '
                                       'turned them into numbers'),
    "R's X prefix": (TAB4.replace("\tS", "\tX"), SHEET_OK.replace("S", ""), [],
                     "s.txt: none of its 6 samples is a column of t.txt (1, 2, 3, ...); in the table the names are as "
                     "R's check.names makes them (\"X1\" in the table for \"1\" in the sheet, \"X2\" in the table "
                     "for \"2\" in the sheet (6 such names)): read the table in R with check.names = FALSE"),
    "transposed": ("id\tg1\tg2\tg3\n" + "".join("S%d\t%d\t2\t%d\n" % (k, k, 7 - k) for k in range(1, 7)), SHEET_OK,
                   [], "s.txt: none of its 6 samples is a column of t.txt (S1, S2, S3, ...); the table looks "
                   "transposed: 6 of these names are its gene IDs (S1, S2, S3, ...); expected one row per "
                   "gene and one column per sample"),
    "a class missing from the table": (TAB4, SHEET_OK.replace("S6\tB", "S7\tB"), [],
                                       "s.txt: 1 sample of class 1 or 2 is not a column of t.txt (S7); give "
                                       "--allow-missing-samples to go on without them."),
    "not a number": (TAB4 + "g3\t1\t2\tx7\t4\t5\t6\n", SHEET_OK, [],
                     't.txt, line 4, column 4: "x7" is not a number (sample column "S3")'),
    "ragged line": (TAB4 + "g3\t1\t2\t3\n", SHEET_OK, [], "t.txt, line 4: 4 fields; expected 7"),
    "sample twice": (TAB4.replace("S3", "S1"), SHEET_OK, [], 'the sample name "S1" heads columns 2 and 4'),
    "no such ID column": (TAB4, SHEET_OK, ["--id-column", "gene"], 'no column "gene" (--id-column)'),
    "class 1 not named": (TAB4, SHEET_OK, ["--class1", None], 's.txt: name class 1 with --class1; the classes '
                          'and their sizes: "A" (3), "B" (3).'),
    "class 1 absent": (TAB4, SHEET_OK, ["--class1", "C"],
                       's.txt: --class1 "C" names no class of the samples; the classes and their sizes: "A" (3), '
                       '"B" (3).'),
    "three classes": (TAB4, SHEET_OK.replace("S4\tB", "S4\tC"), [], 's.txt: more than two classes: name class 2 '
                      'with --class2 (values, a list or a pattern); the classes and their sizes: "A" (3), "B" (2), '
                      '"C" (1).'),
    "one class": (TAB4, SHEET_OK.replace("\tB\t", "\tA\t"), [], 'every sample with a class is in class 1'),
    "class in both": (TAB4, SHEET_OK, ["--class2", "?"], 's.txt: class "A" is in both --class1 and --class2'),
    "two samples in class 2": (TAB4, SHEET_OK.replace("S4\tB", "S4\tC"), ["--class2", "B"],
                               's.txt: class 2 ("B") has 2 samples; at least 3 are needed: with fewer, the '
                               'correlations and their p-values carry no information.'),
    "one sample in class 1 after --where": (TAB4, SHEET_OK, ["--where", "lineage=T"],
                                            'class 1 ("A") has 1 sample; at least 3'),
    "--where: no column": (TAB4, SHEET_OK, ["--where", "batch=1"], 's.txt: no column "batch" (--where); columns: '
                           'c, lineage.'),
    "--where: no such value": (TAB4, SHEET_OK, ["--where", "lineage=M"],
                               's.txt: --where lineage="M" names no value of the samples; the values and their '
                               'sizes: "B" (4), "T" (2).'),
    "--where: no sheet": (TAB4.replace("g2", "kind\tA\tB\tA\tB\tA\tB\ng2"), None,
                          ["--class-row", "kind", "--where", "x=1"], "columns: none (--where needs a sample sheet"),
    "--where: no value": (TAB4, SHEET_OK, ["--where", "lineage"], "expected COLUMN=VALUE, got 'lineage'"),
    "sheet contradicts itself": (TAB4, SHEET_OK + "S1\tB\tB\n", [], 's.txt, line 8: sample "S1" again'),
    "no class column": (TAB4, SHEET_OK, ["--class-column", "group"], 'no column "group" (--class-column)'),
    "not GEO": (TAB4, None, ["--geo-class", "disease"], "t.txt is not a GEO series matrix"),
    "GEO cut short": ('!Sample_geo_accession\t"S1"\n!series_matrix_table_begin\n"ID_REF"\t"S1"\n', None,
                      ["--geo-class", "x"], "no line !series_matrix_table_end"),
    "too few genes": (TAB4.replace("g2\t4", "g2\tNA"), SHEET_OK, [], "1 of 2 genes left"),
    "too many genes": (46342, SHEET_OK, [], "46342 genes left, more than tivarne takes (46341): keep "
                       "the most variable ones with --top-variable N"),
    "no class source": (TAB4, None, [], "name the classes with exactly one of"),
    "two class sources": (TAB4, SHEET_OK, ["--class-row", "g1"], "(given: --samples --class-row)"),
    "-e without --check": (TAB4, SHEET_OK, ["-e", "x"], "-e and -l go with --check"),
    "bad --top-variable": (TAB4, SHEET_OK, ["--top-variable", "0"], "--top-variable takes 1 to 46341"),
    "unreadable table": (None, SHEET_OK, [], 'Cannot read the table file "'),
    "broken gzip": (b"\x1f\x8b\x08\x00garbage", SHEET_OK, [], "not a readable gzip file"),
    "output is a file": (TAB4, SHEET_OK, ["-o", "t.txt"], '"t.txt" is not a directory'),
    "a target is a directory": (TAB4, SHEET_OK, [], "genes.txt"),  # the other files are not written
}


@pytest.mark.parametrize("case", sorted(REFUSED))
def test_refusals_are_one_line_and_write_nothing(case, tmp_path, monkeypatch, capsys):
    table, sheet, extra, message = REFUSED[case]
    monkeypatch.chdir(tmp_path)
    if isinstance(table, int):
        table = "id\tS1\tS2\tS3\tS4\tS5\tS6\n" + "".join(
            "g%d\t%d\t1\t2\t%d\t3\t4\n" % (k, k % 7, k % 5) for k in range(table))
    if table is not None:
        (tmp_path / "t.txt").write_bytes(table if isinstance(table, bytes) else table.encode())
    args = ["t.txt", "-o", "out", "--class1", "A"]
    if sheet is not None:
        (tmp_path / "s.txt").write_text(sheet)
        args += ["--samples", "s.txt", "--class-column", "c"]
    for option, value in zip(extra[::2], extra[1::2]):
        if option in args:
            del args[args.index(option):args.index(option) + 2]
        args += [option, value] if value is not None else []
    there = ["genes.txt"] if case == "a target is a directory" else []
    for name in there:
        os.makedirs(os.path.join("out", name))
    err = error_of(prep.main, args, capsys)
    assert message in err and "without spread" not in err
    assert (os.listdir("out") if os.path.exists("out") else []) == there


# ---- --check: files in tivarne's format ------------------------------------

CASES = os.path.join(ROOT, "tests", "e2e", "cases")


@pytest.mark.parametrize("case", sorted(c for c in os.listdir(CASES) if c.split("_")[0] in
                                        ("expression", "label", "genes", "run")
                                        and not os.path.exists(os.path.join(CASES, c, "ulimit_v"))))
def test_check_accepts_what_the_command_line_accepts(case, tmp_path, capsys):
    work = tmp_path / case
    shutil.copytree(os.path.join(CASES, case), work, symlinks=True)
    if (work / "setup.sh").exists():
        subprocess.run(["bash", "setup.sh"], cwd=work, check=True)
    status = prep.main(["--check", "-e", str(work / "expr.txt"), "-l", str(work / "labels.txt")])
    assert status == int((work / "expected.status").read_text())
    err = capsys.readouterr().err
    assert err == "" if status == 0 else err.startswith("Error: ") and err.count("\n") == 1


# Files whose reading turns on C's "%lf" or on the line pieces, beside the
# end-to-end cases: the checker and the program must accept the same ones.
# (name, expression, labels)
READ_LIKE_THE_PROGRAM = [
    ("two genes on a line longer than 31 n + 1", "1 2 3 4" + " " * 120 + "5 6 7 8\n4 3 2 1\n", "1 0 1 0\n"),
    ("two genes' values on a short line", "1 2 3 4 5 6 7 8\n4 3 2 1\n", "1 0 1 0\n"),
    ("exponent without digits, hexadecimal", "1e 2e+ 0x1p3 0x.\n4 3-1 .5\n", "1 0 1 0\n"),
    ("a sign alone", "1 2 3 4-\n4 3 2 1\n", "1 0 1 0\n"),
    ("nan inside a token", "1 2 3 4\n4 3 2 1nan\n", "1 0 1 0\n"),
    ("infinity spelt out, then more", "1 2 3 4\n4 3 2 infinity5\n", "1 0 1 0\n"),
]


@pytest.mark.parametrize("name, expression, labels", READ_LIKE_THE_PROGRAM, ids=[c[0] for c in READ_LIKE_THE_PROGRAM])
def test_check_reads_numbers_as_the_program_does(tmp_path, capsys, name, expression, labels):
    (tmp_path / "e.txt").write_text(expression)
    (tmp_path / "l.txt").write_text(labels)
    program = subprocess.run([built("TIVARNE_CLI", "tivarne"), "-e", "e.txt", "-l", "l.txt", "-o", "r.tsv"],
                             cwd=tmp_path, input="1 10\n", text=True, capture_output=True)
    checked = prep.main(["--check", "-e", str(tmp_path / "e.txt"), "-l", str(tmp_path / "l.txt")])
    assert checked == program.returncode, (capsys.readouterr(), program.stderr)


# (expression, labels, message)
CHECKED = [
    ("1 2\n", "1 0\r\n", "l.txt, line 1 ends with a carriage return (CR LF line end)"),
    ("1 2\n", "1 2\n", 'l.txt, line 1, column 2: "2" is not a label; expected 1 (class 1) or 0 (class 2)'),
    ("1 2\n", "1  0\n", "l.txt, line 1: two blanks or tabs in a row after column 1"),
    ("1 2\n", "1 1\n", "l.txt: no sample has label 0 (class 2)"),
    ("1 2\n", "1 0\n\n", "l.txt, line 2: a second line"),
    ("1 2 3\n4 5 NA\n", "1 0 1\n", 'e.txt, line 2, column 3: "NA" is not a number; expected a finite number; '
                                   "missing and infinite values"),
    ("1,2,3\n", "1 0 1\n", 'e.txt, line 1, column 1: "1,2,3" is not a number'),
    ("1 2 3\n4 5\n", "1 0 1\n", "e.txt, line 2: 2 values; expected 3, one per label of l.txt"),
    ("1 2 3\n\n4 5 6\n", "1 0 1\n", "e.txt, line 2 is empty; expected 3 values"),
    ("1 2 %s\n" % ("3" * 100), "1 0 1\n", "e.txt, line 1: 105 characters; expected at most 31 x 3 + 1 = 94"),
    ("\ufeff1 2\n", "1 0\n", "e.txt, line 1, column 1: a byte order mark"),
    (gzip.compress(b"1 2\n"), "1 0\n", "e.txt is gzip-compressed"),
]


def test_at_most_10000_samples_are_kept(tmp_path, capsys):
    # 10,001 samples: 5,000 of class A, 5,000 of B, one of C.
    classes = ["A", "B"] * 5000 + ["C"]
    header = "id\t" + "\t".join("S%d" % k for k in range(len(classes)))
    rows = ["class\t" + "\t".join(classes)] + [
        "g%d\t" % g + "\t".join(str((k * (g + 3)) % 7) for k in range(len(classes))) for g in range(2)]
    (tmp_path / "t.txt").write_text("\n".join([header] + rows) + "\n")
    args = [str(tmp_path / "t.txt"), "--class-row", "class", "--class1", "A", "-o", str(tmp_path / "out")]
    assert prep.main(args + ["--class2", "B"]) == 0
    assert "samples: 10000 kept: 5000 in class 1 (A), 5000 in class 2 (B); 1 left out" in capsys.readouterr().out
    out = tmp_path / "out"
    assert prep.main(["--check", "-e", str(out / "expr.txt"), "-l", str(out / "labels.txt")]) == 0
    capsys.readouterr()
    err = error_of(prep.main, args + ["--class2", "B", "--class2", "C", "-o", str(tmp_path / "more")], capsys)
    assert "t.txt: 10001 samples; tivarne takes at most 10000." in err


def test_samples_missing_from_the_table_when_allowed(tmp_path, capsys):
    (tmp_path / "t.txt").write_text(ZEROS[0])
    (tmp_path / "s.txt").write_text(ZEROS[1])
    assert prep.main([str(tmp_path / "t.txt"), "--samples", str(tmp_path / "s.txt"), "--class-column", "c",
                      "--class1", "A", "--allow-missing-samples", "-o", str(tmp_path)]) == 0
    assert capsys.readouterr().out.split("\n")[1:3] == [
        "samples: 6 kept: 3 in class 1 (A), 3 in class 2 (B); 3 left out: 3 not in the sample sheet (007, 012, 013)",
        "note: 3 samples of class 1 or 2 in the sheet not in the table, left out (7, 12, 13; --allow-missing-samples)"]


def test_check_blames_a_class_of_one_sample_not_its_genes(tmp_path, capsys):
    (tmp_path / "e.txt").write_text("1 2 3 4\n2 4 1 3\n")
    (tmp_path / "l.txt").write_text("1 0 0 0\n")
    assert prep.main(["--check", "-e", str(tmp_path / "e.txt"), "-l", str(tmp_path / "l.txt")]) == 0
    note = capsys.readouterr().out.split("\n")[1]
    assert note.startswith("note: class 1 has 1 sample: its correlations and their p-values carry no information")


@pytest.mark.parametrize("expression, labels, message", CHECKED)
def test_check_names_the_first_problem(expression, labels, message, tmp_path, monkeypatch, capsys):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "e.txt").write_bytes(expression if isinstance(expression, bytes) else expression.encode())
    (tmp_path / "l.txt").write_text(labels)
    assert message in error_of(prep.main, ["--check", "-e", "e.txt", "-l", "l.txt"], capsys)
