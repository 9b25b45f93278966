"""The methods the accuracy benchmark compares, each run on every pair of a study.

A method turns an `Evaluation` (a study plus what its methods share: the
library's rows, correlation matrices) into a `Result`: a statistic per pair
(larger = stronger evidence of differential correlation), a p-value per pair
or None, and optionally its own false discovery estimate (q) per pair, which
then replaces Benjamini-Hochberg. A method that the installed tivarne cannot
run reports why in `skip_reason()`, and the run leaves it out with that note.

To add a method, append it to METHODS. Options of tivarne.analyse() are
`Library(key, label, about, options={...})`: skipped until analyse() accepts
every option name; `same_as=KEY` has the run report how far its p-values
are from those of the benchmark's method KEY (the formula it implements);
`fdr_column` names a column of the library's own false discovery estimate.
"""
import inspect
import math
from dataclasses import dataclass
from typing import Optional

import numpy as np
from scipy import special

import tivarne


@dataclass
class Result:
    stat: np.ndarray
    p: Optional[np.ndarray] = None
    q: Optional[np.ndarray] = None


# ---------------------------------------------------------------- correlations

def biweight_terms(x):
    """Per gene (row): w (x - median) with u = (x - median) / (9 MAD), w = (1 - u^2)^2 inside |u| < 1, else 0.

    The biweight midcorrelation of two genes is the cosine of their rows:
    the normalising sums of the midcovariance cancel.
    """
    d = x - np.median(x, axis=1, keepdims=True)
    mad = np.median(np.abs(d), axis=1, keepdims=True)
    with np.errstate(divide="ignore", invalid="ignore"):
        u = d / (9 * mad)
    w = np.where(np.abs(u) < 1, (1 - u * u) ** 2, 0.0)
    return w * d


def cosine_pairs(a, i, j):
    """Cosine of rows i and j of a, for every pair."""
    with np.errstate(divide="ignore", invalid="ignore"):
        a = a / np.sqrt((a * a).sum(axis=1, keepdims=True))
    return np.clip((a @ a.T)[i, j], -1.0, 1.0)


def centred(x):
    return x - x.mean(axis=1, keepdims=True)


def ranks(x):
    return np.argsort(np.argsort(x, axis=1, kind="stable"), axis=1, kind="stable").astype(float)


CORRELATIONS = {"bicor": biweight_terms, "pearson": centred, "spearman": lambda x: centred(ranks(x))}


# ------------------------------------------------------------------ statistics

def ecor_statistic(r1, r2, n1, n2):
    """The ECOR likelihood-ratio statistic T, element-wise, in the library's order of operations.

    NaN where there is no admissible common correlation.
    """
    r1, r2 = np.broadcast_arrays(np.asarray(r1, dtype=float), np.asarray(r2, dtype=float))
    m1, m2 = float(n1), float(n2)
    with np.errstate(all="ignore"):
        A = m1 * r2 + m2 * r1
        B = -(float(n1 + n2) * (1 + r1 * r2))
        C = m1 * r1 + m2 * r2
        D = B * B - 4 * A * C
        root = np.sqrt(np.where(D >= 0, D, np.nan))
        plus = np.where(D >= 0, (root - B) / (2 * A), 3.0)
        minus = np.where(D >= 0, (-B - root) / (2 * A), 3.0)
        q = -(B + np.copysign(root, B)) / 2
        stable = np.where((D >= 0) & (q != 0), C / q, np.nan)
        ok = lambda v: np.abs(v) <= 1
        rho = np.where(ok(plus), plus, np.where(ok(minus), minus, np.where(ok(stable), stable, np.nan)))
        linear = np.where(B != 0, -C / B, np.nan)
        rho = np.where(A == 0, np.where(ok(linear), linear, np.nan), rho)
        t1 = 1 - rho * r1
        t2 = 1 - rho * r2
        L1 = np.log(t1 * t1 / (1 - r1 * r1) / (1 - rho * rho))
        L2 = np.log(t2 * t2 / (1 - r2 * r2) / (1 - rho * rho))
        return m1 * L1 + m2 * L2


def ecor_p(r1, r2, n1, n2):
    """(T, p): p = P(chi-squared(1) > T) = erfc(sqrt(T / 2)); 1 for T <= 0, 0 for T = inf, NaN without a statistic."""
    T = ecor_statistic(r1, r2, n1, n2)
    with np.errstate(invalid="ignore"):
        p = np.where(T <= 0, 1.0, special.erfc(np.sqrt(np.maximum(T, 0) / 2)))
    p = np.where(np.isnan(T) | (T == -np.inf), np.nan, np.where(T == np.inf, 0.0, p))
    return T, p


def z_test(r1, r2, v1, v2):
    """(z^2, two-sided p) of atanh(r1) - atanh(r2) with variances v1, v2."""
    with np.errstate(divide="ignore", invalid="ignore"):
        z = (np.arctanh(r1) - np.arctanh(r2)) / math.sqrt(v1 + v2)
    return z * z, special.erfc(np.abs(z) / math.sqrt(2))


# ----------------------------------------------------------------- evaluation

class Evaluation:
    """A study and what its methods share, computed once.

    library_level: the level the library is called with. 1 lists every pair
    with a p-value; a smaller level (the null studies) lists only the pairs at
    or below it, and every other pair counts as having a larger p-value.
    """

    def __init__(self, study, library_level=1.0):
        self.study = study
        self.library_level = library_level
        self._library = {}
        self._correlations = {}

    def sizes(self):
        return self.study.n1, self.study.n2

    def correlations(self, kind):
        """(r1, r2) per pair of the named correlation, computed in NumPy."""
        if kind not in self._correlations:
            transform = CORRELATIONS[kind]
            s = self.study
            self._correlations[kind] = tuple(cosine_pairs(transform(s.class_values(c)), s.i, s.j)
                                             for c in (0, 1))
        return self._correlations[kind]

    def library(self, **options):
        """The library's columns per pair (NaN for pairs it did not list) for analyse(..., **options)."""
        key = tuple(sorted(options.items()))
        if key not in self._library:
            s = self.study
            rows = tivarne.analyse(s.x, s.labels, level=self.library_level, max_pairs=2**31 - 1,
                                   order="p_value", **options)
            x = rows["index_x"].to_numpy() - 1
            y = rows["index_y"].to_numpy() - 1
            at = x * s.genes - x * (x + 1) // 2 + (y - x - 1)
            columns = {}
            for name in rows.columns:
                if name in ("rank", "gene_x", "gene_y", "index_x", "index_y", "dc_class"):
                    continue
                full = np.full(s.pairs, math.nan)
                full[at] = rows[name].to_numpy(dtype=float)
                columns[name] = full
            self._library[key] = columns
        return self._library[key]


# -------------------------------------------------------------------- methods

class Method:
    key = label = about = ""
    has_p = True

    def skip_reason(self):
        return None

    def run(self, ev):
        raise NotImplementedError


class Library(Method):
    """A p-value column of tivarne.analyse() with the given options; optionally its own FDR column."""

    def __init__(self, key, label, about, options=None, p_column="p_value", fdr_column=None, same_as=None):
        self.key, self.label, self.about = key, label, about
        self.options = options or {}
        self.p_column, self.fdr_column = p_column, fdr_column
        self.same_as = same_as  # the key of the benchmark's method whose p-values this option must give

    def skip_reason(self):
        accepted = inspect.signature(tivarne.analyse).parameters
        missing = [name for name in self.options if name not in accepted]
        if missing:
            return "the installed tivarne.analyse() has no argument %s" % ", ".join(missing)
        return None

    def run(self, ev):
        columns = ev.library(**self.options)
        for name in (self.p_column, self.fdr_column):
            if name is not None and name not in columns:
                raise RuntimeError("tivarne.analyse(%s) gives no column %r" % (self.options, name))
        p = columns[self.p_column]
        with np.errstate(divide="ignore"):
            stat = -np.log10(p)
        return Result(stat, p, columns[self.fdr_column] if self.fdr_column else None)


class LibraryScore(Method):
    key, label, has_p = "score", "tivarne score", False
    about = "the library's score c |r1 - r2| (a ranking, no p-value)"

    def run(self, ev):
        return Result(ev.library()["score"])


class FisherZ(Method):
    """z-test of atanh(r1) - atanh(r2) with variance factor / (n_k - shift) per class."""

    def __init__(self, key, label, about, kind, shift=3, factor=1.0):
        self.key, self.label, self.about = key, label, about
        self.kind, self.shift, self.factor = kind, shift, factor

    def run(self, ev):
        n1, n2 = ev.sizes()
        r1, r2 = ev.correlations(self.kind)
        stat, p = z_test(r1, r2, self.factor / (n1 - self.shift), self.factor / (n2 - self.shift))
        return Result(stat, p)


class Ecor(Method):
    """The ECOR statistic of the biweight midcorrelations with class sizes n_k - shift."""

    def __init__(self, key, label, about, shift):
        self.key, self.label, self.about, self.shift = key, label, about, shift

    def run(self, ev):
        n1, n2 = ev.sizes()
        r1, r2 = ev.correlations("bicor")
        return Result(*ecor_p(r1, r2, n1 - self.shift, n2 - self.shift))


# The calibrated p-value this benchmark recommends: ECOR with sizes n_k - 3.
CALIBRATED_SHIFT = 3

METHODS = [
    LibraryScore(),
    Library("ecor", "tivarne ECOR p-value", "the library's p-value (ECOR, class sizes n1, n2)"),
    FisherZ("pearson", "Fisher z, Pearson", "Pearson correlations, variance 1/(n-3) per class",
            "pearson"),
    FisherZ("spearman", "Fisher z, Spearman", "Spearman correlations, variance 1.06/(n-3) per class",
            "spearman", factor=1.06),
    FisherZ("bicor_z3", "z-test, biweight, 1/(n-3)",
            "biweight midcorrelations, Fisher's variance 1/(n-3) per class", "bicor"),
    Ecor("ecor_n3", "ECOR, sizes n-3", "calibrated candidate (recommended): ECOR with class sizes n1-3, n2-3",
         CALIBRATED_SHIFT),
    FisherZ("bicor_z4", "z-test, biweight, 1/(n-4)",
            "calibrated candidate: biweight midcorrelations, variance 1/(n-4) per class (fitted to the "
            "null tail at 1e-5)", "bicor", shift=4),
    # Options of the library that later versions add; skipped until analyse() takes them.
    Library("lib_calibrated", "tivarne calibrated p-value", "the library's calibrated option",
            options={"p_value": "calibrated"}, same_as="ecor_n3"),
    Library("permutations", "tivarne permutations", "label permutations: empirical p-value and FDR",
            options={"permutations": 100, "seed": 1}, fdr_column="fdr"),
]
