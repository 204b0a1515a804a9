#!/usr/bin/env bash
# The installer under Wine, in a fresh prefix: a silent install (the files, the default config.ini,
# the shortcuts, the uninstall entry, the start at logon, and the registry keys of both views: the
# server with its AppID and categories, and the proxy/stub of every OPC interface, the 32-bit view
# pointing at the x86 DLL); a 64-bit client (the installed opcprobe) activating the installed server
# fed by corvidsim: status, browse, read, data changes, a write; an upgrade install while the server
# runs (ended as the operator's exit ends it, a changed config.ini, params.ini and protokol.log
# kept); the uninstaller while the server runs (ended again, no key of ours left in either view, no
# program file left, the data folder kept in silent mode).
#
# Usage: wine_installer_test.sh PREFIX SOURCE_DIR SETUP_EXE CORVIDSIM_EXE
set -u
prefix=$1 source_dir=$2 setup=$3 sim=$4

export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
WINEPREFIX=$prefix wineserver -k 2>/dev/null
rm -rf "$prefix"
"$source_dir/scripts/wine-prefix.sh" "$prefix" || exit 1
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1

work=$(mktemp -d)
install_dir="$prefix/drive_c/Program Files/Corvid OPC DA"
install_win='C:\Program Files\Corvid OPC DA'
data="$prefix/drive_c/ProgramData/Corvid OPC DA"
menu="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Corvid OPC DA"
prog_id=Boreal.OPC.Corvid
clsid='{5B1E7D42-93A0-4C6F-8E21-0D4A7C9B3F16}'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Corvid OPC DA'
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
# Every interface of the proxy/stub: the objects of our IDL.
mapfile -t iids < <(grep -o '^\[object, uuid([^)]*)' "$source_dir/src/idl/opcda.idl" |
  sed 's/.*uuid(\(.*\))/{\1}/' | tr a-f A-F)
failures=0
sim_pid=

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
pass() { echo "ok: $* ($SECONDS s)"; }

cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The classes of both registry views, exported once (one reg.exe run per view instead of one per
# key): $work/classes64.txt and $work/classes32.txt, UTF-8 without CR.
export_classes() {
  local view
  for view in 64 32; do
    wine reg export 'HKLM\Software\Classes' "$(winepath -w "$work/classes$view.reg" 2>/dev/null)" \
      "/reg:$view" /y </dev/null >/dev/null 2>&1
    iconv -f UTF-16 -t UTF-8 "$work/classes$view.reg" | tr -d '\r' >"$work/classes$view.txt"
  done
}
# The default value (or the value $3) of HKCR\$2 in view $1, from the export.
reg_value() {
  KEY="[HKEY_LOCAL_MACHINE\\Software\\Classes\\$2]" NAME="${3:-@}" awk '
    BEGIN {
      key = tolower(ENVIRON["KEY"]); name = ENVIRON["NAME"]
      want = name == "@" ? "@=" : "\"" tolower(name) "\"="
    }
    /^\[/ { inside = tolower($0) == key; next }
    inside && index(tolower($0), want) == 1 {
      v = substr($0, length(want) + 2); v = substr(v, 1, length(v) - 1)
      gsub(/\\"/, "\"", v); gsub(/\\\\/, "\\", v); print v; exit
    }' "$work/classes$1.txt"
}
key_exists() {
  KEY="[HKEY_LOCAL_MACHINE\\Software\\Classes\\$2]" awk '
    BEGIN { key = tolower(ENVIRON["KEY"]) } tolower($0) == key { found = 1; exit }
    END { exit !found }' "$work/classes$1.txt"
}
# A value of a key outside the classes (64-bit view), through reg.exe.
reg_query_value() {
  wine reg query "$1" /v "$2" </dev/null 2>/dev/null | tr -d '\r' |
    awk -F'    ' 'NF >= 4 { print $4; exit }'
}
log_utf8() { iconv -f cp1251 -t utf-8 <"$data/protokol.log" 2>/dev/null | tr -d '\r'; }
# The live processes of this prefix whose name matches $1.
prefix_pids() {
  local pid
  ps -eo pid=,stat=,comm= | awk -v re="$1" '$2 !~ /^Z/ && $3 ~ re { print $1 }' |
    while read -r pid; do
      tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix" && echo "$pid"
    done
}
server_running() { [ -n "$(prefix_pids CorvidOpcDa)" ]; }
probe() {
  timeout 60 wine "$install_dir/opcprobe.exe" "$@" </dev/null >"$work/out.raw" 2>&1
  local rc=$?
  tr -d '\r' <"$work/out.raw" >"$work/out"
  return $rc
}

# --- a silent install into a fresh prefix -----------------------------------------------------
timeout 120 wine "$setup" /S /AUTOSTART=1 </dev/null >/dev/null 2>&1 || fail "silent install: exit $?"
for f in CorvidOpcDa.exe CorvidOpcProxy.dll opcprobe.exe uninstall.exe x86/CorvidOpcProxy.dll \
  x86/opcprobe.exe; do
  [ -f "$install_dir/$f" ] || fail "install: $f missing"
done
cmp -s "$install_dir/x86/CorvidOpcProxy.dll" "$install_dir/CorvidOpcProxy.dll" &&
  fail "install: the x86 proxy/stub is the x64 one"
grep -q '^PORT=3000' "$data/config.ini" 2>/dev/null && grep -q '^TAGNAME=%A1.%A2.%A3.%A4' "$data/config.ini" ||
  fail "install: no default config.ini in the data folder"
[ -f "$menu/Corvid OPC DA.lnk" ] && [ -f "$menu/Папка данных Corvid OPC DA.lnk" ] ||
  fail "install: Start menu shortcuts missing"
[ "$(reg_query_value "$uninstall_key" DisplayVersion)" = 2.2.1 ] ||
  fail "install: no uninstall entry with version 2.2.1"
[ "$(reg_query_value "$uninstall_key" UninstallString)" = "\"$install_win\\uninstall.exe\"" ] ||
  fail "install: uninstall entry without its command"
[ "$(reg_query_value "$run_key" 'Corvid OPC DA')" = "\"$install_win\\CorvidOpcDa.exe\"" ] ||
  fail "install: /AUTOSTART=1 did not set the start at logon"
pass "silent install: files, data folder, shortcuts, uninstall entry"

# --- the registry: both views ---------------------------------------------------------------
export_classes
proxy_clsid=$(reg_value 64 "Interface\\{39C13A4D-011E-11D0-9675-0020AFD8ADB3}\\ProxyStubClsid32")
[ -n "$proxy_clsid" ] || fail "registry: IOPCServer has no proxy"
[ "${#iids[@]}" -eq 21 ] || fail "registry: expected 21 interfaces in the IDL, found ${#iids[@]}"
for view in 64 32; do
  server="\"$install_win\\CorvidOpcDa.exe\""
  [ "$(reg_value "$view" "CLSID\\$clsid")" = "Corvid OPC server" ] ||
    fail "registry ($view): class description"
  [ "$(reg_value "$view" "CLSID\\$clsid\\ProgID")" = "$prog_id" ] || fail "registry ($view): ProgID"
  [ "$(reg_value "$view" "CLSID\\$clsid\\LocalServer32")" = "$server" ] ||
    fail "registry ($view): LocalServer32"
  [ "$(reg_value "$view" "CLSID\\$clsid" AppID)" = "$clsid" ] || fail "registry ($view): AppID value"
  [ "$(reg_value "$view" "$prog_id\\CLSID")" = "$clsid" ] || fail "registry ($view): ProgID\\CLSID"
  key_exists "$view" "$prog_id\\OPC" || fail "registry ($view): ProgID\\OPC"
  for cat in '{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}' '{CC603642-66D7-48F1-B69A-B625E73652D7}'; do
    key_exists "$view" "CLSID\\$clsid\\Implemented Categories\\$cat" ||
      fail "registry ($view): category $cat"
    [ -n "$(reg_value "$view" "Component Categories\\$cat" 409)" ] ||
      fail "registry ($view): description of category $cat"
  done
  [ "$(reg_value "$view" "AppID\\$clsid")" = "Corvid OPC server" ] || fail "registry ($view): AppID"
  [ "$(reg_value "$view" 'AppID\CorvidOpcDa.exe' AppID)" = "$clsid" ] ||
    fail "registry ($view): AppID of CorvidOpcDa.exe"
  # The proxy/stub: every interface, the class, and its DLL of the view's bitness.
  for iid in "${iids[@]}"; do
    [ "$(reg_value "$view" "Interface\\$iid\\ProxyStubClsid32")" = "$proxy_clsid" ] ||
      fail "registry ($view): $iid has no proxy of ours"
    [ "$(reg_value "$view" "Interface\\$iid\\NumMethods")" = \
      "$(reg_value 64 "Interface\\$iid\\NumMethods")" ] ||
      fail "registry ($view): $iid: NumMethods differs from the 64-bit view"
  done
  dll="$install_win\\CorvidOpcProxy.dll"
  [ "$view" = 32 ] && dll="$install_win\\x86\\CorvidOpcProxy.dll"
  [ "$(reg_value "$view" "CLSID\\$proxy_clsid\\InprocServer32")" = "$dll" ] ||
    fail "registry ($view): the proxy class is not served by $dll"
  [ "$(reg_value "$view" "CLSID\\$proxy_clsid\\InprocServer32" ThreadingModel)" = Both ] ||
    fail "registry ($view): the proxy class's threading model"
done
pass "registry: server, AppID, categories and proxy/stub in both views"

# --- a 64-bit client: the installed opcprobe against the installed server -----------------------
wine "$sim" --port 0 </dev/null >"$work/sim.out" 2>&1 &
sim_pid=$!
port=
for _ in $(seq 1 50); do
  port=$(grep -o '127.0.0.1:[0-9]*' "$work/sim.out" | head -1 | cut -d: -f2)
  [ -n "$port" ] && break
  sleep 0.2
done
[ -n "$port" ] || { fail "corvidsim did not start"; exit 1; }
# The operator's settings: the simulator's port; the server serves until it is ended.
printf '[SETUP]\r\nWAITFOROPCCLIENTS=0\r\n[CORVID]\r\nHOST=127.0.0.1\r\nPORT=%s\r\nNAME=CFG\r\nPASSWORD=\r\n' \
  "$port" >"$data/config.ini"
cp "$data/config.ini" "$work/config.ini"

probe list && grep -q "^$prog_id	$clsid	DA2.0 DA3.0" "$work/out" || fail "client: list"
probe status "$prog_id" && grep -q '^state	RUNNING$' "$work/out" || fail "client: status"
for _ in $(seq 1 50); do
  probe browse "$prog_id" flat && grep -q '^L12.ITP.SP$' "$work/out" && break
  sleep 0.2
done
grep -q '^1.1.1.1$' "$work/out" && grep -q '^L12.ITP.SP$' "$work/out" || fail "client: browse"
probe read "$prog_id" 1.1.1.1 L12.ITP.SP && [ "$(grep -c '	GOOD (0xC0)	' "$work/out")" -eq 2 ] ||
  fail "client: read"
probe subscribe "$prog_id" 3 1.2.1.1 && [ "$(grep -c '^change	1.2.1.1	' "$work/out")" -ge 2 ] ||
  fail "client: fewer than 2 data changes in 3 s"
probe write "$prog_id" L12.ITP.SP=61.5 || fail "client: write: exit $?"
for _ in $(seq 1 50); do
  probe read "$prog_id" L12.ITP.SP && grep -q '61[.,]5' "$work/out" && break
  sleep 0.2
done
grep -q '^L12.ITP.SP	61[.,]5 (VT_R4)	GOOD' "$work/out" || fail "client: the write did not reach the item"
server_running || fail "client: the installed server is not running"
pass "64-bit client: list, status, browse, read, data changes, write"

# --- an upgrade while the server runs -------------------------------------------------------
# The window state is written when the program ends; a log line of the operator's marks the file.
printf '[Marker]\r\nKept=1\r\n' >"$data/params.ini"
cp "$data/protokol.log" "$work/protokol.log"
timeout 120 wine "$setup" /S </dev/null >/dev/null 2>&1 || fail "upgrade: exit $?"
server_running && fail "upgrade: the running server was not ended"
log_utf8 | grep -q $'WARNING\tЗавершение работы оператором' ||
  fail "upgrade: the server was not ended as the operator's exit ends it"
cmp -s "$data/config.ini" "$work/config.ini" || fail "upgrade: config.ini changed"
grep -q '^Kept=1' "$data/params.ini" 2>/dev/null || fail "upgrade: params.ini not kept"
cmp -s -n "$(stat -c %s "$work/protokol.log")" "$work/protokol.log" "$data/protokol.log" ||
  fail "upgrade: protokol.log not kept"
[ "$(reg_query_value "$run_key" 'Corvid OPC DA')" = "\"$install_win\\CorvidOpcDa.exe\"" ] ||
  fail "upgrade: the start at logon was not kept"
probe status "$prog_id" && grep -q '^state	RUNNING$' "$work/out" || fail "upgrade: status after the upgrade"
server_running || fail "upgrade: the server does not serve after the upgrade"
pass "upgrade: running server ended, config.ini, params.ini and protokol.log kept"

# --- the uninstaller, silent, while the server runs ------------------------------------------
# As Programs and Features runs it: the uninstaller starts a copy of itself from the temporary
# folder (so that it can remove its own file) and returns at once; the copy does the work.
timeout 60 wine "$install_dir/uninstall.exe" /S </dev/null >/dev/null 2>&1 || fail "uninstall: exit $?"
for _ in $(seq 1 600); do
  [ -z "$(prefix_pids '^Un\.exe')" ] && break
  sleep 0.1
done
[ -z "$(prefix_pids '^Un\.exe')" ] || fail "uninstall: the uninstaller did not end within 60 s"
server_running && fail "uninstall: the running server was not ended"
[ -e "$install_dir" ] && fail "uninstall: program files left: $(cd "$install_dir" && find . | tr '\n' ' ')"
[ -e "$menu" ] && fail "uninstall: Start menu folder left"
cmp -s "$data/config.ini" "$work/config.ini" || fail "uninstall: the data folder was not kept"
export_classes
for view in 64 32; do
  for k in "$prog_id" "CLSID\\$clsid" "AppID\\$clsid" 'AppID\CorvidOpcDa.exe' "CLSID\\$proxy_clsid"; do
    key_exists "$view" "$k" && fail "uninstall ($view): $k left"
  done
  for iid in "${iids[@]}"; do
    key_exists "$view" "Interface\\$iid" && fail "uninstall ($view): interface $iid left"
  done
  # No class is left in the OPC categories of a fresh prefix: their descriptions go too.
  key_exists "$view" 'Component Categories\{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}' &&
    fail "uninstall ($view): the DA 2.0 category left"
done
[ -n "$(reg_query_value "$run_key" 'Corvid OPC DA')" ] && fail "uninstall: the start at logon left"
wine reg query "$uninstall_key" </dev/null >/dev/null 2>&1 && fail "uninstall: the uninstall entry left"
pass "uninstall: server ended, no registry key and no program file left, data folder kept"

echo "failures: $failures"
[ "$failures" -eq 0 ]
