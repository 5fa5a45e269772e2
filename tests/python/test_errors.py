"""Every way a call can fail: wrong types and shapes (refused before the module is called), a
front end's status, an xexit, an engine failure that leaves every result missing, a module or
host library that cannot be loaded. After each one the interpreter and the session go on."""

import os
import subprocess
import sys

import numpy as np
import pytest

import robmat
from robmat._capi import Outcome
from robmat._routines import _engine_failure

from conftest import mcd_or_skip


@pytest.fixture(autouse=True)
def session_still_works():
    yield
    assert robmat.mad([1.0, 2.0, 4.0]).tolist() == [1.0]


@pytest.mark.parametrize("bad, error", [
    ("text", TypeError),
    (b"bytes", TypeError),
    ([[1.0, "a"]], TypeError),
    ([[1.0, object()]], TypeError),
    (np.array([1 + 2j]), TypeError),
    (np.zeros((2, 2, 2)), ValueError),
    (np.float64(3.0), ValueError),
])
def test_mad_bad_input_refused_before_the_call(bad, error):
    with pytest.raises(error):
        robmat.mad(bad)


@pytest.mark.parametrize("method", [3, None, b"mad", ["mad"]])
def test_mad_method_must_be_text(method):
    with pytest.raises(TypeError, match="method"):
        robmat.mad([1.0, 2.0], method)


def test_mad_front_end_statuses():
    with pytest.raises(robmat.RoutineError, match="keyword") as e:
        robmat.mad([1.0, 2.0], "nmadnmadx")  # nine characters: refused, not truncated
    assert (e.value.status, e.value.code, e.value.routine) == (19, 0, "MAD")
    with pytest.raises(robmat.RoutineError, match="shape") as e:
        robmat.mad(np.empty((0, 3)))
    assert e.value.status == 6
    assert isinstance(e.value, robmat.Error)


def test_refused_call_is_an_error_not_a_routine_error():
    with pytest.raises(robmat.Error, match="NOSUCH") as e:
        robmat.call("NOSUCH", [1.0])
    assert not isinstance(e.value, robmat.RoutineError)
    with pytest.raises(robmat.Error, match="numeric matrix"):
        robmat.call("MAD", "text")


def test_mcd_options_refused_before_the_call():
    x = np.arange(12.0).reshape(6, 2)
    with pytest.raises(ValueError, match="option 4"):
        robmat.mcd(x, h=4, opt=[0, 0, 0, 5])
    with pytest.raises(ValueError, match="option 20"):
        robmat.mcd(x, seed=1, opt=[np.nan] * 19 + [3])
    with pytest.raises(ValueError, match="option 1"):
        robmat.mcd(x, print_level=1, opt=[0])
    with pytest.raises(ValueError, match="option 3"):
        robmat.mcd(x, correlations=True, opt=[0, 0, 1])
    with pytest.raises(TypeError, match="h"):
        robmat.mcd(x, h="4")
    with pytest.raises(TypeError, match="seed"):
        robmat.mcd(x, seed=True)
    with pytest.raises(ValueError, match="opt"):
        robmat.mcd(x, opt=np.zeros((2, 2)))
    with pytest.raises(ValueError, match="start"):
        robmat.mcd(x, start=np.ones((3, 3)))
    with pytest.raises(ValueError, match="x"):
        robmat.mcd(np.zeros((2, 2, 2)))
    with pytest.raises(TypeError, match="x"):
        robmat.mcd("x")


def test_mcd_front_end_statuses(hbk_x):
    x = hbk_x.copy()
    x[5, 1] = np.nan
    with pytest.raises(robmat.RoutineError) as e:
        mcd_or_skip(x)
    assert e.value.status == 17
    with pytest.raises(robmat.RoutineError) as e:
        mcd_or_skip(hbk_x, start=[1, 2, 3])  # p + 1 = 4 numbers are needed
    assert e.value.status == 6
    with pytest.raises(robmat.RoutineError) as e:
        mcd_or_skip(hbk_x, start=[1, 2, 3, 76])
    assert e.value.status == 6
    assert any(s == "error" for s, _ in e.value.log)


def test_engine_failure_rule():
    # A routine that returned normally, left every result missing and logged an error failed.
    nan = np.full((2, 2), np.nan)
    failed = Outcome("MCD", [nan, nan, nan], [("note", "n"), ("error", "the engine gave up")], "", "[]")
    with pytest.raises(robmat.RoutineError, match="the engine gave up") as e:
        _engine_failure(failed)
    assert (e.value.status, e.value.code) == (0, 0) and e.value.log == failed.log
    # Without an error in the log, or with one value present, the results stand.
    _engine_failure(Outcome("MCD", [nan, nan, nan], [("note", "n")], "", "[]"))
    partly = nan.copy()
    partly[0, 0] = 1.0
    _engine_failure(Outcome("MCD", [nan, partly, nan], [("error", "e")], "", "[]"))


def run_python(code, **env):
    full = dict(os.environ)
    full.update(env)
    return subprocess.run([sys.executable, "-c", code], env=full, capture_output=True, text=True, timeout=120)


@pytest.mark.skipif(not os.environ.get("ROBMAT_TESTMOD"), reason="the test module's path is not set")
def test_xexit_becomes_routine_error():
    code = """
import robmat
try:
    robmat.call("BYE", [[1.0]])
except robmat.RoutineError as e:
    print(e.status, e.code, e.log)
print(robmat.call("THREE", [[2.0]]).results[2].tolist())
"""
    r = run_python(code, ROBMAT_MODULE=os.environ["ROBMAT_TESTMOD"])
    assert r.returncode == 0, r.stderr
    lines = r.stdout.splitlines()
    assert lines[0] == "-1 9999 [('error', 'bye is leaving with 9999')]"
    assert lines[1] == "[[6.0]]"


def test_module_that_does_not_load():
    code = """
import robmat
for _ in range(2):
    try:
        robmat.mad([1.0, 2.0])
    except robmat.Error as e:
        print(type(e).__name__, e)
"""
    r = run_python(code, ROBMAT_MODULE="/nonexistent/librobmat.so")
    assert r.returncode == 0, r.stderr
    lines = r.stdout.splitlines()
    assert len(lines) == 2 and all(line.startswith("Error robmat: the module could not be opened") for line in lines)


def test_host_library_not_found():
    r = run_python("import robmat", ROBMAT_HOST_LIB="/nonexistent/librobmat_host.so")
    assert r.returncode != 0
    assert "ImportError" in r.stderr and "scripts/test" in r.stderr
