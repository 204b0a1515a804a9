#!/usr/bin/env bash
# The main job on Wine, from the installed program: builds the Windows programs and the installer
# (the `windows` preset), installs the product silently with CorvidOpcDa-<version>-setup.exe into
# a fresh Wine prefix under build/demo-wine/ (Program Files, the proxy/stub and the server
# registered, the data folder with its config.ini), points config.ini at corvidsim.exe with its
# built-in building, and shows the installed opcprobe listing the server, its status, browsing the
# items, reading them (type-1 and type-2), writing a setpoint that reaches the simulator as a
# control command, and printing the values live as the simulator changes them. The server is
# started by COM on the first activation and serves until the demo ends. The server's log is
# shown at the end.
#
# CORVID_DEMO_PORT picks another port than 3000; CORVID_DEMO_SECONDS how long the live values
# are printed (30); CORVID_WINDOWS_BUILD another configured mingw build folder than the preset's
# build/windows. Ctrl-C ends the demo early.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
build=${CORVID_WINDOWS_BUILD:-}
if [ -z "$build" ]; then
  build=build/windows
  cmake --preset windows >/dev/null
fi
cmake --build "$build" -j2 --target installer corvidsim

port=${CORVID_DEMO_PORT:-3000}
seconds=${CORVID_DEMO_SECONDS:-30}
bin=$(cd "$build" && pwd)
setup=$(ls "$bin"/CorvidOpcDa-*-setup.exe | head -1)
sim=$bin/src/tools/corvidsim/corvidsim.exe
probe='C:\Program Files\Corvid OPC DA\opcprobe.exe'
demo=$PWD/build/demo-wine
prefix=$demo/prefix
prog_id=Boreal.OPC.Corvid

export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
echo "== a fresh Wine prefix $prefix"
wineserver -k 2>/dev/null || true
rm -rf "$prefix"
scripts/wine-prefix.sh "$prefix"
# Wine and its services run with their output going nowhere (they outlive the commands).
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1

echo "== $(basename "$setup") /S: installs into C:\Program Files\Corvid OPC DA, registers the"
echo "   proxy/stub DLLs and the server, creates the data folder with a default config.ini"
wine "$setup" /S </dev/null >/dev/null 2>&1
ls "$prefix/drive_c/Program Files/Corvid OPC DA" "$prefix/drive_c/Program Files/Corvid OPC DA/x86"

data="$prefix/drive_c/ProgramData/Corvid OPC DA"
echo "== the installed config.ini ($data), with the simulator's port"
sed -i -e "s/^PORT=.*/PORT=$port\r/" -e "s/^TIMEOUT=.*/TIMEOUT=5000\r/" "$data/config.ini"
tr -d '\r' <"$data/config.ini"

sim_pid=
stop() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  # The server (started by COM, serving until ended) and Wine's services go with the prefix's
  # wineserver.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}
trap stop EXIT
trap 'exit 130' INT TERM

echo "== corvidsim.exe on 127.0.0.1:$port (the built-in building)"
wine "$sim" --port "$port" </dev/null >"$demo/corvidsim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do
  grep -q "127.0.0.1:$port" "$demo/corvidsim.out" 2>/dev/null && break
  sleep 0.2
done
if ! grep -q "127.0.0.1:$port" "$demo/corvidsim.out"; then
  cat "$demo/corvidsim.out"
  echo "corvidsim did not start (port $port busy? set CORVID_DEMO_PORT)" >&2
  exit 1
fi

# opcprobe without the console's CR. Its output goes to a file, not a pipe: the server that COM
# starts inherits it and would hold a pipe open for as long as it serves.
probe() {
  echo
  echo "\$ opcprobe $*"
  local rc=0
  wine "$probe" "$@" </dev/null >"$demo/opcprobe.out" 2>&1 || rc=$?
  tr -d '\r' <"$demo/opcprobe.out"
  return $rc
}
probe list
probe status "$prog_id"
# The items exist once the server has registered with the simulator and downloaded the building.
for _ in $(seq 50); do
  wine "$probe" browse "$prog_id" flat </dev/null >"$demo/opcprobe.out" 2>&1 || true
  grep -q 'L12.ITP.SP' "$demo/opcprobe.out" && break
  sleep 0.2
done
probe browse "$prog_id" flat
probe props "$prog_id" 1.1.1.1
probe props "$prog_id" L12.ITP.SP
items=(1.1.1.1 1.1.1.2 1.2.1.1 1.3.1.1 L12.ITP.T1 L12.ITP.SP L12.BLR.MODE L12.ITP.PUMP1)
probe read "$prog_id" "${items[@]}"

echo
echo "== a write: the setpoint goes to the simulator as control command 55, which answers with"
echo "   the new value (57)"
probe write "$prog_id" L12.ITP.SP=68.5
for _ in $(seq 50); do
  grep -q 'управление каналом' "$demo/corvidsim.out" && break
  sleep 0.2
done
grep 'управление каналом' "$demo/corvidsim.out" | tr -d '\r' || echo "(the simulator got no control command)"
sleep 1
probe read "$prog_id" L12.ITP.SP
echo
echo "== live values for $seconds s (OnDataChange), as corvidsim changes them"
# Printed as they arrive (the file grows while opcprobe runs).
rm -f "$demo/subscribe.out"
wine "$probe" subscribe "$prog_id" "$seconds" "${items[@]}" </dev/null >"$demo/subscribe.out" 2>&1 &
subscriber=$!
tail -n +1 -F --pid=$subscriber "$demo/subscribe.out" 2>/dev/null | tr -d '\r' || true
wait $subscriber || true

echo
echo "== the server's log ($data/protokol.log)"
tr -d '\r' <"$data/protokol.log" | iconv -f CP1251 -t UTF-8
echo
echo "== corvidsim's last lines"
tail -n 15 "$demo/corvidsim.out" | tr -d '\r'
