#!/usr/bin/env bash
# Two things a real profile and a real pool bring, under Wine and Xvfb:
#   a service whose candidates answer the judge but never reach the level
#   asked with a tunnel (an elite proxy for plain HTTP only, an anonymous
#   one when only elite is accepted): START keeps searching at a pace that
#   slows while batches fail, and STOP ends a pause at once;
#   thousands of connection names under the Internet settings, left by VPN
#   and dial-up software: START puts the proxy in, and Close puts every one
#   back within seconds, byte for byte.
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/e2e.sh"
e2e_start "$1" "$2"

start_world pace "test-elite-noconnect test-anonymous-10 dead-1"
anonymous=$(world_address test-anonymous-10)
[ -n "$anonymous" ] || fail "the world has no anonymous test proxy"
service_log="$work/world/service.log"
asked() { grep -c 'POST /proxy.php' "$service_log" || true; }

no_system_proxy

new_app_folder SearchPaceTest
e2e_on_exit 'rm -rf "$app"'
options() {  # the lowest level accepted: 1 anonymous, 2 elite
  printf '[Options]\r\nStartUp=0\r\nFirefox=0\r\nChange1=0\r\nProxyType=%s\r\n[Service]\r\n%s' \
    "$1" "$SERVICE_INI" >"$app/options.ini"
}

echo "-- START with only elite accepted: every batch reaches proxies and installs none"
options 2
start_app_in "$app"
click_in_window "$window" 224 258
sleep 5
first=$(asked)
sleep 25
count=$(($(asked) - first))
echo "the service was asked $count times in 25 s"
[ "$count" -gt 0 ] || fail "the search stopped"
# Each batch a request for candidates and one of feedback, the pauses
# doubling: about ten batches in the first half minute.
[ "$count" -le 30 ] || fail "the service was asked $count times in 25 s"
[ -z "$(proxy_server)" ] || fail "a proxy below the level asked was installed: $(proxy_server)"
shot "$window" searching-on
click_in_window "$window" 224 258
before=$(asked)
sleep 3
[ "$(asked)" -eq "$before" ] || fail "the search asked the service after STOP"
tray_menu 1 || fail "no tray icon"
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "cloakwise.exe is still running after Close"
app_pid=""

echo "-- 3 002 connection names: START puts the proxy in, Close puts them back within seconds"
connections='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections'
e2e_on_exit "wine reg delete '$connections' /f >/dev/null 2>&1 || true"
python3 - "$out/connections.reg" <<'PY'
import sys
lines = ["Windows Registry Editor Version 5.00", "",
         r"[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections]"]
blob = "46,00,00,00,05,00,00,00,01,00,00,00,00,00,00,00,00,00,00,00"
lines += ['"DefaultConnectionSettings"=hex:' + blob, '"SavedLegacySettings"=hex:' + blob]
lines += ['"Dial-up %d"=hex:%s' % (i, blob) for i in range(3000)]
with open(sys.argv[1], "wb") as f:
    f.write(("\r\n".join(lines) + "\r\n").encode("utf-16"))
PY
wine regedit /S "$(winepath -w "$out/connections.reg")" >/dev/null 2>&1
export_connections() {
  rm -f "$1"
  wine reg export "$connections" "$(winepath -w "$1")" /y >/dev/null 2>&1
  [ -s "$1" ] || fail "the connection names could not be read"
}
export_connections "$out/before.reg"
names=$(iconv -f UTF-16 -t UTF-8 "$out/before.reg" | grep -c '^"')
[ "$names" -eq 3002 ] || fail "$names connection names planted, not 3002"
options 1
start_app_in "$app"
started=$(date +%s%N)
click_in_window "$window" 224 258
wait_for_proxy_server "$anonymous" 60 || fail "START did not install $anonymous: $(proxy_server)"
echo "in use $((($(date +%s%N) - started) / 1000000)) ms after START"
closed=$(date +%s%N)
tray_menu 1 || fail "no tray icon"
for _ in $(seq 300); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "cloakwise.exe is still running 30 s after Close"
took=$((($(date +%s%N) - closed) / 1000000))
app_pid=""
echo "ended ${took} ms after Close"
# The tray menu and Wine's own ending take about 3 s of it with no names
# at all; putting back 3 002 connections takes about one more.
[ "$took" -lt 8000 ] || fail "Close took $took ms"
[ -z "$(proxy_server)" ] || fail "Close left the proxy $(proxy_server)"
export_connections "$out/after.reg"
cmp -s "$out/before.reg" "$out/after.reg" ||
  fail "the connections changed: $(diff <(iconv -f UTF-16 -t UTF-8 "$out/before.reg") <(iconv -f UTF-16 -t UTF-8 "$out/after.reg") | head -n 6)"
wine reg query 'HKCU\Software\Cloakwise' >/dev/null 2>&1 && fail "the program's record stayed"
echo "PASS: e2e the search's pace, and thousands of connection names"
