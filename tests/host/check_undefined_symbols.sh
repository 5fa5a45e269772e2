#!/bin/sh
# Fails when the module has an undefined symbol that no system runtime provides: such a
# symbol could only be satisfied by the host, and the module must reach the host through
# its service vectors alone.
set -eu
lib="$1"
bad=$(nm -D --undefined-only "$lib" | awk '
  $1 == "w" || $1 == "v" { next }                               # weak references
  $2 ~ /@(GLIBC|GLIBCXX|CXXABI|GCC)_/ { next }                  # versioned runtime symbols
  $2 ~ /^(__asan|__ubsan|__lsan|__sanitizer|__interceptor)/ { next }
  { print $2 }')
if [ -n "$bad" ]; then
  echo "librobmat.so has undefined symbols outside the C/C++ runtimes and libm:"
  echo "$bad"
  exit 1
fi
echo "no host symbols are undefined in $lib"
