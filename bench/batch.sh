#!/usr/bin/env bash
# The collection benchmark: COUNT full-size TRD images (655,360 bytes each, varied contents) converted
# TRD to TRD by tarvex-cli into a fresh folder with one job and with two, next to `cp -r` of the same
# files in the same run; then the peak memory of tarvex-cli converting one image.
#   bench/batch.sh [COUNT] [FORMAT] [CLI]
set -euo pipefail
count=${1:-200}
format=${2:-trd}
cli=${3:-build/bin/tarvex-cli}
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in"
# Distinct images, so no run is helped by identical files: each is seeded differently.
python3 - "$work/in" "$count" <<'PY'
import os, random, sys
folder, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    rnd = random.Random(i)
    with open(os.path.join(folder, f"disk{i:04d}.trd"), "wb") as f:
        f.write(rnd.randbytes(655360))
PY
sync
# The shell's own clock: reading it starts no process, whose start-up would be counted with the command.
seconds() { local start end; sync; start=$EPOCHREALTIME; "$@" >/dev/null; end=$EPOCHREALTIME; echo "$end - $start" | bc -l; }
median() { printf '%s\n' "$@" | sort -g | sed -n "$(( ($# + 1) / 2 ))p"; }
fastest() { printf '%s\n' "$@" | sort -g | head -n 1; }
mb=$(du -sm "$work/in" | cut -f1)
rounds=${ROUNDS:-5}
cps=() j1s=() j2s=()
# The three are interleaved round by round, so a busy moment of the machine hits all of them alike.
# Every run writes into a fresh folder. The previous run's output is deleted (and the deletion synced)
# before the clock starts: on a virtual machine, page-cache pages never used before may first have to
# be backed by the host, which can make writing the same bytes several times slower; deleting first
# gives every run the pages the previous one freed, the same for all three.
run() {  # FOLDER COMMAND...: times COMMAND, which writes FOLDER
  local folder=$1; shift
  rm -rf "$work/last"
  seconds "$@"
  mv "$folder" "$work/last"
}
for ((r = 0; r < rounds; r++)); do
  cps+=("$(run "$work/copy" cp -r "$work/in" "$work/copy")")
  j1s+=("$(run "$work/out1" "$cli" convert --to "$format" -q -j 1 -o "$work/out1" "$work"/in/*.trd)")
  j2s+=("$(run "$work/out2" "$cli" convert --to "$format" -q -j 2 -o "$work/out2" "$work"/in/*.trd)")
done
printf '%d images (%d MB) to %s in %s, %d rounds (noise shows as the gap between fastest and median):\n' \
  "$count" "$mb" "$format" "$work" "$rounds"
for pick in fastest median; do
  t_cp=$($pick "${cps[@]}") t_j1=$($pick "${j1s[@]}") t_j2=$($pick "${j2s[@]}")
  printf '  %-7s  cp -r %6.3f s   tarvex -j 1 %6.3f s (%.2f x cp -r)   -j 2 %6.3f s (%.2f x faster than -j 1)\n' \
    "$pick" "$t_cp" "$t_j1" "$(echo "$t_j1 / $t_cp" | bc -l)" "$t_j2" "$(echo "$t_j1 / $t_j2" | bc -l)"
done
if [ "$format" = trd ]; then
  cmp -s "$work/in/disk0000.trd" "$work/last/disk0000.trd" && echo "  outputs equal their sources"
fi
rss=$(/usr/bin/time -f %M "$cli" convert --to "$format" -q -j 1 -o "$work/one" "$work/in/disk0000.trd" 2>&1 >/dev/null | tail -n 1)
printf '  peak memory converting one image: %d KB\n' "$rss"
