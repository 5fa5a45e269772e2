#!/usr/bin/env bash
# Runs one fuzz target with libFuzzer for a given time, at low priority on one core:
#   fuzz/run.sh TARGET SECONDS        (TARGET: parse, csv, ...; see fuzz/CMakeLists.txt)
# Builds with clang in build-fuzz/ (AddressSanitizer + UBSan + libFuzzer coverage). New inputs
# go to build-fuzz/corpus/TARGET, seeded from fuzz/corpus/TARGET; the output to
# build-fuzz/fuzz-TARGET.log; a crash leaves crash-* files in build-fuzz/. To keep the inputs
# that add coverage in the committed corpus:
#   build-fuzz/fuzz/fuzz_TARGET -merge=1 fuzz/corpus/TARGET build-fuzz/corpus/TARGET
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: $0 TARGET SECONDS" >&2
  exit 2
fi
target=$1
seconds=$2
cd "$(dirname "$0")/.."
root=$(pwd)
sanitize="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DROBMAT_FUZZ=ON \
  -DROBMAT_TESTS=OFF -DCMAKE_C_FLAGS="$sanitize" -DCMAKE_CXX_FLAGS="$sanitize" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" \
  >/dev/null
nice -n 10 cmake --build build-fuzz -j1 --target "fuzz_$target"
mkdir -p "build-fuzz/corpus/$target"
cd build-fuzz
# -max_len bounds the size of generated inputs, so recursion depth in the printer and the
# time per input stay small; -rss_limit_mb keeps a large allocation from taking the machine.
# The log is the target's own (fuzz-TARGET.log), so two targets can run side by side.
status=0
nice -n 10 "./fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=2048 \
  -print_final_stats=1 "corpus/$target" "$root/fuzz/corpus/$target" >"fuzz-$target.log" 2>&1 || status=$?
tail -n 25 "fuzz-$target.log"
exit "$status"
