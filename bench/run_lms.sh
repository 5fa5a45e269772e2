#!/usr/bin/env bash
# Builds and runs the LMS benchmark (random subsets at n = 1e3, 1e4 by p = 2, 5, 10, and all
# 1540 subsets at p = 3, n = 22; through the host and the loaded module) and, when R's MASS
# can be had (installed here through apt-get if missing and we are root), times lqs on the
# very same data with the same h (method "lqs", quantile = h: its "lms" is fixed to the
# median) and number of subsets in the same run and compares the h-th smallest squared
# residual of both fits.
# Usage: bench/run_lms.sh   (BUILD_DIR, BUILD_TYPE, MIN_TIME override defaults)
set -euo pipefail
. "$(dirname "$0")/common.sh"
min_time=${MIN_TIME:-1}
export ROBMAT_CPUCOUNT=1 OMP_NUM_THREADS=1 OPENBLAS_NUM_THREADS=1

bench_build build-bench-lms lms_bench
bench="$build/bench/lms_bench"
bench_tmp

echo "== robmat LMS (build type: $(build_type))"
"$bench" --benchmark_min_time="$min_time" --benchmark_color=false \
  --benchmark_out="$tmp/ours.csv" --benchmark_out_format=csv
"$bench" --write-data="$tmp/data" >"$tmp/values.txt"

if need_r_package MASS r-base-core r-cran-mass; then
  echo "== MASS lqs(method = \"lqs\", quantile = h) on the same data"
  Rscript "$here/lms_lqs.R" "$tmp/data" "$tmp/values.txt" "$min_time" | tee "$tmp/theirs.txt"
else
  echo "== R with MASS is not available: peer comparison skipped"
  : >"$tmp/theirs.txt"
fi

echo
echo "== time per call (ms; wall and processor), subsets per second, and the h-th smallest"
echo "   squared residual of each fit (ours must not exceed lqs's; time ratio target <= 0.5)"
awk -F, '
  FILENAME ~ /ours/ && $1 ~ /^"LMS\// { split($1, nm, "/"); gsub(/"/, "", nm[3]); k = nm[2] " " nm[3]
                                         t[k] = $3; tc[k] = $4; rate[k] = $NF }
  FILENAME ~ /values/ { split($0, f, " "); k = f[2] " " f[3]; h[k] = f[4]; sub_[k] = f[5]; co[k] = f[6]; cm[k] = f[7] }
  FILENAME ~ /theirs/ && /^peer/ { split($0, f, " "); k = f[2] " " f[3]; peer = 1; ro[k] = f[5]; rt[k] = f[6] }
  FILENAME ~ /theirs/ && /^theirs/ { split($0, f, " "); k = f[2] " " f[3]; tt[k] = f[4] * 1e3; ttc[k] = f[5] * 1e3 }
  END {
    printf "%6s %2s %5s %7s %8s %8s %11s %8s %8s %6s %6s %14s %14s %s\n", "n", "p", "h", "subsets", "ours",
           "cpu", "subsets/s", "lqs", "cpu", "ratio", "cpu", "ours r2(h)", "lqs r2(h)", "ok"
    split("1000 2,10000 2,1000 5,10000 5,1000 10,10000 10,22 3", ks, ",")
    bad = 0
    for (i = 1; i <= 7; ++i) {
      k = ks[i]; split(k, np, " ")
      if (peer && (k in rt)) {
        ok = (ro[k] <= rt[k] * (1 + 1e-12)) ? "yes" : "NO"; if (ok == "NO") ++bad
        printf "%6d %2d %5d %7d %8.2f %8.2f %11.0f %8.2f %8.2f %6.3f %6.3f %14.8g %14.8g %s\n", np[1], np[2], h[k],
               sub_[k], t[k], tc[k], rate[k], tt[k], ttc[k], t[k] / tt[k], tc[k] / ttc[k], ro[k], rt[k], ok
      } else {
        printf "%6d %2d %5d %7d %8.2f %8.2f %11.0f %8s %8s %6s %6s %14.8g %14s %s\n", np[1], np[2], h[k], sub_[k],
               t[k], tc[k], rate[k], "-", "-", "-", "-", co[k], "-", "-"
      }
      d = cm[k] - co[k]; if (d < 0) d = -d
      if (d > 1e-12 * co[k]) printf "   note: the reported criterion squared (%s) differs from r2(h) (%s)\n", cm[k], co[k]
    }
    if (peer) printf "\nquality (ours no worse than lqs): %s\n", bad ? bad " case(s) missed" : "met in every case"
  }' "$tmp/ours.csv" "$tmp/values.txt" "$tmp/theirs.txt"
