"""The two formats of selected pairs: the command line's result file (read
only) and the pairs table of tivarne-analyse and tivarne-annotate (read and
written). tivarne.read_result() reads both."""
import math

import numpy as np
import pandas as pd

from ._tool import InputError, read_text, where

RULE = "-" * 49
NO_PAIRS = "---No significant gene pairs---"
FILE_COLUMNS = ["rank", "score(WCOR)", "log10(p-value(ECOR))", "gene X", "gene Y", "r1", "r2", "weight c"]
# The result file's columns under analyse()'s names, in its order.
_FILE_NAMES = ["rank", "score", "log10_p", "gene_x", "gene_y", "r1", "r2", "c"]
# The pairs table: these columns in this order, then p_value, q_value and dc_class when known.
TABLE_COLUMNS = ["rank", "score", "log10_p", "gene_x", "gene_y", "name_x", "name_y", "r1", "r2", "c"]
_OPTIONAL = ["p_value", "q_value", "dc_class"]
_TEXT = ("name_x", "name_y", "dc_class")
_INTEGERS = {"rank", "gene_x", "gene_y"}
# analyse()'s column order.
_ORDER = ["rank", "gene_x", "gene_y", "index_x", "index_y", "score", "r1", "r2", "c", "p_value", "log10_p",
          "q_value", "dc_class"]


def read_result(path):
    """Read a result file of the command line ``tivarne``, or a pairs table
    of ``tivarne-analyse`` or ``tivarne-annotate``, into a DataFrame.

    Parameters
    ----------
    path : str or os.PathLike
        The file written by ``tivarne -o`` (its first line ``Results of
        TIVARNE:``), or a TAB-separated pairs table (its header ``rank
        score log10_p gene_x gene_y ...``).

    Returns
    -------
    pandas.DataFrame
        One row per pair, in the file's order, with the columns of
        :func:`tivarne.analyse` that the file holds. From a result file:
        ``rank``, ``gene_x``, ``gene_y`` (gene numbers, counted from 1),
        ``score``, ``r1``, ``r2``, ``c`` and ``log10_p``, as printed (two
        decimals; ``-inf`` and ``nan`` as floats); ``attrs`` holds the
        settings of the run: ``level`` and ``max_pairs`` (and
        ``log10_level`` when the file gives the level as a logarithm). From a
        pairs table: ``gene_x``, ``gene_y`` are the names (the numbers when
        the table has none), ``index_x``, ``index_y`` the numbers, and
        ``p_value`` and ``q_value`` where the table has them, in the table's
        precision. A file without pairs gives an empty DataFrame with these
        columns. ``attrs["format"]`` is "result file" or "pairs table".

    Raises
    ------
    ValueError
        The file is neither, or a line of it is broken (naming the line).
    """
    text = read_text(path, "result")
    if text.startswith("Results of TIVARNE:"):
        return _result_file(path, text)
    return _pairs_table(path, text)


def _lines(text):
    lines = text.split("\n")
    if lines[-1] == "":
        lines.pop()
    return lines


def _result_file(path, text):
    lines = _lines(text)
    if len(lines) < 6 or lines[0] != "Results of TIVARNE:" or lines[1] != RULE or lines[4] != RULE:
        raise InputError("%s is not a tivarne result file (expected its first line "
                         '"Results of TIVARNE:" and a block of settings).' % path)
    attrs = _settings(lines[2:4])
    if lines[5:] == ["", NO_PAIRS]:
        rows = []
    elif [name.strip() for name in lines[5].split("\t")] != FILE_COLUMNS:
        raise InputError("%s: not the header of a tivarne result file." % where(path, 6))
    else:
        rows = [_row(path, number, line.split("\t"), "rank, score, log10 p, gene X, gene Y, r1, r2, c")
                for number, line in enumerate(lines[6:], start=7)]
    try:
        pairs = _frame(rows, _FILE_NAMES)[["rank", "gene_x", "gene_y", "score", "r1", "r2", "c", "log10_p"]]
    except ValueError as e:
        raise InputError("%s: the column %s holds a number that is not whole." % (path, e))
    for number, (x, y) in enumerate(zip(pairs.gene_x, pairs.gene_y), start=7):
        _check_genes(path, number, x, y)
    pairs.attrs.update(attrs, format="result file")
    return pairs


def _settings(lines):
    attrs = {}
    for line in lines:
        name, _, value = (part.strip() for part in line.partition("="))
        try:
            if name == "significant level":
                attrs["level"] = float(value)
            elif name == "log10(significant level)":
                attrs["log10_level"] = float(value)
                attrs["level"] = 10.0 ** float(value)
            elif name == "number of gene pairs to be output":
                attrs["max_pairs"] = int(value.split()[0])
        except (ValueError, IndexError):
            pass
    return attrs


def _row(path, number, fields, expected):
    """One row's fields as numbers (text for names); InputError naming the line."""
    try:
        if len(fields) != len(expected.split(", ")):
            raise ValueError
        values = [float("nan") if field == "-nan" else float(field) for field in fields]
    except ValueError:
        raise InputError("%s: not a row of %d numbers; expected %s."
                         % (where(path, number), len(expected.split(", ")), expected))
    return values


def _frame(rows, names):
    data = np.array(rows, dtype=np.float64).reshape(len(rows), len(names))
    pairs = pd.DataFrame({name: data[:, k] for k, name in enumerate(names)})
    for name in _INTEGERS:
        column = pairs[name].to_numpy()
        if not np.array_equal(column, np.floor(column)):
            raise ValueError(name)
        pairs[name] = column.astype(np.int64)
    return pairs


def _pairs_table(path, text):
    lines = _lines(text)
    header = lines[0].split("\t") if lines else []
    required = [name for name in TABLE_COLUMNS if name not in ("name_x", "name_y")]
    if header[:5] != TABLE_COLUMNS[:5] or not set(required) <= set(header) or len(set(header)) != len(header):
        raise InputError("%s is neither a tivarne result file nor a pairs table (expected the first line "
                         '"Results of TIVARNE:" or the header "%s").' % (path, "\t".join(TABLE_COLUMNS)))
    named = "name_x" in header and "name_y" in header
    numbers = [k for k, name in enumerate(header) if name not in _TEXT]
    classes = []
    rows, names = [], []
    for number, line in enumerate(lines[1:], start=2):
        fields = line.split("\t")
        if len(fields) != len(header):
            raise InputError("%s: %d fields; expected %d, as in the header."
                             % (where(path, number), len(fields), len(header)))
        rows.append(_row(path, number, [fields[k] for k in numbers], ", ".join(header[k] for k in numbers)))
        if named:
            names.append((fields[header.index("name_x")], fields[header.index("name_y")]))
        if "dc_class" in header:
            classes.append(fields[header.index("dc_class")])
    try:
        table = _frame(rows, [header[k] for k in numbers])
    except ValueError as e:
        raise InputError("%s: the column %s holds a number that is not whole." % (path, e))
    table = table.rename(columns={"gene_x": "index_x", "gene_y": "index_y"})
    if named:
        table["gene_x"] = np.array([n[0] for n in names], dtype=object)
        table["gene_y"] = np.array([n[1] for n in names], dtype=object)
    else:
        table["gene_x"], table["gene_y"] = table.index_x.copy(), table.index_y.copy()
    if "dc_class" in header:
        table["dc_class"] = np.array(classes, dtype=object)
    pairs = table[[name for name in _ORDER if name in table]]
    for number, (x, y) in enumerate(zip(pairs.index_x, pairs.index_y), start=2):
        _check_genes(path, number, x, y)
    pairs.attrs.update(format="pairs table")
    return pairs


def _check_genes(path, number, x, y):
    if not 1 <= x < y:
        raise InputError("%s: gene numbers %d and %d; expected 1 <= gene X < gene Y." % (where(path, number), x, y))


def gene_numbers(pairs):
    """(gene X numbers, gene Y numbers) of read_result()'s or analyse()'s rows."""
    if "index_x" in pairs:
        return pairs.index_x.to_numpy(), pairs.index_y.to_numpy()
    return pairs.gene_x.to_numpy(), pairs.gene_y.to_numpy()


def _number(value, decimals):
    if decimals is not None:
        return "%.*f" % (decimals, value)
    return repr(float(value))


def pairs_text(pairs, names=None):
    """The pairs table of analyse()'s or read_result()'s rows: the header and
    one TAB-separated line per pair. `names` (one per gene, in the order of
    the expression file) names the genes; otherwise the rows' own names are
    written when they have any. Numbers read from a result file keep its two
    decimals, the others are written in full (the shortest text that reads
    back as the same double)."""
    decimals = 2 if pairs.attrs.get("format") == "result file" else None
    x, y = gene_numbers(pairs)
    if names is not None:
        name_x, name_y = [names[g - 1] for g in x], [names[g - 1] for g in y]
    elif "index_x" in pairs and not pairs.gene_x.equals(pairs.index_x):
        name_x, name_y = list(pairs.gene_x), list(pairs.gene_y)
    else:
        name_x = name_y = None
    columns = [c for c in TABLE_COLUMNS if name_x is not None or c not in ("name_x", "name_y")]
    columns += [c for c in _OPTIONAL if c in pairs]
    lines = ["\t".join(columns)]
    for k in range(len(pairs)):
        row = pairs.iloc[k]
        fields = []
        for column in columns:
            if column == "rank":
                fields.append("%d" % row["rank"])
            elif column in ("gene_x", "gene_y"):
                fields.append("%d" % (x[k] if column == "gene_x" else y[k]))
            elif column in ("name_x", "name_y"):
                fields.append(str((name_x if column == "name_x" else name_y)[k]))
            elif column == "dc_class":
                fields.append(str(row[column]))
            else:
                fields.append(_number(row[column], decimals))
        lines.append("\t".join(fields))
    return "\n".join(lines) + "\n"


def p_value_text(pairs, k):
    """The p-value of row k as a figure's title shows it: "p = 10^x" (as the
    result file's log10 p, or from the full p-value), or "p < 10^-300" for a
    p-value that underflowed to 0; never "p = 0"."""
    log10_p = pairs.log10_p.iloc[k]
    if "p_value" in pairs and pairs.p_value.iloc[k] > 0:
        log10_p = math.log10(pairs.p_value.iloc[k])
    if log10_p == -math.inf:
        return "p < $10^{-300}$"
    return "p = $10^{%.2f}$" % log10_p
