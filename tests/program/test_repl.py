"""The robmat program's REPL through a pseudo-terminal, as a person meets it: the banner,
help, Ctrl-C at the prompt and during a long MCD, tab completion and continuation lines.
Keys go in as bytes; the checks read what the terminal received (standard output and
standard error share it, so the progress line is there too)."""

import os
import pty
import select
import signal
import time

import numpy as np
import pytest

PROGRAM = os.environ.get("ROBMAT_PROGRAM")
MODULE = os.environ.get("ROBMAT_MODULE")
pytestmark = pytest.mark.skipif(not PROGRAM or not MODULE, reason="ROBMAT_PROGRAM and ROBMAT_MODULE are not set")


class Terminal:
    def __init__(self, home):
        pid, fd = pty.fork()
        if pid == 0:
            env = dict(os.environ, HOME=str(home), TERM="xterm", ROBMAT_MODULE=MODULE)
            os.chdir(home)
            os.execve(PROGRAM, [PROGRAM], env)
        self.pid, self.fd, self.screen = pid, fd, ""
        self.status = None

    def read_until(self, text, timeout=120):
        # Generous: under the sanitizers on a loaded machine the program starts and answers
        # slowly, and a wait that gives up early makes a flaky test, not a finding.
        """Reads until text has appeared after what earlier waits consumed; returns what came."""
        start = len(self.screen)
        end = time.time() + timeout
        while text not in self.screen[start:]:
            left = end - time.time()
            if left <= 0:
                raise AssertionError(f"{text!r} did not appear; the terminal shows:\n{self.screen[start:]}")
            ready, _, _ = select.select([self.fd], [], [], min(left, 0.1))
            if ready:
                try:
                    self.screen += os.read(self.fd, 65536).decode("utf-8", "replace")
                except OSError:  # the program has ended
                    break
        return self.screen[start:]

    def send(self, keys):
        os.write(self.fd, keys.encode())

    def wait(self, timeout=30):
        """The exit status once the program has ended by itself."""
        end = time.time() + timeout
        while self.status is None and time.time() < end:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                self.status = os.waitstatus_to_exitcode(status)
            else:
                time.sleep(0.05)
        return self.status

    def close(self):
        if self.status is None:
            os.kill(self.pid, signal.SIGKILL)
            os.waitpid(self.pid, 0)
        os.close(self.fd)


@pytest.fixture
def term(tmp_path):
    t = Terminal(tmp_path)
    yield t
    t.close()


PROMPT = "robmat> "


def test_banner_help_and_quit(term):
    shown = term.read_until(PROMPT)
    assert "Type 'help'" in shown and "'quit'" in shown and "Ctrl-C" in shown
    term.send("help\r")
    shown = term.read_until(PROMPT)
    for part in ["MAD", "MCD", "read_csv(", "help NAME"]:
        assert part in shown
    term.send("help mcd\r")
    shown = term.read_until(PROMPT)
    assert "[sc, est, dist] = MCD(opt, x [, start])" in shown and "Print levels" in shown
    term.send("help nothing_here\r")
    assert "no routine or builtin named nothing_here" in term.read_until(PROMPT)
    term.send("quit\r")
    assert term.wait() == 0


def test_ctrl_c_at_the_prompt_clears_the_line(term):
    term.read_until(PROMPT)
    term.send("a = [1 2\r")
    term.read_until("...> ")
    term.send("3")
    term.read_until("3")  # the key has reached the line editor before Ctrl-C follows it
    term.send("\x03")  # inside an unfinished statement
    term.read_until(PROMPT)
    term.send("b = 2\r")
    assert "b = 2" in term.read_until(PROMPT)
    term.send("a\r")
    assert "'a' is not defined" in term.read_until(PROMPT), "the dropped statement assigned nothing"


def test_ctrl_c_as_the_prompt_appears(term):
    # A Ctrl-C that comes before the line editor waits for a key, with keys ahead of it that
    # the terminal then drops, still gives a fresh prompt.
    term.read_until(PROMPT)
    for _ in range(20):
        term.send("a = [1 2\r")
        term.read_until("...> ")
        term.send("3\x03")
        term.read_until(PROMPT)
    term.send("quit\r")
    assert term.wait() == 0


def test_ctrl_c_during_a_long_mcd_keeps_the_variables(term, tmp_path):
    rng = np.random.default_rng(7)
    np.savetxt(tmp_path / "x.csv", rng.standard_normal((2000, 5)), delimiter=",", header="a,b,c,d,e", comments="")
    term.read_until(PROMPT)
    term.send('x = read_csv("x.csv"); keep = 42;\r')
    term.read_until(PROMPT)
    # 20000 trial subsets: seconds of work, long enough to show the progress line.
    term.send("[sc, est, d] = MCD([0 0 0 0 20000], x);\r")
    term.read_until("MCD: running", timeout=60)
    term.send("\x03")
    shown = term.read_until(PROMPT, timeout=300)
    assert "MCD was interrupted" in shown
    term.send("keep\r")
    assert "keep = 42" in term.read_until(PROMPT)
    term.send("sc\r")
    assert "'sc' is not defined" in term.read_until(PROMPT), "the interrupted call assigned nothing"
    term.send("[sc, est, d] = MCD([], x(1:50, :)); sc(1)\r")
    assert "ans = 28" in term.read_until(PROMPT), "the next call works: h = (50 + 5 + 1) / 2"


def test_tab_completes_variables_routines_and_builtins(term):
    term.read_until(PROMPT)
    term.send("stackloss_data = 3;\r")
    term.read_until(PROMPT)
    term.send("stackl\t")
    assert "oss_data" in term.read_until("oss_data")
    term.send("\r")
    assert "stackloss_data = 3" in term.read_until(PROMPT)
    term.send("disp(MC\t")
    term.read_until("D")
    term.send("\x03")
    term.read_until(PROMPT)
    term.send("read_c\t")
    term.read_until("sv")


def test_open_brackets_continue_on_the_next_line(term):
    term.read_until(PROMPT)
    term.send("m = [1 2\r")
    term.read_until("...> ")
    term.send("3 4]\r")
    shown = term.read_until(PROMPT)
    assert "m =" in shown and "3  4" in shown
    term.send("s = sum(m(:, 1)\r")
    term.read_until("...> ")
    term.send(")\r")
    assert "s = 4" in term.read_until(PROMPT)
