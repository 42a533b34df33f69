#!/usr/bin/env bash
# README.md's fenced blocks that the tests and .ci/check-packages compare
# with what the tools print.
#
# Run, it prints each fenced block of FILE whose first line matches FIRST
# (a regular expression for awk), each followed by a line "--":
#   bash readme_blocks.sh FIRST FILE
# Sourced, it defines readme_blocks (the same) and expect_readme_blocks.

# readme_blocks FIRST FILE: as above.
readme_blocks() {
  LC_ALL=C awk -v first="$1" '
    /^```/ {
      if (fence) { if (keep) print "--"; fence = 0; keep = 0 } else { fence = 1; starts = 1 }
      next
    }
    fence && starts { keep = ($0 ~ first); starts = 0 }
    fence && keep { print }
  ' "$2"
}

# expect_readme_blocks WHAT FIRST ACTUAL: README.md (in $root) shows at
# least one fenced block whose first line matches FIRST, and every such
# block is exactly the file ACTUAL; otherwise says how WHAT differs and sets
# failed=1. Uses $work for its files.
# shellcheck disable=SC2034,SC2154 # root, work and failed are the caller's
expect_readme_blocks() {
  local what=$1 first=$2 actual=$3
  readme_blocks "$first" "$root/README.md" >"$work/shown"
  local blocks
  blocks=$(grep -c '^--$' "$work/shown" || true)
  if [ "$blocks" -eq 0 ]; then
    echo "README.md shows no $what" >&2
    failed=1
  fi
  for _ in $(seq 1 "$blocks"); do
    cat "$actual"
    echo "--"
  done >"$work/expected"
  if ! diff -u "$work/shown" "$work/expected"; then
    echo "README.md's $what (-) differs from the one made from examples/sample.d88 (+)" >&2
    failed=1
  fi
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  readme_blocks "$@"
fi
