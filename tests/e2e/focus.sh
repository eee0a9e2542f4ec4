#!/usr/bin/env bash
# Where the keyboard is, on a real display driven by real keys and clicks: the ring around
# the selected icon after a key, gone after a click, and the scroll bar's outline while it
# has the focus, read from the screen's pixels.
#   focus.sh DESKTOP PROGRAM DATA
#     DESKTOP  x11: an X server and no window manager; openbox: that window manager;
#              weston: Weston's kiosk desktop on Wayland, run in a window of an X server so
#              that the keys and clicks sent there reach it as a seat's own
#     PROGRAM  the built vistrel executable; DATA the folder of the committed test files
# A missing tool skips the test (exit 77), or fails it when CI is set.
set -euo pipefail
desktop=$1
program=$(realpath "$2")
data=$(realpath "$3")
source "$(dirname "${BASH_SOURCE[0]}")/../testlib.sh"

tools=(Xvfb xdotool import convert)
case $desktop in
openbox) tools+=(openbox xprop) ;;
weston) tools+=(weston) ;;
x11) ;;
*) fail "unknown desktop $desktop" ;;
esac
for tool in "${tools[@]}"; do
    command -v "$tool" >/dev/null || skip "$tool is missing (tools/vistrel test installs it)"
done
if [ "$desktop" = weston ]; then
    ls /usr/lib/*/libweston-*/x11-backend.so >/dev/null 2>&1 || skip "Weston's X11 backend is missing"
    ls /usr/lib/*/qt6/plugins/platforms/libqwayland-generic.so >/dev/null 2>&1 ||
        skip "Qt's Wayland platform is missing (qt6-wayland)"
fi

work=$(mktemp -d /tmp/vistrel-focus.XXXXXX)
pids=()
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
    wait 2>/dev/null
    [ -n "${E2E_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
failed() {
    import -window root "$work/failure.png" 2>/dev/null && cp "$work/failure.png" "/tmp/vistrel-focus-$desktop-failure.png"
    fail "$desktop: $* (the screen: /tmp/vistrel-focus-$desktop-failure.png)"
}

mkdir -m 700 "$work/runtime"
mkdir "$work/program" "$work/many"
cp "$program" "$work/program/vistrel"
# More icons than a page holds, even a page of the whole screen, so the scroll bar shows.
for n in $(seq -w 1 40); do
    cp "$data/icons.exe" "$work/many/app$n.exe"
    cp "$data/icons64.dll" "$work/many/lib$n.dll"
done

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 2>"$work/xvfb.log" &
pids+=($!)
exec 3>&-
wait_until 10 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(cat "$work/display")" XDG_RUNTIME_DIR=$work/runtime HOME=$work
unset SESSION_MANAGER WAYLAND_DISPLAY
app_env=(QT_QPA_PLATFORM=xcb)
case $desktop in
openbox)
    openbox >"$work/openbox.log" 2>&1 &
    pids+=($!)
    wait_until 10 eval 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' || fail "openbox did not start"
    ;;
weston)
    weston --backend=x11-backend.so --shell=kiosk-shell.so --use-pixman --width=1024 --height=768 \
        --socket=vistrel-focus --idle-time=0 >"$work/weston.log" 2>&1 &
    pids+=($!)
    wait_until 20 test -S "$XDG_RUNTIME_DIR/vistrel-focus" || fail "weston did not start: $(cat "$work/weston.log")"
    app_env=(-u DISPLAY -u QT_QPA_PLATFORM WAYLAND_DISPLAY=vistrel-focus XDG_SESSION_TYPE=wayland)
    ;;
esac

screen="$work/screen.png"
# The pointer rests in the screen's corner, over no cell, so it shows no tooltip and draws
# itself in the same place in every picture.
grab() {
    xdotool mousemove 1023 767
    sleep 0.2
    import -window root "${1:-$screen}"
}
still() {
    grab "$work/a.png"
    sleep 0.5
    grab "$work/b.png"
    [ "$(convert "$work/a.png" "$work/b.png" -compose difference -composite -format '%[fx:maxima]' info:)" = 0 ]
}
# What changed on the screen since the picture $1, as WxH+X+Y.
changed_since() {
    grab
    convert "$1" "$screen" -compose difference -composite -threshold 0 -format '%@' info: 2>/dev/null
}
# True when every pixel of the region is black ($2 = 0) or some pixel is white ($2 = 1).
region_is() {
    [ "$(convert "$screen" -crop "$1" +repage -format "%[fx:maxima.intensity]" info:)" = "$2" ]
}
# The ring of cell $1 of the first row, relative to the ring found around cell 0: a black
# square outline of 41 pixels, two pixels outside the etched frame.
ring_edges() {
    local x=$((ring_x + 50 * $1)) y=$ring_y
    echo "41x1+$x+$y 41x1+$x+$((y + 40)) 1x41+$x+$y 1x41+$((x + 40))+$y"
}
ring_shown() {
    grab
    local edge
    for edge in $(ring_edges "$1"); do region_is "$edge" 0 || return 1; done
}
ring_hidden() {
    grab
    local edge
    for edge in $(ring_edges "$1"); do region_is "$edge" 1 || return 1; done
}

start_program() {
    [ -z "$app_pid" ] || { kill "$app_pid"; wait "$app_pid" 2>/dev/null || true; }
    rm -f "$work/program/"Temp*.bmp
    (cd "$work" && exec env "${app_env[@]}" "$work/program/vistrel" "$1") >"$work/app.log" 2>&1 &
    app_pid=$!
    opened() { [ "$(ls "$work/program" | grep -c '^Temp.*\.bmp$')" -ge "$2" ]; }
    wait_until 30 opened "$1" "$2" || failed "the window did not open $1: $(cat "$work/app.log")"
    wait_until 20 still || failed "the window did not come to rest"
    sleep 1
    wait_until 20 still || failed "the window did not come to rest"
    cp "$work/b.png" "$work/start.png"
}

# The designed page holds every icon of the test data: no scroll bar, so Tab has nowhere
# else to take the focus.
start_program "$data" 11
xdotool key Tab
ring_found() {
    local box
    box=$(changed_since "$work/start.png")
    [[ $box =~ ^41x41\+([0-9]+)\+([0-9]+)$ ]] || return 1
    ring_x=${BASH_REMATCH[1]} ring_y=${BASH_REMATCH[2]}
    ring_shown 0
}
wait_until 5 ring_found || failed "the first Tab at start drew no ring (changed: $(changed_since "$work/start.png"))"
# A click on cell 2 frames it without a ring; the arrow key rings cell 3.
xdotool mousemove $((ring_x + 50 * 2 + 20)) $((ring_y + 20)) click 1
framed() { grab && ring_hidden 0 && ring_hidden 2 && ! region_is "1x30+$((ring_x + 50 * 2 + 2))+$((ring_y + 5))" 1; }
wait_until 5 framed || failed "a click on cell 2 left a ring, or no frame"
xdotool key Right
wait_until 5 ring_shown 3 || failed "Right after a click drew no ring around cell 3"
ring_hidden 2 || failed "the ring stayed on cell 2"

# With a scroll bar, the first Tab takes the focus to it, and it is outlined; a click on a
# cell brings the focus back to the grid, and the arrow keys move on from there, ringed.
# The page stands where the first one stood.
start_program "$work/many" 440
xdotool key Tab
bar_outlined() {
    local box
    box=$(changed_since "$work/start.png")
    [[ $box =~ ^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] || return 1
    [ "${BASH_REMATCH[1]}" -le 16 ] && [ "${BASH_REMATCH[2]}" -ge 200 ] &&
        region_is "1x${BASH_REMATCH[2]}+${BASH_REMATCH[3]}+${BASH_REMATCH[4]}" 0
}
wait_until 5 bar_outlined || failed "Tab to the scroll bar drew no outline (changed: $(changed_since "$work/start.png"))"
xdotool mousemove $((ring_x + 50 * 2 + 20)) $((ring_y + 20)) click 1
wait_until 5 framed || failed "a click on cell 2 left a ring, or no frame"
xdotool key Right
wait_until 5 ring_shown 3 || failed "Right after a click with the focus on the scroll bar drew no ring around cell 3"
echo "PASS: $desktop: the ring after keys, none after a click, the scroll bar's outline"
