#!/usr/bin/env bash
# Checks that every include of the project's own headers runs downward
# through the layers, and fails naming each one that runs up or sideways:
#
#   0 platform/            what differs between POSIX, Windows and the page
#   1 d88/                 the reader
#   2 common/              what the commands share
#   3 tool/  info/  merge/  the commands, none including another
#   4 testing/             what tests, fuzzers and benchmarks share
#   5 tests/ fuzz/ bench/ web/
#
# A file may include headers of its own directory and of lower layers. Every
# project include names its directory ("d88/d88_image.h"); one that does not,
# and a source in a directory with no layer, fail too.
#
#   tests/layers.sh [SOURCE_DIR]    (SOURCE_DIR defaults to .)
set -euo pipefail

source_dir="${1:-.}"

layer_of() {
  case "$1" in
    platform) echo 0 ;;
    d88) echo 1 ;;
    common) echo 2 ;;
    tool | info | merge) echo 3 ;;
    testing) echo 4 ;;
    tests | fuzz | bench | web) echo 5 ;;
    *) echo "" ;;
  esac
}

faults=0
fault() {
  echo "$1" >&2
  faults=$((faults + 1))
}

cd "$source_dir"
while IFS= read -r -d '' file; do
  file="${file#./}"
  folder="${file%%/*}"
  from="$(layer_of "$folder")"
  if [[ -z "$from" ]]; then
    fault "$file: its folder $folder/ has no layer (add it to tests/layers.sh)"
    continue
  fi
  while IFS=: read -r line header; do
    if [[ "$header" != */* ]]; then
      fault "$file:$line: \"$header\" names no folder"
      continue
    fi
    target="${header%%/*}"
    to="$(layer_of "$target")"
    if [[ -z "$to" ]]; then
      fault "$file:$line: \"$header\" is in a folder with no layer"
    elif [[ "$target" == "$folder" ]]; then
      continue
    elif ((to > from)); then
      fault "$file:$line: \"$header\" runs up, from $folder/ (layer $from) to $target/ (layer $to)"
    elif ((to == from)); then
      fault "$file:$line: \"$header\" runs sideways, from $folder/ to $target/"
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
    sed 's/^\([0-9]*\):[^"]*"\([^"]*\)".*/\1:\2/')
done < <(find . \( -path './build*' -o -path '*/node_modules' -o -path './.git' \) -prune -o \
  -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print0 | sort -z)

if ((faults > 0)); then
  echo "$faults fault(s) against the layers" >&2
  exit 1
fi
