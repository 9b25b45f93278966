"""tivarne.analyse(): the arguments checked and prepared, the result as a DataFrame."""
import numbers
import sys

import numpy as np
import pandas as pd

from . import _core

COLUMNS = ["rank", "gene_x", "gene_y", "index_x", "index_y", "score", "r1", "r2", "c", "p_value",
           "log10_p"]

# The library's phases (tivarne::Phase) as the progress bar shows them.
_PHASES = {1: ("per-gene statistics", "genes"), 2: ("scoring pairs", "pairs"),
           3: ("ranking pairs", "pairs"), 4: ("selecting pairs", "ranks")}


def analyse(expression, labels, level=0.01, max_pairs=20, class1=None, threads=None, adjust=None,
            progress=False, *, order="score", engine="fast"):
    """Gene pairs whose co-expression differs between two classes of samples.

    Scores every pair of genes by ``c * |r1 - r2|``, where ``r1`` and ``r2``
    are the pair's biweight midcorrelations in class 1 and class 2 and ``c``
    weighs how alike the pair's spread is in the two classes; ranks all pairs
    by score, best first; and walks down the ranking, selecting each pair
    whose ECOR p-value (a likelihood-ratio test of one common correlation) is
    at or below `level`, until `max_pairs` pairs are selected. The same
    computation as the command line ``tivarne``, with the same numbers.

    Parameters
    ----------
    expression : numpy.ndarray or pandas.DataFrame
        Genes x samples: one row per gene, one column per sample. A 2-D array
        of any real dtype (float64 in C or Fortran order, or any view whose
        strides are whole elements, is used without a copy), or a DataFrame of
        numeric columns whose index holds the gene names (a default
        ``RangeIndex`` counts as no names). Every value must be finite.
    labels : array-like
        One label per sample, in the order of the columns: 0 and 1 (1 =
        class 1), booleans (True = class 1), or any two values such as names
        (strings, a pandas Categorical) together with `class1`. Exactly two
        distinct values must occur. Labels are matched to samples by position.
    level : float, default 0.01
        Significance level: a pair is selected when its p-value (its q-value
        with ``adjust="BH"``) is at or below it. Not range-checked: 1 or more
        selects every pair reached that has a p-value.
    max_pairs : int, default 20
        At most this many pairs are selected. The first pair that passes the
        level is always selected, also when `max_pairs` is 0 or negative.
    class1 : object, optional
        The label value that marks class 1; every other sample is class 2.
        Needed for labels other than 0/1 or booleans; must occur in `labels`.
    threads : int, optional
        Threads for the parallel phases; None takes OpenMP's default
        (``OMP_NUM_THREADS``, or all cores). The result does not depend on it.
    adjust : {None, "BH"}, default None
        None holds each pair's own p-value against `level`. "BH" computes
        Benjamini-Hochberg q-values over all pairs that have a p-value, adds a
        ``q_value`` column and selects by q-value (false discovery rate at
        `level`).
    progress : bool, default False
        Show a progress bar per phase on standard error (tqdm).
    order : {"score", "p_value"}, default "score"
        The order of the walk and of the rows: by score, best first (the
        command line's order), or by p-value, smallest first (equal p-values
        by score; pairs without a p-value last).
    engine : {"fast", "straightforward"}, default "fast"
        "straightforward" runs every pair through the per-pair formulas: about
        a hundred times slower, the same numbers bit for bit.

    Returns
    -------
    pandas.DataFrame
        One row per selected pair, in rank order, with the columns

        ========== ==========================================================
        rank       1, 2, ...: the row's place in the order of the walk
        gene_x     the first gene's name from the index, or `index_x` when
                   there are no names
        gene_y     the second gene's name, or `index_y`
        index_x    the first gene's row number, counted from 1 (the command
                   line's gene X); ``index_x < index_y``
        index_y    the second gene's row number, counted from 1 (gene Y)
        score      ``c * |r1 - r2|``, from 0 up to 2 (WCOR)
        r1         biweight midcorrelation of the pair in class 1
        r2         biweight midcorrelation in class 2
        c          the weight, between 0 and 1, as ``score / |r1 - r2|``
                   (not a number when r1 equals r2)
        p_value    the ECOR p-value
        log10_p    log10 of the p-value (-inf when it is 0)
        q_value    the Benjamini-Hochberg q-value; only with ``adjust="BH"``
        ========== ==========================================================

        Values are in full precision; rounded to two decimals they are the
        rows of the command line's result file for the same data and answers.
        ``DataFrame.attrs`` holds the settings (``level``, ``max_pairs``,
        ``adjust``, ``order``), the class values (``class1``, ``class2``) and
        sizes (``n1``, ``n2``), and the counts ``genes``, ``samples``,
        ``pairs``, ``without_p_value`` (pairs without a p-value among those
        ranked up to the last selected pair, or among all pairs when fewer
        than `max_pairs` were selected; never selected), ``tested`` (with
        "BH": the pairs that have a p-value) and ``used_pair_table`` (whether
        the table of all pairs was built; see MemoryError).

    Raises
    ------
    ValueError
        A value that is not finite (naming the first such gene and sample),
        labels whose number does not match the samples, a missing label, one
        or more than two distinct labels (a class without samples), labels
        other than 0/1 or booleans without `class1`, a `class1` that does not
        occur, more than 46341 genes, or an unusable argument.
    TypeError
        Expression data that are not real numbers (strings, objects, booleans,
        complex numbers).
    MemoryError
        The analysis needs the table of all gene pairs (12 bytes per pair:
        for ``adjust="BH"``, ``order="p_value"``, or equal scores among the
        selected pairs or at the last one) and it does not fit in the memory
        the system has available.
    KeyboardInterrupt
        Ctrl-C during the analysis; it stops within about a second.

    Notes
    -----
    The computation runs without the GIL: other Python threads go on, and
    analyses in several threads run at once.

    Examples
    --------
    >>> import numpy as np, tivarne
    >>> expression = np.loadtxt("examples/golub/expr.txt")
    >>> labels = np.loadtxt("examples/golub/labels.txt", dtype=int)
    >>> pairs = tivarne.analyse(expression, labels, level=0.01, max_pairs=20)
    >>> pairs.loc[0, ["index_x", "index_y"]].tolist()
    [444, 1414]
    """
    values, gene_names, sample_names = _expression(expression)
    is_class1, class_names = _labels(labels, values.shape[1], class1, sample_names)
    _check_finite(values, gene_names, sample_names)
    level = _number(level, "level", numbers.Real, float)
    max_pairs = _number(max_pairs, "max_pairs", numbers.Integral, int)
    if not -2**31 <= max_pairs < 2**31:
        raise ValueError("max_pairs must fit a 32-bit integer, got %d" % max_pairs)
    if threads is None:
        threads = 0
    elif _number(threads, "threads", numbers.Integral, int) < 1:
        raise ValueError("threads must be at least 1 (or None for all cores), got %r" % (threads,))
    adjust_name = _choice(adjust, "adjust", {None: "none", "BH": "BH"})
    _choice(order, "order", {"score": "score", "p_value": "p_value"})
    _choice(engine, "engine", {"fast": "fast", "straightforward": "straightforward"})

    bar = _ProgressBar() if progress else None
    try:
        out = _core.analyse(values, is_class1, level, max_pairs, threads, adjust_name, order, engine, bar)
    finally:
        if bar is not None:
            bar.close()

    index_x = out["gene_x"].astype(np.int64) + 1
    index_y = out["gene_y"].astype(np.int64) + 1
    columns = {"rank": np.arange(1, len(index_x) + 1, dtype=np.int64),
               "gene_x": index_x if gene_names is None else gene_names[index_x - 1],
               "gene_y": index_y if gene_names is None else gene_names[index_y - 1],
               "index_x": index_x, "index_y": index_y}
    for name in COLUMNS[5:] + (["q_value"] if adjust else []):
        columns[name] = out[name]
    pairs = pd.DataFrame(columns)
    pairs.attrs.update(
        level=level, max_pairs=max_pairs, adjust=adjust, order=order,
        class1=class_names[0], class2=class_names[1], n1=out["class1"], n2=out["class2"],
        genes=out["genes"], samples=out["samples"], pairs=out["pairs"],
        without_p_value=out["without_p_value"], tested=out["tested"],
        used_pair_table=bool(out["used_pair_table"]))
    return pairs


def _expression(expression):
    """(genes x samples float64 array, gene names or None, sample names or None)."""
    gene_names = sample_names = None
    if isinstance(expression, pd.DataFrame):
        for column, dtype in expression.dtypes.items():
            if not pd.api.types.is_numeric_dtype(dtype) or pd.api.types.is_bool_dtype(dtype):
                raise TypeError("expression column %r holds %s values, not numbers" % (column, dtype))
        gene_names = _names(expression.index)
        sample_names = _names(expression.columns)
        if all(dtype == np.float64 for dtype in expression.dtypes):
            values = expression.to_numpy()
        else:
            values = expression.to_numpy(dtype=np.float64, na_value=np.nan)
    else:
        values = np.asarray(expression)
    if values.ndim != 2:
        raise ValueError("expression must be 2-D (genes x samples), got %d dimension(s)" % values.ndim)
    if values.dtype.kind not in "iuf":
        raise TypeError("expression values must be real numbers, got dtype %s" % values.dtype)
    if values.shape[0] > _core.MAX_GENES:
        raise ValueError("too many genes: %d (at most %d)" % (values.shape[0], _core.MAX_GENES))
    if values.shape[1] >= 2**31:
        raise ValueError("too many samples: %d" % values.shape[1])
    usable = (values.dtype == np.float64 and values.flags.aligned
              and all(s % values.itemsize == 0 for s in values.strides))
    return (values if usable else values.astype(np.float64, order="C")), gene_names, sample_names


def _names(index):
    """The labels of a pandas index as an array, or None for a default RangeIndex."""
    if isinstance(index, pd.RangeIndex) and index.start == 0 and index.step == 1:
        return None
    return np.asarray(index, dtype=object)


def _gene(g, gene_names):
    return "gene %d" % (g + 1) if gene_names is None else "gene %r (row %d)" % (gene_names[g], g + 1)


def _sample(s, sample_names):
    return "sample %d" % (s + 1) if sample_names is None else "sample %r (column %d)" % (sample_names[s], s + 1)


def _check_finite(values, gene_names, sample_names):
    finite = np.isfinite(values)
    if not finite.all():
        g, s = np.unravel_index(np.argmin(finite), finite.shape)
        raise ValueError("the value of %s in %s is not a finite number: %r"
                         % (_gene(g, gene_names), _sample(s, sample_names), float(values[g, s])))


def _labels(labels, samples, class1, sample_names):
    """(int32 array, 1 = class 1, 0 = class 2; (class-1 value, class-2 value))."""
    if isinstance(labels, (pd.Series, pd.Index)):
        labels = labels.array
    given = np.asarray(labels, dtype=object) if isinstance(labels, pd.Categorical) else np.asarray(labels)
    if given.ndim != 1:
        raise ValueError("labels must be one-dimensional (one per sample), got shape %s" % (given.shape,))
    if len(given) != samples:
        raise ValueError("%d labels for %d samples: one label per sample is needed" % (len(given), samples))
    missing = pd.isna(given)
    if missing.any():
        raise ValueError("the label of %s is missing" % _sample(int(np.argmax(missing)), sample_names))
    values = list(pd.unique(given))
    if len(values) != 2:
        raise ValueError("the labels must have exactly two distinct values (one per class), found %d: %s"
                         % (len(values), ", ".join(repr(v) for v in values[:5])))
    if class1 is None:
        if not all(_is_zero_or_one(v) for v in values):
            raise ValueError("labels other than 0/1 or booleans need class1= naming the class-1 value "
                             "(the labels are %r and %r)" % tuple(values))
        class_names = (values[0], values[1]) if values[0] == 1 else (values[1], values[0])
    else:
        if not any(_same(v, class1) for v in values):
            raise ValueError("class1=%r does not occur in the labels (they are %r and %r)"
                             % ((class1,) + tuple(values)))
        class_names = (class1, values[1] if _same(values[0], class1) else values[0])
    is_class1 = np.fromiter((_same(v, class_names[0]) for v in given), dtype=np.int32, count=len(given))
    return is_class1, tuple(v.item() if isinstance(v, np.generic) else v for v in class_names)


def _is_zero_or_one(value):
    return isinstance(value, (numbers.Number, np.bool_)) and (value == 0 or value == 1)


def _same(a, b):
    try:
        return bool(a == b)
    except (TypeError, ValueError):
        return False


def _number(value, name, kind, convert):
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, kind):
        raise TypeError("%s must be %s, got %r" % (name, "a number" if kind is numbers.Real else "an integer",
                                                   value))
    return convert(value)


def _choice(value, name, choices):
    if not any(value is key or (isinstance(value, str) and value == key) for key in choices):
        raise ValueError("%s must be one of %s, got %r" % (name, ", ".join(map(repr, choices)), value))
    return choices[value]


class _ProgressBar:
    """One tqdm bar per phase of the library, on standard error."""

    def __init__(self):
        from tqdm import tqdm
        self._tqdm = tqdm
        self._phase = None
        self._bar = None

    def __call__(self, phase, done, total, finished):
        if phase not in _PHASES:
            return
        if phase != self._phase:
            self.close()
            text, unit = _PHASES[phase]
            self._bar = self._tqdm(total=total, desc=text, unit=unit, unit_scale=True, file=sys.stderr)
            self._phase = phase
        if finished:
            if phase == 4 and done > 0:  # the walk takes at most `total` ranks, often far fewer
                self._bar.total = done
            self._bar.update(self._bar.total - self._bar.n)
            self.close()
        else:
            self._bar.update(done - self._bar.n)

    def close(self):
        if self._bar is not None:
            self._bar.close()
        self._bar = self._phase = None
