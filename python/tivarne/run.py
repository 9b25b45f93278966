"""tivarne-analyse: tivarne's input files through the Python package, to a pairs table.

    tivarne-analyse EXPRESSION LABELS [--genes GENES] -o OUT [--level L]
                    [--max-pairs N] [--adjust BH|none] [--order score|p_value]
                    [--threads T] [--gene-table GENES_OUT] [--class-level L]
                    [--focus-gene G ... [--within] | --focus-pair A B ...]

EXPRESSION and LABELS are files in tivarne's own format (tivarne-prep's
expr.txt and labels.txt), read as the command line reads them. The analysis
is the library's, as in tivarne.analyse(); by default it selects by
Benjamini-Hochberg q-value at 0.05 (a false discovery rate of 5 %), not by
each pair's own p-value: over millions of pairs a per-pair level lets through
about level x pairs by chance alone. Writes the pairs table OUT (TAB-separated:
rank score log10_p gene_x gene_y [name_x name_y] r1 r2 c p_value [q_value]
dc_class, numbers in full precision; dc_class: the correlation classes such as
"+/0", by Student's t on each class's midcorrelation at --class-level) and
prints a one-line summary; --gene-table writes the gene table next to it (the
columns of tivarne.rewired_genes(), with the gene's row as index). A focused
analysis scores only the pairs of the --focus-gene genes (names of GENES, or
row numbers from 1; with --within only the pairs among them) or the listed
--focus-pair pairs, and BH counts only them. With GENES (one
name per line, genes.txt of tivarne-prep) the table names the genes. Files
beside a manifest of tivarne-prep must be the ones it records; its class
names name the classes.
"""
import argparse
import sys
import warnings

import numpy as np

from ._classes import SmallClassWarning
from ._format import check_files
from ._manifest import data_set
from ._result_file import pairs_text
from ._tool import InputError, Parser, read_text, run, write_files


def _class_name(value, fallback):
    text = ", ".join(map(str, value)) if isinstance(value, list) else str(value)
    return text or fallback


def analyse_files(expression, labels, genes=None, gene_table=False, focus=None, **options):
    """(pairs, gene names or None, [warnings], gene table text or None) of
    tivarne's files, checked."""
    from ._analysis import _run  # the compiled part, only here

    record = data_set(expression, labels, genes)
    values, classes = check_files(expression, labels)
    names = None
    if genes is not None:
        names = read_text(genes, "gene").splitlines()
        if len(names) != len(values):
            raise InputError("%s: %d names; expected %d, one per gene of %s." % (genes, len(names), len(values),
                                                                                 expression))
    class1, class2 = "1", "0"
    if record is not None:
        class1, class2 = (_class_name(record[c], d) for c, d in (("class1", "1"), ("class2", "0")))
        if class1 == class2:
            class1, class2 = "1", "0"
    named = np.where(np.asarray(classes) == 1, class1, class2)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always", SmallClassWarning)
        try:
            options.update(focus or {})
            if names is not None and focus:
                import pandas as pd  # focus genes named by GENES
                values = pd.DataFrame(values, index=names, copy=False)
            pairs, out, _ = _run(values, named, class1=class1, class2=class2, gene_summary=gene_table, **options)
        except ValueError as e:
            raise InputError("%s, %s: %s." % (expression, labels, str(e).rstrip(".")))
    table = None
    if gene_table:
        from ._rewired import gene_frame, gene_table_text
        genes_frame = gene_frame(out, None if names is None else np.asarray(names, dtype=object), pairs.attrs)
        table = gene_table_text(genes_frame, np.asarray(out["gene_table"]["gene"], dtype=np.int64) + 1)
    return pairs, names, [str(w.message) for w in caught if issubclass(w.category, SmallClassWarning)], table


def _gene(text):
    """A gene of the command line: a row number when it is one and not a name."""
    return int(text) if text.isdigit() else text


def summary(pairs, output):
    a = pairs.attrs
    rule = ("q <= %g (Benjamini-Hochberg over %d tested pairs" % (a["level"], a["tested"]) if a["adjust"] == "BH"
            else "p <= %g (each pair's own p-value" % a["level"])
    return ('tivarne-analyse: %d pairs with %s, at most %d kept) among %d pairs of %d genes; class 1 "%s": %d '
            'samples, class 2 "%s": %d samples%s; wrote %s'
            % (len(pairs), rule, a["max_pairs"], a["pairs"], a["genes"], _class_name(a["class1"], "1"), a["n1"],
               _class_name(a["class2"], "0"), a["n2"], "; %d pairs without a p-value" % a["without_p_value"]
               if a["without_p_value"] else "", output))


def _main(argv):
    p = Parser(prog="tivarne-analyse", description=__doc__.split("\n\n", 2)[2],
               formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("expression", metavar="EXPRESSION", help="expression file in tivarne's format")
    p.add_argument("labels", metavar="LABELS", help="label file in tivarne's format")
    p.add_argument("--genes", metavar="GENES", help="gene names, one per line in the order of EXPRESSION")
    p.add_argument("-o", dest="output", required=True, metavar="OUT", help="pairs table to write")
    p.add_argument("--level", type=float, default=0.05,
                   help="a pair is selected when its q-value (its p-value with --adjust none) is at or below it "
                   "(default 0.05)")
    p.add_argument("--max-pairs", type=int, default=20, metavar="N", help="at most N pairs (default 20)")
    p.add_argument("--adjust", choices=["BH", "none"], default="BH",
                   help="BH: Benjamini-Hochberg q-values, a false discovery rate (default); none: each pair's own "
                   "p-value")
    p.add_argument("--order", choices=["score", "p_value"], default="score",
                   help="walk and rows by score, best first (default), or by p-value")
    p.add_argument("--threads", type=int, metavar="T", help="threads (default: all cores, or OMP_NUM_THREADS)")
    p.add_argument("--gene-table", metavar="GENES_OUT", help="also write the gene table (every gene's passing pairs "
                   "over all pairs and its over-representation test)")
    p.add_argument("--class-level", type=float, default=0.05, metavar="L",
                   help="level of the correlation classes, column dc_class (default 0.05)")
    p.add_argument("--focus-gene", action="append", metavar="G", help="focus on the pairs of gene G (repeatable)")
    p.add_argument("--within", action="store_true", help="with --focus-gene: only the pairs among those genes")
    p.add_argument("--focus-pair", nargs=2, action="append", metavar=("A", "B"), help="focus on this pair (repeatable)")
    args = p.parse_args(argv)
    focus = {}
    if args.focus_gene:
        focus = {"genes": [_gene(g) for g in args.focus_gene], "within": args.within}
    elif args.within:
        p.error("--within goes with --focus-gene")
    if args.focus_pair:
        focus["pairs"] = [tuple(_gene(g) for g in pair) for pair in args.focus_pair]
    if not -2**31 <= args.max_pairs < 2**31:
        p.error("--max-pairs takes -2147483648 to 2147483647")
    pairs, names, small, table = analyse_files(
        args.expression, args.labels, args.genes, bool(args.gene_table), level=args.level, max_pairs=args.max_pairs,
        adjust=None if args.adjust == "none" else "BH", order=args.order, threads=args.threads,
        class_level=args.class_level, focus=focus)
    write_files(dict({args.output: pairs_text(pairs, names)}, **({args.gene_table: table} if table else {})))
    print(summary(pairs, args.output))
    for text in small:
        sys.stderr.write("Warning: %s\n" % text)


def main(argv=None):
    return run(_main, argv)


if __name__ == "__main__":
    sys.exit(main())
