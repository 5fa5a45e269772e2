#!/usr/bin/env bash
# Builds the scale and MCD benchmarks and times, at the sizes where a call's own costs would
# show, the routine call through the host against its engine alone: MAD (normalized), Sn and
# Qn at n = 1e6, MCD at n = 1e5, p = 10, single-threaded. Prints call / engine in processor
# time, the steadier figure on a shared machine; the target is at most 1.10.
# Usage: bench/run_calls.sh   (BUILD_DIR, BUILD_TYPE, MIN_TIME override defaults)
set -euo pipefail
. "$(dirname "$0")/common.sh"
min_time=${MIN_TIME:-2}
export ROBMAT_CPUCOUNT=1

bench_build build-bench scale_bench mcd_bench
out=$(mktemp)
trap 'rm -f "$out"' EXIT
# Each engine is timed right before its call, so that both see about the same load.
for est in MAD Sn Qn; do
  "$build/bench/scale_bench" --benchmark_filter="^BM_${est}(_call)?/1000000\$" --benchmark_min_time="$min_time" \
    --benchmark_color=false 2>/dev/null | grep -E '^(time|cpu) ' | sed 's/^/scale /' >>"$out"
done
"$build/bench/mcd_bench" --benchmark_filter='^BM_MCD(_engine)?/100000/10$' --benchmark_min_time="$min_time" \
  --benchmark_color=false 2>/dev/null | grep -E '^(time|cpu|engine|engine_cpu) ' | sed 's/^/mcd /' >>"$out"
awk '
  $1 == "scale" && $2 == "time" { wall[$3] = $5 }
  $1 == "scale" && $2 == "cpu"  { cpu[$3] = $5 }
  $1 == "mcd" && $2 == "time"   { wall["MCD_call"] = $5 }
  $1 == "mcd" && $2 == "cpu"    { cpu["MCD_call"] = $5 }
  $1 == "mcd" && $2 == "engine" { wall["MCD"] = $5 }
  $1 == "mcd" && $2 == "engine_cpu" { cpu["MCD"] = $5 }
  END {
    printf "%-13s %10s %10s %12s %12s %10s\n", "routine", "call wall", "call cpu", "engine wall", "engine cpu", "cpu ratio"
    n = split("MAD Sn Qn MCD", r, " ")
    for (i = 1; i <= n; ++i) {
      e = r[i]; c = e "_call"
      if (!(c in cpu) || !(e in cpu)) continue
      printf "%-13s %10.2f %10.2f %12.2f %12.2f %10.3f\n", (e == "MCD" ? "MCD 1e5 x 10" : e " 1e6"),
             wall[c] * 1e3, cpu[c] * 1e3, wall[e] * 1e3, cpu[e] * 1e3, cpu[c] / cpu[e]
    }
    print "(ms per call; target: cpu ratio at most 1.10)"
  }' "$out"
