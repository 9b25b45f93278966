"""tivarne-analyse and the workflow: the same pairs as the Python package, q-values
by default, contrast names checked up front, and every rule's messages in its log."""
import os
import shutil
import subprocess

import numpy as np
import pandas as pd
import pytest

import tivarne
from conftest import GOLUB, ROOT, error_of, needs_core
from tivarne import run

GEO = os.path.join(ROOT, "examples", "geo", "GSE000000_series_matrix.txt")


def test_analyse_command_writes_the_packages_pairs_with_names_and_q_values(tmp_path, capsys):
    needs_core()
    out = tmp_path / "pairs.tsv"
    x, labels = np.loadtxt(os.path.join(GOLUB, "expr.txt"))[:400], os.path.join(GOLUB, "labels.txt")
    np.savetxt(tmp_path / "expr.txt", x, fmt="%r")
    (tmp_path / "genes.txt").write_text("".join("g%d\n" % (k + 1) for k in range(400)))
    assert run.main([str(tmp_path / "expr.txt"), labels, "--genes", str(tmp_path / "genes.txt"), "-o", str(out),
                     "--max-pairs", "30"]) == 0
    summary, err = capsys.readouterr()
    assert summary.startswith('tivarne-analyse: 30 pairs with q <= 0.05 (Benjamini-Hochberg over 79789 tested pairs, '
                              'at most 30 kept) among 79800 pairs of 400 genes; class 1 "1": 11 samples, class 2 '
                              '"0": 27 samples; wrote ')
    frame = pd.DataFrame(x, index=["g%d" % (k + 1) for k in range(400)])
    want = tivarne.analyse(frame, np.loadtxt(labels), adjust="BH", level=0.05, max_pairs=30)
    pd.testing.assert_frame_equal(tivarne.read_result(out), want, check_exact=True)
    # The library's r1 and r2 are those the companions recompute to hold a result against its data.
    from tivarne._manifest import midcorrelations
    for k in range(5):
        r = midcorrelations(x, np.loadtxt(labels) == 1, want.index_x[k] - 1, want.index_y[k] - 1)
        np.testing.assert_allclose(r, want.loc[k, ["r1", "r2"]].astype(float), rtol=0, atol=1e-12)
    # The gene table next to it, and a focused run: the pairs of two genes, BH over them alone.
    assert run.main([str(tmp_path / "expr.txt"), labels, "--genes", str(tmp_path / "genes.txt"), "-o", str(out),
                     "--gene-table", str(tmp_path / "genes.tsv"), "--focus-gene", "g7", "--focus-gene", "12",
                     "--max-pairs", "1000", "--level", "1"]) == 0
    capsys.readouterr()
    focused = tivarne.analyse(frame, np.loadtxt(labels), adjust="BH", level=1.0, max_pairs=1000, genes=["g7", 12])
    pd.testing.assert_frame_equal(tivarne.read_result(out), focused, check_exact=True)
    genes = pd.read_csv(tmp_path / "genes.tsv", sep="\t", float_precision="round_trip")
    want_genes = tivarne.rewired_genes(frame, np.loadtxt(labels), adjust="BH", level=1.0, genes=["g7", 12])
    assert genes.drop(columns="index").equals(want_genes) and len(genes) == 400
    assert "--max-pairs takes -2147483648 to 2147483647" in error_of(
        run.main, [str(tmp_path / "expr.txt"), labels, "-o", str(out), "--max-pairs", "2147483648"], capsys)


def snakemake(tmp_path, config, *options):
    if not shutil.which("snakemake"):
        pytest.skip("snakemake is not installed")
    (tmp_path / "config.yaml").write_text(config)
    return subprocess.run(["snakemake", "--cores", "2", "-s", os.path.join(ROOT, "workflow", "Snakefile"),
                           "--directory", str(tmp_path), "--configfile", str(tmp_path / "config.yaml"), "--quiet",
                           *options], capture_output=True, text=True)


CONFIG = """
contrasts:
  bone_marrow_AML_vs_rest:          # a class merged from two, a filter on another column
    dataset: leukaemia_geo
    class1: AML
    class2: [ALL, healthy]
    where: {tissue: bone marrow}
    level: 0.2
  no_such_class:
    dataset: leukaemia_geo
    class1: CML
    class2: ALL
"""


def test_workflow_tables_equal_the_packages_and_each_rule_logs_its_messages(tmp_path):
    needs_core()
    done = snakemake(tmp_path, CONFIG, "--keep-going")
    assert done.returncode != 0  # no_such_class fails, the other contrast is complete
    results = tmp_path / "results"
    assert (results / "no_such_class" / "prep.log").read_text().startswith(
        'Error: %s: --class1 "CML" names no class of the samples; the classes and their sizes: "AML" (12), "ALL" (14), '
        '"healthy" (8).' % GEO)
    t = tivarne.read_table(GEO, geo_class="disease state")
    marrow = t.samples["tissue"] == "bone marrow"
    used = marrow & t.classes.notna()
    expression = t.expression[t.expression.loc[:, used].notna().all(axis=1)]
    want = tivarne.analyse(expression, t.classes, class1="AML", class2=["ALL", "healthy"], samples=marrow,
                           adjust="BH", level=0.2, max_pairs=50)
    got = tivarne.read_result(results / "bone_marrow_AML_vs_rest" / "pairs.tsv")
    assert len(got) and "q_value" in got
    pd.testing.assert_frame_equal(got, want, check_exact=True)
    log = (results / "bone_marrow_AML_vs_rest" / "analyse.log").read_text()
    assert 'class 2 "ALL, healthy": %d samples' % want.attrs["n2"] in log
    assert (results / "bone_marrow_AML_vs_rest" / "pairs.png").read_bytes().startswith(b"\x89PNG")
    genes = pd.read_csv(results / "bone_marrow_AML_vs_rest" / "genes.tsv", sep="\t", float_precision="round_trip")
    want = tivarne.rewired_genes(expression, t.classes, class1="AML", class2=["ALL", "healthy"], samples=marrow,
                                 adjust="BH", level=0.2)
    assert genes.drop(columns="index").equals(want) and genes["index"].tolist() == [
        expression.index.get_loc(g) + 1 for g in want.gene]


def test_a_contrast_name_that_cannot_be_a_folder_is_refused_up_front(tmp_path):
    done = snakemake(tmp_path, CONFIG.replace("no_such_class", "BCR/ABL_vs_NEG"), "-n")
    assert done.returncode != 0
    assert ("contrast 'BCR/ABL_vs_NEG': a contrast's name is the name of its folder (results/NAME/), so it takes "
            "letters, digits and . _ + - only, e.g. 'BCR_ABL_vs_NEG'") in done.stdout + done.stderr
    assert not (tmp_path / "results").exists()
