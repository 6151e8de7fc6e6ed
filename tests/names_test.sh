#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Black-box runs with hostile file names and argument vectors: printf
# directives, bytes that are not UTF-8, leading dashes, names at and past
# the system's limits, thousands of operands. Names must reach the messages
# byte for byte, and no file but the named output may be created or changed.
# Usage: names_test.sh [PREFIX...] PROGRAM, where PREFIX runs the program
# (an emulator such as qemu-aarch64 -L ROOT for a cross build); every run is
# "PREFIX... PROGRAM ARGS".
set -u
. "$(dirname "$0")/lib.sh"
take_program "$@"
make_scratch
# A Windows program (.exe) gets its names as wide characters, which Wine
# makes from the bytes through the locale's character set; UTF-8 spells them
# all.
windows=no
case $prog in *.exe) windows=yes && export LC_ALL=C.UTF-8 ;; esac
# The runs happen in the box, which holds nothing but the files they are
# given; what the tests keep outside it is never seen by a snapshot.
mkdir box
cd box || exit 2

# same NAME FILE BYTES_PRINTF : passes when FILE holds exactly those bytes.
same() {
  # shellcheck disable=SC2059  # the bytes are written in printf notation
  if cmp -s "$2" <(printf "$3"); then ok; else bad "$1: output bytes"; fi
}

# Every file under the box with a digest of its bytes, names escaped.
snapshot() {
  find . -type f -print0 | sort -z | xargs -0 -r sha1sum
}

# run_boxed ARGS... : runs the program in the box with nothing on standard
# input, leaving out and err (outside the box) and status; in changed the count of
# files created or changed, in stray the files that were read but not named
# on the command line, and in read_any the count of files read at all.
# Reads show in the access time, which is set far back before the run (where
# the file system keeps no access times, nothing shows and the check
# passes).
run_boxed() {
  snapshot >../before
  find . -type f -exec touch -d @946684800 {} +
  run ../empty "$@"
  stray=""
  local file arg named
  while IFS= read -r -d '' file; do
    named=no
    for arg in "$@"; do
      # A directory that .. leaves again is no part of the name.
      if [ "./$arg" = "$file" ] || [ "$arg" = "$file" ] ||
        [ "./${arg##*/../}" = "$file" ]; then named=yes; fi
    done
    if [ "$named" = no ]; then stray+="$file "; fi
  done < <(find . -type f -anewer ../epoch -print0)
  read_any=$(find . -type f -anewer ../epoch | wc -l)
  snapshot >../after
  changed=$(diff ../before ../after | grep -c '^>')
}

# check_nothing_read NAME : passes when the last run read no file at all,
# named ones included.
check_nothing_read() {
  if [ "$read_any" = 0 ]; then ok; else bad "$1: $read_any files read"; fi
}

# expect NAME STATUS CHANGED_FILES ERR_FORMAT [ERR_ARGS...]: the status, the
# count of files created or changed, the messages, with the arguments
# filled in by %s and so reproduced byte for byte, and nothing on standard
# output.
expect() {
  local name=$1 want_status=$2 want_changed=$3 format=$4
  shift 4
  # shellcheck disable=SC2059  # the format is the test's own
  printf -- "$format" "$@" >../want_err
  if [ -n "$stray" ]; then
    bad "$name: read files it was not given: $(printf '%q' "$stray")"
  elif [ "$changed" != "$want_changed" ]; then
    bad "$name: $changed files created or changed, want $want_changed" \
      "(status $status)"
    head -n 3 ../err | cat -v
  else
    compare_run "$name" "$want_status" ../empty ../want_err
  fi
}

touch -d @978307200 ../epoch  # a year after the access times set in run
# Files that no run names; reading any of them shows as a stray read.
printf 'decoy\n' >a
printf 'decoy\n' >n
printf 'decoy\n' >'%s'
printf 'a\r\nb\r\n' >../text
long=$(head -c 255 /dev/zero | tr '\0' 'n')
too_long=$(head -c 256 /dev/zero | tr '\0' 'n')
mkdir d
deep=$(for _ in $(seq 900); do printf 'd/../'; done)in.txt  # 4506 bytes
long_path=$(for c in p q r; do head -c 100 /dev/zero | tr '\0' "$c"; echo /; done | tr -d '\n')in.txt

# Names that are awkward for printf, terminals, the shell and the scanner.
names=(
  '%s%n%x%%'
  $'\xff\xfe\x80\xc3('
  $'line\nbreak'
  $'tab\there'
  ' spaced  out '
  '*?[a]'
  'back\slash'
  $'it\'s "q"'
  "$long"
  # A script outside the ANSI code pages (the output in another one), a
  # character outside the Basic Multilingual Plane, a combining mark that
  # must not be composed, and a path of more than 260 characters.
  'Привет.txt'
  'emoji-😀.txt'
  $'nai\xcc\x88ve.txt'
  "$long_path"
)
declare -A output_of=(['Привет.txt']='日本語.txt'
  ["$long_path"]="${long_path%/*}/out.txt")
mkdir -p "${long_path%/*}"
# Names that no Windows file can have: a control character, one of
# <>:"|?*, a space or a dot at the end.
windows_refuses() {
  local forbidden='[[:cntrl:]<>:"|?*]'
  [[ $1 =~ $forbidden || $1 == *[' '.] ]]
}
for n in "${names[@]}"; do
  shown=$(printf '%q' "$n")
  in=$n
  out=${output_of[$n]-o${n:1}}
  if [ "$windows" = yes ]; then
    if [[ $n == *\\* ]]; then
      skip "convert $shown" "a backslash separates directories on Windows"
      continue
    elif ! printf '%s' "$n" | iconv -f UTF-8 -t UTF-8 >/dev/null 2>&1; then
      skip "convert $shown" "Windows names are characters, and these bytes spell none"
      continue
    elif windows_refuses "$n"; then
      # Such a name still travels through the command line as a directory
      # that .. leaves again.
      in="$n/../in.txt"
      out="$n/../out.txt"
    fi
  fi
  cp ../text "${in##*/../}"
  run_boxed -u "$in" "$out"
  expect "convert $shown" 0 1 'Converting %s to %s with UNIX line breaks.\n' \
    "$in" "$out"
  same "convert $shown" "${out##*/../}" 'a\nb\n'
  run_boxed -i "$in"
  expect "identify $shown" 0 0 '%s seems to have MS-DOS line breaks.\n' "$in"
  # In place, against the absolute spelling of the same name.
  abs=$PWD/${in##*/../}
  [ "$windows" = yes ] && abs="Z:${abs//\//\\}"
  run_boxed -m "$in" "$abs"
  expect "in place $shown" 0 1 'Converting %s to %s with Mac line breaks.\n' "$in" "$abs"
  same "in place $shown" "${in##*/../}" 'a\rb\r'
  rm -f -- "${in##*/../}" "${out##*/../}"
done

# Leading dashes: reached by a path, or after --, a name is never an option.
cp ../text ./-x
run_boxed -u ./-x ./-y
expect "./-x to ./-y" 0 1 'Converting ./-x to ./-y with UNIX line breaks.\n'
rm ./-y
run_boxed -q -u -- -x -y
expect "-- -x -y" 0 1 ''
same "-- -x -y" ./-y 'a\nb\n'
cp ../text ./--
run_boxed -q -m -- -- out.txt
expect "the second -- is the input" 0 1 ''
same "-- --" out.txt 'a\rb\r'
cp ../text ./-
run_boxed -q -u ./- out.txt
expect "./- is a file, not standard input" 0 1 ''
same "./-" out.txt 'a\nb\n'
rm -f ./-x ./-y ./-- ./- out.txt

# Names the system refuses: a component over 255 bytes, a path over
# PATH_MAX, an empty name, a file taken for a directory. Each fails to open
# with the usage error, and nothing is created.
cp ../text in.txt
for bad_name in "$too_long" "$deep" "" "in.txt/"; do
  shown=$(printf '%q' "${bad_name:0:40}")
  if [ "$windows" = yes ] && [ "$bad_name" = "$deep" ]; then
    skip "input and output $shown" \
      "Windows takes out d/.. before the file system sees the path"
    continue
  fi
  run_boxed -u "$bad_name" out.txt
  head -n 2 ../err >../err2 && mv ../err2 ../err
  expect "input $shown" 1 0 'Error: error opening input file\n\n'
  run_boxed -u in.txt "$bad_name"
  head -n 2 ../err >../err2 && mv ../err2 ../err
  expect "output $shown" 1 0 'Error: error opening output file\n\n'
done

# argv[0] and option letters are printed as they are, never as a format.
# The program is started by the link's name, which an emulator passes on to
# it as argv[0].
# diagnosed_as NAME LETTER : the name in the scanner's diagnostic for a
# program started as NAME. Wine passes argv[0] as a Windows path
# (Z:\...\NAME), which has no / to cut at, so the name is all of it.
diagnosed_as() {
  local first
  first=$(head -n 1 ../err)
  first=${first%": illegal option -- $2"}
  if [ "$windows" = yes ] && [[ $first == *\\"$1" ]]; then
    printf '%s' "$first"
  else
    printf '%s' "$1"
  fi
}
ln -s "$prog" '%s%n'
stray="" changed=0
"${prefix[@]}" "./%s%n" -x <../empty >../out 2>../err
status=$?
head -n 1 ../err >../err2 && mv ../err2 ../err
expect "argv[0] with directives" 1 0 '%s: illegal option -- x\n' \
  "$(diagnosed_as '%s%n' x)"
rm -f '%s%n'
for letter in '%' $'\xff' '"'; do
  if [ "$windows" = yes ] && [ "$letter" = $'\xff' ]; then
    skip "option letter \\xff" "Windows arguments are characters, and 0xFF alone is none"
    continue
  fi
  run_boxed "-$letter"
  head -n 2 ../err >../err2 && mv ../err2 ../err
  expect "option letter $(printf '%q' "$letter")" 1 0 \
    '%s: illegal option -- %s\nError: unexpected option\n' \
    "$(diagnosed_as "$(basename "$prog")" "$letter")" "$letter"
done

# Thousands of operands and options. A Windows command line holds at most
# 32767 characters, which 5000 operands or a cluster of 100001 letters pass.
long_lines="a Windows command line holds at most 32767 characters"
extra=()
for i in $(seq 5000); do extra+=("%n$i"); done
printf 'keep\n' >out.txt
if [ "$windows" = yes ]; then
  skip "5000 operands beyond the output are refused" "$long_lines"
else
  run_boxed -q -u in.txt out.txt "${extra[@]}"
  head -n 2 ../err >../err2 && mv ../err2 ../err
  expect "5000 operands beyond the output are refused" 1 0 'Error: too many file names\n\n'
  check_nothing_read "5000 operands"
  same "5000 operands" out.txt 'keep\n'
fi
options=()
for _ in $(seq 5000); do options+=(-u -d); done
rm out.txt
run_boxed -q "${options[@]}" -m in.txt out.txt
expect "10001 options, the last wins" 0 1 ''
same "10001 options" out.txt 'a\rb\r'
cluster=-$(head -c 100000 /dev/zero | tr '\0' 'u')m
rm out.txt
if [ "$windows" = yes ]; then
  skip "a cluster of 100001 letters" "$long_lines"
  skip "5000 operands, the first missing" "$long_lines"
else
  run_boxed -q "$cluster" in.txt out.txt
  expect "a cluster of 100001 letters" 0 1 ''
  same "long cluster" out.txt 'a\rb\r'
  run_boxed -q "${extra[@]}"
  head -n 2 ../err >../err2 && mv ../err2 ../err
  expect "5000 operands, the first missing" 1 0 'Error: too many file names\n\n'
fi

finish
