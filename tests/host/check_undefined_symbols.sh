#!/bin/sh
# Fails when the module has an undefined symbol that no system runtime provides: such a
# symbol could only be satisfied by the host, and the module must reach the host through
# its service vectors alone.
#   check_undefined_symbols.sh MODULE [RUNTIME_LIB ...]
# Symbols defined by a RUNTIME_LIB (the sanitizer runtimes, which intercept libc) are allowed.
set -eu
lib="$1"
shift
allowed=$(mktemp)
trap 'rm -f "$allowed"' EXIT
for rt in "$@"; do
  nm -D --defined-only "$rt" 2>/dev/null | awk '{print $3}' | sed 's/@.*//' >>"$allowed"
done
bad=$(nm -D --undefined-only "$lib" | awk '
  $1 == "w" || $1 == "v" { next }                               # weak references
  $2 ~ /@(GLIBC|GLIBCXX|CXXABI|GCC)_/ { next }                  # versioned runtime symbols
  $2 ~ /^(__asan|__ubsan|__lsan|__sanitizer|__interceptor)/ { next }
  { print $2 }' | grep -v -x -F -f "$allowed" || true)
if [ -n "$bad" ]; then
  echo "librobmat.so has undefined symbols outside the C/C++ runtimes and libm:"
  echo "$bad"
  exit 1
fi
echo "no host symbols are undefined in $lib"
