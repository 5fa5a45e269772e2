#!/usr/bin/env bash
# Builds mcd_bench and compares MCD with the deterministic starts (option 24 = 1) with
# robustbase's covMcd(x, nsamp = "deterministic") on the data of bench/run_mcd.sh (n = 1e3,
# 1e4, 1e5 by p = 2, 5, 10), single-threaded, in the same run: time per call and the raw
# objective, log det of the covariance (divisor h - 1) of each program's best h-subset, with
# the random-start default's objective beside them.
# Usage: bench/run_detmcd.sh   (BUILD_DIR, BUILD_TYPE, MIN_TIME override defaults)
set -euo pipefail
. "$(dirname "$0")/common.sh"
min_time=${MIN_TIME:-1}
export ROBMAT_CPUCOUNT=1 OMP_NUM_THREADS=1 OPENBLAS_NUM_THREADS=1

bench_build build-bench-mcd mcd_bench
bench="$build/bench/mcd_bench"
bench_tmp

echo "== robmat MCD, deterministic starts (build type: $(build_type))"
"$bench" --benchmark_filter='BM_MCD_det/' --benchmark_min_time="$min_time" --benchmark_color=false |
  tee "$tmp/ours.txt"
"$bench" --write-det="$tmp/data" >"$tmp/values.txt"
"$bench" --write-data="$tmp/rand" >"$tmp/random.txt"

if have_r_package robustbase; then
  echo "== robustbase covMcd(nsamp = \"deterministic\") on the same data"
  Rscript "$here/mcd_detmcd.R" "$tmp/data" "$min_time" | tee "$tmp/theirs.txt"
else
  echo "== R with robustbase is not available: peer comparison skipped"
  : >"$tmp/theirs.txt"
fi

echo
echo "== time per call (ms, wall and processor) and raw objective log det (divisor h - 1)"
awk '
  FILENAME ~ /ours/ && /^BM_MCD_det\// { split($1, a, "/"); k = a[2] " " a[3]; t[k] = $2; tc[k] = $4 }
  FILENAME ~ /values/ && /^detobjective/ { ld[$2 " " $3] = $5 }
  FILENAME ~ /random/ && /^objective/ { lr[$2 " " $3] = $5 }
  FILENAME ~ /theirs/ && /^peer/ { peer = 1; ldt[$2 " " $3] = $5; ldo[$2 " " $3] = $6 }
  FILENAME ~ /theirs/ && /^theirs/ { tt[$2 " " $3] = $4 * 1e3; ttc[$2 " " $3] = $5 * 1e3 }
  END {
    printf "%6s %2s %8s %8s %8s %8s %6s %17s %17s %9s %17s\n", "n", "p", "ours", "cpu", "theirs", "cpu",
           "ratio", "logdet det ours", "logdet det theirs", "ours-them", "logdet random"
    split("1000 10000 100000", ns, " "); split("2 5 10", ps, " ")
    for (j = 1; j <= 3; ++j) for (i = 1; i <= 3; ++i) {
      k = ns[i] " " ps[j]
      if (peer && (k in ldt))
        printf "%6d %2d %8.1f %8.1f %8.1f %8.1f %6.2f %17.12f %17.12f %9.1e %17.12f\n", ns[i], ps[j], t[k], tc[k],
               tt[k], ttc[k], t[k] / tt[k], ld[k], ldt[k], ld[k] - ldt[k], lr[k]
      else
        printf "%6d %2d %8.1f %8.1f %8s %8s %6s %17.12f %17s %9s %17.12f\n", ns[i], ps[j], t[k], tc[k], "-", "-", "-",
               ld[k], "-", "-", lr[k]
    }
  }' "$tmp/ours.txt" "$tmp/values.txt" "$tmp/random.txt" "$tmp/theirs.txt"
