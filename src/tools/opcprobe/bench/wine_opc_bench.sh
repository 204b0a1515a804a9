#!/usr/bin/env bash
# The OnDataChange benchmark under Wine, on demand (not a test): corvidsim.exe --load ITEMS
# streams the states of ITEMS type-1 channels as fast as the link takes them, CorvidOpcDa.exe
# serves them, and opcbench.exe adds all ITEMS items in one AddItems, reads them once (sync, from
# the cache) and counts the item values that OnDataChange delivers for SECONDS.
#
# Usage: wine_opc_bench.sh [BUILD_DIR (build/windows)] [ITEMS (10000)] [SECONDS (10)]
#                          [UPDATE_MS (1000)] [GROUPS (1)]
# The server revises update rates up to 1000 ms: one group of ITEMS items gets at most ITEMS
# values a second, GROUPS groups of the same items GROUPS times that.
# BUILD_DIR is a configured mingw build; the programs are built there when missing. The Wine
# prefix is BUILD_DIR/bench-wineprefix (apart from the tests' prefix).
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../../../.." && pwd)
build=$(cd "${1:-$source_dir/build/windows}" && pwd)
items=${2:-10000}
seconds=${3:-10}
update_ms=${4:-1000}
groups=${5:-1}

cmake --build "$build" -j2 --target CorvidOpcDa CorvidOpcProxy corvidsim opcbench >/dev/null
bin=$build/src
export WINEPREFIX=$build/bench-wineprefix WINEARCH=win64 WINEDEBUG=-all \
  WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
"$source_dir/scripts/wine-prefix.sh" "$WINEPREFIX"
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1

work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

wine regsvr32 /s "$bin/idl/CorvidOpcProxy.dll" </dev/null >/dev/null 2>&1
wine "$bin/server/CorvidOpcDa.exe" /r </dev/null >/dev/null 2>&1
wine "$bin/tools/corvidsim/corvidsim.exe" --port 0 --load "$items" </dev/null >"$work/sim.out" 2>&1 &
sim_pid=$!
port=
for _ in $(seq 1 50); do
  port=$(grep -o '127.0.0.1:[0-9]*' "$work/sim.out" | head -1 | cut -d: -f2) || true
  [ -n "$port" ] && break
  sleep 0.2
done
[ -n "$port" ] || { echo "corvidsim did not start" >&2; exit 1; }
data="$WINEPREFIX/drive_c/ProgramData/Corvid OPC DA"
mkdir -p "$data"
rm -f "$data/protokol.log"
printf '[SETUP]\r\nMAXTAGCOUNT=%s\r\nWAITFOROPCCLIENTS=2\r\n[CORVID]\r\nHOST=127.0.0.1\r\nPORT=%s\r\nNAME=CFG\r\nPASSWORD=\r\n' \
  "$items" "$port" >"$data/config.ini"

echo "items=$items seconds=$seconds update_ms=$update_ms groups=$groups"
rc=0
timeout $((seconds + 180)) wine "$bin/tools/opcprobe/opcbench.exe" Boreal.OPC.Corvid "$items" \
  "$seconds" "$update_ms" "$groups" </dev/null 2>&1 | tr -d '\r' || rc=$?
echo "--- corvidsim (state records sent)"
grep 'состояний отправлено' "$work/sim.out" | tail -n 3 | tr -d '\r'
echo "--- server log (registration, download)"
tr -d '\r' <"$data/protokol.log" | iconv -f CP1251 -t UTF-8 | grep -E 'INFO	(Конфигурация|Построение|Текущее)' || true
exit "$rc"
