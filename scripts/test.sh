#!/usr/bin/env bash
# The whole test suite: native tests under AddressSanitizer and UBSan, fuzz
# targets for a bounded time, the Windows tests under Wine (windows on an
# Xvfb display) and the stand-ins' own tests. Sets up what is missing first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
start=$(date +%s)
fuzz_seconds=${TESSALY_FUZZ_SECONDS:-30}

"$root/scripts/setup-host.sh"
echo "== build (log: build/build.log)"
mkdir -p "$root/build"
if ! "$root/scripts/build.sh" all >"$root/build/build.log" 2>&1; then
  grep -E 'error|FAILED' "$root/build/build.log" | head -n 40
  tail -n 20 "$root/build/build.log"
  echo "total: 0 passed, 1 failed"
  exit 1
fi

failed=0
summary=()
# run_ctest NAME TREE CTEST-ARGS...: one CTest run, its log in build/; the
# cases are counted from the JUnit reports the run leaves in the tree's
# test-reports folder (cleared by clear_reports before a tree's first run).
run_ctest() {
  local name=$1 dir=$2
  shift 2
  echo "== $name tests"
  local log=$root/build/ctest-$name.log
  if ctest --test-dir "$dir" --output-on-failure --timeout 900 "$@" 2>&1 | tee "$log"; then :; fi
  if ! grep -q '100% tests passed' "$log"; then
    failed=1
  fi
}
clear_reports() { rm -rf "$1/test-reports" && mkdir -p "$1/test-reports"; }
ctest_line() { grep -E 'tests passed|tests failed' "$root/build/ctest-$1.log" | tail -n 1; }

clear_reports "$root/build/native"
run_ctest native "$root/build/native" -j 2 -LE fuzz
summary+=("native: $(python3 "$root/scripts/count-cases.py" "$root/build/native/test-reports") ($(ctest_line native))")

echo "== fuzz (${fuzz_seconds}s each)"
# Each fuzz target is a CTest test labelled "fuzz" in the fuzz tree; they
# run side by side, each for its bounded time.
cmake -S "$root" -B "$root/build/fuzz" -DTESSALY_FUZZ_SECONDS="$fuzz_seconds" >/dev/null
ctest --test-dir "$root/build/fuzz" -L fuzz -j 3 --output-on-failure 2>&1 | tee "$root/build/ctest-fuzz.log" || true
fuzz_total=$(sed -n 's/.*tests failed out of \([0-9]*\)/\1/p' "$root/build/ctest-fuzz.log" | tail -n 1)
fuzz_fail=$(sed -n 's/.*, \([0-9]*\) tests failed out of.*/\1/p' "$root/build/ctest-fuzz.log" | tail -n 1)
fuzz_total=${fuzz_total:-0} fuzz_fail=${fuzz_fail:-0}
fuzz_pass=$((fuzz_total - fuzz_fail))
[ "$fuzz_fail" = 0 ] || failed=1
summary+=("fuzz: $fuzz_pass passed, $fuzz_fail failed")

# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
trap tessaly_wine_down EXIT
# The display first: Wine's desktop process starts with the warm-up and
# keeps the display it found.
tessaly_display_up
tessaly_wine_up fresh
# The product is the 32-bit tree; where 32-bit code cannot run, its tests
# run from the 64-bit build of the same sources.
wintree=$root/build/win
[ "$WINEARCH" = win64 ] && wintree=$root/build/win64
echo "== Windows tests run from $(basename "$wintree") under $WINEARCH Wine"
run_ctest static "$root/build/win" -L static
static_pass=$(sed -n 's/.* 0 tests failed out of \([0-9]*\)/\1/p' "$root/build/ctest-static.log")
static_pass=${static_pass:-0}
# These are checks of the built files, not GoogleTest programs: count them
# from CTest's own line.
summary+=("static: $static_pass passed ($(ctest_line static))")
clear_reports "$wintree"
# The Windows tests share one prefix and write beside their executables, so
# they run one at a time. The end-to-end cases each bring their own world,
# Wine prefix and display, and spend most of their time waiting on Wine and
# the network: they run side by side, beside the others; their output
# follows once both are done.
echo "== end-to-end tests (beside the others; log: build/ctest-end-to-end.log)"
ctest --test-dir "$wintree" --output-on-failure --timeout 900 -L e2e \
  -j "${TESSALY_E2E_JOBS:-3}" >"$root/build/ctest-end-to-end.log" 2>&1 &
e2e_pid=$!
run_ctest windows "$wintree" -LE 'static|e2e'
wait "$e2e_pid" || true
echo "== end-to-end tests"
cat "$root/build/ctest-end-to-end.log"
grep -q '100% tests passed' "$root/build/ctest-end-to-end.log" || failed=1
summary+=("windows: $(python3 "$root/scripts/count-cases.py" "$wintree/test-reports") \
(unit and window tests: $(ctest_line windows); end-to-end: $(ctest_line end-to-end))")

py_pass=0 py_fail=0
if [ -d "$root/standins" ]; then
  for suite in "$root"/standins/*/; do
    if ls "$suite"test_*.py >/dev/null 2>&1; then
      name=$(basename "$suite")
      echo "== stand-in $name tests"
      if python3 -m unittest discover -s "$suite" -p 'test_*.py' 2>&1 | tee "$root/build/unittest-$name.log" | tail -n 5; then :; fi
      ran=$(sed -n 's/^Ran \([0-9]*\) tests\?.*/\1/p' "$root/build/unittest-$name.log" | tail -n 1)
      if tail -n 3 "$root/build/unittest-$name.log" | grep -q '^OK'; then
        py_pass=$((py_pass + ${ran:-0}))
      else
        bad=$(sed -n 's/^FAILED (\(failures\|errors\)=\([0-9]*\).*/\2/p' "$root/build/unittest-$name.log" | tail -n 1)
        py_fail=$((py_fail + ${bad:-1})) py_pass=$((py_pass + ${ran:-0} - ${bad:-1}))
        failed=1
      fi
      summary+=("stand-in $name: $(grep -E '^Ran [0-9]+ tests' "$root/build/unittest-$name.log" | tail -n 1)")
    fi
  done
fi

echo "== summary ($(($(date +%s) - start)) s)"
printf '%s\n' "${summary[@]}"
# One closing line over everything that ran.
read -r p _ f _ < <(python3 "$root/scripts/count-cases.py" "$root/build/native/test-reports" \
  "$wintree/test-reports" | tr -d ',')
p=$((p + static_pass))
p=$((p + fuzz_pass + py_pass)) f=$((f + fuzz_fail + py_fail))
[ $failed = 0 ] || [ $f -gt 0 ] || f=1
echo "total: $p passed, $f failed"
exit $failed
