#!/usr/bin/env bash
# `make test`: the whole suite against the x86_64 build under the 64-bit Wine,
# then against the i686 build (the original 32-bit target) under the 32-bit
# Wine, each in a prefix of its own. Headless unless TAVOLIN_SHOW is set.
# A failure in either fails the run.
set -uo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
[ -z "${TAVOLIN_SHOW:-}" ] && export TAVOLIN_HEADLESS=1

passed=0; failed=0
suite() {  # BITS CMAKE_DIR
  local start=$SECONDS rc log
  log=$(mktemp)
  TAVOLIN_WINE=$1 "$top/tools/run.sh" ctest --test-dir "$2" --output-on-failure --timeout 600 | tee "$log"
  rc=${PIPESTATUS[0]}
  # "N% tests passed, F tests failed out of T"
  read -r f t < <(sed -n 's/.* \([0-9][0-9]*\) tests failed out of \([0-9][0-9]*\).*/\1 \2/p' "$log" | tail -1)
  rm -f "$log"
  if [ -n "${t:-}" ]; then passed=$((passed + t - f)); failed=$((failed + f)); elif [ $rc -ne 0 ]; then failed=$((failed + 1)); fi
  echo "tests: the ${1}-bit build took $((SECONDS - start)) s (exit $rc)"
  return $rc
}

suite 64 "$top/build/cmake-x64"; rc64=$?
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  suite 32 "$top/build/win32/cmake"; rc32=$?
else
  echo "tests: the 32-bit build SKIPPED: this kernel cannot run the 32-bit Wine (/usr/lib/wine/wine)"
  rc32=0
fi
echo "both builds: $passed passed, $failed failed"
[ $rc64 -eq 0 ] && [ $rc32 -eq 0 ]
