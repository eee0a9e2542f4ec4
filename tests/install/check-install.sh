#!/usr/bin/env bash
# Installs Vistrel into a fresh folder and uses it from there: the batch command line
# through the link on the PATH, the desktop entry's program, and the window starting up.
#   check-install.sh BUILD_DIR TEST_DATA_DIR
set -euo pipefail
build=$1
data=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
test -x "$prefix/libexec/vistrel/vistrel"
test -L "$prefix/bin/vistrel"
test -f "$prefix/share/icons/hicolor/32x32/apps/vistrel.png"
entry=$prefix/share/applications/vistrel.desktop
grep -qx "Exec=$prefix/libexec/vistrel/vistrel %f" "$entry"
grep -qx "Icon=vistrel" "$entry"

# The installed program writes the same icons as the built one.
mkdir "$work/folder" "$work/installed" "$work/built"
cp "$data"/icons.exe "$data"/icons64.dll "$work/folder/"
"$prefix/bin/vistrel" --extract "$work/folder" "$work/installed" >/dev/null
"$build/bin/vistrel" --extract "$work/folder" "$work/built" >/dev/null
diff -r "$work/installed" "$work/built"
test "$(ls "$work/installed" | wc -l)" -eq 11

# The thumbnailer, as file managers find it: its entry names the installed program, which
# answers without loading Qt (so no platform plugin) and without a display, and creates
# OUTPUT only when there is an icon.
thumbnailer=$prefix/share/thumbnailers/vistrel.thumbnailer
grep -qx "Exec=$prefix/bin/vistrel-thumbnailer -s %s %i %o" "$thumbnailer"
grep -q "^MimeType=.*application/x-ms-dos-executable;" "$thumbnailer"
env -u DISPLAY -u WAYLAND_DISPLAY LD_DEBUG=libs "$prefix/bin/vistrel-thumbnailer" -s 64 "$data/icons.exe" \
    "$work/thumb.png" 2>"$work/libs.log"
test -s "$work/thumb.png"
for library in libc.so libz.so libm.so libpng16.so; do grep -q "$library" "$work/libs.log"; done
test "$(grep -c "libQt6" "$work/libs.log")" -eq 0
status=0
"$prefix/bin/vistrel-thumbnailer" "$data/notes.exe" "$work/none.png" || status=$?
test "$status" -eq 1
test ! -e "$work/none.png"
status=0
"$prefix/bin/vistrel-thumbnailer" "$work/missing.exe" "$work/none.png" 2>/dev/null || status=$?
test "$status" -eq 2
test ! -e "$work/none.png"
status=0
"$prefix/bin/vistrel-thumbnailer" -s 0 "$data/icons.exe" "$work/none.png" 2>"$work/size.log" || status=$?
test "$status" -eq 2
test ! -e "$work/none.png"
grep -q "SIZE must be a whole number from 1 to 16384" "$work/size.log"
test "$(ls -A "$work" | grep -c thumb)" -eq 1 # no temporary file left beside OUTPUT
# A pipe (or a device) in OUTPUT's place stays what it is, even for root.
mkfifo "$work/pipe.png"
status=0
"$prefix/bin/vistrel-thumbnailer" "$data/icons.exe" "$work/pipe.png" 2>/dev/null || status=$?
test "$status" -eq 2
test -p "$work/pipe.png"

# The window comes up from the installed folder and keeps running until it is stopped.
QT_QPA_PLATFORM=offscreen "$prefix/bin/vistrel" &
program=$!
sleep 2
kill -0 "$program"
kill "$program"
wait "$program" 2>/dev/null || true
# Only the program was installed in its folder; a window stopped from outside ends as
# 終了 does, keeping its settings beside it and leaving no bitmap, and nothing but the two
# programs' names is on the PATH.
test "$(LC_ALL=C ls -A "$prefix/libexec/vistrel" | tr '\n' ' ')" = "Vistrel.ini vistrel "
test "$(ls -A "$prefix/bin" | tr '\n' ' ')" = "vistrel vistrel-thumbnailer "
echo "installed into $prefix and used from there"
