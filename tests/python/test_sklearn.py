"""robmat.sklearn: estimators that follow scikit-learn's conventions, checked by its own
check_estimator and in a Pipeline, clone and GridSearchCV when it is installed, and usable
without it."""

import os
import pathlib
import subprocess
import sys

import numpy as np
import pytest

import robmat
from robmat.sklearn import LMSRegressor, LTSRegressor, MCD, MVE, NotFittedError, OutlierDetector


def available(routine):
    """Whether the module computes the routine (MVE, LMS and LTS arrive after MCD)."""
    y = np.arange(8.0)
    x = np.column_stack([y, y ** 2 % 5])
    try:
        if routine in ("LTS", "LMS"):
            outcome = robmat.call(routine, np.empty((0, 0)), y, x)
        else:
            outcome = robmat.call(routine, np.empty((0, 0)), x)
    except robmat.RoutineError as e:
        return "not available" not in str(e)
    return not any("not available" in text for _, text in outcome.log)


def test_mcd_estimator_agrees_with_the_routine(hbk_x):
    est = MCD(random_state=0).fit(hbk_x)
    r = robmat.mcd(hbk_x, seed=0)
    assert np.array_equal(est.location_, r.location) and np.array_equal(est.covariance_, r.scatter)
    assert np.array_equal(est.dist_, r.robust_distances ** 2)
    assert est.support_.tolist() == [False] * 14 + [True] * 61
    # The module's distances and ours from location_ and precision_ are two computations of
    # one thing: 1e-10 relative, well above the rounding of either.
    assert np.allclose(est.mahalanobis(hbk_x), est.dist_, rtol=1e-10)
    assert np.array_equal(est.score_samples(hbk_x), -est.mahalanobis(hbk_x))
    assert est.n_features_in_ == 3 and est.h_ == 39


def test_parameters_and_seeds(hbk_x):
    est = MCD(support_fraction=0.75, nrep=100, random_state=4)
    assert est.get_params() == {"h": None, "nrep": 100, "random_state": 4, "support_fraction": 0.75,
                                "starts": "random"}
    assert repr(est) == "MCD(nrep=100, random_state=4, support_fraction=0.75)"
    assert est.set_params(nrep=50) is est and est.nrep == 50
    with pytest.raises(ValueError, match="has no parameter 'alpha'"):
        est.set_params(alpha=1)
    assert est.fit(hbk_x).h_ == 57  # ceil(0.75 * 75)
    a = MCD(random_state=np.random.RandomState(1)).fit(hbk_x).location_
    b = MCD(random_state=np.random.RandomState(1)).fit(hbk_x).location_
    assert np.array_equal(a, b)
    with pytest.raises(ValueError, match="h or support_fraction, not both"):
        MCD(h=40, support_fraction=0.6).fit(hbk_x)
    with pytest.raises(NotFittedError):
        MCD().mahalanobis(hbk_x)
    with pytest.raises(ValueError, match="X has 2 features, but MCD is expecting 3"):
        MCD().fit(hbk_x).mahalanobis(hbk_x[:, :2])
    with pytest.raises(ValueError, match="NaN"):
        MCD().fit(np.where(hbk_x > 30, np.nan, hbk_x))


def test_deterministic_starts(hbk_x):
    est = MCD(starts="deterministic").fit(hbk_x)
    assert repr(MCD(starts="deterministic")) == "MCD(starts='deterministic')"
    assert np.flatnonzero(~est.support_).tolist() == list(range(14))
    assert np.array_equal(est.location_, robmat.mcd(hbk_x, starts="deterministic").location)
    with pytest.raises(ValueError, match="starts must be"):
        MCD(starts="none").fit(hbk_x)


def test_outlier_detector_flags_the_planted_outliers(hbk_x):
    det = OutlierDetector(random_state=0)
    labels = det.fit_predict(hbk_x)
    assert labels.tolist() == [-1] * 14 + [1] * 61
    assert np.array_equal(det.predict(hbk_x), labels)
    assert np.all((det.decision_function(hbk_x) > 0) == (labels == 1))
    share = OutlierDetector(contamination=0.1).fit(hbk_x)
    # The 10th percentile of 75 scores lies between the 8th and the 9th lowest: 8 outliers.
    assert (share.predict(hbk_x) == -1).sum() == 8
    with pytest.raises(ValueError, match="contamination must be None or a number in"):
        OutlierDetector(contamination=0.7).fit(hbk_x)


def test_check_estimator():
    pytest.importorskip("sklearn", reason="scikit-learn is not installed (python3-sklearn)")
    from sklearn.utils.estimator_checks import check_estimator
    estimators = [MCD(), OutlierDetector(), OutlierDetector(contamination=0.1)]
    if available("MVE"):
        # Without a share, the MVE's reweighted fit of sklearn's three blobs flags no sample,
        # which the check does not allow.
        estimators += [MVE(), OutlierDetector(method="mve", contamination=0.1)]
    if available("LTS"):
        estimators += [LTSRegressor()]
    if available("LMS"):
        estimators += [LMSRegressor()]
    for est in estimators:
        check_estimator(est)


def test_pipeline_clone_and_grid_search(hbk_x):
    pytest.importorskip("sklearn", reason="scikit-learn is not installed (python3-sklearn)")
    from sklearn.base import clone
    from sklearn.model_selection import GridSearchCV
    from sklearn.pipeline import make_pipeline
    from sklearn.preprocessing import StandardScaler

    pipe = make_pipeline(StandardScaler(), OutlierDetector(random_state=1))
    # Affine equivariance: scaling the columns first changes no verdict.
    assert pipe.fit_predict(hbk_x).tolist() == [-1] * 14 + [1] * 61
    copy = clone(pipe.set_params(outlierdetector__support_fraction=0.8))
    assert copy.get_params()["outlierdetector__support_fraction"] == 0.8
    assert not hasattr(copy[-1], "offset_")

    def typical(est, X, y=None):  # the mean score of held-out samples: higher is a tighter fit
        return float(np.median(est.score_samples(X)))

    search = GridSearchCV(MCD(random_state=0), {"support_fraction": [0.6, 0.9]}, scoring=typical, cv=3)
    search.fit(hbk_x[14:])
    assert search.best_params_["support_fraction"] in (0.6, 0.9)
    assert search.best_estimator_.location_.shape == (3,)


def test_regressors(stackloss):
    if not available("LTS"):
        pytest.skip("LTS is not available in this build of the module yet")
    pytest.importorskip("sklearn", reason="scikit-learn is not installed (python3-sklearn)")
    from sklearn.model_selection import GridSearchCV
    from sklearn.pipeline import make_pipeline
    from sklearn.preprocessing import StandardScaler

    x, y = stackloss[:, :3], stackloss[:, 3]
    for est in (LTSRegressor(random_state=0), LMSRegressor(random_state=0)):
        est.fit(x, y)
        assert np.allclose(est.predict(x), x @ est.coef_ + est.intercept_)
        # Stack loss: observations 1, 3, 4 and 21 are the known outliers of the robust fits.
        assert not est.inlier_mask_[[0, 2, 3, 20]].any()
        assert est.scale_ > 0 and est.score(x, y) > 0.8
    pipe = make_pipeline(StandardScaler(), LTSRegressor(random_state=0)).fit(x, y)
    assert pipe.score(x, y) > 0.8
    search = GridSearchCV(LTSRegressor(random_state=0), {"h": [13, 17]}, cv=3).fit(x, y)
    assert search.best_params_["h"] in (13, 17)


def test_importable_without_scikit_learn(hbk_x):
    code = """
import sys
sys.modules["sklearn"] = None  # import sklearn now fails
import numpy as np, robmat.sklearn as rs
x = np.loadtxt(sys.argv[1], delimiter=",", skiprows=1)[:, :3]
est = rs.MCD(random_state=2).fit(x)
assert est.get_params()["random_state"] == 2 and est.support_.sum() == 61
assert rs.OutlierDetector().fit_predict(x).tolist()[:15] == [-1] * 14 + [1]
try:
    rs.MCD().score_samples(x)
except rs.NotFittedError as e:
    assert isinstance(e, ValueError) and isinstance(e, AttributeError)
print("ok")
"""
    data = pathlib.Path(__file__).resolve().parent.parent.parent / "data" / "hbk.csv"
    done = subprocess.run([sys.executable, "-c", code, str(data)], capture_output=True, text=True,
                          env=dict(os.environ), timeout=120)
    assert done.stdout.strip() == "ok", done.stderr
