#!/usr/bin/env bash
# Builds mcd_bench and lts_bench and times MCD and LTS (default options, the bench data of
# run_mcd.sh and run_lts.sh) at n = 1e4, 1e5 by p = 5, 10 (LTS: k = 5, 10 regressors and an
# intercept) with the host's CPU count at 1 and at 2 (ROBMAT_CPUCOUNT): the median wall time
# and processor time of the process (worker threads included) over alternating calls, the
# speed-up (wall time at 1 / wall time at 2), and whether both counts returned the same bits.
# Usage: bench/run_threads.sh   (BUILD_DIR, BUILD_TYPE override defaults; MIN_TIME: seconds per
# count and case, default 2; REFINE=1 gives every call option 23 = 1, the converged final stage)
set -euo pipefail
. "$(dirname "$0")/common.sh"
min_time=${MIN_TIME:-2}

bench_build build-bench-threads mcd_bench lts_bench
bench_tmp

echo "== $(nproc) processors; load average $(cut -d' ' -f1-3 /proc/loadavg) before the run"
"$build/bench/mcd_bench" "${refine[@]}" --threads="$min_time" | tee "$tmp/times.txt"
"$build/bench/lts_bench" "${refine[@]}" --threads="$min_time" | tee -a "$tmp/times.txt"
echo "== load average $(cut -d' ' -f1-3 /proc/loadavg) after the run"
echo
echo "== median ms per call with 1 and 2 CPUs; speed-up = wall(1) / wall(2)"
awk '
  /^threads/ {
    if (!hdr) {
      printf "%-10s %6s %3s %9s %9s %9s %9s %8s %s\n", "routine", "n", "p", "wall 1", "cpu 1", "wall 2",
             "cpu 2", "speed-up", "results"
      hdr = 1
    }
    printf "%-10s %6d %3d %9.1f %9.1f %9.1f %9.1f %8.2f %s\n", $2, $3, $4, $5 * 1e3, $6 * 1e3, $7 * 1e3,
           $8 * 1e3, $5 / $7, $9
    if ($9 != "same") bad = 1
  }
  END { if (bad) { print "the results of 1 and 2 CPUs differ"; exit 1 } }' "$tmp/times.txt"
