#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Black-box runs of the program while the system fails under it: reads,
# writes, closes and allocations made to fail by a preload library, a full
# device and pipes whose reader has gone.
# Usage: fault_test.sh [PREFIX...] PROGRAM FAULT_LIBRARY, where PREFIX runs
# the program (an emulator such as qemu-aarch64 -L ROOT for a cross build);
# every run is "PREFIX... PROGRAM ARGS". NM names the nm that reads the
# program's symbols (default nm).
set -u
. "$(dirname "$0")/lib.sh"
[ $# -ge 2 ] || { echo "usage: $0 [prefix...] program fault-library" >&2; exit 2; }
lib=$(realpath "${@: -1}")
take_program "${@:1:$#-1}"
nm=${NM:-nm}
make_scratch

# The preload goes before an AddressSanitizer runtime, which then has to be
# told not to insist on coming first; the option means nothing elsewhere.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0

# The preload has to reach the program, built for the target, and not an
# emulator that runs it: qemu-user is a host program, which would refuse the
# library (and say so on standard error), so qemu is told to set LD_PRELOAD
# in the program's environment alone, right after its own name (a loader
# may follow it). A dynamic loader as the prefix is the program's own and
# takes LD_PRELOAD from the environment.
preload=(LD_PRELOAD="$lib")
runner=("${prefix[@]}")
if [ ${#prefix[@]} -gt 0 ] && [[ $(basename "${prefix[0]}") == qemu-* ]]; then
  preload=()
  runner=("${prefix[0]}" -E "LD_PRELOAD=$lib" "${prefix[@]:1}")
fi

# faulty ENV_ASSIGNMENTS OPTIONS... : runs the program under the preload on
# standard input "in" and standard output "out", with SIGPIPE at its default
# so that the program's own handling is what is tested.
faulty() {
  local assignments=$1
  shift
  # shellcheck disable=SC2086
  env --default-signal=PIPE "${preload[@]}" $assignments \
    "${runner[@]}" "$prog" "$@" <in >out 2>err
  status=$?
}

# A program that carries its own allocator (clang links its sanitizer
# runtime into the program) never calls the C library's posix_memalign, so
# the preload cannot make an allocation fail there; those cases are skipped.
alloc_faults=yes
if "$nm" -D --defined-only "$prog" 2>/dev/null | grep -qw posix_memalign; then
  alloc_faults=no
fi
own_allocator="the program defines its own posix_memalign"

# Inputs. lines.txt: 640 lines of 16 bytes, two and a half blocks, every
# block ending in LF; its reads from a file are 4096, 4096, 2048 and the
# end. crend.txt: its first block ends in CR and the LF opens the second, so
# the second read is the one-byte look-ahead.
for _ in $(seq 640); do printf 'abcdefghijklmn\r\n'; done >lines.txt
{ head -c 4095 /dev/zero | tr '\0' 'a'; printf '\r\nzz\r\n'; } >crend.txt
convert_model -u lines.txt >lines.unx
read_error='Error: error reading input file\n\n'
no_memory='Error: not enough memory\n\n'
help=$("${program[@]}" -h 2>&1)
same_file="Error: input and output are the same file\n\n${help//$'\n'/\\n}\n"
{ printf 'ab\001'; cat lines.txt; } >control.txt

# name | input | environment | options | status | output | message
#   output: in:N is the conversion of the first N input bytes, out:N the
#   first N bytes of the conversion of the whole input (lines.txt converts
#   each 4096-byte block to 3840 bytes).
while IFS='|' read -r name input env opts want_status want_out want_err; do
  [ -n "$name" ] || continue
  if [ "$alloc_faults" = no ] && [[ $env == *FAULT_ALLOC* ]]; then
    skip "$name" "$own_allocator"
    continue
  fi
  cp "$input" in
  # shellcheck disable=SC2086
  faulty "$env" $opts
  case $want_out in
    in:*) head -c "${want_out#in:}" "$input" | convert_model -u >want_out ;;
    out:*) convert_model -u "$input" | head -c "${want_out#out:}" >want_out ;;
  esac
  # shellcheck disable=SC2059  # messages are written in printf notation
  printf -- "$want_err" >want_err
  compare_run "$name" "$want_status" want_out want_err
done <<TABLE
read fails at the first read|lines.txt|FAULT_READ_FAIL_AT=1|-q -u|1|in:0|$read_error
read fails at the second block|lines.txt|FAULT_READ_FAIL_AT=2|-q -u|1|in:4096|$read_error
read fails inside a block|lines.txt|FAULT_READ_CHUNK=1000 FAULT_READ_FAIL_AT=7|-q -u|1|in:5096|$read_error
read fails at the end of the input|lines.txt|FAULT_READ_FAIL_AT=4|-q -u|1|in:10240|$read_error
read fails at the look-ahead after a CR|crend.txt|FAULT_READ_FAIL_AT=2|-q -u|1|in:4096|$read_error
interrupted read at the look-ahead after a CR|crend.txt|FAULT_READ_EINTR_AT=2|-q -u|0|in:4101|
read fails after the progress line|lines.txt|FAULT_READ_FAIL_AT=2|-u|1|in:4096|Converting - to - with UNIX line breaks.\n$read_error
-p: read fails at the first read|lines.txt|FAULT_READ_FAIL_AT=1|-q -p -u|1|in:0|$read_error
-p: read fails inside the first block|lines.txt|FAULT_READ_CHUNK=1000 FAULT_READ_FAIL_AT=3|-q -p -u|1|in:2000|$read_error
-p: read fails after the first block|lines.txt|FAULT_READ_FAIL_AT=2|-q -p -u|1|in:4096|$read_error
-i: read fails at the first read|lines.txt|FAULT_READ_FAIL_AT=1|-i|1|in:0|$read_error
-i: read fails inside the first block|lines.txt|FAULT_READ_CHUNK=1000 FAULT_READ_FAIL_AT=3|-i|1|in:0|$read_error
-p: read fails after a control byte|control.txt|FAULT_READ_CHUNK=1000 FAULT_READ_FAIL_AT=3|-q -p -u|1|in:0|$read_error
interrupted read is taken again|lines.txt|FAULT_READ_EINTR_AT=2|-q -u|0|in:10240|
reads of 7 bytes still give whole blocks|crend.txt|FAULT_READ_CHUNK=7|-q -u|0|in:4101|
write fails at the first block|lines.txt|FAULT_WRITE_FAIL_AT=1|-q -u|1|out:0|
write fails at the second block|lines.txt|FAULT_WRITE_FAIL_AT=2|-q -u|1|out:3840|
write short at the first block|lines.txt|FAULT_WRITE_SHORT_AT=1|-q -u|1|out:1920|
write short at the second block|lines.txt|FAULT_WRITE_SHORT_AT=2|-q -u|1|out:5760|
write short at the last block|lines.txt|FAULT_WRITE_SHORT_AT=3|-q -u|1|out:8640|
-p: write short at the first block|lines.txt|FAULT_WRITE_SHORT_AT=1|-q -p -u|1|out:1920|
interrupted write is taken again|lines.txt|FAULT_WRITE_EINTR_AT=2|-q -u|0|out:9600|
write taken in pieces is carried on|lines.txt|FAULT_WRITE_CHUNK=100|-q -u|0|out:9600|
closing the output fails|lines.txt|FAULT_CLOSE_FAIL_FD=1|-q -u|1|out:9600|
closing the input fails unnoticed|lines.txt|FAULT_CLOSE_FAIL_FD=0|-q -u|0|out:9600|
first block allocation fails|lines.txt|FAULT_ALLOC_FAIL_AT=1|-u|1|out:0|$no_memory
second block allocation fails|lines.txt|FAULT_ALLOC_FAIL_AT=2|-u|1|out:0|$no_memory
-p: allocation fails before the check|lines.txt|FAULT_ALLOC_FAIL_AT=2|-p -u|1|out:0|$no_memory
-i: allocation fails before the check|lines.txt|FAULT_ALLOC_FAIL_AT=1|-i|1|out:0|$no_memory
two blocks are all the run allocates|lines.txt|FAULT_ALLOC_FAIL_AT=3|-q -u|0|out:9600|
identity of the input unreadable|lines.txt|FAULT_FSTAT_FAIL_AT=1|-q -u - in|1|in:0|$same_file
identity of the input overflows|lines.txt|FAULT_FSTAT_FAIL_AT=1 FAULT_FSTAT_ERRNO=EOVERFLOW|-q -u - in|1|in:0|$same_file
TABLE

# In place (in is both operands: descriptor 3 reads it, 4 writes it, 5 is
# its folder, 6 the working file): a failure before the file changes keeps
# it as it was and leaves no file beside it; one while it is rewritten says
# where the conversion is kept, and keeps it there.
# name | environment | status | file afterwards | message (%s: kept copy)
no_copy='Error: no working copy of in can be made in its folder\n\n'
while IFS='|' read -r name env want_status want_file want_err; do
  cp lines.txt in
  # shellcheck disable=SC2086
  # Descriptors that the test itself inherited would shift the numbers.
  faulty "FAULT_IN_FD=3 $env" -q -u in in 3>&- 4>&- 5>&- 6>&-
  kept=$(find . -maxdepth 1 -name 'in.eolswap-*')
  # shellcheck disable=SC2059
  printf -- "$want_err" "$(realpath "${kept:-.}")" >want_err
  # A copy is kept exactly when the message names one, and it is whole.
  want_kept=$([[ $want_err == *%s* ]] && cat lines.unx)
  if [ "$status" != "$want_status" ] || ! cmp -s in "$want_file" ||
    ! cmp -s err want_err || [ "$(cat ${kept:-/dev/null})" != "$want_kept" ]; then
    bad "in place, $name: status $status, kept ${kept:-nothing}"; cat err
  else ok; fi
  rm -f in.eolswap-*
done <<TABLE
full disk writing the working copy|FAULT_OUT_FD=6 FAULT_WRITE_SHORT_AT=1|1|lines.txt|
read fails making the working copy|FAULT_READ_FAIL_AT=2|1|lines.txt|$read_error
working copy cannot be made durable|FAULT_FSYNC_FAIL_FD=6|1|lines.txt|$no_copy
rewritten file cannot be made durable|FAULT_FSYNC_FAIL_FD=4|1|lines.unx|Error: rewriting in failed; its converted content is kept in %s\n\n
TABLE

# Killed at each of its system calls in turn, a run leaves the old content
# or the new one whole, in the file or in a working file beside it; also
# where the working file cannot be nameless and is written as *.part.
if ! command -v strace >/dev/null || [ ${#prefix[@]} -gt 0 ]; then
  skip "in place, killed at every call" "needs strace and a native program"
elif ! strace -o /dev/null true 2>/dev/null; then
  skip "in place, killed at every call" "strace cannot trace here (ptrace not permitted)"
else
  for mode in nameless FAULT_NO_TMPFILE=1; do
    kill_run() { strace -f -E "LD_PRELOAD=$lib" -E "$mode" "$@" "$prog" -q -u in in; }
    cp lines.txt in
    kill_run -o calls.txt
    declare -A left=()
    while read -r count call; do
      for ((n = 1; n <= count; n++)); do
        cp lines.txt in; rm -f in.eolswap-*
        (kill_run -o /dev/null -e "inject=$call:signal=KILL:when=$n") 2>/dev/null
        kept=$(find . -maxdepth 1 -name 'in.eolswap-*' ! -name '*.part')
        if cmp -s in lines.txt; then what=old
        elif cmp -s in lines.unx; then what=new
        elif [ -n "$kept" ] && cmp -s "$kept" lines.unx; then what=kept
        else bad "in place ($mode), killed at $call #$n: no whole content"; what=lost; fi
        left[$what]=$((${left[$what]:-0} + 1))
      done
    done < <(sed -nE 's/^[0-9]+ +([a-z0-9_]+)\(.*/\1/p' calls.txt | sort | uniq -c)
    echo "kill points ($mode): old ${left[old]:-0}, new ${left[new]:-0}," \
      "kept beside ${left[kept]:-0}, lost ${left[lost]:-0}"
    check "in place ($mode), killed: every point walked" test "${left[old]:-0}" -gt 0
    unset left
    rm -f in.eolswap-*
  done
fi

# A failing allocation comes before the output is opened: a named output
# is neither created nor emptied.
cp lines.txt in
for at in 1 2; do
  if [ "$alloc_faults" = no ]; then
    skip "allocation $at fails: no named output created" "$own_allocator"
    skip "allocation $at fails: existing output kept" "$own_allocator"
    continue
  fi
  faulty "FAULT_ALLOC_FAIL_AT=$at" -u - new.txt
  if [ "$status" = 1 ] && [ ! -e new.txt ] && [ ! -s out ]; then ok; else
    bad "allocation $at fails: named output created or status $status"; fi
  printf 'keep' >old.txt
  faulty "FAULT_ALLOC_FAIL_AT=$at" -u - old.txt
  if [ "$status" = 1 ] && [ "$(cat old.txt)" = keep ]; then ok; else
    bad "allocation $at fails: existing output emptied or status $status"; fi
  rm -f old.txt
done

# A full device, pipes whose reader has gone and the file-size limit: status
# 1, no message, no death by SIGPIPE or SIGXFSZ (status 141 or 153 from the
# shell).
# name | command producing status.txt
plain() { env --default-signal=PIPE,XFSZ "${prefix[@]}" "$prog" "$@"; }
head -c 3000000 /dev/zero | tr '\0' '\r' >big.txt
while IFS='|' read -r name command; do
  rm -f status.txt err
  eval "$command"
  status=$(cat status.txt 2>/dev/null)
  if [ "$status" != 1 ]; then
    bad "$name: status ${status:-none}, want 1"
  elif [ -s err ]; then
    bad "$name: message printed"; head -3 err
  else
    ok
  fi
done <<'TABLE'
full device as standard output|{ plain -q -u <lines.txt >/dev/full 2>err; echo $? >status.txt; }
full device as named output|{ plain -q -u lines.txt /dev/full 2>err; echo $? >status.txt; }
full device with -p|{ plain -q -p -u lines.txt /dev/full 2>err; echo $? >status.txt; }
reader gone before the first write|{ plain -q big.txt 2>err; echo $? >status.txt; } | true
reader gone after some blocks|{ plain -q -u big.txt 2>err; echo $? >status.txt; } | head -c 10000 >/dev/null
file-size limit with a named output|( ulimit -f 8; plain -q -u big.txt limited.txt 2>err; echo $? >status.txt )
file-size limit with standard output|( ulimit -f 8; plain -q -u big.txt >limited.txt 2>err; echo $? >status.txt )
help on a full device|{ plain -h 2>/dev/full; echo $? >status.txt; }
version with standard error closed|{ plain -v 2>&-; echo $? >status.txt; }
-i report on a full device|{ plain -i lines.txt 2>/dev/full; echo $? >status.txt; }
TABLE

# Without /dev/null (a sandbox whose /dev is empty) a closed standard
# descriptor cannot be held. Still no file the program opens takes its
# number, so a message is lost rather than written into the output, and a
# closed standard output is no file that could be the input.
no_dev_null() {
  env "${preload[@]}" FAULT_OPEN_ABSENT=/dev/null \
    "${runner[@]}" "$prog" "$@"
}
rm -f new.txt
no_dev_null -u - new.txt <lines.txt 2>&-
status=$?
if [ "$status" = 0 ] && cmp -s new.txt lines.unx; then ok; else
  bad "no /dev/null, standard error closed: status $status, output starts" \
    "$(head -c 30 new.txt | cat -v)"; fi
no_dev_null -u <lines.txt >&- 2>err
status=$?
if [ "$status" = 1 ] && [ "$(cat err)" = "Converting - to - with UNIX line breaks." ]; then
  ok; else bad "no /dev/null, standard output closed: status $status"; head -3 err; fi
rm -f new.txt
no_dev_null -u - new.txt <lines.txt >&- 2>&-
status=$?
if [ "$status" = 0 ] && cmp -s new.txt lines.unx; then ok; else
  bad "no /dev/null, standard output and error closed: status $status," \
    "output starts $(head -c 30 new.txt | cat -v)"; fi
no_dev_null -u lines.txt >&- 2>err
status=$?
if [ "$status" = 1 ] && [ "$(cat err)" = "Converting lines.txt to - with UNIX line breaks." ]; then
  ok; else bad "no /dev/null, standard output closed, named input: status $status"; head -3 err; fi

# The bytes that fit under the limit (8 KiB) are the start of the conversion.
for route in named standard; do
  rm -f limited.txt
  if [ "$route" = named ]; then
    (ulimit -f 8; plain -q -u big.txt limited.txt 2>/dev/null)
  else
    (ulimit -f 8; plain -q -u big.txt >limited.txt 2>/dev/null)
  fi
  if cmp -s limited.txt <(head -c 8192 big.txt | convert_model -u); then ok; else
    bad "file-size limit, $route output: $(wc -c <limited.txt) bytes kept, want 8192"; fi
done

# The bytes the reader took before it went are the start of the conversion.
{ plain -q -u lines.txt 2>err; echo $? >status.txt; } | head -c 5000 >out
if cmp -s out <(head -c 5000 lines.unx); then ok; else
  bad "reader gone: bytes before differ"; fi

finish
