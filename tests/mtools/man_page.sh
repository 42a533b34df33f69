#!/usr/bin/env bash
# The manual page formats without a single warning, as the manual of Linux
# and, with -rW1, of Windows: groff's warnings, no punctuation set apart,
# man's rendering with no locale set, and mandoc's lint (status 77, a skip,
# when man or mandoc is not at hand).
#   man_page.sh PAGE
set -euo pipefail
problems=""
skipped=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
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
# man in a shell with no locale set (a container, a bare SSH session)
# formats for ASCII: no warning, nothing but ASCII, and each Japanese
# message (the page's msg-* strings) by its meaning in English, where a
# UTF-8 locale shows the Japanese.
if command -v man >/dev/null; then
  bare=$(env -i PATH="$PATH" MANWIDTH=80 man -l "$1" 2>"$work/bare-warnings")
  if [ -s "$work/bare-warnings" ]; then
    problems+="man with no locale set:"$'\n'"$(cat "$work/bare-warnings")"$'\n'
  fi
  if LC_ALL=C grep -q '[^ -~]' <<<"$bare"; then
    problems+="man with no locale set shows bytes beyond ASCII:"$'\n'"$(LC_ALL=C grep -n '[^ -~]' <<<"$bare")"$'\n'
  fi
  utf8=$(env -i PATH="$PATH" LANG=C.UTF-8 MANWIDTH=80 man -l "$1" 2>&1)
  # The strings' values: the Japanese first, the meaning after .el.
  while IFS=$'\t' read -r shown japanese; do
    text=$([ "$japanese" = 1 ] && echo "$utf8" || echo "$bare")
    if ! grep -qF -- "$shown" <<<"$text"; then
      problems+="man $([ "$japanese" = 1 ] && echo "in C.UTF-8" || echo "with no locale set") does not show: $shown"$'\n'
    fi
  done < <(awk '/^\.el/ { meaning = 1 }
                /^\. *ds msg-/ { sub(/^\. *ds msg-[^ ]+ /, ""); sub(/\\~$/, "");
                                 print $0 "\t" (meaning ? 0 : 1) }' "$1")
else
  echo "man is not installed (Debian package man-db): the page was not read with it" >&2
  skipped=1
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
[ "$skipped" -eq 0 ] || exit 77
