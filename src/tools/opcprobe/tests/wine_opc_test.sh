#!/usr/bin/env bash
# The product under Wine, end to end: the proxy/stub's registration (both registry views, never
# over another proxy), registration ("/r", "/u") in both views, activation by ProgID, status,
# browse, properties, reads, data changes, writes, every string out-parameter through the
# proxy/stub, the bad-argument matrix and the COM client checks (opc_com_client), the client
# wait of WAITFOROPCCLIENTS, a killed client not keeping the server alive, the Corvid link
# dropping and coming back (qualities, activation count, client count), the activation count as a
# client activates and deactivates items. CorvidOpcDa.exe is fed by corvidsim.exe on loopback.
#
# Usage: wine_opc_test.sh PREFIX SOURCE_DIR SERVER_EXE PROXY_DLL OPCPROBE_EXE CORVIDSIM_EXE
#                         COM_CLIENT_EXE PROXY_DLL_X86
set -u
prefix=$1 source_dir=$2 server=$3 proxy=$4 probe=$5 sim=$6 com_client=$7 proxy_x86=$8

export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
"$source_dir/scripts/wine-prefix.sh" "$prefix" || exit 1
# A fresh Wine (a server killed earlier leaves a stale class registration that only a new
# wineserver forgets), and its services, with their output going nowhere (they outlive this
# script).
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1

work=$(mktemp -d)
data="$prefix/drive_c/ProgramData/Corvid OPC DA"
log="$data/protokol.log"
prog_id=Boreal.OPC.Corvid
clsid='{5B1E7D42-93A0-4C6F-8E21-0D4A7C9B3F16}'
failures=0
sim_pid=

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
pass() { echo "ok: $*"; }

cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  rm -f "$data/config.ini"
  # Whatever is left in the prefix (a server that did not end) goes; Wine and its services are
  # started again with their output going nowhere, as the test run had them.
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  wineserver -p </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

# The log in UTF-8 from line $1 on.
log_since() { tail -n +"$1" "$log" 2>/dev/null | iconv -f cp1251 -t utf-8; }
log_lines() { [ -f "$log" ] && wc -l <"$log" || echo 0; }
# $1: the key; $2: a registry view (/reg:32), if not the 64-bit one.
key_exists() { wine reg query "$1" ${2:+"$2"} >/dev/null 2>&1; }
# A client that meets a server on its way out is refused ("cannot activate", exit 2): the server
# has stopped serving, but Wine still hands out its class object until the server withdraws it
# (Wine does not suspend class objects when a server's last reference goes). Such a client tries
# again once that server is gone, as a client would. $1: opcprobe's exit code, $2: its output.
refused() { [ "$1" -eq 2 ] && grep -q 'cannot activate' "$2"; }
retry_note() { echo "note: activation refused by a server on its way out, tried again"; }
# opcprobe with its output in $work/out and $work/err (without the console's CR).
probe() {
  local attempt rc
  for attempt in 1 2 3; do
    timeout 60 wine "$probe" "$@" </dev/null >"$work/out.raw" 2>"$work/err.raw"
    rc=$?
    refused "$rc" "$work/err.raw" || break
    retry_note
    wait_server_gone 15 quiet
  done
  tr -d '\r' <"$work/out.raw" >"$work/out"
  tr -d '\r' <"$work/err.raw" >"$work/err"
  return $rc
}
# Starts opcprobe ($4...) in the background with its output in $1 and waits up to $3 tenths of a
# second until the output matches $2 (an extended regular expression); a refused activation is
# tried again. The client's process is bg_pid. False when the output never matched.
start_probe() {
  local out=$1 pattern=$2 tenths=$3 attempt rc
  shift 3
  for attempt in 1 2 3; do
    wine "$probe" "$@" </dev/null >"$out" 2>&1 &
    bg_pid=$!
    for _ in $(seq 1 "$tenths"); do
      grep -Eq "$pattern" "$out" && return 0
      grep -q 'cannot activate' "$out" && break
      sleep 0.1
    done
    grep -Eq "$pattern" "$out" && return 0
    grep -q 'cannot activate' "$out" || return 1
    wait "$bg_pid"
    rc=$?
    refused "$rc" "$out" || return 1
    retry_note
    wait_server_gone 15 quiet
  done
  return 1
}
# The live server processes of this prefix, by process name (this script's own arguments name the
# exe too; an ended server may linger as a zombie until Wine reaps it). Servers of other Wine
# prefixes on the machine (other builds' tests) are not ours.
server_pids() {
  local pid
  ps -eo pid=,stat=,comm= | awk '$2 !~ /^Z/ && $3 ~ /CorvidOpcDa/ { print $1 }' |
    while read -r pid; do
      tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix" && echo "$pid"
    done
}
server_running() { [ -n "$(server_pids)" ]; }
# What a server that does not end is doing: the end of its log and the stacks of its threads.
dump_server() {
  echo "--- the server's log (last lines)"
  tail -n 15 "$log" 2>/dev/null | iconv -f cp1251 -t utf-8
  echo "--- the server's threads"
  timeout 60 winedbg --command "bt all" 2>/dev/null | tr -d '\r' |
    awk '/^Backtracing for thread/ { show = /CorvidOpcDa/ } show'
}
# Waits up to $1 s for the servers of this prefix to end; shows what a server that did not end
# is doing, unless $2 is "quiet".
wait_server_gone() {
  local i
  for i in $(seq 1 "$1"); do
    server_running || return 0
    sleep 1
  done
  [ "${2:-}" = quiet ] || dump_server
  return 1
}

# --- the proxy/stub DLL never replaces another proxy of the OPC interfaces ---------------------
server_iface='HKCR\Interface\{39C13A4D-011E-11D0-9675-0020AFD8ADB3}'
foreign='{0F0E0D0C-0B0A-0908-0706-050403020100}'
wine reg delete "$server_iface" /f >/dev/null 2>&1
wine reg add "$server_iface\ProxyStubClsid32" /ve /d "$foreign" /f >/dev/null 2>&1
wine reg add "HKCR\CLSID\\$foreign\InprocServer32" /ve /d 'C:\windows\system32\opcproxy-other.dll' \
  /f >/dev/null 2>&1
wine regsvr32 /s "$proxy" || fail "regsvr32 of the proxy/stub DLL beside another proxy"
wine reg query "$server_iface\ProxyStubClsid32" | grep -q "$foreign" ||
  fail "regsvr32 replaced another proxy registration"
wine reg delete "$server_iface" /f >/dev/null 2>&1
wine reg delete "HKCR\CLSID\\$foreign" /f >/dev/null 2>&1
pass "foreign proxy kept"

# --- the x64 proxy/stub registers its x86 copy for 32-bit clients, never over another proxy -----
pair="$work/pair"
mkdir -p "$pair/x86"
cp "$proxy" "$pair/CorvidOpcProxy.dll"
cp "$proxy_x86" "$pair/x86/CorvidOpcProxy.dll"
pair_dll="$(winepath -w "$pair")\\CorvidOpcProxy.dll"
wine reg add "$server_iface\ProxyStubClsid32" /ve /d "$foreign" /f /reg:32 >/dev/null 2>&1
wine reg add "HKCR\CLSID\\$foreign\InprocServer32" /ve /d 'C:\windows\syswow64\opcproxy-other.dll' \
  /f /reg:32 >/dev/null 2>&1
wine regsvr32 /s "$pair_dll" || fail "regsvr32 of the proxy/stub beside its x86 copy"
wine reg query "$server_iface\ProxyStubClsid32" /reg:32 | grep -q "$foreign" ||
  fail "regsvr32 replaced another proxy registration of the 32-bit view"
wine regsvr32 /s /u "$pair_dll" || fail "regsvr32 /u beside another 32-bit proxy"
wine reg query "$server_iface\ProxyStubClsid32" /reg:32 | grep -q "$foreign" ||
  fail "regsvr32 /u removed another proxy registration of the 32-bit view"
wine reg delete "$server_iface" /f /reg:32 >/dev/null 2>&1
wine reg delete "HKCR\CLSID\\$foreign" /f /reg:32 >/dev/null 2>&1
wine regsvr32 /s "$pair_dll" || fail "regsvr32 of the proxy/stub beside its x86 copy"
ps_clsid=$(wine reg query "$server_iface\ProxyStubClsid32" /reg:32 2>/dev/null | tr -d '\r' |
  awk -F'    ' 'NF >= 4 { print $4 }')
inproc=$(wine reg query "HKCR\CLSID\\$ps_clsid\InprocServer32" /ve /reg:32 2>/dev/null | tr -d '\r' |
  awk -F'    ' 'NF >= 4 { print $4 }')
[ "$inproc" = "$(winepath -w "$pair")\\x86\\CorvidOpcProxy.dll" ] ||
  fail "the 32-bit view's IOPCServer proxy is $inproc, not the x86 copy"
wine regsvr32 /s /u "$pair_dll" || fail "regsvr32 /u of the proxy/stub beside its x86 copy"
key_exists "$server_iface" /reg:32 && fail "regsvr32 /u left IOPCServer's proxy in the 32-bit view"
key_exists "HKCR\CLSID\\$ps_clsid" /reg:32 && fail "regsvr32 /u left the proxy class in the 32-bit view"
pass "x86 proxy/stub registered in the 32-bit view, never over another proxy"

# --- registration -----------------------------------------------------------------------------
wine regsvr32 /s "$proxy" || fail "regsvr32 of the proxy/stub DLL"
key_exists 'HKCR\Interface\{39C13A4D-011E-11D0-9675-0020AFD8ADB3}\ProxyStubClsid32' ||
  fail "IOPCServer has no proxy after regsvr32"

wine "$server" /u </dev/null >/dev/null 2>&1  # a clean start
start=$(($(log_lines) + 1))
timeout 20 wine "$server" /r </dev/null >/dev/null 2>&1 || fail "/r run did not end by itself"
for k in "HKCR\\$prog_id" "HKCR\\$prog_id\\CLSID" "HKCR\\$prog_id\\OPC" "HKCR\\CLSID\\$clsid" \
  "HKCR\\CLSID\\$clsid\\ProgID" "HKCR\\CLSID\\$clsid\\LocalServer32" \
  "HKCR\\CLSID\\$clsid\\Implemented Categories\\{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}" \
  "HKCR\\CLSID\\$clsid\\Implemented Categories\\{CC603642-66D7-48F1-B69A-B625E73652D7}"; do
  key_exists "$k" || fail "/r did not write $k"
  key_exists "$k" /reg:32 || fail "/r did not write $k in the 32-bit view"
done
for k in "HKCR\\AppID\\$clsid" 'HKCR\AppID\CorvidOpcDa.exe'; do
  key_exists "$k" || fail "/r did not write $k"
done
wine reg query "HKCR\\CLSID\\$clsid" /v AppID | grep -q "$clsid" || fail "/r: no AppID on the class"
wine reg query "HKCR\\CLSID\\$clsid\\LocalServer32" | grep -q "\"[A-Z]:.*CorvidOpcDa.exe\"" ||
  fail "LocalServer32 is not the quoted path"
[ "$(log_since "$start" | wc -l)" -eq 1 ] || fail "/r wrote not exactly one log line"
log_since "$start" | grep -q "Регистрация OPC DA сервера произведена успешно	<$prog_id>" ||
  fail "/r success line missing"
probe list && grep -q "^$prog_id	$clsid	DA2.0 DA3.0" "$work/out" ||
  fail "opcprobe list does not show the server in the DA 2.0 and 3.0 categories"
pass registration

# --- serving, fed by corvidsim ------------------------------------------------------------------
wine "$sim" --port 0 </dev/null >"$work/sim.out" 2>&1 &
sim_pid=$!
port=
for _ in $(seq 1 50); do
  port=$(grep -o '127.0.0.1:[0-9]*' "$work/sim.out" | head -1 | cut -d: -f2)
  [ -n "$port" ] && break
  sleep 0.2
done
[ -n "$port" ] || { fail "corvidsim did not start"; exit 1; }
mkdir -p "$data"
printf '[SETUP]\r\nWAITFOROPCCLIENTS=2\r\n[CORVID]\r\nHOST=127.0.0.1\r\nPORT=%s\r\nNAME=CFG\r\nPASSWORD=\r\n' \
  "$port" >"$data/config.ini"

start=$(($(log_lines) + 1))
probe status "$prog_id" || fail "status: exit $?"
grep -q "^vendor	Corvid OPC DA v2.2$" "$work/out" || fail "status: vendor info"
grep -q "^version	2.2.1$" "$work/out" || fail "status: version"
grep -q "^state	RUNNING$" "$work/out" || fail "status: state"
pass status

# The items arrive once the server has registered with the simulator.
for _ in $(seq 1 50); do
  probe browse "$prog_id" flat && grep -q '^1.1.1.1$' "$work/out" && break
  sleep 0.2
done
grep -q '^organization	flat$' "$work/out" || fail "browse: not flat without BRANCHSEP"
grep -q '^1.1.1.1$' "$work/out" || fail "browse: item 1.1.1.1 missing"
probe browse "$prog_id" da3 && grep -q '^1.1.1.1	1.1.1.1$' "$work/out" || fail "browse da3"
pass browse

probe props "$prog_id" 1.1.1.1 || fail "props: exit $?"
for id in 1 2 3 4 5 6 7 101 5000; do
  grep -q "^$id	" "$work/out" || fail "props: property $id missing"
done
pass properties

probe read "$prog_id" 1.1.1.1 1.2.1.1 || fail "read: exit $?"
[ "$(grep -c '	GOOD (0xC0)	20[0-9][0-9]-' "$work/out")" -eq 2 ] || fail "read: not two good values with times"
probe read "$prog_id" 1.1.1.1 no.such.item
[ $? -eq 4 ] && grep -q OPC_E_UNKNOWNITEMID "$work/err" || fail "read: unknown item not exit 4"
pass read

probe subscribe "$prog_id" 3 1.2.1.1 || fail "subscribe: exit $?"
[ "$(grep -c '^change	1.2.1.1	' "$work/out")" -ge 2 ] || fail "subscribe: fewer than 2 data changes in 3 s"
pass subscribe

# --- two clients at once: numbered in the log, each released ------------------------------------
start2=$(($(log_lines) + 1))
start_probe "$work/first.out" '^change' 100 subscribe "$prog_id" 3 1.2.1.1
first=$bg_pid
probe status "$prog_id" || fail "status beside a subscribed client"
wait "$first"
log_since "$start2" | grep -q "Подключение клиента #2	{unknown}" ||
  fail "the second of two clients is not numbered #2"
log_since "$start2" | grep -q "Отключение клиента	USERID=#2 {unknown}" ||
  fail "the second client's release is not logged with its label"
pass "two clients"

probe write "$prog_id" 1.1.1.1=1.5
[ $? -eq 4 ] && grep -q "^1.1.1.1	0xC0040006 OPC_E_BADRIGHTS" "$work/out" ||
  fail "write to a read-only item not refused with OPC_E_BADRIGHTS"
pass "write refused"

# Type-2 items: the attributes as properties, and a write that reaches the simulator as control
# command 55 with the written value; its answer (57) changes the item.
probe props "$prog_id" L12.ITP.SP || fail "props of a type-2 item: exit $?"
grep -q "^101	" "$work/out" || fail "props: the channel's comments attribute missing"
probe write "$prog_id" L12.ITP.SP=68.5 || fail "write to a type-2 setpoint: exit $?"
for _ in $(seq 1 50); do
  grep -aq ': значение 68[.,]5, ответ 57' "$work/sim.out" && break
  sleep 0.2
done
grep -aq ': значение 68[.,]5, ответ 57' "$work/sim.out" ||
  fail "write: the simulator got no control command with 68.5"
for _ in $(seq 1 50); do
  probe read "$prog_id" L12.ITP.SP && grep -q '68[.,]5' "$work/out" && break
  sleep 0.2
done
grep -q '^L12.ITP.SP	68[.,]5 (VT_R4)	GOOD (0xC0)	' "$work/out" ||
  fail "write: the item does not follow the server's answer"
pass "write to a type-2 item"

probe strings "$prog_id" 1.1.1.1 || { fail "string out-parameters"; cat "$work/out"; }
pass "string out-parameters"

timeout 120 wine "$com_client" --gtest_brief=1 </dev/null >"$work/client.out" 2>&1 ||
  { fail "opc_com_client"; cat "$work/client.out"; }
pass "COM client checks"

# --- the client wait: the server ends after the last client has left ---------------------------
wait_server_gone 10 || fail "server still running 10 s after the last client left"
log_since "$start" | grep -q "Подключение клиента #1	{unknown}" || fail "first client not logged"
log_since "$start" | grep -q "Отключение клиента	USERID=#1 {unknown}" ||
  fail "client release not logged"
pass "client wait"

# --- a killed client does not keep the server alive --------------------------------------------
start=$(($(log_lines) + 1))
start_probe "$work/killed.out" '^change' 100 subscribe "$prog_id" 120 1.2.1.1 ||
  fail "killed client: no data before the kill"
killed=$bg_pid
kill -9 "$killed" 2>/dev/null
wait "$killed" 2>/dev/null
wait_server_gone 15 || fail "a killed client keeps the server alive"
log_since "$start" | grep -q "Отключение клиента	USERID=#1" || fail "killed client not released"
pass "killed client"

# --- the Corvid link drops and comes back; activation count and client count -------------------
# corvidsim is killed (the connection drops) and started again on the same port: the type-1 items
# of subscribed clients turn BAD/LAST_KNOWN (0x14) and GOOD again once the server has registered
# anew. The registration logs OpcActiveTags (the activation count) and each client its number
# (the ClientCount it raised): both are followed as clients come and go.
printf '[SETUP]\r\nWAITFOROPCCLIENTS=2\r\n[CORVID]\r\nHOST=127.0.0.1\r\nPORT=%s\r\nNAME=CFG\r\nPASSWORD=\r\nTIMEOUT=1000\r\n' \
  "$port" >"$data/config.ini"
# Kills corvidsim and starts it again on $port (the address is reused at once).
restart_sim() {
  kill -9 "$sim_pid" 2>/dev/null
  wait "$sim_pid" 2>/dev/null
  wine "$sim" --port "$port" </dev/null >"$work/sim.out" 2>&1 &
  sim_pid=$!
  local i
  for i in $(seq 1 50); do
    grep -q "127.0.0.1:$port" "$work/sim.out" && return 0
    sleep 0.2
  done
  return 1
}
# Waits until the log from line $1 on holds $2 (an extended regular expression), $3 tenths of s.
wait_log() {
  local i
  for i in $(seq 1 "$3"); do
    log_since "$1" | grep -Eq "$2" && return 0
    sleep 0.1
  done
  return 1
}
# The line number of the first line of file $1 matching $2 after line $3 (0 when none).
line_after() { awk -v from="$3" -v re="$2" 'NR > from && $0 ~ re { print NR; exit }' "$1" | grep . || echo 0; }

start=$(($(log_lines) + 1))
start_probe "$work/drop1.out" '^change	1\.1\.1\.1	.*GOOD \(0xC0\)' 200 \
  subscribe "$prog_id" 25 1.1.1.1 1.2.1.1
sub1=$bg_pid
wait_log "$start" 'OpcActiveTags=' 100 || fail "drop: the server did not register with corvidsim"
start_probe "$work/drop2.out" '^change	1\.1\.1\.1	' 100 subscribe "$prog_id" 12 1.1.1.1
sub2=$bg_pid
wait_log "$start" 'Подключение клиента #2	' 100 || fail "drop: the second client is not numbered #2"

# Drop 1, two clients holding three items.
mark=$(($(log_lines) + 1))
restart_sim || fail "drop: corvidsim did not start again on port $port"
wait_log "$mark" 'OpcActiveTags=3 ' 150 || {
  fail "drop: not OpcActiveTags=3 with two clients holding 3 items"
  log_since "$mark"
}
log_since "$mark" | grep -q 'Отключение от сервера Corvid' || fail "drop: the disconnection is not logged"
sleep 1.5
for f in drop1 drop2; do
  tr -d '\r' <"$work/$f.out" >"$work/$f.txt"
  bad=$(line_after "$work/$f.txt" '^change\t1\.1\.1\.1\t.*BAD/LAST_KNOWN \(0x14\)' 0)
  good=$(line_after "$work/$f.txt" '^change\t1\.1\.1\.1\t.*GOOD \(0xC0\)' "$bad")
  [ "$bad" -gt 0 ] || { fail "drop: $f got no BAD/LAST_KNOWN (0x14) for 1.1.1.1"; cat "$work/$f.txt"; }
  [ "$bad" -gt 0 ] && [ "$good" -gt 0 ] || fail "drop: $f got no GOOD 1.1.1.1 after the reconnection"
done
tr -d '\r' <"$work/drop1.out" >"$work/drop1.txt"
bad=$(line_after "$work/drop1.txt" '^change\t1\.2\.1\.1\t.*BAD/LAST_KNOWN \(0x14\)' 0)
[ "$bad" -gt 0 ] || fail "drop: 1.2.1.1 did not turn BAD/LAST_KNOWN (0x14)"
pass "link drop: quality 0x14, good again after reconnection"

# The second client leaves: its item is deactivated and ClientCount falls (the next client is #2
# again).
wait "$sub2" 2>/dev/null
wait_log "$start" 'Отключение клиента	USERID=#2 ' 50 || fail "drop: the second client was not released"
mark=$(($(log_lines) + 1))
probe status "$prog_id" || fail "status beside the remaining subscriber"
wait_log "$mark" 'Подключение клиента #2	' 10 || fail "ClientCount did not fall back to 1"
mark=$(($(log_lines) + 1))
restart_sim || fail "drop 2: corvidsim did not start again on port $port"
wait_log "$mark" 'OpcActiveTags=2 ' 150 || {
  fail "drop 2: not OpcActiveTags=2 once the second client has left"
  log_since "$mark"
}
pass "activation count and client count as clients come and go"
wait "$sub1" 2>/dev/null
wait_server_gone 15 || fail "drop: server still running after its clients left"

# --- the activation count as one client activates and deactivates items -----------------------
# opc_com_client's stepped test holds items 1.1.1.1 and 1.2.1.1 and changes the activity of an
# item and of its group step by step; between the steps corvidsim is restarted, so that the server
# registers anew and logs its OpcActiveTags. A second client beside it is numbered #2.
steps="$work/steps"
mkdir -p "$steps"
: >"$work/steps.out"
start=$(($(log_lines) + 1))
CORVID_STEP_DIR=$(winepath -w "$steps" 2>/dev/null) wine "$com_client" \
  --gtest_also_run_disabled_tests --gtest_filter='Activation.DISABLED_*' --gtest_brief=1 \
  </dev/null >"$work/steps.out" 2>&1 &
stepper=$!
n=0
for expected in 2 1 0 1 0; do
  n=$((n + 1))
  for _ in $(seq 1 300); do
    grep -q "^step $n" "$work/steps.out" && break
    sleep 0.1
  done
  grep -q "^step $n" "$work/steps.out" || { fail "activation step $n not reached"; break; }
  mark=$(($(log_lines) + 1))
  restart_sim || fail "activation step $n: corvidsim did not start again on port $port"
  wait_log "$mark" "OpcActiveTags=$expected " 150 || {
    fail "activation step $n: not OpcActiveTags=$expected"
    log_since "$mark"
  }
  if [ "$n" -eq 1 ]; then
    mark=$(($(log_lines) + 1))
    probe status "$prog_id" || fail "status beside the stepping client"
    wait_log "$mark" 'Подключение клиента #2	' 10 || fail "a client beside the stepping one is not #2"
  fi
  touch "$steps/go-$n"
done
touch "$steps/go-1" "$steps/go-2" "$steps/go-3" "$steps/go-4" "$steps/go-5"  # never left waiting
wait "$stepper" || { fail "opc_com_client activation steps"; tr -d '\r' <"$work/steps.out"; }
pass "activation count as a client activates and deactivates items"
wait_server_gone 15 || fail "activation steps: server still running after its client left"

# --- a browse tree with BRANCHSEP -------------------------------------------------------------
printf '[SETUP]\r\nWAITFOROPCCLIENTS=2\r\nBRANCHSEP=.\r\n[CORVID]\r\nHOST=127.0.0.1\r\nPORT=%s\r\nNAME=CFG\r\nPASSWORD=\r\n' \
  "$port" >"$data/config.ini"
for _ in $(seq 1 50); do
  probe browse "$prog_id" tree && grep -q '	1.1.1.1$' "$work/out" && break
  sleep 0.2
done
grep -q '^organization	hierarchical$' "$work/out" || fail "browse: not hierarchical with BRANCHSEP"
grep -q '^1/$' "$work/out" && grep -q '^      1	1.1.1.1$' "$work/out" ||
  fail "browse: no tree 1/1/1/1 -> 1.1.1.1"
probe browse "$prog_id" da3 && grep -q '^1/	1$' "$work/out" || fail "browse da3: no branch 1"
pass "browse tree"
wait_server_gone 10

# --- unregistration --------------------------------------------------------------------------
start=$(($(log_lines) + 1))
timeout 20 wine "$server" /u </dev/null >/dev/null 2>&1 || fail "/u run did not end by itself"
for k in "HKCR\\$prog_id" "HKCR\\CLSID\\$clsid" "HKCR\\AppID\\$clsid" 'HKCR\AppID\CorvidOpcDa.exe'; do
  key_exists "$k" && fail "/u left $k"
  key_exists "$k" /reg:32 && fail "/u left $k in the 32-bit view"
done
[ "$(log_since "$start" | wc -l)" -eq 1 ] || fail "/u wrote not exactly one log line"
log_since "$start" | grep -q "Удаление регистрации OPC DA сервера произведено успешно	<$prog_id>" ||
  fail "/u success line missing"
probe list
grep -q "$prog_id" "$work/out" && fail "opcprobe list still shows the server after /u"
key_exists 'HKCR\Component Categories\{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}' &&
  fail "/u left the DA 2.0 category that no class uses any more"
pass unregistration

echo "failures: $failures"
[ "$failures" -eq 0 ]
