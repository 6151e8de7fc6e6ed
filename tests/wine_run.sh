#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# wine_run.sh WINE PROGRAM [ARGS...] : runs a Windows program under Wine for
# the tests, and starts it again when Wine failed to start it.
#
# Debian's Wine has no preloader, so nothing holds the address where every
# Windows process maps its shared user data (0x7ffe0000) while the loader
# starts. The kernel puts the program break anywhere in the gigabyte above
# the loader (at 0x7d000000), and about one start in five thousand finds
# its heap over that address: Wine then prints
#   err:virtual:virtual_alloc_first_teb wine: failed to map the shared user data: c0000018
# and exits with status 1 before the program runs. A server that goes away
# while a process connects ends it the same way ("wine client error:").
#
# Only such a run is started again: status 1 with nothing on standard
# error but those lines of Wine's own. The program never ran, so it read
# nothing and wrote nothing, and the next start gets the same input. A run
# of the program itself, failed or not, is never repeated. Each new start
# is noted in the file EOLSWAP_WINE_RERUNS names (standard error if none),
# so that the log shows it.
set -u
wine=$1
shift
# A closed standard error is part of what some runs test; it stays closed.
[ -e /dev/fd/2 ] || exec "$wine" "$@"
err=$(mktemp) || exec "$wine" "$@"
trap 'rm -f "$err"' EXIT

# not_started FILE : FILE holds Wine's start failures and nothing else.
not_started() {
  [ -s "$1" ] && ! grep -qv -e '^\([0-9a-f]\{4\}:\)\{0,1\}err:virtual:virtual_alloc_first_teb ' \
    -e '^wine client error:' "$1"
}

for attempt in 1 2 3; do
  "$wine" "$@" 2>"$err"
  status=$?
  if [ "$status" = 1 ] && [ "$attempt" -lt 3 ] && not_started "$err"; then
    run=${*@Q}
    [ ${#run} -le 200 ] || run="${run:0:200}..."
    note="wine_run: Wine did not start $run ($(head -n 1 "$err")); starting it again"
    if [ -n "${EOLSWAP_WINE_RERUNS:-}" ]; then
      echo "$note" >>"$EOLSWAP_WINE_RERUNS"
    else
      echo "$note" >&2
    fi
    continue
  fi
  cat "$err" >&2
  exit "$status"
done
