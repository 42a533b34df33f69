#!/usr/bin/env bash
# The manual page formats without a single warning.
#   man_page.sh PAGE
set -euo pipefail
warnings=$(groff -k -man -Tutf8 -ww -z "$1" 2>&1)
if [ -n "$warnings" ]; then
  echo "$warnings" >&2
  exit 1
fi
