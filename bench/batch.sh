#!/usr/bin/env bash
# The collection benchmark: COUNT copies of the sample images converted by tarvex-cli into a format,
# once with one job and once with every core. Prints the wall time of each run.
#   bench/batch.sh [COUNT] [FORMAT] [CLI]
set -euo pipefail
count=${1:-500}
format=${2:-udi}
cli=${3:-build/bin/tarvex-cli}
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in"
samples=("$here"/samples/*.trd)
for ((i = 0; i < count; i++)); do
  cp "${samples[i % ${#samples[@]}]}" "$work/in/disk$i.trd"
done
for jobs in 1 "$(nproc)"; do
  rm -rf "$work/out"
  start=$(date +%s.%N)
  "$cli" convert --to "$format" -q -j "$jobs" -o "$work/out" "$work"/in/*.trd > "$work/log" || true
  end=$(date +%s.%N)
  ok=$(grep -c ': Converted!$' "$work/log" || true)
  printf '%d images to %s, %2d jobs: %6.2f s (%d converted)\n' "$count" "$format" "$jobs" "$(echo "$end - $start" | bc -l)" "$ok"
done
