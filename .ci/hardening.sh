#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Proof against faults and bad input, each in a build directory of its own:
#   1. static analysis of src/ (clang-tidy with .clang-tidy, cppcheck);
#   2. the program and the whole test suite under AddressSanitizer and
#      UndefinedBehaviorSanitizer, leak checking on (build-asan);
#   3. the libFuzzer targets: their seed corpora replayed, then each fuzzed
#      for FUZZ_SECONDS (default 60) seconds (build-fuzz).
# Any finding, failing test, crash or violated property fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS

bash .ci/install.sh clang-14 libclang-rt-14-dev clang-tidy-14 cppcheck

step() { echo "hardening: $* ($((SECONDS - started)) s)"; }

step "static analysis"
cmake -S . -B build-tidy -DCMAKE_CXX_COMPILER=clang++-14 -DBUILD_TESTING=OFF \
  >/dev/null
# The sources of src/ that this platform compiles, as the build lists them.
# clang-tidy counts the warnings it suppresses in system headers; that line
# is dropped, its findings and its status are kept.
sources=()
while IFS= read -r file; do
  if [[ $file == "$PWD/src/"* ]]; then sources+=("$file"); fi
done < <(sed -n 's|^ *"file": "\(.*\)".*|\1|p' build-tidy/compile_commands.json)
[ ${#sources[@]} -gt 0 ] || { echo "hardening: no sources to analyse" >&2; exit 1; }
clang-tidy-14 -p build-tidy --quiet "${sources[@]}" 2>&1 |
  { grep -v '^[0-9]* warnings generated\.$' || true; }
cppcheck --enable=warning,style,performance,portability --std=c++20 \
  --inline-suppr --quiet --error-exitcode=1 -I src src

step "sanitizers"
cmake -S . -B build-asan -DEOLSWAP_SANITIZE=ON -DEOLSWAP_HARDEN=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
  >/dev/null
cmake --build build-asan -j2
ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure

step "fuzzing"
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DEOLSWAP_FUZZ=ON \
  -DEOLSWAP_HARDEN=OFF -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
targets=(convert_fuzz text_check_fuzz getopt_fuzz)
cmake --build build-fuzz -j2 --target "${targets[@]}"
ctest --test-dir build-fuzz -R '^fuzz\.' --output-on-failure
seconds=${FUZZ_SECONDS:-60}
summary=()
for target in "${targets[@]}"; do
  # New inputs go to a scratch corpus; the seeds in the tree stay as they are.
  scratch=build-fuzz/corpus-run/$target
  log=build-fuzz/$target.log
  rm -rf "$scratch"
  mkdir -p "$scratch" build-fuzz/artifacts
  begun=$SECONDS
  if ! "build-fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=10 \
      -print_final_stats=1 -artifact_prefix="build-fuzz/artifacts/$target-" \
      "$scratch" "fuzz/corpus/$target" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "hardening: $target failed; the input is in build-fuzz/artifacts/" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  summary+=("$target: $runs executions in $((SECONDS - begun)) s")
done
for line in "${summary[@]}"; do echo "fuzz: $line"; done
step "done"
