"""Calls from several Python threads at once share the one session: each thread's results must
equal the results of the same calls made one after another, and errors in one thread must not
disturb the others."""

import threading

import numpy as np

import robmat

METHODS = ["mad", "nmad", "sn", "qn"]


def run_threads(work, count):
    """Runs work(i) in count threads; returns their results, re-raising the first error."""
    results, errors = [None] * count, []

    def guarded(i):
        try:
            results[i] = work(i)
        except BaseException as e:  # reported in the main thread
            errors.append(e)

    threads = [threading.Thread(target=guarded, args=(i,)) for i in range(count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    if errors:
        raise errors[0]
    return results


def test_mad_from_threads_equals_serial():
    rng = np.random.default_rng(5)
    data = [rng.standard_normal((300, 3)) for _ in range(6)]
    for x in data:
        x[rng.integers(0, 300, 20), 1] = np.nan
    serial = [[robmat.mad(x, m).tobytes() for m in METHODS] for x in data]
    got = run_threads(lambda i: [[robmat.mad(data[i], m).tobytes() for m in METHODS] for _ in range(10)], 6)
    for i, rounds in enumerate(got):
        assert all(r == serial[i] for r in rounds)


def test_errors_in_one_thread_leave_the_others_alone():
    x = np.arange(20.0).reshape(10, 2)
    want = robmat.mad(x, "qn").tobytes()

    def work(i):
        for _ in range(20):
            if i % 2:
                try:
                    robmat.mad(x, "toolongkeyword")
                    raise AssertionError("the long keyword was accepted")
                except robmat.RoutineError as e:
                    assert e.status == 19
            else:
                assert robmat.mad(x, "qn").tobytes() == want

    run_threads(work, 6)


def test_mcd_from_threads_equals_serial(hbk_x):
    serial = robmat.mcd(hbk_x, seed=2)
    for r in run_threads(lambda i: robmat.mcd(hbk_x, seed=2), 4):
        assert r.estimates.tobytes() == serial.estimates.tobytes()
        assert r.distances.tobytes() == serial.distances.tobytes()

