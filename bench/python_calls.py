"""Time per call of robmat.mad(x, method) from Python at n = 1e6 (the normalized MAD, Sn, Qn),
for comparison with the engine alone in scale_bench: what the Python package, the C interface
and the host add to a call. The sample is standard normal from numpy's seeded generator.
Usage: ROBMAT_HOST_LIB=build/lib PYTHONPATH=python /usr/bin/python3 bench/python_calls.py [calls]"""

import sys
import time

import numpy as np

import robmat


def per_call(f, calls):
    """The median wall and processor seconds of `calls` calls, after one call to warm up."""
    f()
    wall, cpu = [], []
    for _ in range(calls):
        w, c = time.perf_counter(), time.process_time()
        f()
        wall.append(time.perf_counter() - w)
        cpu.append(time.process_time() - c)
    return float(np.median(wall)), float(np.median(cpu))


def main():
    calls = int(sys.argv[1]) if len(sys.argv) > 1 else 10
    x = np.random.default_rng(19).standard_normal(1_000_000)
    print(f"{'method':6} {'n':>8} {'wall ms':>9} {'cpu ms':>9}")
    for method in ("nmad", "sn", "qn"):
        wall, cpu = per_call(lambda: robmat.mad(x, method), calls)
        print(f"{method:6} {x.size:8d} {wall * 1e3:9.1f} {cpu * 1e3:9.1f}")


if __name__ == "__main__":
    main()
