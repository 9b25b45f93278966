"""The accuracy benchmark (bench/accuracy): its metrics on worked cases, its generator, a quick run."""
import math
import os
import sys

import numpy as np
import pytest

pytest.importorskip("scipy")
sys.path.insert(0, os.path.join(os.path.dirname(__file__), os.pardir, os.pardir, "bench", "accuracy"))
import methods  # noqa: E402
import metrics  # noqa: E402
import run  # noqa: E402
import simulate  # noqa: E402


def test_auc_precision_and_oracle_power_on_worked_rankings():
    truth = np.array([True, True, False, True, False])
    stat = np.array([5.0, 4.0, 3.0, 2.0, 1.0])
    assert metrics.auc(stat, truth, ~truth) == pytest.approx(5 / 6)   # 2 + 2 + 1 of 6 positive-negative pairs
    assert metrics.auc(np.where(truth, 1.0, 0.0), truth, ~truth) == 1.0
    assert metrics.auc(np.where(truth, 0.0, 1.0), truth, ~truth) == 0.0
    assert metrics.auc(np.ones(5), [truth, truth], ~truth) == [0.5, 0.5]
    # No value (NaN) is the weakest evidence.
    assert metrics.auc(np.where(truth, 1.0, np.nan), truth, ~truth) == 1.0
    assert metrics.precision_at(stat, truth, [2, 3, 5]) == [1.0, pytest.approx(2 / 3), 0.6]
    # Tops of 1 and 2 pairs have no false discovery; 3 and 4 have one of 3, 4: power 2 of 3.
    assert metrics.oracle_power(stat, truth, 0.05) == pytest.approx(2 / 3)
    assert metrics.oracle_power(stat, truth, 0.25) == 1.0


def test_benjamini_hochberg_against_a_hand_computation():
    p = np.array([0.01, 0.04, 0.03, 0.5, np.nan])
    # Sorted 0.01, 0.03, 0.04, 0.5: m p / rank = 0.04, 0.06, 0.0533, 0.5; minima from the right.
    q = metrics.bh(p)
    np.testing.assert_allclose(q[:4], [0.04, 0.16 / 3, 0.16 / 3, 0.5])
    assert math.isnan(q[4])
    np.testing.assert_allclose(metrics.bh(p, m=8)[:4], [0.08, 0.32 / 3, 0.32 / 3, 1.0])
    truth = np.array([True, False, True, False, False])
    assert metrics.discoveries(q, truth, 0.05) == (0.5, 0.0)
    assert metrics.discoveries(q, truth, 0.06) == (1.0, 1 / 3)
    assert metrics.any_discovery(p[:4], 4, 0.04) and not metrics.any_discovery(p[:4], 8, 0.05)
    assert metrics.fractions_below(p, [0.01, 0.04]) == [0.2, 0.6]


def test_generator_blocks_have_their_correlations():
    assert simulate.true_pair_count() == 960
    assert [simulate.outlier_count(n) for n in (20, 50, 80, 100)] == [1, 3, 4, 5]
    study = simulate.Study([1], 200, 3000, 3000)
    counts = {p: int((study.pattern == p).sum()) for p in simulate.PATTERNS}
    assert counts == {"+/0": 280, "+/-": 100, "0/+": 280, "0/-": 100, "-/+": 100, "-/0": 100}
    for c in (0, 1):
        r = np.corrcoef(study.class_values(c))[study.i, study.j]
        target = simulate.true_correlations(200, [k[c] for k in simulate.blocks(False)])[study.i, study.j]
        for rho in (-0.5, 0.0, 0.5):
            assert abs(r[np.isclose(target, rho)].mean() - rho) < 0.02
        assert np.abs(r - target).max() < 0.1
    null = simulate.Study([1], 200, 20, 20, outliers=True, null=True)
    assert not null.true.any()
    assert np.abs(null.x[:, [0, 20]]).max() > np.abs(null.x[:, [1, 21]]).max()  # the outlier samples


def test_calibrated_p_value_worked_values():
    """ECOR with class sizes n1 - 3, n2 - 3; the values of the documentation (6 significant digits)."""
    cases = [(0.5, -0.5, 20, 20, 1.76306e-3), (0.8, 0.3, 50, 50, 1.58529e-4), (0.1, 0.6, 20, 80, 2.94642e-2),
             (-0.2, 0.45, 100, 100, 2.12145e-6), (0.95, -0.9, 10, 12, 3.34056e-8), (0.3, 0.3, 20, 80, 1.0)]
    for r1, r2, n1, n2, expected in cases:
        _, p = methods.ecor_p(r1, r2, n1 - methods.CALIBRATED_SHIFT, n2 - methods.CALIBRATED_SHIFT)
        assert float(p) == pytest.approx(expected, rel=5e-6)
    # r1 = -r2: the common correlation is 0 and T = 2 (n - 3) ln(1 / (1 - r^2)).
    T, _ = methods.ecor_p(0.5, -0.5, 17, 17)
    assert float(T) == pytest.approx(34 * math.log(4 / 3), rel=1e-14)


def test_quick_run_and_a_library_option_as_a_method(tmp_path, monkeypatch):
    assert methods.Library("x", "x", "x", options={"no_such_option": 1}).skip_reason() == \
        "the installed tivarne.analyse() has no argument no_such_option"
    one_thread = methods.Library("one_thread", "one thread", "the library on one thread", options={"threads": 1})
    monkeypatch.setattr(methods, "METHODS", methods.METHODS + [one_thread])
    out = tmp_path / "results.md"
    collected = run.main(["--quick", "--sizes", "20:30", "--out", str(out)])
    text = out.read_text()
    for heading in ("## Clean data", "## Outliers data", "### ROC AUC per pattern", "## Goals", "## Calibration"):
        assert heading in text
    where = ("clean", (20, 30))
    assert collected.get(where, "one_thread", "auc") == collected.get(where, "ecor", "auc")
    assert 0.6 < collected.get(where, "ecor_n3", "auc")[0] <= 1
    # The outliers break Pearson's correlations, not the biweight midcorrelations.
    outliers = ("outliers", (20, 30))
    assert collected.get(outliers, "pearson", "null 0.01")[0] > 10
    assert collected.get(outliers, "ecor_n3", "null 0.01")[0] < 1.5
