#!/usr/bin/env bash
# Converts the sample images into every format with tarvex-cli and prints what happened.
set -uo pipefail
cli=${1:-build/bin/tarvex-cli}
here=$(cd "$(dirname "$0")/.." && pwd)
out=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-demo-XXXXXX")
echo "Tarvex demo: converting $here/samples/*.trd into $out"
for f in udi trd td0 fdi pro scl kdi dsk; do
  echo
  echo "== to ${f^^}"
  "$cli" convert --to "$f" -o "$out/$f" -q "$here"/samples/*.trd
done
echo
echo "== info of the first sample"
"$cli" info "$(ls "$here"/samples/*.trd | head -n 1)" | head -n 40
echo
echo "Outputs are in $out"
