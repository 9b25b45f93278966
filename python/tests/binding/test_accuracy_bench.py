"""The accuracy benchmark (bench/accuracy): its metrics on worked cases, its generator, a quick run."""
import os
import sys

import numpy as np
import pytest

pytest.importorskip("scipy")
sys.path.insert(0, os.path.join(os.path.dirname(__file__), *[os.pardir] * 3, "bench", "accuracy"))
import methods, metrics, run, simulate  # noqa: E401,E402


def test_metrics_on_worked_cases():
    truth = np.array([True, True, False, True, False])
    stat = np.array([5.0, 4.0, 3.0, 2.0, np.nan])  # NaN: no value, the weakest evidence
    assert metrics.auc(stat, [truth, truth, ~truth], ~truth) == [5 / 6, 5 / 6, 0.5]
    assert (metrics.auc(-np.arange(5.0), truth, ~truth), metrics.auc(np.arange(5.0), truth, ~truth)) == (5 / 6, 1 / 6)
    assert metrics.precision_at(stat, truth, [2, 3]) == [1.0, 2 / 3]
    assert metrics.oracle_power(stat, truth, 0.05) == 2 / 3  # the tops of 3 and 4 pairs hold a false one
    # BH by hand: sorted 0.01, 0.03, 0.04, 0.5 give m p / rank = 0.04, 0.06, 0.0533, 0.5; minima from the right.
    q = metrics.bh(np.array([0.01, 0.04, 0.03, 0.5, np.nan]))
    np.testing.assert_allclose(q, [0.04, 0.16 / 3, 0.16 / 3, 0.5, np.nan])
    assert metrics.discoveries(q, truth, 0.06) == (2 / 3, 1 / 3)
    assert metrics.any_discovery(np.array([0.01, 0.5]), 2, 0.02)
    assert not metrics.any_discovery(np.array([0.01]), 2, 0.01)


def test_generator_blocks_have_their_correlations():
    assert (simulate.true_pair_count(), [simulate.outlier_count(n) for n in (20, 50, 80)]) == (960, [1, 3, 4])
    study = simulate.Study([1], 200, 3000, 3000)
    assert [int((study.pattern == p).sum()) for p in simulate.PATTERNS] == [280, 100, 280, 100, 100, 100]
    for c in (0, 1):
        r = np.corrcoef(study.class_values(c))[study.i, study.j]
        target = simulate.true_correlations(200, [k[c] for k in simulate.blocks(False)])[study.i, study.j]
        assert [abs(r[np.isclose(target, rho)].mean() - rho) < 0.02 for rho in (-0.5, 0, 0.5)] == [True] * 3
    assert not simulate.Study([1], 200, 20, 20, null=True).true.any()


def test_calibrated_p_value_worked_values():
    """ECOR with class sizes n1 - 3, n2 - 3: the values of doc/statistics.md to 6 significant digits."""
    for r1, r2, n1, n2, p in [(0.5, -0.5, 20, 20, 1.76306e-3), (0.1, 0.6, 20, 80, 2.94642e-2),
                              (0.95, -0.9, 10, 12, 3.34056e-8), (0.3, 0.3, 20, 80, 1.0)]:
        assert float(methods.ecor_p(r1, r2, n1 - 3, n2 - 3)[1]) == pytest.approx(p, rel=5e-6)


def test_quick_run_with_a_library_option_as_a_method(tmp_path, monkeypatch):
    assert "has no argument no_such" in methods.Library("x", "x", "x", options={"no_such": 1}).skip_reason()
    one_thread = methods.Library("one_thread", "one thread", "the library on one thread", options={"threads": 1},
                                 same_as="ecor")
    monkeypatch.setattr(methods, "METHODS", methods.METHODS + [one_thread])
    got = run.main(["--quick", "--sizes", "20:30", "--out", str(tmp_path / "results.md"),
                    "--methods", "ecor,pearson,ecor_n3,lib_calibrated,one_thread"])
    text = (tmp_path / "results.md").read_text()
    assert "## Goals" in text and "one thread against ecor: p-values within a relative 0.0e+00" in text
    clean, outliers = ("clean", (20, 30)), ("outliers", (20, 30))
    assert got.get(clean, "one_thread", "auc") == got.get(clean, "ecor", "auc")
    # Outlier samples wreck Pearson's correlations, not the biweight midcorrelations.
    assert got.get(outliers, "pearson", "null 0.01")[0] > 10 > 1.5 > got.get(outliers, "ecor_n3", "null 0.01")[0]
