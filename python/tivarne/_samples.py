"""tivarne-prep's samples: the class of each sample of a table (from a
sample sheet, a class row, GEO fields or tivarne's labels), the --where
filter, the two classes, and the samples left out, with the reasons."""
import numpy as np

from . import _format
from ._classes import chosen, distinct, member, name_mismatch, select, size_messages
from ._genes import count
from ._tables import GEO, geo_field, listed, read_sheet
from ._tool import InputError


def quoted(value):
    return '"%s"' % value


def named(value):
    """A class as the summary shows it: its value, or the merged values."""
    return ", ".join(value) if isinstance(value, list) else value


def sample_columns(table, args):
    """({sample: class or None}, the file it comes from, {column: {sample: value}}
    of the columns --where names, the names of all columns, the sheet or None)."""
    if args.samples:
        sheet = read_sheet(args.samples, args.sample_column)
        names = [name for k, name in enumerate(sheet.header) if k != sheet.name_index]
        columns = {name: sheet.column(name, "--where") for name in names if name in {w[0] for w in args.where}}
        return sheet.column(args.class_column, "--class-column"), args.samples, columns, names, sheet
    if args.class_row is not None:
        return table.fields["class row"], args.table, {}, [], None
    if args.labels:
        return table.fields["labels"], args.labels, {}, [], None
    if table.kind != GEO:
        raise InputError("%s is not a GEO series matrix; --geo-class needs one." % args.table)
    try:
        return geo_field(table, args.geo_class), args.table, table.fields, list(table.fields), None
    except InputError as e:
        raise InputError("%s: %s" % (args.table, e))


def where_filter(samples, columns, names, path, conditions, counted):
    """(the samples that meet every --where COLUMN=VALUE, {reason: [samples]}
    for the first `counted` samples)."""
    wanted = {}
    for column, value in conditions:
        wanted.setdefault(column, []).append(value)
    keep, out = np.ones(len(samples), dtype=bool), {}
    for column, values in wanted.items():
        if column not in columns:
            raise InputError('%s: no column "%s" (--where); columns: %s.'
                             % (path, column, listed(names, 12) if names else
                                "none (--where needs a sample sheet or a GEO series matrix)"))
        found = [columns[column].get(sample) for sample in samples]
        try:
            meets = member(found, chosen(values, distinct(found), "--where %s=%%s" % column, quoted,
                                         ("value", "values")))
        except InputError as e:
            raise InputError("%s: %s" % (path, e))
        for sample in np.asarray(samples[:counted], dtype=object)[(keep & ~meets)[:counted]]:
            if sample in columns[column]:  # the others are not in the sheet at all
                out.setdefault("not --where %s=%s" % (column, "|".join(values)), []).append(sample)
        keep &= meets
    return keep, out


def one_or_list(values):
    return values if values is None or len(values) > 1 else values[0]


def assign_classes(table, args):
    """(per kept sample: 1 or 0, kept sample indices, summary lines, the selection)."""
    source, path, columns, names, sheet = sample_columns(table, args)
    columns_ = set(table.samples)
    unused = [name for name in source if name not in columns_] if args.samples else []
    why = name_mismatch(table.samples, unused, table.ids, where=("the sheet", "the table"))
    if args.samples and len(unused) == len(source):
        raise InputError("%s: none of its %s is a column of %s (%s); %s." % (
            path, count(len(unused), "sample"), args.table, listed(unused, 3),
            why or "expected the names of the table's header row (%s)" % listed(table.samples, 3)))
    every, out = where_filter(table.samples + unused, columns, names, path, args.where, len(table.samples))
    keep = every[:len(table.samples)]
    found = [source.get(sample) if kept else None for sample, kept in zip(table.samples, keep)]
    try:
        chosen = select(found, one_or_list(args.class1), one_or_list(args.class2), default=("1", "0"),
                        options=("--class1 %s", "--class2 %s"), show=quoted, where=path)
    except InputError as e:
        if not why:
            raise
        raise InputError("%s; %s of the sheet are not columns of the table: %s." % (
            str(e).rstrip("."), count(len(unused), "sample"), why))
    missing = [name for name, meets in zip(unused, every[len(table.samples):])
               if meets and member([source[name]], chosen.values)[0]]
    if missing and not args.allow_missing_samples:
        raise InputError("%s: %s of class 1 or 2 %s of %s (%s)%s; give --allow-missing-samples to "
                         "go on without them." % (path, count(len(missing), "sample"),
                                                  "is not a column" if len(missing) == 1 else "are not columns",
                                                  args.table, listed(missing, 3), "; " + why if why else ""))
    error, small = size_messages(chosen, show=quoted)
    if error:
        raise InputError("%s: %s" % (path, error))
    kept = np.flatnonzero(chosen.in1 | chosen.in2)
    labels = chosen.in1[kept].astype(int)
    for sample, value, in_class, meets in zip(table.samples, found, chosen.in1 | chosen.in2, keep):
        if in_class or not meets and sample in source:
            continue
        why = ('of class "%s"' % value if value is not None else "without a class"
               if sample in source else "not in the sample sheet")
        out.setdefault(why, []).append(sample)
    line = "samples: %d kept: %d in class 1 (%s), %d in class 2 (%s)" % (
        len(kept), chosen.n1, named(chosen.class1), chosen.n2, named(chosen.class2))
    if out:
        line += "; %d left out: %s" % (sum(map(len, out.values())), "; ".join(
            "%d %s (%s)" % (len(names), why, listed(names)) for why, names in out.items()))
    if missing:
        line += "\nnote: %s of class 1 or 2 in the sheet not in the table, left out (%s; " \
                "--allow-missing-samples)" % (count(len(missing), "sample"), listed(missing))
    others = [name for name in unused if name not in set(missing)]
    if others:
        line += "\nnote: %s of the sheet not in the table (%s)" % (count(len(others), "sample"), listed(others))
    if len(kept) > _format.MAX_SAMPLES:
        raise InputError("%s: %d samples; tivarne takes at most %d."
                         % (args.table, len(kept), _format.MAX_SAMPLES))
    return labels, kept, line, chosen, small
