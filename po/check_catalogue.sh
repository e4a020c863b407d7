#!/bin/bash
# Checks a message catalogue against the program's sources: every text the code marks for translation
# (Tr, TrMark, TrIn, QTr, QTrIn) must be translated, and the catalogue must hold no fuzzy, untranslated or
# obsolete entry, nor any text the code no longer has.
# Usage: po/check_catalogue.sh SOURCE_DIR CATALOGUE.po
set -u
source_dir=$1
catalogue=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The texts the code marks today, in a fresh template.
bash "$(dirname "$0")/extract_texts.sh" "$source_dir" "$work/fresh.pot" || fail "xgettext could not read the sources"

msgfmt --check -o /dev/null "$catalogue" 2>"$work/msgfmt.err" || { fail "msgfmt --check refuses $catalogue"; cat "$work/msgfmt.err"; }

# An entry of the given kind, counted by msgattrib (the header is left out of the count).
for kind in --only-fuzzy --untranslated --only-obsolete; do
    count=$(msgattrib "$kind" --no-wrap "$catalogue" 2>/dev/null | grep -c '^\(#~ \)\?msgid ')
    # msgattrib repeats the header entry whenever it prints anything.
    ((count > 1)) && { fail "$catalogue has $((count - 1)) entries of kind ${kind#--}:"; msgattrib "$kind" "$catalogue" | sed 's/^/    /'; }
done

# Both ways: every marked text is translated, and every catalogue text is still marked in the code.
msgcmp "$catalogue" "$work/fresh.pot" 2>"$work/missing.txt" ||
    { fail "texts marked in the code are missing from $catalogue:"; sed 's/^/    /' "$work/missing.txt"; }
msgcmp --use-untranslated "$work/fresh.pot" "$catalogue" 2>"$work/stale.txt" ||
    { fail "$catalogue holds texts the code no longer marks:"; sed 's/^/    /' "$work/stale.txt"; }

((failures == 0)) && echo "catalogue $catalogue is complete"
exit $((failures > 0))
