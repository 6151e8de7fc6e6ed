#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Follows the README's git recipe in a scratch repository: eolswap -q -u as
# the clean filter of *.txt, so that files are stored with LF line breaks
# whatever the working tree holds, while other files pass untouched; and
# getting files back (restore, checkout, reset, clone) works with it.
# Usage: git_filter_test.sh PROGRAM
# Exits with 77 (skipped) when git is not installed.
set -u
. "$(dirname "$0")/lib.sh"
prog=$(realpath "$1") || exit 1

command -v git >/dev/null 2>&1 || skip_all "git is not installed"

make_scratch
# No configuration of the caller's reaches the repository.
export HOME=$scratch GIT_CONFIG_NOSYSTEM=1 GIT_CONFIG_GLOBAL=/dev/null
repo=$scratch/repo
git init -q "$repo" && cd "$repo" || exit 1
git config user.name tester && git config user.email tester@example.invalid
# The recipe's settings, as key and value; a clone takes them again.
recipe=(filter.lf.clean "'$prog' -q -u" filter.lf.smudge cat
  filter.lf.required true)
for ((i = 0; i < ${#recipe[@]}; i += 2)); do
  git config "${recipe[i]}" "${recipe[i + 1]}" || exit 1
  cloned+=(-c "${recipe[i]}=${recipe[i + 1]}")
done
echo '*.txt filter=lf' >.gitattributes

# stored NAME WANT: the blob committed for NAME holds exactly WANT (printf
# notation), and the working file is left as it was.
stored() {
  local name=$1 want got
  want=$(printf "$2" | od -An -c | tr -s " ")
  got=$(git cat-file blob "HEAD:$name" | od -An -c | tr -s " ")
  if [ "$got" = "$want" ]; then
    ok_named "$name is stored as $2"
  else
    bad "$name is stored as$got, not$want"
  fi
}

# Name, working-tree content, content stored (printf notation).
cases=(
  dos.txt 'one\r\ntwo\r\n' 'one\ntwo\n'
  mac.txt 'one\rtwo\r' 'one\ntwo\n'
  mixed.txt 'a\r\nb\rc\nd\n\re' 'a\nb\nc\nd\n\ne'
  unix.txt 'one\ntwo\n' 'one\ntwo\n'
  other.bat 'one\r\ntwo\r\n' 'one\r\ntwo\r\n'
)
for ((i = 0; i < ${#cases[@]}; i += 3)); do
  printf "${cases[i + 1]}" >"${cases[i]}"
  cp "${cases[i]}" "$scratch/${cases[i]}.before"
done
git add . && git commit -q -m files || { bad "git commit"; finish; }
for ((i = 0; i < ${#cases[@]}; i += 3)); do
  stored "${cases[i]}" "${cases[i + 2]}"
  check "the filter changed the working file ${cases[i]}" \
    cmp -s "${cases[i]}" "$scratch/${cases[i]}.before"
done

# Each way of getting files back, with a file it writes through the filter:
# that file then holds what is stored, and git sees nothing to commit.
printf 'three\r\n' >>dos.txt && git commit -q -a -m more || bad "git commit -a"
# shellcheck disable=SC2016  # each step is expanded when it runs
steps=(
  'rm mac.txt && git restore mac.txt' mac.txt
  'git checkout -q HEAD~1' dos.txt
  'git checkout -q -' dos.txt
  'rm mixed.txt && git reset -q --hard' mixed.txt
  'git clone -q "${cloned[@]}" . "$scratch/clone" && cd "$scratch/clone"' dos.txt
)
for ((i = 0; i < ${#steps[@]}; i += 2)); do
  if got=$(eval "${steps[i]}" 2>&1 && git status --porcelain &&
    cmp "${steps[i + 1]}" <(git cat-file blob "HEAD:${steps[i + 1]}") 2>&1) &&
    [ -z "$got" ]; then
    ok_named "${steps[i]}"
  else
    bad "${steps[i]}: $got"
  fi
done
finish
