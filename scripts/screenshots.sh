#!/bin/sh
# Pictures of what a user sees, made under a virtual X display: the window after a run over three
# images, the window during that run, the image viewer on a real TR-DOS disk (and on a single-sided
# +3 disk), the window started with
# two images on its command line, and a batch of twenty images with five failures (the first failure's box,
# then a failed row's tool tip and the summary in the status bar).
# One set per language: English and Russian, each under the locale a user of it would have.
# Usage: scripts/screenshots.sh [BUILD_DIR]   (writes BUILD_DIR/screenshots/en/*.png and .../ru/*.png)
set -eu
build=${1:-build}
here=$(cd "$(dirname "$0")/.." && pwd)
tool="$build/bin/tarvex_screenshots"
[ -x "$tool" ] || cmake --build "$build" --target tarvex_screenshots

# Two real TR-DOS disks: from the tests' sample corpus (TARVEX_CORPUS_DIR names another), or from samples/.
corpus=${TARVEX_CORPUS_DIR:-$here/tests/data/corpus}
first=""; second=""
for f in "$corpus/trd/zxtune-tiden.trd" "$corpus/trd/nedoos-sys.trd" "$here"/samples/*.trd "$here"/samples/*.TRD; do
  [ -f "$f" ] || continue
  if [ -z "$first" ]; then first=$f; elif [ -z "$second" ]; then second=$f; fi
done
if [ -z "$second" ]; then
  echo "screenshots: need two TR-DOS images (set TARVEX_CORPUS_DIR to a folder with trd/ in it)" >&2
  exit 1
fi

# A single-sided disk whose sectors are numbered from 193, for the viewer, when the corpus has it.
single_sided=""
[ -f "$corpus/dsk/zesarux-paw-plus3.dsk" ] && single_sided=$corpus/dsk/zesarux-paw-plus3.dsk

for set in en:en_US.UTF-8 ru:ru_RU.UTF-8; do
  out="$build/screenshots/${set%%:*}"
  mkdir -p "$out"
  xvfb-run -a -s "-screen 0 1400x1000x24" env LC_ALL="${set#*:}" LANGUAGE= QT_QPA_PLATFORM=xcb \
    "$tool" "$out" "$first" "$second" $single_sided
done
