#!/usr/bin/env bash
# Extraction benchmark: writes a disc image holding at least 2 GiB of file data (a few large
# files and many small ones), then times the game preparation on it against `cp` of the image
# itself (a plain copy of at least as many bytes), both from a warm page cache, best of two.
# Prints both times, their ratio (target: at most 1.25) and the extraction's peak memory
# (target: under 32 MiB).
#   bash bench/extraction.sh [MiB of file data, at least 2048]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ORMOLT_BENCH_BUILD:-$root/build/bench}"
mib="${1:-2048}"
if (( mib < 2048 )); then
    echo "extraction.sh: the image must hold at least 2048 MiB of file data" >&2
    exit 64
fi
"$root/scripts/deps.sh" bench
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORMOLT_TESTS=OFF >/dev/null
cmake --build "$build" --target extraction_bench --parallel "${ORMOLT_JOBS:-2}" >/dev/null

scratch="$(mktemp -d "${ORMOLT_BENCH_SCRATCH:-$root/build}/extraction.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
bench="$build/bench/extraction_bench"
"$bench" write-image "$scratch/game.iso" "$mib"
cat "$scratch/game.iso" >/dev/null

best() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b ? a : b) }'; }
ours="" theirs="" peak=0
for _ in 1 2; do
    rm -rf "$scratch/install" "$scratch/copy.iso"
    /usr/bin/time -f '%M' -o "$scratch/rss" "$bench" extract "$scratch/game.iso" "$scratch/install" \
        >"$scratch/seconds"
    ours=$(best "$(cat "$scratch/seconds")" "$ours")
    rss=$(cat "$scratch/rss")
    (( rss > peak )) && peak=$rss
    sync
    start=$(date +%s.%N)
    cp "$scratch/game.iso" "$scratch/copy.iso"
    end=$(date +%s.%N)
    theirs=$(best "$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" "$theirs")
    sync
done

printf 'image: %s bytes, %s files\n' "$(stat -c %s "$scratch/game.iso")" \
    "$(find "$scratch/install/game" -type f | wc -l)"
printf 'extraction: %.3f s\n' "$ours"
printf 'cp:         %.3f s\n' "$theirs"
printf 'ratio:      %.3f (target <= 1.25)\n' "$(awk -v a="$ours" -v b="$theirs" 'BEGIN { print a / b }')"
printf 'peak memory of the extraction: %.1f MiB (target < 32)\n' "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')"
