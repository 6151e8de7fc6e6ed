#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Other processors: for each TARGET, cross-builds the program and its tests
# with Debian's cross compiler and cmake/TARGET-linux-gnu.cmake in
# build-TARGET, then runs the whole test suite through CTest: under qemu-user
# for aarch64 (little-endian) and s390x (big-endian), natively through the
# cross toolchain's 32-bit loader for i686. Installs what it needs when
# missing and prints the time each target takes.
# Usage: .ci/cross.sh [TARGET...] (aarch64, s390x, i686; default all three).
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS

targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(aarch64 s390x i686)
packages=(cmake make googletest)
for target in "${targets[@]}"; do
  case $target in
    aarch64 | s390x) packages+=("g++-$target-linux-gnu" qemu-user) ;;
    i686) packages+=(g++-i686-linux-gnu libc6-i386-cross) ;;
    *) echo "cross: unknown target $target (aarch64, s390x or i686)" >&2; exit 2 ;;
  esac
done
bash .ci/install.sh --no-install-recommends "${packages[@]}"
echo "cross: packages ready after $((SECONDS - started)) s"

summary=()
for target in "${targets[@]}"; do
  build=build-$target
  begun=$SECONDS
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="cmake/$target-linux-gnu.cmake" \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
  cmake --build "$build" -j2
  built=$SECONDS
  ctest --test-dir "$build" --output-on-failure -j2
  summary+=("$target: configure and build $((built - begun)) s, tests $((SECONDS - built)) s")
  echo "cross: ${summary[-1]}"
done
for line in "${summary[@]}"; do echo "cross: $line"; done
echo "cross: done after $((SECONDS - started)) s"
