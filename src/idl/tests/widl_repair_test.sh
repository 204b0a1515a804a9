#!/usr/bin/env bash
# fix_widl_out_strings.py on widl's x64 and i686 proxy code: both repairs succeed and re-point the
# same parameters, the seven string parameters that widl gets wrong (the [out] string pointers of
# both GetErrorStrings, GetItemID, GetState, LookupItemIDs, Browse's continuation point, and the
# [in] item ids of GetProperties).
#
# Usage: widl_repair_test.sh FIX_SCRIPT RAW_X64_P_C RAW_X86_P_C
set -u
script=$1 raw64=$2 raw86=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
expected='ppName ppString ppString ppszNewItemIDs pszContinuationPoint pszItemIDs szItemID'
failures=0
for arch in x64 x86; do
  raw=$raw64
  [ "$arch" = x86 ] && raw=$raw86
  if ! python3 "$script" "$raw" "$work/$arch.c" 2>"$work/$arch.err"; then
    echo "FAIL: the repair of widl's $arch output failed: $(cat "$work/$arch.err")"
    failures=$((failures + 1))
    continue
  fi
  repaired=$(sed -n 's|^/\*   \([A-Za-z]*\): [0-9]* -> [0-9]* \*/$|\1|p' "$work/$arch.c" | sort | xargs)
  if [ "$repaired" != "$expected" ]; then
    echo "FAIL: $arch: repaired [$repaired], expected [$expected]"
    failures=$((failures + 1))
  else
    echo "ok: $arch: $repaired"
  fi
done
[ "$failures" -eq 0 ]
