"""tivarne's own input files: checking them as the command line reads them,
naming the first problem, and writing them.

Expression file: one line per gene, one number per sample separated by white
space, each line at most 31 n + 1 characters with its newline (n samples),
finite numbers only, at most 46341 lines. Label file: exactly one line of
labels 1 (class 1) and 0 (class 2) separated by single blanks or tabs, at most
20000 characters, both classes present.
"""
import math
import re

import numpy as np

from ._tool import GZIP_MAGIC, InputError, read_bytes, shown, where

MAX_GENES = 46341
MAX_SAMPLES = 10000
MAX_LABEL_LINE = 20000
BOM = b"\xef\xbb\xbf"
# What a plain decimal number is made of; a line of only these and white
# space is converted in one go.
_DECIMAL = b"0123456789+-.eE"
_SPACE = b" \t\n\r\v\f"
_HEX = re.compile(rb"[+-]?0[xX](?:[0-9a-fA-F]+\.?[0-9a-fA-F]*|\.[0-9a-fA-F]+)(?:[pP][+-]?[0-9]+)?")
MISSING = {"", "na", "n/a", "#n/a", "nan", "-nan", "null", "none"}


def _plain_text(data, path):
    if data.startswith(GZIP_MAGIC):
        raise InputError("%s is gzip-compressed; expected plain text (gunzip it first)." % path)
    if data.startswith(BOM):
        raise InputError("%s: a byte order mark (BOM) at the start; expected plain text "
                         "(save the file without BOM)." % where(path, 1, 1))


def number(token):
    """The value of one token as the command line reads it, or None."""
    if not token.translate(None, _DECIMAL):
        try:
            value = float(token)
        except ValueError:
            return None
    elif _HEX.fullmatch(token):
        value = float.fromhex(token.decode("ascii"))
    else:
        return None
    return value if math.isfinite(value) else None


def _not_a_number(path, line, column, token):
    text = token.decode("latin-1")
    if text.lower() in MISSING or text.lower().lstrip("+-") in ("inf", "infinity"):
        hint = "missing and infinite values are not allowed (tivarne-prep drops or fills them)"
    elif "," in text or ";" in text:
        hint = "values are separated by blanks or tabs and use a decimal point"
    else:
        hint = "the file has no gene names and no header line"
    return InputError("%s: %s is not a number; expected a finite number; %s."
                      % (where(path, line, column), shown(token), hint))


def check_labels(path):
    """The labels of a label file (1 or 0 per sample); InputError at the first problem."""
    data = read_bytes(path, "label")
    _plain_text(data, path)
    end = data.find(b"\n")
    line, rest = (data, b"") if end < 0 else (data[:end], data[end + 1:])
    expected = "expected one line of labels 1 (class 1) and 0 (class 2)"
    if not data:
        raise InputError("%s is empty; %s." % (path, expected))
    if line.endswith(b"\r"):
        raise InputError("%s ends with a carriage return (CR LF line end); expected Unix line ends "
                         "(LF only)." % where(path, 1))
    if rest:
        raise InputError("%s: a second line; %s and nothing after it." % (where(path, 2), expected))
    if len(line) > MAX_LABEL_LINE:
        raise InputError("%s: %d characters; expected at most %d (%d samples)."
                         % (where(path, 1), len(line), MAX_LABEL_LINE, MAX_SAMPLES))
    tokens = re.split(rb"[ \t]", line)
    for column, token in enumerate(tokens, start=1):
        if token in (b"0", b"1"):
            continue
        if not token:
            problem = ("a blank or tab at the start" if column == 1 else "a blank or tab at the end"
                       if column == len(tokens) else "two blanks or tabs in a row after column %d"
                       % (column - 1))
            raise InputError("%s: %s; expected a single blank or tab between labels."
                             % (where(path, 1), problem))
        raise InputError("%s: %s is not a label; expected 1 (class 1) or 0 (class 2), separated by "
                         "single blanks or tabs." % (where(path, 1, column), shown(token)))
    labels = [int(t) for t in tokens]
    for label, name in ((1, "class 1"), (0, "class 2")):
        if label not in labels:
            raise InputError("%s: no sample has label %d (%s); expected at least one sample in "
                             "each class." % (path, label, name))
    return labels


def check_expression(path, samples, labels_path):
    """The values (genes x samples) of an expression file for `samples`
    labels; InputError at the first problem."""
    data = read_bytes(path, "expression")
    _plain_text(data, path)
    lines = data.split(b"\n")
    if lines[-1] == b"":
        lines.pop()
    if len(lines) > MAX_GENES:
        raise InputError("%s: %d lines (genes); expected at most %d (keep fewer genes, e.g. with "
                         "tivarne-prep --top-variable)." % (path, len(lines), MAX_GENES))
    limit = 31 * samples + 1
    values = np.empty((len(lines), samples))
    for k, line in enumerate(lines):
        number_of_line = k + 1
        length = len(line) + (k + 1 < len(lines) or data.endswith(b"\n"))
        if length > limit:
            raise InputError("%s: %d characters; expected at most 31 x %d + 1 = %d with the newline "
                             "(write the values with fewer digits)."
                             % (where(path, number_of_line), length, samples, limit))
        tokens = line.split()
        if not tokens:
            raise InputError("%s is empty; expected %d values (every line is a gene)."
                             % (where(path, number_of_line), samples))
        row = None
        if not line.translate(None, _DECIMAL + _SPACE):
            try:
                row = np.array(tokens, dtype=np.float64)
            except ValueError:
                pass
        if row is None or not np.isfinite(row).all():
            row = []
            for column, token in enumerate(tokens, start=1):
                value = number(token)
                if value is None:
                    raise _not_a_number(path, number_of_line, column, token)
                row.append(value)
        if len(row) != samples:
            raise InputError("%s: %d values; expected %d, one per label of %s."
                             % (where(path, number_of_line), len(row), samples, labels_path))
        values[k] = row
    return values


def check_files(expression_path, labels_path):
    """(values, labels) of a pair of input files, checked as tivarne reads them."""
    labels = check_labels(labels_path)
    return check_expression(expression_path, len(labels), labels_path), labels


def expression_text(values):
    """Lines of values in the shortest form that reads back exactly."""
    return "".join(" ".join(map(repr, row)) + "\n" for row in values.tolist())


def labels_text(labels):
    return " ".join("1" if label else "0" for label in labels) + "\n"
