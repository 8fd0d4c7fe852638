#!/usr/bin/env bash
# The main window at the display scales users choose: with the prefix's
# LogPixels at 96, 144 and 192, the window's size as X sees it and its first
# view pictured; at 192 every view, the tray menu and the About window
# pictured, and clicks at the scaled places working (the Options tab, then
# "Run at startup", whose key in options.ini changes).
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/e2e.sh"
e2e_start "$1" "$2"

desktop='HKCU\Control Panel\Desktop'
before=$(wine reg query "$desktop" /v LogPixels 2>/dev/null | tr -d '\r' | awk '$1 == "LogPixels" { print $3 }' || true)
# Wine reads the DPI as its server starts for the prefix: a new scale needs
# a new server (which ends every program of the prefix, none but ours here).
restart_wine() { wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; }
# Every later test clicks at 96-DPI places: the prefix goes back as it was.
if [ -n "$before" ]; then
  e2e_on_exit 'wine reg add "$desktop" /v LogPixels /t REG_DWORD /d "$before" /f >/dev/null; restart_wine'
else
  e2e_on_exit 'wine reg delete "$desktop" /v LogPixels /f >/dev/null 2>&1; restart_wine'
fi

new_app_folder DpiTest
e2e_on_exit 'rm -rf "$app"'
printf '[Options]\r\nStartUp=1\r\n' >"$app/options.ini"
startup() { tr -d '\r' <"$app/options.ini" | grep '^StartUp=' || true; }

# Starts the program at a DPI and prints its window's id.
start_at() {
  wine reg add "$desktop" /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null
  restart_wine
  (cd "$app" && exec wine cloakwise.exe) >>"$out/cloakwise.log" 2>&1 &
  app_pid=$!
  wait_for_window '^Cloakwise$'
}
stop_app() {
  tray_menu 1 || fail "no tray icon"
  for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$app_pid" 2>/dev/null && fail "cloakwise.exe is still running after Close"
  app_pid=""
}
# A point of the layout, given in its 96-DPI units, at the scale.
at() { echo $(($1 * dpi / 96)) $(($2 * dpi / 96)); }

for dpi in 96 144 192; do
  echo "-- at $dpi DPI"
  window=$(start_at "$dpi")
  [ -n "$window" ] || fail "no main window at $dpi DPI"
  sleep 1
  size=$(xdotool getwindowgeometry "$window" | awk '/Geometry/ { print $2 }')
  want_w=$((448 * dpi / 96)) want_h=$((397 * dpi / 96))
  w=${size%x*} h=${size#*x}
  echo "window: ${size} (wanted about ${want_w}x${want_h})"
  [ $((w - want_w)) -ge -2 ] && [ $((w - want_w)) -le 2 ] &&
    [ $((h - want_h)) -ge -2 ] && [ $((h - want_h)) -le 2 ] ||
    fail "the window is $size at $dpi DPI, not about ${want_w}x${want_h}"
  shot "$window" "dpi$dpi-hide-ip"
  if [ "$dpi" = 192 ]; then
    # shellcheck disable=SC2046
    for tab in "142 proxy-checker" "237 hide-privacy" "332 options"; do
      read -r x name <<<"$tab"
      click_in_window "$window" $(at "$x" 383)
      sleep 0.5
      shot "$window" "dpi192-$name"
    done
    # On the options view now: the box of "Run at startup" at its scaled place.
    # shellcheck disable=SC2046
    click_in_window "$window" $(at 37 65)
    sleep 0.5
    [ "$(startup)" = "StartUp=0" ] || fail "a click on Run at startup at 192 DPI left $(startup)"
    # shellcheck disable=SC2046
    click_in_window "$window" $(at 100 65)  # its caption toggles it too
    sleep 0.5
    [ "$(startup)" = "StartUp=1" ] || fail "a click on its caption at 192 DPI left $(startup)"
    tray_menu 2 "$out/dpi192-tray-menu.png" || fail "no tray icon"
    about=$(wait_for_window '^Program information$')
    [ -n "$about" ] || fail "no About window"
    sleep 0.5
    shot "$about" dpi192-about
    about_size=$(xdotool getwindowgeometry "$about" | awk '/Geometry/ { print $2 }')
    [ "$about_size" = "640x300" ] || fail "the About window is $about_size at 192 DPI, not 640x300"
    xdotool key --window "$about" Escape 2>/dev/null || true
  fi
  stop_app
done
echo "PASS: e2e display scales: 96, 144 and 192 DPI"
