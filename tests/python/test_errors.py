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


@pytest.fixture(autouse=True)
def session_still_works():
    yield
    assert robmat.mad([1.0, 2.0, 4.0]) == 1.0


@pytest.mark.parametrize("args, error, match", [
    (("text",), TypeError, None),
    ((b"bytes",), TypeError, None),
    (([[1.0, "a"]],), TypeError, None),
    (([[1.0, object()]],), TypeError, None),
    ((np.array([1 + 2j]),), TypeError, None),
    ((np.zeros((2, 2, 2)),), ValueError, None),
    ((np.float64(3.0),), ValueError, None),
    (([1.0, 2.0], 3), TypeError, "method"),
    (([1.0, 2.0], None), TypeError, "method"),
    (([1.0, 2.0], b"mad"), TypeError, "method"),
    (([1.0, 2.0], ["mad"]), TypeError, "method"),
])
def test_mad_bad_arguments_refused_before_the_call(args, error, match):
    with pytest.raises(error, match=match):
        robmat.mad(*args)


X6 = np.arange(12.0).reshape(6, 2)


@pytest.mark.parametrize("x, kwargs, error, match", [
    (X6, dict(h=4, opt=[0, 0, 0, 5]), ValueError, "option 4"),
    (X6, dict(seed=1, opt=[np.nan] * 19 + [3]), ValueError, "option 20"),
    (X6, dict(print_level=1, opt=[0]), ValueError, "option 1"),
    (X6, dict(correlations=True, opt=[0, 0, 1]), ValueError, "option 3"),
    (X6, dict(h="4"), TypeError, "h"),
    (X6, dict(h=0.75), ValueError, "h must be a whole number from 4 to 4"),
    (X6, dict(h=60), ValueError, "from 4 to 4"),
    (X6, dict(h=4, alpha=0.6), ValueError, "not both"),
    (X6, dict(alpha=0.4), ValueError, r"alpha must be a fraction in \(0.5, 1\]"),
    (X6, dict(cutoff=-1), ValueError, "positive distance"),
    (X6, dict(print_level=2.5), ValueError, "print_level must be a whole number from 0 to 5"),
    (X6, dict(correlations=4), ValueError, "correlations"),
    (X6, dict(seed=True), TypeError, "seed"),
    (X6, dict(opt=np.zeros((2, 2))), ValueError, "opt"),
    (X6, dict(start=np.ones((3, 3))), ValueError, "start"),
    (np.zeros((2, 2, 2)), {}, ValueError, "x"),
    ("x", {}, TypeError, "x"),
])
def test_mcd_arguments_refused_before_the_call(x, kwargs, error, match):
    with pytest.raises(error, match=match):
        robmat.mcd(x, **kwargs)


@pytest.mark.parametrize("call", [
    lambda: robmat.mad([1.0, 2.0], "qn\0zz"),
    lambda: robmat.call("MAD\0junk", np.ones((2, 1))),
])
def test_nul_in_text_is_refused_not_truncated(call):
    with pytest.raises(ValueError, match="NUL"):
        call()


def test_refused_call_is_an_error_not_a_routine_error():
    with pytest.raises(robmat.Error, match="NOSUCH") as e:
        robmat.call("NOSUCH", [1.0])
    assert not isinstance(e.value, robmat.RoutineError)


def test_front_end_statuses(hbk_x):
    with pytest.raises(robmat.RoutineError, match="keyword") as e:
        robmat.mad([1.0, 2.0], "nmadnmadx")  # nine characters: refused, not truncated
    assert (e.value.status, e.value.code, e.value.routine) == (19, 0, "MAD")
    assert isinstance(e.value, robmat.Error)
    with pytest.raises(robmat.Error, match="empty") as e:
        robmat.mad(np.empty((0, 3)))  # refused by the host before the module runs
    x = hbk_x.copy()
    x[5, 1] = np.nan
    with pytest.raises(robmat.RoutineError) as e:
        robmat.mcd(x)
    assert e.value.status == 17
    with pytest.raises(robmat.RoutineError) as e:
        robmat.mcd(hbk_x, start=[1, 2, 3, 76])  # observation numbers run from 1 to n = 75
    assert e.value.status == 6
    assert any(s == "error" for s, _ in e.value.log)


def test_engine_failure_is_the_hosts_verdict():
    # The host decides that an engine failed (returned normally, logged an error, left every
    # result missing); the C API fails the call, and the package raises RoutineError.
    nan = np.full((2, 2), np.nan)
    with pytest.raises(robmat.RoutineError, match="the engine gave up") as e:
        _engine_failure(Outcome("MCD", [nan], [("error", "the engine gave up")], "", "[]", engine_failed=True))
    assert e.value.engine_failed
    _engine_failure(Outcome("MCD", [nan, nan, nan], [("error", "e")], "", "[]"))


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
    assert r.stdout.splitlines() == ["-1 9999 [('error', 'bye is leaving with 9999')]", "[[6.0]]"]


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
