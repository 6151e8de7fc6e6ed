#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# The Windows program: cross-builds eolswap.exe and its unit tests with
# MinGW-w64 and runs the whole test suite under Wine. Installs what it needs
# when missing. Usage: .ci/windows.sh [BUILD_DIR] (default build-win).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-win}
started=$SECONDS

bash .ci/install.sh --no-install-recommends g++-mingw-w64-x86-64-posix googletest wine64
echo "windows: packages ready after $((SECONDS - started)) s"

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
cmake --build "$build" -j2

# A Wine prefix of our own inside the build folder, and one Wine server kept
# alive for the whole suite: a server that a test started would outlive it
# and hold its output open, and CTest would wait for it after every test.
export WINEPREFIX=$PWD/$build/wineprefix WINEDEBUG=-all
wine=$(sed -n 's/^EOLSWAP_WINE:FILEPATH=//p' "$build/CMakeCache.txt")
[ -x "$wine" ] || { echo "windows: no Wine loader found" >&2; exit 1; }
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
stop_wine() {
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w
}
trap stop_wine EXIT
mkdir -p "$WINEPREFIX"
"$wineserver" -p </dev/null >/dev/null 2>&1
# The first start creates the prefix and its services; do it before CTest
# times anything.
"$wine" wineboot -i </dev/null >"$build/wineboot.log" 2>&1 ||
  { cat "$build/wineboot.log"; exit 1; }

ctest --test-dir "$build" --output-on-failure
echo "windows: done after $((SECONDS - started)) s"
