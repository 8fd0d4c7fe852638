#!/usr/bin/env bash
# A service that keeps its own pool, fed a public list of 300 as such lists
# are: a tenth working, the rest refused or silent. Within 30 s every working
# one is in its pool, and it hands out no other; the program's START
# installs a working proxy from its first batch; a proxy of the pool that
# ends leaves the batches within one re-check period (15 s here, and the
# probe's 10-s time-out).
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/e2e.sh"
e2e_start "$1" "$2"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
native="$root/build/native"
work=$(mktemp -d /tmp/cloakwise-e2e-pool.XXXXXX)
e2e_on_exit 'rm -rf "$work"'
source "$root/scripts/lib/proxy_world.sh"

echo "-- a public list of 300: 30 working, 120 refused, 150 silent"
plans=()
for _ in $(seq 29); do plans+=("0:elite:delay=40"); done
for _ in $(seq 120); do plans+=("0:elite:refuse"); done
for _ in $(seq 150); do plans+=("0:elite:silent"); done
start_test_proxies "$native/tools/testproxy/cloakwise-testproxy" "$work/list" "${plans[@]}" ||
  fail "the list's proxies did not start"
mapfile -t faults < <(awk '{ print $1, $3 }' "$work/list/testproxy.port")
# The one that will end, in a process of its own.
start_test_proxies "$native/tools/testproxy/cloakwise-testproxy" "$work/ending" 0:elite:delay=40 ||
  fail "the ending proxy did not start"
ending="127.0.0.1:${TEST_PROXY_PORTS[0]}"
working=("$ending")
for line in "${faults[@]}"; do
  read -r port fault <<<"$line"
  [ "$fault" = delay ] && working+=("127.0.0.1:$port")
done
[ "${#working[@]}" -eq 30 ] || fail "the list has ${#working[@]} working proxies, not 30"
{ printf '%s\n' "${working[@]}"; awk '$3 != "delay" { print "127.0.0.1:" $1 }' \
    "$work/list/testproxy.port"; } | shuf >"$work/public-list.txt"
[ "$(wc -l <"$work/public-list.txt")" -eq 300 ] || fail "the list is not 300 lines"

echo "-- the service, fed the list, checks it"
: >"$work/empty-pool.txt"
PROXY_WORLD_SERVICE_ARGS=(--check --source "$work/public-list.txt" --db "$work/pool.db"
                          --recheck-seconds 15)
start_judge_service "$native/tools/service/cloakwise-service" "$work/empty-pool.txt" "$work" 0 ||
  fail "the service did not start"
status() { curl -s --max-time 5 "http://$SERVICE_HOST/status?format=json"; }
servable() {
  status | python3 -c 'import json, sys; print(json.load(sys.stdin).get("servable", 0))' 2>/dev/null ||
    echo 0
}
started=$(date +%s)
for _ in $(seq 60); do [ "$(servable)" -ge 30 ] && break; sleep 0.5; done
echo "servable after $(($(date +%s) - started)) s: $(servable)"
status >"$out/status-full.json"
[ "$(servable)" -eq 30 ] || fail "not every working proxy is servable within 30 s: $(status)"

# The addresses of the last COUNT batches the service logged handing out.
handed_out() {  # COUNT
  grep -o 'batch .*' "$work/service.log" | tail -n "$1" | grep -Eo '127\.0\.0\.1:[0-9]+' || true
}
batches() { grep -c 'batch ' "$work/service.log" || true; }
# Fails unless every address of the last COUNT batches is among the rest.
only_from() {  # COUNT ADDRESS...
  local count=$1 address
  shift
  for address in $(handed_out "$count"); do
    printf '%s\n' "$@" | grep -qxF "$address" || fail "the service handed out $address"
  done
}

no_system_proxy
new_app_folder ServicePoolTest
e2e_on_exit 'rm -rf "$app"'
printf '[Options]\r\nStartUp=0\r\nFirefox=0\r\nChange1=0\r\nProxyType=2\r\n[Service]\r\n%s' \
  "$SERVICE_INI" >"$app/options.ini"
start_app_in "$app"

echo "-- START installs a working proxy from the first batch"
click_in_window "$window" 224 258
for _ in $(seq 80); do [ -n "$(proxy_server)" ] && break; sleep 0.25; done
installed=$(proxy_server)
printf '%s\n' "${working[@]}" | grep -qxF "$installed" ||
  fail "START installed '$installed', not one of the working proxies"
[ "$(batches)" -eq 1 ] || fail "START took $(batches) batches"
only_from 1 "${working[@]}"
shot "$window" in-use

echo "-- one of the pool's proxies ends: it leaves the batches within a re-check"
pkill -f "cloakwise-testproxy --bind 127.0.0.1 --port-file $work/ending/" || fail "no process for $ending"
ended=$(date +%s)
gone=""
for _ in $(seq 60); do
  [ "$(servable)" -eq 29 ] && gone=1 && break
  sleep 0.5
done
[ -n "$gone" ] || fail "the ended proxy is still servable after 30 s: $(status)"
echo "out of the batches after $(($(date +%s) - ended)) s"
before=$(batches)
# Each "Change IP now" asks for a batch; none may hold the ended proxy.
alive=("${working[@]:1}")
for _ in 1 2 3; do
  tray_menu 8 || fail "no tray icon"
  sleep 4
done
after=$(batches)
[ "$after" -gt "$before" ] || fail "Change IP now asked for no batch"
only_from "$((after - before))" "${alive[@]}"
echo "$((after - before)) batches since, none with the ended proxy"
shot "$window" after-changes

echo "-- Close"
grep -q 'round: ' "$work/service.log" || fail "the service logged no check round"
tray_menu 1 || fail "no tray icon"
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
echo "PASS: e2e the service's live pool: every working proxy in 30 s, none dead handed out, START's first batch works"
