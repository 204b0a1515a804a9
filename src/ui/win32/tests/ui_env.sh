# Sourced by the UI test scripts: a Wine prefix whose windows are drawn by the X11 driver, on an
# Xvfb server of its own.
#
# ui_prepare_prefix PREFIX SOURCE_DIR   creates the prefix once (flock-safe), X11 graphics
# ui_start_xvfb WORK_DIR                 starts Xvfb on a free display, exports DISPLAY
# ui_stop                                ends Wine in the prefix and the Xvfb server

export WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
ui_xvfb_pid=

ui_prepare_prefix() {
  local prefix=$1 source_dir=$2
  export WINEPREFIX=$prefix
  unset DISPLAY
  "$source_dir/scripts/wine-prefix.sh" "$prefix" || return 1
  (
    flock 9
    if [ ! -f "$prefix/.corvid-ui-ready" ]; then
      # The common prefix draws nothing (Graphics=null); this one uses the X11 driver with a
      # virtual desktop, so that Wine draws the windows' frames itself (Xvfb has no window
      # manager) and the tray icons show in its task bar.
      wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f >/dev/null 2>&1 &&
        wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 &&
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f \
          >/dev/null 2>&1 || exit 1
      wineserver -w
      # Wine's own Tahoma (with Cyrillic) and Marlett (the frame's buttons) from fonts-wine,
      # which this Wine does not find by itself.
      cp /usr/share/wine/fonts/tahoma*.ttf /usr/share/wine/fonts/marlett.ttf \
        "$prefix/drive_c/windows/Fonts/" 2>/dev/null
      touch "$prefix/.corvid-ui-ready"
    fi
  ) 9>"$prefix.lock"
}

ui_start_xvfb() {
  local work=$1 display_file="$1/xvfb.display" i
  : >"$display_file"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$display_file" \
    </dev/null >"$work/xvfb.log" 2>&1 &
  ui_xvfb_pid=$!
  for i in $(seq 1 100); do
    [ -s "$display_file" ] && break
    sleep 0.05
  done
  [ -s "$display_file" ] || { echo "Xvfb did not start"; return 1; }
  export DISPLAY=":$(tr -d '\n' <"$display_file")"
  # Wine (and its desktop process) start anew on this display.
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  wineserver -p </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1
}

ui_stop() {
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  [ -n "$ui_xvfb_pid" ] && kill "$ui_xvfb_pid" 2>/dev/null && wait "$ui_xvfb_pid" 2>/dev/null
  ui_xvfb_pid=
}
