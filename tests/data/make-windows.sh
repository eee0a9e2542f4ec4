#!/usr/bin/env bash
# Rebuilds windows/ and kinds/ with mingw-w64's binutils (binutils-mingw-w64) and nasm:
#   windows/  System32 and SysWOW64 files that keep a MUI resource and no icon, with their
#             icons in SystemResources/NAME.mun, laid out as Windows 10 and 11 lay them out;
#             beside them a file with an icon of its own, one without a .mun, a folder not
#             called System32, and a tree whose names are in other cases.
#   kinds/    every kind of file that holds icons on Windows, for the command line's walks.
# Not run by the build: its output is committed.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here"/source/makeicons.py "$here"/source/windows/* "$work"/
cd "$work"
python3 makeicons.py .

# Resources compiled with the host's preprocessor and linked without code: only they are read.
res() { # machine rc output [defines]
    "$1-w64-mingw32-windres" --preprocessor=cpp --preprocessor-arg=-xc "${@:4}" "$2" -O coff -o "$3"
}
link() { # machine output resources [flags]
    "$1-w64-mingw32-ld" -e 0 -s --no-insert-timestamp --subsystem windows "${@:4}" -o "$2" "$3"
}
res x86_64 mui.rc mui64.res
res i686 mui.rc mui32.res
res x86_64 shell32mun.rc shell32mun.res
res x86_64 onemun.rc notepadmun.res -DICONFILE='\"only16.ico\"'
res i686 onemun.rc wowmun.res -DICONFILE='\"mono.ico\"'
res x86_64 onemun.rc imageresmun.res -DICONFILE='\"invert.ico\"'
res x86_64 owner.rc owner.res
res i686 library.rc library.res

w="$here/windows"
rm -rf "$w" "$here/kinds"
mkdir -p "$w"/Windows/{System32,SysWOW64,SystemResources,Web} "$w"/cased/WINDOWS/{system32,systemResources} "$here/kinds"
link x86_64 "$w/Windows/System32/shell32.dll" mui64.res --dll
link x86_64 "$w/Windows/System32/notepad.exe" mui64.res
link x86_64 "$w/Windows/System32/owner.dll" owner.res --dll
cp "$w/Windows/System32/shell32.dll" "$w/Windows/System32/lonely.dll"
cp "$w/Windows/System32/shell32.dll" "$w/Windows/Web/shell32.dll"
cp "$w/Windows/System32/shell32.dll" "$w/cased/WINDOWS/system32/IMAGERES.DLL"
link i686 "$w/Windows/SysWOW64/wow.dll" mui32.res --dll
link x86_64 "$w/Windows/SystemResources/shell32.dll.mun" shell32mun.res --dll
cp "$w/Windows/SystemResources/shell32.dll.mun" "$w/Windows/SystemResources/owner.dll.mun"
link x86_64 "$w/Windows/SystemResources/notepad.exe.mun" notepadmun.res --dll
link i686 "$w/Windows/SystemResources/wow.dll.mun" wowmun.res --dll
link x86_64 "$w/cased/WINDOWS/systemResources/imageres.dll.MUN" imageresmun.res --dll

k="$here/kinds"
link x86_64 "$k/panel.cpl" owner.res --dll
link x86_64 "$k/control.OCX" owner.res --dll
link x86_64 "$k/saver.scr" owner.res
link x86_64 "$k/tool.exe" owner.res
cp "$w/Windows/SystemResources/notepad.exe.mun" "$k/res.mun"
link i686 "$k/library.icl" library.res --dll
nasm -f bin -o "$k/old.icl" library.asm
cp "$k/panel.cpl" "$k/panel.cpl.txt"
