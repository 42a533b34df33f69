#!/usr/bin/env bash
# Times d88cut against the floor and against mtools on one nearly full
# 360 KB volume, and counts what one run of each costs:
#
#   bench/compare.sh [BUILD]        (BUILD defaults to build)
#
# BUILD must hold d88cut, testing/volume_to_d88 and bench/floor:
#
#   cmake -S . -B build -DD88CUT_BENCH=ON
#   cmake --build build -j2 --target d88cut volume_to_d88 floor
#
# The volume is made with mformat and mcopy, clusters 9-36 marked bad first
# (they lie under the raw areas of tracks 3-8), and turned into a D88 image
# with volume_to_d88. Then, on the same files, each in a fresh folder:
#   d88cut  d88cut on the D88 image (it also writes MAIN and DEMO, 24 KiB);
#   floor   bench/floor, the system calls no extractor can do without: one
#           read of the image; for each file d88cut wrote in a reference run
#           (same names and sizes), one create, one write, one close and,
#           where d88cut sets one, one setting of its time (the same); one
#           write of a listing as long as d88cut's;
#   mcopy   mcopy -s -m -n of every file from the raw volume.
# The three take turns, RUNS rounds of them (default 100, after 5 rounds not
# counted), so that all meet the same load on the machine. Printed first:
# d88cut's median over each other's median and the median of the rounds'
# own quotients; against the floor also the median of the rounds'
# differences, which moves less with the load on the file system. Then each
# one's median and quartiles; the system calls of one d88cut and one floor
# run (strace -c -f: in all and the most made); and the instructions of one
# d88cut run (valgrind --tool=callgrind), in all and by the object that ran
# them: the dynamic loader, libc, d88cut itself.
#
# Needs bash 5, mtools, valgrind and strace (Debian packages of the same
# names).
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$here/build}")
runs=${RUNS:-100}
d88cut="$build/d88cut"
converter="$build/testing/volume_to_d88"
floor="$build/bench/floor"

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
for program in "$d88cut" "$converter" "$floor"; do
  if [ ! -x "$program" ]; then
    echo "compare.sh: $program is missing; build it first:" >&2
    echo "  cmake -S $here -B $build -DD88CUT_BENCH=ON" >&2
    echo "  cmake --build $build -j2 --target d88cut volume_to_d88 floor" >&2
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

# --- All three must give the same files before they are timed ---
# The reference run gives the floor its work: the names, sizes and times of
# the files d88cut writes, and the length of its listing.
mkdir reference mcopy-check floor-check
# d88cut leaves the time of MAIN and DEMO as it is, so the floor sets none
# ("-") for a file no older than the reference run.
reference_start=$(date +%s)
(cd reference && "$d88cut" ../disk.d88 >../listing)
listing_bytes=$(wc -c <listing)
floor_work=()
for made in reference/*; do
  mtime=$(stat -c %Y "$made")
  if [ "$mtime" -ge "$reference_start" ]; then
    mtime=-
  fi
  floor_work+=("${made#reference/}" "$(stat -c %s "$made")" "$mtime")
done
output_count=$(find reference -type f | wc -l)
(cd floor-check && "$floor" ../disk.d88 "$listing_bytes" "${floor_work[@]}" >../floor-listing)
mcopy -s -m -n -i volume.img '::*' mcopy-check/
for source in files/*; do
  name=${source#files/}
  if ! cmp -s "$source" "reference/$name" || ! cmp -s "$source" "mcopy-check/$name"; then
    echo "compare.sh: $name does not come out as it went in" >&2
    exit 1
  fi
done
made() {
  stat -c '%n %s %Y' -- "$1"/* |
    awk -v start="$reference_start" '{ sub(/^[^\/]*\//, ""); print $1, $2, ($3 < start ? $3 : "new") }'
}
if [ "$(made reference)" != "$(made floor-check)" ] ||
  [ "$(wc -c <floor-listing)" -ne "$listing_bytes" ]; then
  echo "compare.sh: the floor does not make what d88cut makes" >&2
  exit 1
fi

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
for ((round = -5; round < runs; round++)); do
  suffix="times"
  if [ "$round" -lt 0 ]; then
    suffix="warm-up"  # not counted
  fi
  run "d88cut.$suffix" "$d88cut" ../disk.d88
  run "floor.$suffix" "$floor" ../disk.d88 "$listing_bytes" "${floor_work[@]}"
  run "mcopy.$suffix" mcopy -s -m -n -i ../volume.img '::*' .
done

# The value at quantile q of a file of numbers, in milliseconds.
quantile() {
  sort -n "$1" | awk -v q="$2" '{ v[NR] = $1 }
    END { i = int(q * (NR - 1)) + 1; printf "%.3f", v[i] / 1000 }'
}
row() {
  printf '| %-14s | %7s ms | %15s ms | %7s ms |\n' "$1" "$(quantile "$2" 0.5)" \
    "$(quantile "$2" 0.25)-$(quantile "$2" 0.75)" "$(quantile "$2" 0)"
}
# The quotient of the medians of two files of times, and the median of the
# quotients of their lines (the runs of one round).
quotient() {
  awk -v a="$(quantile "$1" 0.5)" -v b="$(quantile "$2" 0.5)" 'BEGIN { printf "%.2f", a / b }'
}
paired() {
  paste "$1" "$2" | awk '{ printf "%.6f\n", $1 / $2 }' | sort -n |
    awk '{ v[NR] = $1 } END { printf "%.2f", v[int((NR - 1) / 2) + 1] }'
}
# The median of the differences of their lines, in microseconds.
difference() {
  paste "$1" "$2" | awk '{ print $1 - $2 }' | sort -n |
    awk '{ v[NR] = $1 } END { printf "%+d", v[int((NR - 1) / 2) + 1] }'
}
grouped() {
  echo "$1" | sed -e ':a' -e 's/\B[0-9]\{3\}\>/,&/' -e 'ta'
}

# --- System calls of one run of each, and d88cut's instructions ---
mkdir strace-d88cut strace-floor callgrind-out
(cd strace-d88cut && strace -c -f -S calls -o ../d88cut.strace "$d88cut" ../disk.d88 >/dev/null)
(cd strace-floor && strace -c -f -S calls -o ../floor.strace \
  "$floor" ../disk.d88 "$listing_bytes" "${floor_work[@]}" >/dev/null)
# % time, seconds, usecs/call, calls, [errors,] syscall; sorted by calls.
syscalls() {
  awk '$NF == "total" { print $4 }' "$1"
}
most_made() {
  awk '/^-----/ { section++; next }
    section == 1 && $1 ~ /^[0-9.]+$/ && count < 6 {
      count++; printf "%s%s %s", (count > 1 ? ", " : ""), $4, $NF }' "$1"
}
(cd callgrind-out && valgrind --tool=callgrind --callgrind-out-file=../callgrind.out \
  "$d88cut" ../disk.d88 >/dev/null 2>../callgrind.log)
instructions=$(awk '/^(summary|totals):/ { print $2; exit }' callgrind.out)
# Each object's own instructions: cost lines add to the object of their
# function, except the line after calls=, which is the callee's whole cost.
by_object=$(awk '
  /^c?ob=/ {
    id = $0; sub(/^c?ob=/, "", id); sub(/\).*/, ")", id)
    name = $0; sub(/^c?ob=\([0-9]+\) ?/, "", name)
    if (name != "") { names[id] = name }
    if ($0 ~ /^ob=/) { current = id }
    next
  }
  /^calls=/ { callee = 1; next }
  /^[0-9+*-]/ { if (callee) { callee = 0; next } own[current] += $2 }
  END {
    for (id in own) {
      name = names[id]
      if (name ~ /\/ld-linux[^\/]*$|\/ld\.so[^\/]*$/) { part = "ld.so" }
      else if (name ~ /\/libc\.so[^\/]*$/) { part = "libc" }
      else if (name ~ /\/d88cut$/) { part = "d88cut" }
      else { part = "other" }
      sum[part] += own[id]
    }
    printf "ld.so %d, libc %d, d88cut %d, other %d", sum["ld.so"], sum["libc"], sum["d88cut"],
      sum["other"]
  }' callgrind.out | sed -e ':a' -e 's/\B[0-9]\{3\}\>/,&/' -e 'ta')

echo "d88cut against the floor and mtools: $file_count files, $file_bytes bytes," \
  "on a 360 KB volume nearly full; $output_count outputs, $listing_bytes bytes" \
  "of listing; $runs rounds"
echo
echo "| measure                             | value |"
echo "|-------------------------------------|-------|"
echo "| d88cut / floor (medians)            | $(quotient d88cut.times floor.times) |"
echo "| d88cut / floor (median of rounds)   | $(paired d88cut.times floor.times) |"
echo "| d88cut - floor (median of rounds)   | $(difference d88cut.times floor.times) us |"
echo "| d88cut / mcopy (medians)            | $(quotient d88cut.times mcopy.times) |"
echo "| d88cut / mcopy (median of rounds)   | $(paired d88cut.times mcopy.times) |"
echo
echo "| run            | median     | quartiles          | fastest    |"
echo "|----------------|------------|--------------------|------------|"
row "d88cut" d88cut.times
row "floor" floor.times
row "mcopy -s -m -n" mcopy.times
echo
echo "| measure                             | value |"
echo "|-------------------------------------|-------|"
echo "| d88cut system calls (strace -c -f)  | $(syscalls d88cut.strace): $(most_made d88cut.strace) |"
echo "| floor system calls (strace -c -f)   | $(syscalls floor.strace): $(most_made floor.strace) |"
echo "| d88cut instructions (callgrind)     | $(grouped "$instructions") |"
echo "| d88cut instructions by object       | $by_object |"
