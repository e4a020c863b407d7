#!/bin/bash
# The catalogue check must refuse each kind of fault: a marked text the catalogue lacks, an untranslated, a
# fuzzy and an obsolete entry, and an entry for a text the code no longer marks. Each fault is made in a copy
# of the sources and the catalogue.
# Usage: tests/po/check_catalogue_test.sh SOURCE_DIR
set -u
source_dir=$(cd "$1" && pwd)
check=$source_dir/po/check_catalogue.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# A fresh copy of the sources and the catalogue in $work/case.
fresh_copy() {
    rm -rf "$work/case"
    mkdir -p "$work/case/po"
    cp -r "$source_dir/src" "$work/case/src"
    cp "$source_dir/po/ru.po" "$work/case/po/ru.po"
}

expect_refused() {
    local what=$1
    if bash "$check" "$work/case" "$work/case/po/ru.po" >"$work/out.txt" 2>&1; then
        echo "FAIL: the check accepts $what"
        failures=$((failures + 1))
    elif ! grep -q FAIL "$work/out.txt"; then
        echo "FAIL: the check refuses $what without saying why"
        failures=$((failures + 1))
    fi
}

fresh_copy
bash "$check" "$work/case" "$work/case/po/ru.po" >/dev/null || { echo "FAIL: the unchanged catalogue is refused"; failures=$((failures + 1)); }

fresh_copy
printf '\nconst char* kNewText = tarvex::TrMark("A text nobody translated yet!");\n' >>"$work/case/src/app/shared_texts.cpp"
expect_refused "a marked text missing from the catalogue"

fresh_copy
sed -i '/^msgid "Conversion finished."$/{n;s/^msgstr .*/msgstr ""/}' "$work/case/po/ru.po"
expect_refused "an untranslated entry"

fresh_copy
sed -i 's/^msgid "Conversion finished."$/#, fuzzy\n&/' "$work/case/po/ru.po"
expect_refused "a fuzzy entry"

fresh_copy
printf '\n#~ msgid "An old text"\n#~ msgstr "Старый текст"\n' >>"$work/case/po/ru.po"
expect_refused "an obsolete entry"

fresh_copy
printf '\nmsgid "A text the code lost"\nmsgstr "Текст, которого нет в коде"\n' >>"$work/case/po/ru.po"
expect_refused "an entry the code no longer marks"

((failures == 0)) && echo "every fault is refused"
exit $((failures > 0))
