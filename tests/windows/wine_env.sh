# Sourced by the Wine tests: a Wine of its own for the calling script, in a temporary prefix made here and
# removed on exit, with no debugging chatter and no display. Exits 77 (skipped) without Wine.
#   source wine_env.sh; wine_start   # then: wine PROGRAM.exe ...
if ! command -v wine >/dev/null; then
  echo "wine not installed (Debian packages wine, wine64)" >&2
  exit 77
fi
export WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/tarvex-wine-XXXXXX")
export WINEPREFIX
wine_stop() {
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap wine_stop EXIT
# The prefix's first start makes the Windows folders and registry; every later start takes a fraction of it.
wine_start() {
  local started=$SECONDS
  wineboot --init >/dev/null 2>&1
  wineserver --wait
  # Without Wine's 32-bit half a part of the set-up fails, and Wine would try it again (and say so on
  # standard error) at every start: the prefix is marked as needing no further updates.
  echo disable >"$WINEPREFIX/.update-timestamp"
  echo "wine prefix ready in $((SECONDS - started)) s" >&2
}
