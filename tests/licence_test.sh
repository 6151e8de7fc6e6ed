#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Every source, test, script and build file names its licence in an SPDX
# line near its top, so that a file copied out of the tree still says under
# which terms it may be used. Documents, seed corpora and files whose format
# has no comments (the licence itself, the Debian changelog) are exempt.
# Usage: licence_test.sh SOURCE_DIR
# Exits with 77 (skipped) outside a git checkout, which alone lists the
# files that belong to the tree.
set -u
. "$(dirname "$0")/lib.sh"
cd "$1" || exit 2
files=$(git ls-files 2>/dev/null) || skip_all "not a git checkout"
[ -n "$files" ] || skip_all "no files listed"

tag='SPDX-License-Identifier: BSD-2-Clause'
while IFS= read -r file; do
  case $file in
    fuzz/corpus/* | *.md | LICENSE | packaging/changelog | \
      packaging/README-windows.txt) continue ;;
  esac
  if head -n 3 -- "$file" | grep -qF -- "$tag"; then
    ok
  else
    bad "$file has no SPDX line in its first three lines"
  fi
done <<<"$files"
finish
