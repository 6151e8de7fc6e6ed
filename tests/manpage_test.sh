#!/usr/bin/env bash
# Renders the manual page the way man(1) does for a reader and fails on any
# warning from the formatter. Then checks that the page keeps up with the
# program: every option letter of the help is documented, and the version in
# the page footer is the program's version.
# Usage: manpage_test.sh PAGE PROGRAM
# Exits with 77 (skipped) when man(1) is not installed.
set -u
page=$1
program=$2

if ! command -v man >/dev/null 2>&1; then
  echo "man is not installed; skipped"
  exit 77
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# A fixed width and locale, no pager, and no sandbox (which fails in some
# containers), so the result does not depend on who runs the test.
MANWIDTH=80 LC_ALL=C.UTF-8 MANPAGER=cat PAGER=cat MAN_DISABLE_SECCOMP=1 \
  man --warnings -l "$page" >"$scratch/page.txt" 2>"$scratch/warnings.txt"
status=$?
fail=0
if [ "$status" -ne 0 ]; then
  echo "FAIL: man exited with status $status"
  fail=1
fi
if [ -s "$scratch/warnings.txt" ]; then
  echo "FAIL: the page renders with warnings:"
  cat "$scratch/warnings.txt"
  fail=1
fi

# Plain text of the rendered page, without bold and underline.
sed 's/.\x08//g' "$scratch/page.txt" >"$scratch/plain.txt"
for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" EXAMPLES \
  CAVEATS "SEE ALSO"; do
  if ! grep -q "^$section\$" "$scratch/plain.txt"; then
    echo "FAIL: no $section section"
    fail=1
  fi
done

# The option entries of the OPTIONS section, such as "-d" or "-h, -H".
sed -n '/^OPTIONS$/,/^[A-Z]/p' "$scratch/plain.txt" |
  grep -Eo '^ {7}-[A-Za-z](, -[A-Za-z])*' | grep -Eo -- '-[A-Za-z]' \
  >"$scratch/documented.txt"
"$program" -h 2>"$scratch/help.txt"
letters=$(grep -Eo '^  -[A-Za-z] =' "$scratch/help.txt" | grep -Eo -- '-[A-Za-z]')
if [ -z "$letters" ]; then
  echo "FAIL: no options found in the help of $program"
  fail=1
fi
for option in $letters; do
  if ! grep -qx -- "$option" "$scratch/documented.txt"; then
    echo "FAIL: option $option is in the help but not in OPTIONS"
    fail=1
  fi
done

version=$("$program" -v 2>&1 | sed -n 's/^eolswap version //p')
if ! grep -q "^\.TH EOLSWAP 1 [^ ]* \"eolswap $version\"" "$page"; then
  echo "FAIL: the page's .TH line does not name eolswap $version"
  fail=1
fi

[ "$fail" -eq 0 ] && echo "ok: $page"
exit $fail
