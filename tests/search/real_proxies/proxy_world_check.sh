#!/usr/bin/env bash
# Starts the default proxy world and looks at it from outside: no two
# candidates may share a host, as the program would take one for the other;
# through every live candidate, reached from 127.0.0.1 on its own address,
# the judge must answer the digit world.txt promises, no sooner than the
# delay injected there, and a tunnel to the service's tunnel port must carry
# its answer exactly where world.txt says it tunnels; the dead candidate must
# refuse; a stop must leave no
# process, listening port or file behind. Then a world held by another script
# must go with that script's SIGTERM.
#
#   proxy_world_check.sh SERVICE_BIN TESTPROXY_BIN
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
lib=$here/../../../scripts/lib/proxy_world.sh
export PROXY_WORLD_SERVICE_BIN=$1 PROXY_WORLD_TESTPROXY_BIN=$2 PROXY_WORLD_MAX_SECONDS=120
# Only -x decides where curl goes.
unset http_proxy HTTP_PROXY no_proxy NO_PROXY

dir=$(mktemp -d /tmp/cloakwise-world.XXXXXX)
chmod 755 "$dir"  # squid and tinyproxy drop root and must reach their folders below
holder=""
trap 'if [ -n "$holder" ]; then kill "$holder" 2>/dev/null || true; fi; rm -rf "$dir"' EXIT
# shellcheck source=scripts/lib/proxy_world.sh
source "$lib"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
gone() {  # PID... and HOST:PORT...: none runs, none listens
  local pid address
  for pid in $1; do [ ! -e "/proc/$pid" ] || fail "process $pid still runs"; done
  for address in $2; do
    [ -z "$(ss -Htln "src ${address%:*} and sport = :${address##*:}")" ] ||
      fail "$address still listens"
  done
}

start_proxy_world "$dir/default"
cat "$dir/default/world.txt"
addresses="$SERVICE_HOST"
hosts=" " alive=0 refusing=0 shared=0
for line in "${PROXY_WORLD_CANDIDATES[@]}"; do
  read -r name address kind _ <<<"$line"
  host=${address%:*}
  if [[ $hosts == *" $host "* ]]; then
    fail "$name shares the host $host with another candidate"
    shared=1
  fi
  hosts+="$host "
  if [ "$kind" = dead ]; then refusing=$((refusing + 1)); else alive=$((alive + 1)); fi
done
[ "$shared" -eq 1 ] ||
  echo "ok   no two candidates share a host: $alive live and $refusing dead on${hosts% }"
for line in "${PROXY_WORLD_CANDIDATES[@]}"; do
  read -r name address kind _ digit delay tunnels <<<"$line"
  addresses+=" $address"
  if [ "$kind" = dead ]; then
    rc=0
    curl -s --max-time 5 -x "http://$address" "$JUDGE_URL" >/dev/null || rc=$?
    if [ "$rc" -eq 7 ]; then echo "ok   $name refuses the connection"; else fail "$name: curl exit $rc, not 7"; fi
    continue
  fi
  # squid's and tinyproxy's rules let only 127.0.0.1 in: the client must come
  # from there, whichever loopback address the proxy listens on.
  reply=$(curl -s --max-time 10 -w ' %{time_total} %{local_ip} %{remote_ip}' \
    -x "http://$address" "$JUDGE_URL" || true)
  read -r got seconds from to <<<"$reply"
  ms=$(awk -v s="${seconds:-0}" 'BEGIN { printf "%d", s * 1000 }')
  if [ "$got" = "$digit" ] && [ "$ms" -ge "$delay" ] && [ "$from" = 127.0.0.1 ] &&
    [ "$to" = "${address%:*}" ]; then
    echo "ok   $name ($kind) on $to, from $from: judged $got in $ms ms"
  else
    fail "$name ($kind): judged '$got' in $ms ms from ${from:-?} to ${to:-?}," \
      "expected $digit after $delay ms or more from 127.0.0.1 to ${address%:*}"
  fi
  tunnel=$(curl -s --max-time 5 -p -x "http://$address" \
    "http://127.0.0.1:$TUNNEL_PORT/tunnel.php?nonce=00112233aabbccdd" || true)
  carried=no
  [ "$tunnel" != "tunnel-ok 00112233aabbccdd" ] || carried=yes
  if [ "$carried" = "$tunnels" ]; then
    echo "ok   $name tunnels: $tunnels"
  else
    fail "$name: tunnel answered '$tunnel', world.txt says it tunnels: $tunnels"
  fi
done
pids=$PROXY_WORLD_PIDS
stop_proxy_world
stop_proxy_world
gone "$pids" "$addresses"
[ ! -e "$dir/default" ] || fail "stop left $dir/default behind"
echo "ok   stopped twice: $(wc -w <<<"$pids") processes gone, $(wc -w <<<"$addresses") addresses closed"

# shellcheck disable=SC2016
bash -c 'source "$0"; start_proxy_world "$1" "" elite-choice
         echo "$PROXY_WORLD_PIDS" >"$2.part"; mv "$2.part" "$2"; wait' \
  "$lib" "$dir/held" "$dir/held.pids" &
holder=$!
for _ in $(seq 150); do
  if [ -s "$dir/held.pids" ] || ! kill -0 "$holder" 2>/dev/null; then break; fi
  sleep 0.1
done
kill -TERM "$holder" 2>/dev/null || true
for _ in $(seq 100); do kill -0 "$holder" 2>/dev/null || break; sleep 0.1; done
rc=0
wait "$holder" || rc=$?
holder=""
if [ -s "$dir/held.pids" ] && [ "$rc" -eq 143 ]; then
  gone "$(cat "$dir/held.pids")" ""
  [ ! -e "$dir/held" ] || fail "SIGTERM left $dir/held behind"
  echo "ok   SIGTERM to the holding script (exit $rc): $(wc -w <"$dir/held.pids") processes gone"
else
  fail "the holding script did not start its world or ended with $rc, not 143"
fi

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "proxy world check passed"
