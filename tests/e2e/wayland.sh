#!/usr/bin/env bash
# The window on a Wayland desktop with no X server: a headless Weston compositor, the
# session variables a Wayland login sets and no QT_QPA_PLATFORM, so Qt picks its Wayland
# platform by itself. The folder named on the command line is opened there.
#   wayland.sh PROGRAM DATA
# A missing compositor or Qt platform skips the test (exit 77), or fails it when CI is set.
set -euo pipefail
program=$1
data=$2
source "$(dirname "${BASH_SOURCE[0]}")/../testlib.sh"

command -v weston >/dev/null || skip "weston is missing (tools/vistrel test installs it)"
ls /usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so >/dev/null 2>&1 ||
    skip "Qt's Wayland platform is missing (qt6-wayland)"

work=$(mktemp -d)
weston_pid=
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    [ -n "$weston_pid" ] && kill "$weston_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -m 700 "$work/runtime"
mkdir "$work/program"
cp "$program" "$work/program/vistrel"
export XDG_RUNTIME_DIR=$work/runtime XDG_SESSION_TYPE=wayland WAYLAND_DISPLAY=vistrel-test
unset DISPLAY QT_QPA_PLATFORM
weston --backend=headless-backend.so --socket="$WAYLAND_DISPLAY" --idle-time=0 >"$work/weston.log" 2>&1 &
weston_pid=$!
wait_until 20 test -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" || fail "weston did not start: $(cat "$work/weston.log")"

"$work/program/vistrel" "$data" >"$work/app.log" 2>&1 &
app_pid=$!
opened() { [ "$(ls "$work/program" | grep -c '^Temp.*\.bmp$')" -ge 11 ]; }
wait_until 20 opened || fail "the window did not open $data: $(cat "$work/app.log")"
kill -0 "$app_pid" || fail "the program ended: $(cat "$work/app.log")"
! grep -qi "platform plugin" "$work/app.log" || fail "Qt fell back from its Wayland platform"
echo "the window ran on Wayland and opened $data"
