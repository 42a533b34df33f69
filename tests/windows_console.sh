#!/bin/sh
# d88cut.exe on a console. Wine gives a program started on a terminal a
# console, and shows what the program writes to it through WriteConsoleW in
# the terminal's own character set (UTF-8 here): the Japanese text must
# arrive as such, and a name's control bytes as '?'. A failure to open or to
# write is followed, on the console, by a line that names the file and the
# reason, and an image that is not the disk gets a line that says why.
#
#   windows_console.sh WINE_RUN PREFIX D88CUT_EXE SAMPLE_D88
set -eu
wine_run=$(realpath "$1")
prefix=$(realpath -m "$2")
exe=$(realpath "$3")
sample=$(realpath "$4")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/out"

# The sample with README.TXT renamed ESC "[2J" 95 5C: a clear-screen sequence
# and the kanji 表, whose second byte is a backslash on its own.
cp "$sample" "$work/esc.d88"
offset=$(grep -obUa 'README  TXT' "$sample" | head -n 1 | cut -d: -f1)
printf '\033[2J\225\134' | dd of="$work/esc.d88" bs=1 seek="$offset" conv=notrunc 2>/dev/null

image="Z:$(printf '%s' "$work/esc.d88" | tr / '\\\\')"
# on_console FOLDER ARGUMENT: runs d88cut.exe in FOLDER on a terminal, and
# adds what the terminal shows to $work/screen, whatever its exit status.
on_console() {
  (cd "$1" && LC_ALL=C.UTF-8 TZ=UTC0 script -qec \
    "/bin/sh '$wine_run' '$prefix' '$exe' '$2'" /dev/null </dev/null >>"$work/screen") || :
}
on_console "$work/out" "$image"
mkdir "$work/blocked" "$work/blocked/MAIN"
on_console "$work/blocked" "$image"
on_console "$work/blocked" missing.d88
printf 'Not a disk image.\n' >"$work/blocked/notes.txt"
on_console "$work/blocked" notes.txt
# Wine hides and shows the cursor around each write to the console; one
# line may come in several writes.
sed -i 's/\x1b\[?25[hl]//g' "$work/screen"

failures=0
expect() {
  if ! grep -qF -- "$1" "$work/screen"; then
    echo "the console does not show: $1" >&2
    failures=$((failures + 1))
  fi
}
expect "DISK 1を認識しました."
expect "cutting ... MAIN"
expect "?[2J表.TXT"
expect "unsafe file name, not written: ?[2J表.TXT"
expect "HELLO.COM"
expect "ファイルを書き込めません."
expect "d88cut: cannot write 'MAIN': Is a directory"
expect "ファイルをオープンできません"
expect "d88cut: cannot open 'missing.d88': "
expect "d88cut: not the disk this tool unpacks (not a D88 image); try: d88info notes.txt"
if grep -qF "$(printf '\033[2J')" "$work/screen"; then
  echo "the name's ESC [2J reached the terminal" >&2
  failures=$((failures + 1))
fi
if [ -e "$work/out/README.TXT" ] || [ ! -e "$work/out/HELLO.COM" ]; then
  echo "the files written are not the expected ones:" "$(ls "$work/out")" >&2
  failures=$((failures + 1))
fi
if [ "$failures" -ne 0 ]; then
  echo "--- what the console showed:" >&2
  cat -v "$work/screen" >&2
  exit 1
fi
echo "the console shows the listing in UTF-8 with the name's controls as '?', and says what failed and why, and why an image is not the disk"
