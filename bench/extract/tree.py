#!/usr/bin/env python3
"""--extract --recursive and --list --json over a Windows-shaped tree of 50 000 files in 2 000 folders.

  bench/extract/tree.py BUILD/bin/vistrel [WORK]   (or: cmake --build BUILD --target bench_extract_tree)

The tree holds copies of the test executables (tests/data): 25 files in each of 2 000
folders, 40 folders at the top with 50 below each; the first of those 50 is a System32
whose odd files take their icons from the .mun files of a SystemResources beside it. Measured, side by side:
  - `vistrel --extract --recursive TREE OUT` in a pipe, and on a terminal (under
    `script`), where it keeps a progress line: the line's cost;
  - the floor: copying vistrel's output files and syncing them once (`cp -r`, `sync -f`);
  - `vistrel --list --json --recursive TREE` against `wrestool -l` of every file.
Prints the times, their ratios and vistrel's peak memory (maximum resident set size).
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, '..', '..', 'tests', 'data')
SOURCES = ['icons.exe', 'icons64.dll', 'noresources.exe', 'notes.exe', 'cursors/cursors.exe']


def make_tree(tree):
    contents = []
    for name in SOURCES:
        with open(os.path.join(DATA, name), 'rb') as f:
            contents.append((os.path.basename(name), f.read()))
    windows = os.path.join(DATA, 'windows', 'Windows')
    with open(os.path.join(windows, 'System32', 'shell32.dll'), 'rb') as f:
        redirected = f.read()
    with open(os.path.join(windows, 'SystemResources', 'shell32.dll.mun'), 'rb') as f:
        mun = f.read()
    files = 0
    for top in range(40):
        for sub in range(50):
            # Each top folder is shaped as a Windows folder: its first folder a System32
            # whose odd files take their icons from SystemResources beside it.
            system = sub == 0
            folder = os.path.join(tree, f'dir{top:02}', 'System32' if system else f'sub{sub:02}')
            os.makedirs(folder)
            for i in range(25):
                name, data = contents[i % len(contents)]
                stem, ext = os.path.splitext(name)
                if system and i % 2:
                    name, data = f'shell{i:02}.dll', redirected
                    resources = os.path.join(tree, f'dir{top:02}', 'SystemResources')
                    os.makedirs(resources, exist_ok=True)
                    with open(os.path.join(resources, name + '.mun'), 'wb') as f:
                        f.write(mun)
                else:
                    name = f'{stem}{i:02}{ext}'
                with open(os.path.join(folder, name), 'wb') as f:
                    f.write(data)
                files += 1
    return files


def timed(command, **kw):
    start = time.perf_counter()
    result = subprocess.run(command, check=True, **kw)
    return time.perf_counter() - start, result


def main():
    vistrel = os.path.abspath(sys.argv[1])
    work = tempfile.mkdtemp(prefix='vistrel-tree-', dir=sys.argv[2] if len(sys.argv) > 2 else None)
    try:
        tree = os.path.join(work, 'tree')
        print(f'tree: {make_tree(tree)} files in 2000 folders')
        subprocess.run(['sync'], check=True)

        # In a pipe and on a terminal, taking turns twice: the fastest of each counts, so
        # the progress line's cost is not lost in the file system's own ups and downs.
        t_pipe = t_terminal = float('inf')
        peak_kb = 0
        for run in range(2):
            out = os.path.join(work, f'pipe{run}')
            t, result = timed(['/usr/bin/time', '-f', '%M', vistrel, '--extract', '--recursive', tree, out],
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
            t_pipe = min(t_pipe, t)
            peak_kb = max(peak_kb, int(result.stderr.strip().splitlines()[-1]))
            written = len(os.listdir(out))
            terminal = os.path.join(work, f'terminal{run}')
            command = f"'{vistrel}' --extract --recursive '{tree}' '{terminal}' > /dev/null"
            t, _ = timed(['script', '-qec', command, '/dev/null'], stdout=subprocess.DEVNULL)
            t_terminal = min(t_terminal, t)

        floor = os.path.join(work, 'floor')
        start = time.perf_counter()
        subprocess.run(['cp', '-r', out, floor], check=True)
        subprocess.run(['sync', '-f', floor], check=True)
        t_floor = time.perf_counter() - start

        t_list, _ = timed([vistrel, '--list', '--json', '--recursive', tree], stdout=subprocess.DEVNULL)
        start = time.perf_counter()
        for folder, _, names in os.walk(tree):
            for name in sorted(names):
                subprocess.run(['wrestool', '-l', os.path.join(folder, name)], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
        t_wrestool = time.perf_counter() - start

        print(f'vistrel --extract --recursive:   {t_pipe:8.3f} s  ({written} files written)')
        print(f'  on a terminal, progress line:  {t_terminal:8.3f} s  ({(t_terminal / t_pipe - 1) * 100:+.1f} %, target < 2 %)')
        print(f'floor (cp -r, sync -f):          {t_floor:8.3f} s')
        print(f'vistrel / floor:                 {t_pipe / t_floor:8.2f} x  (target <= 2)')
        print(f'vistrel peak memory:             {peak_kb / 1024:8.1f} MB (target <= 64)')
        print(f'vistrel --list --json:           {t_list:8.3f} s')
        print(f'wrestool -l, each file:          {t_wrestool:8.3f} s  ({t_wrestool / t_list:.1f} x vistrel)')
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
