"""The calibrated p-value and label permutations through tivarne.analyse():
the library's numbers to the last bit, the formula, shards, refusals."""
import os
import subprocess

import numpy as np
import pytest

import tivarne
from conftest import GOLUB, built


def library_rows(tmp_path, x, level, max_pairs, adjust, order, p_value, permutations=None, seed=None):
    np.savetxt(tmp_path / "expr.txt", x, fmt="%.17g")
    args = [str(tmp_path / "expr.txt"), os.path.join(GOLUB, "labels.txt"), str(level), str(max_pairs),
            adjust or "none", order, p_value] + ([str(permutations), str(seed)] if permutations else [])
    out = subprocess.run([built("TIVARNE_LIBRARY_ROWS", "python", "python_library_rows")] + args,
                         capture_output=True, text=True, check=True).stdout.splitlines()[1:]
    rows = [[float(v) for v in line.split()] for line in out]
    return np.array([r for r in rows if len(r) == 9]), np.array([r for r in rows if len(r) == 2])


@pytest.mark.parametrize("genes, level, max_pairs, adjust, order, permutations",
                         [(800, 0.2, 2000, "BH", "p_value", None), (1500, 0.01, 40, None, "score", None),
                          (250, 0.05, 30, None, "p_value", 4)])
def test_calibrated_and_permuted_numbers_are_the_librarys(golub, tmp_path, genes, level, max_pairs, adjust, order,
                                                          permutations):
    x, labels = golub[0][:genes], golub[1]
    rows, perm = library_rows(tmp_path, x, level, max_pairs, adjust, order, "calibrated", permutations, 11)
    extra = {"permutations": permutations, "seed": 11} if permutations else {}
    pairs = tivarne.analyse(x, labels, level=level, max_pairs=max_pairs, adjust=adjust, order=order,
                            p_value="calibrated", **extra)
    got = pairs[["index_x", "index_y", "score", "r1", "r2", "c", "p_value", "log10_p"]].to_numpy(float)
    got[:, :2] -= 1
    np.testing.assert_array_equal(got, rows[:, :8])
    assert pairs.attrs["p_value"] == "calibrated"
    if permutations:
        np.testing.assert_array_equal(pairs[["p_perm", "fdr"]].to_numpy(float), perm)
        assert (pairs.attrs["permutations"], pairs.attrs["seed"]) == (4, 11)
    else:
        assert "p_perm" not in pairs and "fdr" not in pairs


def test_shards_written_and_merged_give_the_whole_run(golub, tmp_path):
    x, labels = golub[0][:200], golub[1]
    args = dict(level=0.05, max_pairs=25, order="p_value", p_value="calibrated", permutations=5, seed=3)
    whole = tivarne.analyse(x, labels, **args)
    files = []
    for first, last in ((3, 5), (0, 3)):
        files.append(tmp_path / ("null-%d.txt" % first))
        shard = tivarne.analyse(x, labels, shard=(first, last), null_summary=files[-1], **args)
        assert shard.fdr.isna().all()
    merged = tivarne.analyse(x, labels, null_summaries=files, **args)
    np.testing.assert_array_equal(merged[["p_perm", "fdr"]].to_numpy(), whole[["p_perm", "fdr"]].to_numpy())
    assert merged.attrs["null_summary"] == whole.attrs["null_summary"]
    with pytest.raises(ValueError, match="Null summaries 1 and 2 both hold permutation 3"):
        tivarne.analyse(x, labels, null_summaries=[files[0], files[0], files[1]], **args)
    with pytest.raises(ValueError, match="miss permutations 0 to 2"):
        tivarne.analyse(x, labels, null_summaries=[files[0]], **args)
    with pytest.raises(ValueError, match="made from other data or options"):
        tivarne.analyse(x, labels, null_summaries=files, **dict(args, level=0.01))


@pytest.mark.parametrize("error, message, keywords", [
    (ValueError, "permutations must be at least 1", dict(permutations=0)),
    (TypeError, "seed must be an integer, got 'one'", dict(permutations=3, seed="one")),
    (ValueError, "seed must lie in 0", dict(permutations=3, seed=-1)),
    (ValueError, r"shard \(2, 9\) is not a range of the 5 permutations", dict(permutations=5, shard=(2, 9))),
    (ValueError, "p_value must be one of 'ecor', 'calibrated'", dict(p_value="fisher")),
    (ValueError, "Class 2 has 3 samples; the calibrated p-value needs at least 4 in each class",
     dict(p_value="calibrated", samples=np.arange(9) < 8)),
    (ValueError, "57 permutations asked for, but classes of 5 and 3 samples have only 56 distinct labelings",
     dict(permutations=57, samples=np.arange(9) < 8)),
])
@pytest.mark.filterwarnings("ignore::tivarne.SmallClassWarning")
def test_bad_significance_arguments_are_refused(error, message, keywords):
    labels = [1, 0, 1, 1, 1, 0, 0, 1, 0] if "permutations" in keywords else [1, 0, 1, 1, 0, 1, 0, 1, 0]
    with pytest.raises(error, match=message):
        tivarne.analyse(np.random.default_rng(5).normal(size=(12, 9)), labels, **keywords)
