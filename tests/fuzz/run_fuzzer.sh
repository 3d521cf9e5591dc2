#!/usr/bin/env bash
# run_fuzzer.sh FUZZER SEEDS WORKDIR SECONDS: replays the seeds, then fuzzes for SECONDS on one
# core. Fails on any finding, keeping the input that found it in WORKDIR/crashes.
set -euo pipefail
fuzzer="$1" seeds="$2" work="$3" seconds="$4"
mkdir -p "$work/corpus" "$work/crashes"
"$fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 \
  -artifact_prefix="$work/crashes/" "$work/corpus" "$seeds" 2>"$work/log" || {
  tail -n 40 "$work/log"
  echo "finding kept in $work/crashes"
  exit 1
}
grep -E 'stat::number_of_executed_units|Done' "$work/log" | tail -n 2
