#!/usr/bin/env bash
# Builds and runs the LTS benchmark (default options, i.e. FAST-LTS with seed 19, at n = 1e3,
# 1e4, 1e5 by 2, 5, 10 regressors with an intercept, single-threaded, through the host and the
# loaded module) and, when R's robustbase can be had (installed here through apt-get if
# missing and we are root), times ltsReg(x, y, alpha = 0.5, mcd = FALSE) on the very same data
# in the same run and compares the objectives: the sum of the h smallest squared residuals of
# each program's raw coefficients, h = (n + p + 1) %/% 2 with p counting the intercept.
# Usage: bench/run_lts.sh   (BUILD_DIR, BUILD_TYPE, MIN_TIME override defaults; SEEDS="1 2 3"
# adds the objectives of those seeds for both programs; REFINE=1 gives every call of ours
# option 23 = 1, the converged final stage)
set -euo pipefail
. "$(dirname "$0")/common.sh"
min_time=${MIN_TIME:-1}
# One thread on both sides: the host's worker count, and R's BLAS should it be a threaded one.
export ROBMAT_CPUCOUNT=1 OMP_NUM_THREADS=1 OPENBLAS_NUM_THREADS=1

bench_build build-bench-lts lts_bench
bench="$build/bench/lts_bench"
bench_tmp

echo "== robmat LTS${REFINE:+ (REFINE=$REFINE)} (build type: $(build_type))"
"$bench" "${refine[@]}" --benchmark_min_time="$min_time" --benchmark_color=false | tee "$tmp/ours.txt"
# The data sets, our raw coefficients and their objectives.
"$bench" "${refine[@]}" --write-data="$tmp/data" >"$tmp/values.txt"

if need_r_package robustbase r-base-core r-cran-robustbase; then
  echo "== robustbase ltsReg on the same data"
  Rscript "$here/lts_ltsreg.R" "$tmp/data" "$min_time" | tee "$tmp/theirs.txt"
else
  echo "== R with robustbase is not available: peer comparison skipped"
  : >"$tmp/theirs.txt"
fi

echo
echo "== time per call (ms; wall, and processor time of the one thread) and objective, the sum of"
echo "   the h smallest squared residuals of the raw coefficients; ours - theirs relative to theirs"
awk '
  FILENAME ~ /ours/ && /^time/        { t[$2 " " $3] = $4 }
  FILENAME ~ /ours/ && /^cpu/         { tc[$2 " " $3] = $4 }
  FILENAME ~ /ours/ && /^search/      { ts[$2 " " $3] = $4 }
  FILENAME ~ /values/ && /^objective/ { h[$2 " " $3] = $4; ob[$2 " " $3] = $5 }
  FILENAME ~ /theirs/ && /^peer/      { peer = 1; obt[$2 " " $3] = $5; obo[$2 " " $3] = $6 }
  FILENAME ~ /theirs/ && /^theirs/    { tt[$2 " " $3] = $4; ttc[$2 " " $3] = $5 }
  END {
    printf "%6s %2s %5s %7s %7s %7s %7s %7s %5s %5s %18s %18s %9s\n", "n", "k", "h", "ours", "cpu", "search",
           "theirs", "cpu", "ratio", "cpu", "objective ours", "objective theirs", "rel diff"
    split("1000 10000 100000", ns, " "); split("2 5 10", ks, " ")
    worse = 0; maxx = 0
    for (j = 1; j <= 3; ++j) for (i = 1; i <= 3; ++i) {
      c = ns[i] " " ks[j]
      if (peer && (c in obt)) {
        d = (obo[c] - obt[c]) / obt[c]; if (d > 0) ++worse
        x = (obo[c] - ob[c]) / ob[c]; if (x < 0) x = -x; if (x > maxx) maxx = x
        printf "%6d %2d %5d %7.1f %7.1f %7.1f %7.1f %7.1f %5.2f %5.2f %18.10f %18.10f %9.1e\n", ns[i], ks[j], h[c],
               t[c] * 1e3, tc[c] * 1e3, ts[c] * 1e3, tt[c] * 1e3, ttc[c] * 1e3, t[c] / tt[c], tc[c] / ttc[c],
               obo[c], obt[c], d
      } else {
        printf "%6d %2d %5d %7.1f %7.1f %7.1f %7s %7s %5s %5s %18.10f %18s %9s\n", ns[i], ks[j], h[c], t[c] * 1e3,
               tc[c] * 1e3, ts[c] * 1e3, "-", "-", "-", "-", ob[c], "-", "-"
      }
    }
    if (peer) {
      printf "\nour objective by this program and by R differ by at most %.1e relative\n", maxx
      printf "ours above robustbase'\''s in %d of 9 cases\n", worse
      c = "100000 10"
      if ((c in t) && (c in tt))
        printf "speed at n = 1e5, k = 10: ours / robustbase = %.3f wall, %.3f processor (target <= 0.5, aim 0.25)\n",
               t[c] / tt[c], tc[c] / ttc[c]
    }
  }' "$tmp/ours.txt" "$tmp/values.txt" "$tmp/theirs.txt"

# Objectives over further seeds (option 20 for us, set.seed for R), to tell the luck of the
# draws from a systematic difference.
if [ -n "${SEEDS:-}" ] && have_r_package robustbase; then
  echo
  echo "== objectives by seed (ours, theirs)"
  for s in $SEEDS; do
    "$bench" "${refine[@]}" --write-data="$tmp/s$s" --seed="$s" >/dev/null
    Rscript "$here/lts_ltsreg.R" "$tmp/s$s" 0 "$s" | awk -v s="$s" '/^peer/ { printf "seed %s n %s k %s ours %.10f theirs %.10f\n", s, $2, $3, $6, $5 }'
  done
fi
