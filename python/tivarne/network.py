"""tivarne-network: the differential network of a run as files for network tools.

    tivarne-network RESULT [--genes GENES] -o PREFIX [--max-edges N]
                    [--format graphml,cyjs,sif]

RESULT is a result file of the command line tivarne, GENES the gene IDs of the
run's expression file, one per line in its order (genes.txt of tivarne-prep).
Each written pair is an edge between its two genes, best first. Writes
    PREFIX.graphml          GraphML (Gephi, Cytoscape, networkx, igraph)
    PREFIX.cyjs             Cytoscape JSON (File > Import > Network from File)
    PREFIX.sif              simple interaction format: gene, direction, gene
    PREFIX.edges.tsv        the edge attributes for the SIF file, keyed by
                            Cytoscape's edge name "GENE_X (direction) GENE_Y"
Edge attributes: rank, score, r1, r2, c, p_value (and q_value, dc_class when
the run has them) and direction: sign_change when r1 and r2 have opposite
signs, else stronger_in_class1 when |r1| > |r2|, else stronger_in_class2.
Node attributes: name, index (the gene's line in the expression file, from 1)
and degree (its number of edges in the network).

In Python, the same files come from any pair table of tivarne.analyse():
    tivarne.network.write_network(pairs, "rewired")
"""
import argparse
import json
import math
import sys
from xml.sax.saxutils import escape, quoteattr

from ._tool import Parser, InputError, read_text, run, write_files

DIRECTIONS = ("stronger_in_class1", "stronger_in_class2", "sign_change")
FORMATS = {"graphml": (".graphml",), "cyjs": (".cyjs",), "sif": (".sif", ".edges.tsv")}
# Edge attributes in file order, with their GraphML types; q_value and
# dc_class only when some pair has them.
EDGE_ATTRIBUTES = [("rank", "int"), ("score", "double"), ("r1", "double"), ("r2", "double"),
                   ("c", "double"), ("p_value", "double"), ("q_value", "double"),
                   ("dc_class", "string"), ("direction", "string")]
NODE_ATTRIBUTES = [("name", "string"), ("index", "int"), ("degree", "int")]


def direction(r1, r2):
    """How a pair's co-expression changes: "sign_change" when the two
    correlations have opposite signs, else the class where it is stronger in
    absolute value ("stronger_in_class2" when they are equal)."""
    if r1 * r2 < 0:
        return "sign_change"
    return "stronger_in_class1" if abs(r1) > abs(r2) else "stronger_in_class2"


def _number(value):
    """A float, or None for a missing value (NaN, None, pandas' NA)."""
    if value is None:
        return None
    value = float(value)
    return None if math.isnan(value) else value


def pair_records(pairs):
    """The pairs of a table as the report's records (one dict per pair).

    Parameters
    ----------
    pairs : pandas.DataFrame
        A table of :func:`tivarne.analyse` (columns rank, gene_x, gene_y,
        index_x, index_y, score, r1, r2, c, p_value, and q_value, dc_class
        when present), or one with log10_p instead of p_value.

    Returns
    -------
    list of dict
        Keys rank, gene_x, gene_y (names as text), index_x, index_y (from
        1), r1, r2, c, score, p, q, dc_class (None where the table has no
        such column or the value is missing) and direction.
    """
    columns = set(pairs.columns)
    records = []
    for row in pairs.itertuples(index=False):
        get = row._asdict()
        if "p_value" in columns:
            p = _number(get["p_value"])
        else:
            log10_p = _number(get["log10_p"])
            p = None if log10_p is None else 10.0 ** log10_p
        r1, r2 = float(get["r1"]), float(get["r2"])
        index_x = int(get.get("index_x", get["gene_x"]))
        index_y = int(get.get("index_y", get["gene_y"]))
        dc_class = get.get("dc_class")
        records.append({
            "rank": int(get["rank"]), "gene_x": str(get["gene_x"]), "gene_y": str(get["gene_y"]),
            "index_x": index_x, "index_y": index_y,
            "r1": _number(r1), "r2": _number(r2), "c": _number(get["c"]), "score": _number(get["score"]),
            "p": p, "q": _number(get.get("q_value")),
            "dc_class": None if dc_class is None or dc_class != dc_class else str(dc_class),
            "direction": direction(r1, r2)})
    return records


def graph(records, max_edges=None):
    """(nodes, edges, edge attribute names) of the first `max_edges` records.

    A node's id is the gene's name; a name that more than one gene of the
    network carries becomes "NAME|INDEX" for each of them.
    """
    if max_edges is not None:
        records = records[:max(0, max_edges)]
    names = {}
    for r in records:
        names.setdefault(r["gene_x"], set()).add(r["index_x"])
        names.setdefault(r["gene_y"], set()).add(r["index_y"])
    nodes, order = {}, []
    for r in records:
        for name, index in ((r["gene_x"], r["index_x"]), (r["gene_y"], r["index_y"])):
            if index not in nodes:
                node_id = name if len(names[name]) == 1 else "%s|%d" % (name, index)
                nodes[index] = {"id": node_id, "name": name, "index": index, "degree": 0}
                order.append(index)
            nodes[index]["degree"] += 1
    optional = {"q_value": "q", "dc_class": "dc_class"}
    attributes = [(name, kind) for name, kind in EDGE_ATTRIBUTES
                  if name not in optional or any(r[optional[name]] is not None for r in records)]
    edges = []
    for r in records:
        values = {"rank": r["rank"], "score": r["score"], "r1": r["r1"], "r2": r["r2"], "c": r["c"],
                  "p_value": r["p"], "q_value": r["q"], "dc_class": r["dc_class"], "direction": r["direction"]}
        edges.append({"id": "e%d" % r["rank"], "source": nodes[r["index_x"]]["id"],
                      "target": nodes[r["index_y"]]["id"],
                      "data": {name: values[name] for name, _ in attributes if values[name] is not None}})
    return [nodes[i] for i in order], edges, attributes


def graphml(records, max_edges=None):
    """The network as GraphML text (undirected; missing values left out)."""
    nodes, edges, attributes = graph(records, max_edges)
    out = ['<?xml version="1.0" encoding="UTF-8"?>',
           '<graphml xmlns="http://graphml.graphdrawing.org/xmlns">']
    for name, kind in NODE_ATTRIBUTES:
        out.append('  <key id="n_%s" for="node" attr.name="%s" attr.type="%s"/>' % (name, name, kind))
    for name, kind in attributes:
        out.append('  <key id="e_%s" for="edge" attr.name="%s" attr.type="%s"/>' % (name, name, kind))
    out.append('  <graph id="tivarne" edgedefault="undirected">')
    for node in nodes:
        out.append("    <node id=%s>" % quoteattr(node["id"])
                   + "".join('<data key="n_%s">%s</data>' % (name, escape(_text(node[name])))
                             for name, _ in NODE_ATTRIBUTES) + "</node>")
    for edge in edges:
        out.append("    <edge id=%s source=%s target=%s>" % (quoteattr(edge["id"]), quoteattr(edge["source"]),
                                                             quoteattr(edge["target"]))
                   + "".join('<data key="e_%s">%s</data>' % (name, escape(_text(value)))
                             for name, value in edge["data"].items()) + "</edge>")
    out += ["  </graph>", "</graphml>"]
    return "\n".join(out) + "\n"


def cytoscape_json(records, max_edges=None):
    """The network as Cytoscape JSON text (elements: nodes and edges)."""
    nodes, edges, _ = graph(records, max_edges)
    # "value" (the id again), "directed" and "multigraph" are for networkx's reader.
    document = {"format_version": "1.0", "generated_by": "tivarne", "data": {"name": "tivarne"},
                "directed": False, "multigraph": False,
                "elements": {
                    "nodes": [{"data": dict(node, value=node["id"])} for node in nodes],
                    "edges": [{"data": dict(edge["data"], id=edge["id"], source=edge["source"],
                                            target=edge["target"])} for edge in edges]}}
    return json.dumps(document, indent=1, allow_nan=False, ensure_ascii=False) + "\n"


def sif(records, max_edges=None):
    """(SIF text, edge attribute table text): one line "GENE_X direction
    GENE_Y" per edge; the table is keyed by "GENE_X (direction) GENE_Y"."""
    nodes, edges, attributes = graph(records, max_edges)
    lines, table = [], ["\t".join(["edge"] + [name for name, _ in attributes])]
    for edge in edges:
        d = edge["data"]
        lines.append("%s\t%s\t%s" % (edge["source"], d["direction"], edge["target"]))
        table.append("\t".join(["%s (%s) %s" % (edge["source"], d["direction"], edge["target"])]
                               + [_text(d.get(name, "NA")) for name, _ in attributes]))
    return "".join(line + "\n" for line in lines), "\n".join(table) + "\n"


def _text(value):
    return repr(value) if isinstance(value, float) else str(value)


def network_files(records, prefix, formats=("graphml", "cyjs", "sif"), max_edges=None):
    """{path: text} of the network files for `prefix`."""
    files = {}
    for name in formats:
        if name == "graphml":
            files[prefix + ".graphml"] = graphml(records, max_edges)
        elif name == "cyjs":
            files[prefix + ".cyjs"] = cytoscape_json(records, max_edges)
        elif name == "sif":
            files[prefix + ".sif"], files[prefix + ".edges.tsv"] = sif(records, max_edges)
        else:
            raise ValueError("unknown network format %r (graphml, cyjs or sif)" % (name,))
    return files


def write_network(pairs, prefix, formats=("graphml", "cyjs", "sif"), max_edges=None):
    """Write the network of a pair table as GraphML, Cytoscape JSON and SIF.

    Parameters
    ----------
    pairs : pandas.DataFrame
        A table of :func:`tivarne.analyse` (or of :func:`tivarne.read_result`).
    prefix : str
        Path without extension: PREFIX.graphml, PREFIX.cyjs, PREFIX.sif and
        PREFIX.edges.tsv are written, each complete or not at all.
    formats : sequence of {"graphml", "cyjs", "sif"}
        The formats to write.
    max_edges : int, optional
        Only the first `max_edges` pairs become edges (all by default).

    Returns
    -------
    list of str
        The paths written.
    """
    files = network_files(pair_records(pairs), str(prefix), formats, max_edges)
    try:
        write_files(files)
    except InputError as e:
        raise OSError(str(e)) from None
    return list(files)


def result_records(result, genes=None):
    """The records of a result file's (or a pairs table's) pairs, named from
    the names file `genes` (the table's names, or the gene numbers, without
    it)."""
    from ._result_file import gene_numbers, read_result
    pairs = read_result(result)
    if genes is not None:
        names = read_text(genes, "gene").splitlines()
        x, y = gene_numbers(pairs)
        last = max(y, default=0)
        if last > len(names):
            raise InputError("%s: gene %d of %s is beyond its %d names: the files do not belong together."
                             % (genes, last, result, len(names)))
        pairs = pairs.assign(index_x=x, index_y=y, gene_x=[names[g - 1] for g in x],
                             gene_y=[names[g - 1] for g in y])
    return pair_records(pairs)


def _main(argv):
    p = Parser(prog="tivarne-network", description=__doc__.split("\n\n", 2)[2],
               formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("result", metavar="RESULT", help="result file of tivarne")
    p.add_argument("--genes", metavar="GENES", help="gene IDs, one per line in the order of the expression file")
    p.add_argument("-o", dest="prefix", required=True, metavar="PREFIX", help="path of the files without extension")
    p.add_argument("--max-edges", type=int, metavar="N", help="only the N best pairs (default: all)")
    p.add_argument("--format", default="graphml,cyjs,sif", metavar="LIST",
                   help="comma-separated formats among graphml, cyjs, sif (default: all three)")
    args = p.parse_args(argv)
    formats = [f.strip() for f in args.format.split(",") if f.strip()]
    unknown = [f for f in formats if f not in FORMATS]
    if unknown or not formats:
        p.error("--format %s: expected graphml, cyjs and/or sif" % args.format)
    if args.max_edges is not None and args.max_edges < 1:
        p.error("--max-edges must be at least 1, got %d" % args.max_edges)
    records = result_records(args.result, args.genes)
    write_files(network_files(records, args.prefix, formats, args.max_edges))
    if not records:
        sys.stderr.write("Note: %s has no gene pairs; the network is empty.\n" % args.result)


def main(argv=None):
    return run(_main, argv)


if __name__ == "__main__":
    sys.exit(main())
