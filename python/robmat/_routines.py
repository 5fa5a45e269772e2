"""The routines over numpy arrays: conversion of the arguments, keyword options onto option
vector positions, and result objects with named views of the result rows. Keywords are checked
here as far as their meaning goes (types, whole numbers, the range an option's meaning implies);
everything the routine itself checks (sizes, missing values, what it does with an option) is
left to it, and what it logs about a call reaches the user as a RobmatWarning. The pieces every
routine's function shares are in _results.py."""

import time

import numpy as np

from ._capi import RoutineError, help_text, session
from ._results import (RobmatWarning, data_matrix, labelled, number, numeric_array, option_vector, printed_objects,
                       vector, warn_log, whole_number)
from ._plots import PlotsMixin

__all__ = ["RobmatWarning"]


def _data_matrix(x, what):
    """A 1-D input is one column (one variable)."""
    d = data_matrix(x, what)
    return d.array, d.columns


def _vector(x, what):
    return vector(x, what)


def _engine_failure(outcome):
    """Raises RoutineError when the host found that the routine's engine failed."""
    if outcome.engine_failed:
        errors = [t for s, t in outcome.log if s == "error"]
        raise RoutineError(f"The routine {outcome.routine} failed: " + " ".join(errors), outcome.routine, 0, 0,
                           outcome.log, True)


def call(routine, *args, progress=False):
    """Calls any routine of the module by name. Arguments: numeric arrays (NaN for missing;
    1-D is one column), strings, or None for an omitted optional argument. Returns an Outcome
    with .results (2-D arrays), .log, .listing and .json. progress: True shows a line on
    standard error while a call runs longer than a second; a function (routine, seconds,
    percent, done) receives the same reports (percent is -1 when the routine notes none).
    Ctrl-C during the call raises KeyboardInterrupt."""
    converted = []
    for i, v in enumerate(args, start=1):
        if v is None or isinstance(v, str):
            converted.append(v)
        else:
            a, names = _data_matrix(v, f"argument {i}")
            converted.append((a, names))
    return session.call(routine, converted, progress)


def routines():
    """The names of the routines that the module registered."""
    return session.routines()


def help(routine=None):  # noqa: A001 - robmat.help, as in the robmat program
    """Prints the help of a routine (call form, arguments, options, print levels, results),
    or the list of routines without a name."""
    text = help_text(routine)
    if text is None:
        raise ValueError(f"there is no routine named {routine!r}; robmat.routines() lists them")
    print(text, end="")


def _with_help(function, routine):
    """Appends the routine's own help, the text the robmat program shows, to a docstring."""
    text = help_text(routine)
    if text and function.__doc__:  # python -OO strips docstrings
        function.__doc__ += "\n\nThe routine " + routine + " itself:\n\n" + text
    return function


def mad(x, method="mad", *, axis=0, progress=False):
    """Robust scale of x over its non-missing values (NaN is missing). method: "mad" (the raw
    median absolute deviation), "nmad" (normalized to the standard deviation at the normal),
    "sn" or "qn" (Rousseeuw and Croux); case does not matter, and only these four words (or
    longer words that begin with MAD, NMA, SN or QN) are methods.

    axis: 0 (the default) one scale per column, 1 one per row, None one scale of all values.
    A 1-D input (or axis=None) gives a float; a 2-D input a 1-D array, or a pandas Series
    named by the columns (rows) when x is a DataFrame. A column without values gives NaN, a
    column with one value 0. An unknown method computes the raw MAD and issues a
    RobmatWarning."""
    if not isinstance(method, str):
        raise TypeError(f"method must be a string such as 'mad', 'nmad', 'sn' or 'qn', not {type(method).__name__}")
    if axis not in (0, 1, None, -1, -2):
        raise ValueError(f"axis must be 0 (columns), 1 (rows) or None (all values), not {axis!r}")
    d = numeric_array(x, "x")
    one_dimensional = d.array.ndim <= 1
    if d.array.ndim == 0:
        raise ValueError("x must be a 1-D or 2-D array, not a single number")
    if d.array.ndim > 2:
        raise ValueError(f"x must be a 1-D or 2-D array, not {d.array.ndim}-D")
    if one_dimensional:
        d.array = d.array.reshape(-1, 1)
    a, names, labels = d.array, d.columns, d.columns
    if axis is None:
        a, names, labels = a.reshape(-1, 1), None, None
    elif axis in (1, -1):
        if one_dimensional:
            raise ValueError("axis=1 needs a 2-D input; a 1-D input has one scale (axis=0 or None)")
        a = np.ascontiguousarray(a.T)
        names = None
        labels = list(d.index) if d.index is not None else None
    outcome = session.call("MAD", [(a, names), method], progress)
    warn_log(outcome, notes=True)
    scales = outcome.results[0].reshape(-1)
    if axis is None or one_dimensional:
        return float(scales[0])
    if d.pandas:
        import pandas as pd
        return pd.Series(scales, index=labels)
    return scales


# MCD option vector positions of the keyword options, with the converged final stage, robmat's
# own option position 23; MVE has the others and the exchange refinement, robmat's own 22.
_MCD_POSITIONS = {"print_level": 1, "correlations": 3, "h": 4, "nrep": 5, "cutoff": 11, "seed": 20, "refine": 23}
_MVE_POSITIONS = dict(_MCD_POSITIONS, exchange=22)


def _h_bounds(n, p):
    """The h that MCD takes for n observations of p variables (it moves others into range)."""
    return n // 2 + 1, (3 * n) // 4 + (p + 1) // 4


def _h_of(h, alpha, n, p):
    """h from the keywords h or alpha, checked against MCD's bounds; None for the default."""
    if h is not None and alpha is not None:
        raise ValueError("give h (a number of observations) or alpha (a fraction of them), not both")
    if h is None and alpha is None:
        return None
    lo, hi = _h_bounds(n, p)
    if alpha is not None:
        alpha = number("alpha", alpha)
        if not 0.5 < alpha <= 1:
            raise ValueError(f"alpha must be a fraction in (0.5, 1], not {alpha!r}")
        # robustbase's h.alpha.n: alpha = 1/2 is the default h = (n + p + 1) div 2.
        nh = (n + p + 1) // 2
        value = int(np.floor(2 * nh - n + 2 * (n - nh) * alpha))
        if not lo <= value <= hi:
            raise ValueError(f"alpha={alpha!r} gives h = {value}, but MCD takes h from {lo} to {hi} for n = {n} "
                             f"and p = {p} (alpha up to {(hi - 2 * nh + n) / (2 * (n - nh)):.3g})")
        return float(value)
    return whole_number("h", h, lo, hi, f"(observations, for n = {n} and p = {p}; alpha= gives h as a fraction)")


def _exchange_option(exchange):
    """The value of robmat's option 22 for exchange=, or None when no exchange is asked for."""
    if exchange is None or exchange is False or exchange == 0:
        return None
    if isinstance(exchange, bool) or exchange not in (1, 2, 3):
        raise ValueError(f"exchange must be 1, 2 or 3 (or 0 / None for no exchange), not {exchange!r}")
    return float(exchange)


def _refine_option(refine):
    """The value of robmat's option 23 for refine=, or None when it is not asked for."""
    if refine is None or refine is False:
        return None
    if refine is not True:
        raise TypeError(f"refine must be True or False, not {refine!r}")
    return 1.0


# robmat's own option 24 of MCD: how the search starts.
_MCD_STARTS = {None: None, "random": None, "deterministic": 1.0}


def _mcd_options(opt, h, nrep, seed, cutoff, print_level, correlations, exchange=None, positions=_MCD_POSITIONS,
                 refine=False, starts=None):
    """The option vector of MCD (and MVE, whose positions are the same, with the exchange at
    22). h is checked by the caller (it needs n and p); cutoff is a distance, so option 11,
    which is compared with squared distances, is its square."""
    given = {}
    if not isinstance(starts, (str, type(None))) or starts not in _MCD_STARTS:
        raise ValueError(f"starts must be 'random' or 'deterministic', not {starts!r}")
    if _MCD_STARTS[starts] is not None:
        given[24] = ("starts", _MCD_STARTS[starts])
    if print_level != 0:
        given[positions["print_level"]] = ("print_level", whole_number("print_level", print_level, 0, 5))
    if h is not None:
        given[positions["h"]] = ("h", number("h", h))
    if nrep is not None:
        given[positions["nrep"]] = ("nrep", whole_number("nrep", nrep,
                                                         meaning="(subsets to draw; a negative number: all of them)"))
    if cutoff is not None:
        c = number("cutoff", cutoff)
        if not (c > 0 and np.isfinite(c)):
            raise ValueError(f"cutoff must be a positive distance, not {cutoff!r}")
        given[positions["cutoff"]] = ("cutoff", c * c)
    if seed is not None:
        given[positions["seed"]] = ("seed", whole_number("seed", seed))
    if _exchange_option(exchange) is not None:
        given[positions["exchange"]] = ("exchange", _exchange_option(exchange))
    if _refine_option(refine) is not None:
        given[positions["refine"]] = ("refine", _refine_option(refine))
    vec = option_vector(opt, given)
    if correlations is not False and correlations is not None:
        v = vec.reshape(-1).tolist()
        if correlations is True:
            # Returned and printed when anything is printed, returned only otherwise.
            level = v[0] if v and not np.isnan(v[0]) else 0
            value = 3.0 if level > 0 else 2.0
        else:
            value = whole_number("correlations", correlations, 0, 3)
        vec = option_vector(v, {3: ("correlations", value)})
    return vec


_SUMMARY_NAMES = ["h", "subsets", "nonsingular", "outliers", "determinant", "distance_scale", "cutoff"]


class McdResult(PlotsMixin):
    """The result of robmat.mcd.

    The reweighted estimates: location (p), scatter (p x p), correlation (with
    correlations=True), eigenvalues of the scatter. Per observation (n-vectors): mahalanobis
    (classical distances), robust_distances, weights (1 or 0), outliers (a boolean mask, weight
    0). The raw MCD: raw_location, raw_scatter (corrected for consistency, as R's raw.cov and
    scikit-learn's raw_covariance_), support (a boolean mask of the best h observations); these
    three come from the routine's printed report and are computed on first use by repeating the
    call quietly at print level 2 (the same options and seed give the same result; the call
    takes as long again). Scalars: h, determinant (the raw MCD criterion: the determinant of the
    raw scatter, before the consistency factor), cutoff (a distance) and cutoff_squared (what
    the squared robust distances are compared with). With a pandas DataFrame as x, vectors and
    matrices come back as pandas Series and DataFrames labelled by its columns and index.

    summary (7,), estimates ((p+2) x p or (2p+2) x p) and distances (3 x n) hold the routine's
    three results as they are; listing, json and log what it printed and logged. NaN is
    missing. Plots: plot() draws them with matplotlib, plots() gives them as data and SVG,
    to_html(path) writes the report of the call; a notebook shows the pictures."""

    def __init__(self, outcome, data, cutoff_given, rerun):
        self.summary = outcome.results[0].reshape(-1)
        self.estimates = outcome.results[1]
        self.distances = outcome.results[2]
        self.log = outcome.log
        self.listing = outcome.listing
        self.json = outcome.json
        self.names = data.columns
        self.variables = outcome.colnames[1] or [f"VAR{j + 1}" for j in range(self.estimates.shape[1])]
        self._data = data
        self._cutoff_given = cutoff_given
        self._rerun = rerun
        self._raw = None
        self.handle = outcome.handle
        # Observation labels of the plots: the pandas index, when there is one.
        self.row_names = [str(v) for v in data.index] if data.index is not None else None

    # ---- views ---------------------------------------------------------------------------
    def _vector_p(self, v):
        return labelled(v, self.variables, self._data)

    def _matrix_p(self, m):
        return labelled(m, self.variables, self._data, as_frame_of=self.variables)

    def _vector_n(self, v):
        return labelled(v, self._data.index, self._data)

    @property
    def p(self):
        return self.estimates.shape[1]

    @property
    def n(self):
        return self.distances.shape[1]

    @property
    def location(self):
        return self._vector_p(self.estimates[0])

    @property
    def eigenvalues(self):
        return self._vector_p(self.estimates[1])

    @property
    def scatter(self):
        return self._matrix_p(self.estimates[2:self.p + 2])

    @property
    def correlation(self):
        p = self.p
        return self._matrix_p(self.estimates[p + 2:2 * p + 2]) if self.estimates.shape[0] == 2 * p + 2 else None

    @property
    def mahalanobis(self):
        return self._vector_n(self.distances[0])

    @property
    def robust_distances(self):
        return self._vector_n(self.distances[1])

    @property
    def weights(self):
        return self._vector_n(self.distances[2])

    @property
    def outliers(self):
        return self._vector_n(self.distances[2] == 0)

    @property
    def h(self):
        v = self.summary[0]
        return int(v) if np.isfinite(v) else None

    @property
    def determinant(self):
        """The raw MCD criterion: the determinant of the raw scatter (NaN for one variable, 0
        after an exact fit)."""
        return float(self.summary[4])

    @property
    def cutoff(self):
        """The cutoff as a distance: the square root of the 0.975 chi-square quantile by
        default, or the cutoff given."""
        c = float(self.summary[6])
        return float(np.sqrt(c)) if self._cutoff_given else c

    @property
    def cutoff_squared(self):
        c = float(self.summary[6])
        return c if self._cutoff_given else c * c

    # ---- the raw MCD, from the printed report ---------------------------------------------
    def _raw_parts(self):
        if self._raw is None:
            self._raw = self._rerun(self)
        return self._raw

    @property
    def raw_location(self):
        return self._vector_p(self._raw_parts()[0])

    @property
    def raw_scatter(self):
        return self._matrix_p(self._raw_parts()[1])

    @property
    def support(self):
        return self._vector_n(self._raw_parts()[2])

    def __repr__(self):
        n = self.n
        zero = [i + 1 for i in range(n) if self.distances[2][i] == 0]
        shown = ", ".join(map(str, zero[:20])) + (", ..." if len(zero) > 20 else "")
        location = ", ".join(f"{k}={v:.6g}" for k, v in zip(self.variables, self.estimates[0]))
        return (f"<robmat.McdResult n={n} p={self.p} h={self.h} determinant={self.determinant:.6g} "
                f"cutoff={self.cutoff:.6g}\n  location: {location}\n"
                f"  weight 0: {len(zero)} observation(s){': ' + shown if zero else ''}>")


def _raw_from_report(x, names, options, start, first):
    """A function that repeats the MCD call at print level 2 with the scatter printed, without a
    listing, and takes the raw estimates and the best subset from its output objects."""

    def rerun(result):
        vec = options.reshape(-1).tolist()
        vec.extend([np.nan] * (2 - len(vec)))
        vec[0], vec[1] = max(2.0, vec[0] if np.isfinite(vec[0]) else 0.0), 1.0
        args = [np.array(vec).reshape(1, -1), (x, names)]
        if start is not None:
            args.append(start)
        outcome = session.call("MCD", args, listing=False)
        again = outcome.results
        for k in range(3):
            if not np.array_equal(again[k], first[k], equal_nan=True):
                raise RuntimeError("MCD gave another result when repeated to read its raw estimates")
        objects = printed_objects(outcome.json, {"BestHalf", "MCDLocEst", "ConsScatter", "Mean", "Cov"})
        n, p = x.shape
        location = objects.get("MCDLocEst", objects.get("Mean"))
        scatter = objects.get("ConsScatter", objects.get("Cov"))
        support = np.zeros(n, dtype=bool)
        if "BestHalf" in objects:
            support[objects["BestHalf"].reshape(-1).astype(int) - 1] = True
        nan_p = np.full(p, np.nan)
        return (location.reshape(-1) if location is not None else nan_p,
                scatter if scatter is not None else np.full((p, p), np.nan), support)

    return rerun


def mcd(x, *, h=None, alpha=None, nrep=None, seed=None, cutoff=None, print_level=0, correlations=False,
        start=None, refine=False, opt=None, progress=False, starts="random"):
    """Minimum covariance determinant location and scatter of the rows of x (n x p; a 1-D
    input is one variable), by FAST-MCD with reweighting.

    h: observations in the best subset, a whole number from n/2 + 1 to 3n/4 + (p+1)/4 (each
    rounded down); or alpha: that number as a fraction in (0.5, 1], as robustbase's alpha
    (0.5 is the default h). nrep: subsets to draw (negative: all of them); seed: the random
    seed. cutoff: the reweighting cutoff as a distance (an observation keeps weight 1 when its
    robust distance is at most this); the default is the square root of the 0.975 chi-square
    quantile with p degrees of freedom. print_level: 0-5, the listing's detail; correlations:
    True to return the correlation matrix (or the raw option value 0-3); start: p+1
    observation numbers (1-based) of a start subset; refine: True runs the final concentration
    steps until the determinant stops falling, from more of the kept solutions (robmat's own
    option position 23; never a worse determinant for the same seed, and slower on large
    data); opt: a raw option vector (NaN elements
    take the default; its option 11 is compared with squared distances). A keyword and opt may
    not set the same position; progress: as for robmat.call. starts: "random" (FAST-MCD) or
    "deterministic", robmat's own option 24: the six deterministic starts of DetMCD (Hubert,
    Rousseeuw and Verdonck 2012), the same answer on every run and for any order of the rows
    (nrep and seed are then not used). What the routine logs as a warning (an option it
    changed or ignored, an exact fit) is issued as a RobmatWarning. Returns an McdResult."""
    d = data_matrix(x, "x")
    n, p = d.array.shape
    hv = _h_of(h, alpha, n, p)
    options = _mcd_options(opt, hv, nrep, seed, cutoff, print_level, correlations, refine=refine, starts=starts)
    vec = options.reshape(-1).tolist()
    # A seed drawn from the clock (the host's stream, option 19, without a seed) is drawn here,
    # so that the call can be repeated with the same result.
    if len(vec) >= 19 and vec[18] > 0 and (len(vec) < 20 or not vec[19] >= 1):
        vec.extend([np.nan] * (20 - len(vec)))
        vec[19] = float(int(time.time()))
        options = np.array(vec).reshape(1, -1)
    args = [options, (d.array, d.columns)]
    start_arg = None
    if start is not None:
        start_arg = vector(start, "start").reshape(-1, 1)
        args.append(start_arg)
    outcome = session.call("MCD", args, progress)
    warn_log(outcome)
    cutoff_given = len(vec) >= 11 and vec[10] > 0
    rerun = _raw_from_report(d.array, d.columns, options, start_arg, outcome.results)
    return McdResult(outcome, d, cutoff_given, rerun)


# LMS and LTS option vector positions of the keyword options.
_LMTS_POSITIONS = {"intercept": 1, "print_level": 2, "least_squares": 3, "h": 4, "nrep": 5, "tests": 8,
                   "method": 9, "cutoff": 11, "correlations": 14, "generator": 19, "seed": 20, "exchange": 22,
                   "refine": 23}
_LEAST_SQUARES = {None: None, False: None, "none": 0, "reweighted": 1, "ordinary": 2, "both": 3}
_LTS_METHODS = {"fast": 0, "subsets": 1}


def _lmts_options(opt, *, intercept, print_level, least_squares, h, nrep, tests, method, cutoff, correlations,
                  seed, start_kind, exchange=None, refine=False):
    given = {}
    if intercept is not True:
        if not isinstance(intercept, bool):
            raise TypeError(f"intercept must be True or False, not {type(intercept).__name__}")
        given[1] = ("intercept", 1.0)
    if print_level != 0:
        given[2] = ("print_level", number("print_level", print_level))
    if isinstance(least_squares, str) or least_squares is None or least_squares is False:
        if least_squares not in _LEAST_SQUARES:
            raise ValueError("least_squares must be 'reweighted', 'ordinary', 'both' or 'none', not "
                             f"{least_squares!r}")
        code = _LEAST_SQUARES[least_squares]
    elif least_squares is True:
        code = 3
    else:
        code = number("least_squares", least_squares)
    if code is not None:
        given[3] = ("least_squares", float(code))
    for name, value in (("h", h), ("nrep", nrep), ("cutoff", cutoff), ("seed", seed)):
        if value is not None:
            given[_LMTS_POSITIONS[name]] = (name, number(name, value))
    if tests is not None and tests is not False:
        given[8] = ("tests", 1.0 if tests is True else number("tests", tests))
    if method is not None:
        if method not in _LTS_METHODS:
            raise ValueError(f"method must be 'fast' or 'subsets', not {method!r}")
        given[9] = ("method", float(_LTS_METHODS[method]))
    if correlations is not None and correlations is not False:
        value = {True: 3.0, "pearson": 1.0, "spearman": 2.0, "both": 3.0}.get(correlations)
        given[14] = ("correlations", value if value is not None else number("correlations", correlations))
    if start_kind == "coefficients":
        given[7] = ("start_coefficients", 1.0)
    if _exchange_option(exchange) is not None:
        given[22] = ("exchange", _exchange_option(exchange))
    if _refine_option(refine) is not None:
        if method == "subsets" or start_kind is not None:
            raise ValueError("refine=True refines FAST-LTS, which neither method='subsets' nor a start uses")
        given[23] = ("refine", _refine_option(refine))
    return option_vector(opt, given)


class LmtsResult(PlotsMixin):
    """The result of robmat.lms or robmat.lts.

    summary (20,), estimates (rows x p, intercept last) and observations (rows x n) are the
    routine's three results as they are; NaN is missing. The named views put the intercept
    first, in the order of labels: coefficients (the robust fit), best_subset, and with the
    least squares fits ls_coefficients, standard_errors, t, p and ci (lower and upper 95%
    limits, p x 2); per observation weights, scaled_residuals, residuals, diagnostics."""

    def __init__(self, outcome, routine, labels, intercept, fast):
        self.routine = routine
        self.fast = fast  # FAST-LTS: no best subset; the least squares rows move up by one
        self.summary = outcome.results[0].reshape(-1)
        self.estimates = outcome.results[1]
        self.observations = outcome.results[2]
        self.log = outcome.log
        self.listing = outcome.listing
        self.json = outcome.json
        self.labels = labels
        self.intercept = intercept
        self.handle = outcome.handle

    def _row(self, k):
        if k >= self.estimates.shape[0]:
            return None
        row = self.estimates[k]
        return np.concatenate([row[-1:], row[:-1]]) if self.intercept else row.copy()

    def _summary(self, k):
        v = self.summary[k]
        return None if np.isnan(v) else float(v)

    @property
    def coefficients(self):
        return self._row(0)

    @property
    def coefficient_dict(self):
        return dict(zip(self.labels, self.coefficients.tolist()))

    @property
    def best_subset(self):
        """The observation numbers (1-based) of the best subset, None when there is none."""
        row = self.estimates[1]
        return None if self.fast or np.isnan(row).any() else [int(v) for v in row]

    @property
    def h(self):
        return int(self.summary[0])

    @property
    def criterion(self):
        return self._summary(4)

    @property
    def scale(self):
        return self._summary(6)

    @property
    def robust_r_squared(self):
        return self._summary(7)

    @property
    def weights(self):
        return self.observations[0]

    @property
    def scaled_residuals(self):
        return self.observations[1]

    @property
    def residuals(self):
        # The scaled residuals times the scale; after an exact fit (scale 0) they are the
        # residuals themselves.
        s = self.scale
        return self.scaled_residuals * s if s else self.scaled_residuals.copy()

    @property
    def diagnostics(self):
        return self.observations[2]

    @property
    def ls_coefficients(self):
        return self._row(2 - self.fast)

    @property
    def standard_errors(self):
        return self._row(3 - self.fast)

    @property
    def t(self):
        return self._row(4 - self.fast)

    @property
    def p(self):
        return self._row(5 - self.fast)

    @property
    def ci(self):
        lower, upper = self._row(6 - self.fast), self._row(7 - self.fast)
        return None if lower is None else np.column_stack([lower, upper])

    @property
    def ls_scale(self):
        return self._summary(10)

    @property
    def ls_r_squared(self):
        return self._summary(12)

    @property
    def ls_f(self):
        return self._summary(13)

    @property
    def ls_scaled_residuals(self):
        return self.observations[3] if self.observations.shape[0] > 3 else None

    def __repr__(self):
        n = self.observations.shape[1]
        zero = [i + 1 for i in range(n) if self.weights[i] == 0]
        shown = ", ".join(map(str, zero[:20])) + (", ..." if len(zero) > 20 else "")
        coef = ", ".join(f"{k}={v:.6g}" for k, v in self.coefficient_dict.items())
        return (f"<robmat.LmtsResult {self.routine} n={n} h={self.h} scale={self.scale:.6g}\n"
                f"  coefficients: {coef}\n"
                f"  weight 0: {len(zero)} observation(s){': ' + shown if zero else ''}>")


def _lmts(routine, y, x, *, intercept, h, nrep, seed, least_squares, tests, method, cutoff, correlations,
          print_level, start, start_coefficients, opt, progress, exchange=None, refine=False):
    yv = _vector(y, "y").reshape(-1, 1)
    args = [None, (yv, None)]
    names = []
    if x is not None:
        a, names = _data_matrix(x, "x")
        args.append((a, names))
        names = names or [f"VAR{j + 1}" for j in range(a.shape[1])]
    elif intercept is not True:
        raise ValueError("a model without an intercept needs regressors x")
    if start is not None and start_coefficients is not None:
        raise ValueError("give start (observation numbers) or start_coefficients, not both")
    kind = None
    if start is not None or start_coefficients is not None:
        kind = "subset" if start is not None else "coefficients"
        if x is None:
            args.append(None)
        given = start if start is not None else start_coefficients
        args.append(_vector(given, "start" if start is not None else "start_coefficients").reshape(-1, 1))
    options = _lmts_options(opt, intercept=intercept, print_level=print_level, least_squares=least_squares, h=h,
                            nrep=nrep, tests=tests, method=method, cutoff=cutoff, correlations=correlations,
                            seed=seed, start_kind=kind, exchange=exchange, refine=refine)
    args[0] = options
    flat = options.reshape(-1)
    fast = routine == "LTS" and kind is None and (flat.size < 9 or np.isnan(flat[8]) or int(flat[8]) == 0)
    outcome = session.call(routine, args, progress)
    _engine_failure(outcome)
    warn_log(outcome)
    with_intercept = x is None or intercept is True
    labels = (["Intercept"] if with_intercept else []) + list(names)
    return LmtsResult(outcome, routine, labels, with_intercept, fast)


def lms(y, x=None, *, intercept=True, h=None, nrep=None, seed=None, least_squares=None, tests=None, cutoff=None,
        correlations=None, print_level=0, start=None, start_coefficients=None, exchange=None, opt=None,
        progress=False):
    """Least median of squares regression of y (n values) on the columns of x (n x k; none:
    a robust location of y), with an intercept unless intercept=False.

    h: the rank of the squared residual that is minimized (default (n + p + 1) // 2); nrep:
    random subsets of p observations (default: all when they are few); seed: the random seed;
    least_squares: 'ordinary', 'reweighted' (least squares of the observations of weight 1),
    'both' or 'none' (or the raw option 0-3); tests: True for standard errors, t, p and 95%
    limits of the last least squares fit; cutoff: the reweighting cutoff in robust scales
    (2.5); correlations: True, 'pearson' or 'spearman' to print them; print_level: 0-5, the
    listing's detail; start: p observation numbers (1-based) that replace the search, or
    start_coefficients: p coefficients in the routine's order (intercept last); exchange: 1, 2
    or 3 refines the ten best random subsets (or the start subset) by pairwise exchange,
    robmat's own option position 22 (off by default); opt: a raw
    option vector (NaN elements take the default); a keyword and opt may not set the same
    position; progress: as for robmat.call. Returns an LmtsResult (pandas column names of x
    become its labels)."""
    return _lmts("LMS", y, x, intercept=intercept, h=h, nrep=nrep, seed=seed, least_squares=least_squares,
                 tests=tests, method=None, cutoff=cutoff, correlations=correlations, print_level=print_level,
                 start=start, start_coefficients=start_coefficients, opt=opt, progress=progress,
                 exchange=exchange)


def lts(y, x=None, *, intercept=True, method=None, h=None, nrep=None, seed=None, least_squares=None, tests=None,
        cutoff=None, correlations=None, print_level=0, start=None, start_coefficients=None, exchange=None,
        refine=False, opt=None, progress=False):
    """Least trimmed squares regression of y on the columns of x: the sum of the h smallest
    squared residuals is minimized. method: 'fast' (FAST-LTS, the routine's default: elemental
    starts refined by concentration steps, in random subdatasets when n is large; seed 19
    unless given; no best subset) or 'subsets' (the elemental subset search, as LMS uses).
    refine: True (FAST-LTS only) runs the final concentration steps until the criterion stops
    falling, from more of the kept solutions (robmat's own option position 23; never a worse
    criterion for the same seed, and slower on large data). The other arguments are those of
    robmat.lms (exchange= with method='subsets' or a start). Returns an LmtsResult."""
    return _lmts("LTS", y, x, intercept=intercept, h=h, nrep=nrep, seed=seed, least_squares=least_squares,
                 tests=tests, method=method, cutoff=cutoff, correlations=correlations, print_level=print_level,
                 start=start, start_coefficients=start_coefficients, opt=opt, progress=progress,
                 exchange=exchange, refine=refine)


class MveResult(McdResult):
    """The result of robmat.mve: the views of robmat.mcd's result (location, scatter,
    correlation, eigenvalues, mahalanobis, robust_distances, weights, outliers, h, cutoff,
    cutoff_squared), with volume (the criterion of the best subset) in place of the MCD's
    determinant and without the raw MCD views.

    summary (7,): h, subsets tried, singular subsets, observations of weight 1, criterion
    (volume), distance scale, cutoff. estimates ((p+2, p) or (2p+2, p)): location, the
    eigenvalues of the scatter, scatter, and the correlations when asked for. distances (3, n):
    classical Mahalanobis distances, robust distances, weights. NaN is missing."""

    @property
    def volume(self):
        return float(self.summary[4])

    @property
    def determinant(self):
        raise AttributeError("an MVE result has no determinant; its criterion is volume")

    def _raw_parts(self):
        raise AttributeError("an MVE result has no raw MCD estimates (raw_location, raw_scatter, support)")

    def __repr__(self):
        n = self.n
        zero = [i + 1 for i in range(n) if self.distances[2][i] == 0]
        shown = ", ".join(map(str, zero[:20])) + (", ..." if len(zero) > 20 else "")
        location = ", ".join(f"{k}={v:.6g}" for k, v in zip(self.variables, self.estimates[0]))
        return (f"<robmat.MveResult n={n} p={self.p} h={self.h} volume={self.volume:.6g} "
                f"cutoff={self.cutoff:.6g}\n  location: {location}\n"
                f"  weight 0: {len(zero)} observation(s){': ' + shown if zero else ''}>")


def mve(x, *, h=None, nrep=None, seed=None, cutoff=None, print_level=0, correlations=False, start=None,
        exchange=None, opt=None, progress=False):
    """Minimum volume ellipsoid location and scatter of the rows of x (n x p; a 1-D input is
    one variable), from subsets of p + 1 observations, with reweighting.

    h: observations the ellipsoid must cover (default: the routine's); nrep: subsets to draw;
    seed: the random seed; cutoff: the reweighting cutoff as a distance, as for robmat.mcd;
    print_level: 0-5, the listing's detail; correlations: True to return the correlation
    matrix (or the raw option value 0-3); start: p+1 observation numbers (1-based) of a subset
    to take instead of searching; exchange: 1, 2 or 3 refines the ten best subsets (or the
    start subset) by pairwise exchange, robmat's own option position 22; opt: a raw option
    vector (NaN elements take the default). A keyword and opt may not set the same position;
    progress: as for robmat.call. Returns an MveResult."""
    d = data_matrix(x, "x")
    options = _mcd_options(opt, h, nrep, seed, cutoff, print_level, correlations, exchange, _MVE_POSITIONS)
    vec = options.reshape(-1).tolist()
    args = [options, (d.array, d.columns)]
    if start is not None:
        args.append(vector(start, "start").reshape(-1, 1))
    outcome = session.call("MVE", args, progress)
    _engine_failure(outcome)
    warn_log(outcome)
    cutoff_given = len(vec) >= 11 and vec[10] > 0
    return MveResult(outcome, d, cutoff_given, None)


_with_help(mad, "MAD")
_with_help(mcd, "MCD")
_with_help(lms, "LMS")
_with_help(lts, "LTS")
_with_help(mve, "MVE")
