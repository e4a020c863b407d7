#!/usr/bin/env bash
# Single conversions as whole processes, start-up included, next to the independent tools that do the
# same job: SCL -> TRD against scl2trd (fuse-emulator-utils), TRD -> compressed TD0 alone (no peer writes
# one), compressed TD0 -> TRD against `floptool flopconvert td0 trd` (mame-tools); then the peak memory of
# tarvex-cli converting the TD0. Each round times every pair back to back with hyperfine, so a busy
# moment of the machine hits both sides of a ratio; the figures are medians over the rounds.
#   bench/single.sh [CLI] [SCL]      (SCL: an archive to use instead of the generated one of 91 files)
#   ROUNDS=5 RUNS=20 bench/single.sh
set -euo pipefail
cli=$(realpath "${1:-build/bin/tarvex-cli}")
rounds=${ROUNDS:-5}
runs=${RUNS:-20}
for tool in hyperfine scl2trd floptool python3; do
  command -v "$tool" >/dev/null || { echo "single.sh: needs $tool (make deps installs it)" >&2; exit 2; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-single-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

if [ -n "${2:-}" ]; then
  cp "$2" disk.scl
else
  # 91 files of 1 to 26 sectors (about 1200 in all), contents that compress as real programs do: runs,
  # repeats and noise.
  python3 - disk.scl <<'PY'
import random, struct, sys
rnd = random.Random(91)
files, data = [], bytearray()
for i in range(91):
    sectors = rnd.randint(1, 26)
    body = bytearray()
    while len(body) < sectors * 256:
        kind = rnd.random()
        if kind < 0.3:
            body += bytes([rnd.randrange(256)]) * rnd.randint(4, 64)
        elif kind < 0.6 and len(body) > 64:
            start = rnd.randrange(len(body) - 32)
            body += body[start:start + rnd.randint(8, 32)]
        else:
            body += rnd.randbytes(rnd.randint(1, 16))
    files.append(f"file{i:03d}".encode().ljust(8) + b"C" + struct.pack("<HHB", 0x6000, sectors * 256 - 1 & 0xFFFF, sectors))
    data += body[:sectors * 256]
image = b"SINCLAIR" + bytes([len(files)]) + b"".join(files) + data
with open(sys.argv[1], "wb") as f:
    f.write(image + struct.pack("<I", sum(image) & 0xFFFFFFFF))
PY
fi
scl2trd disk.scl disk.trd >/dev/null
"$cli" convert --to td0 --compress -q -o packed disk.trd >/dev/null
cp packed/disk.td0 disk.td0

# NAME COMMAND... : the median seconds of RUNS runs, each writing into a folder made empty beforehand.
median_of() {
  local name=$1; shift
  hyperfine -N -w 3 -r "$runs" --prepare "sh -c 'rm -rf $work/out && mkdir $work/out'" --export-json "$name.json" "$@" \
    >/dev/null 2>&1
  python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][0]["median"])' "$name.json"
}
median() { printf '%s\n' "$@" | sort -g | sed -n "$(( ($# + 1) / 2 ))p"; }

scl_ours=() scl_peer=() pack_ours=() td0_ours=() td0_peer=()
for ((r = 0; r < rounds; r++)); do
  scl_ours+=("$(median_of scl-ours "$cli convert --to trd -q -j 1 -o $work/out disk.scl")")
  scl_peer+=("$(median_of scl-peer "scl2trd disk.scl $work/out/disk.trd")")
  pack_ours+=("$(median_of pack-ours "$cli convert --to td0 --compress -q -j 1 -o $work/out disk.trd")")
  td0_ours+=("$(median_of td0-ours "$cli convert --to trd -q -j 1 -o $work/out disk.td0")")
  td0_peer+=("$(median_of td0-peer "floptool flopconvert td0 trd disk.td0 $work/out/disk.trd")")
done

ms() { echo "$1 * 1000" | bc -l; }
ratio() { echo "$1 / $2" | bc -l; }
printf 'Single conversions, whole processes, %d rounds of %d runs (medians):\n' "$rounds" "$runs"
a=$(median "${scl_ours[@]}") b=$(median "${scl_peer[@]}")
printf '  SCL -> TRD           tarvex %7.2f ms   scl2trd  %7.2f ms   tarvex / scl2trd = %.2f\n' \
  "$(ms "$a")" "$(ms "$b")" "$(ratio "$a" "$b")"
a=$(median "${pack_ours[@]}")
printf '  TRD -> TD0 (packed)  tarvex %7.2f ms\n' "$(ms "$a")"
a=$(median "${td0_ours[@]}") b=$(median "${td0_peer[@]}")
printf '  TD0 (packed) -> TRD  tarvex %7.2f ms   floptool %7.2f ms   floptool / tarvex = %.1f\n' \
  "$(ms "$a")" "$(ms "$b")" "$(ratio "$b" "$a")"
rm -rf out && mkdir out
rss=$(/usr/bin/time -f %M "$cli" convert --to trd -q -j 1 -o out disk.td0 2>&1 >/dev/null | tail -n 1)
printf '  peak memory of tarvex-cli, TD0 -> TRD: %d KB\n' "$rss"
cmp -s out/disk.trd disk.trd && echo "  the TD0 reads back to the TRD it was made from"
