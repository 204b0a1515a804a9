#!/usr/bin/env bash
# Creates a headless Wine prefix (once) at the given path: windows work without a display,
# no Mono/Gecko prompts. Safe to call from several test processes at the same time.
set -euo pipefail
prefix=${1:?usage: wine-prefix.sh PREFIX}
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
if [ ! -f "$prefix/.corvid-ready" ]; then
  export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPREFIX="$prefix"
  unset DISPLAY
  rm -rf "$prefix"
  wineboot --init >/dev/null 2>&1
  wineserver -w
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver -w
  touch "$prefix/.corvid-ready"
fi
