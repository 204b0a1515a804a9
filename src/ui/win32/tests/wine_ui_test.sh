#!/usr/bin/env bash
# The real CorvidOpcDa.exe under Wine with its windows on Xvfb, driven from outside by uidriver:
# hidden start, tray double click, close box, the operator's exit (one log line), the settings
# dialog writing config.ini, the log viewer opened and closed with the window (close box, tray
# double click, tray menu), and the end of the program when the server thread ends by itself
# (WAITFOROPCCLIENTS, no client). Screenshots
# of the window registered at corvidsim and not registered, and of the settings dialog, go to
# SHOTS_DIR.
#
# Usage: wine_ui_test.sh PREFIX SOURCE_DIR SHOTS_DIR SERVER_EXE UIDRIVER_EXE CORVIDSIM_EXE
set -u
prefix=$(realpath -m "$1") source_dir=$2 shots=$(realpath -m "$3") server=$4 driver=$5 sim=$6
. "$(dirname "$0")/ui_env.sh"

work=$(mktemp -d)
failures=0
server_pid=
sim_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  ui_stop
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

ui_prepare_prefix "$prefix" "$source_dir" || exit 1
ui_start_xvfb "$work" || exit 1
mkdir -p "$shots"

data="$prefix/drive_c/ProgramData/Corvid OPC DA"
log="$data/protokol.log"
main=TformMain
setup=TProgramSetupForm
viewer=TProtoViewForm
operator_line='WARNING	Завершение работы оператором'
end_line='INFO	\*\*\* Corvid OPC DA v2.2 завершение \*\*\*'

# uidriver with its output in UTF-8 without CR.
drv() {
  timeout 60 wine "$driver" "$@" </dev/null 2>>"$work/driver.err" | tr -d '\r'
  return "${PIPESTATUS[0]}"
}
log_text() { iconv -f cp1251 -t utf-8 "$log" 2>/dev/null; }
count_lines() { log_text | grep -c "$1"; }
fresh_data() {
  rm -rf "$data"
  mkdir -p "$data"
}
# write_config SETUP_LINES PORT
write_config() {
  printf '[SETUP]\r\n%b[CORVID]\r\nHOST=127.0.0.1\r\nPORT=%s\r\nNAME=CFG\r\nPASSWORD=\r\n' \
    "$1" "$2" >"$data/config.ini"
}
start_server() {
  wine "$server" </dev/null >"$work/server.out" 2>&1 &
  server_pid=$!
  drv wait "$main" 20000 >/dev/null || fail "the main window did not appear"
}
# Waits up to $1 tenths of a second for the server process to end.
wait_server_end() {
  local i
  for i in $(seq 1 "$1"); do
    kill -0 "$server_pid" 2>/dev/null || {
      wait "$server_pid" 2>/dev/null
      server_pid=
      return 0
    }
    sleep 0.1
  done
  return 1
}
screenshot() { drv screenshot "$1" "Z:$shots/$2" >/dev/null || fail "screenshot $2"; }

# A port where nothing listens: a connection attempt fails at once.
closed_port=1

# --- not registered: hidden start, close box, tray, the operator's exit -------------------------
fresh_data
write_config 'WAITFOROPCCLIENTS=0\r\n' "$closed_port"
start_server
drv visible "$main" && fail "the main window is visible at start"
drv tray-dblclick && drv wait-visible "$main" 1 5000 || fail "tray double click did not show it"
status=$(drv wait-change "$main" 102 " Не установлено" 15000) ||
  fail "no connection error shown (status: $status)"
echo "status: $status"
sleep 0.5
screenshot "$main" main_not_registered.png
drv screenshot-desktop "Z:$shots/desktop_not_registered.png" || fail "screenshot of the desktop"
drv command "$main" 202 && drv wait "$viewer" 10000 || fail "Протокол did not open the log viewer"
drv close "$main"
drv wait-visible "$main" 0 5000 || fail "the close box did not hide the window"
drv gone "$viewer" 5000 || fail "hiding the window did not close the log viewer"
kill -0 "$server_pid" 2>/dev/null || fail "the close box ended the program"
drv tray-dblclick && drv wait-visible "$main" 1 5000 || fail "tray double click after closing"
# Hidden from the tray (double click, then the menu entry): the log viewer goes with the window.
for hide in tray-dblclick menu; do
  drv command "$main" 202 && drv wait "$viewer" 10000 || fail "Протокол did not open the log viewer"
  if [ "$hide" = menu ]; then drv command "$main" 301; else drv tray-dblclick; fi
  drv wait-visible "$main" 0 5000 || fail "$hide did not hide the window"
  drv gone "$viewer" 5000 || fail "hiding the window by $hide did not close the log viewer"
  drv tray-dblclick && drv wait-visible "$main" 1 5000 || fail "tray double click after $hide"
done
pass "hidden start, close box and tray hide the window and the log viewer, tray double click shows"
drv command "$main" 203  # "Завершение работы"
wait_server_end 100 || fail "the exit button did not end the program"
[ "$(count_lines "$operator_line")" -eq 1 ] || fail "not exactly one operator line"
log_text | grep -A100 "$operator_line" | grep -q "$end_line" ||
  fail "no end line after the operator line"
pass "operator exit"

# --- registered at corvidsim: status, the settings dialog -------------------------------------
wine "$sim" --port 0 </dev/null >"$work/sim.out" 2>&1 &
sim_pid=$!
port=
for _ in $(seq 1 50); do
  port=$(grep -o '127.0.0.1:[0-9]*' "$work/sim.out" | head -1 | cut -d: -f2)
  [ -n "$port" ] && break
  sleep 0.2
done
[ -n "$port" ] || fail "corvidsim did not start"
fresh_data
# A negative wait shows as "5 секунд", an update period of 500 as checked: OK writes 5 and 1000.
write_config 'WAITFOROPCCLIENTS=-3\r\nUPDATETAGTIME=500\r\n' "$port"
start_server
drv tray-dblclick
drv wait-text "$main" 102 " Установлено" 20000 >/dev/null || fail "not registered at corvidsim"
tags=$(drv wait-change "$main" 103 " 0" 10000) || fail "no tags counted"
echo "tags: $tags"
sleep 1.2  # one more refresh, so that the rows are settled
screenshot "$main" main_registered.png
drv screenshot-desktop "Z:$shots/desktop_registered.png" || fail "screenshot of the desktop"
drv command "$main" 201
drv wait "$setup" 10000 || fail "Настройка did not open the settings dialog"
sleep 0.5
screenshot "$setup" setup_dialog.png
drv command "$setup" 1  # ОК
drv gone "$setup" 5000 || fail "ОК did not close the settings dialog"
config=$(iconv -f cp1251 -t utf-8 "$data/config.ini" | tr -d '\r')
for line in WAITFOROPCCLIENTS=5 UPDATETAGTIME=1000 MAXTAGCOUNT=10000 "PORT=$port" NAME=CFG \
  HOST=127.0.0.1; do
  grep -qx "$line" <<<"$config" || fail "config.ini lacks $line"
done
[ "$(count_lines 'INFO	Настройки записаны в файл: C:\\ProgramData\\Corvid OPC DA\\config.ini')" -eq 1 ] ||
  fail "no settings line in the log"
pass "settings dialog"
drv command "$main" 302  # the tray menu's "Завершение работы"
wait_server_end 100 || fail "the tray menu's exit did not end the program"
[ "$(count_lines "$operator_line")" -eq 1 ] || fail "not exactly one operator line (tray menu)"
pass "registered status and tray menu exit"
kill "$sim_pid" 2>/dev/null
sim_pid=

# --- the server thread ends by itself: the program follows within a second -------------------
fresh_data
write_config 'WAITFOROPCCLIENTS=5\r\n' "$closed_port"
started=$(date +%s.%N)
start_server
thread_end=
for _ in $(seq 1 300); do
  if log_text | grep -q "$end_line"; then
    thread_end=$(date +%s.%N)
    break
  fi
  sleep 0.05
done
[ -n "$thread_end" ] || fail "the server thread did not end after the client wait"
wait_server_end 50 || fail "the program did not end after its server thread"
ended=$(date +%s.%N)
if [ -n "$thread_end" ]; then
  awk -v s="$started" -v t="$thread_end" -v e="$ended" 'BEGIN {
    printf "thread ended %.1f s after start, program %.2f s after the thread\n", t - s, e - t
    exit !(t - s >= 4.5 && t - s < 12 && e - t < 1.5) }' ||
    fail "timing of the end after the client wait"
fi
[ "$(count_lines "$operator_line")" -eq 0 ] || fail "an operator line without the operator"
log_text | grep -q 'Ожидание подключения клиентов в течении 5 секунд...' || fail "no client wait line"
pass "the program ends with its server thread"

[ "$failures" -eq 0 ] && echo "ALL PASSED" || echo "$failures FAILURE(S)"
[ "$failures" -eq 0 ]
