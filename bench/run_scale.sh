#!/usr/bin/env bash
# Builds and runs the scale-estimator benchmark (MAD, Sn, Qn at n = 1e4, 1e5, 1e6) and, when
# R's robustbase can be had (it is installed here through apt-get if missing and we are
# root), times robustbase's Qn and Sn on the very same samples in the same run and prints
# our time / their time. Usage: bench/run_scale.sh   (BUILD_DIR, MIN_TIME override defaults)
set -euo pipefail
. "$(dirname "$0")/common.sh"
min_time=${MIN_TIME:-1}

bench_build build-bench scale_bench
bench="$build/bench/scale_bench"
bench_tmp

echo "== robmat (build type: $(build_type))"
"$bench" --benchmark_min_time="$min_time" --benchmark_color=false | tee "$tmp/ours.txt"

if ! need_r_package robustbase r-cran-robustbase; then
  echo "== R with robustbase is not available: peer comparison skipped"
  exit 0
fi

"$bench" --write-data="$tmp/sample" >"$tmp/values.txt"
cat >"$tmp/peer.R" <<'REOF'
suppressMessages(library(robustbase))
args <- commandArgs(trailingOnly = TRUE)
prefix <- args[1]
min_time <- as.numeric(args[2])
cat("robustbase", as.character(packageVersion("robustbase")), "on", R.version.string, "\n")
time_per_call <- function(f, x) {
  reps <- 1
  repeat {
    t <- system.time(for (r in seq_len(reps)) f(x))[["elapsed"]]
    if (t >= min_time || reps >= 1000) return(t / reps)
    reps <- reps * 2
  }
}
for (n in c(10000, 100000, 1000000)) {
  x <- readBin(paste0(prefix, "_", format(n, scientific = FALSE), ".bin"), "double", n)
  # Raw order statistics (no constants), to check that both programs compute the same thing.
  cat(sprintf("peer %d Sn %.17g Qn %.17g\n", n, Sn(x, constant = 1, finite.corr = FALSE),
              Qn(x, constant = 1, finite.corr = FALSE)))
  cat(sprintf("theirs Sn %d %.6e\n", n, time_per_call(Sn, x)))
  cat(sprintf("theirs Qn %d %.6e\n", n, time_per_call(Qn, x)))
}
REOF
echo "== robustbase on the same samples"
Rscript "$tmp/peer.R" "$tmp/sample" "$min_time" | tee "$tmp/theirs.txt"

echo
echo "== raw order statistics (ours with the small-sample and consistency factors removed)"
awk '/^value/ { n = $2; sn[n] = $4; qn[n] = $6 }
     /^peer/  { n = $2; d = (n % 2 ? n / (n + 1.4) : n / (n + 3.8)); c = (n % 2 ? n / (n - 0.9) : 1);
                printf "n=%-8d Sn ours %.15g robustbase %.15g   Qn ours %.15g robustbase %.15g\n",
                       n, sn[n] / (c * 1.1926), $4, qn[n] / (d * 2.2219), $6 }' \
  "$tmp/values.txt" "$tmp/theirs.txt"
echo
echo "== time per call"
printf "%-4s %9s %12s %12s %14s\n" est n "ours ms" "robustbase ms" "ours/theirs"
awk 'FILENAME ~ /ours/ && /^time/ { ours[$2 " " $3] = $4 }
     FILENAME ~ /theirs/ && /^theirs/ { theirs[$2 " " $3] = $4 }
     END { split("Sn Qn", est, " ");
           for (e = 1; e <= 2; ++e) for (k = 4; k <= 6; ++k) {
             key = est[e] " " 10^k
             if ((key in ours) && (key in theirs))
               printf "%-4s %9d %12.3f %12.3f %14.3f\n", est[e], 10^k, ours[key] * 1e3, theirs[key] * 1e3,
                      ours[key] / theirs[key] } }' "$tmp/ours.txt" "$tmp/theirs.txt"
