#!/usr/bin/env bash
# The Debian package made from the build, unpacked into a scratch root and used from there
# as a system-wide install is: the program's folder closed to writing, its settings and
# temporary bitmaps in the user's XDG folders. Then lintian and the validators on it.
#   check-package.sh BUILD_DIR TEST_DATA_DIR
# Exits 77 when a tool is missing (tools/vistrel test installs them all), but fails when
# the environment variable CI is set.
set -euo pipefail
build=$1
data=$2

source "$(dirname "${BASH_SOURCE[0]}")/../testlib.sh"
for tool in cpack dpkg-deb dpkg-shlibdeps file lintian appstreamcli desktop-file-validate Xvfb xdotool; do
    command -v "$tool" >/dev/null || skip "$tool is missing"
done
work=$(mktemp -d)
xvfb=
cleanup() {
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    chmod -R u+w "$work"
    rm -rf "$work"
}
trap cleanup EXIT

cpack --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null
deb=$(echo "$work"/package/vistrel_*.deb)
root=$work/root
dpkg-deb -x "$deb" "$root"

# What it holds.
program=$root/usr/libexec/vistrel
[ "$(readlink "$root/usr/bin/vistrel")" = ../libexec/vistrel/vistrel ] || fail "no relative link on the PATH"
for binary in "$program/vistrel" "$root/usr/bin/vistrel-thumbnailer"; do
    file -L "$binary" | grep -q ', stripped' || fail "$binary is not stripped"
done
entry=$root/usr/share/applications/vistrel.desktop
grep -qx 'Exec=/usr/libexec/vistrel/vistrel %f' "$entry" || fail "the desktop entry does not pass a folder on"
# Listing no MIME type, it is never chosen as anyone's default program for folders.
! grep -q '^MimeType=' "$entry" || fail "the desktop entry claims MIME types"
test -f "$root/usr/share/icons/hicolor/32x32/apps/vistrel.png"
grep -q '^Exec=/usr/bin/vistrel-thumbnailer ' "$root/usr/share/thumbnailers/vistrel.thumbnailer" ||
    fail "no thumbnailer entry for the installed program"
# The *.dll glob, and no database of its own: shared-mime-info's trigger makes the system's.
test -f "$root/usr/share/mime/packages/vistrel.xml" -a ! -e "$root/usr/share/mime/mime.cache" ||
    fail "the MIME glob is missing, or a MIME database came with it"
zcat "$root/usr/share/man/man1/vistrel.1.gz" | grep -q 'extract' || fail "the manual page lacks --extract"
test -f "$root/usr/share/doc/vistrel/copyright"
# Libraries as dpkg-shlibdeps found them, with their versions.
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6 (>= ' || fail "no computed dependencies: $(dpkg-deb -f "$deb" Depends)"
dpkg-deb -f "$deb" Depends | grep -q 'qt6-wayland' || fail "no Wayland platform for the window"

desktop-file-validate "$entry"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml >/dev/null ||
    fail "$(appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml)"
lintian --fail-on error,warning "$deb" 2>/dev/null || fail "lintian: $(lintian "$deb" 2>&1)"

# Used from there: the program's folder is closed, as the package leaves it for its users
# (chmod stands in for ownership, so that the check holds when run as root too).
chmod -R a-w "$program"
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$HOME" "$XDG_RUNTIME_DIR"
untouched() { [ "$(ls -A "$program")" = vistrel ] && [ ! -e "$HOME/.config" ] && [ ! -e "$HOME/.cache" ]; }

# The batch command line writes its icons and nothing else.
mkdir "$work/icons"
"$root/usr/bin/vistrel" --extract "$data" "$work/icons" >/dev/null
[ -f "$work/icons/Icon00001.bmp" ] || fail "--extract wrote no icons"
untouched && [ ! -e "$XDG_CONFIG_HOME" ] && [ ! -e "$XDG_CACHE_HOME" ] || fail "--extract wrote outside OUTDIR"

# The window on an X server of its own, started with a folder: the bitmaps go to the cache
# folder. Closed through its File menu, it leaves its settings in the config folder and
# deletes the bitmaps.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null &
xvfb=$!
exec 3>&-
wait_until 10 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY SESSION_MANAGER
"$root/usr/bin/vistrel" "$data" >"$work/app.log" 2>&1 &
app=$!
window() { xdotool search --onlyvisible --name "^Vistrel \.\.\.\.\. $data\$" 2>/dev/null | head -1; }
shown() { [ -n "$(window)" ]; }
wait_until 20 shown || fail "no window showing $data: $(cat "$work/app.log")"
opened() { [ "$(ls "$XDG_CACHE_HOME/vistrel" | grep -c '^Temp.*\.bmp$')" -ge 11 ]; }
wait_until 20 opened || fail "no temporary bitmaps in $XDG_CACHE_HOME/vistrel"
untouched || fail "the window wrote beside the program"
xdotool windowfocus --sync "$(window)" key alt+f
sleep 0.5
xdotool key x
wait_until 15 eval '! kill -0 $app 2>/dev/null' || fail "Exit did not end the program"
wait "$app" || fail "the program ended with status $?"
grep -qx 'Width=696' "$XDG_CONFIG_HOME/vistrel/Vistrel.ini" || fail "no settings in $XDG_CONFIG_HOME/vistrel"
[ -z "$(ls -A "$XDG_CACHE_HOME/vistrel")" ] || fail "bitmaps left in $XDG_CACHE_HOME/vistrel"
untouched || fail "the window wrote beside the program"
echo "packaged, unpacked and used from $root"
