#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Black-box tests of the built program: bytes in; bytes, messages and exit
# status out. Usage: cli_test.sh [PREFIX...] PROGRAM, where PREFIX runs it
# (for instance wine64 for a Windows build); every run is
# "PREFIX... PROGRAM ARGS".
set -u
. "$(dirname "$0")/lib.sh"
take_program "$@"
make_scratch

# A Windows program (.exe), and whether it runs under Wine.
windows=no
wine=no
case $prog in *.exe) windows=yes ;; esac
[ ${#prefix[@]} -ge 1 ] && case $(basename "${prefix[0]}") in wine*) wine=yes ;; esac

# expect NAME WANT_STATUS WANT_OUT_PRINTF WANT_ERR_PRINTF [ERR_ARGS...]
expect() {
  local name=$1 want_status=$2 want_out=$3 want_err=$4
  shift 4
  # shellcheck disable=SC2059  # the bytes are written in printf notation
  printf -- "$want_out" >want_out
  # shellcheck disable=SC2059
  printf -- "$want_err" "$@" >want_err
  compare_run "$name" "$want_status" want_out want_err
}

name=$(basename "$prog")
help="Usage: eolswap [options] infile [outfile]
Where: infile =  name of input file
       outfile = name of output file
       Use '-' for stdin or stdout, respectively.
Options:
  -d = convert to M\$DOS line breaks (CR/LF)
  -m = convert to Mac   line breaks (CR)
  -u = convert to UNIX  line breaks (LF)
  -i = only identify input file type
  -p = verify that input file is plain text
  -q = suppress \"Converting...\" message
  -v = display version info
  -h = display this help message

"
# The attribution line's wording is free; everything before it is fixed.
run empty -h
head -n -1 err >err.head && mv err.head err
check "help ends with one attribution line" test "$(wc -l <err)" -eq 14
expect "help" 0 "" "%s" "$help"
run empty -H -x
head -n -1 err >err.head && mv err.head err
expect "-H is help and ends the run" 0 "" "%s" "$help"
run empty -h -v
check "help wins when first" grep -q '^Usage:' err
check "help wins when first (no version)" test "$(grep -c '^eolswap version' err)" -eq 0

run empty -v -h
expect "version" 0 "" "eolswap version 0.6\n"
run empty -qv
expect "version in a cluster" 0 "" "eolswap version 0.6\n"

for letter in x D; do
  run empty -u -$letter in.txt
  head -n -1 err >err.head && mv err.head err
  diag_name=$name
  if [ "$windows" = yes ]; then
    # The diagnostics name the program by argv[0] after its last '/'. On
    # Windows argv[0] may be a full path with backslashes (Wine passes
    # Z:\...\eolswap.exe), so the name is all of it: no '/', ending in the
    # file name.
    first=$(head -n 1 err)
    diag_name=${first%": illegal option -- $letter"}
    case $diag_name in
      */*) bad "diagnostic name keeps a /: $diag_name" ;;
      "$name" | *\\"$name") ok ;;
      *) bad "diagnostic name is not argv[0]: $diag_name" ;;
    esac
  fi
  expect "unknown option -$letter" 1 "" "%s: illegal option -- $letter\nError: unexpected option\n\n%s" \
    "$diag_name" "$help"
done
check "no file touched by a usage error" test ! -e in.txt

# Conversions from standard input to standard output.
# name | options | input | output (printf notation)
while IFS='|' read -r cname opts input want; do
  printf "$input" >in.bin
  # shellcheck disable=SC2086
  run in.bin -q $opts
  expect "$cname" 0 "$want" ""
done <<'TABLE'
default is DOS|| a\nb\rc\r\nd| a\r\nb\r\nc\r\nd
to UNIX|-u|a\r\nb\rc\nd\n\r|a\nb\nc\nd\n\n
to Mac|-m|a\r\nb\rc\nd\r\r\n|a\rb\rc\rd\r\r
last style wins (-u -m)|-u -m|a\nb\r\n|a\rb\r
last style wins (-m -u)|-m -u|a\rb\r\n|a\nb\n
cluster|-mud|a\nb|a\r\nb
LF CR is two breaks|-u|x\n\ry|x\n\ny
CR CR LF is two breaks|-u|\r\r\n|\n\n
CR as last byte|-u|end\r|end\n
DOS already|-d|a\r\n\r\nb\r\n|a\r\n\r\nb\r\n
other bytes untouched|-u|\000\f\v\032\200\377|\000\f\v\032\200\377
empty input|-u||
--help ends the options|--help|a\n|a\r\n
TABLE

# All 256 byte values, each followed by a marker.
all=$(for i in $(seq 0 255); do printf '\\%03o.' "$i"; done)
printf "$all" >all.bin
run all.bin -q -u
convert_model -u all.bin >want_out
compare_run "256 byte values to UNIX" 0 want_out empty

# Byte-exact conversions through every way a stream can be given: named
# files, redirections and pipes, each against the model of the conversion.
repeat() { head -c "$2" /dev/zero | tr '\0' "$1"; }
# Breaks on the block boundaries: CR|LF at 4096, CR|x at 8192, LF|CR LF at
# 12288.
{ repeat a 4095; printf '\r\n'; repeat b 4094; printf '\rx'; repeat c 4094
  printf '\n\r\nend'; } >split.bin
# 0x1A, the end-of-file mark of text mode, first, inside and last; NUL bytes.
printf '\032one\r\n\032\r\ntwo\032\032\n\000\r\000\n\000\000\r\032' >ctrlz.bin
for payload in all.bin split.bin ctrlz.bin; do
  for opt in -u -d -m; do
    convert_model "$opt" "$payload" >want
    for route in named redirected piped file-to-pipe pipe-to-file; do
      rm -f out
      case $route in
        named) "${program[@]}" -q "$opt" "$payload" out 2>err; status=$? ;;
        redirected) "${program[@]}" -q "$opt" <"$payload" >out 2>err; status=$? ;;
        piped)
          cat "$payload" | "${program[@]}" -q "$opt" 2>err | cat >out
          status=${PIPESTATUS[1]} ;;
        file-to-pipe)
          "${program[@]}" -q "$opt" "$payload" - 2>err | cat >out
          status=${PIPESTATUS[0]} ;;
        pipe-to-file)
          cat "$payload" | "${program[@]}" -q "$opt" - out 2>err
          status=${PIPESTATUS[1]} ;;
      esac
      compare_run "$payload $opt $route" 0 want empty
    done
  done
done

# Progress line and operands.
printf 'a\nb\n' >in.txt
run empty
expect "progress line on standard streams" 0 "" "Converting - to - with DOS line breaks.\n"
run in.txt -m in.txt out.txt
expect "progress line with names" 0 "" "Converting in.txt to out.txt with Mac line breaks.\n"
check "named output written" cmp -s out.txt <(printf 'a\rb\r')
run in.txt - -
expect "dash dash are the standard streams" 0 "a\r\nb\r\n" "Converting - to - with DOS line breaks.\n"
run empty in.txt -u
expect "an option after an operand is the output" 0 "" "Converting in.txt to -u with DOS line breaks.\n"
check "file named -u holds DOS text" cmp -s ./-u <(printf 'a\r\nb\r\n')

# More than two operands is a usage error, found before anything is opened;
# options that end the run still do so where they stand, before the count.
# name | arguments | messages: too-many, help or version
printf 'keep\n' >kept.txt
while IFS='|' read -r cname args want; do
  # shellcheck disable=SC2086
  run in.txt $args
  case $want in
    too-many)
      head -n -1 err >err.head && mv err.head err
      expect "$cname" 1 "" "Error: too many file names\n\n%s" "$help" ;;
    help)
      head -n -1 err >err.head && mv err.head err
      expect "$cname" 0 "" "%s" "$help" ;;
    version) expect "$cname" 0 "" "eolswap version 0.6\n" ;;
  esac
done <<'TABLE'
an option after the file names|-q in.txt kept.txt -u|too-many
three file names|-u in.txt kept.txt new3.txt|too-many
three standard streams|- - -|too-many
three file names after --|-u -- in.txt kept.txt new3.txt|too-many
-h after two file names is a third one|in.txt kept.txt -h|too-many
-h before three file names|-u -h in.txt kept.txt new3.txt|help
-v before three file names|-v in.txt kept.txt new3.txt|version
TABLE
check "too many file names: the second is left alone" cmp -s kept.txt <(printf 'keep\n')
check "too many file names: no file created" test ! -e new3.txt
printf 'old content that is longer\n' >long.txt
run empty -q -u in.txt long.txt
check "existing output is emptied first" cmp -s long.txt <(printf 'a\nb\n')
run empty -q -u in.txt -
expect "single dash output" 0 "a\nb\n" ""


# Standard descriptors closed by the caller stay closed to the program: no
# file it opens takes their numbers, so no message reaches an output file;
# a read of a closed standard input fails, and so does every write to a
# closed standard output.
# name | descriptors closed | standard input | arguments | status |
#   out.txt afterwards (printf notation; ! for none) | messages (printf)
printf 'a\r\nb\r\n' >dos.txt
read_failed='Error: error reading input file\n\n'
if [ "$windows" = yes ]; then
  skip "closed standard descriptors" \
    "under Wine a run with every standard descriptor closed waits forever"
else
  while IFS='|' read -r cname closed input args want_status want_file want_err; do
    rm -f out.txt
    closing=""
    for ((i = 0; i < ${#closed}; i++)); do closing+=" ${closed:i:1}>&-"; done
    # shellcheck disable=SC2086
    eval '"${program[@]}" $args <"$input" >out 2>err'"$closing"
    status=$?
    expect "closed $closed: $cname" "$want_status" "" "$want_err"
    if [ "$want_file" = "!" ]; then
      check "closed $closed: $cname: no output file" test ! -e out.txt
    else
      check "closed $closed: $cname: output holds the conversion alone" \
        cmp -s out.txt <(printf "$want_file")
    fi
  done <<TABLE
files named|0|dos.txt|-u dos.txt out.txt|0|a\nb\n|Converting dos.txt to out.txt with UNIX line breaks.\n
files named|1|dos.txt|-u dos.txt out.txt|0|a\nb\n|Converting dos.txt to out.txt with UNIX line breaks.\n
files named|2|dos.txt|-u dos.txt out.txt|0|a\nb\n|
files named|012|dos.txt|-u dos.txt out.txt|0|a\nb\n|
standard input as the input|2|dos.txt|-u - out.txt|0|a\nb\n|
standard input as the input|12|dos.txt|-u - out.txt|0|a\nb\n|
standard input read|0|dos.txt|-q -u|1|!|$read_failed
standard input identified|0|dos.txt|-i|1|!|$read_failed
standard input checked|0|dos.txt|-q -p|1|!|$read_failed
standard input to a file|0|dos.txt|-u - out.txt|1||Converting - to out.txt with UNIX line breaks.\n$read_failed
standard input to a file, checked|0|dos.txt|-q -p -u - out.txt|1||$read_failed
standard output written|1|dos.txt|-u dos.txt|1|!|Converting dos.txt to - with UNIX line breaks.\n
standard output written from standard input|1|dos.txt|-q -u|1|!|
standard output written after the check|1|dos.txt|-q -p|1|!|
all three, standard streams|012|dos.txt|-q -u|1|!|
TABLE
  # A pipe on standard input, the form in which the output file would be
  # the first to take descriptor 2.
  printf 'a\n' | "${program[@]}" -u - out.txt 2>&-
  check "closed 2: piped input: output holds the conversion alone" \
    cmp -s out.txt <(printf 'a\n')
fi

# Inputs and outputs that cannot be used.
run empty -u missing.txt new.txt
head -n -1 err >err.head && mv err.head err
expect "missing input" 1 "" "Error: error opening input file\n\n%s" "$help"
check "missing input creates no output" test ! -e new.txt
mkdir dir
run empty dir new.txt
head -n -1 err >err.head && mv err.head err
expect "directory as input" 1 "" "Error: error opening input file\n\n%s" "$help"
check "directory input creates no output" test ! -e new.txt
run dir -q
expect "directory on standard input" 1 "" "Error: error reading input file\n\n"
run empty -q in.txt dir/
head -n -1 err >err.head && mv err.head err
expect "output cannot be opened" 1 "" "Error: error opening output file\n\n%s" "$help"
run empty -i in.txt never.txt
check "-i never opens the output" test ! -e never.txt
run empty -i in.txt never.txt
expect "-i is not silenced by -q" 0 "" "in.txt seems to have UNIX line breaks.\n"

# Two names of one regular file, however spelt: the file is converted where
# it lies and stays the same file, links and all.
printf 'keep\r\nme\r\n' >f.txt
ln f.txt hard.txt
ln -s f.txt sym.txt
mkdir sub
abs=$scratch/f.txt
[ "$windows" = yes ] && abs="Z:${abs//\//\\}"
inode=$(ls -i f.txt)
for args in "f.txt f.txt" "f.txt ./f.txt" "f.txt hard.txt" "sym.txt f.txt" \
  "f.txt sym.txt" "sub/../f.txt f.txt" "f.txt $abs"; do
  style=-m && [ "$(head -c 5 f.txt)" = $'keep\r' ] && style=-u
  # shellcheck disable=SC2086
  run empty $style $args
  # shellcheck disable=SC2086
  set -- $args
  printf 'keep\nme\n' | convert_model $style >want.txt
  check "in place: $args converts" cmp -s f.txt want.txt
  expect "in place: $args" 0 "" "Converting %s to %s with %s line breaks.\n" "$1" "$2" \
    "$([ $style = -u ] && echo UNIX || echo Mac)"
done
check "in place keeps the file" test "$(ls -i f.txt)" = "$inode" -a -L sym.txt
check "in place keeps the hard link" cmp -s f.txt hard.txt
check "in place leaves no file beside" test "$(ls | grep -c eolswap)" = 0
# A file already in the target form is not written at all.
touch -d @946684800 f.txt
run empty "$style" f.txt f.txt
check "in place, nothing to change: untouched" test "$(stat -c %Y f.txt)" = 946684800 -a "$status" = 0

# Streams that the shell opened onto the input leave no name to work on.
same="Error: input and output are the same file\n\n%s"
printf 'keep\r\nme\r\n' >f.txt
if [ "$wine" = yes ]; then
  # Wine makes the standard handles of a program started from a Unix shell
  # out of the shell's descriptors; such a handle has no volume, so the
  # volume serial and file index that identify a file cannot be had for it.
  skip "same file through redirections" "Wine gives standard handles inherited from a Unix shell no file identity"
else
  for redirection in "f.txt >>f.txt" "<f.txt >>f.txt" "- f.txt <f.txt" "f.txt - 1<>f.txt"; do
    eval "\"\${program[@]}\" -u $redirection 2>err"; status=$?
    check "same file: $redirection" test "$status" = 1
  done
fi
check "same file keeps every byte" cmp -s f.txt <(printf 'keep\r\nme\r\n')

# A file that cannot be opened for writing is refused as an output that
# cannot be opened, and left as it is. Even root cannot write a program that
# is running; a file of mode 0444 stops every other user.
no_open="Error: error opening output file\n\n%s"
cp "$(command -v sleep)" running
./running 30 &
running_pid=$!
if kill -0 "$running_pid" 2>/dev/null; then
  ln -s running running.link
  run empty -u running running.link
  head -n -1 err >err.head && mv err.head err
  expect "in place: a running program" 1 "" "$no_open" "$help"
  kill "$running_pid"
  wait "$running_pid" 2>/dev/null
  check "in place: the running program is untouched" cmp -s running "$(command -v sleep)"
else
  skip "in place: a running program" "programs cannot be run from $scratch"
fi
printf 'keep\r\n' >ro.txt
chmod 444 ro.txt
mkdir locked
printf 'keep\r\n' >locked/rw.txt
chmod 666 locked/rw.txt
as_user=()
[ "$(id -u)" = 0 ] && command -v setpriv >/dev/null &&
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
if [ "$wine" = yes ]; then
  skip "in place: read-only file and folder" "the Wine prefix can only be used by its owner"
elif [ "$(id -u)" = 0 ] && [ ${#as_user[@]} = 0 ]; then
  skip "in place: read-only file and folder" "root writes any file, and setpriv is missing"
else
  # The other user runs a copy of the program in the scratch directory: the
  # build may lie where only its owner can reach it (a clone under /root),
  # and an emulator started as that user could not open it there.
  chmod 755 "$scratch"
  cp "$prog" own-copy
  chmod 755 own-copy
  if "${as_user[@]}" test -x own-copy; then
    "${as_user[@]}" "${prefix[@]}" ./own-copy -u ro.txt ro.txt <empty >out 2>err
    status=$?
    head -n -1 err >err.head && mv err.head err
    expect "in place: a read-only file" 1 "" "$no_open" "$help"
    check "in place: the read-only file is untouched" cmp -s ro.txt <(printf 'keep\r\n')
    "${as_user[@]}" "${prefix[@]}" ./own-copy -q -u locked/rw.txt locked/rw.txt <empty >out 2>err
    status=$?
    expect "in place: a folder that takes no new file" 1 "" \
      "Error: no working copy of locked/rw.txt can be made in its folder\n\n"
    check "in place: the file in that folder is untouched" cmp -s locked/rw.txt <(printf 'keep\r\n')
  else
    skip "in place: read-only file and folder" "another user cannot reach $scratch"
  fi
fi
"${program[@]}" -q /dev/null /dev/null 2>err; status=$?
check "/dev/null as both is fine" test "$status" = 0
# A block device named twice would be overwritten while it is read, through
# whichever of its nodes: here a loop device and a second node of it.
{ repeat x 8190; printf '\r\n'; } >disk.img
loop=""
if [ "$windows" = no ] && [ "$(id -u)" = 0 ]; then
  loop=$(losetup -f --show disk.img 2>/dev/null)
  # shellcheck disable=SC2046  # the major and the minor number, two words
  [ -n "$loop" ] && mknod disk.node b $(stat -c '%Hr %Lr' "$loop") 2>/dev/null
fi
# A loop device is its backing file, and a partition lies inside its whole
# disk (here a loop device over an image with two partitions, 64 and 640 to
# 1151 of its sectors); two partitions apart may be read and written.
le32() { for s in 0 8 16 24; do printf '\\x%02x' $(($1 >> s & 255)); done; }
{ head -c 446 /dev/zero; for p in 64 640; do printf "\\0\\0\\0\\0\\x83\\0\\0\\0$(le32 $p)$(le32 512)"; done
  head -c 32 /dev/zero; printf '\x55\xaa'; head -c 1048064 /dev/zero; } >parts.img
disks=""
[ -n "$loop" ] && disks=$(losetup -f --show -P parts.img 2>/dev/null)
[ -n "$disks" ] && { [ -b "${disks}p2" ] || partx -a "$disks" 2>/dev/null; }
if [ -n "$loop" ] && [ -b disk.node ] && [ -b "${disks}p2" ]; then
  for args in "$loop disk.node" "$loop disk.img" "disk.img $loop" "${disks}p1 $disks" \
      "$disks ${disks}p2" "${disks}p1 parts.img"; do
    # shellcheck disable=SC2086
    run empty -u $args
    head -n -1 err >err.head && mv err.head err
    expect "same file: block devices $args" 1 "" "$same" "$help"
  done
  check "same file: the backing file is untouched" test "$(tr -d x <disk.img)" = $'\r'
  run empty -q -u "${disks}p1" "${disks}p2"
  expect "two partitions apart" 0 "" ""
else
  skip "same file: block devices" "loop devices need root and a system that has them"
fi
[ -n "$loop" ] && losetup -d "$loop"
[ -n "$disks" ] && losetup -d "$disks"

# Failing writes: a status, no message, never death by a signal.
if [ -w /dev/full ]; then
  run in.txt -q - /dev/full
  expect "full device" 1 "" ""
fi
head -c 3000000 /dev/zero | tr '\0' '\n' >big.txt
status=$( { "${program[@]}" -q big.txt 2>err; echo $? >status.txt; } | head -c 1 >/dev/null; cat status.txt)
check "reader gone: status 1" test "$status" = 1
check "reader gone: no message" test ! -s err

# A pipe that delivers small chunks with pauses; a CR ends the first block
# and its LF opens the second.
chunked() {
  head -c 4095 /dev/zero | tr '\0' 'a' >chunk.bin
  printf '\r' >>chunk.bin
  split -b 1000 chunk.bin part.
  for p in part.*; do cat "$p"; sleep 0.05; done
  printf '\nz\r\n'
}
chunked | "${program[@]}" -q -u >out 2>err; status=$?
{ head -c 4095 /dev/zero | tr '\0' 'a'; printf '\nz\n'; } >want_out
check "slow pipe: one break across the block boundary" cmp -s out want_out
rm -f part.*

# Pipes in non-blocking mode, as some runtimes hand them to their children:
# a read or a write that would wait is waited for, with the bytes and status
# of a blocking pipe. perl puts the pipe it shares with the program into that
# mode, then becomes the program; standard error it fills up first with
# bytes 0x01, so that the program's first message finds the pipe full.
nonblocking() {
  perl -MFcntl -e '
    my $which = shift;
    my $fh = $which eq "in" ? \*STDIN : $which eq "out" ? \*STDOUT : \*STDERR;
    fcntl($fh, F_SETFL, fcntl($fh, F_GETFL, 0) | O_NONBLOCK) or die "fcntl: $!";
    if ($which eq "err") { 1 while syswrite(STDERR, "\x01" x 4096) }
    exec { $ARGV[0] } @ARGV or die "exec: $!";' "$@"
}
yes $'abc\r' | head -n 40000 >many.txt
if [ "$windows" = yes ]; then
  skip "non-blocking pipes" "Windows descriptors have no non-blocking mode"
else
  for opts in "-q -u" "-q -p -u"; do
    # shellcheck disable=SC2086
    chunked | nonblocking in "${program[@]}" $opts >out 2>err
    status=${PIPESTATUS[1]}
    expect "non-blocking input, slow writer ($opts)" 0 \
      "$(head -c 4095 /dev/zero | tr '\0' 'a')\nz\n" ""
    # shellcheck disable=SC2086
    nonblocking out "${program[@]}" $opts many.txt 2>err | { sleep 0.3; cat; } >out
    status=${PIPESTATUS[0]}
    convert_model -u many.txt >want
    check "non-blocking output, slow reader ($opts): status" test "$status" = 0
    check "non-blocking output, slow reader ($opts): bytes" cmp -s out want
    check "non-blocking output, slow reader ($opts): no message" test ! -s err
  done
  for opts in -h -v "-i many.txt" "-u many.txt out.txt" "-u missing.txt"; do
    # shellcheck disable=SC2086
    "${program[@]}" $opts >out 2>want_err; want_status=$?
    # shellcheck disable=SC2086
    nonblocking err "${program[@]}" $opts 2>&1 >out | { sleep 0.3; tr -d '\001'; } >err
    status=${PIPESTATUS[0]}
    compare_run "non-blocking standard error, full pipe ($opts)" "$want_status" empty want_err
  done
  # Each read of a packet socket, or of a pipe in packet mode, takes one
  # packet and drops what does not fit: refused before anything is written.
  for type in SOCK_SEQPACKET SOCK_DGRAM O_DIRECT; do
    perl -MSocket -MFcntl -e '
      my $t = shift;
      ($t eq "O_DIRECT" ? pipe($b, $a) && fcntl($a, F_SETFL, O_DIRECT) &&
        fcntl($b, F_SETFL, O_DIRECT) : socketpair($b, $a, AF_UNIX,
        $t eq "SOCK_DGRAM" ? SOCK_DGRAM : SOCK_SEQPACKET, 0)) or die "$t: $!";
      syswrite($a, "x" x 3000) for 1..3; syswrite($a, ""); close $a;
      open(STDIN, "<&", $b) or die; exec @ARGV or die' "$type" "${program[@]}" -q -u >out 2>err
    status=$?
    expect "packets on standard input ($type)" 1 "" "$read_failed"
  done
fi

# The first-block check: -i reports, -p refuses input that is not text.
# name | options | input | status | report (printf notation; %s is the name)
while IFS='|' read -r cname opts input want_status report; do
  printf "$input" >check.bin
  # shellcheck disable=SC2086
  run empty $opts check.bin never.txt
  expect "$cname (named)" "$want_status" "" "${report//%s/check.bin}"
  # shellcheck disable=SC2086
  run check.bin $opts
  expect "$cname (stdin)" "$want_status" "" "${report//%s/-}"
done <<'TABLE'
-i nothing in an empty input|-i||0|
-i one NUL byte is never examined|-i|\000|0|
-i break as last byte is not seen|-i|abc\n|0|
-i DOS then UNIX|-i|a\r\nb\nc|0|%s seems to have MS-DOS line breaks.\n%s seems to have UNIX line breaks.\n
-i blank DOS lines|-i|\r\n\r\nx|0|%s seems to have MS-DOS line breaks.\n
-i CR CR LF|-i|\r\r\nx|0|%s seems to have MS-DOS line breaks.\n%s seems to have Mac line breaks.\n
-i LF CR|-i|a\n\rb|0|%s seems to have unknown line breaks.\n
-i all four in fixed order|-i|a\n\rb\nc\rd\r\ne|0|%s seems to have MS-DOS line breaks.\n%s seems to have Mac line breaks.\n%s seems to have UNIX line breaks.\n%s seems to have unknown line breaks.\n
-i NUL first|-i|\000ab|2|%s seems to be no text file (0).\n
-i escape at 10 hides earlier breaks|-i|a\r\nbcdefgh\033jk\n|2|%s seems to be no text file (10).\n
-p refuses 0x1A|-p -u|ab\032cd|2|%s seems to be no text file (2).\n
-i -p is -i|-p -i|a\rb|0|%s seems to have Mac line breaks.\n
-i -q still reports|-qi|a\rb|0|%s seems to have Mac line breaks.\n
TABLE
check "check never opens the output" test ! -e never.txt

printf 'one\rtwo\r\n\x80\xff\t\f' >text.bin
run text.bin -p -u - out.txt
expect "-p on text converts and prints only the progress line" 0 "" \
  "Converting - to out.txt with UNIX line breaks.\n"
check "-p on text converts every byte" cmp -s out.txt <(printf 'one\ntwo\n\x80\xff\t\f')
run empty -q -p -u text.bin
expect "-p on a named text file" 0 "one\ntwo\n\x80\xff\t\f" ""

# A control byte beyond the first block, or as its 4096th byte, is not seen.
{ head -c 4095 /dev/zero | tr '\0' 'a'; printf '\001bc\002'; } >late.bin
run late.bin -q -p -u
check "-p does not see a control byte at 4096" cmp -s out late.bin

# -p converts from where the input was handed over, not from offset 0.
printf '0123456789abcdef\r\nend' >partial.bin
{ dd bs=10 count=1 of=/dev/null 2>/dev/null; "${program[@]}" -q -p -u >out 2>err; } <partial.bin
check "-p starts where the caller left standard input" cmp -s out <(printf 'abcdef\nend')

# -p and -i through a pipe fed in small chunks: the block the check read
# is converted once, whole, and a CR ending it still pairs with the LF after.
chunked | "${program[@]}" -q -p -u >out 2>err; status=$?
check "-p through a slow pipe keeps every byte once" \
  cmp -s out <(head -c 4095 /dev/zero | tr '\0' 'a'; printf '\nz\n')
{ printf 'a\r\n'; sleep 0.1; printf 'b\nc'; } | "${program[@]}" -i >out 2>err
check "-i through a slow pipe reads a full first block" \
  cmp -s err <(printf -- '- seems to have MS-DOS line breaks.\n- seems to have UNIX line breaks.\n')
# A named FIFO as the input operand cannot be set back either.
if mkfifo fifo 2>/dev/null; then
  chunked >fifo &
  "${program[@]}" -q -p -u fifo >out 2>err
  # A program that never opened the FIFO would leave the writer waiting for
  # a reader forever; opening it here (read-write, which never waits) lets
  # the writer go.
  : 3<>fifo
  wait
  check "-p on a named FIFO keeps every byte once" \
    cmp -s out <(head -c 4095 /dev/zero | tr '\0' 'a'; printf '\nz\n')
fi
{ printf 'ab'; sleep 0.1; printf '\000cd'; } | "${program[@]}" -p -u >out 2>err; status=$?
check "-p through a pipe sees a control byte in a later chunk" test "$status" = 2
check "-p refusal prints only the finding" cmp -s err <(printf -- '- seems to be no text file (2).\n')
check "-p refusal writes nothing" test ! -s out
# A writer that pauses after 4095 bytes: the block still waits for the
# 4096th byte, against which the control byte at 4094 is judged.
{ repeat a 4094; printf '\001'; sleep 0.5; printf xyz; } |
  "${program[@]}" -q -p -u >out 2>err
check "-p through a pipe that pauses after 4095 bytes" test "${PIPESTATUS[1]}" = 2
finish
