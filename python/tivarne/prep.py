"""tivarne-prep: from an expression table to tivarne's input files.

    tivarne-prep TABLE (--samples SHEET --class-column NAME | --class-row NAME |
                        --geo-class KEY | --labels LABELS) [--class1 VALUE]
                 [--class2 VALUE] [options] -o OUTDIR
    tivarne-prep --check -e EXPRESSION -l LABELS

TABLE is a delimited text table (tab, comma, semicolon or blanks, detected;
gzip-compressed or not) with a header row of sample names and a column of gene
IDs, or a GEO series matrix file, or, with --labels, an expression file in
tivarne's own format. Writes OUTDIR/expr.txt, OUTDIR/labels.txt and
OUTDIR/genes.txt (the gene IDs in the order of expr.txt) and prints a summary.
--check names the first problem of files already in tivarne's format.
"""
import argparse
import os
import sys

import numpy as np
import pandas as pd

from . import _format
from ._genes import count, filter_genes, no_spread
from ._tables import GEO, geo_field, listed, read, read_sheet
from ._tool import InputError, Parser, run, write_files


def classes_of(table, args):
    """({sample: class or None}, the file they come from)."""
    if args.samples:
        sheet = read_sheet(args.samples, args.sample_column)
        return sheet.column(args.class_column, "--class-column"), args.samples
    if args.class_row is not None:
        return table.fields["class row"], args.table
    if args.labels:
        return table.fields["labels"], args.labels
    if table.kind != GEO:
        raise InputError("%s is not a GEO series matrix; --geo-class needs one." % args.table)
    try:
        return geo_field(table, args.geo_class), args.table
    except InputError as e:
        raise InputError("%s: %s" % (args.table, e))


def assign_classes(table, args):
    """(per kept sample: 1 or 0, kept sample indices, summary lines)."""
    source, path = classes_of(table, args)
    found = [source.get(sample) for sample in table.samples]
    counts = {}
    for value in found:
        if value is not None:
            counts[value] = counts.get(value, 0) + 1
    listing = ", ".join('"%s" (%d)' % item for item in counts.items()) or "none"
    class1, class2 = args.class1, args.class2
    if class1 is None:
        if set(counts) != {"0", "1"}:
            raise InputError("%s: name class 1 with --class1; the classes of the samples: %s."
                             % (path, listing))
        class1 = "1"
    if class1 not in counts:
        raise InputError('%s: no sample of class "%s" (--class1); the classes of the samples: %s.'
                         % (path, class1, listing))
    others = [value for value in counts if value != class1]
    if class2 is None:
        if not others:
            raise InputError('%s: all samples with a class are of class "%s"; expected two classes.'
                             % (path, class1))
        if len(others) > 1:
            raise InputError("%s: more than two classes; pick class 2 with --class2 (the classes of "
                             "the samples: %s)." % (path, listing))
        class2 = others[0]
    elif class2 not in others:
        raise InputError('%s: no sample of class "%s" (--class2) besides class 1; the classes of '
                         "the samples: %s." % (path, class2, listing))
    kept = [k for k, value in enumerate(found) if value in (class1, class2)]
    labels = [1 if found[k] == class1 else 0 for k in kept]
    out = {}
    for sample, value in zip(table.samples, found):
        if value not in (class1, class2):
            why = ('of class "%s"' % value if value is not None else "without a class"
                   if sample in source else "not in the sample sheet")
            out.setdefault(why, []).append(sample)
    line = "samples: %d kept: %d in class 1 (%s), %d in class 2 (%s)" % (
        len(kept), sum(labels), class1, len(labels) - sum(labels), class2)
    if out:
        line += "; %d left out: %s" % (sum(map(len, out.values())), "; ".join(
            "%d %s (%s)" % (len(names), why, listed(names)) for why, names in out.items()))
    unused = [name for name in source if name not in set(table.samples)] if args.samples else []
    if unused:
        line += "\nnote: %s of the sheet not in the table (%s)" % (count(len(unused), "sample"),
                                                                   listed(unused))
    if len(kept) > _format.MAX_SAMPLES:
        raise InputError("%s: %d samples; tivarne takes at most %d."
                         % (args.table, len(kept), _format.MAX_SAMPLES))
    return np.array(labels), kept, line


def prepare(args):
    if not os.path.isdir(args.outdir) and os.path.exists(args.outdir):
        raise InputError('"%s" is not a directory (-o).' % args.outdir)
    table = read(args.table, labels=args.labels, id_column=args.id_column, skip_columns=args.skip_column,
                 class_row=args.class_row)
    labels, kept_samples, samples_line = assign_classes(table, args)
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
    paths = [os.path.join(args.outdir, name) for name in ("expr.txt", "labels.txt", "genes.txt")]
    write_files(dict(zip(paths, [_format.expression_text(values), _format.labels_text(labels),
                                 "".join(name + "\n" for name in ids)])))
    lines.append("wrote: %s" % ", ".join(paths))
    print("\n".join(lines))


def check(args):
    values, labels = _format.check_files(args.expression, args.labels_file)
    n1 = sum(labels)
    print("%s, %s: %d genes x %d samples, %d in class 1 and %d in class 2: tivarne can read them."
          % (args.expression, args.labels_file, len(values), len(labels), n1, len(labels) - n1))
    flat = np.flatnonzero(no_spread(values, np.array(labels))) if len(values) else []
    if len(flat):
        print("note: %s without spread within a class (median absolute deviation 0): their "
              "pairs get no p-value (lines %s)" % (count(len(flat), "gene"),
                                                   listed(str(k + 1) for k in flat)))


def parser():
    p = Parser(prog="tivarne-prep", description=__doc__.split("\n\n", 2)[2],
               formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("table", nargs="?", metavar="TABLE", help="expression table or GEO series matrix")
    p.add_argument("-o", dest="outdir", metavar="OUTDIR",
                   help="directory for expr.txt, labels.txt and genes.txt (made if missing)")
    c = p.add_argument_group("classes (one of)")
    c.add_argument("--samples", metavar="SHEET", help="sample sheet: a sample name column and a class column")
    c.add_argument("--class-row", metavar="ID", help="the row of TABLE with this ID holds the classes")
    c.add_argument("--geo-class", metavar="KEY", help='GEO characteristic ("disease state") or '
                   "field (!Sample_source_name_ch1) that holds the classes")
    c.add_argument("--labels", metavar="LABELS", help="TABLE is in tivarne's format, LABELS its label file")
    c.add_argument("--class-column", metavar="NAME", help="class column of the sample sheet")
    c.add_argument("--sample-column", metavar="NAME", help="sample name column of the sheet (default: the first)")
    c.add_argument("--class1", metavar="VALUE", help="the class that becomes class 1 (label 1)")
    c.add_argument("--class2", metavar="VALUE", help="class 2, when there are more than two classes")
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
