#!/usr/bin/env bash
# d88info's report on the sample disk equals every report README.md shows
# (each fenced block that starts with the line "image: ") and the one in its
# manual page (the example that starts so).
#   sample_info.sh D88INFO
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
info=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
(cd "$root" && LC_ALL=C "$info" examples/sample.d88) >"$work/report" 2>"$work/stderr" || status=$?
failed=0
if [ "$status" -ne 0 ] || [ -s "$work/stderr" ]; then
  echo "d88info ended with status $status:" >&2
  cat "$work/stderr" >&2
  failed=1
fi

# Each such block of README.md, followed by a line "--".
LC_ALL=C awk '
  /^```/ {
    if (fence) { if (keep) print "--"; fence = 0; keep = 0 } else { fence = 1; first = 1 }
    next
  }
  fence && first { keep = ($0 ~ /^image: /); first = 0 }
  fence && keep { print }
' "$root/README.md" >"$work/shown"
blocks=$(grep -c '^--$' "$work/shown" || true)
if [ "$blocks" -eq 0 ]; then
  echo "README.md shows no report starting with \"image: \"" >&2
  failed=1
fi
for _ in $(seq 1 "$blocks"); do
  cat "$work/report"
  echo "--"
done >"$work/expected"
if ! diff -u "$work/shown" "$work/expected"; then
  echo "README.md's report (-) differs from d88info's on examples/sample.d88 (+)" >&2
  failed=1
fi
# The manual's example, its escaped hyphens as they show.
LC_ALL=C awk '
  /^\.EX/ { example = 1; first = 1; next }
  /^\.EE/ { if (keep) exit; example = 0; next }
  example && first { keep = ($0 ~ /^image: /); first = 0 }
  example && keep { gsub(/\\-/, "-"); print }
' "$root/doc/d88info.1" >"$work/manual"
if ! diff -u "$work/manual" "$work/report"; then
  echo "doc/d88info.1's example (-) differs from d88info's report on examples/sample.d88 (+)" >&2
  failed=1
fi
exit "$failed"
