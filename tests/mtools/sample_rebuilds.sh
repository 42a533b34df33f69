#!/usr/bin/env bash
# The sample disk rebuilt by examples/make-sample.sh equals the committed
# examples/sample.d88 byte for byte.
#   sample_rebuilds.sh VOLUME_TO_D88
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

bash "$root/examples/make-sample.sh" "$1" "$work/sample.d88"
if ! cmp "$work/sample.d88" "$root/examples/sample.d88"; then
  echo "examples/sample.d88 differs from what examples/make-sample.sh makes" >&2
  exit 1
fi
