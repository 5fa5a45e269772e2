# Sourced by the bench/run_*.sh scripts: the paths, the build of the benchmark targets, a
# temporary folder removed at exit, REFINE's flag, and R packages installed with apt-get where
# they are missing and we are root.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(dirname "$here")
refine=()
if [ "${REFINE:-0}" = 1 ]; then refine=(--refine); fi

# bench_build DEFAULT_DIR TARGET...: configures and builds the targets in $BUILD_DIR (default
# $root/DEFAULT_DIR) with $BUILD_TYPE (default RelWithDebInfo); sets build.
bench_build() {
  build=${BUILD_DIR:-$root/$1}
  shift
  cmake -S "$root" -B "$build" -DROBMAT_BENCH=ON -DROBMAT_TESTS=OFF -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" >/dev/null
  cmake --build "$build" --target "$@" -j2 >/dev/null
}

# The build type of $build, for the headings.
build_type() { grep -m1 CMAKE_BUILD_TYPE: "$build/CMakeCache.txt" | cut -d= -f2; }

# bench_tmp: a temporary folder in tmp, removed at exit.
bench_tmp() {
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
}

have_r_package() { command -v Rscript >/dev/null 2>&1 && Rscript -e "library($1)" >/dev/null 2>&1; }

# need_r_package PACKAGE DEBIAN_PACKAGE...: whether R has PACKAGE, after installing the Debian
# packages when it is missing and we are root with apt-get.
need_r_package() {
  local pkg=$1
  shift
  if ! have_r_package "$pkg" && [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
    local list="$*"
    echo "== installing ${list// / and }"
    { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
        "$@"; } >"$tmp/apt.log" 2>&1 || echo "(apt-get failed: $(tail -n 1 "$tmp/apt.log"))"
  fi
  have_r_package "$pkg"
}
