#!/usr/bin/env bash
# On demand: a 32-bit OPC client against the product under Wine, and what it saw.
#
# These machines run 32-bit code only through qemu's user emulation (the kernel has IA-32
# emulation off). The script therefore fetches, once, bookworm-backports' qemu-user and Debian 12's
# 32-bit Wine (wine32, libwine and libc6 of i386) with a private apt list (apt-get download, then
# dpkg -x into build/check-32bit/root: nothing is installed and nothing under /etc/apt changes),
# registers qemu-i386 with binfmt_misc for this run only (removed at the end, and binfmt_misc
# unmounted again when this script mounted it), and runs Wine through a copy of the 64-bit loader
# beside the unpacked 32-bit one. In a fresh prefix it installs the product with its installer,
# starts corvidsim.exe and runs the installed x86 opcprobe: list, status, browse, read,
# properties, write, every string out-parameter, data changes. It then shows that without the
# 32-bit proxy registration the client gets 0x80040154, and that the x86 DLL's own registration
# (32-bit regsvr32) writes the same keys as the installer did.
#
# Needs root (binfmt_misc). CORVID_DEBIAN_MIRROR picks another Debian mirror;
# CORVID_CHECK32_SECONDS how long data changes are printed (5).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -ne 0 ]; then
  echo "check-32bit.sh needs root (binfmt_misc registration for qemu-i386)" >&2
  exit 1
fi
scripts/install-deps.sh
build=build/windows
cmake --preset windows >/dev/null
cmake --build "$build" -j2 --target installer corvidsim >/dev/null

dir=$PWD/build/check-32bit
root=$dir/root
lib=$root/usr/lib
mirror=${CORVID_DEBIAN_MIRROR:-http://deb.debian.org/debian}
seconds=${CORVID_CHECK32_SECONDS:-5}
setup=$(ls "$build"/CorvidOpcDa-*-setup.exe | head -1)
sim=$PWD/$build/src/tools/corvidsim/corvidsim.exe

# --- the private 32-bit Wine and qemu-user ----------------------------------------------------
fetch_root() {
  local apt=$dir/apt wine_version
  wine_version=$(dpkg-query -W -f='${Version}' wine64)
  rm -rf "$root" "$dir/debs"
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$dir/debs" "$root"
  printf 'deb [arch=amd64] %s bookworm-backports main\ndeb [arch=i386] %s bookworm main\n' \
    "$mirror" "$mirror" >"$apt/sources.list"
  local opts=(-o Dir::Etc::SourceList="$apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent
    -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache"
    -o APT::Architectures::=amd64 -o APT::Architectures::=i386 -o Debug::NoLocking=1
    -o APT::Sandbox::User=root)
  echo "== fetching qemu-user (bookworm-backports) and the 32-bit Wine $wine_version"
  apt-get "${opts[@]}" -qq update
  (cd "$dir/debs" && apt-get "${opts[@]}" -qq download qemu-user/bookworm-backports \
    "wine32:i386=$wine_version" "libwine:i386=$wine_version" libc6:i386)
  local deb
  for deb in "$dir"/debs/*.deb; do dpkg -x "$deb" "$root"; done

  # Wine finds the other bitness's loader beside its own and the other bitness's DLLs relative
  # to the real location of its ntdll.so: a copy of the 64-bit loader and of the 64-bit ntdll.so
  # in the unpacked tree, the rest of the 64-bit Wine linked in.
  cp /usr/lib/wine/wine64 "$lib/wine/wine64"
  ln -sfn /usr/lib/wine/wineserver64 "$lib/wine/wineserver"
  local unix64=$lib/x86_64-linux-gnu/wine/x86_64-unix f
  mkdir -p "$unix64"
  for f in /usr/lib/x86_64-linux-gnu/wine/x86_64-unix/*; do ln -sfn "$f" "$unix64/"; done
  rm "$unix64/ntdll.so"
  cp /usr/lib/x86_64-linux-gnu/wine/x86_64-unix/ntdll.so "$unix64/"
  ln -sfn /usr/lib/x86_64-linux-gnu/wine/x86_64-windows "$lib/x86_64-linux-gnu/wine/x86_64-windows"
  ln -sfn "$lib/i386-linux-gnu/wine/i386-windows" "$lib/x86_64-linux-gnu/wine/i386-windows"
  # The zlib that libwine's own installation would add (from libz-mingw-w64, marked builtin).
  local zlib=/usr/i686-w64-mingw32/lib/zlib1.dll
  {
    head -c 64 "$zlib"
    printf 'Wine builtin DLL'
    head -c 16 /dev/zero
    tail -c +97 "$zlib"
  } >"$lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
  touch "$root/.ready"
}
[ -f "$root/.ready" ] || fetch_root

# --- qemu-i386 for i386 programs, for this run only -------------------------------------------
binfmt=/proc/sys/fs/binfmt_misc
entry=corvid-i386-$$
mounted_binfmt=
prefix=$dir/prefix
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  WINEPREFIX=$prefix wineserver -w 2>/dev/null || true
  [ -e "$binfmt/$entry" ] && echo -1 >"$binfmt/$entry"
  [ -n "$mounted_binfmt" ] && umount "$binfmt"
  return 0
}
trap cleanup EXIT
trap 'exit 130' INT TERM
if [ ! -e "$binfmt/register" ]; then
  mount -t binfmt_misc binfmt_misc "$binfmt"
  mounted_binfmt=1
fi
# i386 ELF executables (qemu's own magic and mask); F: the interpreter is opened now.
printf ':%s:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:%s:F\n' \
  "$entry" "$root/usr/bin/qemu-i386" >"$binfmt/register"

export QEMU_LD_PREFIX=$root WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
wine64=$lib/wine/wine64
# Wine without the console's CR and without gdi32's note that the 32-bit side has no FreeType.
quiet() { tr -d '\r' | grep -v -e 'FreeType' -e 'use TrueType fonts' -e 'or equal to 2.0.5' \
  -e 'www.freetype.org' || true; }

# --- a fresh prefix with its 32-bit part --------------------------------------------------------
echo "== Wine prefix $prefix (64-bit Wine $(wine --version), 32-bit through $("$root/usr/bin/qemu-i386" --version | head -1))"
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
rm -rf "$prefix"
start=$SECONDS
"$wine64" wineboot --init </dev/null >/dev/null 2>&1
wineserver -w
"$wine64" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
# The 32-bit half of the prefix (syswow64 and the 32-bit registry), as wineboot installs it
# where the 32-bit Wine is installed; the 32-bit builtins load without their files meanwhile.
WINEBOOTSTRAPMODE=1 "$wine64" 'C:\windows\syswow64\rundll32.exe' setupapi,InstallHinfSection \
  Wow64Install 128 "\\\\?\\Z:${root//\//\\}\\usr\\share\\wine\\wine.inf" </dev/null >/dev/null 2>&1 || true
wineserver -w
echo "   prefix ready in $((SECONDS - start)) s ($(ls "$prefix/drive_c/windows/syswow64" | wc -l) files in syswow64)"
wineserver -p </dev/null >/dev/null 2>&1
"$wine64" cmd /c exit </dev/null >/dev/null 2>&1

# --- the product, installed by its installer ------------------------------------------------
echo "== $(basename "$setup") /S"
"$wine64" "$(readlink -f "$setup")" /S </dev/null >/dev/null 2>&1
install_win='C:\Program Files\Corvid OPC DA'
probe32="$install_win\\x86\\opcprobe.exe"
prog_id=Boreal.OPC.Corvid
data="$prefix/drive_c/ProgramData/Corvid OPC DA"

"$wine64" "$sim" --port 0 </dev/null >"$dir/corvidsim.out" 2>&1 &
sim_pid=$!
port=
for _ in $(seq 1 50); do
  port=$(grep -o '127.0.0.1:[0-9]*' "$dir/corvidsim.out" | head -1 | cut -d: -f2) && [ -n "$port" ] && break
  sleep 0.2
done
[ -n "$port" ] || { cat "$dir/corvidsim.out"; echo "corvidsim did not start" >&2; exit 1; }
printf '[CORVID]\r\nHOST=127.0.0.1\r\nPORT=%s\r\nNAME=CFG\r\nPASSWORD=\r\nTIMEOUT=5000\r\n' "$port" \
  >"$data/config.ini"
echo "== corvidsim.exe on 127.0.0.1:$port"

# The 32-bit client; its output goes to a file (the server COM starts inherits it).
probe() {
  local rc=0 t0=$SECONDS
  echo
  echo "\$ x86\\opcprobe $*"
  "$wine64" "$probe32" "$@" </dev/null >"$dir/probe.out" 2>&1 || rc=$?
  quiet <"$dir/probe.out"
  echo "(exit $rc, $((SECONDS - t0)) s)"
  return 0
}
probe list
probe status "$prog_id"
for _ in $(seq 1 50); do
  "$wine64" "$install_win\\opcprobe.exe" browse "$prog_id" flat </dev/null >"$dir/probe.out" 2>&1 || true
  grep -q 'L12.ITP.SP' "$dir/probe.out" && break
  sleep 0.2
done
probe browse "$prog_id" flat
probe read "$prog_id" 1.1.1.1 1.2.1.1 L12.ITP.T1 L12.ITP.SP L12.BLR.MODE
probe props "$prog_id" L12.ITP.SP
probe write "$prog_id" L12.ITP.SP=66.5
sleep 1
probe read "$prog_id" L12.ITP.SP
probe strings "$prog_id" 1.1.1.1
probe subscribe "$prog_id" "$seconds" 1.2.1.1 L12.ITP.T1

# --- without the 32-bit proxy registration, and the x86 DLL's own registration ------------------
keys32() {
  local iid
  for iid in $(grep -o '^\[object, uuid([^)]*)' src/idl/opcda.idl | sed 's/.*uuid(\(.*\))/{\1}/'); do
    "$wine64" reg query "HKCR\\Interface\\$iid" /s /reg:32 </dev/null 2>&1
  done | tr -d '\r' | sed 's/HKEY_CLASSES_ROOT\\Wow6432Node/HKEY_CLASSES_ROOT/I'
}
keys32 >"$dir/keys32.installer"
regsvr32_32='C:\windows\syswow64\regsvr32.exe'
echo
echo "== 32-bit regsvr32 /u x86\\CorvidOpcProxy.dll: the 32-bit view loses the proxy"
"$wine64" "$regsvr32_32" /s /u "$install_win\\x86\\CorvidOpcProxy.dll" </dev/null 2>&1 | quiet
probe status "$prog_id"
echo
echo "== 32-bit regsvr32 x86\\CorvidOpcProxy.dll: the x86 DLL registers itself"
"$wine64" "$regsvr32_32" /s "$install_win\\x86\\CorvidOpcProxy.dll" </dev/null 2>&1 | quiet
keys32 >"$dir/keys32.regsvr32"
if diff -u -i "$dir/keys32.installer" "$dir/keys32.regsvr32"; then
  echo "the keys the installer wrote for 32-bit clients equal those of the x86 DLL's own registration" \
    "($(grep -c 'ProxyStubClsid32' "$dir/keys32.installer") interfaces)"
fi
probe status "$prog_id"

echo
echo "== the server's log"
tr -d '\r' <"$data/protokol.log" | iconv -f CP1251 -t UTF-8
