"""Which genes are rewired: the gene table against a loop over every pair,
focused analyses against the full run, the correlation classes against
cor.test's formula, the histograms, and the refusals naming the offender."""
import numpy as np
import pandas as pd
import pytest

import tivarne

stats = pytest.importorskip("scipy.stats")  # the binomial and Student's t tails of the references


@pytest.fixture(scope="module")
def study():
    rng = np.random.default_rng(7)
    values = rng.normal(size=(40, 30))
    labels = np.array([1] * 14 + [0] * 16)
    values[5] = np.where(labels == 1, values[4], -values[4]) + 0.3 * rng.normal(size=30)
    values[9] = values[4] * 0.5 + rng.normal(size=30)
    names = ["g%02d" % g for g in range(40)]
    return pd.DataFrame(values, index=names, columns=["s%d" % s for s in range(30)]), labels


def bh(p):
    """R's p.adjust(p, "BH")."""
    p = np.asarray(p, dtype=float)
    order = np.argsort(p, kind="stable")
    ranked = p[order] * len(p) / np.arange(1, len(p) + 1)
    q = np.empty_like(p)
    q[order] = np.minimum(1, np.minimum.accumulate(ranked[::-1])[::-1])
    return q


def every_pair(frame, labels):
    """Every pair with its p-value, from a run that selects them all."""
    return tivarne.analyse(frame, labels, level=1.0, max_pairs=10**6)


@pytest.mark.parametrize("adjust,level", [(None, 0.05), ("BH", 0.2)])
def test_gene_table_counts_every_pair(study, adjust, level):
    frame, labels = study
    pairs = every_pair(frame, labels)
    assert len(pairs) == 40 * 39 // 2  # every pair has a p-value here
    passing = pairs[(bh(pairs.p_value) if adjust else pairs.p_value) <= level]
    genes = tivarne.rewired_genes(frame, labels, level=level, adjust=adjust, threads=2)
    assert list(genes.columns) == ["gene", "degree", "expected", "stronger_in_class1", "stronger_in_class2",
                                   "sign_changes", "p_value", "q_value"]
    assert genes.attrs["pairs_passing"] == len(passing) > 0
    rate = len(passing) / len(pairs)
    for row in genes.itertuples():
        mine = passing[(passing.gene_x == row.gene) | (passing.gene_y == row.gene)]
        assert row.degree == len(mine)
        assert row.stronger_in_class1 == (mine.r1.abs() > mine.r2.abs()).sum()
        assert row.stronger_in_class2 == (mine.r2.abs() > mine.r1.abs()).sum()
        assert row.sign_changes == (mine.r1 * mine.r2 < 0).sum()
        assert row.expected == pytest.approx(39 * rate)
        assert row.p_value == pytest.approx(stats.binom.sf(row.degree - 1, 39, rate), rel=1e-9, abs=1e-300)
    assert genes.q_value.to_numpy() == pytest.approx(bh(genes.p_value), rel=1e-12)
    assert genes.p_value.is_monotonic_increasing


def test_focused_runs_are_the_full_runs_pairs(study):
    frame, labels = study
    full = every_pair(frame, labels).set_index(["gene_x", "gene_y"])
    one = tivarne.analyse(frame, labels, level=1.0, max_pairs=1000, genes=["g05"])
    assert len(one) == 39 and set(one.gene_x).union(one.gene_y) >= {"g05"}
    within = tivarne.analyse(frame, labels, level=1.0, max_pairs=1000, genes=["g04", 6, "g09"], within=True)
    assert sorted(zip(within.index_x, within.index_y)) == [(5, 6), (5, 10), (6, 10)]
    listed = tivarne.analyse(frame, labels, level=1.0, max_pairs=1000, pairs=[("g09", "g04"), (1, 2)], adjust="BH")
    for focused in (one, within, listed):
        mine = full.loc[list(zip(focused.gene_x, focused.gene_y))]
        for column in ("score", "r1", "r2", "c", "p_value", "dc_class"):
            assert (mine[column].to_numpy() == focused[column].to_numpy()).all(), column
    assert listed.q_value.to_numpy() == pytest.approx(bh(listed.p_value), rel=1e-15)
    genes = tivarne.rewired_genes(frame, labels, level=0.05, genes=["g05"])
    assert genes.attrs["pairs_considered"] == 39
    assert genes.set_index("gene").degree["g05"] == (one.p_value <= 0.05).sum()


@pytest.mark.parametrize("arguments,message", [
    (dict(genes=[]), "genes= is empty"),
    (dict(genes=["g01", "nope"]), "gene 'nope' is not in the expression's index"),
    (dict(genes=[41]), "gene 41 is not a row of the expression (rows 1 to 40)"),
    (dict(genes=["g03", 4]), "gene 4 is listed twice (as 'g03' too)"),
    (dict(genes=["g03"], within=True), "there is no pair within the set"),
    (dict(pairs=[("g01", "g02"), ("g02", "g01")]), "the pair ('g02', 'g01') is listed twice (entries 1 and 2)"),
    (dict(pairs=[("g01", "g01")]), "entry 1: the pair ('g01', 'g01') pairs a gene with itself"),
    (dict(pairs=[("g01",)]), "entry 1 is not a pair of genes"),
    (dict(genes=["g01"], pairs=[("g01", "g02")]), "not both"),
])
def test_bad_focus_names_the_offender(study, arguments, message):
    frame, labels = study
    with pytest.raises(ValueError) as error:
        tivarne.analyse(frame, labels, **arguments)
    assert message in str(error.value)


def test_correlation_classes_follow_cor_tests_formula(study):
    frame, labels = study
    pairs = tivarne.analyse(frame, labels, level=1.0, max_pairs=300, class_level=0.1)
    for n, r, sign in ((14, pairs.r1, pairs.dc_class.str[0]), (16, pairs.r2, pairs.dc_class.str[2])):
        t = r * np.sqrt((n - 2) / (1 - r ** 2))
        p = 2 * stats.t.sf(np.abs(t), n - 2)
        assert (sign == np.where(p <= 0.1, np.where(r > 0, "+", "-"), "0")).all()
    assert tivarne._core.correlation_p_value(0.5, 20) == pytest.approx(0.0247695588, rel=1e-9)


def test_histograms_hold_every_pair(study):
    frame, labels = study
    pairs = tivarne.analyse(frame, labels, histograms=True)
    h = tivarne.pair_histograms(pairs)
    assert h["scores"]["count"].sum() + h["nan_scores"] == 780
    assert h["p_values"]["count"].sum() + h["p_below"] == h["pairs_with_p_value"] == pairs.attrs["pairs_with_p_value"]
    log_p = -np.log10(every_pair(frame, labels).p_value.to_numpy())
    counts = h["p_values"]["count"].to_numpy()
    exact = np.bincount(np.minimum(np.floor(log_p / 0.01).astype(int), 1200), minlength=1201)
    assert np.abs(np.cumsum(counts) - np.cumsum(exact[:1200])).max() <= 2  # pairs near a bin's edge
    with pytest.raises(ValueError, match="histograms=True"):
        tivarne.pair_histograms(tivarne.analyse(frame, labels))
