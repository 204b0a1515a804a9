#!/usr/bin/env bash
# The OnDataChange benchmark under Wine, on demand (not a test): corvidsim.exe --load ITEMS
# streams the states of ITEMS type-1 channels (as fast as the link takes them, or RATE a second),
# CorvidOpcDa.exe serves them, and CLIENTS opcbench.exe processes at once each add all ITEMS
# items in one AddItems, read them once (sync, from the cache) and count the item values that
# OnDataChange delivers for SECONDS, with the delay of each from its push by the simulator to its
# OnDataChange. The summary gives the values a second of all clients together, the median and
# 99th percentile delay, and the server's share of a core meanwhile.
#
# Usage: wine_opc_bench.sh [BUILD_DIR (build/windows)] [ITEMS (10000)] [SECONDS (10)]
#                          [UPDATE_MS (1000)] [GROUPS (1)] [CLIENTS (1)] [RATE (0: unlimited)]
# Ten clients of 10,000 items each changing every second:
#   wine_opc_bench.sh build/windows 10000 20 1000 1 10 10000
# The server revises update rates up to 1000 ms: one group of ITEMS items gets at most ITEMS
# values a second, GROUPS groups of the same items GROUPS times that.
#
# SERVERS="new=build/windows/src/server/CorvidOpcDa.exe base=../scale-base/build/windows/src/
# server/CorvidOpcDa.exe" measures several builds of the server one after the other in the same
# run (default: the one of BUILD_DIR). IDLE_SECONDS=30 also measures each server's share of a
# core while it is registered at the built-in building (its timeline left out) with no client and
# nothing changing (the
# server process, and Wine's wineserver beside it); with NATIVE_SIM=build/native-release/src/
# tools/corvidsim/corvidsim the simulator of that measurement runs natively, so that the
# wineserver's share is the server's own.
# BUILD_DIR is a configured mingw build; the programs are built there when missing. The Wine
# prefix is BUILD_DIR/bench-wineprefix (apart from the tests' prefix).
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../../../.." && pwd)
build=$(cd "${1:-$source_dir/build/windows}" && pwd)
items=${2:-10000}
seconds=${3:-10}
update_ms=${4:-1000}
groups=${5:-1}
clients=${6:-1}
rate=${7:-0}
idle_seconds=${IDLE_SECONDS:-0}

cmake --build "$build" -j2 --target CorvidOpcDa CorvidOpcProxy corvidsim opcbench >/dev/null
bin=$build/src
servers=${SERVERS:-"this=$bin/server/CorvidOpcDa.exe"}
export WINEPREFIX=$build/bench-wineprefix WINEARCH=win64 WINEDEBUG=-all \
  WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
"$source_dir/scripts/wine-prefix.sh" "$WINEPREFIX"
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1
wine regsvr32 /s "$bin/idl/CorvidOpcProxy.dll" </dev/null >/dev/null 2>&1

work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
data="$WINEPREFIX/drive_c/ProgramData/Corvid OPC DA"
mkdir -p "$data"

# CPU seconds of all threads of a process (nanosecond resolution).
cpu_of() {
  cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{s += $1} END {printf "%.6f", s / 1e9}'
}
# The Linux process of the running server, and the wineserver of this prefix.
server_pid() {
  local pid
  for pid in $(pgrep -f 'CorvidOpcDa\.exe'); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" &&
      { echo "$pid"; return; }
  done
}
wineserver_pid() {
  local dir pid
  dir=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
  for pid in $(pgrep -f 'wineserver(64)? '); do
    case "$(readlink "/proc/$pid/cwd" 2>/dev/null)" in */"$dir") echo "$pid"; return;; esac
  done
}
# Share of a core of processes over SECONDS: "server% wineserver%".
cpu_share() {
  local pid=$1 ws=$2 s=$3 c0 w0 t0 c1 w1 t1
  c0=$(cpu_of "$pid"); w0=$(cpu_of "$ws"); t0=$(date +%s.%N)
  sleep "$s"
  c1=$(cpu_of "$pid"); w1=$(cpu_of "$ws"); t1=$(date +%s.%N)
  awk -v c0="$c0" -v c1="$c1" -v w0="$w0" -v w1="$w1" -v t0="$t0" -v t1="$t1" \
    'BEGIN {printf "%.3f %.3f", 100 * (c1 - c0) / (t1 - t0), 100 * (w1 - w0) / (t1 - t0)}'
}
start_sim() {  # [--native] corvidsim arguments
  if [ "$1" = --native ]; then
    shift
    "$NATIVE_SIM" --port 0 "$@" </dev/null >"$work/sim.out" 2>&1 &
  else
    wine "$bin/tools/corvidsim/corvidsim.exe" --port 0 "$@" </dev/null >"$work/sim.out" 2>&1 &
  fi
  sim_pid=$!
  port=
  for _ in $(seq 1 100); do
    port=$(grep -o '127.0.0.1:[0-9]*' "$work/sim.out" | head -1 | cut -d: -f2) || true
    [ -n "$port" ] && break
    sleep 0.2
  done
  [ -n "$port" ] || { echo "corvidsim did not start" >&2; exit 1; }
}
stop_all() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  [ -n "$sim_pid" ] && { kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; }
  sim_pid=
  wineserver -p </dev/null >/dev/null 2>&1
  wine regsvr32 /s "$bin/idl/CorvidOpcProxy.dll" </dev/null >/dev/null 2>&1
}
config() {  # MAXTAGCOUNT WAITFOROPCCLIENTS
  rm -f "$data/protokol.log"
  printf '[SETUP]\r\nMAXTAGCOUNT=%s\r\nWAITFOROPCCLIENTS=%s\r\n[CORVID]\r\nHOST=127.0.0.1\r\nPORT=%s\r\nNAME=CFG\r\nPASSWORD=\r\n' \
    "$1" "$2" "$port" >"$data/config.ini"
}
log_has() {
  [ -f "$data/protokol.log" ] && tr -d '\r' <"$data/protokol.log" | iconv -f CP1251 -t UTF-8 | grep -q "$1"
}

summary=()
echo "items=$items seconds=$seconds update_ms=$update_ms groups=$groups clients=$clients rate=$rate"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
for entry in $servers; do
  label=${entry%%=*}
  exe=${entry#*=}
  wine "$exe" /r </dev/null >/dev/null 2>&1

  idle="-"
  if [ "$idle_seconds" != 0 ]; then
    # The built-in building without its timeline: nothing changes.
    if [ -n "${NATIVE_SIM:-}" ]; then
      "$NATIVE_SIM" --dump-scenario "$work/building.json" >/dev/null
    else
      wine "$bin/tools/corvidsim/corvidsim.exe" --dump-scenario "$work/building.json" \
        </dev/null >/dev/null 2>&1
    fi
    python3 -c 'import json, sys
s = json.load(open(sys.argv[1], encoding="utf-8"))
s["timeline"]["events"] = []
json.dump(s, open(sys.argv[2], "w", encoding="utf-8"), ensure_ascii=False)' \
      "$work/building.json" "$work/quiet.json"
    if [ -n "${NATIVE_SIM:-}" ]; then
      start_sim --native --scenario "$work/quiet.json"
    else
      start_sim --scenario "$work/quiet.json"
    fi
    config 10000 0
    wine "$exe" </dev/null >/dev/null 2>&1 &
    for _ in $(seq 1 600); do log_has 'Текущее состояние .* каналов 2 получено' && break; sleep 0.2; done
    sleep 2
    idle=$(cpu_share "$(server_pid)" "$(wineserver_pid)" "$idle_seconds")
    stop_all
  fi

  load=(--load "$items")
  [ "$rate" != 0 ] && load+=(--rate "$rate")
  start_sim "${load[@]}"
  config "$items" 2
  rc=0
  pids=()
  for c in $(seq 1 "$clients"); do
    timeout $((seconds + 300)) wine "$bin/tools/opcprobe/opcbench.exe" Boreal.OPC.Corvid "$items" \
      "$seconds" "$update_ms" "$groups" </dev/null >"$work/client$c.out" 2>&1 &
    pids+=($!)
    # The first client starts the server; the others come once its class is registered.
    if [ "$c" = 1 ]; then
      for _ in $(seq 1 300); do log_has 'Ожидание подключения клиентов' && break; sleep 0.2; done
    fi
  done
  # The server's CPU while every client counts: from when all have their items and the first
  # full update has passed.
  for _ in $(seq 1 1500); do
    [ "$(grep -l '^groups' "$work"/client*.out 2>/dev/null | wc -l)" -ge "$clients" ] && break
    sleep 0.2
  done
  sleep "$(awk -v u="$update_ms" 'BEGIN {print (2 * u + 1000) / 1000}')"
  busy=$(cpu_share "$(server_pid)" "$(wineserver_pid)" "$(( seconds > 3 ? seconds - 2 : 1 ))")
  for pid in "${pids[@]}"; do wait "$pid" || rc=$?; done
  echo "=== $label ($exe)"
  for c in $(seq 1 "$clients"); do
    tr -d '\r' <"$work/client$c.out" | grep -E '^(items_added|ondatachange_values_per_s|delay_ms_)' |
      sed "s/^/client $c: /"
  done
  echo "--- corvidsim (state records sent)"
  grep 'состояний отправлено' "$work/sim.out" | tail -n 2 | tr -d '\r'
  echo "--- server log (registration, download)"
  tr -d '\r' <"$data/protokol.log" | iconv -f CP1251 -t UTF-8 |
    grep -E 'INFO	(Конфигурация|Построение|Текущее)' || true
  result=$(cat "$work"/client*.out | tr -d '\r' | python3 -c '
import sys
total = 0.0
hist = {}
for line in sys.stdin:
    name, _, value = line.rstrip("\n").partition("\t")
    if name == "ondatachange_values_per_s":
        total += float(value)
    elif name == "delay_histogram" and value:
        for pair in value.split(","):
            ms, n = pair.split(":")
            hist[int(ms)] = hist.get(int(ms), 0) + int(n)
count = sum(hist.values())
def pct(f):
    seen = 0
    for ms in sorted(hist):
        seen += hist[ms]
        if seen >= f * count:
            return ms
    return -1
print("%.0f %d %d" % (total, pct(0.5), pct(0.99)))
')
  read -r per_s median p99 <<<"$result"
  read -r busy_server busy_ws <<<"$busy"
  idle_server=- idle_ws=-
  [ "$idle" != "-" ] && read -r idle_server idle_ws <<<"$idle"
  summary+=("$(printf '%-10s %12s %10s %10s %12s %12s %12s %12s' "$label" "$per_s" "$median" "$p99" \
    "$busy_server" "$busy_ws" "$idle_server" "$idle_ws")")
  stop_all
done
echo
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-10s %12s %10s %10s %12s %12s %12s %12s\n' server "values/s" "delay p50" "delay p99" \
  "CPU% server" "CPU% wsrv" "idle% srv" "idle% wsrv"
printf '%s\n' "${summary[@]}"
exit "$rc"
