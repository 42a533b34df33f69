#!/usr/bin/env bash
# d88cut unpacks the sample disk into a fresh folder: its listing, decoded
# from Shift_JIS, equals every listing shown in README.md, and it writes the
# files the listing promises, README.TXT with its bytes and time.
#   sample_listing.sh D88CUT
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tool=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/out"

status=0
(cd "$work/out" && TZ=UTC LC_ALL=C "$tool" "$root/examples/sample.d88") \
  >"$work/stdout" 2>"$work/stderr" || status=$?
failed=0
if [ "$status" -ne 0 ] || [ -s "$work/stderr" ]; then
  echo "d88cut ended with status $status:" >&2
  cat "$work/stderr" >&2
  failed=1
fi
iconv -f CP932 -t UTF-8 "$work/stdout" >"$work/listing"

# Each fenced block of README.md that starts with the recognition line,
# followed by a line "--".
LC_ALL=C awk '
  /^```/ {
    if (fence) { if (keep) print "--"; fence = 0; keep = 0 } else { fence = 1; first = 1 }
    next
  }
  fence && first { keep = ($0 == "DISK 1を認識しました."); first = 0 }
  fence && keep { print }
' "$root/README.md" >"$work/shown"
blocks=$(grep -c '^--$' "$work/shown" || true)
if [ "$blocks" -eq 0 ]; then
  echo "README.md shows no listing starting with the recognition line" >&2
  failed=1
fi
for _ in $(seq 1 "$blocks"); do
  cat "$work/listing"
  echo "--"
done >"$work/expected"
if ! diff -u "$work/shown" "$work/expected"; then
  echo "README.md's listing (-) differs from d88cut's on examples/sample.d88 (+)" >&2
  failed=1
fi

written=$(cd "$work/out" && export LC_ALL=C && printf '%s ' *)
if [ "$written" != "DEMO HELLO.COM MAIN README.TXT SCORES.DAT " ]; then
  echo "d88cut wrote: $written" >&2
  failed=1
fi
if ! cmp "$work/out/README.TXT" "$root/examples/sample/README.TXT" ||
  [ "$(TZ=UTC stat -c %y "$work/out/README.TXT")" != "1990-03-04 12:34:56.000000000 +0000" ]; then
  echo "README.TXT is not the one the sample was made from, with its time" >&2
  failed=1
fi
exit "$failed"
