"""What every routine's Python function shares: the input as an array with its names (pandas
in, pandas out when the input was pandas), checks of keyword values before the call, the option
vector built from keywords, warnings that reach the user, and the parts of a result found in
the printed output objects. A new routine's function uses these instead of its own copies."""

import json as _json
import numbers
import warnings

import numpy as np


class RobmatWarning(UserWarning):
    """A warning (or, for routines that print nothing, a note) that a routine or the host logged
    about a call: an option that was changed or ignored, an unusual outcome."""


def warn_log(outcome, notes=False, stacklevel=3):
    """Every warning of the call's log as a RobmatWarning (and its notes when `notes`)."""
    for severity, text in outcome.log:
        if severity == "warning" or (notes and severity == "note"):
            warnings.warn(text, RobmatWarning, stacklevel=stacklevel)


class Data:
    """An input as a float array, with what names it came with: columns (a list of str, or
    None), index (the pandas index of the rows, or None) and pandas (True for a DataFrame or a
    Series, whose results then come back as pandas objects)."""

    def __init__(self, array, columns=None, index=None, pandas=False):
        self.array = array
        self.columns = columns
        self.index = index
        self.pandas = pandas


def numeric_array(x, what):
    """x as a float array with its names (a pandas DataFrame or Series), or TypeError."""
    columns = index = None
    pandas = False
    if hasattr(x, "to_numpy") and hasattr(x, "columns") and hasattr(x, "index"):  # DataFrame, without pandas
        columns = [str(c) for c in x.columns]
        index, pandas = x.index, True
        x = x.to_numpy()
    elif hasattr(x, "to_numpy") and hasattr(x, "name") and hasattr(x, "index"):  # a Series
        columns = None if x.name is None else [str(x.name)]
        index, pandas = x.index, True
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
    return Data(a.astype(np.float64), columns, index, pandas)


def data_matrix(x, what):
    """A 2-D input as it is; a 1-D input is one column (one variable)."""
    d = numeric_array(x, what)
    if d.array.ndim == 1:
        d.array = d.array.reshape(-1, 1)
    elif d.array.ndim != 2:
        raise ValueError(f"{what} must be a 1-D or 2-D array, not {d.array.ndim}-D")
    return d


def vector(x, what):
    a = numeric_array(x, what).array
    if a.ndim == 0:
        a = a.reshape(1)
    elif a.ndim == 2 and 1 in a.shape:
        a = a.reshape(-1)
    elif a.ndim != 1:
        raise ValueError(f"{what} must be a vector, not an array of shape {a.shape}")
    return a


def number(name, value):
    """A real number given as a keyword, or TypeError."""
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"{name} must be a number, not {type(value).__name__}")
    return float(value)


def whole_number(name, value, lo=None, hi=None, meaning=""):
    """A whole number given as a keyword (an integral float such as 60.0 is one), within [lo, hi]
    when given; TypeError or ValueError that says what is allowed."""
    v = number(name, value)
    allowed = (f"from {lo} to {hi}" if lo is not None and hi is not None
               else f"of at least {lo}" if lo is not None else f"of at most {hi}" if hi is not None else "")
    if meaning:
        allowed = (allowed + " " + meaning).strip()
    outside = (lo is not None and v < lo) or (hi is not None and v > hi)
    if not np.isfinite(v) or v != np.floor(v) or outside:
        raise ValueError(f"{name} must be a whole number{' ' + allowed if allowed else ''}, not {value!r}")
    return v


def option_vector(opt, given):
    """The option vector: opt (a raw vector, NaN elements take defaults) with the keyword
    values `given` ({position: value}) set; a position set both ways is a ValueError."""
    vec = [] if opt is None else list(vector(opt, "opt"))
    for pos, (name, value) in given.items():
        if pos <= len(vec) and not np.isnan(vec[pos - 1]):
            raise ValueError(f"option {pos} is given twice: as {name}= and in opt")
        vec.extend([np.nan] * (pos - len(vec)))
        vec[pos - 1] = value
    return np.array(vec, dtype=np.float64).reshape(1, -1) if vec else np.empty((0, 0))


def labelled(values, labels, data, as_frame_of=None):
    """A result vector (or, with as_frame_of, matrix) as the caller's kind: a pandas Series
    (DataFrame) labelled by `labels` when the input was pandas, else the array itself."""
    if not data.pandas:
        return values
    import pandas as pd  # the input was pandas, so pandas is there
    if as_frame_of is not None:
        return pd.DataFrame(values, index=labels, columns=as_frame_of)
    return pd.Series(values, index=labels)


def printed_objects(json_text, names):
    """The matrices named in `names` among the output objects of a call's JSON, as arrays (NaN
    for missing), by name; the last one of each name wins."""
    found = {}
    for obj in _json.loads(json_text):
        if obj.get("type") == "matrix" and obj.get("name") in names:
            rows = [[np.nan if v is None else float(v) for v in row] for row in obj["data"]]
            found[obj["name"]] = np.array(rows, dtype=np.float64).reshape(obj["rows"], obj["cols"])
    return found
