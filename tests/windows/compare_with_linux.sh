#!/usr/bin/env bash
# tarvex-cli.exe under Wine against the Linux build of the same sources: every sample image of the corpus
# converted by both to every format (compressed TD0 too), the outputs compared byte for byte and the result
# lines word for word; then a file and a folder named in Cyrillic, the messages in Russian, `info`, and an
# image through the standard streams. Both run under one frozen clock, since a TD0 image carries the time
# it was made: faketime reaches Wine's clock as it reaches the Linux program's, the wall clock only, since
# Wine's waits and time-outs run on the monotonic one and would never end under a frozen one.
#   tests/windows/compare_with_linux.sh LINUX_CLI TARVEX_CLI_EXE CORPUS
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
linux=$(realpath "${1:?usage: compare_with_linux.sh LINUX_CLI TARVEX_CLI_EXE CORPUS}")
exe=$(realpath "${2:?usage: compare_with_linux.sh LINUX_CLI TARVEX_CLI_EXE CORPUS}")
corpus=$(realpath "${3:?usage: compare_with_linux.sh LINUX_CLI TARVEX_CLI_EXE CORPUS}")
[ -f "$exe" ] || { echo "no $exe: build it with make windows" >&2; exit 1; }
command -v faketime >/dev/null || { echo "needs faketime (Debian package faketime)" >&2; exit 1; }
source "$here/wine_env.sh"
wine_start

work=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-compare-XXXXXX")
trap 'wine_stop; rm -rf "$work"' EXIT
mkdir "$work/linux" "$work/windows"
ln -s "$corpus" "$work/linux/in"
ln -s "$corpus" "$work/windows/in"
mapfile -t sources < <(cd "$corpus" && find . -type f ! -name MANIFEST.tsv ! -name README.md | sed 's|^\./|in/|' | sort)
[ ${#sources[@]} -gt 0 ] || { echo "no images in $corpus" >&2; exit 1; }
failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

# SIDE ARGS...: runs one side's program in its folder under the frozen clock; prints its standard output,
# then its standard error, then its exit status. The Windows program's '\' between folder and name reads
# as '/'.
run() {
  local side=$1; shift
  local program=("$linux")
  [ "$side" = windows ] && program=(wine "$exe")
  local status=0
  # Each side has files of its own: `same` runs both sides at once.
  (cd "$work/$side" && TZ=UTC FAKETIME_DONT_FAKE_MONOTONIC=1 faketime -f '2020-01-01 00:00:00' "${program[@]}" "$@") \
    >"$work/out-$side" 2>"$work/err-$side" || status=$?
  sed 's|\\|/|g' "$work/out-$side" "$work/err-$side"
  echo "exit $status"
}

# WHAT ARGS...: both sides run the same command and must print the same.
same() {
  local what=$1; shift
  diff <(run linux "$@") <(run windows "$@") >"$work/diff" || { fail "$what"; cat "$work/diff" >&2; }
}

started=$SECONDS
for target in udi trd td0 td0c fdi pro scl kdi hfe dsk; do
  options=(--to "$target")
  [ "$target" = td0c ] && options=(--to td0 --compress)
  same "converting the corpus to $target" convert "${options[@]}" -q -j 2 -o "out-$target" "${sources[@]}"
  diff -r "$work/linux/out-$target" "$work/windows/out-$target" >&2 || fail "the $target outputs differ"
done
[ -n "$(ls "$work/windows/out-udi")" ] || fail "not one image became a UDI"
echo "${#sources[@]} images to 10 targets by both programs in $((SECONDS - started)) s" >&2

same "--version" --version
same "info" info in/td0/"$(ls "$corpus/td0" | head -n 1)" in/trd/"$(ls "$corpus/trd" | head -n 1)"
same "info --json" info --json in/scl/"$(ls "$corpus/scl" | head -n 1)"

# Russian: the Linux program by its locale, the Windows one by its display language (which Wine takes from
# LANG); both say the same, the system's reason included.
for side in linux windows; do
  (cd "$work/$side" && LANG=ru_RU.UTF-8 LC_ALL= LANGUAGE= \
    $([ $side = windows ] && echo wine "$exe" || echo "$linux") convert --to udi missing.trd >"../ru-$side" 2>&1) || true
done
grep -q 'Error open file! (Не удалось открыть файл "missing.trd": Нет такого файла или каталога)' "$work/ru-windows" ||
  fail "Russian message: $(cat "$work/ru-windows")"
cmp -s "$work/ru-linux" "$work/ru-windows" || fail "Russian messages differ: $(cat "$work/ru-linux" "$work/ru-windows")"

# A file and a folder named in Cyrillic: the output keeps the name.
first_trd=zesarux-enjoy.trd
for side in linux windows; do
  mkdir "$work/$side/образы"
  cp "$corpus/trd/$first_trd" "$work/$side/образы/Диск №1.trd"
done
same "Cyrillic names" convert --to scl -o "выход" "образы/Диск №1.trd"
[ -f "$work/windows/выход/Диск №1.scl" ] || fail "no output keeping the Cyrillic name"
cmp "$work/linux/выход/Диск №1.scl" "$work/windows/выход/Диск №1.scl" || fail "the Cyrillic-named outputs differ"
# TR-DOS files taken out into a Cyrillic folder and put on a new Cyrillic-named disk.
same "files extract into a Cyrillic folder" files extract "образы/Диск №1.trd" -o "файлы"
diff -r "$work/linux/файлы" "$work/windows/файлы" >&2 || fail "the extracted files differ"
same "new disk of the extracted files" new --to trd "новый.trd" --label "Диск"
mapfile -t extracted < <(cd "$work/linux" && printf '%s\n' файлы/*)
same "files added to it" files add "новый.trd" "${extracted[@]}"
cmp "$work/linux/новый.trd" "$work/windows/новый.trd" || fail "the disks made of the files differ"

# Standard input to standard output, byte for byte.
for side in linux windows; do
  program=("$linux")
  [ $side = windows ] && program=(wine "$exe")
  (cd "$work/$side" && "${program[@]}" convert --from trd --to fdi -o - - <"$corpus/trd/$first_trd" >"piped.fdi" 2>/dev/null)
done
cmp "$work/linux/piped.fdi" "$work/windows/piped.fdi" || fail "the images through the standard streams differ"
[ -s "$work/windows/piped.fdi" ] || fail "nothing on standard output"

[ "$failures" -eq 0 ] || { echo "$failures checks failed" >&2; exit 1; }
echo "tarvex-cli.exe wrote what the Linux program wrote" >&2
