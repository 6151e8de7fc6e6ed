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

. .ci/wine.sh
start_wine "$build"
ctest --test-dir "$build" --output-on-failure
echo "windows: done after $((SECONDS - started)) s"
