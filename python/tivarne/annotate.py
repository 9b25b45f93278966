"""tivarne-annotate: the rows of a tivarne result with gene names.

    tivarne-annotate RESULT --genes GENES [-o OUT] [--classes] [--gene-table GENES_OUT]
                     [--expression EXPR --labels LABELS] [--level L] [--adjust BH]

RESULT is a result file of the command line tivarne (or a pairs table of
tivarne-analyse), GENES the gene IDs of the run's expression file, one per
line in its order (genes.txt of tivarne-prep). Writes one TAB-separated line
per pair, best first, under the header
    rank score log10_p gene_x gene_y name_x name_y r1 r2 c [p_value] [q_value]
(numbers as in RESULT: a result file's two decimals, -inf and nan; q-values
whenever RESULT has them) to OUT or standard output: no settings block, no
blanks in the names, ready for R, pandas and network tools.

When GENES lies in a folder of tivarne-prep (beside its manifest.json), the
result is checked against that data set: the genes file must be the one
tivarne-prep wrote, no gene number may exceed its genes, and the r1 and r2
of the rows must be those of its expr.txt and labels.txt. Names of another
data set are refused.

With the run's expression and label files (--expression and --labels, or
those of the tivarne-prep folder of GENES) and the compiled package:
--classes adds each row's correlation classes (column dc_class, e.g. "+/0":
per class "+" or "-" when the pair's exact midcorrelation differs from 0 at
--class-level, default 0.05, by Student's t on n - 2 degrees of freedom, else
"0"); --gene-table GENES_OUT writes the run's gene table next to the pair
table (every gene's passing pairs over all pairs at the run's level, its
over-representation test; the columns of tivarne.rewired_genes() with the
gene's row as index).
"""
import os
import argparse
import sys

from ._manifest import check_result
from ._result_file import gene_numbers, pairs_text, read_result
from ._tool import InputError, Parser, read_text, run, write_files


def annotated(result, genes, expression=None, labels=None, gene_table=False, classes=False, class_level=0.05,
              level=None, adjust=None, threads=None):
    """The table's text, its number of rows, and the gene table's text (None
    unless asked for)."""
    pairs = read_result(result)
    names = read_text(genes, "gene").splitlines()
    record = check_result(result, pairs, expression, labels, genes=genes)
    if len(pairs):
        beyond = max(gene_numbers(pairs)[1])
        if beyond > len(names):
            raise InputError("%s: gene %d of %s is beyond its %d names: the files do not belong together."
                             % (genes, beyond, result, len(names)))
    if not (gene_table or classes):
        return pairs_text(pairs, names), len(pairs), None
    if expression is None and record is not None:
        expression, labels = (os.path.join(record["folder"], record["files"][role]["name"])
                              for role in ("expression", "labels"))
    if expression is None or not (os.path.exists(expression) and os.path.exists(labels)):
        raise InputError("--gene-table and --classes need the run's expression and label files: give --expression "
                         "and --labels, or a GENES file in the folder of tivarne-prep.")
    if level is None:
        if pairs.attrs.get("format") != "result file":
            raise InputError("%s is a pairs table, which does not record its level: give the run's --level (and "
                             "--adjust BH if it used it)." % result)
        level = pairs.attrs["level"]
    from ._rewired import files_analysis, gene_table_text
    x, y = gene_numbers(pairs)
    try:
        table, index, focused = files_analysis(expression, labels, names, level, adjust,
                                               [(int(a), int(b)) for a, b in zip(x, y)] if classes else None,
                                               threads, class_level)
    except ValueError as e:
        raise InputError("%s, %s: %s." % (expression, labels, str(e).rstrip(".")))
    if classes:
        by_pair = dict(zip(zip(focused.index_x, focused.index_y), focused.dc_class))
        pairs = pairs.copy()
        pairs["dc_class"] = [by_pair[(int(a), int(b))] for a, b in zip(x, y)]
    return pairs_text(pairs, names), len(pairs), gene_table_text(table, index) if gene_table else None


def _main(argv):
    p = Parser(prog="tivarne-annotate", description=__doc__.split("\n\n", 2)[2],
               formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("result", metavar="RESULT", help="result file of tivarne, or a pairs table")
    p.add_argument("--genes", required=True, metavar="GENES",
                   help="gene IDs, one per line in the order of the expression file")
    p.add_argument("-o", dest="output", metavar="OUT", help="table to write (default: standard output)")
    p.add_argument("--gene-table", metavar="GENES_OUT", help="also write the run's gene table")
    p.add_argument("--expression", metavar="EXPR", help="the run's expression file (default: that of the folder of "
                   "tivarne-prep of GENES)")
    p.add_argument("--labels", metavar="LABELS", help="the run's label file")
    p.add_argument("--classes", action="store_true", help="add the correlation classes (column dc_class)")
    p.add_argument("--class-level", type=float, default=0.05, metavar="L",
                   help="level of the correlation classes (default 0.05)")
    p.add_argument("--level", type=float, metavar="L",
                   help="the run's level, for the gene table (default: that of RESULT's settings)")
    p.add_argument("--adjust", choices=["BH", "none"], default="none", help="the run's adjustment (default none)")
    p.add_argument("--threads", type=int, metavar="T", help="threads of the gene table's run")
    args = p.parse_args(argv)
    if (args.expression is None) != (args.labels is None):
        p.error("--expression and --labels go together")
    if args.gene_table and not args.output:
        p.error("--gene-table goes with -o (the pair table is written next to it)")
    text, count, genes = annotated(args.result, args.genes, args.expression, args.labels, bool(args.gene_table),
                                   args.classes, args.class_level, args.level,
                                   None if args.adjust == "none" else "BH", args.threads)
    if args.output:
        write_files(dict({args.output: text}, **({args.gene_table: genes} if genes is not None else {})))
    else:
        sys.stdout.write(text)
    if count == 0:
        sys.stderr.write("Note: %s has no gene pairs; the table has its header only.\n" % args.result)


def main(argv=None):
    return run(_main, argv)


if __name__ == "__main__":
    sys.exit(main())
