#!/usr/bin/env bash
# The ring after a key, none after a click, the scroll bar's outline, read from the screen.
# focus.sh x11|openbox|weston PROGRAM DATA: no window manager, openbox, or Weston's kiosk
# desktop in a window of the X server, so that the keys sent there reach it as a seat's.
set -euo pipefail
desktop=$1 program=$(realpath "$2") data=$(realpath "$3")
source "$(dirname "${BASH_SOURCE[0]}")/../testlib.sh"
for tool in Xvfb xdotool xprop import convert $([ "$desktop" = x11 ] || echo "$desktop"); do
    command -v "$tool" >/dev/null || skip "$tool is missing (tools/vistrel test installs it)"; done
[ "$desktop" != weston ] || ls /usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so >/dev/null || skip "qt6-wayland is missing"
work=$(mktemp -d /tmp/vistrel-focus.XXXXXX)
trap 'kill $(jobs -p) 2>/dev/null; wait; rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime" && mkdir "$work/program" "$work/many" && cp "$program" "$work/program/vistrel"
for n in $(seq -w 1 40); do cp "$data/icons.exe" "$work/many/a$n.exe" && cp "$data/icons64.dll" "$work/many/b$n.dll"; done
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
wait_until 10 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")" XDG_RUNTIME_DIR=$work/runtime HOME=$work
app_env=(QT_QPA_PLATFORM=xcb)
if [ "$desktop" = openbox ]; then
    openbox >/dev/null 2>&1 &
    wait_until 10 eval 'xprop -root | grep -q _NET_SUPPORTING_WM_CHECK' || fail "openbox did not start"
elif [ "$desktop" = weston ]; then
    weston --backend=x11-backend.so --shell=kiosk-shell.so --use-pixman --width=1024 --height=768 --socket=vistrel-focus >/dev/null 2>&1 &
    wait_until 20 test -S "$work/runtime/vistrel-focus" || fail "weston did not start"
    app_env=(-u DISPLAY -u QT_QPA_PLATFORM WAYLAND_DISPLAY=vistrel-focus XDG_SESSION_TYPE=wayland)
fi
# Pictures with the pointer in the corner, over no cell: no tooltip, the pointer alike.
grab() { xdotool mousemove 1023 767 && sleep 0.3 && import -window root "${1:-$work/now.png}"; }
changed() { grab && convert "$1" "$work/now.png" -compose difference -composite -threshold 0 -format '%@' info: 2>/dev/null; }
brightest() { convert "$work/now.png" -crop "$1" +repage -format '%[fx:maxima.intensity]' info:; }
# How many edges of cell $1's ring, a square outline of 41 pixels, are black.
ring() {
    local x=$((ring_x + 50 * $1)) y=$ring_y edge n=0
    grab && for edge in 41x1+$x+$y 41x1+$x+$((y + 40)) 1x41+$x+$y 1x41+$((x + 40))+$y; do
        [ "$(brightest "$edge")" != 0 ] || n=$((n + 1)); done && echo $n
}
ring_found() { [[ $(changed "$work/start.png") =~ ^41x41\+([0-9]+)\+([0-9]+)$ ]] && ring_x=${BASH_REMATCH[1]} ring_y=${BASH_REMATCH[2]} && [ "$(ring 0)" = 4 ]; }
start() { # FOLDER ICONS
    [ -z "${app:-}" ] || kill "$app" && rm -f "$work/program/"Temp*.bmp
    (cd "$work" && exec env "${app_env[@]}" "$work/program/vistrel" "$1") >/dev/null 2>&1 & app=$!
    opened() { [ "$(ls "$work/program" | grep -c '^Temp')" -ge "$1" ]; }
    wait_until 30 opened "$2" || fail "$desktop: the window did not open $1"
    still() { grab "$work/start.png" && sleep 1 && [ "$(changed "$work/start.png")" = 0x0+1024+768 ]; }
    wait_until 30 still || fail "$desktop: the window did not come to rest"
}

# The test data fits a page: no scroll bar, so the first Tab leaves the focus on the grid.
start "$data" 11
xdotool key Tab
wait_until 10 ring_found || fail "$desktop: the first Tab drew no ring (changed: $(changed "$work/start.png"))"
# Tab takes the focus to the scroll bar, outlined; a click on cell 2 (where it stood on the
# first page) frames it without a ring and brings the focus back, and Right rings cell 3.
start "$work/many" 440
xdotool key Tab
outlined() { [[ $(changed "$work/start.png") =~ ^([0-9]+)x([0-9]{3})\+([0-9]+\+[0-9]+)$ ]] && [ "${BASH_REMATCH[1]}" -le 16 ] && [ "$(brightest "1x${BASH_REMATCH[2]}+${BASH_REMATCH[3]}")" = 0 ]; }
wait_until 10 outlined || fail "$desktop: Tab to the bar drew no outline (changed: $(changed "$work/start.png"))"
xdotool mousemove $((ring_x + 120)) $((ring_y + 20)) click 1
wait_until 10 eval '[ "$(ring 2)$(ring 0)" = 00 ]' || fail "$desktop: a click on cell 2 left a ring"
xdotool key Right
wait_until 10 eval '[ "$(ring 3)" = 4 ]' || fail "$desktop: Right after a click drew no ring"
echo "PASS: $desktop: the ring after keys, none after a click, the scroll bar's outline"
