#!/usr/bin/env bash
# d88info's report on the sample disk equals every report README.md shows
# (each fenced block that starts with the line "image: ") and the one in its
# manual page (the example that starts so).
#   sample_info.sh D88INFO
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$(dirname "$0")/readme_blocks.sh"
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

expect_readme_blocks 'report starting with "image: "' '^image: ' "$work/report"
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
