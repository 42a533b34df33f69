#!/usr/bin/env bash
# Rebuilds the sample disk examples/sample.d88, byte for byte, from the files
# in examples/sample/ and the bytes made below, with mtools and the test
# helper volume_to_d88:
#
#   cmake -S . -B build && cmake --build build -j2 --target volume_to_d88
#   examples/make-sample.sh build/testing/volume_to_d88 [OUT.d88]
#
# OUT.d88 defaults to examples/sample.d88. Every time on the disk is pinned:
# files are copied with mcopy -m after being touched to fixed UTC times, and
# mtools dates the label and the folder GAMES by SOURCE_DATE_EPOCH. The
# volume serial is fixed with mformat -N, and the boot sector is our own, so
# that it carries no mtools version. Made with Debian's mtools 4.0.32.
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "Usage: $0 VOLUME_TO_D88 [OUT.d88]" >&2
  exit 1
fi
here=$(cd "$(dirname "$0")" && pwd)
converter=$(realpath "$1")
out=$(realpath -m "${2:-$here/sample.d88}")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

export TZ=UTC LC_ALL=C
# 1990-03-04 12:00:00 UTC: the label's and the folder's time.
export SOURCE_DATE_EPOCH=636552000
export MTOOLSRC="$work/mtoolsrc"
printf 'mtools_skip_check=1\n' >"$MTOOLSRC"

files="$work/files"
mkdir -p "$files/GAMES"
cp "$here/sample/README.TXT" "$files/README.TXT"
cp "$here/sample/GAMES/LIST.TXT" "$files/GAMES/LIST.TXT"

# HELLO.COM: mov ah,9; mov dx,108h; int 21h; ret; then the text at 108h.
{
  printf '\xb4\x09\xba\x08\x01\xcd\x21\xc3'
  printf 'Hello from the sample disk!\r\n$'
} >"$files/HELLO.COM"
# PAT.COM: the same program with its own text.
{
  printf '\xb4\x09\xba\x08\x01\xcd\x21\xc3'
  printf 'PAT.COM stays on the disk.\r\n$'
} >"$files/PAT.COM"
# SCORES.DAT: 100 records of a 16-byte name, an 8-digit score and CR LF.
for i in $(seq 1 100); do
  printf '%-16s%08d\r\n' "PLAYER $i" $(((101 - i) * 1234))
done >"$files/SCORES.DAT"
# The raw areas, as text that shows where it came from.
head -c 8192 <(yes 'MAIN area of the d88cut sample disk.') >"$work/MAIN"
head -c 16384 <(yes 'DEMO area of the d88cut sample disk.') >"$work/DEMO"
# A boot sector with a jump, a maker's name and the 55 AA mark; mformat
# fills in the volume's parameters.
{
  printf '\xeb\x3c\x90D88CUT  '
  head -c 499 /dev/zero
  printf '\x55\xaa'
} >"$work/boot"

touch -d '1990-03-04 12:34:56' "$files/README.TXT"
touch -d '1990-03-01 09:00:00' "$files/HELLO.COM"
touch -d '1990-03-04 18:30:00' "$files/SCORES.DAT"
touch -d '1990-02-20 10:00:00' "$files/PAT.COM"
touch -d '1990-03-02 15:15:00' "$files/GAMES/LIST.TXT"

volume="$work/volume.img"
mformat -C -f 360 -N 19900304 -v SAMPLE -B "$work/boot" -i "$volume" ::
"$converter" mark-bad "$volume"
mcopy -m -i "$volume" "$files/README.TXT" "$files/HELLO.COM" "$files/SCORES.DAT" ::
mattrib -i "$volume" +r ::README.TXT
mmd -i "$volume" ::GAMES
mcopy -m -i "$volume" "$files/GAMES/LIST.TXT" ::GAMES/LIST.TXT
mcopy -m -i "$volume" "$files/PAT.COM" ::
"$converter" convert "$volume" "$work/MAIN" "$work/DEMO" "$out"
