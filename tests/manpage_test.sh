#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Renders the manual page the way man(1) does for a reader and fails on any
# warning from the formatter. Then checks that the page keeps up with the
# program: every option letter of the help is documented, and the version in
# the page footer is the program's version.
# Usage: manpage_test.sh PAGE PROGRAM
# Exits with 77 (skipped) when man(1) is not installed.
set -u
. "$(dirname "$0")/lib.sh"
page=$1
prog=$2

command -v man >/dev/null 2>&1 || skip_all "man is not installed"
page=$(realpath "$page") prog=$(realpath "$prog")
make_scratch

# A fixed width and locale, no pager, and no sandbox (which fails in some
# containers), so the result does not depend on who runs the test.
MANWIDTH=80 LC_ALL=C.UTF-8 MANPAGER=cat PAGER=cat MAN_DISABLE_SECCOMP=1 \
  man --warnings -l "$page" >"$scratch/page.txt" 2>"$scratch/warnings.txt"
status=$?
if [ "$status" -ne 0 ]; then bad "man exited with status $status"; else ok_named "man renders the page"; fi
if [ -s "$scratch/warnings.txt" ]; then
  bad "the page renders with warnings:"
  cat "$scratch/warnings.txt"
else
  ok_named "no warnings from the formatter"
fi

# Plain text of the rendered page, without bold and underline.
sed 's/.\x08//g' "$scratch/page.txt" >"$scratch/plain.txt"
for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" EXAMPLES \
  CAVEATS "SEE ALSO"; do
  check "no $section section" grep -q "^$section\$" "$scratch/plain.txt"
done

# The option entries of the OPTIONS section, such as "-d" or "-h, -H".
sed -n '/^OPTIONS$/,/^[A-Z]/p' "$scratch/plain.txt" |
  grep -Eo '^ {7}-[A-Za-z](, -[A-Za-z])*' | grep -Eo -- '-[A-Za-z]' \
  >"$scratch/documented.txt"
"$prog" -h 2>"$scratch/help.txt"
letters=$(grep -Eo '^  -[A-Za-z] =' "$scratch/help.txt" | grep -Eo -- '-[A-Za-z]')
check "no options found in the help of $prog" test -n "$letters"
for option in $letters; do
  check "option $option is in the help but not in OPTIONS" \
    grep -qx -- "$option" "$scratch/documented.txt"
done

version=$("$prog" -v 2>&1 | sed -n 's/^eolswap version //p')
check "the page's .TH line does not name eolswap $version" \
  grep -q "^\.TH EOLSWAP 1 [^ ]* \"eolswap $version\"" "$page"
finish
