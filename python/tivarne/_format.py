"""tivarne's own input files: checking them as the command line reads them,
naming the first problem, and writing them.

Expression file: one line per gene, one number per sample separated by white
space, each line at most 31 n + 1 characters with its newline (n samples;
a longer line holds one gene per piece of that length), finite numbers only,
at most 46341 genes. Numbers are read as C's "%lf" reads them: a number ends
where the next character cannot continue it, so "1.5-0.25" is two numbers.
Label file: exactly one line of labels 1 (class 1) and 0 (class 2) separated
by single blanks or tabs, at most 20000 characters, both classes present.
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
# space is converted in one go when every token is one number.
_DECIMAL = b"0123456789+-.eE"
_SPACE = b" \t\n\r\v\f"
_DIGITS = b"0123456789"
_XDIGITS = b"0123456789abcdefABCDEF"
_STRTOD_HEX = re.compile(rb"[+-]?0[xX](?:[0-9a-fA-F]+\.?[0-9a-fA-F]*|\.[0-9a-fA-F]+)(?:[pP][+-]?[0-9]+)?")
_STRTOD_DECIMAL = re.compile(rb"[+-]?(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?")
MISSING = {"", "na", "n/a", "#n/a", "nan", "-nan", "null", "none"}


def _plain_text(data, path):
    if data.startswith(GZIP_MAGIC):
        raise InputError("%s is gzip-compressed; expected plain text (gunzip it first)." % path)
    if data.startswith(BOM):
        raise InputError("%s: a byte order mark (BOM) at the start; expected plain text "
                         "(save the file without BOM)." % where(path, 1, 1))


def scan_number(token, start=0):
    """C's "%lf" (glibc) at token[start:]: (value, end) or None when it reads
    no number. It takes characters while they can continue a number (sign,
    digits, one point, one exponent with its sign; 0x for hexadecimal; nan,
    inf, infinity), then converts the longest number they begin with."""
    n, k = len(token), start
    if k < n and token[k] in b"+-":
        k += 1
    word = token[k:k + 8].lower()
    if word[:1] == b"n":
        return (math.nan, k + 3) if word[:3] == b"nan" else None
    if word[:1] == b"i":
        if word[:3] != b"inf":
            return None
        end = k + 3
        if word[3:4] == b"i":
            if word[3:8] != b"inity":
                return None
            end = k + 8
        return (-math.inf if token[start:start + 1] == b"-" else math.inf), end
    hexadecimal = got_digit = got_dot = got_exponent = False
    exponent = b"e"
    first = k
    if token[k:k + 1] == b"0":
        k += 1
        if token[k:k + 1] in (b"x", b"X"):
            hexadecimal, exponent = True, b"p"
            k += 1
        else:
            got_digit = True
    while k < n:
        c = token[k:k + 1]
        if c in _DIGITS:
            got_digit = True
        elif hexadecimal and not got_exponent and c in _XDIGITS:
            got_digit = True
        elif got_exponent and token[k - 1:k].lower() == exponent and c in (b"+", b"-"):
            pass
        elif got_digit and not got_exponent and c.lower() == exponent:
            got_exponent = got_dot = True
        elif not got_dot and c == b".":
            got_dot = True
        else:
            break
        k += 1
    if k == first or hexadecimal and k == first + 2:
        return None
    taken = token[start:k]
    found = _STRTOD_HEX.match(taken) if hexadecimal else None
    if found:
        return float.fromhex(found.group().decode("ascii")), k
    found = _STRTOD_DECIMAL.match(taken)
    return (float(found.group()), k) if found else None


def numbers(token):
    """The values that the command line reads from one token (white space
    around it), or None when some part of it is not a number."""
    if not token.translate(None, _DECIMAL):
        try:
            return [float(token)]
        except ValueError:
            pass
    values, start = [], 0
    while start < len(token):
        found = scan_number(token, start)
        if found is None:
            return None
        values.append(found[0])
        start = found[1]
    return values


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
    rows, total = [], 0
    for k, line in enumerate(lines):
        number_of_line = k + 1
        length = len(line) + (k + 1 < len(lines) or data.endswith(b"\n"))
        genes = -(-length // limit)  # the program reads a longer line in pieces, one gene each
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
                found = numbers(token)
                if found is None or not all(map(math.isfinite, found)):
                    raise _not_a_number(path, number_of_line, column, token)
                row += found
        if len(row) != genes * samples:
            if length > limit:
                raise InputError("%s: %d characters; expected at most 31 x %d + 1 = %d with the newline "
                                 "(write the values with fewer digits)."
                                 % (where(path, number_of_line), length, samples, limit))
            raise InputError("%s: %d values; expected %d, one per label of %s."
                             % (where(path, number_of_line), len(row), samples, labels_path))
        rows.append(np.reshape(row, (genes, samples)))
        total += genes
        if total > MAX_GENES:
            raise InputError("%s: more than %d genes; expected at most %d (keep fewer genes, e.g. with "
                             "tivarne-prep --top-variable)." % (path, MAX_GENES, MAX_GENES))
    return np.concatenate(rows) if rows else np.empty((0, samples))


def check_files(expression_path, labels_path):
    """(values, labels) of a pair of input files, checked as tivarne reads them."""
    labels = check_labels(labels_path)
    return check_expression(expression_path, len(labels), labels_path), labels


def expression_text(values):
    """Lines of values in the shortest form that reads back exactly."""
    return "".join(" ".join(map(repr, row)) + "\n" for row in values.tolist())


def labels_text(labels):
    return " ".join("1" if label else "0" for label in labels) + "\n"
