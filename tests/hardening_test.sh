#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Checks that a hardened build of the program carries what Debian's hardening
# promises: full RELRO (a GNU_RELRO segment and BIND_NOW), PIE, a stack
# protector, and, in optimised builds, fortified libc calls.
# Usage: hardening_test.sh PROGRAM FORTIFIED(0|1)
set -u
. "$(dirname "$0")/lib.sh"
prog=$1
fortified=$2

shows() {  # shows DESCRIPTION PATTERN TEXT
  if grep -Eq -- "$2" <<<"$3"; then
    ok_named "$1"
  else
    bad "$1 (no match for '$2')"
  fi
}

dynamic=$(readelf -d "$prog") || exit 1
segments=$(readelf -lW "$prog") || exit 1
header=$(readelf -h "$prog") || exit 1
symbols=$(readelf --dyn-syms -W "$prog") || exit 1

shows "position-independent executable" 'Type:[[:space:]]+DYN' "$header"
shows "PIE flag" 'FLAGS_1.*PIE' "$dynamic"
shows "RELRO segment" 'GNU_RELRO' "$segments"
shows "immediate binding" 'BIND_NOW|FLAGS.*NOW' "$dynamic"
shows "stack protector" '__stack_chk_fail' "$symbols"
if [ "$fortified" = 1 ]; then
  shows "fortified libc calls" '__[a-z]+_chk(@|[[:space:]]|$)' "$symbols"
fi
finish
