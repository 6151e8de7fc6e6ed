# SPDX-License-Identifier: BSD-2-Clause
# shellcheck shell=bash
# Helpers shared by the shell tests, sourced by each of them:
#   . "$(dirname "$0")/lib.sh"
# Every test counts its cases with ok, bad and skip and ends with finish,
# which prints one closing line and gives the exit status.
set -u

passed=0
failed=0
skipped=0

# ok : a case that holds.
ok() { passed=$((passed + 1)); }

# ok_named NAME... : a case that holds, printed, so that a test of a dozen
# cases shows each one in CTest's log.
ok_named() {
  ok
  echo "ok: $*"
}

# bad NAME... : a case that fails.
bad() {
  failed=$((failed + 1))
  echo "FAIL: $*"
}

# skip NAME REASON : a case that cannot hold here, said so rather than
# passed in silence.
skip() {
  skipped=$((skipped + 1))
  echo "SKIP: $1: $2"
}

# check NAME COMMAND... : passes when the command succeeds.
check() {
  local name=$1
  shift
  if "$@"; then ok; else bad "$name"; fi
}

# skip_all REASON : the whole test cannot run here (77 is CTest's
# SKIP_RETURN_CODE for such tests).
skip_all() {
  echo "$*; skipped"
  exit 77
}

# finish : the closing line, and the status: 0 only when no case failed and
# at least one ran, so that a test that lost its cases cannot pass.
finish() {
  if [ -n "${scratch:-}" ] && [ -s "$scratch/.wine-reruns" ]; then
    cat "$scratch/.wine-reruns"
    [ -z "$wine_reruns" ] || cat "$scratch/.wine-reruns" >>"$wine_reruns"
  fi
  echo "$passed passed, $failed failed, $skipped skipped"
  [ "$failed" -eq 0 ] || exit 1
  [ $((passed + skipped)) -gt 0 ] || { echo "FAIL: no case ran"; exit 1; }
  exit 0
}

# make_scratch : a directory of the test's own in $scratch, removed on exit,
# holding an empty file "empty"; the test runs inside it.
make_scratch() {
  scratch=$(mktemp -d) || exit 2
  # shellcheck disable=SC2064  # the name is fixed now, not at exit
  trap "rm -rf '$scratch'" EXIT
  cd "$scratch" || exit 2
  : >empty
  # A Windows program that Wine failed to start, and tests/wine_run.sh
  # started again, is noted here; finish prints the notes, and adds them to
  # the notes of the whole run where there are such (.ci/wine.sh).
  wine_reruns=${EOLSWAP_WINE_RERUNS:-}
  export EOLSWAP_WINE_RERUNS=$scratch/.wine-reruns
}

# take_program [PREFIX...] PROGRAM : the program, in $prog, and what starts
# it, in $prefix (an emulator such as qemu-aarch64 -L ROOT, the 32-bit loader
# or Wine); every run is "${program[@]}" ARGS, that is "PREFIX... PROGRAM
# ARGS". Files among the words become absolute paths, since the tests run
# in their scratch directory.
take_program() {
  [ $# -ge 1 ] || { echo "usage: $0 [prefix...] program" >&2; exit 2; }
  program=("$@")
  local i
  for i in "${!program[@]}"; do
    [ -f "${program[i]}" ] && program[i]=$(realpath "${program[i]}")
  done
  # shellcheck disable=SC2034  # read by the tests
  prefix=("${program[@]:0:${#program[@]}-1}")
  prog=${program[-1]}
  # A missing program would make every case fail, and some of them wait
  # forever for a reader that never comes.
  [ -f "$prog" ] || { echo "$0: no program $prog" >&2; exit 2; }
}

# run IN ARGS... : runs the program with standard input from the file IN,
# leaving its standard output in $scratch/out, its messages in $scratch/err
# and its exit status in $status.
run() {
  local in=$1
  shift
  "${program[@]}" "$@" <"$in" >"$scratch/out" 2>"$scratch/err"
  status=$?
}

# compare_run NAME WANT_STATUS WANT_OUT WANT_ERR : passes when the last run
# left exactly this status, and standard output and messages byte for byte
# equal to the files WANT_OUT and WANT_ERR. A failure shows the first
# difference found.
compare_run() {
  local name=$1 want_status=$2 want_out=$3 want_err=$4
  if [ "$status" != "$want_status" ]; then
    bad "$name: status $status, want $want_status"
    head -5 "$scratch/err" | cat -v
  elif ! cmp -s "$scratch/out" "$want_out"; then
    bad "$name: standard output differs ($(wc -c <"$scratch/out") bytes," \
      "want $(wc -c <"$want_out"))"
    cmp "$scratch/out" "$want_out" 2>&1 | head -1
    echo "got:"; od -c "$scratch/out" | head -4
    echo "want:"; od -c "$want_out" | head -4
  elif ! cmp -s "$scratch/err" "$want_err"; then
    bad "$name: messages differ"
    diff "$want_err" "$scratch/err" | head -10 | cat -v
  else
    ok
  fi
}

# convert_model -u|-d|-m [FILE...] : the conversion the program makes, over
# the whole input at once (FILE, or standard input): CR LF, a lone CR and a
# lone LF each become the break of the style; every other byte stays.
convert_model() {
  local to
  case $1 in
    -u) to='\n' ;;
    -d) to='\r\n' ;;
    -m) to='\r' ;;
    *) echo "convert_model: no style $1" >&2; return 2 ;;
  esac
  shift
  perl -0777 -pe "s/\r\n|\r|\n/$to/g" "$@"
}
