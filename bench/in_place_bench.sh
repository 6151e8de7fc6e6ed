#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Converting a file in place against converting it into a new file.
#
#   bench/in_place_bench.sh [path/to/eolswap]      (default: build/eolswap)
#
# Environment: RUNS (timed pairs per case, default 7), SIZE_MIB (file size,
# default 256), TMPDIR (where the files go; a disk, not tmpfs, for fsync to
# mean anything).
#
# Cases, each eolswap -q -u:
#   changed    a DOS file in place, against a new file made durable with
#              sync FILE (in place promises durability), and against a plain
#              new file without sync;
#   unchanged  a UNIX file in place (nothing is written), against a plain
#              new file without sync.
# Every in-place run gets a fresh copy of the input, and every new file is
# deleted before its run; both untimed, followed by sync. The commands of a
# pair alternate in order between pairs. Ratios are in place / reference;
# lower is better.
set -euo pipefail

prog=$(realpath "${1:-build/eolswap}")
runs=${RUNS:-7}
size_mib=${SIZE_MIB:-256}
export LC_ALL=C

[ -x "$prog" ] || { echo "no program at $prog" >&2; exit 1; }
command -v python3 >/dev/null || { echo "python3 is needed" >&2; exit 1; }
tmp=$(mktemp -d "${TMPDIR:-/tmp}/eolswap-bench.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
echo "program: $prog"
echo "files: $size_mib MiB in $tmp ($(stat -f -c %T .)); $runs timed pairs per case"

# Lines of 0 to 120 printable bytes: an 8 MiB unit, repeated.
python3 - "$size_mib" <<'PY'
import random, sys
size = int(sys.argv[1]) << 20
rng = random.Random(1)
printable = bytes(0x20 + b % 95 for b in range(256))
noise = rng.randbytes(8 << 20).translate(printable)
parts, used, at = [], 0, 0
while used < min(size, 8 << 20):
    n = rng.getrandbits(7) % 121
    parts.append(noise[at:at + n] + b"\r\n")
    at = (at + n) % ((8 << 20) - 128)
    used += n + 2
unit = b"".join(parts)[: min(size, 8 << 20)]
dos = unit * (size // len(unit)) + unit[: size % len(unit)]
open("dos.txt", "wb").write(dos)
open("unix.txt", "wb").write(dos.replace(b"\r\n", b"\n"))
PY
"$prog" -q -u dos.txt want.txt
cmp unix.txt want.txt
cp dos.txt work.txt && "$prog" -q -u work.txt work.txt && cmp work.txt want.txt
cp unix.txt same.txt && "$prog" -q -u same.txt same.txt && cmp same.txt want.txt
rm -f want.txt
echo "checked: in place gives the conversion into a new file"
sync

now() { echo "${EPOCHREALTIME/./}"; }  # microseconds, no process started
median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

# Each prepares untimed, then prints the microseconds of the timed command.
in_place() {  # input
  cp "$1" work.txt && sync
  local t0; t0=$(now); "$prog" -q -u work.txt work.txt; echo $(($(now) - t0))
}
new_file() {  # input [sync]
  rm -f out.txt && sync
  local t0; t0=$(now); "$prog" -q -u "$1" out.txt
  [ $# -lt 2 ] || sync out.txt
  echo $(($(now) - t0))
}

printf '%-24s %12s %14s %8s\n' case "in place ms" "reference ms" ratio
row() {  # label input reference...
  local label=$1 input=$2 a b
  shift 2
  : >a.txt; : >b.txt; : >r.txt
  for ((r = 0; r < runs; r++)); do
    if ((r % 2 == 0)); then a=$(in_place "$input"); b=$("$@"); else b=$("$@"); a=$(in_place "$input"); fi
    echo "$a" >>a.txt; echo "$b" >>b.txt
    awk -v a="$a" -v b="$b" 'BEGIN {print a / b}' >>r.txt
  done
  printf '%-24s %12.1f %14.1f %8.3f\n' "$label" "$(median <a.txt | awk '{print $1 / 1000}')" \
    "$(median <b.txt | awk '{print $1 / 1000}')" "$(median <r.txt)"
}
row "changed / durable new" dos.txt new_file dos.txt sync
row "changed / plain new" dos.txt new_file dos.txt
row "unchanged / plain new" unix.txt new_file unix.txt
