#!/usr/bin/env bash
# Builds both builds and runs every test: native Debug (AddressSanitizer + UndefinedBehaviorSanitizer),
# native Release, and the Windows build (mingw-w64) under Wine. Installs missing packages first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)
summary=()
failed=0

run_preset() {
  local preset=$1
  shift
  echo "=== ${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== ${preset}: tests"
  local log="build/${preset}/ctest.log"
  set +e
  ctest --preset "$preset" "$@" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  set -e
  [ "$rc" -eq 0 ] || failed=1
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1 || true)
  summary+=("${preset}: ${line:-no test summary}")
}

wine_prefix="$PWD/build/windows/wineprefix"
stop_wine() { WINEPREFIX="$wine_prefix" wineserver -k >/dev/null 2>&1 || true; }

run_preset native-debug
run_preset native-release

mkdir -p build/windows
scripts/wine-prefix.sh "$wine_prefix"
trap stop_wine EXIT
WINEPREFIX="$wine_prefix" wineserver -p
# Start Wine's own services now, with their output going nowhere: started by the first test they
# would inherit CTest's output pipe and keep it open for ever.
WINEPREFIX="$wine_prefix" WINEDEBUG=-all wine cmd /c exit </dev/null >/dev/null 2>&1
run_preset windows

echo "=== summary"
total_passed=0
total_failed=0
for s in "${summary[@]}"; do
  echo "$s"
  if [[ $s =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    total_failed=$((total_failed + BASH_REMATCH[1]))
    total_passed=$((total_passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  fi
done
echo "${total_passed} passed, ${total_failed} failed"
exit "$failed"
