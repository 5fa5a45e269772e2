"""robmat.mad: what the package adds to the routine: the accepted kinds of input, axes, NaN as
the missing value in and out, pandas. Every method against its definition by brute force,
keyword matching and short columns are the module's, tested through the same host in
tests/scale (mad_call_test)."""

import warnings

import numpy as np
import pytest

import robmat


def median(values):
    v = sorted(values)
    n = len(v)
    return v[n // 2] if n % 2 else (v[n // 2] + v[n // 2 - 1]) * 0.5


def brute_mad(values):
    m = median(values)
    return median([abs(v - m) for v in values])


def test_default_method_and_unknown_method(stackloss):
    # Raw MADs of Air.Flow, Water.Temp, Acid.Conc. and stack.loss, by hand from the data.
    assert robmat.mad(stackloss).tolist() == robmat.mad(stackloss, "MAD").tolist() == [4.0, 2.0, 3.0, 4.0]
    with pytest.warns(robmat.RobmatWarning, match="does not specify"):
        assert robmat.mad(stackloss, "s").tolist() == [4.0, 2.0, 3.0, 4.0]


def test_input_kinds(stackloss):
    want = robmat.mad(stackloss).tolist()
    assert robmat.mad(stackloss.astype(np.int32)).tolist() == want
    assert robmat.mad(stackloss.tolist()).tolist() == want
    assert robmat.mad(np.asfortranarray(stackloss)).tolist() == want
    assert robmat.mad(stackloss[::-1, ::-1]).tolist() == want[::-1]
    one = robmat.mad(stackloss[:, 3], "sn")  # 1-D is one sample: a number
    assert isinstance(one, float) and one == robmat.mad(stackloss, "sn")[3]
    assert robmat.mad([0.0, 1.0]) == 0.5
    # axis=1 gives one scale per row, axis=None one of all values.
    assert robmat.mad(stackloss[:4], axis=1).tolist() == [brute_mad(list(row)) for row in stackloss[:4]]
    assert robmat.mad(stackloss, "qn", axis=None) == robmat.mad(stackloss.reshape(-1, 1), "qn")[0]


def test_nan_is_skipped_per_column(stackloss):
    x = stackloss.copy()
    x[::3, 1] = np.nan
    got = robmat.mad(x, "qn")
    # A skipped value is as if the row were not there.
    assert got[1] == robmat.mad(np.delete(stackloss[:, 1], np.s_[::3]), "qn")
    assert got[0] == robmat.mad(stackloss[:, 0], "qn")
    # The caller's array is not changed, and its NaNs stay ordinary NaNs.
    assert np.isnan(x[::3, 1]).all() and np.array_equal(x[1::3], stackloss[1::3])


def test_missing_in_and_out():
    # The module's own missing value, any double whose top 16 bits are all ones, and None.
    patterns = np.array([0xFFFFFE0000000000, 0xFFFF000000000001], dtype=np.uint64).view(np.float64)
    x = np.array([[0.0, 0.0], [1.0, 1.0], [patterns[0], patterns[1]], [9.0, 9.0]])
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        assert robmat.mad(x).tolist() == [1.0, 1.0]
    assert robmat.mad([[0.0, None], [1.0, 1.0], [None, 3.0], [5.0, 4.0]]).tolist() == [1.0, 1.0]
    got = robmat.mad([[np.nan, 1.0]])  # a column without values gives a plain NaN
    assert got.dtype == np.float64 and np.isnan(got[0]) and got[1] == 0.0


def test_pandas_dataframe(stackloss):
    pd = pytest.importorskip("pandas")
    frame = pd.DataFrame(stackloss, columns=["Air.Flow", "Water.Temp", "Acid.Conc.", "stack.loss"])
    got = robmat.mad(frame, "sn")
    assert got.tolist() == robmat.mad(stackloss, "sn").tolist()
    assert got.index.tolist() == list(frame.columns)
    assert robmat.mad(frame["stack.loss"]) == 4.0
