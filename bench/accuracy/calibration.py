"""How atanh of the biweight midcorrelation varies, and the class sizes its null tails imply.

Two studies behind the calibrated p-value:

- variance: pairs of genes with correlation rho (bivariate normal, optionally
  with the outliers of simulate.py in ceil(5%) of the samples), many
  replicates: the mean of atanh(r) less atanh(rho) and (n - 3) var(atanh r),
  for the biweight midcorrelation and, as a reference, Pearson's.
- tails: two independent classes of n samples of independent genes (rho = 0,
  the bulk of the null pairs); for each level alpha, the class size n' at
  which a statistic S(n') over all pairs exceeds the chi-squared(1) quantile
  with probability alpha. For equal sizes every form used here is n' times
  its value at n' = 1, so n' = chi2_isf(alpha) / quantile(S(1), 1 - alpha).
  Reported as n - n'.
"""
import math

import numpy as np
from scipy import stats

from methods import biweight_terms, centred, ecor_statistic
from simulate import OUTLIER_SCALE, outlier_count

TRANSFORMS = {"bicor": biweight_terms, "pearson": centred}


def contaminate(rng, x, outliers):
    if outliers:
        k = outlier_count(x.shape[1])
        x[:, :k] += OUTLIER_SCALE * rng.standard_cauchy((x.shape[0], k))
    return x


def row_correlations(kind, x, y):
    a, b = TRANSFORMS[kind](x), TRANSFORMS[kind](y)
    return np.clip((a * b).sum(1) / np.sqrt((a * a).sum(1) * (b * b).sum(1)), -1, 1)


def variance(seed, n, rho, reps, outliers, chunk=50000):
    """{kind: (mean atanh(r) - atanh(rho), (n - 3) var atanh(r))} over reps replicate pairs."""
    rng = np.random.default_rng(seed)
    z = {kind: [] for kind in TRANSFORMS}
    for start in range(0, reps, chunk):
        m = min(chunk, reps - start)
        u, v = rng.standard_normal((m, n)), rng.standard_normal((m, n))
        x = contaminate(rng, u, outliers)
        y = contaminate(rng, rho * u + math.sqrt(1 - rho * rho) * v, outliers)
        for kind in TRANSFORMS:
            z[kind].append(np.arctanh(row_correlations(kind, x, y)))
    out = {}
    for kind, parts in z.items():
        values = np.concatenate(parts)
        out[kind] = (float(values.mean() - math.atanh(rho)), float(values.var() * (n - 3)))
    return out


def tail_sizes(seed, n, alphas, genes, draws, outliers):
    """{form: [n - n'(alpha) for alpha in alphas]} from draws x genes(genes-1)/2 null pairs.

    Forms: "ecor" (the ECOR statistic of the biweight midcorrelations; with
    equal sizes n' it is n' times its value at size 1), "z" (n'/2 D^2 of the
    biweight midcorrelations), "pearson z" (the same of Pearson's).
    """
    rng = np.random.default_rng(seed)
    i, j = np.triu_indices(genes, 1)
    unit = {"ecor": [], "z": [], "pearson z": []}
    for _ in range(draws):
        r = {kind: [] for kind in TRANSFORMS}
        for _ in range(2):
            x = contaminate(rng, rng.standard_normal((genes, n)), outliers)
            for kind, transform in TRANSFORMS.items():
                a = transform(x)
                a = a / np.sqrt((a * a).sum(1, keepdims=True))
                r[kind].append(np.clip((a @ a.T)[i, j], -1, 1))
        unit["ecor"].append(ecor_statistic(r["bicor"][0], r["bicor"][1], 1, 1))
        for form, kind in (("z", "bicor"), ("pearson z", "pearson")):
            unit[form].append((np.arctanh(r[kind][0]) - np.arctanh(r[kind][1])) ** 2 / 2)
    chi = stats.chi2.isf(alphas, 1)
    out = {}
    for form, parts in unit.items():
        q = np.quantile(np.concatenate(parts), 1 - np.asarray(alphas))
        out[form] = [float(n - c / v) for c, v in zip(chi, q)]
    return out
