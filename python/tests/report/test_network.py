"""The network files of a pair table: GraphML and Cytoscape JSON read back by
networkx, SIF and its edge table as written by hand, and tivarne-network on a
result file, refusals included."""
import json

import pandas as pd
import pytest

from conftest import COLUMNS, result_head
from tivarne import network

nx = pytest.importorskip("networkx", reason="needs networkx (Debian: python3-networkx)")

# Two genes named TP53 (rows 1 and 4); the third pair has no c, q or class.
PAIRS = pd.DataFrame({"rank": [1, 2, 3], "gene_x": ["TP53", "MYC", "TP53"], "gene_y": ["MYC", "ACT", "TP53"],
                      "index_x": [1, 2, 1], "index_y": [2, 3, 4], "score": [1.5, 0.75, 0.25],
                      "r1": [0.8, -0.3, 0.5], "r2": [-0.7, -0.9, 0.0], "c": [1.0, 0.5, float("nan")],
                      "p_value": [1e-8, 0.003, 0.01], "q_value": [2e-6, 0.25, float("nan")],
                      "dc_class": ["+/-", "0/-", None]})
NODES = {"TP53|1": {"name": "TP53", "index": 1, "degree": 2}, "MYC": {"name": "MYC", "index": 2, "degree": 2},
         "ACT": {"name": "ACT", "index": 3, "degree": 1}, "TP53|4": {"name": "TP53", "index": 4, "degree": 1}}
EDGES = {("TP53|1", "MYC"): dict(rank=1, score=1.5, r1=0.8, r2=-0.7, c=1.0, p_value=1e-8, q_value=2e-6, dc_class="+/-",
                                 direction="sign_change"),
         ("MYC", "ACT"): dict(rank=2, score=0.75, r1=-0.3, r2=-0.9, c=0.5, p_value=0.003, q_value=0.25, dc_class="0/-",
                              direction="stronger_in_class2"),
         ("TP53|1", "TP53|4"): dict(rank=3, score=0.25, r1=0.5, r2=0.0, p_value=0.01, direction="stronger_in_class1")}


def test_graphml_cytoscape_json_and_sif(tmp_path):
    written = network.write_network(PAIRS, str(tmp_path / "net"), formats=("graphml", "cyjs"))
    assert written == [str(tmp_path / "net.graphml"), str(tmp_path / "net.cyjs")]
    for graph, extra in ((nx.read_graphml(written[0]), {"id"}),
                         (nx.cytoscape_graph(json.load(open(written[1], encoding="utf-8"))), {"id", "source", "target"})):
        assert {n: {k: v for k, v in d.items() if k not in ("id", "value")} for n, d in graph.nodes(data=True)} == NODES
        assert {(a, b) if (a, b) in EDGES else (b, a): {k: v for k, v in d.items() if k not in extra}
                for a, b, d in graph.edges(data=True)} == EDGES
    # The cap keeps the best pairs; TP53 is then one gene of the network, under its own name.
    assert set(nx.read_graphml(network.write_network(PAIRS, str(tmp_path / "top"), ("graphml",), 1)[0])) == {"TP53", "MYC"}
    sif, table = network.sif(network.pair_records(PAIRS))
    assert sif == "TP53|1\tsign_change\tMYC\nMYC\tstronger_in_class2\tACT\nTP53|1\tstronger_in_class1\tTP53|4\n"
    assert table.split("\n") == [
        "edge\trank\tscore\tr1\tr2\tc\tp_value\tq_value\tdc_class\tdirection",
        "TP53|1 (sign_change) MYC\t1\t1.5\t0.8\t-0.7\t1.0\t1e-08\t2e-06\t+/-\tsign_change",
        "MYC (stronger_in_class2) ACT\t2\t0.75\t-0.3\t-0.9\t0.5\t0.003\t0.25\t0/-\tstronger_in_class2",
        "TP53|1 (stronger_in_class1) TP53|4\t3\t0.25\t0.5\t0.0\tNA\t0.01\tNA\tNA\tstronger_in_class1", ""]


RESULT = (result_head(0.01, 20) + COLUMNS
          + "1\t1.51\t-6.44\t2\t4\t-0.81\t0.72\t0.99\n2\t1.45\t-inf\t1\t2\t0.75\t0.71\tnan\n")


@pytest.mark.parametrize("names, options, error", [
    ("A\nB\nC\nD\n", [], None),
    (None, ["--max-edges", "1", "--format", "graphml"], None),
    ("A\nB\nC\n", [], "genes.txt: gene 4 of "),
    ("A\nB\nC\nD\n", ["--format", "gml"], "--format gml: expected graphml, cyjs and/or sif"),
])
def test_command_on_a_result_file(tmp_path, capsys, names, options, error):
    (tmp_path / "run.result").write_text(RESULT)
    argv = [str(tmp_path / "run.result"), "-o", str(tmp_path / "net")] + options
    if names is not None:
        (tmp_path / "genes.txt").write_text(names)
        argv += ["--genes", str(tmp_path / "genes.txt")]
    before = sorted(p.name for p in tmp_path.iterdir())
    try:
        status = network.main(argv)
    except SystemExit as e:  # an option refused by argparse
        status = e.code
    err = capsys.readouterr().err
    if error:
        assert status == 1 and err.startswith("Error: ") and error in err and err.count("\n") == 1
        assert sorted(p.name for p in tmp_path.iterdir()) == before
        return
    graph = nx.read_graphml(tmp_path / "net.graphml")
    first = graph.edges["D" if names else "4", "B" if names else "2"]
    assert (first["r1"], first["p_value"], first["direction"]) == (-0.81, 10 ** -6.44, "sign_change")
    if names:
        assert (tmp_path / "net.sif").read_text() == "B\tsign_change\tD\nA\tstronger_in_class1\tB\n"
        assert graph.edges["A", "B"]["p_value"] == 0.0 and "c" not in graph.edges["A", "B"]
    else:
        assert graph.number_of_edges() == 1 and not (tmp_path / "net.sif").exists()
