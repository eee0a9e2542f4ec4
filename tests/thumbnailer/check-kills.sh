#!/usr/bin/env bash
# Kills at random moments leave nothing behind: --extract and the thumbnailer, killed alone
# or with their process group, by SIGKILL or a signal they end on. Afterwards a thumbnail
# this run made is absent or whole, the icons written are whole, the batch's staging
# folder is gone after the next batch (at once for a signal it catches).
#   check-kills.sh BUILD_DIR TEST_DATA_DIR [KILLS]
set -euo pipefail -m # -m: each run in a process group of its own, as a client's is
vistrel=$1/bin/vistrel thumbnailer=$1/bin/vistrel-thumbnailer data=$2 kills=${3:-100}
source "$(dirname "${BASH_SOURCE[0]}")/../testlib.sh"
# On tmpfs where there is one: each batch ends with a sync of its file system.
work=$(mktemp -d -p "$([ -w /dev/shm ] && echo /dev/shm || echo "${TMPDIR:-/tmp}")" kills.XXXXXX)
# No EXIT trap: a run's shell, killed before it starts the program, would run it too.
mkdir "$work/many"
for k in $(seq 150); do cp "$data/icons64.dll" "$work/many/$k.dll"; done
"$vistrel" --extract "$work/many" "$work/whole" >/dev/null
"$thumbnailer" -s 256 "$data/icons.exe" "$work/whole.png"
staged() { find "$work/out" -name '.vistrel.*' 2>/dev/null | grep -q .; }
thumbnail_settled() { [ ! -e "$work/out.png" ] || cmp -s "$work/out.png" "$work/whole.png"; }

for run in $(seq "$kills"); do
    signal=$(shuf -n1 -e KILL TERM HUP INT) group=$(shuf -n1 -e '' -) made=$((RANDOM % 2))
    rm -f "$work/out.png"
    if [ $((RANDOM % 2)) -eq 0 ]; then
        what=thumbnailer delay=$(printf '0.%03d' $((RANDOM % 8)))
        # As tumbler does it, OUTPUT made beforehand; else made by the run, as GNOME's is.
        [ "$made" -eq 0 ] || : >"$work/out.png"
        "$thumbnailer" -s 256 "$data/icons.exe" "$work/out.png" 2>/dev/null &
    else
        what=extract delay=$(printf '0.%03d' $((RANDOM % 150))) left=$(staged && echo 1 || true)
        "$vistrel" --extract "$work/many" "$work/out" >/dev/null 2>&1 &
    fi
    pid=$!
    sleep "$delay"
    kill -s "$signal" -- "$group$pid" 2>/dev/null || true
    status=0 && wait "$pid" || status=$?
    case=" run $run: $what, SIG$signal ${group:+to the group }after ${delay}s, status $status"
    if [ "$what" = thumbnailer ]; then
        if [ "$made" -eq 1 ] || [ "$status" -eq 0 ]; then
            [ "$status" -ne 0 ] || cmp -s "$work/out.png" "$work/whole.png" || fail "a cut thumbnail reported:$case"
        else # the watchdog may still be removing it
            wait_until 5 thumbnail_settled || fail "a cut thumbnail left:$case"
        fi
    else
        for file in "$work"/out/Icon*; do
            [ -e "$file" ] || continue
            cmp -s "$file" "$work/whole/${file##*/}" || fail "${file##*/} cut:$case"
        done
        # One a SIGKILL left before goes with the batch's first icon.
        [ "$signal" = KILL ] || [ -n "$left" ] || ! staged || fail "a staging folder left:$case"
        [ $((RANDOM % 4)) -ne 0 ] || rm -rf "$work/out"
    fi
done
# The next batch takes away what SIGKILL left (and one left unlocked for sure, whatever the
# kills did), but not a folder still locked (in use).
mkdir -p "$work/out/.vistrel.dead" && touch "$work/out/.vistrel.dead/Icon00001.bmp"
mkdir -p "$work/out/.vistrel.held" && flock "$work/out/.vistrel.held" "$vistrel" --extract "$data/icons.exe" "$work/out" >/dev/null
left=$(find "$work/out" -name '.vistrel.*' -printf '%f ') && [ "$left" = ".vistrel.held " ] || fail "staging folders after the next batch: $left"
rm -rf "$work"
echo "$kills kills left no cut file and, after the next batch, no staging folder"
