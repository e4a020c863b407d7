#!/usr/bin/env bash
# Runs every fuzz target in BINDIR for SECONDS seconds each, JOBS targets at a time (by default as many
# as there are cores); fails when any target crashes, showing the end of its log.
set -euo pipefail
bindir=${1:?usage: fuzz_smoke.sh BINDIR [SECONDS] [JOBS]}
seconds=${2:-15}
jobs=${3:-$(nproc)}
results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT

smoke_target() {
  local target=$1 name work
  name=$(basename "$target")
  work=$(mktemp -d)
  # Seeds, when the target has some, start the run from valid images instead of from nothing.
  local seeds
  seeds="$(dirname "$0")/../fuzz/seeds/${name#fuzz_}"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/
  # A round-trip input chooses a disk; a parser input is a whole image.
  local max_len=1100000
  [[ $name == fuzz_roundtrip_* ]] && max_len=65536
  if ! "$target" -max_total_time="$seconds" -max_len="$max_len" -rss_limit_mb=2048 -timeout=10 \
       -artifact_prefix="$work/" "$work" >"$work/log" 2>&1; then
    { tail -n 40 "$work/log"; echo "FAILED: $name (artifacts in $work)"; } >"$results/$name.failed"
    return
  fi
  { echo "== $name (${seconds}s)"; grep -E '^#[0-9]+.*(DONE|pulse)' "$work/log" | tail -n 1 || true; } >"$results/$name.ok"
  rm -rf "$work"
}

names=()
for target in "$bindir"/fuzz_*; do
  [ -x "$target" ] || continue
  names+=("$(basename "$target")")
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  smoke_target "$target" &
done
wait

status=0
for name in "${names[@]}"; do
  if [ -f "$results/$name.failed" ]; then
    cat "$results/$name.failed"
    status=1
  else
    cat "$results/$name.ok"
  fi
done
exit $status
