#!/usr/bin/env bash
# fendrel-author's information floor, measured: records authored without a floor from one set of
# i386 libraries, searched in unrelated code; prints how often records of each size match there.
# Defaults: mingw's libmingwex.a against libgcc.a and the other way round (scripts/deps.sh linux
# installs them).
#   bash bench/author_floor.sh [LIBRARY... -- UNRELATED...]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ORMOLT_BENCH_BUILD:-$root/build/bench}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORMOLT_TESTS=OFF >/dev/null
cmake --build "$build" --target author_floor_bench --parallel "${ORMOLT_JOBS:-2}" >/dev/null
if [ $# -gt 0 ]; then
    exec "$build/bench/author_floor_bench" "$@"
fi
mingwex=/usr/i686-w64-mingw32/lib/libmingwex.a
libgcc="$(ls /usr/lib/gcc/i686-w64-mingw32/*/libgcc.a | head -n 1)"
echo "== records from libmingwex.a, searched in libgcc.a"
"$build/bench/author_floor_bench" "$mingwex" -- "$libgcc"
echo "== records from libgcc.a, searched in libmingwex.a"
"$build/bench/author_floor_bench" "$libgcc" -- "$mingwex"
