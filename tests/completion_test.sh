#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Checks what the completion for eolswap offers in a real shell: bash (plain,
# without the bash-completion library, the fallback path), zsh (through its
# completion system, driven on a pseudo-terminal) or fish (loaded from its
# vendor directory, as an installed completion is).
# Usage: completion_test.sh bash|zsh|fish COMPLETION_FILE [PROGRAM]
# PROGRAM is needed by fish, which loads a completion only for a command on
# the PATH. Exits with 77 (skipped) when zsh or fish is not installed.
set -u
. "$(dirname "$0")/lib.sh"
shell=$1
completion=$(realpath "$2")
prog=${3:+$(realpath "$3")}

command -v "$shell" >/dev/null 2>&1 || skip_all "$shell is not installed"
# A container or chroot without /dev/pts has no pseudo-terminal to give.
if [ "$shell" = zsh ] &&
  ! zsh -f -c 'zmodload zsh/zpty && zpty t true && zpty -d t' >/dev/null 2>&1; then
  skip_all "zsh cannot open a pseudo-terminal here (no /dev/pts?)"
fi

make_scratch
mkdir "$scratch/work" "$scratch/home" "$scratch/bin" || exit 1
cd "$scratch/work" || exit 1
touch notes.txt notes.unx "my file.txt" -- -dashed
# Neither shell reads or writes the caller's files.
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/home \
  XDG_DATA_HOME=$scratch/home LC_ALL=C.UTF-8

offers_bash() {
  bash --norc --noprofile -c '
    source "$1" || exit 1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    _eolswap eolswap "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}"' _ "$completion" "$@"
}

# zsh completes only inside its line editor, so an interactive zsh runs on
# a pseudo-terminal; compadd is wrapped to record each match that is really
# added (calls with -O, -A or -D only compute matches), unquoted. The dump
# of the completion system, made by the first case, spares the later ones a
# scan of every completion function.
zsh_driver='
  zmodload zsh/zpty || exit 1
  dir=$1 dump=$2 out=$3 line=$4
  zpty z zsh -f -i || exit 1
  zpty -w z "PS1=; fpath=(${(q)dir} \$fpath); autoload -Uz compinit; compinit -u -d ${(q)dump}; bindkey -e"
  zpty -w z "compadd() {
    if ((! \${@[(I)-[OAD]]})); then
      local -a m; builtin compadd -O m \"\$@\"; print -rl -- \${(Q)m} >>${(q)out}
    fi
    builtin compadd \"\$@\"
  }"
  zpty -w z "probe() { zle complete-word; print -r -- \"<end>\" >>${(q)out} }
    zle -N probe; bindkey \"^T\" probe"
  zpty -w -n z "$line"$'\''\x14'\''
  for ((tries = 0; tries < 1000; tries++)); do
    [[ -f $out && $(<$out) == *"<end>" ]] && break
    sleep 0.01
  done
  zpty -d z
'
offers_zsh() {
  local dir=$scratch/share/zsh/vendor-completions out=$scratch/zsh.out
  mkdir -p "$dir" && ln -sf "$completion" "$dir/_eolswap"
  rm -f "$out"
  zsh -f -c "$zsh_driver" zsh "$dir" "$scratch/zcompdump" "$out" "$*"
  if [[ -f $out && $(<"$out") == *"<end>" ]]; then
    grep -vxF '<end>' "$out"
  else
    echo "<no answer from zsh>"
  fi
}

# fish looks for completions in share/fish/vendor_completions.d under each
# directory of XDG_DATA_DIRS, for commands on the PATH.
offers_fish() {
  local dir=$scratch/share/fish/vendor_completions.d
  mkdir -p "$dir" && ln -sf "$completion" "$dir/eolswap.fish"
  ln -sf "$prog" "$scratch/bin/eolswap"
  PATH=$scratch/bin:$PATH XDG_DATA_DIRS=$scratch/share \
    fish -c 'complete -C $argv[1]' "$*" | cut -f1
}

# offers WORD... : the completions for the command line WORD..., the last
# word being the one under the cursor, one per line, sorted, duplicates gone.
offers() {
  "offers_$shell" "$@" | sed '/^$/d' | LC_ALL=C sort -u
}

expect() {  # expect "DESCRIPTION" "WANTED LINES" WORD...
  local description=$1 want=$2
  shift 2
  local got
  got=$(offers "$@")
  if [ "$got" != "$want" ]; then
    bad "$shell: $description"
    echo "  command line: $*"
    echo "  want: $(echo "$want" | tr '\n' ' ')"
    echo "  got:  $(echo "$got" | tr '\n' ' ')"
  else
    ok_named "$shell: $description"
  fi
}

nl=$'\n'
expect "a dash offers every option" \
  "-d$nl-h$nl-i$nl-m$nl-p$nl-q$nl-u$nl-v" eolswap -
if [ "$shell" = fish ]; then
  # fish completes a group of letters with each letter that may join it.
  expect "a letter offers the groups it starts" \
    "-ud$nl-uh$nl-ui$nl-um$nl-up$nl-uq$nl-uv" eolswap -q -u
else
  expect "a letter narrows the options" "-u" eolswap -q -u
fi
expect "an empty word offers files, not options" \
  "-dashed${nl}my file.txt${nl}notes.txt${nl}notes.unx" eolswap ""
expect "a word offers files" "notes.txt${nl}notes.unx" eolswap no
expect "a file name with a blank stays one word" "my file.txt" eolswap -u my
expect "the second operand is a file too" "notes.txt${nl}notes.unx" \
  eolswap -u in.txt no
expect "options end at the first operand" "-dashed" eolswap in.txt -
expect "options end after two dashes" "-dashed" eolswap -u -- -
expect "options end after a word of two dashes" "-dashed" eolswap --x -
expect "a dash alone is an operand" "-dashed" eolswap - -
expect "nothing after two operands" "" eolswap in.txt out.txt ""
expect "no option after two operands" "" eolswap -u - out.txt -

if [ "$shell" = bash ]; then
  if (source "$completion" && complete -p eolswap) >/dev/null 2>&1; then
    ok_named "sourcing the file registers a completion for eolswap"
  else
    bad "sourcing the file does not register a completion for eolswap"
  fi
fi
finish
