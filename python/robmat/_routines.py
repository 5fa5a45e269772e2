"""The routines over numpy arrays: conversion of the arguments, keyword options onto option
vector positions, and result objects with named views of the result rows. Shapes and types are
checked here only as far as numpy needs them; everything the routine itself checks (sizes,
ranges, missing values) is left to it, so there is one authority for each rule."""

import numbers
import warnings

import numpy as np

from ._capi import RoutineError, help_text, session


class RobmatWarning(UserWarning):
    """A note or warning that a routine logged while computing its result."""


def _numeric_array(x, what):
    """x as a float array with its column names (pandas DataFrame or Series), or TypeError."""
    names = None
    if hasattr(x, "to_numpy") and hasattr(x, "columns"):  # a DataFrame, without importing pandas
        names = [str(c) for c in x.columns]
        x = x.to_numpy()
    elif hasattr(x, "to_numpy") and hasattr(x, "name") and hasattr(x, "index"):  # a Series
        names = None if x.name is None else [str(x.name)]
        x = x.to_numpy()
    if isinstance(x, (str, bytes)):
        raise TypeError(f"{what} must be numeric, not a string")
    try:
        a = np.asarray(x)
    except Exception as e:  # ragged lists and the like
        raise TypeError(f"{what} could not be read as a numeric array: {e}") from e
    if a.dtype.kind == "O":
        try:
            a = a.astype(np.float64)
        except (TypeError, ValueError) as e:
            raise TypeError(f"{what} must be numeric: {e}") from e
    if a.dtype.kind not in "biuf":
        raise TypeError(f"{what} must be numeric, not of type {a.dtype}")
    return a.astype(np.float64), names


def _data_matrix(x, what):
    """A 1-D input is one column (one variable)."""
    a, names = _numeric_array(x, what)
    if a.ndim == 1:
        a = a.reshape(-1, 1)
    elif a.ndim != 2:
        raise ValueError(f"{what} must be a 1-D or 2-D array, not {a.ndim}-D")
    return a, names


def _vector(x, what):
    a, _ = _numeric_array(x, what)
    if a.ndim == 0:
        a = a.reshape(1)
    elif a.ndim == 2 and 1 in a.shape:
        a = a.reshape(-1)
    elif a.ndim != 1:
        raise ValueError(f"{what} must be a vector, not an array of shape {a.shape}")
    return a


def _engine_failure(outcome):
    """Raises RoutineError when the host found that the routine's engine failed."""
    if outcome.engine_failed:
        errors = [t for s, t in outcome.log if s == "error"]
        raise RoutineError(f"The routine {outcome.routine} failed: " + " ".join(errors), outcome.routine, 0, 0,
                           outcome.log)


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


def mad(x, method="mad", *, progress=False):
    """Robust scale of each column of x (a 1-D input is one column), over its non-missing
    values. method: "mad" (raw median absolute deviation), "nmad" (normalized to the standard
    deviation at the normal), "sn" or "qn" (Rousseeuw and Croux); case does not matter.
    Returns a 1-D array with one scale per column: NaN for a column without values, 0 for a
    column with one value."""
    if not isinstance(method, str):
        raise TypeError(f"method must be a string such as 'mad', 'nmad', 'sn' or 'qn', not {type(method).__name__}")
    a, names = _data_matrix(x, "x")
    outcome = session.call("MAD", [(a, names), method], progress)
    _engine_failure(outcome)
    for severity, text in outcome.log:
        warnings.warn(text, RobmatWarning, stacklevel=2)
    return outcome.results[0].reshape(-1)


# MCD option vector positions of the keyword options; MVE has the same ones and the exchange
# refinement, robmat's own option position 22.
_MCD_POSITIONS = {"print_level": 1, "correlations": 3, "h": 4, "nrep": 5, "cutoff": 11, "seed": 20}
_MVE_POSITIONS = dict(_MCD_POSITIONS, exchange=22)


def _option_number(name, value):
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"{name} must be a number, not {type(value).__name__}")
    return float(value)


def _option_vector(opt, given):
    """The raw option vector opt (None: empty) with the positions in `given` ({position: (name,
    value)}) set; a position set both ways is a ValueError. Returns a 1 x k array, or 0 x 0."""
    vec = [] if opt is None else list(_vector(opt, "opt"))
    for pos, (name, _) in given.items():
        if pos <= len(vec) and not np.isnan(vec[pos - 1]):
            raise ValueError(f"option {pos} is given twice: as {name}= and in opt")
    for pos, (_, value) in given.items():
        vec.extend([np.nan] * (pos - len(vec)))
        vec[pos - 1] = value
    return np.array(vec, dtype=np.float64).reshape(1, -1) if vec else np.empty((0, 0))


def _exchange_option(exchange):
    """The value of robmat's option 22 for exchange=, or None when no exchange is asked for."""
    if exchange is None or exchange is False or exchange == 0:
        return None
    if isinstance(exchange, bool) or exchange not in (1, 2, 3):
        raise ValueError(f"exchange must be 1, 2 or 3 (or 0 / None for no exchange), not {exchange!r}")
    return float(exchange)


def _mcd_options(opt, h, nrep, seed, cutoff, print_level, correlations, exchange=None, positions=_MCD_POSITIONS):
    given = {}
    for name, value in (("h", h), ("nrep", nrep), ("seed", seed), ("cutoff", cutoff)):
        if value is not None:
            given[positions[name]] = (name, _option_number(name, value))
    if _exchange_option(exchange) is not None:
        given[positions["exchange"]] = ("exchange", _exchange_option(exchange))
    if print_level != 0:
        given[1] = ("print_level", _option_number("print_level", print_level))
    if correlations is not False and correlations is not None:
        if correlations is True:
            # Returned and printed when anything is printed, returned only otherwise.
            base = [] if opt is None else list(_vector(opt, "opt"))
            level = given[1][1] if 1 in given else (base[0] if base and not np.isnan(base[0]) else 0)
            value = 3.0 if level > 0 else 2.0
        else:
            value = _option_number("correlations", correlations)
        given[3] = ("correlations", value)
    return _option_vector(opt, given)


class McdResult:
    """The result of robmat.mcd.

    summary (7,): h, subsets drawn, nonsingular subsets, observations of weight 0, criterion
    (determinant), distance scale, cutoff. estimates ((p+2, p) or (2p+2, p)): location, p
    further values of the engine, scatter, and the correlations when asked for. distances
    (3, n): classical Mahalanobis distances, robust distances, weights. NaN is missing."""

    def __init__(self, outcome, names):
        self.summary = outcome.results[0].reshape(-1)
        self.estimates = outcome.results[1]
        self.distances = outcome.results[2]
        self.log = outcome.log
        self.listing = outcome.listing
        self.json = outcome.json
        self.names = names

    @property
    def p(self):
        return self.estimates.shape[1]

    @property
    def location(self):
        return self.estimates[0]

    @property
    def scatter(self):
        return self.estimates[2:self.p + 2]

    @property
    def correlation(self):
        p = self.p
        return self.estimates[p + 2:2 * p + 2] if self.estimates.shape[0] == 2 * p + 2 else None

    @property
    def mahalanobis(self):
        return self.distances[0]

    @property
    def robust_distances(self):
        return self.distances[1]

    @property
    def weights(self):
        return self.distances[2]

    @property
    def h(self):
        v = self.summary[0]
        return int(v) if np.isfinite(v) else None

    @property
    def determinant(self):
        return float(self.summary[4])

    @property
    def cutoff(self):
        return float(self.summary[6])

    def __repr__(self):
        n = self.distances.shape[1]
        names = self.names or [f"VAR{j + 1}" for j in range(self.p)]
        zero = [i + 1 for i in range(n) if self.weights[i] == 0]
        shown = ", ".join(map(str, zero[:20])) + (", ..." if len(zero) > 20 else "")
        location = ", ".join(f"{k}={v:.6g}" for k, v in zip(names, self.location))
        return (f"<robmat.McdResult n={n} p={self.p} h={self.h} determinant={self.determinant:.6g} "
                f"cutoff={self.cutoff:.6g}\n  location: {location}\n"
                f"  weight 0: {len(zero)} observation(s){': ' + shown if zero else ''}>")


def mcd(x, *, h=None, nrep=None, seed=None, cutoff=None, print_level=0, correlations=False, start=None,
        opt=None, progress=False):
    """Minimum covariance determinant location and scatter of the rows of x (n x p; a 1-D
    input is one variable), by FAST-MCD with reweighting.

    h: observations in the best subset (default: the routine's); nrep: subsets to draw; seed:
    the random seed; cutoff: reweighting cutoff, compared with the squared robust distances;
    print_level: 0-5, the listing's detail; correlations: True to return the correlation
    matrix (or the raw option value 0-3); start: p+1 observation numbers (1-based) of a start
    subset; opt: a raw option vector (NaN elements take the default). A keyword and opt may
    not set the same position; progress: as for robmat.call. Returns an McdResult."""
    a, names = _data_matrix(x, "x")
    options = _mcd_options(opt, h, nrep, seed, cutoff, print_level, correlations)
    args = [options, (a, names)]
    if start is not None:
        args.append(_vector(start, "start").reshape(-1, 1))
    outcome = session.call("MCD", args, progress)
    _engine_failure(outcome)
    return McdResult(outcome, names)


# LMS and LTS option vector positions of the keyword options.
_LMTS_POSITIONS = {"intercept": 1, "print_level": 2, "least_squares": 3, "h": 4, "nrep": 5, "tests": 8,
                   "method": 9, "cutoff": 11, "correlations": 14, "generator": 19, "seed": 20, "exchange": 22}
_LEAST_SQUARES = {None: None, False: None, "none": 0, "reweighted": 1, "ordinary": 2, "both": 3}
_LTS_METHODS = {"fast": 0, "subsets": 1}


def _lmts_options(opt, *, intercept, print_level, least_squares, h, nrep, tests, method, cutoff, correlations,
                  seed, start_kind, exchange=None):
    given = {}
    if intercept is not True:
        if not isinstance(intercept, bool):
            raise TypeError(f"intercept must be True or False, not {type(intercept).__name__}")
        given[1] = ("intercept", 1.0)
    if print_level != 0:
        given[2] = ("print_level", _option_number("print_level", print_level))
    if isinstance(least_squares, str) or least_squares is None or least_squares is False:
        if least_squares not in _LEAST_SQUARES:
            raise ValueError("least_squares must be 'reweighted', 'ordinary', 'both' or 'none', not "
                             f"{least_squares!r}")
        code = _LEAST_SQUARES[least_squares]
    elif least_squares is True:
        code = 3
    else:
        code = _option_number("least_squares", least_squares)
    if code is not None:
        given[3] = ("least_squares", float(code))
    for name, value in (("h", h), ("nrep", nrep), ("cutoff", cutoff), ("seed", seed)):
        if value is not None:
            given[_LMTS_POSITIONS[name]] = (name, _option_number(name, value))
    if tests is not None and tests is not False:
        given[8] = ("tests", 1.0 if tests is True else _option_number("tests", tests))
    if method is not None:
        if method not in _LTS_METHODS:
            raise ValueError(f"method must be 'fast' or 'subsets', not {method!r}")
        given[9] = ("method", float(_LTS_METHODS[method]))
    if correlations is not None and correlations is not False:
        value = {True: 3.0, "pearson": 1.0, "spearman": 2.0, "both": 3.0}.get(correlations)
        given[14] = ("correlations", value if value is not None else _option_number("correlations", correlations))
    if start_kind == "coefficients":
        given[7] = ("start_coefficients", 1.0)
    if _exchange_option(exchange) is not None:
        given[22] = ("exchange", _exchange_option(exchange))
    return _option_vector(opt, given)


class LmtsResult:
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
          print_level, start, start_coefficients, opt, progress, exchange=None):
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
                            seed=seed, start_kind=kind, exchange=exchange)
    args[0] = options
    flat = options.reshape(-1)
    fast = routine == "LTS" and kind is None and (flat.size < 9 or np.isnan(flat[8]) or int(flat[8]) == 0)
    outcome = session.call(routine, args, progress)
    _engine_failure(outcome)
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
        cutoff=None, correlations=None, print_level=0, start=None, start_coefficients=None, exchange=None, opt=None,
        progress=False):
    """Least trimmed squares regression of y on the columns of x: the sum of the h smallest
    squared residuals is minimized. method: 'fast' (FAST-LTS, the routine's default: elemental
    starts refined by concentration steps, in random subdatasets when n is large; seed 19
    unless given; no best subset) or 'subsets' (the elemental subset search, as LMS uses).
    The other arguments are those of robmat.lms (exchange= with method='subsets' or a start).
    Returns an LmtsResult."""
    return _lmts("LTS", y, x, intercept=intercept, h=h, nrep=nrep, seed=seed, least_squares=least_squares,
                 tests=tests, method=method, cutoff=cutoff, correlations=correlations, print_level=print_level,
                 start=start, start_coefficients=start_coefficients, opt=opt, progress=progress,
                 exchange=exchange)


class MveResult(McdResult):
    """The result of robmat.mve.

    summary (7,): h, subsets tried, singular subsets, observations of weight 1, criterion
    (volume), distance scale, cutoff. estimates ((p+2, p) or (2p+2, p)): location, the
    eigenvalues of the scatter, scatter, and the correlations when asked for. distances (3, n):
    classical Mahalanobis distances, robust distances, weights. NaN is missing."""

    @property
    def volume(self):
        return float(self.summary[4])

    @property
    def eigenvalues(self):
        return self.estimates[1]

    def __repr__(self):
        n = self.distances.shape[1]
        names = self.names or [f"VAR{j + 1}" for j in range(self.p)]
        zero = [i + 1 for i in range(n) if self.weights[i] == 0]
        shown = ", ".join(map(str, zero[:20])) + (", ..." if len(zero) > 20 else "")
        location = ", ".join(f"{k}={v:.6g}" for k, v in zip(names, self.location))
        return (f"<robmat.MveResult n={n} p={self.p} h={self.h} volume={self.volume:.6g} "
                f"cutoff={self.cutoff:.6g}\n  location: {location}\n"
                f"  weight 0: {len(zero)} observation(s){': ' + shown if zero else ''}>")


def mve(x, *, h=None, nrep=None, seed=None, cutoff=None, print_level=0, correlations=False, start=None,
        exchange=None, opt=None, progress=False):
    """Minimum volume ellipsoid location and scatter of the rows of x (n x p; a 1-D input is
    one variable), from subsets of p + 1 observations, with reweighting.

    h: observations the ellipsoid must cover (default: the routine's); nrep: subsets to draw;
    seed: the random seed; cutoff: reweighting cutoff, compared with the squared robust
    distances; print_level: 0-5, the listing's detail; correlations: True to return the
    correlation matrix (or the raw option value 0-3); start: p+1 observation numbers
    (1-based) of a subset to take instead of searching; exchange: 1, 2 or 3 refines the ten
    best subsets (or the start subset) by pairwise exchange, robmat's own option position 22;
    opt: a raw option vector (NaN elements take the default). A keyword and opt may not set
    the same position; progress: as for robmat.call. Returns an MveResult."""
    a, names = _data_matrix(x, "x")
    options = _mcd_options(opt, h, nrep, seed, cutoff, print_level, correlations, exchange, _MVE_POSITIONS)
    args = [options, (a, names)]
    if start is not None:
        args.append(_vector(start, "start").reshape(-1, 1))
    outcome = session.call("MVE", args, progress)
    _engine_failure(outcome)
    return MveResult(outcome, names)


_with_help(mad, "MAD")
_with_help(mcd, "MCD")
_with_help(lms, "LMS")
_with_help(lts, "LTS")
_with_help(mve, "MVE")
