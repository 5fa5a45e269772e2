"""scikit-learn-compatible estimators over robmat's routines: MCD and MVE (robust location and
scatter, as scikit-learn's MinCovDet), an outlier detector on top of them, and LTSRegressor and
LMSRegressor (robust regression).

They follow scikit-learn's conventions without needing it: parameters are the arguments of
__init__ (get_params and set_params read them from its signature), fit checks its input and
returns self, what fit learns ends in an underscore, and seeds come from random_state. So they
work in scikit-learn's Pipeline, clone and GridSearchCV when scikit-learn is installed, and on
their own when it is not."""

import inspect
import numbers
import warnings

import numpy as np

from ._capi import RoutineError, session

try:  # scikit-learn's own classes, so that its checks and users' except clauses see them
    from sklearn.exceptions import DataConversionWarning, NotFittedError
except ImportError:  # pragma: no cover - exercised where scikit-learn is absent
    class NotFittedError(ValueError, AttributeError):
        """An estimator was used before fit."""

    class DataConversionWarning(UserWarning):
        """Input data was converted to what the estimator needs."""

__all__ = ["MCD", "MVE", "OutlierDetector", "LTSRegressor", "LMSRegressor", "NotFittedError"]


# ---- the base: parameters from __init__, as scikit-learn's BaseEstimator has them ----------

class _Estimator:
    @classmethod
    def _get_param_names(cls):
        sig = inspect.signature(cls.__init__)
        return sorted(p.name for p in sig.parameters.values() if p.name != "self" and p.kind in (p.POSITIONAL_OR_KEYWORD, p.KEYWORD_ONLY))

    def get_params(self, deep=True):
        """The parameters (the arguments of __init__) and, with deep, those of nested estimators
        as name__parameter."""
        out = {}
        for name in self._get_param_names():
            value = getattr(self, name)
            if deep and hasattr(value, "get_params") and not isinstance(value, type):
                out.update((f"{name}__{k}", v) for k, v in value.get_params().items())
            out[name] = value
        return out

    def set_params(self, **params):
        """Sets parameters (name__parameter for a nested estimator); returns self."""
        valid = self._get_param_names()
        nested = {}
        for key, value in params.items():
            name, _, sub = key.partition("__")
            if name not in valid:
                raise ValueError(f"{type(self).__name__} has no parameter {name!r}; its parameters are "
                                 f"{', '.join(valid)}")
            if sub:
                nested.setdefault(name, {})[sub] = value
            else:
                setattr(self, name, value)
        for name, sub in nested.items():
            getattr(self, name).set_params(**sub)
        return self

    def __repr__(self):
        defaults = {p.name: p.default for p in inspect.signature(type(self).__init__).parameters.values()}
        changed = [f"{k}={v!r}" for k, v in sorted(self.get_params(deep=False).items())
                   if not (isinstance(v, type(defaults.get(k))) and _same(v, defaults.get(k)))]
        return f"{type(self).__name__}({', '.join(changed)})"

    def _check_fitted(self, attribute):
        if not hasattr(self, attribute):
            raise NotFittedError(f"This {type(self).__name__} instance is not fitted yet. Call 'fit' with "
                                 "appropriate arguments before using this estimator.")

    def _more_tags(self):
        return {"allow_nan": False}


def _same(a, b):
    try:
        return bool(a == b) if not isinstance(a, np.ndarray) else False
    except Exception:
        return False


# ---- input checks with scikit-learn's wording ------------------------------------------------

def _check_X(estimator, X, reset):
    """X as a 2-D float array of finite values; records or checks n_features_in_."""
    if hasattr(X, "toarray") and type(X).__module__.startswith("scipy.sparse"):
        raise TypeError(f"{type(estimator).__name__} needs dense data, but a sparse matrix was passed; "
                        "use X.toarray() to convert it.")
    if hasattr(X, "columns") and hasattr(X, "to_numpy"):  # a DataFrame: remember its column names
        names = np.asarray([str(c) for c in X.columns], dtype=object)
        X = X.to_numpy()
    else:
        names = None
    a = np.asarray(X)
    if a.dtype.kind == "c":
        raise ValueError("Complex data not supported: robmat's routines take real numbers.")
    a = np.asarray(a, dtype=np.float64)  # TypeError "... argument must be a string or a number" for objects
    if a.ndim != 2:
        raise ValueError(f"Expected 2D array, got {'scalar' if a.ndim == 0 else f'{a.ndim}D'} array instead. "
                         "Reshape your data either using array.reshape(-1, 1) if your data has a single "
                         "feature or array.reshape(1, -1) if it contains a single sample.")
    if a.shape[0] < 1:
        raise ValueError(f"Found array with 0 sample(s) (shape={a.shape}) while a minimum of 1 is required.")
    if a.shape[1] < 1:
        raise ValueError(f"Found array with 0 feature(s) (shape={a.shape}) while a minimum of 1 is required.")
    if not np.all(np.isfinite(a)):
        what = "NaN" if np.isnan(a).any() else "infinity"
        raise ValueError(f"Input X contains {what}: robmat's estimators need every value finite.")
    if reset:
        estimator.n_features_in_ = a.shape[1]
        if names is not None:
            estimator.feature_names_in_ = names
        elif hasattr(estimator, "feature_names_in_"):
            del estimator.feature_names_in_
    elif a.shape[1] != estimator.n_features_in_:
        raise ValueError(f"X has {a.shape[1]} features, but {type(estimator).__name__} is expecting "
                         f"{estimator.n_features_in_} features as input.")
    return a


def _check_y(estimator, y, n):
    if y is None:
        raise ValueError(f"{type(estimator).__name__} requires y to be passed, but the target y is None.")
    a = np.asarray(y)
    if a.ndim == 2 and a.shape[1] == 1:
        warnings.warn("A column-vector y was passed when a 1d array was expected. Please change the shape of y "
                      "to (n_samples, ), for example using ravel().", DataConversionWarning, stacklevel=3)
        a = a.ravel()
    if a.ndim != 1:
        raise ValueError(f"y should be a 1d array, got an array of shape {a.shape} instead.")
    a = np.asarray(a, dtype=np.float64)
    if a.shape[0] != n:
        raise ValueError(f"Found input variables with inconsistent numbers of samples: [{n}, {a.shape[0]}]")
    if not np.all(np.isfinite(a)):
        raise ValueError("Input y contains NaN or infinity: robmat's estimators need every value finite.")
    return a


def _seed(random_state):
    """The routine's seed (option 20) for scikit-learn's random_state: None, an int, or a numpy
    RandomState or Generator to draw one from."""
    if random_state is None:
        return None
    if isinstance(random_state, numbers.Integral) and not isinstance(random_state, bool):
        return float(random_state)
    if isinstance(random_state, np.random.RandomState):
        return float(random_state.randint(np.iinfo(np.int32).max))
    if isinstance(random_state, np.random.Generator):
        return float(random_state.integers(np.iinfo(np.int32).max))
    raise ValueError(f"random_state must be None, an int, or a numpy RandomState or Generator, not {random_state!r}")


def _options(positions):
    """An option vector with {position: value} set and NaN (the default) elsewhere."""
    given = {k: v for k, v in positions.items() if v is not None}
    if not given:
        return np.empty((0, 0))
    vec = np.full(max(given), np.nan)
    for k, v in given.items():
        vec[k - 1] = v
    return vec.reshape(1, -1)


def _h(estimator, n, p):
    """h from the h or support_fraction parameter (None: the routine's default)."""
    if estimator.h is not None and estimator.support_fraction is not None:
        raise ValueError("give h or support_fraction, not both")
    if estimator.h is not None:
        return float(estimator.h)
    if estimator.support_fraction is not None:
        f = estimator.support_fraction
        if not 0 < f <= 1:
            raise ValueError(f"support_fraction must be in (0, 1], not {f!r}")
        return float(max(int(np.ceil(f * n)), (n + p + 1) // 2))
    return None


# ---- location and scatter -------------------------------------------------------------------

class _LocationScatter(_Estimator):
    _routine = None

    def __init__(self, *, h=None, support_fraction=None, nrep=None, random_state=None):
        self.h = h
        self.support_fraction = support_fraction
        self.nrep = nrep
        self.random_state = random_state

    def fit(self, X, y=None):
        """Robust location and scatter of the rows of X (n_samples x n_features); y is ignored.
        Returns self."""
        X = _check_X(self, X, reset=True)
        n, p = X.shape
        if n <= p:
            raise ValueError(f"{self._routine} needs more samples than features, but n_samples = {n} and "
                             f"n_features = {p}.")
        opt = _options({4: _h(self, n, p), 5: self.nrep, 20: _seed(self.random_state), **self._more_options()})
        outcome = session.call(self._routine, [opt, (X, None)])
        if outcome.engine_failed:
            errors = " ".join(t for s, t in outcome.log if s == "error")
            raise RoutineError(f"The routine {self._routine} failed: {errors}", self._routine, 0, 0, outcome.log)
        summary, est, dist = outcome.results
        self.location_ = est[0].copy()
        self.covariance_ = est[2:p + 2].copy()
        self.precision_ = np.linalg.pinv(self.covariance_)
        self.dist_ = dist[1] ** 2  # squared, as scikit-learn's MinCovDet has them
        self.support_ = dist[2] == 1
        self.cutoff_ = float(summary[6])
        self.h_ = int(summary[0])
        raw = _raw_estimates(outcome, p)
        if raw is not None:
            self.raw_location_, self.raw_covariance_, self.raw_support_ = raw
        return self

    def _more_options(self):
        return {}

    def mahalanobis(self, X):
        """Squared Mahalanobis distances of the rows of X from location_ under covariance_."""
        self._check_fitted("location_")
        X = _check_X(self, X, reset=False)
        d = X - self.location_
        return np.einsum("ij,jk,ik->i", d, self.precision_, d)

    def score_samples(self, X):
        """Minus the squared robust distances: larger for more typical samples."""
        return -self.mahalanobis(X)


def _raw_estimates(outcome, p):
    """(raw location, raw scatter, raw support) when the result offers them, else None. The MCD
    result gains them with the host's new result conventions; until then they are absent."""
    result = getattr(outcome, "raw_location", None)
    if result is None:
        return None
    return (np.asarray(outcome.raw_location), np.asarray(outcome.raw_scatter), np.asarray(outcome.support, bool))


class MCD(_LocationScatter):
    """Minimum covariance determinant location and scatter (FAST-MCD with reweighting), as
    scikit-learn's MinCovDet.

    h: observations in the best subset (or support_fraction, a fraction of n); nrep: subsets
    to draw; random_state: the seed; starts: "random" (FAST-MCD) or "deterministic" (the six
    deterministic starts of DetMCD, robmat's own option 24; nrep and random_state are then not
    used). After fit: location_, covariance_, precision_, dist_ (squared robust distances of
    the training samples), support_ (the observations kept by the reweighting), cutoff_ (the
    distance beyond which a sample is an outlier), h_, n_features_in_; raw_location_,
    raw_covariance_ and raw_support_ where the host provides them."""

    _routine = "MCD"

    def __init__(self, *, h=None, support_fraction=None, nrep=None, random_state=None, starts="random"):
        super().__init__(h=h, support_fraction=support_fraction, nrep=nrep, random_state=random_state)
        self.starts = starts

    def _more_options(self):
        if self.starts not in ("random", "deterministic"):
            raise ValueError(f"starts must be 'random' or 'deterministic', not {self.starts!r}")
        return {24: 1.0 if self.starts == "deterministic" else None}


class MVE(_LocationScatter):
    """Minimum volume ellipsoid location and scatter, with reweighting; attributes as MCD."""

    _routine = "MVE"


class OutlierDetector(_Estimator):
    """Flags outliers by their robust distance from an MCD (method="mcd") or MVE fit.

    contamination: None flags samples beyond the routine's cutoff (the 0.975 chi-square
    quantile); a fraction in (0, 0.5] flags that share of the training samples instead.
    predict gives 1 for inliers and -1 for outliers; decision_function is score_samples minus
    offset_, negative for outliers; score_samples is minus the squared robust distance."""

    _estimator_type = "outlier_detector"

    def __init__(self, *, method="mcd", h=None, support_fraction=None, nrep=None, contamination=None,
                 random_state=None):
        self.method = method
        self.h = h
        self.support_fraction = support_fraction
        self.nrep = nrep
        self.contamination = contamination
        self.random_state = random_state

    def fit(self, X, y=None):
        kinds = {"mcd": MCD, "mve": MVE}
        if not isinstance(self.method, str) or self.method.lower() not in kinds:
            raise ValueError(f"method must be 'mcd' or 'mve', not {self.method!r}")
        c = self.contamination
        if c is not None and (isinstance(c, bool) or not isinstance(c, numbers.Real) or not 0 < c <= 0.5):
            raise ValueError(f"contamination must be None or a number in (0, 0.5], not {c!r}")
        fit = kinds[self.method.lower()](h=self.h, support_fraction=self.support_fraction, nrep=self.nrep,
                                         random_state=self.random_state).fit(X)
        self.estimator_ = fit
        self.location_, self.covariance_, self.precision_ = fit.location_, fit.covariance_, fit.precision_
        self.dist_, self.support_ = fit.dist_, fit.support_
        self.n_features_in_ = fit.n_features_in_
        if hasattr(fit, "feature_names_in_"):
            self.feature_names_in_ = fit.feature_names_in_
        self.offset_ = -fit.cutoff_ ** 2 if c is None else float(np.percentile(-fit.dist_, 100.0 * c))
        return self

    def score_samples(self, X):
        self._check_fitted("estimator_")
        return self.estimator_.score_samples(X)

    def decision_function(self, X):
        return self.score_samples(X) - self.offset_

    def predict(self, X):
        return np.where(self.decision_function(X) > 0, 1, -1)

    def fit_predict(self, X, y=None):
        return self.fit(X).predict(X)

    def _more_tags(self):
        return {"allow_nan": False}


# ---- regression -----------------------------------------------------------------------------

class _Regressor(_Estimator):
    _routine = None
    _estimator_type = "regressor"

    def __init__(self, *, fit_intercept=True, h=None, nrep=None, random_state=None):
        self.fit_intercept = fit_intercept
        self.h = h
        self.nrep = nrep
        self.random_state = random_state

    def fit(self, X, y):
        """The robust fit of y on the columns of X; returns self."""
        X = _check_X(self, X, reset=True)
        y = _check_y(self, y, X.shape[0])
        n, q = X.shape
        p = q + (1 if self.fit_intercept else 0)
        if n <= p:
            raise ValueError(f"{self._routine} needs more samples than coefficients, but n_samples = {n} and "
                             f"there are {p} coefficients.")
        opt = _options({1: 0.0 if self.fit_intercept else 1.0, 4: None if self.h is None else float(self.h),
                        5: self.nrep, 9: self._search(), 20: _seed(self.random_state)})
        outcome = session.call(self._routine, [opt, (y.reshape(-1, 1), None), (X, None)])
        if outcome.engine_failed:
            errors = " ".join(t for s, t in outcome.log if s == "error")
            raise RoutineError(f"The routine {self._routine} failed: {errors}", self._routine, 0, 0, outcome.log)
        summary, est, obs = outcome.results
        b = est[0]
        self.coef_ = b[:q].copy()
        self.intercept_ = float(b[q]) if self.fit_intercept else 0.0
        self.scale_ = float(summary[6])
        self.inlier_mask_ = obs[0] == 1
        return self

    def _search(self):
        return None  # option 9: the routine's default search

    def predict(self, X):
        self._check_fitted("coef_")
        X = _check_X(self, X, reset=False)
        return X @ self.coef_ + self.intercept_

    def score(self, X, y, sample_weight=None):
        """The coefficient of determination R^2 of the prediction, as scikit-learn's regressors."""
        y = np.asarray(y, dtype=np.float64).ravel()
        w = np.ones_like(y) if sample_weight is None else np.asarray(sample_weight, dtype=np.float64)
        e = y - self.predict(X)
        m = np.average(y, weights=w)
        total = np.sum(w * (y - m) ** 2)
        return 1.0 - np.sum(w * e ** 2) / total if total > 0 else 0.0

    def _more_tags(self):
        # The routines refuse fewer than 2p + 1 observations for p parameters, and this check
        # fits 10 samples of 4 features with an intercept.
        return {"allow_nan": False, "requires_y": True,
                "_xfail_checks": {"check_regressors_no_decision_function":
                                  "LMS and LTS need more than twice as many samples as parameters"}}


class LTSRegressor(_Regressor):
    """Least trimmed squares regression. algorithm: "fast" (FAST-LTS) or "subsets" (the
    elemental subset search). After fit: coef_, intercept_, scale_ (the robust scale of the
    residuals), inlier_mask_ (samples of weight 1), n_features_in_."""

    _routine = "LTS"

    def __init__(self, *, fit_intercept=True, h=None, nrep=None, algorithm="fast", random_state=None):
        super().__init__(fit_intercept=fit_intercept, h=h, nrep=nrep, random_state=random_state)
        self.algorithm = algorithm

    def _search(self):
        if self.algorithm not in ("fast", "subsets"):
            raise ValueError(f"algorithm must be 'fast' or 'subsets', not {self.algorithm!r}")
        return 1.0 if self.algorithm == "subsets" else None


class LMSRegressor(_Regressor):
    """Least median of squares regression; attributes as LTSRegressor."""

    _routine = "LMS"
