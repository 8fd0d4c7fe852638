#!/usr/bin/env bash
# Close under Wine while an exchange hangs: START against a list service
# that reads the request and never answers, answers a status line and then
# nothing, promises a body and stops, or streams a body without end; and
# Check List against proxies that send a status line and then one header
# byte every 5 s, with a start while that copy ends. The program must end
# promptly, with the user's proxy setting as before. Then a line of a
# megabyte pasted, and Close during a clean-up run with a start meanwhile.
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/e2e.sh"
e2e_start "$1" "$2"

new_app_folder CloseTest
e2e_on_exit 'rm -rf "$app"; for p in ${server_pids:-}; do kill "$p" 2>/dev/null; done'
wine reg add "$internet_settings" /v ProxyServer /t REG_SZ /d : /f >/dev/null

# Starts the program in $app; sets app_pid and window.
start_app() {
  (cd "$app" && exec wine cloakwise.exe) >"$out/cloakwise.log" 2>&1 &
  app_pid=$!
  window=$(wait_for_window '^Cloakwise$')
  [ -n "$window" ] || fail "the main window did not appear"
  sleep 1
}

server_pids=""
# Starts a stalling server in mode $1 on $2; sets port.
stalling_server() {
  python3 "$root/tests/e2e/tools/stalling_server.py" "$1" "$2" >"$out/port-$1" 2>&1 &
  server_pids+=" $!"
  port=""
  for _ in $(seq 50); do
    port=$(head -n1 "$out/port-$1")
    [ -n "$port" ] && break
    sleep 0.1
  done
  [[ $port =~ ^[0-9]+$ ]] || fail "the $1 server did not start: $(cat "$out/port-$1")"
}

# A start made while the first copy is closing: it waits for that copy to
# end, and then runs with a window of its own.
start_meanwhile() {
  (cd "$app" && exec wine cloakwise.exe) >"$out/second.log" 2>&1 &
  second_pid=$!
  e2e_on_exit 'kill "$second_pid" 2>/dev/null'
}
expect_second_copy() {
  app_pid=$second_pid
  window=$(wait_for_window '^Cloakwise$')
  [ -n "$window" ] || fail "the start made while the first copy was closing shows no window"
  sleep 1
  kill -0 "$app_pid" 2>/dev/null || fail "the start made while the first copy was closing did not stay"
  shot "$window" "second-start-$1"
  tray_menu 1 || fail "no tray icon on the second copy"
  for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$app_pid" 2>/dev/null && fail "the second copy is still running after Close"
  app_pid=""
}

# Runs the program with options.ini $1, clicks ($2, $3) on view tab ($4, $5),
# waits $6 s, closes from the tray and fails unless it ended within $7 ms.
# With $8, starts a second copy $8 s after Close, which must then run.
close_while_hanging() {
  printf '%s' "$1" >"$app/options.ini"
  start_app
  click_in_window "$window" "$4" "$5"
  sleep 0.3
  click_in_window "$window" "$2" "$3"
  sleep "$6"
  local closed took
  closed=$(date +%s%N)
  tray_menu 1 || fail "no tray icon"
  if [ -n "${8:-}" ]; then sleep "$8"; start_meanwhile; fi
  for _ in $(seq 300); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$app_pid" 2>/dev/null && fail "cloakwise.exe is still running 30 s after Close"
  took=$((($(date +%s%N) - closed) / 1000000))
  echo "ended ${took} ms after Close"
  [ "$took" -lt "$7" ] || fail "Close took $took ms"
  [ "$(proxy_server)" = ":" ] || fail "Close left the proxy $(proxy_server)"
  app_pid=""
  if [ -n "${8:-}" ]; then expect_second_copy "$8"; fi
}

for mode in silent status body stream; do
  echo "-- START against a service that hangs ($mode), then Close"
  stalling_server "$mode" 127.0.0.1
  close_while_hanging "$(printf '[Options]\r\nStartUp=0\r\n[Service]\r\nHost=127.0.0.1:%s\r\n' "$port")" \
    224 258 45 375 2 5000
done

echo "-- Check List through proxies that trickle, then Close"
stalling_server trickle 127.0.0.1
{
  printf '[Options]\r\nStartUp=0\r\n[Service]\r\nHost=127.0.0.1:1\r\n[Proxy list]\r\n'
  for i in 1 2 3; do printf '%d=127.0.0.1:%s\r\n' "$i" "$port"; done
} >"$out/checker.ini"
# The check ends within a tenth of a second of Close, however the bytes
# trickle; the tray menu and Wine's own ending take a second or two of the
# bound.
# A start 0.5 s after Close, while this copy is still ending, is not lost.
close_while_hanging "$(cat "$out/checker.ini")" 388 85 140 370 3 5000 0.5
echo "-- a line of a megabyte pasted into Add Proxy, by Ctrl+V and by Shift+Insert: refused with a box each time, the program answers"
printf '[Options]\r\nStartUp=0\r\n' >"$app/options.ini"
start_app
click_in_window "$window" 140 370  # the Proxy Checker tab
sleep 0.3
click_in_window "$window" 388 137  # Add Proxy
paste=$(wait_for_window '^Add Proxy List$')
[ -n "$paste" ] || fail "the paste window did not open"
# Served until the program copies something of its own, for both routes.
{ printf '10.0.0.1:8080\n'; head -c 1000000 /dev/zero | tr '\0' '7'; } | xclip -selection clipboard
sleep 0.5
for keys in shift+Insert ctrl+v; do
  click_in_window "$paste" 144 150  # into the text box
  sleep 0.3
  xdotool key --window "$paste" "$keys"
  box=$(wait_for_window '^Proxy list$')
  [ -n "$box" ] || fail "no box refused the line pasted by $keys"
  shot "$box" "long-line-refused-$keys"
  xdotool key --window "$box" Return
  wait_until_gone '^Proxy list$' || fail "the box did not close"
done
click_in_window "$paste" 144 350  # ADD, with nothing pasted
wait_until_gone '^Add Proxy List$' || fail "the paste window no longer answers"
stored=$(tr -d '\r' <"$app/options.ini" | sed -n '/^\[Proxy list\]$/,/^\[/p' | grep -c '=.') || true
[ "$stored" -eq 0 ] || fail "$stored proxies were stored from a paste that was refused"
tray_menu 1 || fail "no tray icon"
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "cloakwise.exe is still running after Close"
app_pid=""
echo "-- Close during a clean-up run, and a start while that copy is closing"
unix_path() { winepath -u "$(wine cmd /c "echo %$1%" | tr -d '\r')"; }
bulk="$(unix_path TEMP)/close-test-bulk"
e2e_on_exit 'rm -rf "$bulk"'
mkdir -p "$bulk"
(cd "$bulk" && seq -f 'f%g.tmp' 1 20000 | xargs touch)
{
  printf '[Options]\r\nStartUp=0\r\n'
  for i in $(seq 15); do printf 'opt%d=%d\r\n' "$i" $((i == 7)); done
} >"$app/options.ini"
start_app
click_in_window "$window" 237 383  # the Hide Privacy tab
sleep 0.3
click_in_window "$window" 378 317  # APPLY
box=$(wait_for_window '^PC Privacy$')
[ -n "$box" ] || fail "no confirmation before the run"
xdotool key --window "$box" Return
sleep 2
left=$(find "$bulk" -type f | wc -l)
[ "$left" -gt 0 ] || fail "the run was over before Close: nothing to stop"
closed=$(date +%s%N)
tray_menu 1 || fail "no tray icon during the run"
start_meanwhile
for _ in $(seq 300); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "cloakwise.exe is still running 30 s after Close"
took=$((($(date +%s%N) - closed) / 1000000))
echo "ended ${took} ms after Close, $left of 20000 files left when it came"
[ "$took" -lt 5000 ] || fail "Close during the clean-up took $took ms"
[ "$(find "$bulk" -type f | wc -l)" -gt 0 ] || fail "the run went on deleting after Close"
expect_second_copy cleanup
echo "PASS: e2e Close while the service, a proxy or a clean-up runs, and a paste too long"
