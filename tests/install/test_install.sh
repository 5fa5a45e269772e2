#!/usr/bin/env bash
# cmake --install into a scratch prefix, then use what is there as someone else would: a C
# program built with find_package(robmat) and one built with pkg-config, the installed robmat
# program, and pip install of the Python package into a fresh venv (system site packages for
# numpy; no network) with `import robmat` from another folder.
#   test_install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(realpath "$1")
src=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
unset ROBMAT_MODULE ROBMAT_HOST_LIB

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/robmat lib/librobmat_host.so lib/librobmat.so include/robmat_host.h \
         lib/cmake/robmat/robmatConfig.cmake lib/pkgconfig/robmat.pc; do
  [ -e "$prefix/$f" ] || { echo "FAIL: $f was not installed"; exit 1; }
done

echo "-- a C program with find_package(robmat)"
cmake -S "$src/tests/install/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
out=$("$work/consumer/consumer")
[ "$out" = "MAD 1, module named" ] || { echo "FAIL: consumer printed: $out"; exit 1; }

echo "-- the same program with pkg-config"
cc "$src/tests/install/consumer/consumer.c" -DROBMAT_INSTALLED_MODULE="\"$(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --variable=module robmat)\"" \
  $(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --cflags --libs robmat) -o "$work/consumer-pc"
out=$(LD_LIBRARY_PATH=$prefix/lib "$work/consumer-pc")
[ "$out" = "MAD 1, module named" ] || { echo "FAIL: the pkg-config build printed: $out"; exit 1; }

echo "-- the installed program finds its module"
out=$(cd "$work" && "$prefix/bin/robmat" -e 'MAD([1; 2; 3; 4; 10])')
[ "$out" = "ans = 1" ] || { echo "FAIL: the installed robmat printed: $out"; exit 1; }

echo "-- pip install into a venv, import from another folder"
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
# pip builds in the source tree; with the libraries given it needs only the package's files.
mkdir "$work/src"
cp -r "$src/pyproject.toml" "$src/setup.py" "$src/README.md" "$src/python" "$work/src/"
ROBMAT_LIBRARY_DIR=$build/lib "$work/venv/bin/pip" install --no-build-isolation --no-index --quiet "$work/src"
out=$(cd "$work" && "$work/venv/bin/python" -c '
import robmat
print(robmat.mad([1, 2, 3, 4, 10]), robmat.__file__.startswith("'"$work/venv"'"))')
[ "$out" = "1.0 True" ] || { echo "FAIL: the pip-installed package printed: $out"; exit 1; }
echo "ok"
