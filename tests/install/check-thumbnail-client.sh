#!/usr/bin/env bash
# A real thumbnail client, GNOME's thumbnail factory (what Nautilus uses), makes thumbnails
# through the installed vistrel.thumbnailer, found on XDG_DATA_DIRS, at the normal and the
# large size: for a PE file, an NE file and an icon file renamed to .exe; a file without
# icons and damaged files are reported as failures.
# The factory runs thumbnailers in a sandbox that sees only /usr, so the prefix is a fresh
# folder under /usr/local, removed again afterwards.
#   check-thumbnail-client.sh BUILD_DIR TEST_DATA_DIR
set -euo pipefail
build=$1
data=$2
source "$(dirname "${BASH_SOURCE[0]}")/../testlib.sh"
[ -w /usr/local ] || skip "installing under /usr/local needs root"
prefix=$(mktemp -d /usr/local/vistrel-client.XXXXXX)
work=$(mktemp -d)
trap 'rm -rf "$prefix" "$work"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
cp "$data/icons.exe" "$data/ne/old.exe" "$data/notes.exe" \
   "$data/damaged/rva-outside.dll" "$data/damaged/loop-type-root.dll" "$work/"
# An icon file with 128 and 256 pixel pictures, so that the two sizes differ.
cp "$data/sizes.ico" "$work/renamed.exe"

# Thumbnails go to the cache under HOME: a fresh one, so nothing earlier is reused. The
# factory waits for a thumbnailer without end, so the timeout ends all should one hang.
HOME=$work/home XDG_CACHE_HOME=$work/cache XDG_DATA_DIRS="$prefix/share:/usr/share" \
    timeout -k 5 100 /usr/bin/python3 - "$work" "$build/bin/vistrel-thumbnailer" <<'PYTHON'
import os, subprocess, sys
import gi
gi.require_version('GnomeDesktop', '3.0')
from gi.repository import Gio, GnomeDesktop, GdkPixbuf

work, thumbnailer = sys.argv[1:]
failed = []
# Debian 12 calls every executable x-ms-dos-executable; newer shared-mime-info releases
# give NE files a type of their own, which the thumbnailer entry must list too.
dos, ne = 'application/x-ms-dos-executable', 'application/x-ms-ne-executable'
size = GnomeDesktop.DesktopThumbnailSize
for flavor, pixels in ((size.NORMAL, 128), (size.LARGE, 256)):
    factory = GnomeDesktop.DesktopThumbnailFactory.new(flavor)
    for name, mime, expected in (('icons.exe', dos, True), ('old.exe', dos, True), ('old.exe', ne, True),
                                 ('renamed.exe', dos, True), ('notes.exe', dos, False),
                                 ('rva-outside.dll', dos, False), ('loop-type-root.dll', dos, False)):
        what = f'{name} as {mime}, {pixels}'
        path = os.path.join(work, name)
        uri = Gio.File.new_for_path(path).get_uri()
        try:
            thumbnail = factory.generate_thumbnail(uri, mime, None)
        except Exception as error:
            thumbnail = None
            print(f'{what}: no thumbnail ({error})')
        if (thumbnail is not None) != expected:
            failed.append(what)
            continue
        if thumbnail is None:
            continue
        # The very picture vistrel makes for the same file and size.
        direct = os.path.join(work, f'{name}-{pixels}.png')
        subprocess.run([thumbnailer, '-s', str(pixels), path, direct], check=True, timeout=20)
        mine = GdkPixbuf.Pixbuf.new_from_file(direct)
        same = (thumbnail.get_width(), thumbnail.get_height(), thumbnail.get_pixels()) == \
            (mine.get_width(), mine.get_height(), mine.get_pixels())
        print(f'{what}: {thumbnail.get_width()}x{thumbnail.get_height()}, {"as vistrel makes it" if same else "another picture"}')
        if not same:
            failed.append(what)
sys.exit(1 if failed else 0)
PYTHON
echo "thumbnails made through $prefix/share/thumbnailers/vistrel.thumbnailer"
