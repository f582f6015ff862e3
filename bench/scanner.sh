#!/usr/bin/env bash
# Scanner benchmark: builds the benchmark optimised (not sanitized) into build/bench and runs it.
# Prints the engine's speed-up over the literal reference matcher and its time in single memchr
# passes over the code section; fails when the two matchers report differently.
#   bash bench/scanner.sh [section MiB] [seed]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ORMOLT_BENCH_BUILD:-$root/build/bench}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORMOLT_TESTS=OFF >/dev/null
cmake --build "$build" --target scanner_bench --parallel "${ORMOLT_JOBS:-2}" >/dev/null
"$build/bench/scanner_bench" "${1:-4}" "${2:-1}"
