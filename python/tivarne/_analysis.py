"""tivarne.analyse(): the arguments checked and prepared, the result as a DataFrame."""
import numbers
import sys
import warnings

import numpy as np
import pandas as pd

from . import __version__, _core
from ._classes import MIN_CLASS_SIZE, SmallClassWarning, name_mismatch, select, size_messages

COLUMNS = ["rank", "gene_x", "gene_y", "index_x", "index_y", "score", "r1", "r2", "c", "p_value",
           "log10_p"]

# The library's phases, by the names the binding reports, as the progress bar shows them.
_PHASES = {"per_gene": ("per-gene statistics", "genes"), "scoring": ("scoring pairs", "pairs"),
           "ranking": ("ranking pairs", "pairs"), "selecting": ("selecting pairs", "ranks")}


def analyse(expression, labels, level=0.01, max_pairs=20, class1=None, threads=None, adjust=None,
            progress=False, *, class2=None, samples=None, order="score", min_class_size=MIN_CLASS_SIZE,
            engine="fast", genes=None, pairs=None, within=False, class_level=0.05, histograms=False):
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
        strides are whole elements, is used without a copy when every sample
        is used), or a DataFrame of numeric columns whose index holds the gene
        names and whose columns hold the sample names (a default
        ``RangeIndex`` counts as no names). Every value of the samples used
        must be finite.
    labels : array-like or pandas.Series
        The class of each sample: 0 and 1 (1 = class 1), booleans (True =
        class 1), or any values such as names (strings, a pandas Categorical)
        together with `class1`. A Series indexed by sample names is matched
        to the DataFrame's columns by name, in any order; every sample needs
        a label and every label a sample. Labels without names (an array, a
        list, a Series with a default ``RangeIndex``) are taken by position,
        one per column.
    level : float, default 0.01
        Significance level: a pair is selected when its p-value (its q-value
        with ``adjust="BH"``) is at or below it. Not range-checked: 1 or more
        selects every pair reached that has a p-value.
    max_pairs : int, default 20
        At most this many pairs are selected (-2**31 to 2**31 - 1). The first
        pair that passes the level is always selected, also when `max_pairs`
        is 0 or negative.
    class1 : object or list, optional
        The class-1 label value; a list of values merged into class 1; or a
        shell-style pattern such as ``"B*"`` for string labels (a value that
        equals a label exactly is taken as that label, not as a pattern).
        Needed for labels other than 0/1 or booleans.
    threads : int, optional
        Threads for the parallel phases; None takes OpenMP's default
        (``OMP_NUM_THREADS``, or all cores). The result does not depend on it.
    adjust : {None, "BH"}, default None
        None holds each pair's own p-value against `level`. "BH" computes
        Benjamini-Hochberg q-values over all pairs that have a p-value, adds a
        ``q_value`` column and selects by q-value (false discovery rate at
        `level`). With millions of pairs, a per-pair level lets through about
        `level` times the number of pairs by chance alone: "BH" is the choice
        when the selected pairs should be mostly real.
    progress : bool, default False
        Show a progress bar per phase on standard error (tqdm).
    class2 : object or list, optional
        Class 2, given like `class1`. Without it, the one label besides class
        1 is class 2, and more than two labels are refused. Samples in
        neither class are left out (counted in ``attrs["left_out"]``), with
        both classes named also samples without a label (NaN, None).
    samples : array-like or pandas.Series, optional
        The samples to use: booleans (a Series indexed by sample names is
        matched by name, an array or list by position) or a list of sample
        names. The others are left out, whatever their label.
    order : {"score", "p_value"}, default "score"
        The order of the walk and of the rows: by score, best first (the
        command line's order), or by p-value, smallest first (equal p-values
        by score; pairs without a p-value last).
    min_class_size : int, default 3
        A class with fewer samples is refused: with one or two samples every
        correlation is 1, -1 or not a number and the p-values carry no
        information. Below 10 samples a `tivarne.SmallClassWarning` says that
        the p-values rest on large-sample theory.
    engine : {"fast", "straightforward"}, default "fast"
        "straightforward" runs every pair through the per-pair formulas: about
        a hundred times slower, the same numbers bit for bit.
    genes : list, optional
        A focused analysis: only the pairs that contain one of these genes
        (gene names from the index, or row numbers counted from 1) are
        scored, tested and selected; with ``adjust="BH"`` the q-values count
        only them. The cost scales with those pairs (one gene against 20,000
        takes milliseconds). Their values are those of a full run to the bit;
        equal scores go in pair order.
    pairs : list of (gene, gene), optional
        A focused analysis of exactly these pairs (names or row numbers, as
        tuples, an n x 2 array or a two-column DataFrame); not with `genes`.
    within : bool, default False
        With `genes`: only the pairs of two genes of the set.
    class_level : float, default 0.05
        The level of the correlation classes (column ``dc_class``).
    histograms : bool, default False
        Also histogram the scores and the p-values of all pairs (or all
        focused pairs) into ``attrs["histograms"]`` (see `pair_histograms`),
        at about 10% more time.

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
        dc_class   the correlation classes, class 1 then class 2, e.g. "+/0":
                   "+" or "-" when the class's midcorrelation differs from 0
                   at `class_level` (two-sided Student's t on n - 2 degrees
                   of freedom, as R's cor.test for Pearson's r), else "0";
                   "NA" when a correlation is not a number
        ========== ==========================================================

        Values are in full precision; rounded to two decimals they are the
        rows of the command line's result file for the same data and answers.
        ``DataFrame.attrs`` holds the settings (``level``, ``max_pairs``,
        ``adjust``, ``order``), the classes (``class1``, ``class2``: the label
        values, a list when merged) and their sizes (``n1``, ``n2``),
        ``left_out`` (samples in neither class or filtered out), the counts
        ``genes``, ``samples`` (samples used), ``pairs``, ``without_p_value``
        (pairs without a p-value among those ranked up to the last selected
        pair, or among all pairs when fewer than `max_pairs` were selected;
        never selected) and ``tested`` (with "BH": the pairs that have a
        p-value), ``used_pair_table`` (whether the table of all pairs was
        built; see MemoryError), and the package's ``version``.

    Raises
    ------
    ValueError
        A value that is not finite (naming the first such gene and sample),
        labels whose number does not match the samples, labels or `samples`
        whose sample names do not match the columns (naming the first), a
        missing label unless both classes are named, a class with fewer than `min_class_size` samples, more
        than two classes without `class2`, a `class1` or `class2` that names
        no label, a label in both classes, labels other than 0/1 or booleans
        without `class1`, more than 46341 genes, or an unusable argument such
        as a `max_pairs` outside the 32-bit range.
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

    Warns
    -----
    tivarne.SmallClassWarning
        A class of fewer than 10 samples.

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

    Named samples, two of five subtypes, B-cell samples only:

    >>> pairs = tivarne.analyse(frame, sheet["subtype"], class1="BCR/ABL", class2="NEG",
    ...                         samples=sheet["lineage"] == "B", adjust="BH", level=0.05)
    """
    return _run(expression, labels, level, max_pairs, class1, threads, adjust, progress, class2=class2,
                samples=samples, order=order, min_class_size=min_class_size, engine=engine, genes=genes,
                pairs=pairs, within=within, class_level=class_level, histograms=histograms)[0]


def _run(expression, labels, level=0.01, max_pairs=20, class1=None, threads=None, adjust=None, progress=False, *,
         class2=None, samples=None, order="score", min_class_size=MIN_CLASS_SIZE, engine="fast", genes=None,
         pairs=None, within=False, class_level=0.05, histograms=False, gene_summary=False):
    """analyse() with the binding's whole output: (DataFrame, output, gene names)."""
    from . import _rewired
    values, gene_names, sample_names = _expression(expression)
    focus = _rewired.focus(genes, pairs, within, values.shape[0], gene_names)
    class_level = _number(class_level, "class_level", numbers.Real, float)
    given = _aligned(labels, "labels", values.shape[1], sample_names, gene_names)
    used = _samples(samples, values.shape[1], sample_names)
    missing = used & np.fromiter((v is None for v in given), dtype=bool, count=len(given))
    if missing.any() and (class1 is None or class2 is None):
        raise ValueError("the label of %s is missing: name both classes (class1=, class2=) to leave samples "
                         "without a label out, or leave it out with samples=" % _sample(int(np.argmax(missing)),
                                                                                       sample_names))
    minimum = _number(min_class_size, "min_class_size", numbers.Integral, int)
    chosen = select(np.where(used, given, None), class1, class2)
    error, small = size_messages(chosen, minimum)
    if error:
        raise ValueError(error)
    level = _number(level, "level", numbers.Real, float)
    max_pairs = _number(max_pairs, "max_pairs", numbers.Integral, int)
    if not -2**31 <= max_pairs < 2**31:
        raise ValueError("max_pairs must fit a 32-bit integer (-2**31 to 2**31 - 1), got %d" % max_pairs)
    if threads is None:
        threads = 0
    elif _number(threads, "threads", numbers.Integral, int) < 1:
        raise ValueError("threads must be at least 1 (or None for all cores), got %r" % (threads,))
    adjust_name = _choice(adjust, "adjust", {None: "none", "BH": "BH"})
    _choice(order, "order", {"score": "score", "p_value": "p_value"})
    _choice(engine, "engine", {"fast": "fast", "straightforward": "straightforward"})

    kept = chosen.in1 | chosen.in2
    if not kept.all():
        values = values[:, kept]
        sample_names = None if sample_names is None else sample_names[kept]
        columns = np.flatnonzero(kept)
    else:
        columns = None
    _check_finite(values, gene_names, sample_names, columns)
    for text in small:
        warnings.warn(text, SmallClassWarning, stacklevel=2)
    is_class1 = np.ascontiguousarray(chosen.in1[kept], dtype=np.int32)

    bar = _ProgressBar() if progress else None
    try:
        out = _core.analyse(values, is_class1, level, max_pairs, threads, adjust_name, order, engine,
                            max(0, min(minimum, 2**31 - 1)), bar, gene_summary=bool(gene_summary),
                            histograms=bool(histograms), class_level=class_level, **focus)
    finally:
        if bar is not None:
            bar.close()

    index_x = out["gene_x"].astype(np.int64) + 1
    index_y = out["gene_y"].astype(np.int64) + 1
    columns = {"rank": np.arange(1, len(index_x) + 1, dtype=np.int64),
               "gene_x": index_x if gene_names is None else gene_names[index_x - 1],
               "gene_y": index_y if gene_names is None else gene_names[index_y - 1],
               "index_x": index_x, "index_y": index_y}
    for name in COLUMNS[5:] + (["q_value"] if adjust else []) + ["dc_class"]:
        columns[name] = out[name]
    table = pd.DataFrame(columns)
    _rewired.add_attrs(table, out, histograms)
    table.attrs.update(
        class1=chosen.class1, class2=chosen.class2, n1=out["class1"], n2=out["class2"],
        left_out=len(kept) - out["samples"], genes=out["genes"], samples=out["samples"],
        pairs=out["pairs"], tested=out["tested"], without_p_value=out["without_p_value"],
        used_pair_table=bool(out["used_pair_table"]),
        level=level, max_pairs=max_pairs, adjust=adjust, order=order, version=__version__)
    return table, out, gene_names


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


def _sample(s, sample_names, column=None):
    column = s + 1 if column is None else column + 1
    return "sample %d" % column if sample_names is None else "sample %r (column %d)" % (sample_names[s], column)


def _check_finite(values, gene_names, sample_names, columns=None):
    """ValueError naming the first value that is not finite; `columns` maps
    the columns of `values` to those the caller gave."""
    finite = np.isfinite(values)
    if not finite.all():
        g, s = np.unravel_index(np.argmin(finite), finite.shape)
        raise ValueError("the value of %s in %s is not a finite number: %r"
                         % (_gene(g, gene_names), _sample(s, sample_names, None if columns is None else columns[s]),
                            float(values[g, s])))


def _more(names, shown=lambda n: repr(n)):
    names = list(names)
    return shown(names[0]) + (" (and %d more)" % (len(names) - 1) if len(names) > 1 else "")


def _aligned(given, what, samples, sample_names, gene_names=None):
    """One value per sample, in the order of the columns: a Series with
    sample names is matched to `sample_names` by name, anything else is taken
    by position. Missing values become None."""
    if isinstance(given, pd.Series) and _names(given.index) is not None:
        if sample_names is None:
            raise ValueError("the %s are indexed by sample names but the expression's columns have "
                             "none: give a DataFrame whose columns are the sample names, or %s without "
                             "names (e.g. .to_numpy()) to take them by position" % (what, what))
        index = given.index
        if index.has_duplicates:
            raise ValueError("the %s name sample %s more than once" % (what, _more(index[index.duplicated()])))
        columns = pd.Index(sample_names)
        why = name_mismatch([str(c) for c in columns], [str(i) for i in index],
                            [] if gene_names is None else [str(g) for g in gene_names],
                            where=("the " + what, "the expression"))
        why = "; " + why if why else ""
        absent = columns.difference(index, sort=False)
        if len(absent):
            raise ValueError("sample %s of the expression has no entry in the %s%s" % (_more(absent), what, why))
        extra = index.difference(columns, sort=False)
        if len(extra):
            raise ValueError("the %s name sample %s, which is not a column of the expression%s"
                             % (what, _more(extra), why))
        given = given.reindex(columns)
    if isinstance(given, (pd.Series, pd.Index)):
        given = given.array
    values = np.asarray(given, dtype=object) if isinstance(given, pd.Categorical) else np.asarray(given)
    if values.ndim != 1:
        raise ValueError("%s must be one-dimensional (one per sample), got shape %s" % (what, values.shape))
    if len(values) != samples:
        raise ValueError("%d %s for %d samples: one per sample is needed" % (len(values), what, samples))
    out = values.astype(object)
    out[pd.isna(values)] = None
    return out


def _samples(samples, count, sample_names):
    """The samples= filter as a boolean mask over the columns."""
    if samples is None:
        return np.ones(count, dtype=bool)
    if isinstance(samples, pd.Series) and pd.api.types.is_bool_dtype(samples.dtype) or (
            not isinstance(samples, pd.Series) and np.asarray(samples).dtype == bool):
        mask = _aligned(samples, "samples", count, sample_names)
        if any(v is None for v in mask):
            raise ValueError("samples= holds a missing value; expected True or False for every sample")
        return mask.astype(bool)
    names = list(samples.array if isinstance(samples, (pd.Series, pd.Index)) else samples)
    if sample_names is None:
        raise ValueError("samples= names samples but the expression's columns have no names: give a "
                         "DataFrame whose columns are the sample names, or a boolean mask by position")
    columns = pd.Index(sample_names)
    unknown = [name for name in names if name not in columns]
    if unknown:
        raise ValueError("samples= names sample %s, which is not a column of the expression" % _more(unknown))
    return columns.isin(names)


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
            if phase == "selecting" and done > 0:  # the walk takes at most `total` ranks, often far fewer
                self._bar.total = done
            self._bar.update(self._bar.total - self._bar.n)
            self.close()
        else:
            self._bar.update(done - self._bar.n)

    def close(self):
        if self._bar is not None:
            self._bar.close()
        self._bar = self._phase = None
