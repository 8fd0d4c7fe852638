#!/usr/bin/env bash
# Starts two native reference services on loopback, one with a pool of
# candidates and one with none, then runs the Windows test program (the rest
# of the arguments, emulator first) with their ports in its environment.
#   run_against_service.sh SERVICE POOL EMULATOR PROGRAM...
set -euo pipefail
service="$1" pool="$2"
shift 2
dir=$(mktemp -d)
: >"$dir/empty.txt"
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done; wait; rm -rf "$dir"' EXIT
"$service" --pool "$pool" --port-file "$dir/batch.port" --log "$dir/service.log" --max-seconds 300 &
pids+=($!)
"$service" --pool "$dir/empty.txt" --port-file "$dir/empty.port" --log "$dir/service.log" \
  --max-seconds 300 &
pids+=($!)
for f in batch empty; do
  for _ in $(seq 100); do [ -s "$dir/$f.port" ] && break; sleep 0.05; done
  [ -s "$dir/$f.port" ] || { echo "the reference service did not start" >&2; exit 1; }
done
# The first line holds the service ports; the second its tunnel port.
CLOAKWISE_SERVICE_PORTS="$(head -n1 "$dir/batch.port") $(head -n1 "$dir/empty.port")"
export CLOAKWISE_SERVICE_PORTS
rc=0
"$@" || rc=$?
echo "--- service log"
cat "$dir/service.log"
exit "$rc"
