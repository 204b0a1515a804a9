#!/usr/bin/env bash
# The main job: the product on Wine (scripts/demo-windows.sh): builds the Windows programs,
# starts corvidsim.exe with its built-in building, registers the proxy/stub and CorvidOpcDa.exe
# in a Wine prefix and shows opcprobe browsing, reading, writing and subscribing to the items.
# `scripts/demo.sh --native` runs the headless Linux server instead: builds the simulator and
# corvid-opcd, starts `corvidsim` with its built-in building and `corvid-opcd` against it, and
# shows the server's log as it grows (the registration, the downloads, the items being built)
# beside the simulator's own lines (the changes it pushes). Its data folder (protokol.log,
# config.ini) is build/demo/. Ctrl-C ends both; the server logs the operator's end.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" != --native ]; then
  exec scripts/demo-windows.sh
fi

scripts/install-deps.sh
cmake --preset native-release >/dev/null
cmake --build --preset native-release --target corvid-opcd corvidsim

port=${CORVID_DEMO_PORT:-3000}
export PROGRAMDATA="$PWD/build/demo"
data="$PROGRAMDATA/Corvid OPC DA"
mkdir -p "$data"
rm -f "$data/protokol.log"
printf '[CORVID]\r\nHOST=127.0.0.1\r\nPORT=%s\r\nNAME=CFG\r\nPASSWORD=\r\nTIMEOUT=5000\r\n' "$port" \
  > "$data/config.ini"

bin=build/native-release/src
"$bin/tools/corvidsim/corvidsim" --port "$port" > "$PROGRAMDATA/corvidsim.out" 2>&1 &
sim=$!
sleep 0.5
if ! kill -0 $sim 2>/dev/null; then
  cat "$PROGRAMDATA/corvidsim.out"
  echo "corvidsim did not start (port $port busy? set CORVID_DEMO_PORT)" >&2
  exit 1
fi

"$bin/server/corvid-opcd" &
server=$!
stop() { kill -TERM $server 2>/dev/null || true; }
trap stop INT TERM
for _ in $(seq 50); do [ -f "$data/protokol.log" ] && break; sleep 0.1; done
# The log is windows-1251 with CR LF: shown line by line in UTF-8.
tail -n +1 -F "$data/protokol.log" 2>/dev/null | while IFS= read -r line; do
  printf '%s\n' "${line%$'\r'}" | iconv -f CP1251 -t UTF-8
done &
tailer=$!
# What the simulator sends: the state changes that keep the items current.
tail -n +1 -F "$PROGRAMDATA/corvidsim.out" 2>/dev/null | sed -u 's/^/[corvidsim] /' &
sim_tailer=$!
# wait returns early when a signal arrives; keep waiting until the server has ended.
while kill -0 $server 2>/dev/null; do wait $server || true; done
kill -TERM $sim 2>/dev/null || true
wait $sim 2>/dev/null || true
sleep 0.3
kill $tailer $sim_tailer 2>/dev/null || true
