"""robmat.mcd: keyword options onto option vector positions, the Hawkins-Bradu-Kass regressors
(observations 1-14 are the known outliers), the result shapes and named views, reproducibility,
the listing and the raw option vector."""

import numpy as np
import pytest

import robmat
from robmat._routines import _mcd_options

nan = np.nan


@pytest.mark.parametrize("kw, want", [
    ({}, []),  # an empty option vector: every default
    (dict(print_level=2), [2]),
    (dict(h=40), [nan, nan, nan, 40]),
    (dict(nrep=500), [nan] * 4 + [500]),
    (dict(cutoff=3.0), [nan] * 10 + [9.0]),  # a distance; option 11 is its square
    (dict(seed=7), [nan] * 19 + [7]),
    (dict(h=40, seed=7), [nan, nan, nan, 40] + [nan] * 15 + [7]),
    (dict(correlations=True), [nan, nan, 2]),  # returned, not printed
    (dict(correlations=True, print_level=1), [1, nan, 3]),  # returned and printed
    (dict(correlations=1), [nan, nan, 1]),  # the raw value
    (dict(correlations=True, opt=[1]), [1, nan, 3]),
    (dict(opt=[1, 1, 0, 50]), [1, 1, 0, 50]),
    (dict(opt=np.array([[1, 1, 0]])), [1, 1, 0]),
    (dict(opt=[1, nan, nan, nan, 100], h=50), [1, nan, nan, 50, 100]),  # NaN: not given
    (dict(opt=[1], h=50), [1, nan, nan, 50]),
    (dict(opt=[]), []),
    (dict(refine=True), [nan] * 22 + [1]),  # robmat's own option 23
    (dict(refine=False), []),
    (dict(refine=True, opt=[2]), [2] + [nan] * 21 + [1]),
])
def test_option_vector(kw, want):
    args = dict(opt=None, h=None, nrep=None, seed=None, cutoff=None, print_level=0, correlations=False)
    args.update(kw)
    v = _mcd_options(**args)
    assert v.ndim == 2
    assert np.array_equal(v.reshape(-1), np.asarray(want, dtype=float), equal_nan=True)


@pytest.mark.parametrize("kw, error", [
    (dict(refine=1), TypeError),
    (dict(refine=True, opt=[nan] * 22 + [0]), ValueError),  # given twice
])
def test_refine_refused(kw, error):
    args = dict(opt=None, h=None, nrep=None, seed=None, cutoff=None, print_level=0, correlations=False)
    with pytest.raises(error, match="refine"):
        _mcd_options(**{**args, **kw})


def test_refine_reaches_the_stack_loss_optimum(stackloss):
    # The MCD of the regressors at h = 12: log det 5.472581043 over all 12-subsets.
    r = robmat.mcd(stackloss[:, :3], h=12, refine=True)
    assert np.log(r.summary[4]) == pytest.approx(5.472581043, abs=1e-9)


def test_hbk_outliers_are_observations_1_to_14_and_views(hbk_x):
    r = robmat.mcd(hbk_x)
    assert r.weights.tolist() == [0.0] * 14 + [1.0] * 61
    assert r.summary[3] == 14
    assert r.h == 39  # (n + p + 1) div 2 for n = 75, p = 3
    assert r.summary.shape == (7,) and r.estimates.shape == (5, 3) and r.distances.shape == (3, 75)
    assert r.correlation is None
    assert r.location.tolist() == r.estimates[0].tolist()
    assert np.array_equal(r.scatter, r.estimates[2:5])
    assert r.mahalanobis.tolist() == r.distances[0].tolist()
    assert r.robust_distances.tolist() == r.distances[1].tolist()
    assert r.determinant == r.summary[4] and r.cutoff == r.summary[6]
    assert r.cutoff_squared == r.cutoff ** 2
    assert r.log == [] and r.listing == ""
    text = repr(r)
    assert "n=75 p=3 h=39" in text and "weight 0: 14 observation(s): 1, 2, 3" in text


def test_correlations_are_returned(hbk_x):
    r = robmat.mcd(hbk_x, correlations=True)
    assert r.estimates.shape == (8, 3)
    c = r.correlation
    np.testing.assert_allclose(np.diag(c), 1.0, rtol=1e-14)
    d = np.sqrt(np.diag(r.scatter))
    np.testing.assert_allclose(c, r.scatter / np.outer(d, d), rtol=1e-12)
    assert r.listing == ""  # returned without printing


def test_keywords_equal_raw_option_vector_and_same_seed_same_result(hbk_x):
    a = robmat.mcd(hbk_x, h=50, seed=5)
    b = robmat.mcd(hbk_x, opt=[nan, nan, nan, 50] + [nan] * 15 + [5])
    assert a.h == 50 and b.h == 50
    assert np.array_equal(a.estimates, b.estimates, equal_nan=True)
    assert np.array_equal(a.distances, b.distances, equal_nan=True)


def test_listing_when_printing(hbk_x):
    r = robmat.mcd(hbk_x, print_level=1)
    assert r.listing.strip() != ""
    assert r.json.lstrip().startswith("[")


def test_start_subset(hbk_x):
    r = robmat.mcd(hbk_x, start=[20, 30, 40, 50])
    assert np.flatnonzero(r.weights == 0).tolist() == list(range(14))


def test_deterministic_starts(hbk_x):
    # robmat's option 24 (its results are checked through the host, det_starts_call_test).
    r = robmat.mcd(hbk_x, starts="deterministic")
    again = robmat.mcd(hbk_x, opt=[nan] * 23 + [1])
    assert np.array_equal(r.summary, again.summary) and np.array_equal(r.distances, again.distances)
    assert r.summary[1] == 6
    with pytest.raises(ValueError, match="starts must be 'random' or 'deterministic'"):
        robmat.mcd(hbk_x, starts="det")
    with pytest.raises(ValueError):
        robmat.mcd(hbk_x, starts="deterministic", opt=[nan] * 23 + [0])
