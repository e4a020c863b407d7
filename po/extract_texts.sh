#!/bin/bash
# Writes the template of every text the sources mark for translation: Tr("...") and TrMark("...") in the
# core and the command line, QTr("...") in the window, TrIn/QTrIn("context", "...") where one English text
# has a translation per place.
# Usage: po/extract_texts.sh SOURCE_DIR OUTPUT.pot
set -eu
source_dir=$1
output=$(realpath -m "$2")
cd "$source_dir"
mapfile -t sources < <(find src -name '*.cpp' -o -name '*.h' | LC_ALL=C sort)
xgettext --from-code=UTF-8 --language=C++ --keyword --keyword=Tr --keyword=TrMark --keyword=TrIn:1c,2 \
    --keyword=QTr --keyword=QTrIn:1c,2 --no-location --sort-output --package-name=tarvex -o "$output" "${sources[@]}"
