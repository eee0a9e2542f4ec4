#!/usr/bin/env bash
# Vistrel as a person uses it: the real program on a real X server of its own, driven by
# mouse clicks and key presses, its results read back from the screen's pixels, the
# clipboard, the disk and the print server.
#   session.sh PROGRAM DATA SHOTS
#     PROGRAM  the built vistrel executable (copied into a fresh folder, since the program
#              keeps its settings and temporary bitmaps beside itself)
#     DATA     the folder of the committed test executables
#     SHOTS    where the screenshots of the main steps are kept
# Printing is checked when VISTREL_PRINT_OUTPUT names the print server's PDF folder
# (tools/vistrel test starts one). A missing X tool skips the session (exit 77), or fails it
# when the environment variable CI is set. E2E_KEEP=1 keeps the session's work folder
# under /tmp for a look afterwards.
set -euo pipefail

program=$1
data=$2
shots=$3

# ctest counts a skip as a pass: under CI it would hide that the session never ran.
skip() {
    if [ -n "${CI:-}" ]; then
        echo "FAIL: $* (CI is set, so the session may not be skipped)" >&2
        exit 1
    fi
    echo "SKIP: $*"
    exit 77
}
tools=(Xvfb xdotool xclip xprop import convert compare identify cmp)
[ -n "${VISTREL_PRINT_OUTPUT:-}" ] && tools+=(pdfinfo pdftoppm)
for tool in "${tools[@]}"; do
    command -v "$tool" >/dev/null || skip "$tool is missing (tools/vistrel test installs it)"
done

work=$(mktemp -d /tmp/vistrel-e2e.XXXXXX)
xvfb_pid=
app_pid=
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    [ -n "${E2E_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT

rm -rf "$shots"
mkdir -p "$shots"
shot_number=0
screen="$work/screen.png"

step() { echo "== ${SECONDS}s: $*"; }

grab() { import -window root "${1:-$screen}"; }

shot() {
    shot_number=$((shot_number + 1))
    grab "$shots/$(printf '%02d' "$shot_number")-$1.png"
}

fail() {
    echo "FAIL: $*" >&2
    grab "$shots/failure.png" 2>/dev/null || true
    [ -s "$work/app.log" ] && { echo "-- program output:" >&2; cat "$work/app.log" >&2; }
    exit 1
}

# Polls a condition, ten times a second, for at most $1 seconds.
wait_until() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

same_image() { [ "$(compare -metric AE "$1" "$2" null: 2>&1)" = 0 ]; }

crop() { convert "$1" -crop "$2" +repage "$3"; }

# The colour of one pixel of a picture, as #RRGGBB.
colour_at() { convert "$1" -crop "1x1+$2+$3" +repage -depth 8 txt:- | awk 'NR == 2 { print $3 }'; }

# True when every pixel of the region (WxH+X+Y) of the screen is white.
all_white() { [ "$(convert "$screen" -crop "$1" +repage -format '%[fx:minima.intensity]' info:)" = 1 ]; }

visible_window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }

window_shown() { [ -n "$(visible_window "$1")" ]; }
window_gone() { ! window_shown "$1"; }

# The X server takes the motion before the button, so no need to wait for the pointer
# (waiting would hang when it is already there).
click() { xdotool mousemove "$1" "$2" click 1; }

# Menus open below the menu bar at the window's top left; the positions of titles and
# items are those of the designed window's menu bar, relative to the window.
menu_area() {
    grab
    crop "$screen" "200x160+$win_x+$((win_y + 19))" "$1"
}
menu_shown() {
    menu_area "$work/menu-now.png"
    ! same_image "$work/menu-before.png" "$work/menu-now.png" || return 1
    sleep 0.2
    menu_area "$work/menu-later.png"
    same_image "$work/menu-now.png" "$work/menu-later.png"
}
open_menu() {
    menu_area "$work/menu-before.png"
    click $((win_x + $1)) $((win_y + 7))
    wait_until 5 menu_shown || fail "the menu did not open"
}
# Opens a menu with a click on its title and clicks one of its items.
menu() {
    open_menu "$1"
    click $((win_x + $1 + 24)) $((win_y + $2))
}
# The picture of a menu, open; closed again with Esc.
menu_picture() {
    open_menu "$1"
    cp "$work/menu-later.png" "$2"
    xdotool key Escape
    menu_closed() {
        menu_area "$work/menu-now.png"
        same_image "$work/menu-before.png" "$work/menu-now.png"
    }
    wait_until 5 menu_closed || fail "Esc did not close the menu"
}
file_x=36
open_y=28
close_y=50
save_y=72
print_y=96
exit_y=142
edit_x=98
copy_y=28

# --- The scene: a program folder holding only the executable, a home folder with a folder
# of executables and libraries, and an empty folder to save into.
prog="$work/program"
home="$work/home"
icons="$home/icons"
saved="$home/saved"
mkdir -p "$prog" "$icons" "$saved" "$work/runtime"
chmod 700 "$work/runtime"
cp "$program" "$prog/vistrel"
# 40 copies of a file with 8 icons and of one with 3: 440 icons, more than a page of the
# grid (104 cells) and more than a printed page (418 icons).
for n in $(seq -w 1 40); do
    cp "$data/icons.exe" "$icons/app$n.exe"
    cp "$data/icons64.dll" "$icons/lib$n.dll"
done
icon_count=440
# What the batch command writes for the same folder is what Save must write.
mkdir "$work/extracted"
"$prog/vistrel" --extract "$icons" "$work/extracted" >/dev/null || fail "--extract failed"
[ "$(ls "$work/extracted" | wc -l)" -eq "$icon_count" ] || fail "--extract wrote $(ls "$work/extracted" | wc -l) files"
ls -A "$prog" >"$work/program-before"

step "X server"
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 2>"$work/xvfb.log" &
xvfb_pid=$!
exec 3>&-
wait_until 10 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(cat "$work/display")"
export HOME="$home" XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=xcb
unset SESSION_MANAGER

start_program() {
    (cd "$work" && exec "$prog/vistrel") >"$work/app.log" 2>&1 &
    app_pid=$!
    wait_until 20 window_shown '^Vistrel$' || fail "the main window did not appear"
    win=$(visible_window '^Vistrel$')
}

# Outer geometry as the X server has it (there is no window manager, so no frame).
check_geometry() {
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$win")"
    [ "$X,$Y,$WIDTH,$HEIGHT" = "$1" ] || fail "window geometry $X,$Y,$WIDTH,$HEIGHT, expected $1"
    win_x=$X win_y=$Y win_w=$WIDTH win_h=$HEIGHT
}

step "start with no settings file"
start_program
check_geometry 200,107,696,480
wait_until 10 eval '[ "$(grab; colour_at "$screen" $((win_x + 500)) $((win_y + 200)))" = "#FFFFFF" ]' ||
    fail "the grid panel is not white"
shot start

# The panel starts below the menu bar: its two bevel rows are the first non-white ones
# above the white inside.
menu_height=$(convert "$screen" -crop "1x60+$((win_x + 500))+$win_y" +repage -depth 8 txt:- |
    awk -F'[,:]' '/#FFFFFF/ { print $2 - 2; exit }')
[ -n "$menu_height" ] || fail "no panel below the menu bar"
panel_x=$win_x
panel_y=$((win_y + menu_height))
panel_h=$((win_h - menu_height - 19))
dark=$(colour_at "$screen" $((panel_x + 300)) "$panel_y")
light=$(colour_at "$screen" $((panel_x + 300)) $((panel_y + panel_h - 1)))
[ "$dark" != "#FFFFFF" ] || fail "the panel has no lowered bevel"

# The designed window shows 13 columns and 8 rows of cells. The region checked runs from
# panel pixel (14, 14) over every cell and frame of the page.
columns=13
rows=8
region_w=$((50 * (columns - 1) + 40))
region_h=$((51 * (rows - 1) + 40))
region="${region_w}x${region_h}+$((panel_x + 14))+$((panel_y + 14))"
# The scroll bar: 16 pixels wide inside the panel's right bevel, full height.
bar_x=$((panel_x + win_w - 2 - 16))
bar_region="16x$((panel_h - 4))+$bar_x+$((panel_y + 2))"

all_white "$region" || fail "cells before any folder is open"
# The status bar, 19 pixels along the bottom, without its size grip at the right end.
status_blank() {
    grab
    [ "$(convert "$screen" -crop "$((win_w - 40))x15+$((win_x + 2))+$((win_y + win_h - 17))" +repage \
        -format '%[fx:maxima.intensity - minima.intensity]' info:)" = 0 ]
}
status_blank || fail "text in the status bar at start"
all_white "$bar_region" || fail "a scroll bar before any folder is open"

# The File menu as it opens at start, with only Open, printer set-up and Exit enabled.
menu_picture "$file_x" "$work/file-menu-start.png"

# The page that should show from icon $1 on: the temporary bitmaps on white at their
# cells, and with $2 the selection frame of that cell: a square outline of the panel's
# shadow colour one pixel outside the picture, and one of its highlight colour a pixel
# further right and down, both beneath the picture. With $3 (ring), the last input was a
# key: a black outline two pixels outside the frame shows where the keys are.
expected_page() {
    local first=$1 selected=${2:-} ring=${3:-} k c r n
    local -a args=(-size "${region_w}x${region_h}" xc:white +antialias -fill none -strokewidth 1)
    if [ -n "$selected" ]; then
        c=$((selected % columns)) r=$((selected / columns))
        args+=(-stroke "$light" -draw "rectangle $((2 + 50 * c)),$((2 + 51 * r)) $((37 + 50 * c)),$((37 + 51 * r))"
            -stroke "$dark" -draw "rectangle $((1 + 50 * c)),$((1 + 51 * r)) $((36 + 50 * c)),$((36 + 51 * r))")
        [ -z "$ring" ] ||
            args+=(-stroke black -draw "rectangle $((50 * c - 1)),$((51 * r - 1)) $((39 + 50 * c)),$((39 + 51 * r))")
    fi
    for ((k = 0; k < columns * rows; k++)); do
        n=$((first + k))
        [ "$n" -le "$icon_count" ] || break
        c=$((k % columns)) r=$((k / columns))
        args+=("$prog/$(printf 'Temp%05d.bmp' "$n")" -geometry "+$((2 + 50 * c))+$((2 + 51 * r))" -composite)
    done
    convert "${args[@]}" "$work/expected.png"
}
page_shown() {
    grab
    crop "$screen" "$region" "$work/page.png"
    same_image "$work/page.png" "$work/expected.png"
}
expect_page() {
    expected_page "$@"
    wait_until 30 page_shown ||
        fail "the page from icon $1${2:+ with cell $2 selected} is not on the screen (see $shots/failure.png)"
}

# The selected row of the folder dialog's tree, as "top height" on the screen: the run of
# the selection's colour (the Fusion style's highlight, the style Qt takes without a
# desktop) down a column near the tree's left edge. Nothing when no row is selected in sight.
selected_row() {
    grab
    convert "$screen" -crop "1x$((dialog_h - 100))+$((dialog_x + 20))+$((dialog_y + 50))" +repage -depth 8 txt:- |
        awk -F'[,: ]+' -v y0=$((dialog_y + 50)) '/#308CC6/ { if (n++ == 0) top = $2 } END { if (n >= 8) print top + y0, n }'
}
# The row below the selected one.
row_below() {
    local top=${1% *} height=${1#* }
    grab
    crop "$screen" "$((dialog_w - 50))x$height+$((dialog_x + 14))+$((top + height))" "$2"
}

# The folder dialog opens with the home folder selected, in sight, while the tree reads the
# folders above it in the background. With the dialog mapped and holding the keyboard and
# that row selected in sight and still, Right opens the home folder; once its folders show
# below it, the first letter of a name selects that folder.
choose_folder() {
    local name=$1 confirm=$2 dialog dialog_x dialog_y dialog_w dialog_h home_row X Y WIDTH HEIGHT SCREEN WINDOW
    wait_until 10 window_shown '^フォルダーの参照$' || fail "the folder dialog did not open"
    dialog=$(visible_window '^フォルダーの参照$')
    eval "$(xdotool getwindowgeometry --shell "$dialog")"
    dialog_x=$X dialog_y=$Y dialog_w=$WIDTH dialog_h=$HEIGHT
    # Qt gives a new dialog the keyboard itself; without a window manager nothing else would.
    has_focus() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$dialog" ]; }
    has_focus || xdotool windowfocus "$dialog"
    wait_until 10 has_focus || fail "the folder dialog did not get the keyboard"
    home_selected() {
        home_row=$(selected_row)
        [ -n "$home_row" ] || return 1
        sleep 0.3
        [ "$(selected_row)" = "$home_row" ]
    }
    wait_until 20 home_selected || fail "the folder dialog shows no selected folder (see $shots/failure.png)"
    row_below "$home_row" "$work/below-before.png"
    xdotool key Right
    home_opened() {
        row_below "$home_row" "$work/below-now.png"
        ! same_image "$work/below-before.png" "$work/below-now.png"
    }
    wait_until 10 home_opened || fail "the home folder did not open in the folder dialog"
    xdotool key "${name:0:1}"
    folder_selected() {
        local row
        row=$(selected_row)
        [ -n "$row" ] && [ "${row% *}" -gt "${home_row% *}" ]
    }
    wait_until 10 folder_selected || fail "typing ${name:0:1} selected no folder of the home folder"
    shot "folder-dialog-$name"
    if [ "$confirm" = click ]; then
        # OK, left of キャンセル at the dialog's bottom right.
        click $((dialog_x + dialog_w - 145)) $((dialog_y + dialog_h - 24))
    else
        xdotool key Return
    fi
    wait_until 10 window_gone '^フォルダーの参照$' || fail "the folder dialog did not close"
}

step "open the folder through the folder dialog"
menu "$file_x" "$open_y"
choose_folder icons click
wait_until 30 window_shown "^Vistrel \\.\\.\\.\\.\\. $icons\$" ||
    fail "caption '$(xdotool getwindowname "$win")', expected 'Vistrel ..... $icons'"

step "the first page"
expect_page 1
grab
all_white "$bar_region" && fail "no scroll bar with $icon_count icons"
# The scan's progress text is gone, and no menu is open to show a hint.
status_blank || fail "text left in the status bar after Open"
shot first-page

step "one page down with the scroll bar's lower arrow"
page_start=$((1 + columns * rows))
click $((bar_x + 8)) $((panel_y + panel_h - 2 - 8))
# The rebuilt page shows the selection, still cell 0, with its frame.
expect_page "$page_start" 0

temp_bitmap() { printf '%s/Temp%05d.bmp' "$prog" "$1"; }
click_cell() { click $((panel_x + 16 + 50 * ($1 % columns) + 17)) $((panel_y + 16 + 51 * ($1 / columns) + 17)); }
# The clipboard, read as PNG by another process, holds the 34 x 34 temporary bitmap of icon $1.
clipboard_holds() {
    xclip -selection clipboard -t image/png -o >"$work/clip.png" 2>/dev/null || return 1
    [ "$(identify -format '%wx%h' "$work/clip.png" 2>/dev/null)" = 34x34 ] || return 1
    same_image "$work/clip.png" "$(temp_bitmap "$1")"
}
clipboard_says() { identify "$work/clip.png" 2>/dev/null || echo "no picture"; }

step "select a cell"
selected=20
click_cell "$selected"
expect_page "$page_start" "$selected"
shot selected

step "copy with Ctrl+C, and the clipboard read by another process"
xdotool key ctrl+c
wait_until 10 clipboard_holds $((page_start + selected)) ||
    fail "the clipboard does not hold icon $((page_start + selected)): $(clipboard_says)"

step "select another cell and copy through the Edit menu"
# One whose picture differs from the one on the clipboard, so that the copy shows.
other=$((selected + columns))
while cmp -s "$(temp_bitmap $((page_start + selected)))" "$(temp_bitmap $((page_start + other)))"; do
    other=$((other + 1))
done
click_cell "$other"
expect_page "$page_start" "$other"
selected=$other
menu "$edit_x" "$copy_y"
wait_until 10 clipboard_holds $((page_start + selected)) ||
    fail "the clipboard does not hold icon $((page_start + selected)): $(clipboard_says)"

step "save into a new folder"
open_menu "$file_x"
# The main window with a selected icon and its File menu open.
crop "$screen" "${win_w}x${win_h}+$win_x+$win_y" "$shots/main-window.png"
click $((win_x + file_x + 24)) $((win_y + save_y))
choose_folder saved key
# Every file, and nothing else: a batch makes its files in a hidden folder of its own
# and removes it when it is done.
saved_all() { [ "$(ls -A "$saved" | wc -l)" -eq "$icon_count" ]; }
wait_until 30 saved_all || fail "$(ls -A "$saved" | wc -l) files saved, expected $icon_count"
diff -r "$work/extracted" "$saved" >/dev/null || fail "the saved files differ from what --extract writes"

# Whether row $1 of the printed page holds an icon in slot $2: the middle of the slot on
# the page at 50 pixels per inch, below the 10 mm margin and the 10.58 mm page header, has
# a pixel that is not nearly white. Rows are 11.38 mm high, slots 9.525 mm apart.
slot() {
    local x y
    x=$(awk -v k="$2" 'BEGIN { printf "%d", (10 + 2.12 + 9.525 * (k - 1) + 4.5) / 25.4 * 50 - 5 }')
    y=$(awk -v r="$1" 'BEGIN { printf "%d", (10 + 10.58 + 11.38 * (r - 1) + 1.06 + 4.5) / 25.4 * 50 - 5 }')
    [ "$(convert "$printed_page" -crop "10x10+$x+$y" +repage -format '%[fx:minima.intensity < 0.9]' info:)" = 1 ]
}

if [ -n "${VISTREL_PRINT_OUTPUT:-}" ]; then
    printed_before=$(ls "$VISTREL_PRINT_OUTPUT")
else
    echo "No print server (VISTREL_PRINT_OUTPUT unset): the preview is checked, printing is not"
fi

step "print preview"
menu "$file_x" "$print_y"
wait_until 20 window_shown '^プレビュー$' || fail "the preview did not open"
preview=$(visible_window '^プレビュー$')
xprop -id "$preview" _NET_WM_STATE | grep -q _NET_WM_STATE_MAXIMIZED_HORZ &&
    xprop -id "$preview" _NET_WM_STATE | grep -q _NET_WM_STATE_MAXIMIZED_VERT ||
    fail "the preview does not ask to be maximised: $(xprop -id "$preview" _NET_WM_STATE)"
# No window manager here to maximise it: do what one would.
xdotool windowmove --sync "$preview" 0 0
xdotool windowsize --sync "$preview" 1024 768
click 512 400
# Below the second page's two rows of icons the first page has more; the second is white.
rows_below="800x350+100+300"
first_preview_page() {
    grab
    all_white "$rows_below" && return 1
    crop "$screen" 1024x768+0+0 "$work/preview-now.png"
    # Still for a second: the run has made its second page, which the status bar counts.
    sleep 1
    grab
    crop "$screen" 1024x768+0+0 "$work/preview-page1.png"
    same_image "$work/preview-now.png" "$work/preview-page1.png"
}
wait_until 30 first_preview_page || fail "the preview shows no first page"
shot preview-page1
on_first_page() {
    grab
    crop "$screen" 1024x768+0+0 "$work/preview-now.png"
    same_image "$work/preview-now.png" "$work/preview-page1.png"
}
on_last_page() {
    grab
    all_white "$rows_below"
}
for keys in "Next last" "Prior first" "End last" "Home first" "ctrl+Next last" "ctrl+Prior first"; do
    set -- $keys
    xdotool key "$1"
    wait_until 5 "on_$2_page" || fail "key $1 did not show the $2 page of the preview"
    if [ "$1" = Next ]; then shot preview-page2; fi
done

if [ -n "${VISTREL_PRINT_OUTPUT:-}" ]; then
    step "print to the print server"
    # 印刷, the tenth button of the tool bar along the window's top.
    click 297 18
    xdotool mousemove 512 400
    # Other tests may print at the same time: this list is the PDF whose second page holds
    # a full row and then a row of three icons (440 = 418 + 19 + 3).
    new_pdf() {
        local name
        for name in $(ls "$VISTREL_PRINT_OUTPUT"); do
            case "$name" in *.pdf) ;; *) continue ;; esac
            grep -qxF "$name" <<<"$printed_before" && continue
            pdf="$VISTREL_PRINT_OUTPUT/$name"
            pdfinfo "$pdf" 2>/dev/null | grep -Eq '^Pages: +2$' || continue
            rm -f "$work"/printed-*.png
            pdftoppm -r 50 -f 2 -l 2 -png "$pdf" "$work/printed" 2>/dev/null || continue
            printed_page=$(ls "$work"/printed-*.png)
            slot 1 19 && slot 2 1 && slot 2 3 && ! slot 2 4 && ! slot 3 1 && return 0
        done
        return 1
    }
    wait_until 60 new_pdf || fail "the print server wrote no PDF of the icon list"
    info=$(pdfinfo "$pdf")
    grep -Eq '^Page size: +595(\.[0-9]+)? x 84[12](\.[0-9]+)? pts \(A4\)' <<<"$info" ||
        fail "the printed list is not on A4: $info"
fi

step "close the preview"
click 512 400
xdotool key Escape
wait_until 10 window_gone '^プレビュー$' || fail "Esc did not close the preview"
# The main window is usable again, with its page and selection as they were; Esc was a
# key, so the keys' ring shows around the selected icon.
expect_page "$page_start" "$selected" ring

step "close the folder"
menu "$file_x" "$close_y"
wait_until 10 window_shown '^Vistrel$' || fail "caption '$(xdotool getwindowname "$win")' after Close"
wait_until 10 eval 'grab; all_white "$region"' || fail "cells left after Close"
all_white "$bar_region" || fail "the scroll bar still shows after Close"
status_blank || fail "text in the status bar after Close"
shot closed
menu_picture "$file_x" "$work/file-menu-closed.png"
same_image "$work/file-menu-start.png" "$work/file-menu-closed.png" ||
    fail "after Close the File menu is not as at start"

step "move and resize the window, then exit"
xdotool windowmove --sync "$win" 150 90
xdotool windowsize --sync "$win" 720 500
check_geometry 150,90,720,500
menu "$file_x" "$exit_y"
program_ended() { ! kill -0 "$app_pid" 2>/dev/null; }
wait_until 15 program_ended || fail "Exit did not end the program"
wait "$app_pid" || fail "the program ended with status $?"
app_pid=

step "what the program left in its folder"
settings=$(tr -d '\r' <"$prog/Vistrel.ini" 2>/dev/null) || fail "no Vistrel.ini"
for line in "[MainForm]" Top=90 Left=150 Height=500 Width=720; do
    grep -qxF "$line" <<<"$settings" || fail "Vistrel.ini lacks '$line':"$'\n'"$settings"
done
leftovers=$(find "$prog" -iname 'temp*.bmp')
[ -z "$leftovers" ] || fail "temporary bitmaps left behind: $leftovers"
{ cat "$work/program-before"; echo Vistrel.ini; } | sort >"$work/program-expected"
ls -A "$prog" | sort | diff "$work/program-expected" - >/dev/null ||
    fail "the program's folder holds $(ls -A "$prog" | tr '\n' ' ')"
cmp -s "$program" "$prog/vistrel" || fail "the executable changed"

step "start again: the stored geometry"
start_program
check_geometry 150,90,720,500
menu "$file_x" "$exit_y"
wait_until 15 program_ended || fail "Exit did not end the program"
wait "$app_pid" || fail "the program ended with status $?"
app_pid=
[ "$(tr -d '\r' <"$prog/Vistrel.ini")" = "$settings" ] || fail "Vistrel.ini changed on a run that moved nothing"

echo "PASS: the whole session as a person would run it"
