#!/usr/bin/env bash
# Checks that a hardened build of the program carries what Debian's hardening
# promises: full RELRO (a GNU_RELRO segment and BIND_NOW), PIE, a stack
# protector, and, in optimised builds, fortified libc calls.
# Usage: hardening_test.sh PROGRAM FORTIFIED(0|1)
set -u
program=$1
fortified=$2

fail=0
check() {  # check DESCRIPTION PATTERN TEXT
  if grep -Eq -- "$2" <<<"$3"; then
    echo "ok: $1"
  else
    echo "FAIL: $1 (no match for '$2')"
    fail=1
  fi
}

dynamic=$(readelf -d "$program") || exit 1
segments=$(readelf -lW "$program") || exit 1
header=$(readelf -h "$program") || exit 1
symbols=$(readelf --dyn-syms -W "$program") || exit 1

check "position-independent executable" 'Type:[[:space:]]+DYN' "$header"
check "PIE flag" 'FLAGS_1.*PIE' "$dynamic"
check "RELRO segment" 'GNU_RELRO' "$segments"
check "immediate binding" 'BIND_NOW|FLAGS.*NOW' "$dynamic"
check "stack protector" '__stack_chk_fail' "$symbols"
if [ "$fortified" = 1 ]; then
  check "fortified libc calls" '__[a-z]+_chk(@|[[:space:]]|$)' "$symbols"
fi
exit $fail
