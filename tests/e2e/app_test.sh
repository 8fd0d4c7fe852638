#!/usr/bin/env bash
# cloakwise.exe under Wine and Xvfb, driven as a user would: through the tray
# icon, its menu and clicks on the window. Checks what the program leaves in
# options.ini and the real registry of the prefix.
set -euo pipefail
exe="$1"
out="$2"  # folder for screenshots and logs
: "${WINEPREFIX:?}"
export WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$out"
source "$(dirname "$0")/../../scripts/lib/desktop.sh"
ensure_display "$out/xvfb.log"

fail() {
  echo "FAIL: $*"
  import -window root "$out/failure.png" 2>/dev/null || true
  exit 1
}
settings='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
run_key='HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Run'
layers_key='HKCU\Software\Microsoft\Windows NT\CurrentVersion\AppCompatFlags\Layers'

app="$WINEPREFIX/drive_c/AppTest"
rm -rf "$app"
mkdir -p "$app"
cp "$exe" "$app/cloakwise.exe"
app_pid=""

start_app() {
  (cd "$app" && exec wine cloakwise.exe "$@") >>"$out/cloakwise.log" 2>&1 &
  app_pid=$!
}

expect_ended() {
  for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || return 0; sleep 0.1; done
  fail "cloakwise.exe is still running"
}

reg_value() { wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | grep -E "^ +$2 " || true; }

# Firefox is installed for this user: its profiles folder exists, so the
# Firefox option can be used; one profile holds a line of the user's.
appdata=$(winepath -u "$(wine cmd /c 'echo %APPDATA%' | tr -d '\r')")
profiles="$appdata/Mozilla/Firefox/Profiles"
rm -rf "$appdata/Mozilla"
mkdir -p "$profiles/e2e.default"
printf 'user_pref("browser.startup.homepage", "about:blank");\r\nuser_pref("network.proxy.type", 1);\r\n' \
  >"$profiles/e2e.default/user.js"

echo "-- first start in a fresh folder"
wine reg add "$settings" /v ProxyServer /t REG_SZ /d 5.6.7.8:3128 /f >/dev/null
wine reg add "$settings" /v ProxyEnable /t REG_DWORD /d 1 /f >/dev/null
start_app
window=$(wait_for_window '^Cloakwise$')
[ -n "$window" ] || fail "the main window did not appear"
sleep 1
ini=$(tr -d '\r' <"$app/options.ini")
[ "$ini" = $'[Options]\nStartUp=1\nFirefox=0\nTimeout=9' ] || fail "options.ini after the first start: $ini"
exe_win='C:\AppTest\cloakwise.exe'
reg_value "$run_key" Cloakwise | grep -qF "\"$exe_win\" /startup" || fail "Run value: $(reg_value "$run_key" Cloakwise)"
wine reg query "$layers_key" 2>/dev/null | tr -d '\r' | grep -qF "$exe_win    REG_SZ    RUNASADMIN" ||
  fail "Layers value missing"
import -window root "$out/status-view.png"

echo "-- Options... from the tray menu, then SAVE"
tray_menu 4 "$out/tray-menu.png" || fail "no tray icon"
# SAVE sits at 330,304 (96 x 28) on the options view.
click_in_window "$window" 378 318
box=$(wait_for_window '^Options$')
[ -n "$box" ] || fail "SAVE showed no message box"
sleep 0.5
import -window root "$out/save-message-box.png"
echo "screenshot: $out/save-message-box.png"
geometry=$(xdotool getwindowgeometry "$box")
echo "$geometry" | grep -q "Geometry: 499x167" || fail "message box geometry: $geometry"
xdotool key Return  # Enter presses OK
wait_until_gone '^Options$' || fail "Enter did not close the message box"
[ "$(tr -d '\r' <"$app/options.ini")" = "$ini" ] || fail "SAVE wrote to options.ini"

echo "-- a click on 'Change Firefox proxy' is stored at once"
click_in_window "$window" 100 121
sleep 0.5
grep -q '^Firefox=1' "$app/options.ini" || fail "Firefox not stored: $(cat "$app/options.ini")"

echo "-- About..."
tray_menu 2 || fail "no tray icon"
about=$(wait_for_window '^Program information$')
[ -n "$about" ] || fail "no program-information window"
sleep 0.5
import -window root "$out/about.png"
echo "screenshot: $out/about.png"
click_in_window "$about" 160 120  # its Close button
wait_until_gone '^Program information$' || fail "Close did not close the program information"

echo "-- Close from the tray menu: with nothing of its own in use, it changes nothing"
userjs_before=$(od -c "$profiles/e2e.default/user.js")
tray_menu 1 || fail "no tray icon"
expect_ended
[ "$(reg_value "$settings" ProxyServer | awk '{print $3}')" = "5.6.7.8:3128" ] ||
  fail "ProxyServer after Close: $(reg_value "$settings" ProxyServer)"
reg_value "$settings" ProxyEnable | grep -q '0x1$' || fail "ProxyEnable after Close"
[ "$(od -c "$profiles/e2e.default/user.js")" = "$userjs_before" ] ||
  fail "user.js after Close: $(cat -A "$profiles/e2e.default/user.js")"
wine reg query 'HKCU\Software\Cloakwise' >/dev/null 2>&1 && fail "the program left a key of its own"

echo "-- /startup shows only the tray icon; a click on it shows the window"
start_app /startup
# The window exists, hidden, once start-up has run; the tray icon with it.
for _ in $(seq 150); do [ -n "$(xdotool search --name '^Cloakwise$' 2>/dev/null)" ] && break; sleep 0.2; done
sleep 1
[ -n "$(tray_window)" ] || fail "no tray icon after /startup"
[ -z "$(xdotool search --onlyvisible --name '^Cloakwise$' 2>/dev/null)" ] || fail "/startup showed the window"
click_in_window "$(tray_window)" 10 10 1
window=$(wait_for_window '^Cloakwise$')
[ -n "$window" ] || fail "a click on the tray icon did not show the window"

echo "-- one copy per session: a second start ends, and the user's brings the first to the front"
click_in_window "$window" 424 12  # the close mark hides the window
wait_until_gone '^Cloakwise$' || fail "the close mark did not hide the window"
(cd "$app" && timeout 30 wine cloakwise.exe /startup) >>"$out/cloakwise.log" 2>&1 ||
  fail "a second copy started by Windows did not end at once"
sleep 1
[ -z "$(xdotool search --onlyvisible --name '^Cloakwise$' 2>/dev/null)" ] ||
  fail "a second start by Windows showed the window"
(cd "$app" && timeout 30 wine cloakwise.exe) >>"$out/cloakwise.log" 2>&1 ||
  fail "a second copy started by the user did not end at once"
[ -n "$(wait_for_window '^Cloakwise$')" ] || fail "the second start did not show the running copy"
[ "$(xdotool search --name '^Cloakwise$' 2>/dev/null | wc -l)" -eq 1 ] || fail "two main windows"
kill -0 "$app_pid" 2>/dev/null || fail "the first copy ended"
tray_menu 1 || fail "no tray icon"
expect_ended

echo "-- a settings file that cannot be written ends start-up with an error box"
printf '[Options]\r\nFirefox=1\r\n' >"$app/options.ini"
wine attrib +r 'C:\AppTest\options.ini' >/dev/null 2>&1
start_app
# The main window is already up (it shows before the settings are opened);
# the error box is the other window of that name.
error=""
for _ in $(seq 100); do
  for w in $(xdotool search --onlyvisible --name '^Cloakwise$' 2>/dev/null); do
    xdotool getwindowgeometry "$w" | grep -q "Geometry: 448x397" || error="$w"
  done
  [ -n "$error" ] && break
  sleep 0.2
done
[ -n "$error" ] || fail "no error box"
sleep 0.5
import -window root "$out/write-error.png"
echo "screenshot: $out/write-error.png"
xdotool key --window "$error" Return
expect_ended
[ "$(tr -d '\r' <"$app/options.ini")" = $'[Options]\nFirefox=1' ] || fail "the refused file changed"
wine attrib -r 'C:\AppTest\options.ini' >/dev/null 2>&1

echo "PASS: e2e tray, options, message box and exit"
