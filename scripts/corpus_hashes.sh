#!/usr/bin/env bash
# The whole-corpus output check: every image of the sample corpus converted by tarvex-cli to every target
# format (compressed TD0 included) file by file, as one batch with one job and as one with two jobs; every
# output of the first way converted once more to every target; `info` of every source and output. Prints
# one sorted list of output hashes, result lines and `info` hashes: two builds that write the same bytes
# print the same list. The clock is frozen (faketime), since a TD0 image carries the time it was made.
#   scripts/corpus_hashes.sh CLI [CORPUS] > LIST
#   TARGETS="udi trd ..." overrides the targets; "td0c" stands for compressed TD0.
set -euo pipefail
cli=$(realpath "${1:?usage: corpus_hashes.sh CLI [CORPUS]}")
corpus=$(realpath "${2:-$(dirname "$0")/../tests/data/corpus}")
targets=${TARGETS:-udi trd td0 td0c fdi pro scl kdi}
frozen='2020-01-01 00:00:00'
command -v faketime >/dev/null || { echo "corpus_hashes.sh: needs faketime (Debian package faketime)" >&2; exit 2; }
# faketime reaches a program through the dynamic loader: a static one would write the real time.
if ! readelf -l "$cli" 2>/dev/null | grep -q "program interpreter"; then
  echo "corpus_hashes.sh: $cli is a static program, whose clock faketime cannot freeze; give a dynamically" \
    "linked build (the tests' tarvex-cli-checked, or one configured with -DTARVEX_CLI_STATIC=OFF)" >&2
  exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-hashes-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
ln -s "$corpus" in
mapfile -t sources < <(cd "$corpus" && find . -type f ! -name MANIFEST.tsv ! -name README.md | sed 's|^\./|in/|' | sort)

# TARGET -> the options of tarvex-cli convert.
target_options() {
  case $1 in
    td0c) echo "--to td0 --compress" ;;
    *) echo "--to $1" ;;
  esac
}

# TAG TARGET OUTDIR FILE...: converts, prints the tagged result lines (the exit status is part of them).
convert() {
  local tag=$1 target=$2 outdir=$3; shift 3
  local status=0
  # shellcheck disable=SC2046
  TZ=UTC faketime -f "$frozen" "$cli" convert $(target_options "$target") -q -o "$outdir" "$@" >"$work/lines" || status=$?
  sed "s|^|$tag $target line |" "$work/lines"
  echo "$tag $target exit $status"
}

# TAG OUTDIR: the hashes of every output in OUTDIR.
hash_outputs() {
  local tag=$1 dir=$2
  (cd "$dir" && find . -type f -print0 | sort -z | xargs -0 -r sha256sum) | sed "s|^|$tag $dir |"
}

{
  for target in $targets; do
    for source in "${sources[@]}"; do convert single "$target" "single-$target" "$source"; done
    hash_outputs single "single-$target"
    for jobs in 1 2; do
      convert "batch-j$jobs" "$target" "batch-j$jobs-$target" -j "$jobs" "${sources[@]}"
      hash_outputs "batch-j$jobs" "batch-j$jobs-$target"
    done
  done
  # The second generation reads what this build wrote, in every format.
  for from in $targets; do
    mapfile -t outputs < <(find "single-$from" -type f | sort)
    [ ${#outputs[@]} -gt 0 ] || continue
    for target in $targets; do
      convert "again-from-$from" "$target" "again-$from-$target" -j 1 "${outputs[@]}"
      hash_outputs "again-from-$from" "again-$from-$target"
    done
    for output in "${outputs[@]}"; do
      echo "info $output $("$cli" info "$output" 2>&1 | sha256sum | cut -d' ' -f1)"
    done
  done
  for source in "${sources[@]}"; do
    echo "info $source $("$cli" info "$source" 2>&1 | sha256sum | cut -d' ' -f1)"
  done
} | LC_ALL=C sort
