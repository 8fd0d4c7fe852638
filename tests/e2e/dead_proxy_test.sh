#!/usr/bin/env bash
# A proxy that dies while in use, with the rotation off: START installs the
# faster of two test proxies that tunnel; that proxy's process ends, and a
# program that follows Windows (a WinInet client) gets nothing: its traffic
# does not go around it. Within a minute cloakwise.exe has put the other
# proxy in use by itself, and the client gets through again. Then the second
# dies too and nothing answers: the registry keeps the program's proxy (no
# fall-back to direct), the program keeps asking the service at a bounded
# pace, and the status view says what is happening. STOP gives the user's
# own settings back.
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/e2e.sh"
e2e_start "$1" "$2"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
fetch="$(dirname "$exe")/inet_fetch.exe"
[ -x "$fetch" ] || fail "no $fetch"

# Every batch the same three: the fast one, the slow one, and a dead port.
start_world dead "test-elite-40 test-elite-400 dead-1"
fast=$(world_address test-elite-40)
slow=$(world_address test-elite-400)
[ -n "$fast" ] && [ -n "$slow" ] || fail "the world has no test proxies"
service_log="$work/world/service.log"
kill_proxy() { pkill -f "cloakwise-testproxy --bind ${1%:*} " || fail "no process for $1"; }
# What another program on the machine gets through the Windows settings.
client() { wine "$fetch" "$JUDGE_URL" 2>/dev/null | tr -d '\r'; }

no_system_proxy

new_app_folder DeadProxyTest
printf '[Options]\r\nStartUp=0\r\nFirefox=0\r\nChange1=0\r\nProxyType=2\r\n[Service]\r\n%s' \
  "$SERVICE_INI" >"$app/options.ini"
start_app_in "$app"

echo "-- START: the faster proxy goes in use"
click_in_window "$window" 224 258
wait_for_proxy_server "$fast" 30 || fail "START did not install $fast: $(proxy_server)"
client | grep -q '^200 ' || fail "the client got nothing through $fast: $(client)"

echo "-- it dies: nothing goes around it, and within a minute the other is in use"
kill_proxy "$fast"
died=$(date +%s)
client && fail "the client got through a dead proxy: its traffic went around it"
wait_for_proxy_server "$slow" 60 || fail "no replacement within 60 s: $(proxy_server)"
echo "replaced after $(($(date +%s) - died)) s"
client | grep -q '^200 ' || fail "the client got nothing through $slow: $(client)"
shot "$window" replaced

echo "-- the other dies too, and nothing answers: never direct, the service asked at a bounded pace"
kill_proxy "$slow"
sleep 40
[ "$(proxy_server)" = "$slow" ] || fail "the program left its proxy: $(proxy_server)"
client && fail "the client got through: the settings went direct"
start=$(grep -c 'POST /proxy.php' "$service_log" || true)
sleep 30
asked=$(($(grep -c 'POST /proxy.php' "$service_log" || true) - start))
echo "the service was asked $asked times in 30 s"
[ "$asked" -gt 0 ] || fail "the program stopped looking"
# Two requests a batch, a batch at most every few seconds once the pauses
# have grown.
[ "$asked" -le 30 ] || fail "the program asked the service $asked times in 30 s"
[ "$(proxy_server)" = "$slow" ] || fail "the program left its proxy: $(proxy_server)"
shot "$window" nothing-answers

echo "-- STOP: the user's own settings"
click_in_window "$window" 224 258
for _ in $(seq 40); do [ -z "$(proxy_server)" ] && break; sleep 0.25; done
[ -z "$(proxy_server)" ] || fail "STOP left the proxy $(proxy_server)"
tray_menu 1 || fail "no tray icon"
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "cloakwise.exe is still running after Close"
echo "PASS: e2e a dead proxy is replaced by itself, and nothing goes direct meanwhile"
