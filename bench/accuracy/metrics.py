"""Accuracy metrics of one method on one study, and their mean over studies."""
import math

import numpy as np


def evidence(stat):
    """The statistic with NaN (no value) as the weakest evidence."""
    stat = np.asarray(stat, dtype=float)
    return np.where(np.isnan(stat), -np.inf, stat)


def auc(stat, positives, negative):
    """ROC AUC: P(a positive outranks a negative), ties counted one half.

    `stat` is larger for stronger evidence; `negative` is a boolean mask over
    the same pairs, `positives` one mask or a list of masks (a list of AUCs).
    """
    stat = evidence(stat)
    neg = np.sort(stat[negative])
    out = []
    for positive in positives if isinstance(positives, list) else [positives]:
        pos = stat[positive]
        if len(pos) == 0 or len(neg) == 0:
            out.append(math.nan)
            continue
        below = np.searchsorted(neg, pos, side="left")
        at_or_below = np.searchsorted(neg, pos, side="right")
        out.append(float((below + at_or_below).sum() / (2.0 * len(pos) * len(neg))))
    return out if isinstance(positives, list) else out[0]


def precision_at(stat, truth, ks):
    """The fraction of true pairs among the k with the largest statistic (equal values by pair order), per k."""
    order = np.argsort(-evidence(stat), kind="stable")
    return [float(truth[order[:k]].mean()) for k in ks]


def oracle_power(stat, truth, fdp=0.05):
    """Power of the longest top of the ranking whose false discovery proportion is at most fdp.

    What the ranking alone allows, with a cut no method can know: it
    separates the quality of the ranking from the calibration of a p-value.
    """
    hits = truth[np.argsort(-evidence(stat), kind="stable")]
    true_found = np.cumsum(hits)
    ok = np.flatnonzero(np.arange(1, len(hits) + 1) - true_found <= fdp * np.arange(1, len(hits) + 1))
    return float(true_found[ok[-1]] / max(int(truth.sum()), 1)) if len(ok) else 0.0


def bh(p, m=None):
    """Benjamini-Hochberg q-values; NaN p-values get NaN. m defaults to the p-values present."""
    p = np.asarray(p, dtype=float)
    q = np.full(p.shape, math.nan)
    have = np.flatnonzero(~np.isnan(p))
    if m is None:
        m = len(have)
    order = have[np.argsort(p[have], kind="stable")]
    ratio = p[order] * m / np.arange(1, len(order) + 1)
    q[order] = np.minimum(np.minimum.accumulate(ratio[::-1])[::-1], 1.0)
    return q


def any_discovery(p, m, level=0.05):
    """Whether BH at `level` over m p-values (absent ones above `level`) selects any pair."""
    p = np.sort(p[p <= level])
    return bool(np.any(p <= level * np.arange(1, len(p) + 1) / m))


def discoveries(q, truth, level=0.05):
    """(power, false discovery proportion) of the pairs with q <= level; FDP 0 without discoveries."""
    selected = np.nan_to_num(q, nan=np.inf) <= level
    found = int(selected.sum())
    true_found = int((selected & truth).sum())
    power = true_found / max(int(truth.sum()), 1)
    fdp = (found - true_found) / found if found else 0.0
    return power, fdp


def fractions_below(p, levels, pairs=None):
    """The fraction of pairs with p <= each level; pairs defaults to len(p) (absent p-values never count)."""
    p = np.nan_to_num(np.asarray(p, dtype=float), nan=np.inf)
    pairs = len(p) if pairs is None else pairs
    return [float((p <= level).sum()) / pairs for level in levels]


def mean_se(values):
    """(mean, standard error of the mean) of per-study values; SE NaN for one study."""
    v = np.asarray([x for x in values if not (isinstance(x, float) and math.isnan(x))], dtype=float)
    if len(v) == 0:
        return math.nan, math.nan
    se = v.std(ddof=1) / math.sqrt(len(v)) if len(v) > 1 else math.nan
    return float(v.mean()), float(se)
