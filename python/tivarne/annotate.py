"""tivarne-annotate: the rows of a tivarne result file with gene names.

    tivarne-annotate RESULT --genes GENES [-o OUT]

RESULT is a result file of the command line tivarne, GENES the gene IDs of the
run's expression file, one per line in its order (genes.txt of tivarne-prep).
Writes one TAB-separated line per pair, best first, under the header
    rank score log10_p gene_x gene_y name_x name_y r1 r2 c
(numbers as in RESULT: two decimals, -inf and nan) to OUT or standard output:
no settings block, no blanks in the names, ready for R, pandas and network tools.
"""
import argparse
import sys

from ._tool import Parser, InputError, read_text, run, where, write_files

RULE = "-" * 49
FILE_COLUMNS = ["rank", "score(WCOR)", "log10(p-value(ECOR))", "gene X", "gene Y", "r1", "r2",
                "weight c"]
COLUMNS = ["rank", "score", "log10_p", "gene_x", "gene_y", "name_x", "name_y", "r1", "r2", "c"]
NO_PAIRS = "---No significant gene pairs---"


def read_rows(path):
    """The rows of a result file as lists of their 8 printed fields."""
    lines = read_text(path, "result").split("\n")
    if lines[-1] == "":
        lines.pop()
    if (len(lines) < 6 or lines[0] != "Results of TIVARNE:" or lines[1] != RULE
            or lines[4] != RULE):
        raise InputError("%s is not a tivarne result file (expected its first line "
                         '"Results of TIVARNE:" and a block of settings).' % path)
    if lines[5:] == ["", NO_PAIRS]:
        return []
    if [name.strip() for name in lines[5].split("\t")] != FILE_COLUMNS:
        raise InputError("%s: not the header of a tivarne result file." % where(path, 6))
    rows = []
    for number, line in enumerate(lines[6:], start=7):
        fields = line.split("\t")
        try:
            if len(fields) != 8:
                raise ValueError
            [float(v) for v in fields]
            gene_x, gene_y = int(fields[3]), int(fields[4])
        except ValueError:
            raise InputError("%s: not a row of 8 numbers; expected rank, score, log10 p, gene X, "
                             "gene Y, r1, r2, c." % where(path, number))
        if not 1 <= gene_x < gene_y:
            raise InputError("%s: gene numbers %d and %d; expected 1 <= gene X < gene Y."
                             % (where(path, number), gene_x, gene_y))
        rows.append(["nan" if v == "-nan" else v for v in fields])
    return rows


def annotated(result, genes):
    """The table's text: header and one line per row of `result`."""
    rows = read_rows(result)
    names = read_text(genes, "gene").splitlines()
    out = ["\t".join(COLUMNS)]
    for row in rows:
        gene_x, gene_y = int(row[3]), int(row[4])
        if gene_y > len(names):
            raise InputError("%s: gene %d of %s is beyond its %d names: the files do not belong "
                             "together." % (genes, gene_y, result, len(names)))
        out.append("\t".join(row[:5] + [names[gene_x - 1], names[gene_y - 1]] + row[5:]))
    return "\n".join(out) + "\n", len(rows)


def _main(argv):
    p = Parser(prog="tivarne-annotate", description=__doc__.split("\n\n", 2)[2],
               formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("result", metavar="RESULT", help="result file of tivarne")
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
