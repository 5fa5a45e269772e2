"""robmat.mve: keyword options (with exchange=, robmat's own option 22) onto option vector
positions, the Hawkins-Bradu-Kass regressors (observations 1-14 are the known outliers), the
result shapes and named views, and the start subset."""

import numpy as np
import pytest

import robmat
from robmat._routines import _MVE_POSITIONS, _mcd_options

nan = np.nan


def _options(**kw):
    args = dict(opt=None, h=None, nrep=None, seed=None, cutoff=None, print_level=0, correlations=False,
                exchange=None, positions=_MVE_POSITIONS)
    args.update(kw)
    return _mcd_options(**args).reshape(-1)


@pytest.mark.parametrize("kw, want", [
    ({}, []),
    (dict(exchange=2), [nan] * 21 + [2]),
    (dict(exchange=0), []),
    (dict(exchange=1, h=40), [nan, nan, nan, 40] + [nan] * 17 + [1]),
    (dict(opt=[1], exchange=3), [1] + [nan] * 20 + [3]),
])
def test_option_vector(kw, want):
    assert np.array_equal(_options(**kw), np.asarray(want, dtype=float), equal_nan=True)


@pytest.mark.parametrize("bad", [4, -1, 1.5, True, "1"])
def test_exchange_must_be_a_variant(bad):
    with pytest.raises(ValueError):
        _options(exchange=bad)


def test_exchange_given_twice():
    with pytest.raises(ValueError, match="option 22 is given twice"):
        _options(opt=[nan] * 21 + [1], exchange=2)


def test_hbk_outliers_and_views(hbk_x):
    r = robmat.mve(hbk_x)
    assert r.weights.tolist() == [0.0] * 14 + [1.0] * 61
    assert r.h == 39 and r.summary[3] == 61
    assert r.summary.shape == (7,) and r.estimates.shape == (5, 3) and r.distances.shape == (3, 75)
    assert r.location.tolist() == r.estimates[0].tolist()
    assert r.eigenvalues.tolist() == r.estimates[1].tolist()
    assert np.array_equal(r.scatter, r.estimates[2:5])
    assert r.correlation is None
    assert r.mahalanobis.tolist() == r.distances[0].tolist()
    assert r.robust_distances.tolist() == r.distances[1].tolist()
    assert r.volume == r.summary[4] and r.cutoff == r.summary[6]
    assert r.log == [] and r.listing == ""
    text = repr(r)
    assert text.startswith("<robmat.MveResult n=75 p=3 h=39 volume=") and "weight 0: 14 observation(s)" in text


def test_correlations_and_listing(hbk_x):
    r = robmat.mve(hbk_x, correlations=True, print_level=1)
    assert r.estimates.shape == (8, 3)
    d = np.sqrt(np.diag(r.scatter))
    np.testing.assert_allclose(r.correlation, r.scatter / np.outer(d, d), rtol=1e-12)
    assert "Minimum Volume Ellipsoid Estimation" in r.listing


def test_start_subset(hbk_x):
    # (The exchange refinement itself is checked through the host, mve_call_test.)
    s = robmat.mve(hbk_x, start=[20, 30, 40, 50])
    assert s.summary[1] == 1 and np.flatnonzero(s.weights == 0).tolist() == list(range(14))


def test_singular_start_raises(hbk_x):
    x = np.array(hbk_x, dtype=float)
    x[1] = x[0]
    with pytest.raises(robmat.RoutineError, match="start subset is singular"):
        robmat.mve(x, start=[1, 2, 3, 4])
