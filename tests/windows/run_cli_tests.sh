#!/usr/bin/env bash
# The command line's end-to-end tests run once more against tarvex-cli.exe under Wine, through wine_cli.sh.
# The tests left out depend on what only POSIX systems have: permission bits and users, symbolic links,
# names with control characters or bytes that are not UTF-8, named pipes, resource limits, the locale's
# environment, and '/' between the output folder and the name.
#   tests/windows/run_cli_tests.sh TESTS_PROGRAM TARVEX_CLI_EXE
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tests=${1:?usage: run_cli_tests.sh TESTS_PROGRAM TARVEX_CLI_EXE}
exe=${2:?usage: run_cli_tests.sh TESTS_PROGRAM TARVEX_CLI_EXE}
[ -f "$exe" ] || { echo "no $exe: build it with make windows" >&2; exit 1; }
source "$here/wine_env.sh"
wine_start
export TARVEX_WINDOWS_CLI=$exe TARVEX_TEST_CLI=$here/wine_cli.sh
"$tests" --gtest_brief=1 --gtest_filter="$(tr -d ' \n' <"$here/cli_tests_under_wine.txt")"
