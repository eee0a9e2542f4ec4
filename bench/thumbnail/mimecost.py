#!/usr/bin/env python3
"""What each way of giving *.dll (and executables with the executable bit) thumbnails costs.

  bench/thumbnail/mimecost.py BUILD     (as root: it installs BUILD into a folder under /usr/local)

A file manager starts the thumbnailer for every file of a type the thumbnailer entry lists. Listing
application/x-sharedlib (what libfm-data's glob calls *.dll) or application/x-executable (what
PCManFM calls any program with the executable bit) means a start for every ELF library or program
shown. This measures that start for ELF files, through GNOME's factory (bwrap around the thumbnailer,
failures remembered) and started directly (tumbler, libfm), and the other way, a *.dll glob of the
package's own: what typing a folder's files costs with it installed and without.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

SAMPLE = 60

PROBE = r'''
import os, sys, time
import gi
gi.require_version('GnomeDesktop', '3.0')
from gi.repository import Gio, GnomeDesktop
mode, paths = sys.argv[1], sys.argv[2:]
start = time.perf_counter()
if mode == 'type':
    for path in paths:
        Gio.File.new_for_path(path).query_info('standard::content-type', 0, None)
else:
    factory = GnomeDesktop.DesktopThumbnailFactory.new(GnomeDesktop.DesktopThumbnailSize.NORMAL)
    for path in paths:
        uri = Gio.File.new_for_path(path).get_uri()
        try:
            factory.generate_thumbnail(uri, mode, None)
        except Exception:
            pass
print((time.perf_counter() - start) / len(paths))
'''


def elf_files(folder, magic_type, part=''):
    """Regular ELF files of folder whose names hold part, and how many there are."""
    found = []
    for name in sorted(n for n in os.listdir(folder) if part in n):
        path = os.path.join(folder, name)
        if os.path.isfile(path) and not os.path.islink(path):
            with open(path, 'rb') as f:
                if f.read(4) == b'\x7fELF':
                    found.append(path)
    print(f'{folder}: {len(found)} ELF files, which GIO types {magic_type}')
    return found


def probe(mode, paths, env):
    out = subprocess.run(['/usr/bin/python3', '-c', PROBE, mode] + paths, env=env, capture_output=True, text=True,
                         check=True, timeout=600)
    return float(out.stdout.strip()) * 1000


def main():
    build = os.path.abspath(sys.argv[1])
    prefix = tempfile.mkdtemp(prefix='vistrel-mimecost.', dir='/usr/local')
    home = tempfile.mkdtemp()
    try:
        subprocess.run(['cmake', '--install', build, '--prefix', prefix], check=True, stdout=subprocess.DEVNULL)
        thumbnailer = os.path.join(prefix, 'bin', 'vistrel-thumbnailer')
        # The other way: the entry listing the ELF types too, beside the package's own.
        with open(os.path.join(prefix, 'share', 'thumbnailers', 'vistrel-elf.thumbnailer'), 'w') as f:
            f.write(f'[Thumbnailer Entry]\nTryExec={thumbnailer}\nExec={thumbnailer} -s %s %i %o\n'
                    'MimeType=application/x-sharedlib;application/x-executable;\n')
        libraries = elf_files('/usr/lib/x86_64-linux-gnu', 'application/x-sharedlib', '.so')
        programs = elf_files('/usr/bin', 'application/x-executable')
        sample = libraries[:SAMPLE // 2] + programs[:SAMPLE // 2]
        env = dict(os.environ, HOME=home, XDG_CACHE_HOME=os.path.join(home, 'cache'))
        ours = dict(env, XDG_DATA_DIRS=f'{prefix}/share:/usr/share')
        bare = dict(env, XDG_DATA_DIRS='/usr/share')

        factory = probe('application/x-sharedlib', sample, ours)
        direct = []
        for path in sample:
            start = time.perf_counter()
            subprocess.run([thumbnailer, '-s', '128', path, os.path.join(home, 'out.png')],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            direct.append((time.perf_counter() - start) * 1000)
        direct = statistics.median(direct)
        print(f'listing the ELF types: one start per ELF file shown, {factory:.1f} ms through GNOME\'s factory '
              f'(bwrap), {direct:.1f} ms started directly (tumbler, libfm)')
        for folder, files in (('/usr/lib/x86_64-linux-gnu', libraries), ('/usr/bin', programs)):
            print(f'    {folder} shown once: {len(files) * factory / 1000:.1f} s through GNOME\'s factory, '
                  f'{len(files) * direct / 1000:.1f} s started directly')
        typed = libraries + programs
        with_glob = statistics.median(probe('type', typed, ours) for _ in range(3))
        without = statistics.median(probe('type', typed, bare) for _ in range(3))
        print(f'the *.dll glob instead: typing a file {with_glob * 1000:.1f} us with it, {without * 1000:.1f} us '
              f'without (over {len(typed)} ELF files); no thumbnailer start for any of them')
    finally:
        shutil.rmtree(prefix, ignore_errors=True)
        shutil.rmtree(home, ignore_errors=True)


if __name__ == '__main__':
    main()
