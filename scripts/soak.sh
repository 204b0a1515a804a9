#!/usr/bin/env bash
# A long soak on demand: the server through MINUTES of chaos drawn from SEED (a new one when not
# given), in rounds of three minutes, each followed by a quiet period in which every OPC item must
# come to agree with the Corvid simulator's truth, the process watched meanwhile. Natively in one
# process (corvid-soak of the native-release build), or with --wine the product CorvidOpcDa.exe
# under Wine read through opcprobe (the windows build, in a Wine prefix of its own). Builds what it
# needs; keeps the logs in build/soak/. Its last line is the summary:
#   soak seed=S faults=F pushes=P items_compared=N mismatches=M rss_start_kb=.. rss_end_kb=..
#   threads_start=.. threads_end=.. handles_start=.. handles_end=.. log_bytes=.. alive=yes
# Exit code 0 when every round agreed and the process stayed sound.
#
#   scripts/soak.sh [--wine] MINUTES [SEED]
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  echo "usage: scripts/soak.sh [--wine] MINUTES [SEED]" >&2
  exit 2
}
wine=0
if [ "${1:-}" = --wine ]; then
  wine=1
  shift
fi
[[ ${1:-} =~ ^[1-9][0-9]*$ ]] || usage
minutes=$1
seed=${2:-$(($(date +%s) % 1000000))}
[[ $seed =~ ^[0-9]+$ ]] || usage

mkdir -p build/soak
build() {
  local preset=$1
  shift
  { cmake --preset "$preset" && cmake --build --preset "$preset" -j "$(nproc)" --target "$@"; } \
    >"build/soak/build-$preset.log" 2>&1 || {
    cat "build/soak/build-$preset.log"
    exit 1
  }
}

if [ "$wine" -eq 0 ]; then
  build native-release corvid-soak
  logs=build/soak/native-$seed
  rm -rf "$logs"
  exec build/native-release/src/tools/soak/corvid-soak --minutes "$minutes" --seed "$seed" \
    --folder "$logs"
fi

build windows CorvidOpcDa CorvidOpcProxy opcprobe corvidsim soakcheck
bin=build/windows/src
exec bash src/tools/soak/wine_soak.sh "$PWD/build/soak/wineprefix" "$PWD" \
  "$bin/server/CorvidOpcDa.exe" "$bin/idl/CorvidOpcProxy.dll" \
  "$bin/tools/opcprobe/opcprobe.exe" "$bin/tools/corvidsim/corvidsim.exe" \
  "$bin/tools/soak/soakcheck.exe" --seconds $((minutes * 60)) --round-seconds 180 \
  --seed "$seed" --logs "$PWD/build/soak/wine-$seed"
