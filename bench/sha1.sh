#!/usr/bin/env bash
# SHA-1 benchmark: hashes one file of at least 1 GiB with file_sha1_hex and with sha1sum, each the
# best of three runs from a warm page cache, and prints both times and their ratio (target: at
# most 1.1). Fails when the two digests differ.
#   bash bench/sha1.sh [MiB, at least 1024] [file]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ORMOLT_BENCH_BUILD:-$root/build/bench}"
mib="${1:-1024}"
if (( mib < 1024 )); then
    echo "sha1.sh: the file must be at least 1024 MiB" >&2
    exit 64
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORMOLT_TESTS=OFF >/dev/null
cmake --build "$build" --target sha1_bench --parallel "${ORMOLT_JOBS:-2}" >/dev/null

file="${2:-}"
if [[ -z "$file" ]]; then
    scratch="$(mktemp -d)"
    trap 'rm -rf "$scratch"' EXIT
    file="$scratch/data.bin"
    # Incompressible content, so no layer below can shortcut the reads.
    head -c "$((mib * 1024 * 1024))" /dev/urandom >"$file"
fi
cat "$file" >/dev/null # warm the page cache for both contenders

read -r ours ours_seconds < <("$build/bench/sha1_bench" "$file" 3)

best=""
for _ in 1 2 3; do
    start=$(date +%s.%N)
    theirs=$(sha1sum "$file" | cut -d' ' -f1)
    end=$(date +%s.%N)
    seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
    best=$(awk -v s="$seconds" -v b="${best:-$seconds}" 'BEGIN { print (s < b ? s : b) }')
done

if [[ "$ours" != "$theirs" ]]; then
    echo "digests differ: file_sha1_hex $ours, sha1sum $theirs" >&2
    exit 1
fi
printf 'file: %s (%s bytes)\n' "$file" "$(stat -c %s "$file")"
printf 'digest: %s (both)\n' "$ours"
printf 'file_sha1_hex: %.3f s\n' "$ours_seconds"
printf 'sha1sum:       %.3f s\n' "$best"
printf 'ratio:         %.3f (target <= 1.1)\n' \
    "$(awk -v a="$ours_seconds" -v b="$best" 'BEGIN { print a / b }')"
