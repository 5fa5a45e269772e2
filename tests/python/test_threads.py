"""Calls from several Python threads at once share the one session: each thread's results must
equal the results of the same calls made one after another, and errors in one thread must not
disturb the others."""

import threading

import numpy as np

import robmat

from conftest import mcd_or_skip

METHODS = ["mad", "nmad", "sn", "qn"]


def run_threads(work, count=6):
    errors = []

    def guarded(i):
        try:
            work(i)
        except BaseException as e:  # reported in the main thread
            errors.append(e)

    threads = [threading.Thread(target=guarded, args=(i,)) for i in range(count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    if errors:
        raise errors[0]


def test_mad_from_threads_equals_serial():
    rng = np.random.default_rng(5)
    data = [rng.standard_normal((300, 3)) for _ in range(6)]
    for x in data:
        x[rng.integers(0, 300, 20), 1] = np.nan
    serial = [[robmat.mad(x, m) for m in METHODS] for x in data]
    got = [None] * len(data)

    def work(i):
        rounds = []
        for _ in range(10):
            rounds.append([robmat.mad(data[i], m) for m in METHODS])
        got[i] = rounds

    run_threads(work, len(data))
    for i, rounds in enumerate(got):
        for r in rounds:
            for a, b in zip(r, serial[i]):
                assert a.tobytes() == b.tobytes()


def test_errors_in_one_thread_leave_the_others_alone():
    x = np.arange(20.0).reshape(10, 2)
    want = robmat.mad(x, "qn")

    def work(i):
        for _ in range(20):
            if i % 2:
                try:
                    robmat.mad(x, "toolongkeyword")
                except robmat.RoutineError as e:
                    assert e.status == 19
                else:
                    raise AssertionError("the long keyword was accepted")
            else:
                assert robmat.mad(x, "qn").tobytes() == want.tobytes()

    run_threads(work)


def test_mcd_from_threads_equals_serial(hbk_x):
    serial = mcd_or_skip(hbk_x, seed=2)
    got = [None] * 4

    def work(i):
        got[i] = robmat.mcd(hbk_x, seed=2)

    run_threads(work, len(got))
    for r in got:
        assert r.estimates.tobytes() == serial.estimates.tobytes()
        assert r.distances.tobytes() == serial.distances.tobytes()
