# Sourced by the sample scripts.
# expect_readme_blocks WHAT FIRST ACTUAL: README.md (in $root) shows at
# least one fenced block whose first line is FIRST, a regular expression
# for awk, and every such block is exactly the file ACTUAL; otherwise says
# how WHAT differs and sets failed=1. Uses $work for its files.
expect_readme_blocks() {
  local what=$1 first=$2 actual=$3
  # Each such block, followed by a line "--".
  LC_ALL=C awk -v first="$first" '
    /^```/ {
      if (fence) { if (keep) print "--"; fence = 0; keep = 0 } else { fence = 1; starts = 1 }
      next
    }
    fence && starts { keep = ($0 ~ first); starts = 0 }
    fence && keep { print }
  ' "$root/README.md" >"$work/shown"
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
