#!/usr/bin/env bash
# vistrel-thumbnailer writes OUTPUT in place, as clients that make it themselves expect,
# and parses INPUT only inside its sandbox: every test file and fuzzing input ends in
# status 0, 1 or 2, never a signal, and the sandbox is there before INPUT's first byte.
#   check-thumbnailer.sh BUILD_DIR TEST_DATA_DIR [CORPUS_DIR]
set -euo pipefail
thumbnailer=$1/bin/vistrel-thumbnailer
data=$2
corpus=${3:-} && { [ -d "$corpus" ] || corpus=; }
source "$(dirname "${BASH_SOURCE[0]}")/../testlib.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
run() { status=0; "$thumbnailer" "$@" 2>/dev/null || status=$?; }
expect() { run "${@:2}"; [ "$status" -eq "$1" ] || fail "${*:2}: status $status"; }

# As tumbler does it: OUTPUT made beforehand, private, and read back through its own
# descriptor, which must find the picture there.
# A longer picture left over there is cut to the new one's length.
(umask 077; head -c 100000 /dev/urandom > "$work/client.png")
exec 3<"$work/client.png"
expect 0 -s 64 "$data/icons.exe" "$work/client.png"
cmp - "$work/client.png" <&3
expect 0 -s 64 "$data/icons.exe" "$work/fresh.png"
cmp "$work/fresh.png" "$work/client.png"
test "$(stat -c %a "$work/client.png")" = 600
# No icon: the client's file stays as it was. A link is neither followed nor replaced.
echo kept > "$work/kept.png"
expect 1 "$data/notes.exe" "$work/kept.png"
ln -s "$work/kept.png" "$work/link.png"
expect 2 "$data/icons.exe" "$work/link.png"
test -L "$work/link.png" -a "$(cat "$work/kept.png")" = kept
# Nor is a file of the kernel's, which a write would change a setting with: here its own name.
expect 2 "$data/icons.exe" /proc/self/comm
# A new file's mode is the umask's; a name of NAME_MAX bytes works.
long=$work/$(printf 'x%.0s' {1..251}).png
(umask 027; expect 0 "$data/icons.exe" "$long")
test "$(stat -c %a "$long")" = 640

# Scaled and copied pictures; OUTPUT exists afterwards exactly when one was written.
find "$data" ${corpus:+"$corpus"} -type f -print0 | while IFS= read -r -d '' input; do
    for size in 32 256; do
        rm -f "$work/out.png"
        run -s "$size" "$input" "$work/out.png"
        if [ "$status" -gt 2 ] || { [ "$status" -eq 0 ] && [ ! -s "$work/out.png" ]; } ||
            { [ "$status" -ne 0 ] && [ -e "$work/out.png" ]; }; then
            echo "FAIL: -s $size $input: status $status, OUTPUT $(ls "$work/out.png" 2>&1)" >&2 && exit 1
        fi
    done
done

command -v strace >/dev/null || skip "strace is missing (Debian package strace)"
# A file per process (-ff), so that the watchdog's calls never split the thumbnailing
# process's lines; that process is the one that opens INPUT.
strace -ff -o "$work/trace" -e trace=openat,landlock_restrict_self,prctl,seccomp,pread64,read \
    "$thumbnailer" "$data/icons64.dll" "$work/traced.png"
trace=$(grep -l 'icons64\.dll", O_RDONLY' "$work"/trace.*)
awk '/icons64\.dll", O_RDONLY/ { fd = $NF }
     /landlock_restrict_self\(.*= 0$/ { landlock = 1 }
     /SECCOMP_MODE_FILTER.*= 0$/ { seccomp = 1 }
     fd != "" && $0 ~ "read(64)?\\(" fd ", " { input = 1; exit }
     END { exit !(input && landlock && seccomp) }' "$trace" ||
    { echo "FAIL: INPUT is read before the sandbox is up:" >&2; cat "$work"/trace.* >&2; exit 1; }
echo "thumbnails written in place, and made in a sandbox"
