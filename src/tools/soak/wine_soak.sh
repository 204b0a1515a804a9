#!/usr/bin/env bash
# The product under Wine through a seeded chaos: CorvidOpcDa.exe, registered in PREFIX and
# started as an operator starts it, fed by corvidsim.exe playing the chaos on loopback. Rounds of
# chaos, each followed by a quiet, clean period in which every item that `opcprobe dump` reads
# must come to agree with the simulator's truth (soakcheck). The server's process is watched
# meanwhile: alive, resident memory, threads, open files (Wine counts no Windows handles), the
# growth of its log. A line per round, then exactly one summary line:
#   soak seed=S faults=F pushes=P items_compared=N mismatches=M rss_start_kb=.. rss_end_kb=..
#   threads_start=.. threads_end=.. handles_start=.. handles_end=.. log_bytes=.. alive=yes
# Exit code 0 when every round agreed, the server stayed alive, its threads and open files did
# not grow and its log grew with the faults only.
#
# Usage: wine_soak.sh PREFIX SOURCE_DIR SERVER_EXE PROXY_DLL OPCPROBE_EXE CORVIDSIM_EXE
#                     SOAKCHECK_EXE [--seconds N] [--round-seconds R] [--seed S] [--quick]
#                     [--logs DIR]
#   --seconds N        chaos in all (24); --round-seconds R: per round (12)
#   --quick            the short run's chaos (quick faults, dense traffic); else every fault
#   --logs DIR         keeps the simulator's events, the last dump and check, and the server's
#                      log there
set -u
prefix=$1 source_dir=$2 server=$3 proxy=$4 probe=$5 sim=$6 check=$7
shift 7
seconds=24 round=12 seed=1 quick= logs=
while [ $# -gt 0 ]; do
  case $1 in
  --seconds) seconds=$2 && shift ;;
  --round-seconds) round=$2 && shift ;;
  --seed) seed=$2 && shift ;;
  --quick) quick=--chaos-short ;;
  --logs) logs=$2 && shift ;;
  *) echo "wine_soak.sh: unknown option $1" >&2 && exit 2 ;;
  esac
  shift
done
quiet_limit=90

export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
"$source_dir/scripts/wine-prefix.sh" "$prefix" || exit 1
# A fresh Wine with its services, their output going nowhere (they outlive this script).
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1

work=$(mktemp -d)
data="$prefix/drive_c/ProgramData/Corvid OPC DA"
log="$data/protokol.log"
prog_id=Boreal.OPC.Corvid
sim_pid=
server_pid=

cleanup() {
  exec 3>&- 2>/dev/null
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  wait 2>/dev/null
  if [ -n "$logs" ]; then
    mkdir -p "$logs"
    cp "$work/sim.out" "$work/dump.txt" "$work/check.txt" "$work/truth.json" "$logs/" 2>/dev/null
    cp "$log" "$logs/protokol.log" 2>/dev/null
  fi
  rm -f "$data/config.ini"
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  wineserver -p </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

# The live server process of this prefix (its Linux id), by process name.
find_server() {
  local pid
  ps -eo pid=,stat=,comm= | awk '$2 !~ /^Z/ && $3 ~ /CorvidOpcDa/ { print $1 }' |
    while read -r pid; do
      tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix" && echo "$pid"
    done | head -n 1
}
# "RSS_KB THREADS FILES LOG_BYTES" of the server now.
sample() {
  local rss threads files bytes
  rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$server_pid/status" 2>/dev/null)
  threads=$(awk '/^Threads:/ { print $2 }' "/proc/$server_pid/status" 2>/dev/null)
  files=$(ls "/proc/$server_pid/fd" 2>/dev/null | wc -l)
  bytes=$(stat -c %s "$log" 2>/dev/null || echo 0)
  echo "${rss:-0} ${threads:-0} $files $bytes"
}
alive() { [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; }
# Waits up to $2 tenths of a second for the simulator's output to hold $1 lines matching $3.
wait_sim_lines() {
  local i
  for i in $(seq 1 "$2"); do
    [ "$(grep -ac "$3" "$work/sim.out")" -ge "$1" ] && return 0
    sleep 0.1
  done
  return 1
}
# A number field "name=value" of the truth file.
truth_count() { grep -o "\"$1\": [0-9]*" "$work/truth.json" | head -n 1 | grep -o '[0-9]*$'; }

wine regsvr32 /s "$proxy" || { echo "soak: regsvr32 of the proxy/stub DLL failed"; exit 1; }
timeout 30 wine "$server" /r </dev/null >/dev/null 2>&1 || { echo "soak: /r failed"; exit 1; }

mkfifo "$work/control"
truth_w=$(winepath -w "$work/truth.json")
wine "$sim" --port 0 --chaos "$seed" $quick --test-connect-ms 3000 --timeout-ms 5000 \
  --truth "$truth_w" <"$work/control" >"$work/sim.out" 2>&1 &
sim_pid=$!
exec 3>"$work/control"
port=
for _ in $(seq 1 100); do
  port=$(grep -ao '127.0.0.1:[0-9]*' "$work/sim.out" | head -n 1 | cut -d: -f2)
  [ -n "$port" ] && break
  sleep 0.2
done
[ -n "$port" ] || { echo "soak: corvidsim did not start"; cat "$work/sim.out"; exit 1; }
mkdir -p "$data"
printf '[SETUP]\r\nWAITFOROPCCLIENTS=0\r\n[CORVID]\r\nHOST=127.0.0.1\r\nPORT=%s\r\nNAME=CFG\r\nPASSWORD=\r\nTIMEOUT=5000\r\nTESTCONNECT=3\r\n' \
  "$port" >"$data/config.ini"
log_start=$(stat -c %s "$log" 2>/dev/null || echo 0)

wine "$server" </dev/null >/dev/null 2>&1 &
for _ in $(seq 1 100); do
  server_pid=$(find_server)
  [ -n "$server_pid" ] && break
  sleep 0.2
done
[ -n "$server_pid" ] || { echo "soak: the server did not start"; exit 1; }

compared=0 mismatches=0 rounds=0 done_s=0 quiets=0 failed=0
start_sample= end_sample=
while [ "$done_s" -lt "$seconds" ] && alive; do
  length=$((seconds - done_s < round ? seconds - done_s : round))
  round_log=$(stat -c %s "$log" 2>/dev/null || echo 0)
  sleep "$length"
  done_s=$((done_s + length))
  rounds=$((rounds + 1))
  quiets=$((quiets + 1))
  echo quiet >&3
  wait_sim_lines "$quiets" 100 'правда записана' || { echo "soak: no truth from corvidsim"; failed=1; break; }
  quiet_start=$SECONDS
  polls=0
  faults_before=${faults:-0}
  while :; do
    polls=$((polls + 1))
    timeout 120 wine "$probe" dump "$prog_id" </dev/null 2>/dev/null | tr -d '\r' >"$work/dump.txt"
    timeout 120 wine "$check" "$truth_w" "$(winepath -w "$work/dump.txt")" </dev/null 2>&1 |
      tr -d '\r' >"$work/check.txt"
    grep -q '^compared [0-9]* mismatches 0$' "$work/check.txt" && break
    [ $((SECONDS - quiet_start)) -ge "$quiet_limit" ] && break
    alive || break
    sleep 1
  done
  line=$(grep -a '^compared ' "$work/check.txt")
  round_compared=$(echo "$line" | awk '{ print $2 }')
  round_mismatches=$(echo "$line" | awk '{ print $4 }')
  [ -n "$round_compared" ] || { round_compared=0 round_mismatches=1; }
  compared=$((compared + round_compared))
  mismatches=$((mismatches + round_mismatches))
  faults=$(truth_count faults)
  pushes=$(truth_count pushes)
  end_sample=$(sample)
  [ -n "$start_sample" ] || start_sample=$end_sample
  read -r rss threads files bytes <<<"$end_sample"
  # The log grows with the faults and the clients that read the items, not with the time.
  grown=$((bytes - round_log))
  allowed=$((4000 * (faults - faults_before + polls + 10)))
  echo "round $rounds: faults $faults, pushes $pushes, compared $round_compared," \
    "mismatches $round_mismatches, agreed after $((SECONDS - quiet_start)) s, rss ${rss} kB," \
    "threads $threads, files $files, log $bytes bytes (+$grown in the round)"
  grep -a '^mismatch' "$work/check.txt" | head -n 20 | sed 's/^/  /'
  [ "$grown" -le "$allowed" ] || { echo "  the log grew by $grown bytes in the round"; failed=1; }
  [ "$done_s" -lt "$seconds" ] && echo chaos >&3
done

is_alive=yes
alive || is_alive=no
read -r rss0 threads0 files0 _ <<<"${start_sample:-0 0 0 0}"
read -r rss1 threads1 files1 bytes1 <<<"${end_sample:-0 0 0 0}"
[ "$is_alive" = yes ] || failed=1
[ "$mismatches" -eq 0 ] || failed=1
[ "$rounds" -gt 0 ] || failed=1
[ "$threads1" -le $((threads0 + 2)) ] || { echo "threads grew: $threads0 -> $threads1"; failed=1; }
[ "$files1" -le $((files0 + 2)) ] || { echo "open files grew: $files0 -> $files1"; failed=1; }
echo stop >&3
echo "soak seed=$seed faults=${faults:-0} pushes=${pushes:-0} items_compared=$compared" \
  "mismatches=$mismatches rss_start_kb=$rss0 rss_end_kb=$rss1 threads_start=$threads0" \
  "threads_end=$threads1 handles_start=$files0 handles_end=$files1" \
  "log_bytes=$((bytes1 - log_start)) alive=$is_alive"
exit "$failed"
