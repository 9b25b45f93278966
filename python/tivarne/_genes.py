"""Gene filters of tivarne-prep, over the samples of the two classes."""
import warnings

import numpy as np


def count(n, noun):
    return "%d %s%s" % (n, noun, "" if n == 1 else "s")


def no_spread(values, labels):
    """Genes whose median absolute deviation is 0 within a class: their pairs
    get no correlation there and so no p-value."""
    flat = np.zeros(len(values), dtype=bool)
    for label in (0, 1):
        x = values[:, labels == label]
        flat |= np.median(np.abs(x - np.median(x, axis=1, keepdims=True)), axis=1) == 0
    return flat


def filter_genes(values, labels, missing="drop", drop_flat=False, top_variable=None):
    """(rows kept, values of the kept rows, [what was dropped], [notes]).

    In this order: genes with an infinite value are dropped; genes with a
    missing value are dropped (missing="drop") or each missing value is filled
    with the median of its gene in its class ("class-median"; genes without
    any value in a class are dropped); with drop_flat, genes without spread
    within a class; with top_variable, all but the N of largest variance."""
    keep = np.arange(len(values))
    dropped, notes = [], []

    def drop(mask, why):
        nonlocal keep, values
        if mask.any():
            dropped.append("%s %s" % (count(mask.sum(), "gene"), why))
            keep, values = keep[~mask], values[~mask]

    drop(np.isinf(values).any(axis=1), "with infinite values")
    absent = np.isnan(values)
    if missing == "class-median" and absent.any():
        values = values.copy()
        for label in (0, 1):
            columns = labels == label
            part = values[:, columns]
            with warnings.catch_warnings():  # a class without values: all-NaN slice
                warnings.simplefilter("ignore", RuntimeWarning)
                medians = np.nanmedian(part, axis=1)
            part = np.where(np.isnan(part), medians[:, None], part)
            values[:, columns] = part
        filled = absent.sum() - np.isnan(values).sum()
        if filled:
            notes.append("%s filled with the median of its gene in its class"
                         % count(filled, "missing value"))
        drop(np.isnan(values).any(axis=1), "with no value in a class")
    else:
        drop(absent.any(axis=1), "with missing values")
    if drop_flat:
        drop(no_spread(values, labels), "without spread within a class")
    if top_variable is not None and len(values) > top_variable:
        variance = values.var(axis=1)
        chosen = np.zeros(len(values), dtype=bool)
        chosen[np.argsort(-variance, kind="stable")[:top_variable]] = True
        drop(~chosen, "less variable (--top-variable %d)" % top_variable)
    return keep, values, dropped, notes
