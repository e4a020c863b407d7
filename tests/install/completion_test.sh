#!/bin/bash
# Checks the bash completion of tarvex-cli: loads the completion file, fills COMP_WORDS and COMP_CWORD as
# bash would for a command line, calls the completion function and compares COMPREPLY with what is expected.
# Usage: completion_test.sh COMPLETION_FILE
set -u
completion_file=${1:?usage: completion_test.sh COMPLETION_FILE}
# shellcheck source=/dev/null
source "$completion_file" || { echo "FAIL: cannot load $completion_file"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
touch game.trd ARCHIVE.SCL mixed.Td0 disk.udi plus3.DSK notes.txt run.log
mkdir folder

failures=0

# Completes the words given (the last one is the word under the cursor); prints the replies sorted, one a line.
complete_line() {
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _tarvex_cli
    printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | tr '\n' ' ' | sed 's/ $//'
}

expect() {
    local wanted=$1
    shift
    local got
    got=$(complete_line "$@")
    if [[ $got != "$wanted" ]]; then
        echo "FAIL: '$*' completes to '$got', expected '$wanted'"
        failures=$((failures + 1))
    fi
}

expect "--help --version -V -h convert files help info new" tarvex-cli ""
expect "convert" tarvex-cli co
expect "dsk fdi hfe kdi pro scl td0 trd udi" tarvex-cli convert --to ""
expect "td0 trd" tarvex-cli convert -t t
# "--to=s" reaches the function split at the "=".
expect "dsk fdi hfe kdi pro scl td0 trd udi" tarvex-cli convert --to = ""
expect "scl" tarvex-cli convert --to = s
expect "folder" tarvex-cli convert --to udi -o ""
expect "folder" tarvex-cli convert --to udi --output-dir ""
expect "ARCHIVE.SCL disk.udi folder game.trd mixed.Td0 notes.txt plus3.DSK run.log" tarvex-cli convert --to udi --log ""
expect "" tarvex-cli convert --to udi -j ""
# Image files in any letter case, and folders to walk into; other files are left out.
expect "ARCHIVE.SCL disk.udi folder game.trd mixed.Td0 plus3.DSK" tarvex-cli convert --to udi ""
expect "ARCHIVE.SCL disk.udi folder game.trd mixed.Td0 plus3.DSK" tarvex-cli info ""
expect "mixed.Td0" tarvex-cli info m
expect "--output-dir --overwrite" tarvex-cli convert --o
expect "--from --help --json --quiet" tarvex-cli info --
expect "--from" tarvex-cli convert --f
# A forced reader: the format names after --from, and then any file, whatever its name.
expect "dsk fdi hfe kdi pro scl td0 trd udi" tarvex-cli info --from ""
expect "td0 trd" tarvex-cli convert --to udi --from = t
expect "ARCHIVE.SCL disk.udi folder game.trd mixed.Td0 notes.txt plus3.DSK run.log" tarvex-cli convert --to udi --from trd ""
expect "notes.txt" tarvex-cli info --from trd -- n
expect "ARCHIVE.SCL disk.udi folder game.trd mixed.Td0 plus3.DSK" tarvex-cli convert --to udi -- ""
expect "" tarvex-cli unknown ""
# The TR-DOS file commands: their subcommands and options, formats after --to, then any file.
expect "--help -h add delete extract list" tarvex-cli files ""
expect "--output-dir --overwrite" tarvex-cli files extract --o
expect "scl" tarvex-cli new --to s
expect "40 80" tarvex-cli new --cylinders ""
expect "notes.txt" tarvex-cli files add game.trd n

if ((failures)); then
    echo "$failures completion check(s) failed"
    exit 1
fi
echo "completion: all checks passed"
