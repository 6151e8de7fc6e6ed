# SPDX-License-Identifier: BSD-2-Clause
# shellcheck shell=bash
# Sourced by the scripts that run the Windows program under Wine.
#
# start_wine BUILD_DIR : a Wine prefix of our own in BUILD_DIR/wineprefix,
# and one Wine server kept alive until stop_wine (or the script's exit): a
# server that a program started would outlive it and hold its output open,
# and whoever waits for that output would wait for the server. Sets wine,
# the loader that the build found. The first start creates the prefix and
# its services, so it is done here, before anything is timed. Wine's own
# error lines stay on: a run that Wine fails to start or finish then says
# so on standard error, where the tests show it, instead of ending with a
# bare status 1 that looks like the program's own. Sets wine_run, which
# runs a program as CTest does, started again where Wine failed to start
# it; stop_wine prints each such start.
start_wine() {
  local build=$1 root=$1
  case $build in /*) ;; *) root=$PWD/$build ;; esac
  export WINEPREFIX=$root/wineprefix WINEDEBUG=-all,err+all
  export EOLSWAP_WINE_RERUNS=$root/wine-reruns.log
  : >"$EOLSWAP_WINE_RERUNS"
  wine=$(sed -n 's/^EOLSWAP_WINE:FILEPATH=//p' "$build/CMakeCache.txt")
  [ -x "$wine" ] || { echo "no Wine loader found for $build" >&2; exit 1; }
  wine_run=("$(realpath "$(dirname "${BASH_SOURCE[0]}")/../tests/wine_run.sh")" "$wine")
  wineserver=$(dirname "$wine")/wineserver
  [ -x "$wineserver" ] || wineserver=$(command -v wineserver)
  trap stop_wine EXIT
  mkdir -p "$WINEPREFIX"
  "$wineserver" -p </dev/null >/dev/null 2>&1
  "${wine_run[@]}" wineboot -i </dev/null >"$build/wineboot.log" 2>&1 ||
    { cat "$build/wineboot.log"; exit 1; }
}

# stop_wine : stops the server that start_wine started, and waits for it.
stop_wine() {
  cat "$EOLSWAP_WINE_RERUNS"
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w
  trap - EXIT
}
