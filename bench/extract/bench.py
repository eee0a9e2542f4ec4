#!/usr/bin/env python3
"""Icon extraction speed and memory on a folder of 10 000 icons.

  bench/extract/bench.py BUILD/bin/vistrel [WORK]     (or: cmake --build BUILD --target bench_extract)

The folder holds copies of the test executables (tests/data) and five 15 MB libraries (the
same icons followed by 15 MB of other data), 10 000 icons in all. It is extracted
  - by `vistrel --extract FOLDER OUT`,
  - by Debian's icoutils: `wrestool -x -t14` on each file, then `icotool -x -w 32` on the
    icon files that gives,
  - and, as the floor, the mere writing of vistrel's 10 000 output files: a copy of them,
    made durable once (`cp -r`, then `sync -f`), as vistrel makes its batch durable.
Prints the times, their ratios and vistrel's peak memory (maximum resident set size).
"""
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, '..', '..', 'tests', 'data')


def make_folder(folder):
    os.makedirs(folder)
    with open(os.path.join(DATA, 'icons.exe'), 'rb') as f:
        exe = f.read()  # 8 icons
    with open(os.path.join(DATA, 'icons64.dll'), 'rb') as f:
        dll = f.read()  # 3 icons
    for i in range(1000):
        with open(os.path.join(folder, f'lib{i:04}.dll'), 'wb') as f:
            f.write(dll)
    for i in range(870):
        with open(os.path.join(folder, f'prog{i:04}.exe'), 'wb') as f:
            f.write(exe)
    for i in range(5):
        with open(os.path.join(folder, f'large{i}.dll'), 'wb') as f:
            f.write(exe + os.urandom(15 << 20))
    return 1000 * 3 + 870 * 8 + 5 * 8


def timed(command, **kw):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, **kw)
    return time.perf_counter() - start, before


def icoutils(folder, out):
    groups = os.path.join(out, 'groups')
    pngs = os.path.join(out, 'png')
    os.makedirs(groups)
    os.makedirs(pngs)
    for name in sorted(os.listdir(folder)):
        target = os.path.join(groups, name)
        os.makedirs(target)
        subprocess.run(['wrestool', '-x', '-t14', '-o', target, os.path.join(folder, name)], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        icons = [os.path.join(target, f) for f in os.listdir(target)]
        if icons:
            subprocess.run(['icotool', '-x', '-w', '32', '-o', pngs] + icons, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def main():
    vistrel = os.path.abspath(sys.argv[1])
    work = tempfile.mkdtemp(prefix='vistrel-bench-', dir=sys.argv[2] if len(sys.argv) > 2 else None)
    try:
        folder = os.path.join(work, 'folder')
        icons = make_folder(folder)
        print(f'folder: {len(os.listdir(folder))} files, {icons} icons')

        out = os.path.join(work, 'vistrel')
        os.makedirs(out)
        # Peak memory of vistrel alone: run it through GNU time.
        start = time.perf_counter()
        result = subprocess.run(['/usr/bin/time', '-f', '%M', vistrel, '--extract', folder, out], check=True,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        t_vistrel = time.perf_counter() - start
        peak_kb = int(result.stderr.strip().splitlines()[-1])
        written = len(os.listdir(out))

        start = time.perf_counter()
        icoutils(folder, os.path.join(work, 'icoutils'))
        t_icoutils = time.perf_counter() - start

        start = time.perf_counter()
        floor = os.path.join(work, 'floor')
        subprocess.run(['cp', '-r', out, floor], check=True)
        subprocess.run(['sync', '-f', floor], check=True)
        t_floor = time.perf_counter() - start

        print(f'vistrel --extract:        {t_vistrel:8.3f} s  ({written} bitmaps)')
        print(f'wrestool + icotool:       {t_icoutils:8.3f} s')
        print(f'floor (cp -r, sync -f):    {t_floor:8.3f} s')
        print(f'icoutils / vistrel:       {t_icoutils / t_vistrel:8.1f} x  (target >= 10)')
        print(f'vistrel / floor:          {t_vistrel / t_floor:8.1f} x  (target <= 2)')
        print(f'vistrel peak memory:      {peak_kb / 1024:8.1f} MB (target < 64)')
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
