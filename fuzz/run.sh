#!/usr/bin/env bash
# Builds the fuzz targets with Debian's clang (ASan + UBSan) in a folder of their own and
# fuzzes the icon reader and the page-file reader for a while, half the time each, seeded
# from the test data. Then the thumbnailer, built the same way, makes thumbnails of the
# whole corpus inside its sandbox.
#   fuzz/run.sh [seconds] [build folder]      default: 60 s, build-fuzz
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
build=${2:-$here/build-fuzz}
CC=clang-14 CXX=clang++-14 cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVISTREL_FUZZ=ON -DVISTREL_WERROR=ON -DVISTREL_BUILD_TESTS=OFF -DVISTREL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target fuzz_exeicons fuzz_pagefile vistrel-thumbnailer
corpus=$build/corpus
mkdir -p "$corpus" "$build/corpus-pagefile"
find "$here/tests/data" -maxdepth 2 -type f \( -name '*.exe' -o -name '*.dll' -o -name '*.ico' \) \
    -exec cp -n {} "$corpus/" \;
# Icon files with damaged and stuffed PNG images.
python3 "$here/fuzz/seeds.py" "$corpus"
# System32 files with their .mun, as the fuzzer splits its input: the file's length first.
for file in "$here"/tests/data/windows/Windows/{System32,SysWOW64}/*; do
    mun=$here/tests/data/windows/Windows/SystemResources/$(basename "$file").mun
    if [ -f "$mun" ]; then
        python3 -c 'import struct, sys; a, b = (open(p, "rb").read() for p in sys.argv[1:3]); open(sys.argv[3], "wb").write(struct.pack("<I", len(a)) + a + b)' \
            "$file" "$mun" "$corpus/pair-$(basename "$file")"
    fi
done
cp -n "$here/tests/data/iconlist.vrp" "$build/corpus-pagefile/"
# Findings (crash-*, timeout-*, oom-*) land in the build folder; a finding fails the run.
cd "$build"
bin/fuzz_exeicons -max_total_time="$((seconds - seconds / 2))" -timeout=60 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 "$corpus"
# Drawing texts brings up fontconfig, whose caches live until exit and look like leaks.
ASAN_OPTIONS=detect_leaks=0 bin/fuzz_pagefile -max_total_time="$((seconds / 2))" -timeout=60 -rss_limit_mb=2048 \
    -max_len=65536 -print_final_stats=1 "$build/corpus-pagefile"
# The leak check at exit needs threads and ptrace, which the sandbox forbids. Status 77:
# no strace here, so only the last check was left out.
ASAN_OPTIONS=detect_leaks=0 "$here/tests/thumbnailer/check-thumbnailer.sh" "$build" "$here/tests/data" "$corpus" ||
    [ $? -eq 77 ]
