#!/usr/bin/env bash
# Extraction benchmark: writes a game's files (at least 2 GiB: a few large files and many
# small ones), makes a disc image of that very tree with the testkit, and then times, in turn and
# from a warm page cache, the game preparation on the image, `cp -r` of the tree and `cp` of the
# image as one file. Prints the medians, the ratios extraction / `cp -r` (target: at most 1.05)
# and extraction / `cp` of the image, and the extraction's peak memory (target: under 32 MiB).
#   bash bench/extraction.sh [MiB of file data, at least 2048]
# The many-small-files case: an image of default.xbe and <files> files of 100 to 4,000 bytes
# (default 20,000) in folders of 200, extraction against `cp -r` of the tree, per file:
#   bash bench/extraction.sh small [files]
# ORMOLT_BENCH_REFERENCE names another extractor to time there as well: it is run as
# `$ORMOLT_BENCH_REFERENCE <image> <empty output folder>`.
# ORMOLT_BENCH_RUNS sets the number of rounds (default 5, at least 5); ORMOLT_BENCH_SCRATCH the
# folder that holds the temporary files (default build/, on the disk being measured).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ORMOLT_BENCH_BUILD:-$root/build/bench}"
small=0
if [[ "${1:-}" == small ]]; then
    small=1
    files="${2:-20000}"
    set -- 2048
fi
mib="${1:-2048}"
runs="${ORMOLT_BENCH_RUNS:-5}"
if (( mib < 2048 )); then
    echo "extraction.sh: the image must hold at least 2048 MiB of file data" >&2
    exit 64
fi
if (( runs < 5 )); then
    echo "extraction.sh: at least 5 rounds" >&2
    exit 64
fi
"$root/scripts/deps.sh" bench
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORMOLT_TESTS=OFF >/dev/null
cmake --build "$build" --target extraction_bench make-disc-image --parallel "${ORMOLT_JOBS:-2}" >/dev/null

parent="${ORMOLT_BENCH_SCRATCH:-$root/build}"
# The tree, its image, and at one time the extraction and a copy of each: five times the data.
need=$(( small ? 1024 : mib * 5 + 512 ))
free=$(df -Pm "$parent" | awk 'NR == 2 { print $4 }')
if (( free < need )); then
    echo "extraction.sh: needs $need MiB free in $parent, has $free" >&2
    exit 1
fi
scratch="$(mktemp -d "$parent/extraction.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
trap 'exit 130' INT TERM HUP

bench="$build/bench/extraction_bench"
if (( small )); then
    "$bench" write-small-tree "$scratch/tree" "$files"
else
    "$bench" write-tree "$scratch/tree" "$mib"
fi
"$build/testkit/make-disc-image" "$scratch/tree" "$scratch/game.iso"
find "$scratch/tree" -type f -exec cat {} + >/dev/null
cat "$scratch/game.iso" >/dev/null

# Seconds of one command (written to $scratch/seconds), its peak memory in KiB to $scratch/rss.
timed() {
    local start end
    sync
    start=$(date +%s.%N)
    /usr/bin/time -f '%M' -o "$scratch/rss" "$@"
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f\n", b - a }' >"$scratch/seconds"
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

if (( small )); then
    reference="${ORMOLT_BENCH_REFERENCE:-}"
    : >"$scratch/ours" ; : >"$scratch/tree-copies" ; : >"$scratch/reference"
    for (( round = 1; round <= runs; round++ )); do
        rm -rf "$scratch/install" "$scratch/copy" "$scratch/other"
        timed "$bench" extract "$scratch/game.iso" "$scratch/install"
        cat "$scratch/seconds" >>"$scratch/ours"
        timed cp -r "$scratch/tree" "$scratch/copy"
        cat "$scratch/seconds" >>"$scratch/tree-copies"
        if [[ -n "$reference" ]]; then
            mkdir "$scratch/other"
            timed $reference "$scratch/game.iso" "$scratch/other" >/dev/null
            cat "$scratch/seconds" >>"$scratch/reference"
        fi
    done
    if ! diff -r -q "$scratch/tree" "$scratch/install/game" >/dev/null; then
        echo "extraction.sh: the extracted game differs from the tree" >&2
        exit 1
    fi
    count=$(find "$scratch/tree" -type f | wc -l)
    per_file() { awk -v s="$1" -v n="$count" 'BEGIN { printf "%.1f", s / n * 1e6 }'; }
    ours=$(median <"$scratch/ours")
    tree=$(median <"$scratch/tree-copies")
    printf 'many small files: %s files, %s bytes of image; medians of %s interleaved rounds\n' \
        "$count" "$(stat -c %s "$scratch/game.iso")" "$runs"
    printf 'extraction:     %.3f s  %s us a file  (%s)\n' "$ours" "$(per_file "$ours")" \
        "$(sort -g "$scratch/ours" | tr '\n' ' ')"
    printf 'cp -r of tree:  %.3f s  %s us a file  (%s)\n' "$tree" "$(per_file "$tree")" \
        "$(sort -g "$scratch/tree-copies" | tr '\n' ' ')"
    printf 'extraction / cp -r:  %.3f\n' "$(awk -v a="$ours" -v b="$tree" 'BEGIN { print a / b }')"
    if [[ -n "$reference" ]]; then
        other=$(median <"$scratch/reference")
        printf 'reference:      %.3f s  %s us a file  (%s)\n' "$other" "$(per_file "$other")" \
            "$(sort -g "$scratch/reference" | tr '\n' ' ')"
        printf 'extraction / reference:  %.3f\n' \
            "$(awk -v a="$ours" -v b="$other" 'BEGIN { print a / b }')"
    fi
    exit 0
fi

: >"$scratch/ours" ; : >"$scratch/tree-copies" ; : >"$scratch/image-copies"
peak=0
for (( round = 1; round <= runs; round++ )); do
    rm -rf "$scratch/install" "$scratch/copy" "$scratch/copy.iso"
    timed "$bench" extract "$scratch/game.iso" "$scratch/install"
    cat "$scratch/seconds" >>"$scratch/ours"
    rss=$(cat "$scratch/rss")
    (( rss > peak )) && peak=$rss
    timed cp -r "$scratch/tree" "$scratch/copy"
    cat "$scratch/seconds" >>"$scratch/tree-copies"
    timed cp "$scratch/game.iso" "$scratch/copy.iso"
    cat "$scratch/seconds" >>"$scratch/image-copies"
done
if ! diff -r -q "$scratch/tree" "$scratch/install/game" >/dev/null; then
    echo "extraction.sh: the extracted game differs from the tree" >&2
    exit 1
fi

ours=$(median <"$scratch/ours")
tree=$(median <"$scratch/tree-copies")
image=$(median <"$scratch/image-copies")
printf 'image: %s bytes, %s files; medians of %s interleaved rounds\n' \
    "$(stat -c %s "$scratch/game.iso")" "$(find "$scratch/tree" -type f | wc -l)" "$runs"
printf 'extraction:     %.3f s  (%s)\n' "$ours" "$(sort -g "$scratch/ours" | tr '\n' ' ')"
printf 'cp -r of tree:  %.3f s  (%s)\n' "$tree" "$(sort -g "$scratch/tree-copies" | tr '\n' ' ')"
printf 'cp of image:    %.3f s  (%s)\n' "$image" "$(sort -g "$scratch/image-copies" | tr '\n' ' ')"
printf 'extraction / cp -r:  %.3f (target <= 1.05)\n' "$(awk -v a="$ours" -v b="$tree" 'BEGIN { print a / b }')"
printf 'extraction / cp:     %.3f\n' "$(awk -v a="$ours" -v b="$image" 'BEGIN { print a / b }')"
printf 'peak memory of the extraction: %.1f MiB (target < 32)\n' "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')"
