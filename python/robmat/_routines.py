"""The routines over numpy arrays: conversion of the arguments, keyword options onto option
vector positions, and result objects with named views of the result rows. Shapes and types are
checked here only as far as numpy needs them; everything the routine itself checks (sizes,
ranges, missing values) is left to it, so there is one authority for each rule."""

import numbers
import warnings

import numpy as np

from ._capi import RoutineError, help_text, session
from ._plots import PlotsMixin


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


# MCD option vector positions of the keyword options.
_MCD_POSITIONS = {"print_level": 1, "correlations": 3, "h": 4, "nrep": 5, "cutoff": 11, "seed": 20}


def _option_number(name, value):
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"{name} must be a number, not {type(value).__name__}")
    return float(value)


def _mcd_options(opt, h, nrep, seed, cutoff, print_level, correlations):
    vec = [] if opt is None else list(_vector(opt, "opt"))
    given = {}
    if h is not None:
        given["h"] = _option_number("h", h)
    if nrep is not None:
        given["nrep"] = _option_number("nrep", nrep)
    if seed is not None:
        given["seed"] = _option_number("seed", seed)
    if cutoff is not None:
        given["cutoff"] = _option_number("cutoff", cutoff)
    if print_level != 0:
        given["print_level"] = _option_number("print_level", print_level)
    for name in given:
        pos = _MCD_POSITIONS[name]
        if pos <= len(vec) and not np.isnan(vec[pos - 1]):
            raise ValueError(f"option {pos} is given twice: as {name}= and in opt")
    for name, value in given.items():
        pos = _MCD_POSITIONS[name]
        vec.extend([np.nan] * (pos - len(vec)))
        vec[pos - 1] = value
    if correlations is not False and correlations is not None:
        if correlations is True:
            # Returned and printed when anything is printed, returned only otherwise.
            level = vec[0] if vec and not np.isnan(vec[0]) else 0
            value = 3.0 if level > 0 else 2.0
        else:
            value = _option_number("correlations", correlations)
        if len(vec) >= 3 and not np.isnan(vec[2]):
            raise ValueError("option 3 is given twice: as correlations= and in opt")
        vec.extend([np.nan] * (3 - len(vec)))
        vec[2] = value
    return np.array(vec, dtype=np.float64).reshape(1, -1) if vec else np.empty((0, 0))


class McdResult(PlotsMixin):
    """The result of robmat.mcd.

    summary (7,): h, subsets drawn, nonsingular subsets, observations of weight 0, criterion
    (determinant), distance scale, cutoff. estimates ((p+2, p) or (2p+2, p)): location, p
    further values of the engine, scatter, and the correlations when asked for. distances
    (3, n): classical Mahalanobis distances, robust distances, weights. NaN is missing.
    Plots: plot() draws them with matplotlib, plots() gives them as data and SVG, to_html(path)
    writes the report of the call; a notebook shows the pictures."""

    def __init__(self, outcome, names, row_names=None):
        self.summary = outcome.results[0].reshape(-1)
        self.estimates = outcome.results[1]
        self.distances = outcome.results[2]
        self.log = outcome.log
        self.listing = outcome.listing
        self.json = outcome.json
        self.names = names
        self.handle = outcome.handle
        self.row_names = row_names

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


_with_help(mad, "MAD")
_with_help(mcd, "MCD")
