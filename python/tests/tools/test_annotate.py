"""tivarne-annotate: the result rows with gene names, q-values carried, a
result bound to its data set, and the refusals."""
import os

import numpy as np
import pandas as pd
import pytest

from conftest import COLUMNS, GOLUB, error_of, needs_core, result_head, run_cli
from tivarne import annotate, prep

HEAD = result_head(0.01, 20)
ROWS = "1\t1.51\t-6.45\t1\t4\t-0.81\t0.72\t0.99\n2\t1.10\t-inf\t2\t3\t0.30\t-0.30\t-nan\n"
GENES = "TP53\nMYC\nCD33\nKIT\n"


@pytest.fixture
def files(tmp_path, monkeypatch):
    monkeypatch.chdir(tmp_path)

    def write(result=HEAD + COLUMNS + ROWS, genes=GENES):
        (tmp_path / "result.tsv").write_text(result)
        (tmp_path / "genes.txt").write_text(genes)
        return ["result.tsv", "--genes", "genes.txt"]
    return write


NAMED = "rank\tscore\tlog10_p\tgene_x\tgene_y\tname_x\tname_y\tr1\tr2\tc\n"


def test_rows_get_names_and_clean_column_names_and_no_rows_only_those(files, tmp_path, capsys):
    assert annotate.main(files() + ["-o", "named.tsv"]) == 0
    assert (tmp_path / "named.tsv").read_text() == NAMED + (
        "1\t1.51\t-6.45\t1\t4\tTP53\tKIT\t-0.81\t0.72\t0.99\n"
        "2\t1.10\t-inf\t2\t3\tMYC\tCD33\t0.30\t-0.30\tnan\n")
    table = pd.read_csv(tmp_path / "named.tsv", sep="\t")
    assert table.dtypes.drop(["name_x", "name_y"]).map(lambda t: t.kind).tolist() == list("iffii" "fff")
    assert capsys.readouterr() == ("", "")
    assert annotate.main(files(HEAD + "\n---No significant gene pairs---\n")) == 0
    out, err = capsys.readouterr()
    assert out == NAMED and err.startswith("Note: result.tsv has no gene pairs")


@pytest.mark.parametrize("result, genes, message", [
    ("rank\tscore\n", GENES, "result.tsv is neither a tivarne result file nor a pairs table"),
    (HEAD + "rank\tscore\n", GENES, "result.tsv, line 6: not the header"),
    (HEAD + COLUMNS + "1\t1.5\tx\t1\t2\t0.1\t0.2\t0.9\n", GENES, "result.tsv, line 7: not a row of 8 numbers"),
    (HEAD + COLUMNS + "1\t1.5\t-3\t2\t2\t0.1\t0.2\t0.9\n", GENES, "gene numbers 2 and 2"),
    (HEAD + COLUMNS + ROWS, "TP53\nMYC\n", "genes.txt: gene 4 of result.tsv is beyond its 2 names"),
])
def test_refusals_write_nothing(files, tmp_path, capsys, result, genes, message):
    assert message in error_of(annotate.main, files(result, genes) + ["-o", "named.tsv"], capsys)
    assert sorted(p.name for p in tmp_path.iterdir()) == ["genes.txt", "result.tsv"]


def test_q_values_of_a_pairs_table_are_carried(files, tmp_path, capsys):
    table = (NAMED.replace("name_x\tname_y\t", "").replace("\tc\n", "\tc\tp_value\tq_value\n")
             + "1\t1.5\t-6.5\t1\t4\t-0.8\t0.7\t0.99\t3.1e-07\t0.012\n")
    assert annotate.main(files(table)) == 0
    assert capsys.readouterr().out == NAMED.replace("\tc\n", "\tc\tp_value\tq_value\n") + (
        "1\t1.5\t-6.5\t1\t4\tTP53\tKIT\t-0.8\t0.7\t0.99\t3.1e-07\t0.012\n")


def test_names_of_another_data_set_are_refused(tmp_path, capsys):
    """A result of the example's first 300 genes, named with the genes file of
    the whole example in another order (a larger data set), or with its own
    genes file changed since tivarne-prep wrote it."""
    x = np.loadtxt(os.path.join(GOLUB, "expr.txt"))
    for name, rows in (("small", x[:300]), ("large", x[::-1])):
        np.savetxt(tmp_path / (name + ".txt"), rows, fmt="%.17g")
        assert prep.main([str(tmp_path / (name + ".txt")), "--labels", os.path.join(GOLUB, "labels.txt"),
                          "-o", str(tmp_path / name)]) == 0
    run_cli(tmp_path / "small" / "expr.txt", tmp_path / "small" / "labels.txt", "0.01 20\n", tmp_path / "result.tsv")
    capsys.readouterr()
    assert annotate.main([str(tmp_path / "result.tsv"), "--genes", str(tmp_path / "small" / "genes.txt")]) == 0
    assert len(capsys.readouterr().out.splitlines()) == 21
    err = error_of(annotate.main, [str(tmp_path / "result.tsv"), "--genes", str(tmp_path / "large" / "genes.txt")],
                   capsys)
    assert "result.tsv: genes 1 and 2" not in err and "in %s, not" % (tmp_path / "large" / "expr.txt") in err
    assert "the result comes from other data" in err
    with open(tmp_path / "small" / "genes.txt", "a") as f:
        f.write("one more\n")
    err = error_of(annotate.main, [str(tmp_path / "result.tsv"), "--genes", str(tmp_path / "small" / "genes.txt")],
                   capsys)
    assert "genes.txt is not the genes file of the data set of %s" % (tmp_path / "small" / "manifest.json") in err


def test_classes_and_gene_table_from_the_runs_data(tmp_path, capsys):
    needs_core()
    import tivarne
    x = np.loadtxt(os.path.join(GOLUB, "expr.txt"))[:300]
    np.savetxt(tmp_path / "expr.txt", x, fmt="%r")
    assert prep.main([str(tmp_path / "expr.txt"), "--labels", os.path.join(GOLUB, "labels.txt"),
                      "-o", str(tmp_path / "data")]) == 0
    run_cli(tmp_path / "data" / "expr.txt", tmp_path / "data" / "labels.txt", "0.01 20\n", tmp_path / "result.tsv")
    capsys.readouterr()
    argv = [str(tmp_path / "result.tsv"), "--genes", str(tmp_path / "data" / "genes.txt"), "-o",
            str(tmp_path / "pairs.tsv")]
    assert annotate.main(argv + ["--classes", "--gene-table", str(tmp_path / "genes.tsv")]) == 0
    labels = np.loadtxt(os.path.join(GOLUB, "labels.txt"))
    want = tivarne.analyse(x, labels, level=0.01, max_pairs=20)
    assert pd.read_csv(tmp_path / "pairs.tsv", sep="\t").dc_class.tolist() == want.dc_class.tolist()
    genes = pd.read_csv(tmp_path / "genes.tsv", sep="\t", float_precision="round_trip")
    names = (tmp_path / "data" / "genes.txt").read_text().split()
    table = tivarne.rewired_genes(pd.DataFrame(x, index=names), labels, level=0.01)
    assert genes.drop(columns="index").astype({"gene": str}).equals(table.astype({"gene": str}))
    assert annotate.main(argv) == 0 and "dc_class" not in (tmp_path / "pairs.tsv").read_text()
