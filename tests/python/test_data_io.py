"""Data in and results out, the same through the robmat program (the language), the C API
(whose outcome the package reads) and Python: non-finite values, one verdict on failure,
warnings that reach the user, names on results (read_csv -> MCD -> write_csv, and pandas), and
the cutoff as a distance."""

import os
import subprocess
import warnings

import numpy as np
import pytest

import robmat
from conftest import DATA, read_csv

PROGRAM = os.environ.get("ROBMAT_PROGRAM")
TESTMOD = os.environ.get("ROBMAT_TESTMOD")
needs_program = pytest.mark.skipif(not PROGRAM, reason="the robmat program's path is not set")


def run_program(statements, module=None, cwd=None):
    args = [PROGRAM] + (["--module", module] if module else []) + ["-e", statements]
    return subprocess.run(args, capture_output=True, text=True, timeout=120, cwd=cwd)


def hbk():
    return read_csv("hbk.csv")[:, :3]


def language(a):
    """A matrix as a literal of the language (NaN and Inf by their words)."""
    def cell(v):
        return "NaN" if np.isnan(v) else ("Inf" if v > 0 else "-Inf") if np.isinf(v) else repr(float(v))
    return "[" + "; ".join(" ".join(cell(v) for v in row) for row in np.atleast_2d(a)) + "]"


# ---- non-finite values ------------------------------------------------------------------
X = hbk()[:10]
X_INF = X.copy()
X_INF[3, 1] = np.inf
X_NAN = X.copy()
X_NAN[2, 2] = np.nan

# name, routine, arguments, expected: a number (the value of MAD) or (exception, message)
NONFINITE = [
    ("NaN first", "MAD", [np.array([[np.nan], [2.0], [5.0]])], 1.5),
    ("NaN between", "MAD", [np.array([[2.0], [np.nan], [5.0]])], 1.5),
    ("NaN last", "MAD", [np.array([[2.0], [5.0], [np.nan]])], 1.5),
    ("Inf in MAD", "MAD", [np.array([[2.0], [np.inf], [5.0]])],
     (robmat.Error, "Argument 1 (x) of MAD holds Inf at row 2, column 1; MAD needs finite values")),
    ("Inf in MCD", "MCD", [np.empty((0, 0)), X_INF],
     (robmat.Error, "Argument 2 (x) of MCD holds Inf at row 4, column 2")),
    ("-Inf option", "MCD", [np.array([[0.0, -np.inf]]), X],
     (robmat.Error, "Argument 1 (opt) of MCD holds -Inf at row 1, column 2")),
    ("NaN in MCD", "MCD", [np.empty((0, 0)), X_NAN],
     (robmat.RoutineError, "Argument 2 (x) of MCD holds a missing value at row 3, column 3, where MCD allows none")),
]


@pytest.mark.parametrize("name, routine, args, expected", NONFINITE, ids=[c[0] for c in NONFINITE])
def test_nonfinite_values_same_everywhere(name, routine, args, expected):
    if isinstance(expected, tuple):
        error, message = expected
        with pytest.raises(error) as e:
            robmat.call(routine, *args)
        assert message in str(e.value)
    else:
        assert robmat.call(routine, *args).results[0][0, 0] == expected
    if not PROGRAM:
        return
    literal = ", ".join("[]" if a.size == 0 else language(a) for a in args)
    r = run_program(f"v = {routine}({literal}); disp(v(1))")
    if isinstance(expected, tuple):
        assert r.returncode == 1 and message in r.stderr, r.stderr
    else:
        assert r.returncode == 0 and r.stdout.strip() == "1.5", r.stderr


# ---- one verdict on failure ----------------------------------------------------------------
# name, statements of the language, Python call, module (None: robmat's), expected message
FAILURES = [
    ("n <= p", "MCD([1], [1 2; 3 4])", lambda: robmat.mcd([[1, 2], [3, 4]]), None,
     "There must be more observations than variables."),
    ("no rows", "MCD([], zeros(0, 3))", lambda: robmat.mcd(np.zeros((0, 3))), None, "is empty (0 x 3)"),
    ("no columns", "MCD([], zeros(3, 0))", lambda: robmat.mcd(np.zeros((3, 0))), None, "is empty (3 x 0)"),
    ("MAD of nothing", "MAD(zeros(0, 2))", lambda: robmat.mad(np.zeros((0, 2))), None, "is empty (0 x 2)"),
    ("start beyond n", "MCD([], [1 2; 2 1; 3 5; 4 3], [1 2 9])",
     lambda: robmat.mcd([[1, 2], [2, 1], [3, 5], [4, 3]], start=[1, 2, 9]), None, "start subset"),
    ("bad option 16", "MCD([0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 -1], [1 2; 2 1; 3 5; 4 3])",
     lambda: robmat.mcd([[1, 2], [2, 1], [3, 5], [4, 3]], opt=[np.nan] * 15 + [-1]), None, "Option 16"),
    ("engine failure", "GIVEUP([1])", lambda: robmat.call("GIVEUP", [1.0]), "testmod", "The engine gave up."),
]


@pytest.mark.parametrize("name, statements, python, module, message", FAILURES, ids=[c[0] for c in FAILURES])
def test_a_failed_call_fails_everywhere(name, statements, python, module, message):
    if module == "testmod":
        if not TESTMOD:
            pytest.skip("the test module's path is not set")
        code = f"import robmat\ntry:\n    robmat.call('GIVEUP', [1.0])\nexcept robmat.RoutineError as e:\n" \
               f"    print(e.status, e.engine_failed, e)\n"
        env = dict(os.environ, ROBMAT_MODULE=TESTMOD)
        out = subprocess.run(["/usr/bin/python3", "-c", code], env=env, capture_output=True, text=True, timeout=60)
        assert out.stdout.startswith("0 True The routine GIVEUP failed: " + message), out.stderr
    else:
        with pytest.raises(robmat.Error) as e:
            python()
        assert message in str(e.value)
    if PROGRAM:
        r = run_program(statements + "; disp(1)", module=TESTMOD if module else None)
        assert r.returncode == 1 and message in r.stderr and r.stdout == "", (r.stdout, r.stderr)


# ---- warnings reach the user ---------------------------------------------------------------
WARNINGS = [
    ("h clamped", dict(opt=[np.nan, np.nan, np.nan, 60]), "The value of h must lie between 38 and 57"),
    ("fraction for an integer option", dict(opt=[0.5]), "Option 1 of MCD (the print level) is 0.5"),
    ("unused option", dict(opt=[0, 0, 0, 0, 0, 3]), "Option 6 of MCD is not used"),
    ("start ignored", dict(start=[1, 2, 3, 4]), "does not use a start subset"),
    ("zero scale", dict(scale=1e-13), "MAD of X1 is"),
    ("no observation within the cutoff", dict(opt=[0] * 10 + [1e-300]), "No observation lies within the cutoff"),
]


@pytest.mark.parametrize("name, kwargs, text", WARNINGS, ids=[c[0] for c in WARNINGS])
def test_warnings_reach_python(name, kwargs, text):
    pd = pytest.importorskip("pandas") if "scale" in kwargs else None
    x = hbk()
    if pd is not None:
        x = pd.DataFrame(x * kwargs.pop("scale"), columns=["X1", "X2", "X3"])
    with pytest.warns(robmat.RobmatWarning, match=None) as caught:
        r = robmat.mcd(x, **kwargs)
    assert any(text in str(w.message) for w in caught), [str(w.message) for w in caught]
    if name == "no observation within the cutoff":
        assert np.isnan(r.estimates).all() and (r.weights == 0).all() and r.summary[3] == 75


# ---- names -----------------------------------------------------------------------------------
@pytest.mark.skipif(not PROGRAM, reason="the robmat program's path is not set")
def test_names_round_trip_through_read_csv_mcd_write_csv(tmp_path):
    (tmp_path / "data").symlink_to(DATA)
    r = run_program('d = read_csv("data/hbk.csv"); [sc, est, dist] = MCD([], d(:, 1:3)); '
                    'write_csv(est, "est.csv"); write_csv(sc, "sc.csv"); write_csv([d(:, 1:3), dist(3, :)\'], "w.csv"); '
                    'e = read_csv("est.csv"); disp(colnames(e))', cwd=tmp_path)
    assert r.returncode == 0, r.stderr
    assert r.stdout.strip() == "X1,X2,X3"
    est = (tmp_path / "est.csv").read_text().splitlines()
    assert est[0] == '"",X1,X2,X3' and est[1].startswith('"location",') and est[3].startswith('"X1",')
    assert [line.split(",")[0] for line in (tmp_path / "sc.csv").read_text().splitlines()[1:]] == [
        '"h"', '"subsets"', '"nonsingular"', '"outliers"', '"determinant"', '"distance_scale"', '"cutoff"']
    assert (tmp_path / "w.csv").read_text().splitlines()[0] == "X1,X2,X3,weight"


def test_names_in_and_out_through_pandas():
    pd = pytest.importorskip("pandas")
    frame = pd.read_csv(DATA / "hbk.csv").iloc[:, :3]
    frame.index = [f"obs{i + 1}" for i in range(len(frame))]
    r = robmat.mcd(frame)
    assert list(r.location.index) == ["X1", "X2", "X3"] and r.names == ["X1", "X2", "X3"] and "X1=" in repr(r)
    assert list(r.scatter.columns) == ["X1", "X2", "X3"] and list(r.scatter.index) == ["X1", "X2", "X3"]
    assert r.outliers.index[0] == "obs1" and r.outliers[:14].all() and not r.outliers[14:].any()
    assert r.weights.dtype == np.float64 and r.robust_distances.shape == (75,)
    numpy_result = robmat.mcd(frame.to_numpy())
    assert np.array_equal(numpy_result.location, r.location.to_numpy())


# ---- the MCD result as a scikit-learn or R user reads it --------------------------------------
def test_raw_estimates_support_and_cutoff_round_trip():
    x = hbk()
    r = robmat.mcd(x)
    support = r.support
    assert support.dtype == bool and support.sum() == r.h == 39 and not support[:14].any()
    # The raw location is the mean of the best subset; the raw scatter its covariance times the
    # consistency factor (a positive multiple).
    np.testing.assert_allclose(r.raw_location, x[support].mean(axis=0), rtol=1e-13)
    ratio = r.raw_scatter / np.cov(x[support].T)
    np.testing.assert_allclose(ratio, ratio[0, 0], rtol=1e-12)
    # The determinant is the raw criterion: of the covariance of the best subset.
    np.testing.assert_allclose(r.determinant, np.linalg.det(np.cov(x[support].T)), rtol=1e-12)
    # The cutoff is a distance both ways.
    assert r.cutoff == pytest.approx(np.sqrt(9.348403604496145), rel=1e-15)
    again = robmat.mcd(x, cutoff=r.cutoff)
    assert np.array_equal(again.weights, r.weights) and again.cutoff == pytest.approx(r.cutoff, rel=1e-15)
    assert np.array_equal(r.outliers, r.robust_distances > r.cutoff)


def test_outcome_repr_names_its_results():
    text = repr(robmat.call("MCD", np.empty((0, 0)), hbk()))
    assert "result 1: 7 x 1 rows h, subsets" in text and "result 3: 3 x 75 rows mahalanobis, robust, weight" in text
