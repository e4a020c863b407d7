#!/usr/bin/env bash
# Runs every fuzz target in BINDIR for SECONDS seconds each; fails on the first crash.
set -euo pipefail
bindir=${1:?usage: fuzz_smoke.sh BINDIR [SECONDS]}
seconds=${2:-15}
status=0
for target in "$bindir"/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  work=$(mktemp -d)
  # Seeds, when the target has some, start the run from valid images instead of from nothing.
  seeds="$(dirname "$0")/../fuzz/seeds/${name#fuzz_}"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/
  echo "== $name (${seconds}s)"
  if ! "$target" -max_total_time="$seconds" -max_len=1100000 -rss_limit_mb=2048 -timeout=10 \
       -artifact_prefix="$work/" "$work" >"$work/log" 2>&1; then
    tail -n 40 "$work/log"
    echo "FAILED: $name (artifacts in $work)"
    status=1
    continue
  fi
  grep -E '^#[0-9]+.*(DONE|pulse)' "$work/log" | tail -n 1 || true
  rm -rf "$work"
done
exit $status
