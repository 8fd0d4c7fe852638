#!/usr/bin/env bash
# The main window under Wine without the mouse: Tab to a box on the options
# view and Space changes its option in options.ini, with the focus cue drawn;
# Ctrl+Tab to the Hide IP view and Enter presses START (the proxy-list
# service, a loopback web server here, is asked); Ctrl+Tab on to the privacy
# view and Enter presses APPLY (a temporary file goes); Escape and Alt+F4
# hide the window to the tray and the program keeps running; the tray's
# Close still ends it.
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/e2e.sh"
e2e_start "$1" "$2"

new_app_folder KeyboardTest
e2e_on_exit 'rm -rf "$app"'
work=$(mktemp -d /tmp/cloakwise-e2e-keys.XXXXXX)
e2e_on_exit 'cp "$work/service.log" "$out/service-requests.log"; rm -rf "$work"'
port=$((30000 + RANDOM % 1000))
start_plain_origin 127.0.0.9 "$port" "$work/service.log" 300
printf '[Options]\r\nStartUp=1\r\n[Service]\r\nHost=127.0.0.9:%s\r\n' "$port" >"$app/options.ini"
# An earlier test leaves a proxy of the user's own, which the service would
# be asked through.
wine reg add "$internet_settings" /v ProxyEnable /t REG_DWORD /d 0 /f >/dev/null
temp=$(winepath -u "$(wine cmd /c 'echo %TEMP%' | tr -d '\r')")
echo trace >"$temp/keyboard-trace.tmp"
# The clean-up empties the Recycle Bin, Wine's being the desktop's trash.
export XDG_DATA_HOME="$work/trash"

start_app() { (cd "$app" && exec wine cloakwise.exe) >>"$out/cloakwise.log" 2>&1 & }
start_app
app_pid=$!
window=$(wait_for_window '^Cloakwise$')
[ -n "$window" ] || fail "the main window did not appear"
sleep 1
startup() { tr -d '\r' <"$app/options.ini" | grep '^StartUp=' || true; }

echo "-- Tab to the first box of the options view, Space toggles it"
click_in_window "$window" 332 383  # the Options tab; the window has the keys
sleep 0.3
xdotool key Tab
sleep 0.3
xdotool key space
sleep 0.5
[ "$(startup)" = "StartUp=0" ] || fail "Space on Run at startup left $(startup)"
shot "$window" focus-cue
xdotool key space
sleep 0.5
[ "$(startup)" = "StartUp=1" ] || fail "a second Space left $(startup)"

echo "-- Ctrl+Tab to Hide IP, Enter presses START"
xdotool key ctrl+Tab
sleep 0.3
xdotool key Return
for _ in $(seq 50); do grep -q "POST /proxy.php" "$work/service.log" && break; sleep 0.2; done
grep -q "POST /proxy.php" "$work/service.log" || fail "Enter on the Hide IP view asked the service nothing"
shot "$window" keyboard-start

echo "-- Ctrl+Tab twice to the privacy view, Enter presses APPLY"
xdotool key ctrl+Tab
sleep 0.3
xdotool key ctrl+Tab
sleep 0.3
xdotool key Return
box=$(wait_for_window '^PC Privacy$')
[ -n "$box" ] || fail "Enter on the privacy view asked no confirmation"
xdotool key --window "$box" Return
for _ in $(seq 100); do [ -e "$temp/keyboard-trace.tmp" ] || break; sleep 0.3; done
[ ! -e "$temp/keyboard-trace.tmp" ] || fail "APPLY by Enter left the temporary file"

echo "-- Escape hides the window to the tray"
xdotool key Escape
wait_until_gone '^Cloakwise$' || fail "Escape did not hide the window"
kill -0 "$app_pid" 2>/dev/null || fail "the program ended on Escape"

echo "-- Alt+F4 hides it too, and the program keeps running"
start_app  # a second start shows the running copy and ends
window=$(wait_for_window '^Cloakwise$')
[ -n "$window" ] || fail "the window did not come back"
sleep 1
click_in_window "$window" 200 200
sleep 0.3
xdotool key alt+F4
wait_until_gone '^Cloakwise$' || fail "Alt+F4 did not hide the window"
sleep 1
kill -0 "$app_pid" 2>/dev/null || fail "the program ended on Alt+F4"

echo "-- the tray's Close ends it"
tray_menu 1 || fail "no tray icon"
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "cloakwise.exe is still running after Close"
app_pid=""
echo "PASS: e2e keyboard: Tab and Space, Escape and Alt+F4 hide, Close ends"
