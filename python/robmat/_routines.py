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


# MCD option vector positions of the keyword options.
_MCD_POSITIONS = {"print_level": 1, "correlations": 3, "h": 4, "nrep": 5, "cutoff": 11, "seed": 20}


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


def _mcd_options(opt, h, nrep, seed, cutoff, print_level, correlations):
    """The option vector. h is checked by the caller (it needs n and p); cutoff is a distance,
    so option 11, which is compared with squared distances, is its square."""
    given = {}
    if print_level != 0:
        given[1] = ("print_level", whole_number("print_level", print_level, 0, 5))
    if h is not None:
        given[4] = ("h", number("h", h))
    if nrep is not None:
        given[5] = ("nrep", whole_number("nrep", nrep, meaning="(subsets to draw; a negative number: all of them)"))
    if cutoff is not None:
        c = number("cutoff", cutoff)
        if not (c > 0 and np.isfinite(c)):
            raise ValueError(f"cutoff must be a positive distance, not {cutoff!r}")
        given[11] = ("cutoff", c * c)
    if seed is not None:
        given[20] = ("seed", whole_number("seed", seed))
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


class McdResult:
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
    missing."""

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
        start=None, opt=None, progress=False):
    """Minimum covariance determinant location and scatter of the rows of x (n x p; a 1-D
    input is one variable), by FAST-MCD with reweighting.

    h: observations in the best subset, a whole number from n/2 + 1 to 3n/4 + (p+1)/4 (each
    rounded down); or alpha: that number as a fraction in (0.5, 1], as robustbase's alpha
    (0.5 is the default h). nrep: subsets to draw (negative: all of them); seed: the random
    seed. cutoff: the reweighting cutoff as a distance (an observation keeps weight 1 when its
    robust distance is at most this); the default is the square root of the 0.975 chi-square
    quantile with p degrees of freedom. print_level: 0-5, the listing's detail; correlations:
    True to return the correlation matrix (or the raw option value 0-3); start: p+1
    observation numbers (1-based) of a start subset; opt: a raw option vector (NaN elements
    take the default; its option 11 is compared with squared distances). A keyword and opt may
    not set the same position; progress: as for robmat.call. What the routine logs as a
    warning (an option it changed or ignored, an exact fit) is issued as a RobmatWarning.
    Returns an McdResult."""
    d = data_matrix(x, "x")
    n, p = d.array.shape
    hv = _h_of(h, alpha, n, p)
    options = _mcd_options(opt, hv, nrep, seed, cutoff, print_level, correlations)
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


_with_help(mad, "MAD")
_with_help(mcd, "MCD")
