#!/usr/bin/env bash
# d88cut unpacks the sample disk into a fresh folder: its listing, decoded
# from Shift_JIS, equals every listing shown in README.md, and it writes the
# files the listing promises, README.TXT with its bytes and time.
#   sample_listing.sh D88CUT
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$(dirname "$0")/readme_blocks.sh"
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

expect_readme_blocks 'listing starting with the recognition line' '^DISK 1を認識しました\\.$' "$work/listing"

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
