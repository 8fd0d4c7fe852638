#!/usr/bin/env bash
# Runs one libFuzzer target for a fixed time on a copy of its corpus (the
# fuzzer adds what it finds to the folder it is given, which must not be the
# source tree's), keeping its log and any crashing input in LOGS.
#   fuzz_run.sh FUZZER CORPUS SECONDS LOGS
set -uo pipefail
fuzzer=$1 corpus=$2 seconds=$3 logs=$4
mkdir -p "$logs"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$corpus"/* "$work"/
timeout $((seconds * 3 + 60)) "$fuzzer" -max_total_time="$seconds" -rss_limit_mb=2048 \
  -artifact_prefix="$logs/" "$work" >"$logs/fuzz.log" 2>&1
rc=$?
tail -n 1 "$logs/fuzz.log"
# A failure shows what the fuzzer said about it.
[ "$rc" -eq 0 ] || tail -n 40 "$logs/fuzz.log"
exit "$rc"
