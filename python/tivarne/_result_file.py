"""tivarne.read_result(): the command line's result file as a DataFrame."""
import re

import numpy as np
import pandas as pd

# The file's column names and their names in analyse()'s result.
_HEADER_NAMES = {"rank": "rank", "score(WCOR)": "score", "log10(p-value(ECOR))": "log10_p",
                 "gene X": "gene_x", "gene Y": "gene_y", "r1": "r1", "r2": "r2", "weight c": "c"}
# analyse()'s column order; columns the file does not have are left out.
_ORDER = ["rank", "gene_x", "gene_y", "score", "r1", "r2", "c", "p_value", "log10_p", "q_value"]
_INTEGERS = {"rank", "gene_x", "gene_y"}
_RULE = re.compile(r"^-+$")


def read_result(path):
    """Read a result file of the command line ``tivarne`` into a DataFrame.

    Parameters
    ----------
    path : str or os.PathLike
        The file written by ``tivarne -o``.

    Returns
    -------
    pandas.DataFrame
        One row per pair, in the file's order, with the columns of
        :func:`tivarne.analyse` that the file holds: ``rank``, ``gene_x``,
        ``gene_y`` (gene numbers, counted from 1), ``score``, ``r1``, ``r2``,
        ``c`` and ``log10_p``, as printed (two decimals; ``-inf`` and ``nan``
        as floats). A result without pairs gives an empty DataFrame with
        these columns. ``DataFrame.attrs`` holds the settings of the run:
        ``level`` and ``max_pairs`` (and ``log10_level`` when the file gives
        the level as a logarithm), plus any other ``name = value`` line of the
        settings block under a cleaned-up name.

    Raises
    ------
    ValueError
        The file is not a tivarne result file.
    OSError
        The file cannot be read.
    """
    with open(path, encoding="utf-8", errors="replace") as f:
        lines = f.read().splitlines()
    rules = [i for i, line in enumerate(lines) if _RULE.match(line)]
    if not lines or lines[0] != "Results of TIVARNE:" or len(rules) < 2:
        raise ValueError("%s is not a tivarne result file" % (path,))
    attrs = _settings(lines[rules[0] + 1:rules[1]])
    body = [line for line in lines[rules[1] + 1:] if line.strip()]
    if not body or body[0] == "---No significant gene pairs---":
        columns = [name for name in _ORDER if name in _HEADER_NAMES.values()]
        pairs = pd.DataFrame({name: np.empty(0, np.int64 if name in _INTEGERS else np.float64)
                              for name in columns})
    else:
        names = [_column_name(name.strip()) for name in body[0].split("\t")]
        cells = [line.split("\t") for line in body[1:]]
        if any(len(row) != len(names) for row in cells):
            raise ValueError("%s: a row does not have the %d columns of the header" % (path, len(names)))
        data = {}
        for k, name in enumerate(names):
            kind = np.int64 if name in _INTEGERS else np.float64
            data[name] = np.array([float(row[k]) for row in cells], dtype=np.float64).astype(kind)
        order = [n for n in _ORDER if n in data] + [n for n in names if n not in _ORDER]
        pairs = pd.DataFrame(data)[order]
    pairs.attrs.update(attrs)
    return pairs


def _column_name(name):
    return _HEADER_NAMES.get(name) or re.sub(r"\W+", "_", name).strip("_").lower()


def _settings(lines):
    """The settings block as attributes: level, max_pairs and any other `name = value`."""
    attrs = {}
    for line in lines:
        name, _, value = (part.strip() for part in line.partition("="))
        if name == "significant level":
            attrs["level"] = float(value)
        elif name == "log10(significant level)":
            attrs["log10_level"] = float(value)
            attrs["level"] = 10.0 ** float(value)
        elif name == "number of gene pairs to be output":
            attrs["max_pairs"] = int(value.split()[0])
        elif name:
            attrs[_column_name(name)] = value
    return attrs
