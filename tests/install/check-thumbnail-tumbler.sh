#!/usr/bin/env bash
# XFCE's thumbnail service, tumbler (what Thunar uses), makes thumbnails through the
# installed vistrel.thumbnailer, found on XDG_DATA_DIRS by its desktop-thumbnailer plugin.
# It is driven as Thunar drives it: on a session bus of its own, one Queue call per size
# with the files and their types, then the Ready, Error and Finished signals, which
# tumblerd sends to the caller alone, with the types GIO gives the files as it does for
# Thunar (libfm-data's globs installed among the rest). PE programs and libraries, NE
# files, renamed icon files, Control Panel items, ActiveX controls, screen savers, .mun
# files and a System32 library whose icons are in its .mun get thumbnails in the normal
# and the large cache, as vistrel-thumbnailer makes them; a file without icons and
# damaged files get Error.
#   check-thumbnail-tumbler.sh BUILD_DIR TEST_DATA_DIR
set -euo pipefail
build=$1
data=$2
source "$(dirname "${BASH_SOURCE[0]}")/../testlib.sh"
tumblerd=$(dpkg -L tumbler 2>/dev/null | grep '/tumbler-1/tumblerd$' || true)
[ -x "$tumblerd" ] || skip "tumblerd is missing (Debian package tumbler)"
command -v dbus-run-session >/dev/null || skip "dbus-run-session is missing (Debian package dbus-daemon)"
/usr/bin/python3 -c 'import gi; gi.require_version("GdkPixbuf", "2.0")' 2>/dev/null ||
    skip "python3 with GdkPixbuf is missing (Debian packages python3-gi, gir1.2-gdkpixbuf-2.0)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
mkdir "$work/files" "$work/home" "$work/cache" "$work/config" "$work/data"
cp "$data/icons.exe" "$data/icons64.dll" "$data/ne/old.exe" "$data/notes.exe" "$data/damaged/renamed-icon.dll" \
   "$data/damaged/rva-outside.dll" "$data/damaged/loop-type-root.dll" "$work/files/"
cp "$data/ne/old.exe" "$work/files/old-ne.exe"
# An icon file with 128 and 256 pixel pictures, so that the two sizes differ.
cp "$data/sizes.ico" "$work/files/renamed.exe"
cp "$data/kinds/panel.cpl" "$data/kinds/control.OCX" "$data/kinds/saver.scr" "$work/files/"
cp -r "$data/windows/Windows" "$work/files/"
# Our own settings, so that a changed /etc/xdg/tumbler/tumbler.rc cannot turn the
# plugin off or limit it to some folders.
mkdir "$work/config/tumbler"
printf '[DesktopThumbnailer]\nDisabled=false\nPriority=0\nLocations=\nExcludes=\nMaxFileSize=0\n' \
    > "$work/config/tumbler/tumbler.rc"

# A fresh home and cache, so that no earlier thumbnail or failure is reused. Should
# anything hang, the timeout ends the bus and the client, and the client tumblerd.
status=0
HOME=$work/home XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data \
XDG_DATA_DIRS="$prefix/share:/usr/share" \
    timeout -k 5 120 dbus-run-session -- /usr/bin/python3 -u - "$work" "$tumblerd" "$prefix/bin/vistrel-thumbnailer" \
    <<'PYTHON' || status=$?
import hashlib, os, signal, subprocess, sys
import gi
gi.require_version('GdkPixbuf', '2.0')
from gi.repository import Gio, GLib, GdkPixbuf

work, tumblerd, thumbnailer = sys.argv[1:]
NAME = 'org.freedesktop.thumbnails.Thumbnailer1'
PATH = '/org/freedesktop/thumbnails/Thumbnailer1'
ne = 'application/x-ms-ne-executable'
files = [('icons.exe', None, True), ('icons64.dll', None, True), ('old.exe', None, True), ('old-ne.exe', ne, True),
         ('renamed.exe', None, True), ('renamed-icon.dll', None, True), ('notes.exe', None, False),
         ('rva-outside.dll', None, False), ('loop-type-root.dll', None, False), ('panel.cpl', None, True),
         ('control.OCX', None, True), ('saver.scr', None, True), ('Windows/SystemResources/shell32.dll.mun', None, True),
         ('Windows/System32/shell32.dll', None, True)]
files = [(name, mime or Gio.File.new_for_path(os.path.join(work, 'files', name))
          .query_info('standard::content-type', 0, None).get_content_type(), expected) for name, mime, expected in files]
failed = []
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
loop = GLib.MainLoop()
signals = []

def wait(done, seconds):
    """Runs the main loop until done() or the time is up; says whether done() came true."""
    timer = GLib.timeout_add_seconds(seconds, loop.quit)
    check = GLib.timeout_add(20, lambda: (loop.quit() if done() else None) or True)
    loop.run()
    GLib.source_remove(check)
    if done():
        GLib.source_remove(timer)
        return True
    return False

def on_signal(connection, sender, path, interface, name, parameters):
    signals.append((name, parameters.unpack()))

bus.signal_subscribe(None, NAME, None, PATH, None, Gio.DBusSignalFlags.NONE, on_signal)
log = open(os.path.join(work, 'tumblerd.log'), 'w')
# A group of its own, so that ending it ends the thumbnailers it started too.
daemon = subprocess.Popen([tumblerd], stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
def stop(*_):
    os.killpg(daemon.pid, signal.SIGKILL)
    os._exit(1)
signal.signal(signal.SIGTERM, stop)
try:
    owned = []
    watch = Gio.bus_watch_name_on_connection(bus, NAME, Gio.BusNameWatcherFlags.NONE,
                                             lambda *args: owned.append(True), None)
    if not wait(lambda: owned or daemon.poll() is not None, 20) or not owned:
        sys.exit(f'tumblerd did not take {NAME} (see {log.name})')
    Gio.bus_unwatch_name(watch)

    for flavor, size in (('normal', 128), ('large', 256)):
        uris = [Gio.File.new_for_path(os.path.join(work, 'files', name)).get_uri() for name, _, _ in files]
        # On this connection, as tumblerd sends the answers to the caller alone.
        mimes = [mime for _, mime, _ in files]
        handle, = bus.call_sync(NAME, PATH, NAME, 'Queue',
                                GLib.Variant('(asasssu)', (uris, mimes, flavor, 'default', 0)),
                                GLib.VariantType('(u)'), Gio.DBusCallFlags.NO_AUTO_START, 20000, None).unpack()
        mine = lambda: [(name, args) for name, args in signals if args[0] == handle]
        if not wait(lambda: any(name == 'Finished' for name, _ in mine()), 40):
            failed.append(f'{flavor}: no Finished signal')
            continue
        ready = {uri for name, args in mine() if name == 'Ready' for uri in args[1]}
        errors = {uri: (args[2], args[3]) for name, args in mine() if name == 'Error' for uri in args[1]}
        for (name, mime, expected), uri in zip(files, uris):
            what = f'{name} as {mime}, {flavor}'
            path = os.path.join(work, 'cache', 'thumbnails', flavor,
                                hashlib.md5(uri.encode()).hexdigest() + '.png')
            if not expected:
                print(f'{what}: Error {errors.get(uri)}')
                if uri not in errors or uri in ready or os.path.exists(path):
                    failed.append(what)
                continue
            if uri not in ready or not os.path.exists(path):
                print(f'{what}: no thumbnail, Error {errors.get(uri)}')
                failed.append(what)
                continue
            # The very picture vistrel makes for the same file and size, which tells that
            # it was our entry that answered and not another thumbnailer.
            direct = os.path.join(work, f"{name.replace('/', '_')}-{size}.png")
            subprocess.run([thumbnailer, '-s', str(size), os.path.join(work, 'files', name), direct],
                           check=True, timeout=20)
            pictures = [GdkPixbuf.Pixbuf.new_from_file(p).add_alpha(False, 0, 0, 0) for p in (path, direct)]
            made, wanted = [(p.get_width(), p.get_height(), p.get_pixels()) for p in pictures]
            print(f'{what}: {made[0]}x{made[1]}, {"as vistrel makes it" if made == wanted else "another picture"}')
            if made != wanted:
                failed.append(what)
finally:
    os.killpg(daemon.pid, signal.SIGTERM)
    try:
        daemon.wait(10)
    finally:
        try:
            os.killpg(daemon.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        daemon.wait()
if failed:
    said = open(log.name).read()
    print(('tumblerd said:\n' + said).rstrip('\n') if said else 'tumblerd said nothing')
    sys.exit('no right answer for: ' + '; '.join(failed))
PYTHON
[ "$status" -eq 0 ] || { [ "$status" -eq 124 ] && echo "FAIL: tumbler did not finish within 120 seconds" >&2; exit 1; }
echo "thumbnails made by tumblerd through $prefix/share/thumbnailers/vistrel.thumbnailer"
