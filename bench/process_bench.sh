#!/usr/bin/env bash
# SPDX-License-Identifier: BSD-2-Clause
# Whole-process benchmark: eolswap -q against dd bs=4096, which reads and
# writes the same block sizes and converts nothing, on deterministic corpora.
#
#   bench/process_bench.sh [path/to/eolswap]      (default: build/eolswap)
#
# Environment: RUNS (timed pairs per case, default 7), SIZE_MIB (corpus size,
# default 256), SMALL_COUNT (processes per small-file batch, default 1000),
# BIG=0 to skip the 2 GiB memory check, TMPDIR (where the corpora go).
#
# Every output is first compared with a plain model of the rule. Each timed
# run writes a new file: the previous output is deleted before it, untimed.
# The two commands alternate within each pair, and which one goes first
# alternates between pairs. Ratios are eolswap/dd; lower is better.
set -euo pipefail

prog=$(realpath "${1:-build/eolswap}")
runs=${RUNS:-7}
size_mib=${SIZE_MIB:-256}
small_count=${SMALL_COUNT:-1000}
big=${BIG:-1}
export LC_ALL=C

[ -x "$prog" ] || { echo "no program at $prog" >&2; exit 1; }
command -v python3 >/dev/null || { echo "python3 is needed" >&2; exit 1; }
tmp=$(mktemp -d "${TMPDIR:-/tmp}/eolswap-bench.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"

echo "program: $prog"
echo "corpora: $size_mib MiB each in $tmp; $runs timed pairs per case"

# Corpora: an 8 MiB unit of lines of 0 to 120 printable bytes, repeated.
python3 - "$size_mib" <<'EOF'
import random, sys
size = int(sys.argv[1]) << 20
unit_size = min(size, 8 << 20)
printable = bytes(0x20 + b % 95 for b in range(256))
def text(breaks, seed):
    rng = random.Random(seed)
    noise = rng.randbytes(unit_size).translate(printable)
    parts, used, at = [], 0, 0
    while used < unit_size:
        n = rng.getrandbits(7) % 121
        line = noise[at:at + n] + breaks[rng.getrandbits(2) % len(breaks)]
        at = (at + n) % (unit_size - 128)
        parts.append(line)
        used += len(line)
    unit = b"".join(parts)[:unit_size]
    return unit * (size // unit_size) + unit[: size % unit_size]
for name, breaks, seed in [("dos.txt", [b"\r\n"], 1), ("unix.txt", [b"\n"], 2),
                           ("mixed.txt", [b"\r\n", b"\r", b"\n", b"\n\r"], 3)]:
    with open(name, "wb") as f:
        f.write(text(breaks, seed))
with open("lf.txt", "wb") as f:
    f.write(b"\n" * size)
with open("small.txt", "wb") as f:
    f.write(text([b"\r\n"], 5)[:1024])
EOF

# name, option, input
cases=("dos-to-unix -u dos.txt" "mixed-to-unix -u mixed.txt"
       "unix-to-dos -d unix.txt" "all-lf-to-dos -d lf.txt" "dos-to-mac -m dos.txt")

# The rule, written differently from the program: first every break becomes
# LF (a CR LF pair, then a lone CR), then LF becomes the target's break.
check() {  # option input output
  python3 - "$@" <<'EOF'
import sys
option, src, dst = sys.argv[1:]
data = open(src, "rb").read().replace(b"\r\n", b"\n").replace(b"\r", b"\n")
want = data.replace(b"\n", {"-u": b"\n", "-d": b"\r\n", "-m": b"\r"}[option])
if open(dst, "rb").read() != want:
    sys.exit(f"eolswap {option} {src}: output differs from the model")
EOF
}

for c in "${cases[@]}"; do
  read -r name option input <<<"$c"
  "$prog" -q "$option" "$input" out
  check "$option" "$input" out
  rm -f out
  echo "checked $name against the model"
done
"$prog" -q -u small.txt out && check -u small.txt out && rm -f out
# Let the corpora reach the disk now rather than during the timed runs.
sync

now() { echo "${EPOCHREALTIME/./}"; }  # microseconds, no process started
median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }

time_eolswap() { local t0; t0=$(now); "$prog" -q "$1" "$2" out; echo $(($(now) - t0)); }
time_dd() { local t0; t0=$(now); dd if="$2" of=out bs=4096 status=none; echo $(($(now) - t0)); }

echo
printf '%-14s %12s %12s %8s\n' case "eolswap ms" "dd ms" ratio
ratios=()
for c in "${cases[@]}"; do
  read -r name option input <<<"$c"
  : >e.txt; : >d.txt; : >r.txt
  for ((r = 0; r < runs; r++)); do
    if ((r % 2 == 0)); then
      rm -f out; e=$(time_eolswap "$option" "$input")
      rm -f out; d=$(time_dd "$option" "$input")
    else
      rm -f out; d=$(time_dd "$option" "$input")
      rm -f out; e=$(time_eolswap "$option" "$input")
    fi
    echo "$e" >>e.txt; echo "$d" >>d.txt
    awk -v e="$e" -v d="$d" 'BEGIN {print e / d}' >>r.txt
  done
  rm -f out
  ratio=$(median <r.txt)
  ratios+=("$ratio")
  printf '%-14s %12.1f %12.1f %8.3f\n' "$name" "$(median <e.txt | awk '{print $1 / 1000}')" \
    "$(median <d.txt | awk '{print $1 / 1000}')" "$ratio"
done
printf '%-14s %34.3f\n' "geomean" "$(printf '%s\n' "${ratios[@]}" | awk '{s += log($1)} END {print exp(s / NR)}')"

# Many small files: one process per 1 KiB file, each to a new file.
batch() {  # eolswap|dd
  rm -rf outs; mkdir outs
  local t0 k; t0=$(now)
  if [ "$1" = eolswap ]; then
    for ((k = 0; k < small_count; k++)); do "$prog" -q -u small.txt "outs/$k"; done
  else
    for ((k = 0; k < small_count; k++)); do dd if=small.txt of="outs/$k" bs=4096 status=none; done
  fi
  echo $(($(now) - t0))
}
: >e.txt; : >d.txt; : >r.txt
for ((r = 0; r < runs; r++)); do
  if ((r % 2 == 0)); then e=$(batch eolswap); d=$(batch dd); else d=$(batch dd); e=$(batch eolswap); fi
  echo "$e" >>e.txt; echo "$d" >>d.txt
  awk -v e="$e" -v d="$d" 'BEGIN {print e / d}' >>r.txt
done
rm -rf outs
printf '%-14s %12.1f %12.1f %8.3f   (%d processes each, ms per batch)\n' "small-files" \
  "$(median <e.txt | awk '{print $1 / 1000}')" "$(median <d.txt | awk '{print $1 / 1000}')" \
  "$(median <r.txt)" "$small_count"

# Peak resident memory in KiB, from the kernel's own accounting.
peak_rss() {
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f %M -o rss.txt "$@" && cat rss.txt
  else
    python3 -c 'import resource, subprocess, sys
subprocess.run(sys.argv[1:], check=True)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$@"
  fi
}
echo
printf '%-14s %12s %12s\n' "peak RSS" "eolswap KiB" "dd KiB"
rss_row() {  # label input
  rm -f out; local e d
  e=$(peak_rss "$prog" -q -u "$2" out); rm -f out
  d=$(peak_rss dd if="$2" of=out bs=4096 status=none); rm -f out
  printf '%-14s %12s %12s\n' "$1" "$e" "$d"
}
rss_row "1 KiB" small.txt
rss_row "$size_mib MiB" dos.txt
if [ "$big" = 1 ]; then
  for ((k = 0; k < 8 * 256 / size_mib; k++)); do cat dos.txt; done >big.txt
  rss_row "2 GiB" big.txt
  rm -f big.txt
fi
