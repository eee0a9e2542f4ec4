#!/usr/bin/env bash
# Rebuilds the test executables from source/ with mingw-w64 (gcc-mingw-w64, binutils-mingw-w64),
# the 16-bit one with nasm, and the damaged copies. Not run by the build: its output is committed.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here"/source/* "$work"/
cd "$work"
python3 makeicons.py .

link() { # compiler output resources [extra flags]
    "$1" -Os -s -nostdlib -Wl,--entry=start -o "$2" main.c "$3" "${@:4}"
}
i686-w64-mingw32-windres icons.rc -O coff -o icons32.res
x86_64-w64-mingw32-windres icons64.rc -O coff -o icons64.res
x86_64-w64-mingw32-windres notes.rc -O coff -o notes.res
i686-w64-mingw32-windres cursors.rc -O coff -o cursors32.res
x86_64-w64-mingw32-windres cursors.rc -O coff -o cursors64.res
link i686-w64-mingw32-gcc "$here/icons.exe" icons32.res -Wl,--entry=_start
link x86_64-w64-mingw32-gcc "$here/icons64.dll" icons64.res -shared
link x86_64-w64-mingw32-gcc "$here/notes.exe" notes.res
link i686-w64-mingw32-gcc "$here/cursors/cursors.exe" cursors32.res -Wl,--entry=_start
link x86_64-w64-mingw32-gcc "$here/cursors/cursors64.dll" cursors64.res -shared
i686-w64-mingw32-gcc -Os -s -nostdlib -Wl,--entry=_start -o "$here/noresources.exe" main.c
cp sizes.ico "$here/sizes.ico"
nasm -f bin -o "$here/ne/old.exe" old.asm
nasm -f bin -o "$here/cursors/old-cursors.exe" old-cursors.asm
python3 "$here/source/damage.py" "$here"
# The System32 layouts and the other kinds of icon files.
"$here/make-windows.sh"
# A page file as レポートの保存 keeps it: the icon list of three icons on one page, written
# by the report benchmark of a build (build/bin/bench_report) on a Japanese desktop.
LC_ALL=ja_JP.UTF-8 QT_QPA_PLATFORM=offscreen "${VISTREL_BUILD_DIR:-$here/../../build}/bin/bench_report" \
    --vrp "$here/iconlist.vrp" 3
