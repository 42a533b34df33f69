#!/usr/bin/env bash
# Times d88merge merging three dumps of the sample disk against d88info's
# run on one of them, each the whole process from start to exit:
#
#   bench/merge_speed.sh [BUILD]        (BUILD defaults to build)
#
# BUILD must hold d88merge and d88info (cmake --workflow --preset linux, or
# the bench preset's build-bench). The three dumps are copies of
# examples/sample.d88, the first two with a sector of a file marked bad so
# that the merge recovers it. The two programs take turns, RUNS rounds of
# them (default 200, after 10 rounds not counted), in a fresh folder each
# round, so that both meet the same load on the machine. Printed: each
# one's median and quartiles in milliseconds, the quotient of the medians
# and the median of the rounds' own quotients.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$here/build}")
runs=${RUNS:-200}
merge="$build/d88merge"
info="$build/d88info"

if [ -z "${EPOCHREALTIME:-}" ]; then
  echo "merge_speed.sh: needs bash 5 or later" >&2
  exit 1
fi
for program in "$merge" "$info"; do
  if [ ! -x "$program" ]; then
    echo "merge_speed.sh: $program is missing; build it first" >&2
    exit 1
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here/examples/sample.d88" "$work/1.d88"
cp "$here/examples/sample.d88" "$work/2.d88"
cp "$here/examples/sample.d88" "$work/3.d88"
# The status byte of track 1's fourth record (README.TXT) in dump 1, of
# track 2's first (SCORES.DAT) in dump 2: bad there, good in the others.
mark_bad() {
  python3 - "$1" "$2" "$3" <<'PY'
import struct, sys
path, track, index = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
data = bytearray(open(path, 'rb').read())
at = struct.unpack_from('<I', data, 0x20 + 4 * track)[0]
for _ in range(index):
    at += 16 + struct.unpack_from('<H', data, at + 14)[0]
data[at + 8] = 0x10
open(path, 'wb').write(data)
PY
}
mark_bad "$work/1.d88" 1 3
mark_bad "$work/2.d88" 2 0

# Milliseconds that one run of "$@" took, in the folder $work/run.
time_one() {
  rm -rf "$work/run" && mkdir "$work/run"
  local start=$EPOCHREALTIME
  (cd "$work/run" && "$@" >/dev/null 2>&1) || true
  local end=$EPOCHREALTIME
  echo "$(((${end/./} - ${start/./})))"
}

merge_times=()
info_times=()
quotients=()
for ((round = 0; round < runs + 10; ++round)); do
  m=$(time_one "$merge" -o merged.d88 ../1.d88 ../2.d88 ../3.d88)
  i=$(time_one "$info" ../1.d88)
  if ((round >= 10)); then
    merge_times+=("$m")
    info_times+=("$i")
    quotients+=("$(awk -v m="$m" -v i="$i" 'BEGIN { printf "%.3f", m / i }')")
  fi
done

# "median q1 q3" of the numbers given, in milliseconds from microseconds
# (or as they are with a scale of 1).
summary() {
  local scale=$1
  shift
  printf '%s\n' "$@" | sort -g | awk -v scale="$scale" '
    { v[NR] = $1 / scale }
    END { printf "%.3f %.3f %.3f", v[int((NR + 1) / 2)], v[int((NR + 3) / 4)], v[int((3 * NR + 1) / 4)] }'
}

read -r m m1 m3 <<<"$(summary 1000 "${merge_times[@]}")"
read -r i i1 i3 <<<"$(summary 1000 "${info_times[@]}")"
read -r q _ _ <<<"$(summary 1 "${quotients[@]}")"
echo "rounds: $runs"
echo "d88merge, three dumps: median $m ms (quartiles $m1-$m3)"
echo "d88info, one dump:     median $i ms (quartiles $i1-$i3)"
echo "quotient of the medians: $(awk -v m="$m" -v i="$i" 'BEGIN { printf "%.2f", m / i }')"
echo "median of the rounds' quotients: $q"
