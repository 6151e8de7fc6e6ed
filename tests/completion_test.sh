#!/usr/bin/env bash
# Loads the bash completion for eolswap into a plain bash (no
# bash-completion library, the fallback path) and checks what it offers.
# Usage: completion_test.sh COMPLETION_FILE
set -u
completion=$(realpath "$1")

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1
touch notes.txt notes.unx "my file.txt" -- -dashed

# offers WORD... : the completions for the command line WORD..., the last
# word being the one under the cursor, one per line and sorted.
offers() {
  bash --norc --noprofile -c '
    source "$1" || exit 1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    _eolswap eolswap "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$@" | sed '/^$/d' | sort
}

fail=0
expect() {  # expect "DESCRIPTION" "WANTED LINES" WORD...
  local description=$1 want=$2
  shift 2
  local got
  got=$(offers "$@")
  if [ "$got" != "$want" ]; then
    echo "FAIL: $description"
    echo "  command line: $*"
    echo "  want: $(echo "$want" | tr '\n' ' ')"
    echo "  got:  $(echo "$got" | tr '\n' ' ')"
    fail=1
  else
    echo "ok: $description"
  fi
}

nl=$'\n'
expect "a dash offers every option" \
  "-d$nl-h$nl-i$nl-m$nl-p$nl-q$nl-u$nl-v" eolswap -
expect "a letter narrows the options" "-u" eolswap -q -u
expect "a word offers files" "notes.txt${nl}notes.unx" eolswap no
expect "a file name with a blank stays one word" "my file.txt" eolswap -u my
expect "the second operand is a file too" "notes.txt${nl}notes.unx" \
  eolswap -u in.txt no
expect "options end at the first operand" "-dashed" eolswap in.txt -
expect "options end after two dashes" "-dashed" eolswap -u -- -
expect "a dash alone is an operand" "-dashed" eolswap - -
expect "nothing after two operands" "" eolswap in.txt out.txt ""

if ! (source "$completion" && complete -p eolswap) >/dev/null 2>&1; then
  echo "FAIL: sourcing the file does not register a completion for eolswap"
  fail=1
fi
exit $fail
