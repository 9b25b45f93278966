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
import csv
import io
import os
import re
import sys
import warnings

import numpy as np
import pandas as pd

from . import _format
from ._tool import Parser, ToolError, read_text, run, where, write_files

NA_TOKENS = ["", "NA", "na", "N/A", "n/a", "#N/A", "NaN", "nan", "NAN", "-nan", "null", "NULL",
             "Null", "None"]
_MISSING = {t.lower() for t in NA_TOKENS}
SEPARATORS = {"\t": "tab-separated", ";": "semicolon-separated", ",": "comma-separated",
              " ": "blank-separated"}


class Table:
    """Genes x samples: IDs, the file line of each gene, sample names, values
    (NaN where missing), per-sample fields {name: {sample: value}}."""

    def __init__(self, kind, ids, lines, samples, values, fields):
        self.kind, self.ids, self.lines, self.samples = kind, ids, lines, samples
        self.values, self.fields = values, fields


def _listed(names, limit=5):
    names = list(names)
    return ", ".join(names[:limit]) + (", ..." if len(names) > limit else "")


def _count(n, noun):
    return "%d %s%s" % (n, noun, "" if n == 1 else "s")


def _separator(line):
    if "\t" in line:
        return "\t"
    counts = {sep: line.count(sep) for sep in ";,"}
    best = max(counts, key=counts.get)
    return best if counts[best] else " "


def _lines(text):
    """The lines of a text with LF or CR LF line ends."""
    return [line[:-1] if line.endswith("\r") else line for line in text.split("\n")]


def _rows(lines, start, sep):
    """(line number, fields) of lines[start:], blank lines left out."""
    dialect = dict(delimiter=sep, skipinitialspace=sep == " ")
    for index in range(start, len(lines)):
        line = lines[index]
        if line.strip():
            yield index + 1, next(csv.reader([line], **dialect))


def _column(header, name, path, option):
    try:
        return header.index(name)
    except ValueError:
        raise ToolError('%s: no column "%s" (%s) in the header; columns: %s.'
                        % (path, name, option, _listed(header, 12)))


def _body(path, lines, start, end, sep, args, kind):
    """The table whose header is lines[start] and whose rows run to lines[end]."""
    rows = _rows(lines[:end], start, sep)
    try:
        header_line, header = next(rows)
    except StopIteration:
        raise ToolError("%s: no header line; expected a header row of sample names." % path)
    header = [name.strip() for name in header]
    ids, numbers, kept, class_row = [], [], [], None
    width = None
    for number, row in rows:
        if width is None:
            width = len(row)
            if width == len(header) + 1:  # R's write.table: no name over the row names
                header = [""] + header
            id_index = _column(header, args.id_column, path, "--id-column") if args.id_column else 0
            skipped = {_column(header, name, path, "--skip-column") for name in args.skip_column}
            sample_index = [k for k in range(len(header)) if k != id_index and k not in skipped]
        if len(row) != width or width != len(header):
            raise ToolError("%s: %d fields; expected %d, as in the header (line %d)."
                            % (where(path, number), len(row), len(header), header_line))
        gene = row[id_index].strip()
        if args.class_row is not None and gene == args.class_row:
            class_row = {header[k]: row[k].strip() for k in sample_index}
            continue
        if not gene:
            raise ToolError("%s: no gene ID; expected one in column %d (%s)."
                            % (where(path, number, id_index + 1), id_index + 1,
                               header[id_index] or "the first column"))
        ids.append(gene)
        numbers.append(number)
        kept.append(lines[number - 1])
    if width is None:
        raise ToolError("%s: no rows of genes after the header (line %d)." % (path, header_line))
    samples = [header[k] for k in sample_index]
    if not samples:
        raise ToolError("%s: no sample columns left in the header." % path)
    if "" in samples:
        raise ToolError("%s: column %d has no sample name (a separator at the end of the line?); "
                        "expected a name, or leave the column out with --skip-column ''."
                        % (where(path, header_line), header.index("", 1) + 1))
    seen = {}
    for k in sample_index:
        if header[k] in seen:
            raise ToolError('%s: the sample name "%s" heads columns %d and %d; expected unique '
                            "names." % (where(path, header_line), header[k], seen[header[k]], k + 1))
        seen[header[k]] = k + 1
    if args.class_row is not None and class_row is None:
        raise ToolError('%s: no row with the ID "%s" (--class-row).' % (path, args.class_row))
    decimal = "," if sep == ";" and re.search(r"\d,\d", "\n".join(kept[:50])) else "."
    try:
        frame = pd.read_csv(io.StringIO("\n".join(kept)), sep=sep if sep != " " else r"\s+",
                            header=None, names=range(width), usecols=sample_index,
                            na_values=NA_TOKENS, keep_default_na=False, decimal=decimal,
                            skipinitialspace=True, engine="c")
    except (ValueError, pd.errors.ParserError) as e:
        raise ToolError("%s: cannot read the table (%s)." % (path, str(e).strip()))
    for k in sample_index:
        column = frame[k]
        if column.dtype == object:
            coerced = pd.to_numeric(column.str.replace(decimal, ".", regex=False)
                                    if decimal == "," else column, errors="coerce")
            bad = np.flatnonzero(coerced.isna().to_numpy() & column.notna().to_numpy())
            if len(bad):
                raise ToolError('%s: "%s" is not a number (sample column "%s"); expected numbers '
                                "or NA (name annotation columns with --skip-column, the ID "
                                "column with --id-column)."
                                % (where(path, numbers[bad[0]], k + 1), column.iloc[bad[0]], header[k]))
            frame[k] = coerced
    values = frame[sample_index].to_numpy(dtype=np.float64)
    fields = {"class row": class_row} if class_row is not None else {}
    return Table(kind, ids, numbers, samples, values, fields)


def _geo(path, lines, args):
    """A GEO series matrix: !Sample_ fields and characteristics, then the table."""
    fields, characteristics, begin = {}, [], None
    for index, line in enumerate(lines):
        if line.startswith("!series_matrix_table_begin"):
            begin = index
            break
        if line.startswith("!Sample_"):
            cells = next(csv.reader([line], delimiter="\t"))
            values = [cell.strip() for cell in cells[1:]]
            if cells[0].startswith("!Sample_characteristics"):
                characteristics.append(values)
            else:
                fields.setdefault(cells[0], values)
    if begin is None:
        raise ToolError("%s: no line !series_matrix_table_begin; expected a GEO series matrix."
                        % path)
    end = next((k for k in range(begin + 1, len(lines))
                if lines[k].startswith("!series_matrix_table_end")), None)
    if end is None:
        raise ToolError("%s: no line !series_matrix_table_end; the file looks cut short." % path)
    table = _body(path, lines, begin + 1, end, "\t", args, "GEO series matrix")
    accessions = fields.get("!Sample_geo_accession", table.samples)
    table.fields = {name: dict(zip(accessions, values)) for name, values in fields.items()}
    for values in characteristics:
        for accession, cell in zip(accessions, values):
            key, colon, value = cell.partition(":")
            if colon:
                table.fields.setdefault(key.strip(), {})[accession] = value.strip()
    return table


def _own_format(path, labels_path):
    values, labels = _format.check_files(path, labels_path)
    samples = [str(k + 1) for k in range(len(labels))]
    return Table("tivarne expression file", [str(k + 1) for k in range(len(values))],
                 list(range(1, len(values) + 1)), samples, values,
                 {"labels": dict(zip(samples, map(str, labels)))})


def read_table(path, args):
    if args.labels:
        return _own_format(path, args.labels)
    lines = _lines(read_text(path, "table"))
    start = next((k for k, line in enumerate(lines)
                  if line.strip() and not line.startswith("#")), None)
    if start is None:
        raise ToolError("%s: no table in the file; expected a header row of sample names." % path)
    if lines[start].startswith("!"):
        return _geo(path, lines, args)
    sep = _separator(lines[start])
    return _body(path, lines, start, len(lines), sep, args, SEPARATORS[sep] + " table")


def read_sheet(path, sample_column, class_column):
    """{sample: class or None} of a sample sheet."""
    lines = _lines(read_text(path, "sample sheet"))
    start = next((k for k, line in enumerate(lines)
                  if line.strip() and not line.startswith("#")), len(lines))
    rows = _rows(lines, start, _separator(lines[start]) if start < len(lines) else "\t")
    try:
        header_line, header = next(rows)
    except StopIteration:
        raise ToolError("%s: no header line; expected columns of sample names and classes." % path)
    header = [name.strip() for name in header]
    name_index = _column(header, sample_column, path, "--sample-column") if sample_column else 0
    class_index = _column(header, class_column, path, "--class-column")
    sheet = {}
    for number, row in rows:
        if len(row) != len(header):
            raise ToolError("%s: %d fields; expected %d, as in the header (line %d)."
                            % (where(path, number), len(row), len(header), header_line))
        sample, value = row[name_index].strip(), row[class_index].strip()
        value = None if value.lower() in _MISSING else value
        if sheet.get(sample, value) != value:
            raise ToolError('%s: sample "%s" again, with another class ("%s", before "%s").'
                            % (where(path, number), sample, value, sheet[sample]))
        sheet[sample] = value
    return sheet


def classes_of(table, args):
    """({sample: class or None}, the file they come from)."""
    if args.samples:
        return read_sheet(args.samples, args.sample_column, args.class_column), args.samples
    if args.class_row is not None:
        return table.fields["class row"], args.table
    if args.labels:
        return table.fields["labels"], args.labels
    key = args.geo_class
    if table.kind != "GEO series matrix":
        raise ToolError("%s is not a GEO series matrix; --geo-class needs one." % args.table)
    found = table.fields.get(key) or next(
        (values for name, values in table.fields.items() if name.lower() == key.lower()), None)
    if found is None:
        keys = [name for name in table.fields if not name.startswith("!")]
        raise ToolError('%s: no characteristic "%s" (--geo-class); characteristics: %s; or a field '
                        "such as !Sample_source_name_ch1." % (args.table, key, _listed(keys, 12) or "none"))
    found = {sample: None if value.lower() in _MISSING else value for sample, value in found.items()}
    return found, args.table


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
            raise ToolError("%s: name class 1 with --class1; the classes of the samples: %s."
                            % (path, listing))
        class1 = "1"
    if class1 not in counts:
        raise ToolError('%s: no sample of class "%s" (--class1); the classes of the samples: %s.'
                        % (path, class1, listing))
    others = [value for value in counts if value != class1]
    if class2 is None:
        if not others:
            raise ToolError('%s: all samples with a class are of class "%s"; expected two classes.'
                            % (path, class1))
        if len(others) > 1:
            raise ToolError("%s: more than two classes; pick class 2 with --class2 (the classes of "
                            "the samples: %s)." % (path, listing))
        class2 = others[0]
    elif class2 not in others:
        raise ToolError('%s: no sample of class "%s" (--class2) besides class 1; the classes of '
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
            "%d %s (%s)" % (len(names), why, _listed(names)) for why, names in out.items()))
    unused = [name for name in source if name not in set(table.samples)] if args.samples else []
    if unused:
        line += "\nnote: %s of the sheet not in the table (%s)" % (_count(len(unused), "sample"),
                                                                  _listed(unused))
    if len(kept) > _format.MAX_SAMPLES:
        raise ToolError("%s: %d samples; tivarne takes at most %d."
                        % (args.table, len(kept), _format.MAX_SAMPLES))
    return np.array(labels), kept, line


def no_spread(values, labels):
    """Genes whose median absolute deviation is 0 within a class: their pairs
    get no correlation there and so no p-value."""
    flat = np.zeros(len(values), dtype=bool)
    for label in (0, 1):
        x = values[:, labels == label]
        flat |= np.median(np.abs(x - np.median(x, axis=1, keepdims=True)), axis=1) == 0
    return flat


def filter_genes(values, labels, args):
    """(rows kept, values of the kept rows, summary lines)."""
    keep = np.arange(len(values))
    dropped, notes = [], []

    def drop(mask, why):
        nonlocal keep, values
        if mask.any():
            dropped.append("%s %s" % (_count(mask.sum(), "gene"), why))
            keep, values = keep[~mask], values[~mask]

    drop(np.isinf(values).any(axis=1), "with infinite values")
    missing = np.isnan(values)
    if args.missing == "class-median" and missing.any():
        values = values.copy()
        for label in (0, 1):
            columns = labels == label
            part = values[:, columns]
            with warnings.catch_warnings():  # a class without values: all-NaN slice
                warnings.simplefilter("ignore", RuntimeWarning)
                medians = np.nanmedian(part, axis=1)
            part = np.where(np.isnan(part), medians[:, None], part)
            values[:, columns] = part
        filled = missing.sum() - np.isnan(values).sum()
        if filled:
            notes.append("%s filled with the median of its gene in its class"
                         % _count(filled, "missing value"))
        drop(np.isnan(values).any(axis=1), "with no value in a class")
    else:
        drop(missing.any(axis=1), "with missing values")
    flat = no_spread(values, labels)
    if args.drop_flat:
        drop(flat, "without spread within a class")
    if args.top_variable is not None and len(values) > args.top_variable:
        variance = values.var(axis=1)
        chosen = np.zeros(len(values), dtype=bool)
        chosen[np.argsort(-variance, kind="stable")[:args.top_variable]] = True
        drop(~chosen, "less variable (--top-variable %d)" % args.top_variable)
    return keep, values, dropped, notes


def prepare(args):
    if not os.path.isdir(args.outdir) and os.path.exists(args.outdir):
        raise ToolError('"%s" is not a directory (-o).' % args.outdir)
    table = read_table(args.table, args)
    labels, kept_samples, samples_line = assign_classes(table, args)
    values = table.values[:, kept_samples]
    rows, values, dropped, notes = filter_genes(values, labels, args)
    total = len(table.ids)
    if len(values) > _format.MAX_GENES:
        raise ToolError("%s: %d genes left, more than tivarne takes (%d): keep the most variable "
                        "ones with --top-variable N (e.g. --top-variable 20000), or filter the "
                        "table first (e.g. genes with low expression)."
                        % (args.table, len(values), _format.MAX_GENES))
    if len(values) < 2:
        raise ToolError("%s: %d of %d genes left (%s); expected at least 2 for a pair."
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
                     % (_count(len(flat), "gene"), _listed(ids[k] for k in flat)))
    repeated = pd.Index(ids)[pd.Index(ids).duplicated()].unique()
    if len(repeated):
        lines.append("note: %s more than once (%s); genes.txt keeps every line"
                     % (_count(len(repeated), "gene ID"), _listed(repeated)))
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
              "pairs get no p-value (lines %s)" % (_count(len(flat), "gene"),
                                                  _listed(str(k + 1) for k in flat)))


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
