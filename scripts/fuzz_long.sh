#!/usr/bin/env bash
# Runs every fuzz target in BINDIR for SECONDS seconds, JOBS targets at a time, and ends with a summary
# per target: executions, corpus size and findings. Each target keeps its corpus between runs in
# WORKDIR/corpus/<target>/ (seeded from fuzz/seeds/<name> the first time) and what it finds in
# WORKDIR/findings/<target>/; after a finding it starts again on its corpus for the rest of its time.
# Fails when any target found something new.
set -euo pipefail
bindir=${1:?usage: fuzz_long.sh BINDIR [SECONDS] [JOBS] [WORKDIR]}
seconds=${2:-600}
jobs=${3:-$(nproc)}
workdir=${4:-$(dirname "$bindir")}
seeds_root="$(cd "$(dirname "$0")/.." && pwd)/fuzz/seeds"
max_runs=20          # a target that keeps crashing at once is not restarted without end
unit_timeout=20      # seconds for one input
parser_max_len=1100000
roundtrip_max_len=65536

now() { date +%s; }

# Executions of one libFuzzer log: the final statistics, else the last status line.
executions() {
  local n
  n=$(grep -oE '^stat::number_of_executed_units: [0-9]+' "$1" | grep -oE '[0-9]+$' | tail -n 1 || true)
  [ -n "$n" ] || n=$(grep -oE '^#[0-9]+' "$1" | tr -d '#' | tail -n 1 || true)
  echo "${n:-0}"
}

run_target() {
  local name=$1 target=$bindir/$1
  local corpus=$workdir/corpus/$name findings=$workdir/findings/$name logs=$workdir/logs/$name
  mkdir -p "$corpus" "$findings" "$logs"
  rm -f "$logs"/run-*.log
  local seeds=$seeds_root/${name#fuzz_}
  if [ -d "$seeds" ] && [ -z "$(ls -A "$corpus")" ]; then cp -r "$seeds"/. "$corpus"/; fi
  local max_len=$parser_max_len
  [[ $name == fuzz_roundtrip_* ]] && max_len=$roundtrip_max_len
  local start end run=0 execs=0 left
  start=$(now)
  end=$((start + seconds))
  touch "$logs/started"
  while left=$((end - $(now))); [ "$left" -gt 0 ] && [ "$run" -lt "$max_runs" ]; do
    run=$((run + 1))
    local status=0
    "$target" -max_total_time="$left" -max_len="$max_len" -rss_limit_mb=2048 -timeout="$unit_timeout" \
      -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" >"$logs/run-$run.log" 2>&1 || status=$?
    execs=$((execs + $(executions "$logs/run-$run.log")))
    [ "$status" -eq 0 ] && break
  done
  local corpus_files new_findings kept_findings
  corpus_files=$(find "$corpus" -type f | wc -l)
  new_findings=$(find "$findings" -type f -newer "$logs/started" | wc -l)
  kept_findings=$(find "$findings" -type f | wc -l)
  printf '%s %s %s %s %s %s\n' "$name" "$execs" "$corpus_files" "$new_findings" "$kept_findings" \
    "$(( $(now) - start ))" >"$logs/summary"
}

targets=()
for target in "$bindir"/fuzz_*; do
  [ -x "$target" ] && targets+=("$(basename "$target")")
done
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets in $bindir" >&2; exit 1; }

echo "== ${#targets[@]} targets, ${seconds}s each, $jobs at a time; corpus and findings under $workdir"
for name in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  echo "   started $name"
  run_target "$name" &
done
wait

status=0
printf '\n%-28s %14s %8s %14s %8s\n' target executions corpus "new findings" seconds
for name in "${targets[@]}"; do
  read -r _ execs corpus_files new_findings kept_findings took <"$workdir/logs/$name/summary"
  printf '%-28s %14s %8s %9s (%s kept) %5s\n' "$name" "$execs" "$corpus_files" "$new_findings" "$kept_findings" "$took"
  if [ "$new_findings" -gt 0 ]; then
    status=1
    for f in $(find "$workdir/findings/$name" -type f -newer "$workdir/logs/$name/started"); do
      echo "    finding: $f"
    done
    grep -hE -A3 'round trip:|ERROR: (AddressSanitizer|libFuzzer|UndefinedBehaviorSanitizer)|runtime error' \
      "$workdir/logs/$name"/run-*.log | head -n 12 | sed 's/^/    /'
  fi
done
exit $status
