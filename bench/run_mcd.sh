#!/usr/bin/env bash
# Builds and runs the MCD benchmark (n = 1e3, 1e4, 1e5 by p = 2, 5, 10, single-threaded,
# through the host and the loaded module) and, when R's robustbase can be had (installed here
# through apt-get if missing and we are root), times covMcd on the very same data in the same
# run and compares the raw objectives: log det of the covariance (divisor h - 1) of the best
# h-subset each program returns, h = (n + p + 1) %/% 2.
# Usage: bench/run_mcd.sh   (BUILD_DIR, BUILD_TYPE, MIN_TIME override defaults; REFINE=1 gives
# every call of ours option 23 = 1, the converged final stage)
set -euo pipefail
. "$(dirname "$0")/common.sh"
min_time=${MIN_TIME:-1}
# One thread on both sides: the host's worker count, and R's BLAS should it be a threaded one.
export ROBMAT_CPUCOUNT=1 OMP_NUM_THREADS=1 OPENBLAS_NUM_THREADS=1

bench_build build-bench-mcd mcd_bench
bench="$build/bench/mcd_bench"
bench_tmp

echo "== robmat MCD${REFINE:+ (REFINE=$REFINE)} (build type: $(build_type))"
"$bench" "${refine[@]}" --benchmark_min_time="$min_time" --benchmark_color=false | tee "$tmp/ours.txt"
# The data sets, our best h-subsets and their objectives (the subset is read from a direct
# engine run that must agree with the host's call on h and the determinant).
"$bench" "${refine[@]}" --write-data="$tmp/data" >"$tmp/values.txt"

if need_r_package robustbase r-base-core r-cran-robustbase; then
  echo "== robustbase covMcd on the same data"
  Rscript "$here/mcd_covmcd.R" "$tmp/data" "$min_time" | tee "$tmp/theirs.txt"
else
  echo "== R with robustbase is not available: peer comparison skipped"
  : >"$tmp/theirs.txt"
fi

echo
echo "== time per call (ms; wall, and processor time of the one thread) and raw objective"
echo "   log det(cov of the best h-subset, divisor h - 1); ours - theirs in log det is the"
echo "   relative excess of our determinant, target <= 1e-9"
awk -v tol=1e-9 '
  FILENAME ~ /ours/ && /^time/        { t[$2 " " $3] = $4 }
  FILENAME ~ /ours/ && /^cpu/         { tc[$2 " " $3] = $4 }
  FILENAME ~ /ours/ && /^engine/      { te[$2 " " $3] = $4 }
  FILENAME ~ /values/ && /^objective/ { h[$2 " " $3] = $4; ld[$2 " " $3] = $5 }
  FILENAME ~ /theirs/ && /^peer/      { peer = 1; ldt[$2 " " $3] = $5; ldo[$2 " " $3] = $6 }
  FILENAME ~ /theirs/ && /^theirs/    { tt[$2 " " $3] = $4; ttc[$2 " " $3] = $5 }
  END {
    printf "%6s %2s %5s %7s %7s %6s %7s %7s %7s %5s %5s %16s %16s %9s %s\n", "n", "p", "h", "ours", "cpu",
           "growth", "engine", "theirs", "cpu", "ratio", "cpu", "logdet ours", "logdet theirs", "ours-them", "ok"
    split("1000 10000 100000", ns, " "); split("2 5 10", ps, " ")
    bad = 0; maxx = 0; gmax = 0
    for (j = 1; j <= 3; ++j) for (i = 1; i <= 3; ++i) {
      k = ns[i] " " ps[j]; prev = ns[i] / 10 " " ps[j]
      g = (i > 1 && (k in t) && (prev in t)) ? sprintf("%.2f", t[k] / t[prev]) : "-"
      if (i == 3 && (k in t) && (prev in t) && t[k] / t[prev] > gmax) gmax = t[k] / t[prev]
      if (peer && (k in ldt)) {
        d = ldo[k] - ldt[k]; ok = (d <= tol) ? "yes" : "NO"; if (d > tol) ++bad
        x = ldo[k] - ld[k]; if (x < 0) x = -x; if (x > maxx) maxx = x
        printf "%6d %2d %5d %7.1f %7.1f %6s %7.1f %7.1f %7.1f %5.2f %5.2f %16.12f %16.12f %9.2e %s\n",
               ns[i], ps[j], h[k], t[k] * 1e3, tc[k] * 1e3, g, te[k] * 1e3, tt[k] * 1e3, ttc[k] * 1e3,
               t[k] / tt[k], tc[k] / ttc[k], ldo[k], ldt[k], d, ok
      } else {
        printf "%6d %2d %5d %7.1f %7.1f %6s %7.1f %7s %7s %5s %5s %16.12f %16s %9s %s\n", ns[i], ps[j], h[k],
               t[k] * 1e3, tc[k] * 1e3, g, te[k] * 1e3, "-", "-", "-", "-", ld[k], "-", "-", "-"
      }
    }
    printf "\ngrowth t(1e5)/t(1e4) (wall), largest over p: %.2f (linear is 10)\n", gmax
    if (peer) {
      printf "our log det by this program and by the R formula differ by at most %.1e\n", maxx
      printf "quality (ours no worse than robustbase by more than 1e-9 relative): %s\n",
             bad ? bad " case(s) missed" : "met in every case"
      k = "100000 10"
      if ((k in t) && (k in tt))
        printf "speed at n = 1e5, p = 10: ours / robustbase = %.3f wall, %.3f processor (target <= 0.5, aim 0.25)\n",
               t[k] / tt[k], tc[k] / ttc[k]
    }
  }' "$tmp/ours.txt" "$tmp/values.txt" "$tmp/theirs.txt"
