#!/usr/bin/env python3
"""Thumbnails one process per file, as file managers make them, and the exports.

  bench/thumbnail/bench.py BUILD/bin/vistrel [WORK] [--thumbnails]   (or: cmake --build BUILD --target bench_thumbnail)

0. `vistrel-thumbnailer -s 128` and `-s 256` against the process floor: a C program that does nothing,
   dynamically linked as every program is, compiled here with cc and run alternately with the thumbnailer so
   that both see the same load. Per file its median time over the floor's; targets at both sizes, a stored
   PNG checked to its last byte included: the median file within 1.8x the floor, the slowest within 4x, peak
   memory at most 4 MB. --thumbnails stops after this part.
1. `vistrel-thumbnailer -s 128 INPUT OUTPUT` (found beside vistrel) against Debian's `exe-thumbnailer` (package
   icoextract-thumbnailer) over the same files, each run many times: files thumbnailed,
   median and 95th percentile per file (process start included), peak memory. The files:
   the test executables (PE32, PE32+, NE), an icon file renamed to .dll, a file without icons and a 2 GB
   sparse library.
2. `vistrel --extract --format png|ico` over the 10 000-icon folder of bench/extract against
   the wrestool + icotool pipeline on the same folder.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, '..', '..', 'tests', 'data')
sys.path.insert(0, os.path.join(HERE, '..', 'extract'))
import bench as extract_bench  # noqa: E402

RUNS = 20
FLOOR_RUNS = 100


def files(work):
    folder = os.path.join(work, 'files')
    os.makedirs(folder)
    for name in ('icons.exe', 'icons64.dll', 'ne/old.exe', 'notes.exe'):
        shutil.copy(os.path.join(DATA, name), folder)
    shutil.copy(os.path.join(DATA, 'damaged', 'renamed-icon.dll'), folder)
    with open(os.path.join(folder, 'sparse2g.dll'), 'wb') as f:
        f.truncate(2 << 30)
    return [os.path.join(folder, n) for n in sorted(os.listdir(folder))]


def run(command, output):
    """Time as a file manager sees it: the process alone, started and waited for."""
    if output and os.path.exists(output):
        os.remove(output)
    start = time.perf_counter()
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    elapsed = time.perf_counter() - start
    return elapsed, result.returncode == 0 and (not output or os.path.exists(output))


def peak_memory(command):
    """Maximum resident set size in KB, from GNU time (a separate run: time's own start
    would count in the timings)."""
    result = subprocess.run(['/usr/bin/time', '-f', '%M'] + command, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    return int(result.stderr.strip().splitlines()[-1])


def thumbnails(name, make, inputs, work):
    output = os.path.join(work, name + '.png')
    times, peaks, done = [], [], []
    per_file = {}
    for path in inputs:
        ts = []
        ok = False
        peaks.append(peak_memory(make(path, output)))
        for _ in range(RUNS):
            t, ok = run(make(path, output), output)
            ts.append(t)
        times += ts
        per_file[os.path.basename(path)] = (statistics.median(ts), ok)
        if ok:
            done.append(os.path.basename(path))
    times.sort()
    median = statistics.median(times)
    p95 = times[int(len(times) * 0.95) - 1]
    print(f'{name}: {len(done)}/{len(inputs)} files thumbnailed ({", ".join(done)})')
    for file, (t, ok) in per_file.items():
        print(f'    {file:20} {t * 1000:8.1f} ms  {"thumbnail" if ok else "none"}')
    print(f'    median {median * 1000:.1f} ms, p95 {p95 * 1000:.1f} ms, peak memory {max(peaks) / 1024:.1f} MB')
    return median


def floor_program(work):
    source = os.path.join(work, 'floor.c')
    with open(source, 'w') as f:
        f.write('int main(void) { return 0; }\n')
    program = os.path.join(work, 'floor')
    subprocess.run(['cc', '-O2', '-o', program, source], check=True)
    return program


def against_floor(thumbnailer, size, inputs, work):
    """Each file's median time over the floor's median in the same stretch of time, so that
    a machine busy with something else for a while weighs on both alike."""
    floor = floor_program(work)
    output = os.path.join(work, 'floor.png')
    ratios = {}
    print(f'-s {size}:')
    for path in inputs:
        command = [thumbnailer, '-s', str(size), path, output]
        base, times = [], []
        for _ in range(FLOOR_RUNS):
            base.append(run([floor], None)[0])
            times.append(run(command, output)[0])
        t, b, peak = statistics.median(times), statistics.median(base), peak_memory(command)
        ratios[os.path.basename(path)] = (t / b, peak)
        print(f'    {os.path.basename(path):20} {t * 1000:6.2f} ms, floor {b * 1000:5.2f} ms: {t / b:5.2f} x  '
              f'peak {peak / 1024:.1f} MB')
    slowest = max(ratios, key=lambda f: ratios[f][0])
    limit = 4
    print(f'    median file {statistics.median(r for r, _ in ratios.values()):.2f} x floor (target <= 1.8), '
          f'slowest ({slowest}) {ratios[slowest][0]:.2f} x (target <= {limit}), '
          f'peak memory {max(p for _, p in ratios.values()) / 1024:.1f} MB (target <= 4)')


def main():
    arguments = [a for a in sys.argv[1:] if a != '--thumbnails']
    vistrel = os.path.abspath(arguments[0])
    work = tempfile.mkdtemp(prefix='vistrel-bench-', dir=arguments[1] if len(arguments) > 1 else None)
    try:
        inputs = files(work)
        thumbnailer = os.path.join(os.path.dirname(vistrel), 'vistrel-thumbnailer')
        for size in (128, 256):
            against_floor(thumbnailer, size, inputs, work)
        if '--thumbnails' in sys.argv:
            return
        ours = thumbnails('vistrel-thumbnailer', lambda i, o: [thumbnailer, '-s', '128', i, o], inputs, work)
        if shutil.which('exe-thumbnailer'):
            theirs = thumbnails('exe-thumbnailer', lambda i, o: ['exe-thumbnailer', '-s', '128', i, o], inputs, work)
            print(f'exe-thumbnailer / vistrel: {theirs / ours:.1f} x  (target >= 20)')
        else:
            print('exe-thumbnailer is not installed (apt-get install icoextract-thumbnailer)')

        folder = os.path.join(work, 'folder')
        icons = extract_bench.make_folder(folder)
        print(f'folder: {len(os.listdir(folder))} files, {icons} icons')
        start = time.perf_counter()
        extract_bench.icoutils(folder, os.path.join(work, 'icoutils'))
        t_icoutils = time.perf_counter() - start
        print(f'wrestool + icotool:       {t_icoutils:8.3f} s')
        for form in ('png', 'ico'):
            out = os.path.join(work, form)
            start = time.perf_counter()
            subprocess.run([vistrel, '--extract', '--format', form, folder, out], check=True, stdout=subprocess.DEVNULL)
            t = time.perf_counter() - start
            print(f'vistrel --format {form}:     {t:8.3f} s  ({len(os.listdir(out))} files), '
                  f'{t_icoutils / t:.1f} x faster (target >= 10)')
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    main()
