#!/usr/bin/env bash
# Runs a Win32 test executable under Wine with its windows on an Xvfb server of its own, in the
# UI prefix; screenshots go to SHOTS_DIR (CORVID_SCREENSHOTS).
#
# Usage: wine_xvfb_run.sh PREFIX SOURCE_DIR SHOTS_DIR EXE [ARGS...]
set -u
prefix=$(realpath -m "$1") source_dir=$2 shots=$(realpath -m "$3") exe=$4
shift 4
. "$(dirname "$0")/ui_env.sh"

work=$(mktemp -d)
trap 'ui_stop; rm -rf "$work"' EXIT
ui_prepare_prefix "$prefix" "$source_dir" || exit 1
ui_start_xvfb "$work" || exit 1
mkdir -p "$shots"
export CORVID_SCREENSHOTS="Z:$shots"
wine "$exe" "$@"
