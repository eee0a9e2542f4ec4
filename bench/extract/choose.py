#!/usr/bin/env python3
"""One chosen icon to a pipe, as a launcher asks for it, once per file over 200 files.

  bench/extract/choose.py BUILD/bin/vistrel BUILD/bin/vistrel-thumbnailer [BUILD/bin/bench_nothing]
      (or: cmake --build BUILD --target bench_extract_choose)

The 200 files are copies of the test executables (tests/data/icons.exe, icons64.dll). For
each file, side by side in one run, the same first icon is taken
  - by `vistrel --extract --icon 0 --format png --size 256 FILE -`, into a pipe,
  - by `vistrel-thumbnailer -s 256 FILE OUT.png`, as a file manager starts it,
  - by Debian's icoutils: `wrestool -x -t14 --name NAME FILE | icotool -x -o DIR -`.
Prints each one's time per file and the ratios to vistrel's, and the floors: starting
/bin/true the same way, which icoutils pays twice and the others once, and, given
bench_nothing (a static program that ends at once), the least any program on the C
library costs. icoutils' time over that one is the most any such program can be faster
than icoutils; where it is below 5, no program built on the C library reaches the target.
Targets: vistrel within 1.5x of the thumbnailer, at least 5x faster than icoutils.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, '..', '..', 'tests', 'data')
# The resource name of each file's icon 0: what wrestool must be told.
FILES = [('icons.exe', 'APPICON'), ('icons64.dll', 'MAIN')]


def main():
    vistrel = os.path.abspath(sys.argv[1])
    thumbnailer = os.path.abspath(sys.argv[2])
    nothing = os.path.abspath(sys.argv[3]) if len(sys.argv) > 3 else None
    work = tempfile.mkdtemp(prefix='vistrel-bench-')
    try:
        files = []
        for i in range(200):
            name, icon = FILES[i % len(FILES)]
            path = os.path.join(work, f'{i:03}-{name}')
            shutil.copyfile(os.path.join(DATA, name), path)
            files.append((path, icon))
        out = os.path.join(work, 'out')
        os.makedirs(out)
        times = {'vistrel': 0.0, 'thumbnailer': 0.0, 'icoutils': 0.0, 'floor': 0.0, 'static': 0.0}
        # Taking turns file by file, so a slow moment of the machine falls on all three.
        for path, icon in files:
            start = time.perf_counter()
            picture = subprocess.run([vistrel, '--extract', '--icon', '0', '--format', 'png', '--size', '256', path, '-'],
                                     check=True, stdout=subprocess.PIPE).stdout
            times['vistrel'] += time.perf_counter() - start
            assert picture.startswith(b'\x89PNG')

            # A missing OUTPUT, as a file manager leaves it: the thumbnailer then makes it.
            thumb = os.path.join(out, 'thumb.png')
            if os.path.exists(thumb):
                os.unlink(thumb)
            start = time.perf_counter()
            subprocess.run([thumbnailer, '-s', '256', path, thumb], check=True)
            times['thumbnailer'] += time.perf_counter() - start

            start = time.perf_counter()
            wrestool = subprocess.Popen(['wrestool', '-x', '-t14', '--name', icon, path], stdout=subprocess.PIPE)
            subprocess.run(['icotool', '-x', '-o', out, '-'], stdin=wrestool.stdout, check=True)
            wrestool.stdout.close()
            wrestool.wait()
            times['icoutils'] += time.perf_counter() - start

            start = time.perf_counter()
            subprocess.run(['/bin/true'], check=True)
            times['floor'] += time.perf_counter() - start

            if nothing:
                start = time.perf_counter()
                subprocess.run([nothing], check=True)
                times['static'] += time.perf_counter() - start

        per = {k: v / len(files) * 1000 for k, v in times.items()}
        print(f'vistrel --extract --icon 0 ... -:  {per["vistrel"]:7.2f} ms a file')
        print(f'vistrel-thumbnailer -s 256:        {per["thumbnailer"]:7.2f} ms a file')
        print(f'wrestool | icotool -x:             {per["icoutils"]:7.2f} ms a file')
        print(f'floor (/bin/true):                 {per["floor"]:7.2f} ms a file')
        if nothing:
            print(f'floor (a static program):          {per["static"]:7.2f} ms a file')
        print(f'vistrel / thumbnailer:             {per["vistrel"] / per["thumbnailer"]:7.2f} x  (target <= 1.5)')
        print(f'icoutils / vistrel:                {per["icoutils"] / per["vistrel"]:7.2f} x  (target >= 5)')
        if nothing:
            print(f'icoutils / static floor:           {per["icoutils"] / per["static"]:7.2f} x  (the most any program can reach)')
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
