"""tivarne-annotate: the rows of a tivarne result with gene names.

    tivarne-annotate RESULT --genes GENES [-o OUT]

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
"""
import argparse
import sys

from ._manifest import check_result
from ._result_file import gene_numbers, pairs_text, read_result
from ._tool import InputError, Parser, read_text, run, write_files


def annotated(result, genes):
    """The table's text and its number of rows."""
    pairs = read_result(result)
    names = read_text(genes, "gene").splitlines()
    check_result(result, pairs, genes=genes)
    if len(pairs):
        beyond = max(gene_numbers(pairs)[1])
        if beyond > len(names):
            raise InputError("%s: gene %d of %s is beyond its %d names: the files do not belong together."
                             % (genes, beyond, result, len(names)))
    return pairs_text(pairs, names), len(pairs)


def _main(argv):
    p = Parser(prog="tivarne-annotate", description=__doc__.split("\n\n", 2)[2],
               formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("result", metavar="RESULT", help="result file of tivarne, or a pairs table")
    p.add_argument("--genes", required=True, metavar="GENES",
                   help="gene IDs, one per line in the order of the expression file")
    p.add_argument("-o", dest="output", metavar="OUT", help="table to write (default: standard output)")
    args = p.parse_args(argv)
    text, count = annotated(args.result, args.genes)
    if args.output:
        write_files({args.output: text})
    else:
        sys.stdout.write(text)
    if count == 0:
        sys.stderr.write("Note: %s has no gene pairs; the table has its header only.\n" % args.result)


def main(argv=None):
    return run(_main, argv)


if __name__ == "__main__":
    sys.exit(main())
