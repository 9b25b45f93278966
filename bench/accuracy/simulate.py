"""Simulated two-class studies with known differential co-expression.

Each class is drawn from its own multivariate normal. Genes come in blocks of
BLOCK genes; every block has a kind per class:

- "+": one factor shared by the block, loadings sqrt(RHO), so every pair of the
  block has correlation +RHO;
- "-": the same factor with loadings +sqrt(RHO) for the first half of the block
  and -sqrt(RHO) for the second half: pairs across the halves have correlation
  -RHO, pairs within a half +RHO. (All 190 pairs of 20 genes cannot share a
  correlation of -0.5: the smallest common correlation of 20 variables is
  -1/19.)
- "0": independent genes.

Every gene has variance 1 in both classes, and genes outside the blocks are
independent standard normal. A pair is differential (a true pair) when its
correlation differs between the classes; its pattern is the pair's own
"class 1 / class 2" signs, e.g. the cross-half pairs of a "0/-" block are
"0/-" and its within-half pairs "0/+".

Outliers: in each class the first ceil(0.05 n) samples (5% rounded up: 1 of
20, 3 of 50, 5 of 100, 4 of 80) get independent heavy-tailed noise added to
every gene: OUTLIER_SCALE times a standard Cauchy draw (Student t with one
degree of freedom), the same distribution for every gene.
"""
import math

import numpy as np

BLOCK = 20
RHO = 0.5
OUTLIER_SCALE = 5.0
OUTLIER_FRACTION = 0.05
# Differential blocks, then the controls: "class 1 / class 2" kinds.
DIFFERENTIAL = ["+/0", "+/-", "0/+", "0/-", "-/+", "-/0"]
CONTROLS = ["+/+", "-/-", "0/0"]
PATTERNS = DIFFERENTIAL


def blocks(null):
    """The (class-1 kind, class-2 kind) of each block in gene order.

    A null study keeps every block's class-1 kind in both classes: the same
    correlated blocks, none of them differential.
    """
    kinds = [b.split("/") for b in DIFFERENTIAL + CONTROLS]
    return [(k1, k1) if null else (k1, k2) for k1, k2 in kinds]


def loadings(kind, size=BLOCK):
    """Signed factor loadings of a block's genes, or None for independent genes."""
    if kind == "0":
        return None
    signs = np.ones(size)
    if kind == "-":
        signs[size // 2:] = -1
    return math.sqrt(RHO) * signs


def outlier_count(n):
    return math.ceil(OUTLIER_FRACTION * n - 1e-9)


def draw_class(rng, genes, n, kinds, outliers):
    """genes x n values of one class; kinds[b] is block b's kind in this class."""
    x = rng.standard_normal((genes, n))
    for b, kind in enumerate(kinds):
        load = loadings(kind)
        if load is not None:
            rows = slice(b * BLOCK, (b + 1) * BLOCK)
            factor = rng.standard_normal(n)
            x[rows] = load[:, None] * factor + math.sqrt(1 - RHO) * x[rows]
    if outliers:
        k = outlier_count(n)
        x[:, :k] += OUTLIER_SCALE * rng.standard_cauchy((genes, k))
    return x


def true_correlations(genes, kinds):
    """genes x genes matrix of the generating correlations of one class."""
    c = np.eye(genes)
    for b, kind in enumerate(kinds):
        load = loadings(kind)
        if load is not None:
            rows = slice(b * BLOCK, (b + 1) * BLOCK)
            c[rows, rows] = np.outer(load, load)
            c[rows, rows][np.diag_indices(BLOCK)] = 1
    return c


def true_pair_count():
    """The number of differential pairs of a study (the same for every size)."""
    genes = BLOCK * len(blocks(False))
    c1 = true_correlations(genes, [k[0] for k in blocks(False)])
    c2 = true_correlations(genes, [k[1] for k in blocks(False)])
    return int(np.triu(c1 != c2, 1).sum())


def correlated_null_pairs():
    """The pairs of a null study whose (common) correlation is not 0."""
    genes = BLOCK * len(blocks(True))
    c = true_correlations(genes, [k[0] for k in blocks(True)])
    return int((np.triu(c, 1) != 0).sum())


class Study:
    """One simulated study: expression (genes x samples), labels, and the truth per pair.

    Samples: class 1 first (label 1), then class 2 (label 0). Pairs are the
    upper triangle (i < j) in row order, as numpy.triu_indices gives them.
    """

    def __init__(self, seed, genes, n1, n2, outliers=False, null=False):
        rng = np.random.default_rng(seed)
        patterns = blocks(null)
        if genes < BLOCK * len(patterns):
            raise ValueError("a study needs at least %d genes" % (BLOCK * len(patterns)))
        self.genes, self.n1, self.n2 = genes, n1, n2
        self.outliers, self.null = outliers, null
        self.x = np.hstack([draw_class(rng, genes, n, [k[c] for k in patterns], outliers)
                            for c, n in enumerate((n1, n2))])
        self.labels = np.r_[np.ones(n1, dtype=int), np.zeros(n2, dtype=int)]
        self.i, self.j = np.triu_indices(genes, 1)
        rho1 = true_correlations(genes, [k[0] for k in patterns])[self.i, self.j]
        rho2 = true_correlations(genes, [k[1] for k in patterns])[self.i, self.j]
        self.true = rho1 != rho2
        self.correlated = (rho1 != 0) | (rho2 != 0)
        sign = lambda r: "+" if r > 0 else "-" if r < 0 else "0"
        self.pattern = np.full(len(self.i), "", dtype="<U3")
        for p in np.flatnonzero(self.true):
            self.pattern[p] = sign(rho1[p]) + "/" + sign(rho2[p])

    @property
    def pairs(self):
        return len(self.i)

    def class_values(self, c):
        return self.x[:, :self.n1] if c == 0 else self.x[:, self.n1:]
