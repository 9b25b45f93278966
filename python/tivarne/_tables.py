"""Readers of expression tables and sample sheets: delimited text tables
(tab, semicolon, comma or blanks; gzip-compressed or not), GEO series
matrices, and tivarne's own expression and label files.

tivarne.read_table() is the entry for Python users; tivarne-prep reads
through the same functions.
"""
import csv
import io
import re
from collections import namedtuple

import numpy as np
import pandas as pd

from . import _format
from ._tool import InputError, read_text, where

NA_TOKENS = ["", "NA", "na", "N/A", "n/a", "#N/A", "NaN", "nan", "NAN", "-nan", "null", "NULL",
             "Null", "None"]
MISSING = {t.lower() for t in NA_TOKENS}
SEPARATORS = {"\t": "tab-separated", ";": "semicolon-separated", ",": "comma-separated",
              " ": "blank-separated"}
GEO = "GEO series matrix"
OWN_FORMAT = "tivarne expression file"


class Table:
    """Genes x samples as read: kind, gene IDs, the file line of each gene,
    sample names, values (NaN where missing), and per-sample fields
    {name: {sample: value}} (GEO's sample lines, the class row, the labels)."""

    def __init__(self, kind, ids, lines, samples, values, fields):
        self.kind, self.ids, self.lines, self.samples = kind, ids, lines, samples
        self.values, self.fields = values, fields


def listed(names, limit=5):
    names = list(names)
    return ", ".join(names[:limit]) + (", ..." if len(names) > limit else "")


def separator(line):
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
        raise InputError('%s: no column "%s" (%s) in the header; columns: %s.'
                         % (path, name, option, listed(header, 12)))


def _body(path, lines, start, end, sep, kind, id_column, skip_columns, class_row):
    """The table whose header is lines[start] and whose rows run to lines[end]."""
    rows = _rows(lines[:end], start, sep)
    try:
        header_line, header = next(rows)
    except StopIteration:
        raise InputError("%s: no header line; expected a header row of sample names." % path)
    header = [name.strip() for name in header]
    ids, numbers, kept, class_values = [], [], [], None
    width = None
    for number, row in rows:
        if width is None:
            width = len(row)
            if width == len(header) + 1:  # R's write.table: no name over the row names
                header = [""] + header
            id_index = _column(header, id_column, path, "--id-column") if id_column else 0
            skipped = {_column(header, name, path, "--skip-column") for name in skip_columns}
            sample_index = [k for k in range(len(header)) if k != id_index and k not in skipped]
        if len(row) != width or width != len(header):
            raise InputError("%s: %d fields; expected %d, as in the header (line %d)."
                             % (where(path, number), len(row), len(header), header_line))
        gene = row[id_index].strip()
        if class_row is not None and gene == class_row:
            class_values = {header[k]: row[k].strip() for k in sample_index}
            continue
        if not gene:
            raise InputError("%s: no gene ID; expected one in column %d (%s)."
                             % (where(path, number, id_index + 1), id_index + 1,
                                header[id_index] or "the first column"))
        ids.append(gene)
        numbers.append(number)
        kept.append(lines[number - 1])
    if width is None:
        raise InputError("%s: no rows of genes after the header (line %d)." % (path, header_line))
    samples = [header[k] for k in sample_index]
    if not samples:
        raise InputError("%s: no sample columns left in the header." % path)
    if "" in samples:
        raise InputError("%s: column %d has no sample name (a separator at the end of the line?); "
                         "expected a name, or leave the column out with --skip-column ''."
                         % (where(path, header_line), header.index("", 1) + 1))
    seen = {}
    for k in sample_index:
        if header[k] in seen:
            raise InputError('%s: the sample name "%s" heads columns %d and %d; expected unique '
                             "names." % (where(path, header_line), header[k], seen[header[k]], k + 1))
        seen[header[k]] = k + 1
    if class_row is not None and class_values is None:
        raise InputError('%s: no row with the ID "%s" (--class-row).' % (path, class_row))
    decimal = "," if sep == ";" and re.search(r"\d,\d", "\n".join(kept[:50])) else "."
    try:
        frame = pd.read_csv(io.StringIO("\n".join(kept)), sep=sep if sep != " " else r"\s+",
                            header=None, names=range(width), usecols=sample_index,
                            na_values=NA_TOKENS, keep_default_na=False, decimal=decimal,
                            skipinitialspace=True, engine="c")
    except (ValueError, pd.errors.ParserError) as e:
        raise InputError("%s: cannot read the table (%s)." % (path, str(e).strip()))
    for k in sample_index:
        column = frame[k]
        if column.dtype == object:
            coerced = pd.to_numeric(column.str.replace(decimal, ".", regex=False)
                                    if decimal == "," else column, errors="coerce")
            bad = np.flatnonzero(coerced.isna().to_numpy() & column.notna().to_numpy())
            if len(bad):
                raise InputError('%s: "%s" is not a number (sample column "%s"); expected numbers '
                                 "or NA (name annotation columns with --skip-column, the ID "
                                 "column with --id-column)."
                                 % (where(path, numbers[bad[0]], k + 1), column.iloc[bad[0]], header[k]))
            frame[k] = coerced
    values = frame[sample_index].to_numpy(dtype=np.float64)
    fields = {"class row": class_values} if class_values is not None else {}
    return Table(kind, ids, numbers, samples, values, fields)


def _geo(path, lines, **options):
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
        raise InputError("%s: no line !series_matrix_table_begin; expected a GEO series matrix."
                         % path)
    end = next((k for k in range(begin + 1, len(lines))
                if lines[k].startswith("!series_matrix_table_end")), None)
    if end is None:
        raise InputError("%s: no line !series_matrix_table_end; the file looks cut short." % path)
    table = _body(path, lines, begin + 1, end, "\t", GEO, **options)
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
    return Table(OWN_FORMAT, [str(k + 1) for k in range(len(values))],
                 list(range(1, len(values) + 1)), samples, values,
                 {"labels": dict(zip(samples, map(str, labels)))})


def read(path, *, labels=None, id_column=None, skip_columns=(), class_row=None):
    """The Table of a delimited table, a GEO series matrix, or (with
    `labels`) an expression file in tivarne's format; InputError at the
    first problem."""
    if labels:
        return _own_format(path, labels)
    lines = _lines(read_text(path, "table"))
    start = next((k for k, line in enumerate(lines)
                  if line.strip() and not line.startswith("#")), None)
    if start is None:
        raise InputError("%s: no table in the file; expected a header row of sample names." % path)
    options = dict(id_column=id_column, skip_columns=skip_columns, class_row=class_row)
    if lines[start].startswith("!"):
        return _geo(path, lines, **options)
    sep = separator(lines[start])
    return _body(path, lines, start, len(lines), sep, SEPARATORS[sep] + " table", **options)


class Sheet:
    """A sample sheet: its header, and per row (line number, fields)."""

    def __init__(self, path, header, rows, name_index):
        self.path, self.header, self.rows, self.name_index = path, header, rows, name_index

    def names(self):
        return [fields[self.name_index] for _, fields in self.rows]

    def column(self, name, option):
        """{sample: value or None} of one column; a sample listed again with
        another value is refused."""
        index = _column(self.header, name, self.path, option)
        values = {}
        for number, fields in self.rows:
            sample, value = fields[self.name_index], fields[index]
            value = None if value.lower() in MISSING else value
            if sample in values and values[sample] != value:
                raise InputError('%s: sample "%s" again, with another "%s" ("%s", before "%s").'
                                 % (where(self.path, number), sample, name, value, values[sample]))
            values[sample] = value
        return values


def read_sheet(path, sample_column=None):
    """The Sheet of a sample sheet (any separator of the tables; the sample
    names in its first column or in `sample_column`)."""
    lines = _lines(read_text(path, "sample sheet"))
    start = next((k for k, line in enumerate(lines)
                  if line.strip() and not line.startswith("#")), len(lines))
    rows = _rows(lines, start, separator(lines[start]) if start < len(lines) else "\t")
    try:
        header_line, header = next(rows)
    except StopIteration:
        raise InputError("%s: no header line; expected columns of sample names and classes." % path)
    header = [name.strip() for name in header]
    name_index = _column(header, sample_column, path, "--sample-column") if sample_column else 0
    checked = []
    for number, row in rows:
        if len(row) != len(header):
            raise InputError("%s: %d fields; expected %d, as in the header (line %d)."
                             % (where(path, number), len(row), len(header), header_line))
        checked.append((number, [field.strip() for field in row]))
    return Sheet(path, header, checked, name_index)


TableData = namedtuple("TableData", "expression samples classes kind")
TableData.__doc__ = """What tivarne.read_table() returns.

expression : pandas.DataFrame
    Genes x samples, float64 (NaN where a value is missing); the index holds
    the gene IDs, the columns the sample names, in the order of the file.
samples : pandas.DataFrame
    One row per sample of the table, indexed by sample name: the columns of
    the sample sheet, the characteristics and fields of a GEO series matrix,
    or "class" (the class row, or the labels of tivarne's own files). None
    where a sample has no entry.
classes : pandas.Series or None
    The class of each sample, indexed by sample name (the sheet's
    `class_column`, the `class_row`, the GEO `geo_class`, or the labels);
    None when no class source was given.
kind : str
    What the file is ("tab-separated table", "GEO series matrix", ...).
"""


def geo_field(table, key):
    """{sample: value} of a GEO characteristic or field, any letter case."""
    found = table.fields.get(key) or next(
        (values for name, values in table.fields.items() if name.lower() == key.lower()), None)
    if found is None:
        keys = [name for name in table.fields if not name.startswith("!")]
        raise InputError('no characteristic "%s" (--geo-class); characteristics: %s; or a field '
                         "such as !Sample_source_name_ch1." % (key, listed(keys, 12) or "none"))
    return {sample: None if value.lower() in MISSING else value for sample, value in found.items()}


def read_table(path, *, sheet=None, sample_column=None, class_column=None, class_row=None, geo_class=None,
               labels=None, id_column=None, skip_columns=()):
    """Read an expression table and the classes of its samples.

    The readers of ``tivarne-prep``, for Python: a delimited text table
    (TAB, ``;``, ``,`` or blanks, detected from the header row; quotes as R
    and spreadsheets write them; gzip-compressed or not; leading ``#`` lines
    skipped), a GEO series matrix, or an expression file in tivarne's own
    format. The result can be handed to :func:`tivarne.analyse`, which
    matches the classes to the columns by sample name.

    Parameters
    ----------
    path : str or os.PathLike
        The table: a header row of sample names, one row per gene with its ID
        in the first column (or `id_column`).
    sheet : str or os.PathLike, optional
        A sample sheet: one row per sample, the sample name in its first
        column (or `sample_column`), any other columns (class, batch,
        lineage, ...). Its columns become ``samples``.
    sample_column, class_column : str, optional
        The sheet's column of sample names, and the one that holds the classes.
    class_row : str, optional
        The ID of the table's row that holds the class of each sample (that
        row is not a gene).
    geo_class : str, optional
        A GEO characteristic ("disease state", any letter case) or a whole
        field ("!Sample_source_name_ch1") that holds the classes.
    labels : str or os.PathLike, optional
        `path` is an expression file in tivarne's format and `labels` its
        label file; samples and genes are then named by their numbers.
    id_column : str, optional
        The column of gene IDs (default: the first).
    skip_columns : sequence of str
        Annotation columns that are not samples.

    Returns
    -------
    TableData
        ``(expression, samples, classes, kind)``: the values as a genes x
        samples DataFrame (NaN where missing), the sample sheet (or GEO
        fields) with one row per sample of the table, the classes as a
        Series indexed by sample name (or None), and the kind of file.

    Raises
    ------
    ValueError
        A file that cannot be read as a table, naming the file, line and
        column of the first problem.

    Examples
    --------
    >>> t = tivarne.read_table("expression.tsv", sheet="samples.csv", class_column="condition",
    ...                        id_column="symbol", skip_columns=["gene_id"])
    >>> pairs = tivarne.analyse(t.expression.dropna(), t.classes, class1="treated",
    ...                         class2="control", adjust="BH", level=0.05)
    """
    if sum(x is not None for x in (class_column, class_row, geo_class, labels)) > 1:
        raise InputError("name the classes with one of class_column (with sheet), class_row, geo_class, "
                         "labels")
    if class_column is not None and sheet is None:
        raise InputError("class_column names a column of the sample sheet: give sheet= too")
    table = read(path, labels=labels, id_column=id_column, skip_columns=list(skip_columns),
                 class_row=class_row)
    index = pd.Index(table.samples)
    if sheet is not None:
        read_ = read_sheet(sheet, sample_column)
        columns = {name: read_.column(name, "column") for k, name in enumerate(read_.header)
                   if k != read_.name_index}
    elif table.kind == GEO:
        columns = table.fields
    else:
        columns = {"class": next(iter(table.fields.values()))} if table.fields else {}
    samples = pd.DataFrame({name: [values.get(s) for s in table.samples] for name, values in columns.items()},
                           index=index, dtype=object)
    if class_column is not None:
        if class_column not in samples:
            raise InputError('%s: no column "%s" (class_column) besides the sample names; columns: %s.'
                             % (sheet, class_column, listed(read_.header, 12)))
        classes = samples[class_column]
    elif geo_class is not None:
        if table.kind != GEO:
            raise InputError("%s is not a GEO series matrix; geo_class needs one." % path)
        found = geo_field(table, geo_class)
        classes = pd.Series([found.get(s) for s in table.samples], index=index, dtype=object)
    elif class_row is not None or labels is not None:
        classes = samples["class"]
    else:
        classes = None
    if classes is not None:
        classes = classes.rename("class")
    expression = pd.DataFrame(table.values, index=pd.Index(table.ids, name="gene"), columns=index)
    return TableData(expression, samples, classes, table.kind)
