#!/usr/bin/env bash
# Takes the README's pictures again (docs/screenshot.png, docs/iconinfo.png,
# docs/preview.png) from real Windows programs: the ones Debian's Wine library package
# ships, opened with a built Vistrel on an X server of its own.
#   tools/docs-pictures.sh [BUILD]      default BUILD: build
# Needs: apt-get download (Debian's registry), dpkg-deb, Xvfb, xdotool, ImageMagick and
# the ja_JP.UTF-8 locale (tools/vistrel test installs all but the package itself).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
work=$(mktemp -d)
# The folder's name shows in the pictures, so it is a short one.
folder=/tmp/Wine
[ ! -e "$folder" ] || { echo "$folder is in the way" >&2; exit 1; }
xvfb=
cleanup() {
    pkill -f "$work/program/vistrel" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$work" "$folder"
}
trap cleanup EXIT

# The package is only unpacked here, never installed.
(cd "$work" && apt-get download libwine >/dev/null 2>&1)
dpkg-deb -x "$work"/libwine_*.deb "$work/root"
windows=$(echo "$work"/root/usr/lib/*/wine/x86_64-windows)
mkdir "$folder" "$work/program"
for name in cmd hh iexplore msiexec notepad regedit taskmgr winecfg winefile winemine winhlp32 wordpad; do
    cp "$windows/$name.exe" "$folder/"
done
cp "$windows/comdlg32.dll" "$windows/user32.dll" "$windows/shell32.dll" "$folder/"
cp "$build/bin/vistrel" "$work/program/"

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null &
xvfb=$!
exec 3>&-
until [ -s "$work/display" ]; do sleep 0.1; done
export DISPLAY=":$(cat "$work/display")" LC_ALL=ja_JP.UTF-8 XDG_RUNTIME_DIR=$work
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
"$work/program/vistrel" "$folder" >/dev/null 2>&1 &
until window=$(xdotool search --onlyvisible --name "^Vistrel \.\.\.\.\. " 2>/dev/null | head -1) && [ -n "$window" ]; do
    sleep 0.2
done
sleep 1
xdotool windowfocus --sync "$window"
eval "$(xdotool getwindowgeometry --shell "$window")" # X, Y, WIDTH, HEIGHT of the client area
shot() { import -window root -crop "$1" +repage "$2"; }

# The grid with the context menu of its fourth icon (the cells start 16 pixels in, 50 apart).
xdotool mousemove $((X + 16 + 3 * 50 + 17)) $((Y + 38)) click 3
sleep 0.7
shot "${WIDTH}x${HEIGHT}+$X+$Y" "$here/docs/screenshot.png"

# アイコンの情報 of that icon.
xdotool key i
until dialog=$(xdotool search --onlyvisible --name "^アイコンの情報$" 2>/dev/null | head -1) && [ -n "$dialog" ]; do
    sleep 0.2
done
sleep 0.7
import -window "$dialog" "$here/docs/iconinfo.png"
xdotool key Escape
sleep 0.5

# The printed list in the preview: ファイル → 印刷.
xdotool windowfocus --sync "$window" key alt+f
sleep 0.5
xdotool key p
until preview=$(xdotool search --onlyvisible --name "^プレビュー$" 2>/dev/null | head -1) && [ -n "$preview" ]; do
    sleep 0.2
done
sleep 2
shot 1024x768+0+0 "$here/docs/preview.png"
echo "docs/screenshot.png, docs/iconinfo.png and docs/preview.png taken from $(ls "$folder" | wc -l) Wine files"
