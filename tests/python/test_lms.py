"""robmat.lms and robmat.lts: keyword options onto option vector positions, the stack loss
LMS optimum over all subsets with the intercept first in the named views, the least squares
companions, pandas labels, starts, the location model, LTS's default (FAST-LTS) and the
trials of robmat's option 22."""

import numpy as np
import pytest

import robmat
from robmat._routines import _lmts_options

nan = np.nan
BASE = dict(intercept=True, print_level=0, least_squares=None, h=None, nrep=None, tests=None, method=None,
            cutoff=None, correlations=None, seed=None, start_kind=None)


@pytest.mark.parametrize("opt, kw, want", [
    (None, {}, []),
    (None, dict(intercept=False), [1]),
    (None, dict(print_level=2), [nan, 2]),
    (None, dict(least_squares="both"), [nan, nan, 3]),
    (None, dict(least_squares="reweighted", tests=True), [nan, nan, 1] + [nan] * 4 + [1]),
    (None, dict(least_squares=2), [nan, nan, 2]),
    (None, dict(h=15, nrep=100), [nan, nan, nan, 15, 100]),
    (None, dict(method="subsets"), [nan] * 8 + [1]),
    (None, dict(cutoff=3.0, correlations="spearman"), [nan] * 10 + [3] + [nan] * 2 + [2]),
    (None, dict(seed=5), [nan] * 19 + [5]),
    (None, dict(start_kind="coefficients"), [nan] * 6 + [1]),
    (None, dict(exchange=3), [nan] * 21 + [3]),
    (None, dict(refine=True), [nan] * 22 + [1]),
    ([0, 1], dict(h=15), [0, 1, nan, 15]),
    ([0, nan, nan, nan, 9], dict(least_squares="ordinary"), [0, nan, 2, nan, 9]),
])
def test_option_vector(opt, kw, want):
    v = _lmts_options(opt, **{**BASE, **kw})
    assert np.array_equal(v.reshape(-1), np.asarray(want, dtype=float), equal_nan=True)


@pytest.mark.parametrize("kw, error, match", [
    (dict(h=15, opt=[nan, nan, nan, 13]), ValueError, "option 4"),
    (dict(least_squares="all"), ValueError, "least_squares"),
    (dict(method="fastest"), ValueError, "method"),
    (dict(intercept=0), TypeError, "intercept"),
    (dict(start=[1, 2, 3, 4], start_coefficients=[1, 2, 3, 4]), ValueError, "not both"),
    (dict(refine=True), ValueError, "refine"),  # the subset search has no final stage
    (dict(refine=True, method="fast", start=[1, 2, 3, 4]), ValueError, "refine"),
])
def test_arguments_refused_before_the_call(stackloss, kw, error, match):
    kw.setdefault("x", stackloss[:, :3])
    with pytest.raises(error, match=match):
        robmat.lts(stackloss[:, 3], method=kw.pop("method", "subsets"), **kw)


def test_stack_loss_optimum_intercept_first(stackloss):
    r = robmat.lms(stackloss[:, 3], stackloss[:, :3], nrep=10000, least_squares="both", tests=True)
    assert r.labels == ["Intercept", "VAR1", "VAR2", "VAR3"]
    assert np.allclose(r.coefficients, [-39.25, 0.75, 0.5, 0.0], atol=1e-12)
    assert r.coefficient_dict["Intercept"] == pytest.approx(-39.25)
    assert r.summary[1] == 5985 and r.criterion == pytest.approx(0.75)
    assert r.weights.tolist() == [0.0 if i in (1, 3, 4, 21) else 1.0 for i in range(1, 22)]
    assert sorted(r.best_subset) in ([8, 10, 11, 15], [8, 10, 11, 19], [8, 10, 15, 19], [8, 11, 15, 19],
                                     [10, 11, 15, 19])
    # The reweighted fit of the 17 observations of weight 1 (Rousseeuw and Leroy 1987).
    assert np.allclose(r.ls_coefficients, [-37.652, 0.798, 0.577, -0.067], atol=5e-4)
    assert r.ci.shape == (4, 2) and np.all(r.ci[:, 0] < r.ls_coefficients) and np.all(r.ls_coefficients < r.ci[:, 1])
    assert np.allclose(r.t, r.ls_coefficients / r.standard_errors)
    assert np.allclose(r.residuals, r.scaled_residuals * r.scale)
    assert r.ls_scaled_residuals.shape == (21,)
    assert "weight 0: 4 observation(s): 1, 3, 4, 21" in repr(r)


def test_pandas_names_become_labels(stackloss):
    pd = pytest.importorskip("pandas")
    x = pd.DataFrame(stackloss[:, :3], columns=["Air.Flow", "Water.Temp", "Acid.Conc."])
    y = pd.Series(stackloss[:, 3], name="stack.loss")
    r = robmat.lts(y, x, method="subsets", print_level=1)
    assert r.labels == ["Intercept", "Air.Flow", "Water.Temp", "Acid.Conc."]
    assert "Least Trimmed Squares (LTS) Regression" in r.listing
    r = robmat.lms(y, x, intercept=False)
    assert r.labels == ["Air.Flow", "Water.Temp", "Acid.Conc."] and r.coefficients.shape == (3,)


def test_views_without_least_squares_and_the_location_model(stackloss):
    r = robmat.lms(stackloss[:, 3], stackloss[:, :3])
    assert r.ls_coefficients is None and r.standard_errors is None and r.ci is None
    assert r.ls_scaled_residuals is None
    loc = robmat.lms(stackloss[:, 3])
    assert loc.labels == ["Intercept"] and loc.coefficients.tolist() == [11.5]
    with pytest.raises(ValueError, match="intercept"):
        robmat.lms(stackloss[:, 3], intercept=False)


def test_starts_replace_the_search(stackloss):
    y, x = stackloss[:, 3], stackloss[:, :3]
    r = robmat.lms(y, x, start=[8, 10, 11, 15])
    assert r.criterion == pytest.approx(0.75) and r.best_subset == [8, 10, 11, 15]
    r = robmat.lms(y, x, start_coefficients=[0.75, 0.5, 0.0, -39.25])
    assert r.criterion == pytest.approx(0.75) and r.best_subset is None


def test_lts_default_is_fast_lts(stackloss):
    y, x = stackloss[:, 3], stackloss[:, :3]
    r = robmat.lts(y, x)
    # The global optimum of the sum of the 13 smallest squared residuals (data/README.md).
    assert r.h == 13 and r.criterion ** 2 * 13 == pytest.approx(2.932391246, rel=1e-9)
    assert r.coefficients == pytest.approx([-37.32332647, 0.74092106, 0.39152672, 0.01113454], rel=1e-7)
    assert r.best_subset is None and not any(s == "error" for s, _ in r.log)
    assert robmat.lts(y, x, refine=True).criterion ** 2 * 13 == pytest.approx(2.932391246, rel=1e-9)
    both = robmat.lts(y, x, least_squares="ordinary", tests=True)
    assert both.ls_coefficients == pytest.approx(robmat.lms(y, x, least_squares="ordinary").ls_coefficients)
    assert robmat.lts(y, x, method="subsets").h == 13


def test_exchange_counts_its_trials(stackloss):
    # Robmat's option 22 (each variant's criterion is checked on the engine, exchange_test).
    y, x = stackloss[:, 3], stackloss[:, :3]
    plain = robmat.lms(y, x, nrep=20, seed=3)
    assert robmat.lms(y, x, nrep=20, seed=3, exchange=2).summary[1] > plain.summary[1]
    with pytest.raises(ValueError, match="exchange"):
        robmat.lms(y, x, exchange=4)
