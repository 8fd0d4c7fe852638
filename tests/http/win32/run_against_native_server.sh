#!/usr/bin/env bash
# Starts the native test server, then runs the Windows test program (the rest
# of the arguments, emulator first) with the server's ports in its environment.
set -euo pipefail
server="$1"
shift
portFile=$(mktemp)
"$server" "$portFile" &
serverPid=$!
trap 'kill "$serverPid" 2>/dev/null; rm -f "$portFile"' EXIT
for _ in $(seq 100); do
  [ -s "$portFile" ] && break
  sleep 0.05
done
[ -s "$portFile" ] || { echo "the native test server did not start" >&2; exit 1; }
CLOAKWISE_TEST_PORTS=$(cat "$portFile")
export CLOAKWISE_TEST_PORTS
"$@"
