#!/usr/bin/env bash
# tarvex-cli.exe under Wine with the arguments given, for tests that run a command line by its path
# (TARVEX_TEST_CLI): TARVEX_WINDOWS_CLI names the program and WINEPREFIX a prefix already started. The
# Windows program puts '\' between an output folder and a name; the tests' expectations spell it '/', so
# the printed lines are read that way, except when standard output carries an image (-o -).
set -o pipefail
exe=${TARVEX_WINDOWS_CLI:?names tarvex-cli.exe}
image=0
previous=
for arg in "$@"; do
  case "$previous $arg" in "-o -" | "--output-dir -") image=1 ;; esac
  case $arg in -o- | --output-dir=- | -qo) image=1 ;; esac
  previous=$arg
done
if [ $image = 1 ]; then exec wine "$exe" "$@"; fi
wine "$exe" "$@" 2> >(sed 's|\\|/|g' >&2) | sed 's|\\|/|g'
