#!/usr/bin/env bash
# The manual page formats without a single warning, as the manual of Linux
# and, with -rW1, of Windows: groff's warnings, no punctuation set apart,
# and mandoc's lint when mandoc is at hand (status 77, a skip, when it is
# not).
#   man_page.sh PAGE
set -euo pipefail
problems=""
for windows in 0 1; do
  warnings=$(groff -k -man -Tutf8 -ww -rW"$windows" -z "$1" 2>&1)
  if [ -n "$warnings" ]; then
    problems+="groff -rW$windows:"$'\n'"$warnings"$'\n'
  fi
done
# A font macro whose last argument is a lone punctuation mark sets it apart
# by a space ("UTC0 ,"), which neither tool minds; .BR and .IR join it on.
lone=$(grep -nE '^\.(B|I|SB|SM)( .*)? [,.;:)]$' "$1" || true)
if [ -n "$lone" ]; then
  problems+="punctuation set apart from the word before it:"$'\n'"$lone"$'\n'
fi
if [ -n "$problems" ]; then
  echo "$problems" >&2
  exit 1
fi
if ! command -v mandoc >/dev/null; then
  echo "mandoc is not installed (Debian package mandoc): its lint was not run" >&2
  exit 77
fi
# mandoc takes both branches of the page's conditions as groff does.
lint=$(mandoc -Tlint -W all "$1" 2>&1) || true
if [ -n "$lint" ]; then
  echo "mandoc -Tlint:" >&2
  echo "$lint" >&2
  exit 1
fi
