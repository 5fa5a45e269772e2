"""robmat.mad: every method on the stack loss data against its definition computed by brute
force here (full sorts, all pairwise distances) in the same order of operations, so equal means
bit for bit; NaN as the missing value in and out; the accepted kinds of input. Keyword matching
and short columns are the module's, tested in tests/host."""

import warnings

import numpy as np
import pytest

import robmat


def kth(values, k):
    """k-th smallest, 1-based."""
    return sorted(values)[k - 1]


def median(values):
    n = len(values)
    return kth(values, n // 2 + 1) if n % 2 else (kth(values, n // 2 + 1) + kth(values, n // 2)) * 0.5


def brute_mad(values):
    m = median(values)
    return median([abs(v - m) for v in values])


def brute_sn(values):
    c = [0, 0, 0.743, 1.851, 0.954, 1.351, 0.993, 1.198, 1.005, 1.131]
    n = len(values)
    cn = c[n] if n < 10 else (n / (n - 0.9) if n % 2 else 1.0)
    inner = [kth([abs(xi - xj) for xj in values], n // 2 + 1) for xi in values]  # high median over j
    return (cn * 1.1926) * kth(inner, (n + 1) // 2)  # low median over i


def brute_qn(values):
    c = [0, 0, 0.399, 0.994, 0.512, 0.844, 0.611, 0.857, 0.669, 0.872]
    n = len(values)
    dn = c[n] if n < 10 else (n / (n + 1.4) if n % 2 else n / (n + 3.8))
    d = [abs(values[i] - values[j]) for i in range(n) for j in range(i + 1, n)]
    h = n // 2 + 1
    return (dn * 2.2219) * kth(d, h * (h - 1) // 2)


BRUTE = {"mad": brute_mad, "sn": brute_sn, "qn": brute_qn}


@pytest.mark.parametrize("method", ["mad", "sn", "qn"])
def test_stackloss_equals_definition(stackloss, method):
    got = robmat.mad(stackloss, method)
    assert got.shape == (4,)
    assert got.tolist() == [BRUTE[method](list(stackloss[:, j])) for j in range(4)]


def test_stackloss_normalized(stackloss):
    # The factor is 1/Phi^-1(0.75) = 1.482602218505602, taken as a reciprocal inside the
    # module: one rounding apart from the decimal constant at most.
    got = robmat.mad(stackloss, "nmad")
    np.testing.assert_allclose(got, 1.482602218505602 * robmat.mad(stackloss), rtol=4e-16, atol=0)


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
    assert isinstance(one, float) and one == brute_sn(list(stackloss[:, 3]))
    assert robmat.mad([0.0, 1.0]) == 0.5
    # axis=1 gives one scale per row, axis=None one of all values.
    assert robmat.mad(stackloss[:4], axis=1).tolist() == [brute_mad(list(row)) for row in stackloss[:4]]
    assert robmat.mad(stackloss, "qn", axis=None) == brute_qn(list(stackloss.reshape(-1)))


def test_nan_is_skipped_per_column(stackloss):
    x = stackloss.copy()
    x[::3, 1] = np.nan
    got = robmat.mad(x, "qn")
    assert got[1] == brute_qn([v for i, v in enumerate(stackloss[:, 1]) if i % 3])
    assert got[0] == brute_qn(list(stackloss[:, 0]))
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
