"""tivarne-prep: from an expression table to tivarne's input files.

    tivarne-prep TABLE (--samples SHEET --class-column NAME | --class-row NAME |
                        --geo-class KEY | --labels LABELS) [--class1 VALUE]...
                 [--class2 VALUE]... [--where COLUMN=VALUE]... [options] -o OUTDIR
    tivarne-prep --check -e EXPRESSION -l LABELS

TABLE is a delimited text table (tab, comma, semicolon or blanks, detected;
gzip-compressed or not) with a header row of sample names and a column of gene
IDs, or a GEO series matrix file, or, with --labels, an expression file in
tivarne's own format. Class 1 and class 2 are values of the class source, or
patterns ('B*'), or repeated options whose classes are merged; samples in
neither class, or not meeting --where, are left out and counted. Classes of
fewer than 3 samples are refused, fewer than 10 warned about. Writes
OUTDIR/expr.txt, OUTDIR/labels.txt, OUTDIR/genes.txt (the gene IDs in the
order of expr.txt) and OUTDIR/manifest.json (counts, classes and checksums,
which tivarne-annotate, tivarne-plot and tivarne-analyse check) and prints a
summary. --check names the first problem of
files already in tivarne's format.
"""
import argparse
import os
import sys

import numpy as np
import pandas as pd

from . import _format
from ._classes import MIN_CLASS_SIZE
from ._genes import count, filter_genes, no_spread
from ._manifest import NAME as MANIFEST, ROLES, manifest_text
from ._samples import assign_classes
from ._tables import listed, read
from ._tool import InputError, Parser, run, write_files


def prepare(args):
    if not os.path.isdir(args.outdir) and os.path.exists(args.outdir):
        raise InputError('"%s" is not a directory (-o).' % args.outdir)
    table = read(args.table, labels=args.labels, id_column=args.id_column, skip_columns=args.skip_column,
                 class_row=args.class_row)
    labels, kept_samples, samples_line, chosen, small = assign_classes(table, args)
    values = table.values[:, kept_samples]
    rows, values, dropped, notes = filter_genes(values, labels, args.missing, args.drop_flat, args.top_variable)
    total = len(table.ids)
    if len(values) > _format.MAX_GENES:
        raise InputError("%s: %d genes left, more than tivarne takes (%d): keep the most variable "
                         "ones with --top-variable N (e.g. --top-variable 20000), or filter the "
                         "table first (e.g. genes with low expression)."
                         % (args.table, len(values), _format.MAX_GENES))
    if len(values) < 2:
        raise InputError("%s: %d of %d genes left (%s); expected at least 2 for a pair."
                         % (args.table, len(values), total, "; ".join(dropped) or "none dropped"))
    ids = [table.ids[k].translate({9: " ", 10: " ", 13: " "}) for k in rows]
    lines = ["read: %s (%s): %d genes x %d samples" % (args.table, table.kind, total,
                                                       len(table.samples)), samples_line]
    lines.append("genes: %d kept" % len(values)
                 + (", %d dropped: %s" % (total - len(values), "; ".join(dropped)) if dropped else ""))
    lines += ["note: " + note for note in notes]
    flat = np.flatnonzero(no_spread(values, labels))
    if len(flat):
        lines.append("note: %s without spread within a class (median absolute deviation 0, "
                     "e.g. constant): their pairs get no p-value; --drop-flat drops them (%s)"
                     % (count(len(flat), "gene"), listed(ids[k] for k in flat)))
    repeated = pd.Index(ids)[pd.Index(ids).duplicated()].unique()
    if len(repeated):
        lines.append("note: %s more than once (%s); genes.txt keeps every line"
                     % (count(len(repeated), "gene ID"), listed(repeated)))
    os.makedirs(args.outdir, exist_ok=True)
    texts = {"expression": _format.expression_text(values), "labels": _format.labels_text(labels),
             "genes": "".join(name + "\n" for name in ids)}
    manifest = manifest_text(texts, source=os.path.abspath(args.table), genes=len(values), samples=len(labels),
                             class1=chosen.class1, class2=chosen.class2, n1=chosen.n1, n2=chosen.n2,
                             left_out=len(table.samples) - len(labels))
    files = {os.path.join(args.outdir, ROLES[role]): text for role, text in texts.items()}
    files[os.path.join(args.outdir, MANIFEST)] = manifest
    write_files(files)
    lines.append("wrote: %s" % ", ".join(files))
    print("\n".join(lines))
    for text in small:
        sys.stderr.write("Warning: %s\n" % text)


def check(args):
    values, labels = _format.check_files(args.expression, args.labels_file)
    n1 = sum(labels)
    print("%s, %s: %d genes x %d samples, %d in class 1 and %d in class 2: tivarne can read them."
          % (args.expression, args.labels_file, len(values), len(labels), n1, len(labels) - n1))
    sizes = [(1, n1), (2, len(labels) - n1)]
    small = ["class %d has %s" % (c, count(n, "sample")) for c, n in sizes if n < MIN_CLASS_SIZE]
    if small:  # then every gene lacks spread there: the class, not the genes, is the problem
        print("note: %s: its correlations and their p-values carry no information; tivarne-prep and "
              "the Python and R packages refuse classes of fewer than %d samples" % (" and ".join(small),
                                                                                     MIN_CLASS_SIZE))
        return
    flat = np.flatnonzero(no_spread(values, np.array(labels))) if len(values) else []
    if len(flat):
        print("note: %s without spread within a class (median absolute deviation 0): their "
              "pairs get no p-value (lines %s)" % (count(len(flat), "gene"),
                                                   listed(str(k + 1) for k in flat)))


def condition(text):
    column, equals, value = text.partition("=")
    if not equals or not column:
        raise argparse.ArgumentTypeError("expected COLUMN=VALUE, got %r" % text)
    return column, value


def parser():
    p = Parser(prog="tivarne-prep", description=__doc__.split("\n\n", 2)[2],
               formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("table", nargs="?", metavar="TABLE", help="expression table or GEO series matrix")
    p.add_argument("-o", dest="outdir", metavar="OUTDIR",
                   help="directory for expr.txt, labels.txt, genes.txt and manifest.json (made if missing)")
    c = p.add_argument_group("classes (one of)")
    c.add_argument("--samples", metavar="SHEET", help="sample sheet: a sample name column and a class column")
    c.add_argument("--class-row", metavar="ID", help="the row of TABLE with this ID holds the classes")
    c.add_argument("--geo-class", metavar="KEY", help='GEO characteristic ("disease state") or '
                   "field (!Sample_source_name_ch1) that holds the classes")
    c.add_argument("--labels", metavar="LABELS", help="TABLE is in tivarne's format, LABELS its label file")
    c.add_argument("--class-column", metavar="NAME", help="class column of the sample sheet")
    c.add_argument("--sample-column", metavar="NAME", help="sample name column of the sheet (default: the first)")
    c.add_argument("--class1", metavar="VALUE", action="append",
                   help="the class that becomes class 1 (label 1): a value or a pattern such as 'B*'; "
                   "repeated, the classes are merged")
    c.add_argument("--class2", metavar="VALUE", action="append",
                   help="class 2, given like --class1; needed when there are more than two classes; "
                   "samples in neither class are left out")
    c.add_argument("--allow-missing-samples", action="store_true",
                   help="go on when samples of class 1 or 2 in the sheet are not columns of TABLE (they "
                   "are left out and listed); without it, that is an error")
    c.add_argument("--where", metavar="COLUMN=VALUE", action="append", default=[], type=condition,
                   help="use only the samples whose COLUMN of the sample sheet (or GEO field) is VALUE "
                   "(a value or a pattern); repeated for one column: any of the values, for several "
                   "columns: all of them")
    g = p.add_argument_group("genes")
    g.add_argument("--id-column", metavar="NAME", help="column of gene IDs (default: the first)")
    g.add_argument("--skip-column", metavar="NAME", action="append", default=[],
                   help="annotation column to leave out (repeatable)")
    g.add_argument("--missing", choices=["drop", "class-median"], default="drop",
                   help="genes with missing values: drop them (default) or fill each missing "
                   "value with the median of its gene in its class")
    g.add_argument("--drop-flat", action="store_true",
                   help="drop genes without spread within a class (no p-value for their pairs)")
    g.add_argument("--top-variable", metavar="N", type=int,
                   help="keep the N genes of largest variance (at most %d)" % _format.MAX_GENES)
    k = p.add_argument_group("checking files in tivarne's format")
    k.add_argument("--check", action="store_true", help="check -e and -l and name the first problem")
    k.add_argument("-e", dest="expression", metavar="EXPRESSION", help="expression file")
    k.add_argument("-l", dest="labels_file", metavar="LABELS", help="label file")
    return p


def _main(argv):
    p = parser()
    args = p.parse_args(argv)
    if args.check:
        if not (args.expression and args.labels_file) or args.table or args.outdir:
            p.error("--check takes -e EXPRESSION and -l LABELS only")
        return check(args)
    if args.expression or args.labels_file:
        p.error("-e and -l go with --check; to prepare a table give TABLE and -o OUTDIR")
    if not args.table or not args.outdir:
        p.error("give TABLE and -o OUTDIR")
    sources = [o for o, v in (("--samples", args.samples), ("--class-row", args.class_row),
                              ("--geo-class", args.geo_class), ("--labels", args.labels)) if v is not None]
    if len(sources) != 1:
        p.error("name the classes with exactly one of --samples, --class-row, --geo-class, --labels"
                + (" (given: %s)" % " ".join(sources) if sources else ""))
    if args.samples and not args.class_column:
        p.error("--samples needs --class-column NAME")
    if args.top_variable is not None and not 1 <= args.top_variable <= _format.MAX_GENES:
        p.error("--top-variable takes 1 to %d" % _format.MAX_GENES)
    prepare(args)


def main(argv=None):
    return run(_main, argv)


if __name__ == "__main__":
    sys.exit(main())
