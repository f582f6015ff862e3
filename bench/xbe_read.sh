#!/usr/bin/env bash
# Reading the XBE: FendrelCLI (optimised, not sanitized, in build/bench) on a synthetic image the
# size of a retail one, beside `cat` of the same file: page faults (minor, from /usr/bin/time) and
# the mean wall time of 50 runs each (hyperfine), and the ratio of the two times.
#   bash bench/xbe_read.sh [MiB, default 2.7] [FendrelCLI to time instead of the one built]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ORMOLT_BENCH_BUILD:-$root/build/bench}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORMOLT_TESTS=OFF >/dev/null
cmake --build "$build" --target xbe_image_bench FendrelCLI --parallel "${ORMOLT_JOBS:-2}" >/dev/null
cli="${2:-$build/scanner/FendrelCLI}"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
image="$scratch/game.xbe"
"$build/bench/xbe_image_bench" "$image" "${1:-2.7}"
cat "$image" >/dev/null # warm the page cache for both

faults() { /usr/bin/time -f '%R' "$@" 2>&1 >/dev/null | tail -n 1; }
mean() {
    hyperfine -N --warmup 5 --runs 50 --export-json "$scratch/t.json" "$*" >/dev/null 2>&1
    python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][0]["mean"])' \
        "$scratch/t.json"
}
ours=$(mean "$cli" "$image")
theirs=$(mean cat "$image")
printf 'image: %s bytes\n' "$(stat -c %s "$image")"
printf 'FendrelCLI: %s minor page faults, %.2f ms\n' "$(faults "$cli" "$image")" \
    "$(awk -v t="$ours" 'BEGIN { print t * 1000 }')"
printf 'cat:        %s minor page faults, %.2f ms\n' "$(faults cat "$image")" \
    "$(awk -v t="$theirs" 'BEGIN { print t * 1000 }')"
printf 'FendrelCLI / cat: %.2fx\n' "$(awk -v a="$ours" -v b="$theirs" 'BEGIN { print a / b }')"
