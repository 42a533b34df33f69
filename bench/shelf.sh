#!/usr/bin/env bash
# Times d88info over a shelf of dumps: one run over COPIES copies of the
# sample disk in one folder, against COPIES runs on one copy each, and the
# peak memory of one run over 10 copies and over COPIES:
#
#   bench/shelf.sh [BUILD]        (BUILD defaults to build; COPIES=1000)
#
# BUILD must hold d88info. Each form (the text report, --json, --brief) is
# timed over the folder; the single runs give the text report, as a shell
# loop over the files would. Output goes to /dev/null. The peak memory is
# GNU time's "Maximum resident set size" (/usr/bin/time, Debian package
# time). ROUNDS (default 5) rounds of each are taken and the median kept.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$here/build}")
copies=${COPIES:-1000}
rounds=${ROUNDS:-5}
info="$build/d88info"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir "$work/few" "$work/many"
for i in $(seq -w 1 "$copies"); do
  cp "$here/examples/sample.d88" "$work/many/disk$i.d88"
done
for i in $(seq -w 1 10); do
  cp "$here/examples/sample.d88" "$work/few/disk$i.d88"
done

seconds() {  # seconds COMMAND...: the wall time of one run, in seconds
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null
  end=$(date +%s%N)
  echo "scale=3; ($end - $start) / 1000000000" | bc
}

median() {  # median of the numbers on standard input
  sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

singles() {
  local f
  for f in "$work"/many/*.d88; do
    "$info" "$f" || true
  done
}

folder() { "$info" "$@" "$work/many" || true; }

for form in text --json --brief; do
  args=()
  [ "$form" = text ] || args=("$form")
  t=$(for _ in $(seq "$rounds"); do seconds folder "${args[@]}"; done | median)
  echo "one run over $copies copies, $form: ${t} s"
done
t=$(for _ in $(seq "$rounds"); do seconds singles; done | median)
echo "$copies single runs, text: ${t} s"

rss() {  # rss FOLDER: the peak resident set of d88info over it, in KiB
  /usr/bin/time -f '%M' "$info" "$1" 2>&1 >/dev/null | tail -1
}
echo "peak memory over 10 copies: $(rss "$work/few") KiB"
echo "peak memory over $copies copies: $(rss "$work/many") KiB"
echo "peak memory of one copy: $(rss "$work/few/disk01.d88") KiB"
