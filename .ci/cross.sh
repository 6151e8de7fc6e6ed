#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Other processors: for each TARGET, cross-builds the program and its tests
# with Debian's cross compiler and cmake/linux-cross.cmake in build-TARGET,
# then runs the whole test suite through CTest under qemu-user; i686 runs
# natively through the cross toolchain's 32-bit loader where the kernel
# runs 32-bit programs, and under qemu-i386 where it refuses them or with
# --emulate. Installs what it needs when missing and prints how each
# target's programs ran and the time each target takes.
# Usage: .ci/cross.sh [--emulate] [TARGET...]
#   TARGET: aarch64, armhf, i686, powerpc, ppc64el, riscv64 or s390x
#   (default all of them).
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS

emulate=OFF
if [ "${1-}" = --emulate ]; then
  emulate=ON
  shift
fi
targets=("$@")
[ ${#targets[@]} -gt 0 ] ||
  targets=(aarch64 armhf i686 powerpc ppc64el riscv64 s390x)
packages=(cmake make googletest qemu-user)
for target in "${targets[@]}"; do
  case $target in
    aarch64 | powerpc | riscv64 | s390x) packages+=("g++-$target-linux-gnu") ;;
    armhf) packages+=(g++-arm-linux-gnueabihf) ;;
    ppc64el) packages+=(g++-powerpc64le-linux-gnu) ;;
    i686) packages+=(g++-i686-linux-gnu libc6-i386-cross) ;;
    *)
      echo "cross: unknown target $target (aarch64, armhf, i686, powerpc," \
        "ppc64el, riscv64 or s390x)" >&2
      exit 2
      ;;
  esac
done
bash .ci/install.sh --no-install-recommends "${packages[@]}"
echo "cross: packages ready after $((SECONDS - started)) s"

# cache_value BUILD NAME : a value from the build's CMake cache.
cache_value() { sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"; }

summary=()
for target in "${targets[@]}"; do
  build=build-$target
  begun=$SECONDS
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/linux-cross.cmake \
    -DEOLSWAP_CROSS="$target" -DEOLSWAP_CROSS_EMULATE=$emulate \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
  cmake --build "$build" -j2
  built=$SECONDS
  way=$(cache_value "$build" EOLSWAP_CROSS_WAY)
  # One run of the program before CTest, so that a host that cannot run it
  # says so in plain words rather than in the errors of every test.
  IFS=';' read -r -a runner <<<"$(cache_value "$build" EOLSWAP_CROSS_RUNNER)"
  if ! tried=$("${runner[@]}" "$build/eolswap" -v 2>&1) ||
      [[ $tried != "eolswap version "* ]]; then
    echo "cross: cannot run the $target programs here ($way):" >&2
    echo "$tried" | head -n 5 | sed 's/^/cross:   /' >&2
    exit 1
  fi
  echo "cross: $target programs run $way"
  ctest --test-dir "$build" --output-on-failure -j2
  summary+=("$target: ran $way; configure and build $((built - begun)) s, tests $((SECONDS - built)) s")
  echo "cross: ${summary[-1]}"
done
for line in "${summary[@]}"; do echo "cross: $line"; done
echo "cross: done after $((SECONDS - started)) s"
