#!/usr/bin/env bash
# Fuzzes the Corvid link's receive path with libFuzzer (on demand, not part of the tests):
# configures a clang build in build/fuzz-clang (-DCORVID_FUZZ=ON, AddressSanitizer and
# UndefinedBehaviorSanitizer), builds the target and its seed generator, writes the seeds, and runs
# ONE fuzzing process for the given number of seconds. Prints executions, executions per second,
# coverage (cov: edges) and features (ft).
#
# Usage: scripts/fuzz.sh [seconds=60] [more libFuzzer options...]
# The corpus grows in build/fuzz-clang/fuzz/corpus; crashes and hangs are written to
# build/fuzz-clang/fuzz/artifacts/ and replayed with
#   CORVID_FUZZ_LOG=/tmp/fuzz.log build/fuzz-clang/src/opc/fuzz/receive_fuzzer <artifact>
# (the log of the replay goes to that file; while fuzzing it goes to /dev/null).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true

scripts/install-deps.sh fuzz
cxx=${CXX_FUZZ:-clang++}
cc=${CC_FUZZ:-clang}
if ! command -v "$cxx" >/dev/null; then
  echo "fuzz.sh: $cxx not found (Debian: apt-get install clang libclang-rt-14-dev)" >&2
  exit 1
fi
if ! echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' |
  "$cxx" -x c++ -fsanitize=fuzzer - -o /dev/null 2>/dev/null; then
  echo "fuzz.sh: $cxx has no libFuzzer runtime (Debian: apt-get install libclang-rt-14-dev," \
    "or the libclang-rt-N-dev of the installed clang)" >&2
  exit 1
fi

build=build/fuzz-clang
work=$build/fuzz
mkdir -p "$work/corpus" "$work/artifacts"

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=$cc CXX=$cxx cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCORVID_SANITIZE=ON -DCORVID_FUZZ=ON -DCORVID_BENCHMARKS=OFF >/dev/null
fi
cmake --build "$build" --target receive_fuzzer receive_fuzz_seeds -j 2

"$build/src/opc/fuzz/receive_fuzz_seeds" "$work/seeds"

log=$work/fuzz.log
echo "=== fuzzing for ${seconds} s (log: $log)"
set +e
# One process (the machine's cores are shared). A command that runs longer than 10 s is a hang.
"$build/src/opc/fuzz/receive_fuzzer" "$work/corpus" "$work/seeds" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
  -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$@" >"$log" 2>&1
rc=$?
set -e

grep -E '^#[0-9]+.*(INITED|DONE)' "$log" | tail -n 2 || true
grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' \
  "$log" || true
corpus=$(find "$work/corpus" -type f | wc -l)
echo "corpus: $corpus inputs in $work/corpus"
if [ "$rc" -ne 0 ]; then
  echo "=== the fuzzer stopped with $rc: see $log and $work/artifacts/" >&2
  grep -E 'ERROR|receive_fuzzer:|SUMMARY' "$log" | head -n 20 >&2 || true
fi
exit "$rc"
