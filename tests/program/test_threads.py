"""The robmat program with the host's CPU count set (ROBMAT_CPUCOUNT): MCD and LTS on data
large enough for their subdatasets, which run on that many worker threads, print and return
the same listing and the same numbers as with one thread."""

import json
import math
import os
import pathlib
import subprocess

ROOT = pathlib.Path(__file__).resolve().parent.parent.parent
PROGRAM = os.environ.get("ROBMAT_PROGRAM", str(ROOT / "build" / "apps" / "robmat"))

SCRIPT = """\
d = read_csv("data.csv");
x = d(:, 1:4);
[sc, est, dist] = MCD([3], x);
[sc2, est2, dist2] = MCD([NA NA NA NA NA NA NA NA NA NA NA NA NA NA NA NA NA NA NA NA NA NA 1], x);
[ls, lest, lobs] = LTS([0 3], d(:, 5), x);
"""


def write_data(path, n=2000):
    """Deterministic cases in general position (fractions of a large sine), a fifth of them
    outliers, and a response that is a linear function of the rest."""
    lines = ["a,b,c,d,y"]
    for i in range(n):
        row = []
        for j in range(4):
            v = math.sin((i * 4 + j) * 12.9898) * 43758.5453
            row.append(v - math.floor(v) + (4.0 if i < n // 5 else 0.0))
        y = 1 + sum((j + 1) * v for j, v in enumerate(row)) - (30.0 if i < n // 5 else 0.0)
        lines.append(",".join(repr(v) for v in row + [y]))
    path.write_text("\n".join(lines) + "\n")


def run(tmp_path, cpus):
    env = dict(os.environ, ROBMAT_CPUCOUNT=str(cpus))
    out = tmp_path / f"out{cpus}.json"
    p = subprocess.run([PROGRAM, "--json", str(out), "script.rm"], cwd=tmp_path, env=env, capture_output=True,
                       text=True, timeout=300)
    assert p.returncode == 0, p.stderr
    return p.stdout, p.stderr, json.loads(out.read_text())


def test_listing_and_results_do_not_depend_on_the_cpu_count(tmp_path):
    write_data(tmp_path / "data.csv")
    (tmp_path / "script.rm").write_text(SCRIPT)
    one = run(tmp_path, 1)
    assert one[2]
    for cpus in (2, 4):
        assert run(tmp_path, cpus) == one
