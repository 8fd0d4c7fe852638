#!/usr/bin/env bash
# Runs the judge (the reference service) and one real proxy of the given kind
# and anonymity set-up, both on loopback, then the probe program, which must
# read the expected digit through the proxy, and find the service's tunnel
# port carried or refused as expected. Every process is this script's own,
# with its files in a temporary folder, and is ended on exit.
#
#   run_judge_through.sh SERVICE PROBE squid|tinyproxy MODE DIGIT yes|no
#   (MODE transparent, anonymous or elite, with -noconnect for no tunnels)
set -euo pipefail
service="$1" probe="$2" kind="$3" mode="$4" expected="$5" tunnels="$6"
here=$(cd "$(dirname "$0")" && pwd)

dir=$(mktemp -d /tmp/cloakwise-judge.XXXXXX)
# The proxies drop root for their own users and must still reach their folders.
chmod 755 "$dir"
# Set before the first start: the proxy world chains its own clean-up, which
# shows the logs when this fails, in front of it.
trap 'rm -rf "$dir"' EXIT
source "$here/../../../scripts/lib/proxy_world.sh"
PROXY_WORLD_MAX_SECONDS=120  # should no trap run, nothing outlives the test by much

echo "127.0.0.1:1 unused" >"$dir/pool.txt"
start_judge_service "$service" "$dir/pool.txt" "$dir" 0
case "$kind" in
  squid | tinyproxy) "start_$kind" "$mode" "$SERVICE_PORT" "$dir/$kind" ;;
  *) echo "unknown proxy $kind" >&2; exit 2 ;;
esac
echo "judge on $SERVICE_HOST, $kind ($mode) on 127.0.0.1:$PROXY_PORT"

CLOAKWISE_PROXY_PORT=$PROXY_PORT CLOAKWISE_JUDGE_URL=$JUDGE_URL \
  CLOAKWISE_EXPECTED_LEVEL=$expected \
  CLOAKWISE_TUNNEL_URL="http://127.0.0.1:$TUNNEL_PORT/tunnel.php" CLOAKWISE_EXPECTED_TUNNEL=$tunnels \
  "$probe"
echo "--- what the judge saw"
grep -e feedback.php -e tunnel.php "$dir/service.log"
