#!/usr/bin/env bash
# A real thumbnail client, GNOME's thumbnail factory (what Nautilus uses), makes thumbnails
# through the installed vistrel.thumbnailer, found on XDG_DATA_DIRS, at the normal and the
# large size: for PE programs and libraries, an NE file and icon files renamed to .exe and
# .dll, Control Panel items, ActiveX controls, screen savers and .mun files, each with the
# type GIO gives it as it does for Nautilus, from the installed MIME globs (libfm-data's,
# which call *.dll an ELF library, among them); a file without icons, damaged files and a
# System32 file whose icons are in its .mun (the factory's sandbox shows the thumbnailer
# nothing but INPUT) are reported as failures.
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
cp "$data/icons.exe" "$data/icons64.dll" "$data/ne/old.exe" "$data/notes.exe" "$data/damaged/renamed-icon.dll" \
   "$data/damaged/rva-outside.dll" "$data/damaged/loop-type-root.dll" "$work/"
# An icon file with 128 and 256 pixel pictures, so that the two sizes differ.
cp "$data/sizes.ico" "$work/renamed.exe"
cp "$data/kinds/panel.cpl" "$data/kinds/control.OCX" "$data/kinds/saver.scr" "$data/kinds/res.mun" "$work/"
cp -r "$data/windows/Windows" "$work/"

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
def detected(name):
    info = Gio.File.new_for_path(os.path.join(work, name)).query_info('standard::content-type', 0, None)
    return info.get_content_type()

# Newer shared-mime-info releases give NE files a type of their own, which the thumbnailer
# entry must list too; Debian 12 detects them as every other executable.
ne = 'application/x-ms-ne-executable'
size = GnomeDesktop.DesktopThumbnailSize
for flavor, pixels in ((size.NORMAL, 128), (size.LARGE, 256)):
    factory = GnomeDesktop.DesktopThumbnailFactory.new(flavor)
    for name, mime, expected in (('icons.exe', None, True), ('icons64.dll', None, True), ('old.exe', None, True),
                                 ('old.exe', ne, True), ('renamed.exe', None, True), ('renamed-icon.dll', None, True),
                                 ('notes.exe', None, False), ('rva-outside.dll', None, False),
                                 ('loop-type-root.dll', None, False), ('panel.cpl', None, True),
                                 ('control.OCX', None, True), ('saver.scr', None, True), ('res.mun', None, True),
                                 ('Windows/System32/shell32.dll', None, False)):
        mime = mime or detected(name)
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
        direct = os.path.join(work, f"{name.replace('/', '_')}-{pixels}.png")
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
