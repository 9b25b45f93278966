"""The manifest tivarne-prep writes beside its files, and the checks that
bind a result to the data it came from.

OUTDIR/manifest.json records the data set: the counts of genes and samples,
the classes and their sizes, the samples left out, the version of the tool,
and the name and SHA-256 of expr.txt, labels.txt and genes.txt. A file that
lies beside a manifest belongs to that data set only if its checksum is the
one recorded for its role, so a genes file of another data set, or a file
changed since, is refused. The rows of a result are then held against the
data themselves: gene numbers within the genes, and r1 and r2 of the first
rows recomputed from the expression and label files, which a result of
other data does not match.
"""
import hashlib
import json
import os

import numpy as np

from . import __version__
from ._format import check_files
from ._result_file import gene_numbers
from ._tool import InputError

NAME = "manifest.json"
FORMAT = "tivarne-prep manifest 1"
ROLES = {"expression": "expr.txt", "labels": "labels.txt", "genes": "genes.txt"}
ROWS_CHECKED = 10


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def manifest_text(texts, **facts):
    """The manifest of files {role: text} (written as UTF-8) and `facts`."""
    files = {role: {"name": ROLES[role], "sha256": sha256(text.encode("utf-8"))} for role, text in texts.items()}
    record = dict(format=FORMAT, version=__version__, **facts, files=files)
    return json.dumps(record, indent=2, ensure_ascii=False) + "\n"


def read_manifest(folder):
    """The manifest in `folder`, or None when there is none."""
    path = os.path.join(folder or ".", NAME)
    if not os.path.exists(path):
        return None
    try:
        with open(path, encoding="utf-8") as f:
            record = json.load(f)
        if record.get("format") != FORMAT:
            raise ValueError
        record["folder"] = folder or "."
        return record
    except (OSError, ValueError, AttributeError):
        raise InputError("%s is not a manifest of tivarne-prep; remove it or run tivarne-prep again." % path)


def _file_sha(path):
    try:
        with open(path, "rb") as f:
            return sha256(f.read())
    except OSError as e:
        raise InputError('Cannot read "%s": %s.' % (path, e.strerror or e))


def data_set(expression=None, labels=None, genes=None):
    """The manifest of the data set these files belong to (the one beside
    the expression file, else beside the genes file), after checking every
    given file against it; None when neither lies beside a manifest."""
    given = {"expression": expression, "labels": labels, "genes": genes}
    record = None
    for role in ("expression", "genes", "labels"):
        if given[role] is not None:
            record = read_manifest(os.path.dirname(str(given[role])))
            if record is not None:
                break
    if record is None:
        return None
    where = os.path.join(record["folder"], NAME)
    for role, path in given.items():
        if path is not None and _file_sha(path) != record["files"][role]["sha256"]:
            raise InputError("%s is not the %s file of the data set of %s (its checksum differs from the one "
                             "recorded there): the files do not belong together, or it changed since "
                             "tivarne-prep wrote it." % (path, role, where))
    return record


def midcorrelations(values, is_class1, x, y):
    """(r1, r2): the biweight midcorrelations of genes x and y (rows of
    `values`) in class 1 and class 2, by the library's formulas."""
    out = []
    for members in (is_class1, ~is_class1):
        a, b = values[x, members], values[y, members]
        with np.errstate(divide="ignore", invalid="ignore"):
            terms = []
            for v in (a, b):
                d = np.abs(v - np.median(v))
                u = d / (9 * np.median(d))
                inside = np.abs(u) < 1
                w = np.where(inside, (1 - u * u) ** 2, 0.0)
                terms.append((w * (v - np.median(v)), np.sum(np.where(inside, (1 - u * u) * (1 - 5 * u * u), 0.0))))
            (ta, da), (tb, db) = terms
            m = len(a)
            cov = m * np.sum(ta * tb) / (da * db + 1e-20)
            var_a = m * np.sum(ta * ta) / (da * da + 1e-20)
            var_b = m * np.sum(tb * tb) / (db * db + 1e-20)
            out.append(cov / np.sqrt(var_a * var_b))
    return out


def _agrees(printed, computed, full):
    if np.isnan(printed) or np.isnan(computed):
        return np.isnan(printed) and np.isnan(computed)
    return abs(printed - computed) <= (1e-9 if full else 0.005 + 1e-9)


def check_rows(result, pairs, values, labels, data):
    """InputError when the first rows' r1 and r2 are not those of `values`
    (genes x samples) and `labels`: the result comes from other data."""
    x, y = gene_numbers(pairs)
    if len(x) and max(y) > len(values):
        raise InputError("%s: gene %d is beyond the %d genes of %s: the result comes from other data."
                         % (result, max(y), len(values), data))
    full = pairs.attrs.get("format") != "result file"
    is_class1 = np.asarray(labels) == 1
    for k in range(min(len(x), ROWS_CHECKED)):
        r1, r2 = midcorrelations(values, is_class1, x[k] - 1, y[k] - 1)
        if not (_agrees(pairs.r1.iloc[k], r1, full) and _agrees(pairs.r2.iloc[k], r2, full)):
            raise InputError("%s: genes %d and %d have r1 = %.2f and r2 = %.2f in %s, not %.2f and %.2f as in the "
                             "result: the result comes from other data (give the files of its run)."
                             % (result, x[k], y[k], r1, r2, data, pairs.r1.iloc[k], pairs.r2.iloc[k]))


def check_result(result, pairs, expression=None, labels=None, genes=None, values=None, classes=None):
    """Binds the rows of `result` to their data set: the given files against
    the manifest beside them, the gene numbers against its gene count, and
    r1 and r2 against the expression and label files (given, or those of the
    manifest's folder). Returns the manifest, or None when there is none."""
    record = data_set(expression, labels, genes)
    if record is not None:
        x, y = gene_numbers(pairs)
        if len(y) and max(y) > record["genes"]:
            raise InputError("%s: gene %d is beyond the %d genes of the data set of %s: the files do not "
                             "belong together." % (result, max(y), record["genes"],
                                                   os.path.join(record["folder"], NAME)))
        folder = record["folder"]
        if expression is None and labels is None:
            expression, labels = (os.path.join(folder, record["files"][role]["name"]) for role in ("expression",
                                                                                                   "labels"))
            if not (os.path.exists(expression) and os.path.exists(labels)):
                return record
            data_set(expression, labels)
    if values is None and expression is not None and labels is not None:
        values, classes = check_files(expression, labels)
    if values is not None:
        check_rows(result, pairs, values, classes, expression)
    return record
