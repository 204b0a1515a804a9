#!/usr/bin/env bash
# The main job: builds the headless server and runs it on its defaults, with its data folder
# (protokol.log, config.ini) under build/demo/. The log is shown as it grows; Ctrl-C ends the
# server, which logs the operator's end.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset native-release >/dev/null
cmake --build --preset native-release --target corvid-opcd

export PROGRAMDATA="$PWD/build/demo"
mkdir -p "$PROGRAMDATA"
log="$PROGRAMDATA/Corvid OPC DA/protokol.log"

build/native-release/src/server/corvid-opcd &
server=$!
trap 'kill -TERM $server 2>/dev/null || true' INT TERM
for _ in $(seq 50); do [ -f "$log" ] && break; sleep 0.1; done
tail -n 0 -F "$log" 2>/dev/null | iconv -f CP1251 -t UTF-8 &
tailer=$!
# wait returns early when a signal arrives; keep waiting until the server has ended.
while kill -0 $server 2>/dev/null; do wait $server || true; done
sleep 0.3
kill $tailer 2>/dev/null || true
