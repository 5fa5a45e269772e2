#!/usr/bin/env bash
# Golden listings: runs each robmat script with the robmat program and compares its standard
# output and standard error with the saved NAME.out and NAME.err, and its exit status.
#   run_golden.sh ROBMAT_PROGRAM MODULE [SCRIPT.rm ...]     (default: every *.rm here)
# ROBMAT_REGOLD=1 rewrites the saved files instead of comparing.
# Scripts run in a scratch directory holding two links, data/ (the repository's data) and
# golden/ (this directory), so paths in scripts and messages do not depend on the checkout.
# Directives in a script's comment lines:
#   % exit: N     expected exit status (default 0)
#   % args: ...   program arguments put before the script path
#   % run: ...    the whole argument list; the script itself is not passed
#   % stdin       the script is fed on standard input instead of named
# Exit status: 0 all match, 1 a mismatch, 77 (skipped) when saved files are missing.
set -u
if [ $# -lt 2 ]; then
  echo "usage: $0 ROBMAT_PROGRAM MODULE [SCRIPT.rm ...]" >&2
  exit 2
fi
prog=$(realpath "$1")
module=$(realpath -m "$2")
shift 2
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
if [ $# -eq 0 ]; then set -- "$here"/*.rm; fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failed=0
unsaved=()
for script in "$@"; do
  name=$(basename "$script" .rm)
  run_dir="$work/$name"
  mkdir -p "$run_dir"
  ln -s "$repo/data" "$run_dir/data"
  ln -s "$here" "$run_dir/golden"
  directive() { sed -n "s/^% $1: *//p" "$script" | head -n 1; }
  expected_rc=$(directive exit)
  expected_rc=${expected_rc:-0}
  stdin=/dev/null
  if grep -q '^% stdin' "$script"; then
    eval "set -- $(directive args)"
    stdin="$script"
  elif [ -n "$(directive run)" ]; then
    eval "set -- $(directive run)"
  else
    eval "set -- $(directive args)"
    set -- "$@" "golden/$name.rm"
  fi
  case " $* " in
    *" --module "*) ;;
    *) set -- --module "$module" "$@" ;;
  esac
  (cd "$run_dir" && env -u ROBMAT_MODULE LC_ALL=C "$prog" "$@" >"$run_dir/out" 2>"$run_dir/err" <"$stdin")
  rc=$?
  if [ "${ROBMAT_REGOLD:-0}" = 1 ]; then
    cp "$run_dir/out" "$here/$name.out"
    cp "$run_dir/err" "$here/$name.err"
    echo "regold $name (exit $rc)"
    if [ "$rc" != "$expected_rc" ]; then
      echo "  note: exit status $rc, the script expects $expected_rc" >&2
      failed=1
    fi
    continue
  fi
  if [ ! -f "$here/$name.out" ] || [ ! -f "$here/$name.err" ]; then
    unsaved+=("$name")
    continue
  fi
  ok=1
  if [ "$rc" != "$expected_rc" ]; then
    echo "FAIL $name: exit status $rc, expected $expected_rc"
    ok=0
  fi
  if ! diff -u --label "$name.out (saved)" --label "$name.out (now)" "$here/$name.out" "$run_dir/out"; then ok=0; fi
  if ! diff -u --label "$name.err (saved)" --label "$name.err (now)" "$here/$name.err" "$run_dir/err"; then ok=0; fi
  if [ $ok = 1 ]; then echo "ok   $name"; else failed=1; fi
done

if [ $failed = 1 ]; then exit 1; fi
if [ ${#unsaved[@]} -gt 0 ]; then
  echo "SKIP no saved listing yet for: ${unsaved[*]} (make them with ROBMAT_REGOLD=1 and check them)"
  exit 77
fi
exit 0
