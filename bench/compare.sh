#!/usr/bin/env bash
# Times d88cut against mtools and against the floor on one nearly full
# 360 KB volume, and counts what one d88cut run costs:
#
#   bench/compare.sh [BUILD]        (BUILD defaults to build)
#
# BUILD must hold d88cut and tests/mtools/volume_to_d88:
#
#   cmake -S . -B build && cmake --build build -j2 --target d88cut volume_to_d88
#
# The volume is made with mformat and mcopy, clusters 9-36 marked bad first
# (they lie under the raw areas of tracks 3-8), and turned into a D88 image
# with volume_to_d88. Then, on the same files, each in a fresh folder:
#   d88cut  d88cut on the D88 image (it also writes MAIN and DEMO, 24 KiB);
#   mcopy   mcopy -s -m -n of every file from the raw volume;
#   floor   cat of the D88 image to /dev/null, plus cp -p of the files
#           d88cut wrote (MAIN and DEMO included).
# The three take turns, RUNS rounds of them (default 100, after 5 rounds not
# counted), so that all meet the same load on the machine; the table gives
# each one's median and quartiles. Then one d88cut run under valgrind
# --tool=callgrind (instructions executed) and one under strace -c -f
# (system calls, the three costliest by time).
#
# Needs bash 5, mtools, valgrind and strace (Debian packages of the same
# names).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$here/build}")
runs=${RUNS:-100}
d88cut="$build/d88cut"
converter="$build/tests/mtools/volume_to_d88"

if [ -z "${EPOCHREALTIME:-}" ]; then
  echo "compare.sh: needs bash 5 or later" >&2
  exit 1
fi
for tool in mformat mcopy valgrind strace; do
  if ! command -v "$tool" >/dev/null; then
    echo "compare.sh: $tool is missing (apt-get install mtools valgrind strace)" >&2
    exit 1
  fi
done
for program in "$d88cut" "$converter"; do
  if [ ! -x "$program" ]; then
    echo "compare.sh: $program is missing; build it first:" >&2
    echo "  cmake --build $build -j2 --target d88cut volume_to_d88" >&2
    exit 1
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export TZ=UTC LC_ALL=C
export MTOOLSRC="$work/mtoolsrc"
printf 'mtools_skip_check=1\n' >"$MTOOLSRC"

# --- The volume: 326 clusters free after the bad ones; files fill 318 ---
mkdir files
sizes=(700 1024 3000 5000 9000 12288 20000 31000 2047 6144)
used=0
index=0
while :; do
  size=${sizes[$((index % ${#sizes[@]}))]}
  clusters=$(((size + 1023) / 1024))
  if [ $((used + clusters)) -gt 318 ] || [ "$index" -ge 60 ]; then
    break
  fi
  name=$(printf 'FILE%03d.DAT' "$index")
  head -c "$size" /dev/urandom >"files/$name"
  touch -d "1990-03-04 12:34:$(printf '%02d' $((index % 30 * 2)))" "files/$name"
  used=$((used + clusters))
  index=$((index + 1))
done
head -c 8192 /dev/urandom >MAIN.raw
head -c 16384 /dev/urandom >DEMO.raw
mformat -C -f 360 -v BENCH -i volume.img ::
"$converter" mark-bad volume.img
mcopy -m -i volume.img files/* ::
"$converter" convert volume.img MAIN.raw DEMO.raw disk.d88
file_count=$(find files -type f | wc -l)
file_bytes=$(cat files/* | wc -c)

# --- Both tools must give the same files before they are timed ---
mkdir reference mcopy-check
(cd reference && "$d88cut" ../disk.d88 >/dev/null)
mcopy -s -m -n -i volume.img '::*' mcopy-check/
for source in files/*; do
  name=${source#files/}
  if ! cmp -s "$source" "reference/$name" || ! cmp -s "$source" "mcopy-check/$name"; then
    echo "compare.sh: $name does not come out as it went in" >&2
    exit 1
  fi
done

# --- Times ---
# Runs "$@" in a fresh folder `out`, its output thrown away, and appends the
# microseconds it took to the file $1.
run() {
  local times=$1
  shift
  rm -rf out && mkdir out && cd out
  local start=${EPOCHREALTIME/./}
  "$@" >/dev/null
  local end=${EPOCHREALTIME/./}
  cd ..
  echo $((end - start)) >>"$times"
}
copies=(reference/*)
copies=("${copies[@]/#/../}")
for ((round = -5; round < runs; round++)); do
  suffix="times"
  if [ "$round" -lt 0 ]; then
    suffix="warm-up"  # not counted
  fi
  run "d88cut.$suffix" "$d88cut" ../disk.d88
  run "mcopy.$suffix" mcopy -s -m -n -i ../volume.img '::*' .
  run "cat.$suffix" cat ../disk.d88
  run "cp.$suffix" cp -p "${copies[@]}" .
done
paste cat.times cp.times | awk '{ print $1 + $2 }' >floor.times

# The value at quantile q of a file of numbers, in milliseconds.
quantile() {
  sort -n "$1" | awk -v q="$2" '{ v[NR] = $1 }
    END { i = int(q * (NR - 1)) + 1; printf "%.2f", v[i] / 1000 }'
}
row() {
  printf '| %-21s | %7s ms | %7s-%s ms | %7s ms |\n' "$1" "$(quantile "$2" 0.5)" \
    "$(quantile "$2" 0.25)" "$(quantile "$2" 0.75)" "$(quantile "$2" 0)"
}
quotient() {
  awk -v a="$(quantile "$1" 0.5)" -v b="$(quantile "$2" 0.5)" 'BEGIN { printf "%.2f", a / b }'
}
grouped() {
  echo "$1" | sed -e ':a' -e 's/\B[0-9]\{3\}\>/,&/' -e 'ta'
}

# --- Instructions and system calls of one run ---
mkdir callgrind-out strace-out
(cd callgrind-out && valgrind --tool=callgrind --callgrind-out-file=../callgrind.out \
  "$d88cut" ../disk.d88 >/dev/null 2>../callgrind.log)
instructions=$(awk '/^(summary|totals):/ { print $2; exit }' callgrind.out)
(cd strace-out && strace -c -f -o ../strace.txt "$d88cut" ../disk.d88 >/dev/null)
# % time, seconds, usecs/call, calls, [errors,] syscall; sorted by time.
syscalls=$(awk '$NF == "total" { print $4 }' strace.txt)
costliest=$(awk '/^-----/ { section++; next }
  section == 1 && $1 ~ /^[0-9.]+$/ && count < 3 {
    count++; printf "%s%s (%s%%, %s calls)", (count > 1 ? ", " : ""), $NF, $1, $4 }' strace.txt)

echo "d88cut against mtools and the floor: $file_count files, $file_bytes bytes," \
  "on a 360 KB volume nearly full; $runs rounds"
echo
echo "| run                   | median     | quartiles        | fastest    |"
echo "|-----------------------|------------|------------------|------------|"
row "d88cut" d88cut.times
row "mcopy -s -m -n" mcopy.times
row "floor (cat + cp -p)" floor.times
echo
echo "| measure                            | value |"
echo "|------------------------------------|-------|"
echo "| d88cut / mcopy (medians)           | $(quotient d88cut.times mcopy.times) |"
echo "| d88cut / floor (medians)           | $(quotient d88cut.times floor.times) |"
echo "| d88cut instructions (callgrind)    | $(grouped "$instructions") |"
echo "| d88cut system calls (strace -c -f) | $(grouped "$syscalls") |"
echo "| costliest system calls (by time)   | $costliest |"
