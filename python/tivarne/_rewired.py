"""Which genes are rewired: the gene table (rewired_genes), the all-pairs
histograms (pair_histograms), and the genes and pairs of a focused analysis."""
import numbers

import numpy as np
import pandas as pd

from ._classes import MIN_CLASS_SIZE

GENE_COLUMNS = ["gene", "degree", "expected", "stronger_in_class1", "stronger_in_class2", "sign_changes",
                "p_value", "q_value"]


def rewired_genes(expression, labels, level=0.01, adjust=None, class1=None, threads=None, progress=False, *,
                  class2=None, samples=None, min_class_size=MIN_CLASS_SIZE, genes=None, pairs=None,
                  within=False):
    """The genes of the differential network, ranked by over-representation.

    Runs the analysis of `analyse` with the same arguments and counts, over
    ALL pairs (not only the ``max_pairs`` an analysis returns), each gene's
    pairs that meet the criterion: p-value at or below `level`, or with
    ``adjust="BH"`` q-value at or below it. A gene whose degree is larger
    than the overall pass rate predicts is a hub of the rewiring.

    Parameters
    ----------
    expression, labels, level, adjust, class1, threads, progress, class2, samples, min_class_size
        As for `analyse`.
    genes, pairs, within
        A focused analysis, as for `analyse`: the counts and the pass rate
        are over the focused pairs only.

    Returns
    -------
    pandas.DataFrame
        One row per gene, smallest p-value first (then largest degree):

        ================== ===================================================
        gene               the gene's name, or its row number (from 1)
        degree             its pairs that pass
        expected           its pairs with a p-value times the pass rate
                           (pairs passing / pairs with a p-value)
        stronger_in_class1 passing pairs with ``|r1| > |r2|``
        stronger_in_class2 passing pairs with ``|r2| > |r1|``
        sign_changes       passing pairs with ``r1 * r2 < 0``
        p_value            binomial upper tail P(X >= degree), X ~
                           Binomial(its pairs with a p-value, pass rate); NaN
                           for a gene without any pair with a p-value
        q_value            Benjamini-Hochberg over the genes' p-values
        ================== ===================================================

        ``attrs`` holds the analysis' metadata (as `analyse`) and
        ``pairs_considered``, ``pairs_with_p_value``, ``pairs_passing``,
        ``pass_rate`` and ``p_threshold`` (the p-value at or below which a
        pair passes: the level, or the Benjamini-Hochberg cut; -1 when none
        does).

    Notes
    -----
    The pairs of one gene are not independent of each other (they share the
    gene), so the p-values rank the genes rather than test them exactly; see
    doc/statistics.md. Time: one scoring pass as `analyse` (two with
    ``adjust="BH"``); memory grows by a few numbers per gene.

    Examples
    --------
    >>> hubs = tivarne.rewired_genes(frame, sheet["subtype"], class1="BCR/ABL", class2="NEG", level=0.05,
    ...                              adjust="BH")
    >>> hubs.head()
    """
    from ._analysis import _run
    table, out, gene_names = _run(expression, labels, level, 1, class1, threads, adjust, progress, class2=class2,
                                  samples=samples, min_class_size=min_class_size, genes=genes, pairs=pairs,
                                  within=within, gene_summary=True)
    return gene_frame(out, gene_names, table.attrs)


def gene_frame(out, gene_names, attrs):
    """The gene table of the binding's output as a DataFrame."""
    t = out["gene_table"]
    index = np.asarray(t["gene"], dtype=np.int64)
    frame = pd.DataFrame({"gene": index + 1 if gene_names is None else gene_names[index]})
    for name in GENE_COLUMNS[1:]:
        frame[name] = t[name]
    frame.attrs.update({k: v for k, v in attrs.items() if k not in ("max_pairs", "without_p_value")})
    with_p = int(out["considered"]) - _no_p(t, out)
    frame.attrs.update(pairs_considered=int(out["considered"]), pairs_with_p_value=with_p,
                       pairs_passing=int(out["passing"]),
                       pass_rate=int(out["passing"]) / with_p if with_p else 0.0, p_threshold=float(out["p_threshold"]))
    return frame


def _no_p(t, out):
    """Pairs without a p-value: each pair counts at both its genes."""
    return int(out["considered"]) - int(np.asarray(t["tested"], dtype=np.int64).sum()) // 2


def pair_histograms(frame):
    """The all-pairs histograms of an analysis run with ``histograms=True``.

    Parameters
    ----------
    frame : pandas.DataFrame
        A result of ``analyse(..., histograms=True)``.

    Returns
    -------
    dict
        ``scores``: a DataFrame of bins (``low``, ``high``, ``count``) of the
        scores of all pairs (bins 0.001 wide; NaN scores counted in
        ``nan_scores``); ``p_values``: a DataFrame of bins of ``-log10 p``
        (``low``, ``high``, ``count``; 0.01 wide, down to p = 1e-12; smaller
        p-values, and 0, in ``p_below``); ``pairs_with_p_value``. Each pair is
        binned by a fast form of its statistic: it lies at most 0.001 in
        ``-log10 p`` from the bin of its exact p-value. Enough for a QQ plot
        against the uniform down to 1e-12.
    """
    h = frame.attrs.get("histograms")
    if h is None:
        raise ValueError("the analysis ran without histograms: call analyse(..., histograms=True)")

    def bins(counts, width):
        counts = np.asarray(counts, dtype=np.int64)
        low = np.arange(len(counts)) * width
        return pd.DataFrame({"low": low, "high": low + width, "count": counts})

    return {"scores": bins(h["scores"], h["score_width"]), "nan_scores": h["nan_scores"],
            "p_values": bins(h["log10_p"], h["log10_p_width"]), "p_below": h["p_below"],
            "pairs_with_p_value": h["with_p_value"]}


def add_attrs(table, out, histograms):
    """The histograms (plain lists, so that attrs copy cheaply) and the count
    of pairs with a p-value into the pair table's attrs."""
    if histograms and "histograms" in out:
        h = out["histograms"]
        table.attrs["histograms"] = {
            "score_width": float(h["score_width"]), "scores": [int(v) for v in h["scores"]],
            "nan_scores": int(h["nan_scores"]), "log10_p_width": float(h["log10_p_width"]),
            "log10_p": [int(v) for v in h["log10_p"]], "p_below": int(h["p_below"]),
            "with_p_value": int(h["with_p_value"])}
        table.attrs["pairs_with_p_value"] = int(h["with_p_value"])


def _gene_index(gene, genes, names, lookup, what):
    """The 0-based row of a gene given by name or by row number (from 1)."""
    if names is not None and not isinstance(gene, (bool, np.bool_)):
        try:
            rows = lookup.get(gene)
        except TypeError:
            rows = None
        if rows is not None:
            if len(rows) > 1:
                raise ValueError("%s: gene %r names rows %s of the expression; give row numbers (from 1) "
                                 "instead" % (what, gene, ", ".join(str(r + 1) for r in rows)))
            return rows[0]
    if isinstance(gene, numbers.Integral) and not isinstance(gene, (bool, np.bool_)):
        if not 1 <= gene <= genes:
            raise ValueError("%s: gene %d is not a row of the expression (rows 1 to %d)" % (what, gene, genes))
        return int(gene) - 1
    raise ValueError("%s: gene %r is not in the expression's index%s" % (
        what, gene, "" if names is not None else " (the expression has no gene names: give row numbers from 1)"))


def focus(genes, pairs, within, count, names):
    """The binding's focus arguments from genes= / pairs= / within=."""
    if genes is None and pairs is None:
        if within:
            raise ValueError("within=True needs genes=")
        return {}
    if genes is not None and pairs is not None:
        raise ValueError("give genes= or pairs=, not both")
    lookup = {}
    if names is not None:
        for row, name in enumerate(names):
            lookup.setdefault(name, []).append(row)
    if genes is not None:
        if isinstance(genes, (str, bytes)) or np.ndim(genes) == 0:
            genes = [genes]
        genes = list(genes.array if isinstance(genes, (pd.Series, pd.Index)) else genes)
        if not genes:
            raise ValueError("genes= is empty: name at least one gene")
        rows = [_gene_index(g, count, names, lookup, "genes=") for g in genes]
        seen = {}
        for g, row in zip(genes, rows):
            if row in seen:
                raise ValueError("genes=: gene %r is listed twice%s" % (
                    g, "" if seen[row] == g else " (as %r too)" % (seen[row],)))
            seen[row] = g
        if within and len(rows) < 2:
            raise ValueError("genes= has one gene and within=True: there is no pair within the set")
        return {"focus_genes": rows, "focus_within": bool(within)}
    if within:
        raise ValueError("within=True goes with genes=, not with pairs=")
    if isinstance(pairs, pd.DataFrame):
        if pairs.shape[1] != 2:
            raise ValueError("pairs= as a DataFrame needs two columns (the genes of each pair), got %d"
                             % pairs.shape[1])
        pairs = list(pairs.itertuples(index=False, name=None))
    pairs = list(pairs)
    if not pairs:
        raise ValueError("pairs= is empty: list at least one pair")
    rows, seen = [], {}
    for number, pair in enumerate(pairs, 1):
        pair = tuple(pair.tolist() if isinstance(pair, np.ndarray) else pair)
        if len(pair) != 2:
            raise ValueError("pairs=: entry %d is not a pair of genes: %r" % (number, pair))
        a, b = (_gene_index(g, count, names, lookup, "pairs=, entry %d" % number) for g in pair)
        if a == b:
            raise ValueError("pairs=, entry %d: the pair (%r, %r) pairs a gene with itself" % (number, *pair))
        key = (min(a, b), max(a, b))
        if key in seen:
            raise ValueError("pairs=: the pair (%r, %r) is listed twice (entries %d and %d)"
                             % (pair[0], pair[1], seen[key], number))
        seen[key] = number
        rows.append((a, b))
    return {"focus_pairs": rows}


def gene_table_text(genes, index=None):
    """The gene table as TAB-separated text: the columns of rewired_genes(),
    with `index` (the genes' rows from 1) after the gene when given; numbers
    in full (the shortest text that reads back as the same double)."""
    columns = GENE_COLUMNS[:1] + (["index"] if index is not None else []) + GENE_COLUMNS[1:]
    lines = ["\t".join(columns)]
    for k, row in enumerate(genes.itertuples(index=False)):
        fields = [str(row.gene)] + (["%d" % index[k]] if index is not None else [])
        for name in GENE_COLUMNS[1:]:
            value = getattr(row, name)
            fields.append(repr(float(value)) if name in ("expected", "p_value", "q_value") else "%d" % value)
        lines.append("\t".join(fields))
    return "\n".join(lines) + "\n"


def files_analysis(expression, labels, names, level, adjust, pairs=None, threads=None, class_level=0.05):
    """(gene table with names, rows of the genes, focused pair table or None)
    of tivarne's files: the gene table over all pairs at the run's criterion
    and, with `pairs` ((gene X, gene Y) rows from 1), those pairs' exact
    values (for their correlation classes)."""
    from ._analysis import _run
    from ._format import check_files
    values, classes = check_files(expression, labels)
    labels = np.asarray(classes)
    table, out, _ = _run(values, labels, level, 1, threads=threads, adjust=adjust, gene_summary=True,
                         min_class_size=0)
    genes = gene_frame(out, None if names is None else np.asarray(names, dtype=object), table.attrs)
    index = np.asarray(out["gene_table"]["gene"], dtype=np.int64) + 1
    focused = None
    if pairs:
        focused = _run(values, labels, 1.0, len(pairs), threads=threads, pairs=pairs, min_class_size=0,
                       class_level=class_level)[0]
    return genes, index, focused
