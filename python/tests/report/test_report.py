"""The HTML report: its data against the library's numbers, the command against
the function, refusals that leave nothing behind, and the page itself in
headless Chromium with the network blocked."""
import io
import json
import os
import re

import numpy as np
import pandas as pd
import pytest

import headless
import tivarne
from conftest import GOLUB, run_cli
from tivarne import _report, network

EXPR, LABELS = os.path.join(GOLUB, "expr.txt"), os.path.join(GOLUB, "labels.txt")


def embedded(path):
    found = re.search(r'<script type="application/json" id="tivarne-data">(.*?)</script>',
                      open(path, encoding="utf-8").read(), re.S)
    return json.loads(found.group(1))


@pytest.fixture(scope="module")
def golub_report(tmp_path_factory):
    path = tmp_path_factory.mktemp("report") / "golub.html"
    tivarne.report(EXPR, LABELS, path, class_names=("AML", "ALL"))
    return path, embedded(path)


def test_numbers_are_the_librarys(golub_report, golub):
    data = golub_report[1]
    pairs = tivarne.analyse(*golub, level=0.01, max_pairs=500)
    shown = pd.DataFrame(data["pairs"])
    for mine, theirs in [("rank", "rank"), ("index_x", "index_x"), ("index_y", "index_y"), ("r1", "r1"), ("r2", "r2"),
                         ("c", "c"), ("score", "score"), ("p", "p_value")]:
        np.testing.assert_array_equal(shown[mine].to_numpy(float), pairs[theirs].to_numpy(float), mine)
    assert shown.direction.tolist() == [network.direction(a, b) for a, b in zip(pairs.r1, pairs.r2)]
    assert shown.q.isna().all() and shown.dc_class.tolist() == pairs.dc_class.tolist()
    genes = tivarne.rewired_genes(*golub, level=0.01)
    assert pd.DataFrame(data["genes"]).rename(columns={"p": "p_value", "q": "q_value"}).astype({"gene": int}).equals(
        genes.astype({"gene": int}))
    h = data["histograms"]
    assert sum(h["score"]["counts"]) + h["score"]["nan_scores"] == pairs.attrs["pairs"]
    assert sum(h["p_value"]["counts"]) == h["pairs_with_p_value"] == data["summary"]["pairs_with_p_value"] \
        == genes.attrs["pairs_with_p_value"]
    assert h["score"]["cut"] == pairs.score.min() and h["p_value"]["log10_edges"][-1] == 0
    s = data["summary"]
    assert (s["genes"], s["samples"], s["classes"], s["left_out"], s["pairs_tested"], s["pairs_shown"]) == \
        (3051, 38, [{"name": "AML", "size": 11}, {"name": "ALL", "size": 27}], 0, pairs.attrs["pairs"], 500)
    assert (s["pairs_passing"], s["adjust"], s["p_value_route"]) == (genes.attrs["pairs_passing"], "none", "ECOR")
    assert s["version"] == tivarne.__version__
    assert data["expression"]["classes"] == [1 if label == 1 else 2 for label in golub[1]]
    assert data["expression"]["values"]["444"] == [float("%.4g" % v) for v in golub[0][443]]
    assert set(data["expression"]["values"]) == {str(i) for i in np.r_[pairs.index_x, pairs.index_y]}


def test_data_frame_names_and_q_values(golub, tmp_path):
    expression = pd.DataFrame(golub[0][:300], index=["g%d" % k for k in range(1, 301)],
                              columns=["s%d" % k for k in range(1, 39)])
    labels = np.where(golub[1] == 1, "AML", "ALL")
    options = dict(level=0.5, max_pairs=30, class1="AML", adjust="BH")
    data = tivarne.report(expression, labels, tmp_path / "r.html", **options)
    pairs = tivarne.analyse(expression, labels, **options)
    assert data == embedded(tmp_path / "r.html")
    assert [(p["gene_x"], p["gene_y"], p["q"]) for p in data["pairs"]] == list(zip(pairs.gene_x, pairs.gene_y, pairs.q_value))
    assert data["summary"]["pairs_with_p_value"] == pairs.attrs["tested"] and data["summary"]["title"] == "AML vs ALL"
    genes = tivarne.rewired_genes(expression, labels, level=0.5, class1="AML", adjust="BH")
    assert data["summary"]["pairs_passing"] == genes.attrs["pairs_passing"]
    assert data["expression"]["samples"][:2] == ["s1", "s2"] and data["expression"]["classes"][-1] == 1
    assert data["summary"]["command"] == ("tivarne.report(expression, labels, %r, level=0.5, max_pairs=30, class1='AML', "
                                          "adjust='BH')" % str(tmp_path / "r.html"))


def test_samples_filter_and_labels_by_name(golub, tmp_path):
    columns = ["s%d" % k for k in range(1, 39)]
    expression = pd.DataFrame(golub[0][:200], columns=columns)
    labels = pd.Series(np.where(golub[1] == 1, "AML", "ALL"), index=columns)[::-1]  # matched by name
    kept = [c for c in columns if c not in ("s1", "s5")]
    data = tivarne.report(expression, labels, tmp_path / "r.html", class1="AML", samples=kept, max_pairs=20)
    want = [0 if c in ("s1", "s5") else 1 if label == 1 else 2 for c, label in zip(columns, golub[1])]
    assert data["expression"]["classes"] == want and data["summary"]["left_out"] == 2


def test_command_and_function_make_the_same_report(tmp_path):
    names = tmp_path / "genes.txt"
    names.write_text("".join("G%d</script>\n" % k for k in range(1, 3052)))
    options = ["--genes", str(names), "--level", "0.001", "--max-pairs", "40", "--network-edges", "25"]
    assert _report.main([EXPR, LABELS, "-o", str(tmp_path / "cli.html")] + options) == 0
    tivarne.report(EXPR, LABELS, tmp_path / "py.html", level=0.001, max_pairs=40, gene_names=names, network_edges=25)
    cli, py = embedded(tmp_path / "cli.html"), embedded(tmp_path / "py.html")
    assert cli["summary"].pop("command") == "tivarne-report %s %s -o %s " % (EXPR, LABELS, tmp_path / "cli.html") \
        + " ".join(options)
    assert py["summary"].pop("command").startswith("tivarne.report(%r, %r" % (EXPR, LABELS))
    assert cli["summary"].pop("run_time_s") >= 0 and py["summary"].pop("run_time_s") >= 0
    assert cli == py and cli["pairs"][0]["gene_x"] == "G%d</script>" % cli["pairs"][0]["index_x"]
    assert open(tmp_path / "py.html", encoding="utf-8").read().count("</script>") == 3


def test_result_file_of_the_command_line(tmp_path, golub):
    run_cli(EXPR, LABELS, "0.01\n50\n", tmp_path / "run.result")
    assert _report.main([EXPR, LABELS, "--result", str(tmp_path / "run.result"), "-o", str(tmp_path / "r.html")]) == 0
    data, rows = embedded(tmp_path / "r.html"), tivarne.read_result(tmp_path / "run.result")
    library = tivarne.analyse(*golub, level=0.01, max_pairs=50)
    assert [(p["index_x"], p["index_y"]) for p in data["pairs"]] == list(zip(library.index_x, library.index_y))
    assert [p["r1"] for p in data["pairs"]] == rows.r1.tolist()
    assert [p["p"] for p in data["pairs"]] == [10 ** v for v in rows.log10_p]
    s = data["summary"]
    assert (s["source"], s["level"], s["max_pairs"], s["run_time_s"]) == ("result file", 0.01, 50, None)


def test_bad_input_is_refused_and_leaves_nothing(tmp_path, capsys):
    (tmp_path / "small.txt").write_text("".join(open(EXPR).readlines()[:10]))
    (tmp_path / "names.txt").write_text("A\nB\nC\n")
    run_cli(EXPR, LABELS, "0.01\n1\n", tmp_path / "run.result")
    out, result = str(tmp_path / "r.html"), str(tmp_path / "run.result")
    before = sorted(os.listdir(tmp_path))
    for argv, message in [
            (["missing.txt", LABELS, "-o", out], 'Cannot read the expression file "missing.txt"'),
            ([EXPR, "missing.txt", "-o", out], 'Cannot read the label file "missing.txt"'),
            ([str(tmp_path / "small.txt"), LABELS, "--result", result, "-o", out],
             "names gene 1414, but the expression file has 10 genes: the files do not belong together."),
            ([EXPR, LABELS, "--genes", str(tmp_path / "names.txt"), "-o", out], "has 3 names, but the expression has 3051"),
            ([EXPR, LABELS, "--result", result, "--level", "0.1", "-o", out], "leave out --level"),
            ([EXPR, LABELS, "-o", str(tmp_path / "no" / "r.html")], "does not exist")]:
        try:
            status = _report.main(argv)
        except SystemExit as e:
            status = e.code
        err = capsys.readouterr().err
        assert status == 1 and err.startswith("Error: ") and message in err and err.count("\n") == 1, (argv, err)
    with pytest.raises(ValueError, match="3 gene names are given, but the expression has 3051 genes"):
        tivarne.report(EXPR, LABELS, out, gene_names=["A", "B", "C"])
    assert sorted(os.listdir(tmp_path)) == before


# ------------------------------------------------------------------ the page
@pytest.fixture(scope="module")
def browser():
    if headless.missing():
        pytest.skip(headless.missing())
    with headless.Browser() as b:
        yield b


def opened(browser, path):
    browser.open(path)
    assert browser.wait_for("window.tivarneReport && tivarneReport.complete")
    return browser


def test_page_in_chromium(browser, golub_report):
    path, data = golub_report
    b, nodes = opened(browser, path), network.graph(data["pairs"])[0]
    assert b.run("var cy = tivarneReport.cy; return [document.querySelectorAll('#pair-table tbody tr').length, "
                 "cy.nodes().length, cy.edges().length, document.querySelector('#scatter-plot svg').dataset.rank, "
                 "/(summary|picture|classes|with a p-value)[^.]*not computed/.test(document.body.innerText), "
                 "document.querySelectorAll('#gene-table tbody tr').length, "
                 "['scores', 'p-values', 'qq'].map(function (f) { "
                 "return !!document.querySelector('#figure-' + f + ' svg'); })]") \
        == [500, len(nodes), 500, "1", False, min(200, len(data["genes"])), [True] * 3]
    b.click("#pair-table tbody tr:nth-child(3)")
    assert b.run("var s = document.querySelector('#scatter-plot svg'); return [s.dataset.rank, s.dataset.points, "
                 "s.querySelectorAll('circle.point').length, s.querySelectorAll('path.point').length]") == ["3", "38", 11, 27]
    b.click("#pair-table th:nth-child(8) button")  # p, smallest first
    assert b.run("return document.querySelector('#pair-table tbody td').textContent") == \
        str(min(data["pairs"], key=lambda p: p["p"])["rank"])
    b.run("var f = document.getElementById('pair-filter'); f.value = '94'; f.dispatchEvent(new Event('input'));")
    hub = max(nodes, key=lambda n: n["degree"])
    b.run("tivarneReport.cy.getElementById(arguments[0]).emit('tap')", hub["id"])
    assert b.run("return ['#pair-table', '#gene-pairs'].map(function (t) { "
                 "return document.querySelectorAll(t + ' tbody tr').length; })") == \
        [sum("94" in p["gene_x"] + " " + p["gene_y"] for p in data["pairs"]), hub["degree"]]
    # The downloads equal tivarne-network's files and the data.
    nx = pytest.importorskip("networkx")
    assert nx.utils.graphs_equal(*(nx.read_graphml(io.BytesIO(t.encode())) for t in (
        b.run("return tivarneReport.graphml()"), network.graphml(data["pairs"], 500))))
    assert nx.utils.graphs_equal(*(nx.cytoscape_graph(json.loads(t)) for t in (
        b.run("return tivarneReport.cytoscapeJson()"), network.cytoscape_json(data["pairs"], 500))))
    tsv = pd.read_csv(io.StringIO(b.run("return tivarneReport.pairsTsv()")), sep="\t", float_precision="round_trip")
    assert tsv.p_value.tolist() == [p["p"] for p in data["pairs"]]
    assert b.requests() == (["file://" + str(path)], []) and b.console_errors() == []
    from PIL import Image
    picture = Image.open(io.BytesIO(b.screenshot())).convert("RGB")
    assert picture.size[0] >= 1000 and len(picture.getcolors(1 << 20)) > 50
    # A phone-wide window: one column, nothing wider than the page, text of 12 px at least.
    b.viewport(360, 740)
    try:
        assert b.wait_for("document.querySelector('#scatter-plot svg').getAttribute('width') <= 360 && "
                          "document.documentElement.scrollWidth <= 360")
        assert b.run("""return Array.from(document.querySelectorAll('body *')).filter(function (e) {
            return Array.from(e.childNodes).some(function (n) { return n.nodeType === 3 && n.textContent.trim(); }) &&
              e.getClientRects().length && parseFloat(getComputedStyle(e).fontSize) < 12; }).length;""") == 0
    finally:
        b.viewport(1280, 1000)


def test_gene_and_all_pairs_sections(browser, golub_report, tmp_path):
    data = json.loads(json.dumps(golub_report[1]))
    # Stand-ins for the library's gene table and all-pairs histograms.
    data["genes"] = [{"gene": n["name"], "degree": n["degree"], "expected": 0.8, "stronger_in_class1": n["degree"] // 2,
                      "stronger_in_class2": n["degree"] - n["degree"] // 2, "sign_changes": 1, "p": 0.5 ** n["degree"],
                      "q": None} for n in network.graph(data["pairs"])[0]]
    data["histograms"] = {"score": {"edges": [k / 10 for k in range(21)], "counts": [10 ** (6 - k // 4) for k in range(20)],
                                    "cut": 1.3}, "pairs_with_p_value": 4444444,
                          "p_value": {"log10_edges": list(range(-12, 1)), "counts": [0, 0, 1, 3] + [4 * 10 ** k for k in range(6)] + [0, 0]}}
    _report.write_report(data, tmp_path / "full.html")
    b = opened(browser, tmp_path / "full.html")
    page = b.run("return [document.querySelectorAll('#gene-table tbody tr').length, "
                 "document.querySelectorAll('#hub-chart svg text').length > 20, "
                 "['scores', 'p-values', 'qq'].map(function (f) { return !!document.querySelector('#figure-' + f + ' svg'); }), "
                 "document.querySelector('#genes').textContent + document.querySelector('#all-pairs').textContent]")
    assert page[:3] == [200, True, [True] * 3] and "not computed" not in page[3] and b.console_errors() == []
