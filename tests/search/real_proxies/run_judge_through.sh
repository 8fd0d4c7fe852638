#!/usr/bin/env bash
# Runs the judge (the reference service) and one real proxy of the given kind
# and anonymity set-up, both on loopback, then the probe program, which must
# read the expected digit through the proxy. Every process is this script's
# own, with its files in a temporary folder, and is ended on exit.
#
#   run_judge_through.sh SERVICE PROBE squid|tinyproxy transparent|anonymous|elite DIGIT
set -euo pipefail
service="$1" probe="$2" kind="$3" mode="$4" expected="$5"
here=$(cd "$(dirname "$0")" && pwd)

dir=$(mktemp -d /tmp/cloakwise-judge.XXXXXX)
# The proxies drop root for their own users and must still write here.
chmod 777 "$dir"
pids=()
finish() {
  local rc=$?
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
  if [ "$rc" -ne 0 ]; then
    for f in "$dir"/*.log; do [ -f "$f" ] && { echo "--- $(basename "$f")"; tail -n 20 "$f"; }; done
  fi
  rm -rf "$dir"
  exit "$rc"
}
trap finish EXIT

wait_for() {  # file
  for _ in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.05; done
  echo "$1 did not appear" >&2
  return 1
}
port_free() { [ -z "$(ss -Htln "sport = :$1")" ]; }
listening() { [ -n "$(ss -Htln "src 127.0.0.1 and sport = :$1")" ]; }

echo "127.0.0.1:1 unused" >"$dir/pool.txt"
"$service" --pool "$dir/pool.txt" --port-file "$dir/judge.port" --log "$dir/judge.log" \
  --max-seconds 120 &
pids+=($!)
wait_for "$dir/judge.port"
judgePort=$(cut -d' ' -f1 "$dir/judge.port")

# A free port of our own, away from the packages' defaults (3128, 8888).
proxyPort=0
for _ in $(seq 50); do
  candidate=$((20000 + RANDOM % 30000))
  if port_free "$candidate"; then proxyPort=$candidate; break; fi
done
[ "$proxyPort" -ne 0 ] || { echo "no free port" >&2; exit 1; }

fill() {  # template
  sed -e "s|@PORT@|$proxyPort|g" -e "s|@DIR@|$dir|g" -e "s|@JUDGE_PORT@|$judgePort|g" "$1"
}
case "$kind" in
  squid)
    conf="$dir/squid.conf"
    fill "$here/squid.conf.in" >"$conf"
    echo "127.0.0.1 localhost" >"$dir/hosts"
    case "$mode" in
      transparent) ;;  # squid's defaults: X-Forwarded-For with the client, and Via
      anonymous) echo "forwarded_for delete" >>"$conf" ;;
      elite) printf '%s\n' "forwarded_for delete" "via off" \
               "request_header_access Cache-Control deny all" >>"$conf" ;;
    esac
    squid -k parse -f "$conf" >"$dir/parse.log" 2>&1 || { cat "$dir/parse.log"; exit 1; }
    squid -N -f "$conf" >"$dir/squid-console.log" 2>&1 &
    pids+=($!)
    ;;
  tinyproxy)
    conf="$dir/tinyproxy.conf"
    fill "$here/tinyproxy.conf.in" >"$conf"
    echo '^127\.0\.0\.1$' >"$dir/filter"
    case "$mode" in
      transparent) echo "XTinyproxy Yes" >>"$conf" ;;
      anonymous) ;;  # tinyproxy's defaults: Via only
      elite) echo "DisableViaHeader Yes" >>"$conf" ;;
    esac
    tinyproxy -d -c "$conf" >"$dir/tinyproxy-console.log" 2>&1 &
    pids+=($!)
    ;;
  *) echo "unknown proxy $kind" >&2; exit 2 ;;
esac

for _ in $(seq 100); do listening "$proxyPort" && break; sleep 0.1; done
listening "$proxyPort" || { echo "$kind did not start listening on $proxyPort" >&2; exit 1; }
echo "judge on 127.0.0.1:$judgePort, $kind ($mode) on 127.0.0.1:$proxyPort"

CLOAKWISE_PROXY_PORT=$proxyPort CLOAKWISE_JUDGE_URL="http://127.0.0.1:$judgePort/feedback.php" \
  CLOAKWISE_EXPECTED_LEVEL=$expected "$probe"
echo "--- what the judge saw"
grep feedback.php "$dir/judge.log"
