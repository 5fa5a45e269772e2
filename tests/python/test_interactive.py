"""Interactive use from Python: Ctrl-C during a call raises KeyboardInterrupt and the session
goes on, progress reports of a long call, and help texts shared with the robmat program.
The calls that run long use the test module's SPIN routine, in a child interpreter of their
own (a process has one session, on one module)."""

import os
import signal
import subprocess
import sys
import time

import pytest

import robmat
from robmat._capi import help_text

needs_testmod = pytest.mark.skipif(not os.environ.get("ROBMAT_TESTMOD"), reason="the test module's path is not set")


def child(code):
    env = dict(os.environ, ROBMAT_MODULE=os.environ.get("ROBMAT_TESTMOD", ""))
    # Bytes, not text: text mode would turn the progress line's carriage returns into newlines.
    return subprocess.Popen([sys.executable, "-c", code], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def finish(p):
    out, err = p.communicate(timeout=60)
    return out.decode(), err.decode()


@needs_testmod
def test_ctrl_c_during_a_call_raises_keyboard_interrupt_and_the_next_call_works():
    # SPIN(600) would run for ten minutes: only the interrupt ends it within the timeout.
    p = child("""
import robmat, sys
print("calling", flush=True)
try:
    robmat.call("SPIN", [[600.0]])
    print("not interrupted")
except KeyboardInterrupt as e:
    print("KeyboardInterrupt:", e)
print("next:", robmat.call("SPIN", [[0.0]]).results[0].shape)
""")
    assert p.stdout.readline() == b"calling\n"
    time.sleep(0.5)  # into the call
    p.send_signal(signal.SIGINT)
    out, err = finish(p)
    assert p.returncode == 0, err
    assert "KeyboardInterrupt: The routine SPIN was interrupted" in out
    assert "next: (1, 1)" in out


@needs_testmod
def test_progress_reports_a_long_call():
    p = child("""
import robmat
seen = []
robmat.call("SPIN", [[1.5]], progress=lambda *a: seen.append(a))
print(seen[0][0], seen[0][2], seen[-1][3], len(seen) >= 3, all(1 <= s[1] < 60 for s in seen))
robmat.call("SPIN", [[1.5]], progress=True)
seen.clear()
robmat.call("SPIN", [[0.0]], progress=lambda *a: seen.append(a))
print(len(seen))
""")
    out, err = finish(p)
    assert p.returncode == 0, err
    # routine, percent (none noted), last report done, reports every quarter second, elapsed
    assert out.splitlines() == ["SPIN -1 True True True", "0"]
    assert err.startswith("\rSPIN: running, 1 s") and err.endswith("\r")


def test_help_is_the_programs_text():
    text = help_text("MCD")
    assert text.startswith("MCD: ") and "Options" in text and "Print levels" in text
    assert robmat.mcd.__doc__.endswith(text)
    assert robmat.mad.__doc__.endswith(help_text("mad"))
    assert help_text("NOPE") is None
    with pytest.raises(ValueError, match="no routine named 'NOPE'"):
        robmat.help("NOPE")


def test_help_lists_the_routines(capsys):
    robmat.help()
    out = capsys.readouterr().out
    assert [line.split()[0] for line in out.splitlines()] == ["MAD", "MCD", "LMS", "LTS", "MVE"]
