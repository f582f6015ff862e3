#!/usr/bin/env bash
# Coverage-guided fuzzing of every parser of outside input: builds each fuzz/*_fuzz.cpp target
# with clang's libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer (build/fuzz), seeds it
# from the corpus the testkit writes, and runs it for the given time. Any crash, leak, sanitizer
# report, timeout (10 s for one input) or memory use over 1 GiB fails the run; the input that
# caused it is kept in fuzz/regressions/<target>/, where the tests replay it.
# Usage: scripts/fuzz.sh [seconds per target] [target...]     (default 60 s, every target)
# Env:   ORMOLT_FUZZ_JOBS  targets run at once (default 1)
#        ORMOLT_FUZZ_STATS file to append one line of figures per target to
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ORMOLT_FUZZ_BUILD:-$root/build/fuzz}"
seconds="${1:-60}"
shift || true
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "usage: fuzz.sh [seconds per target] [target...]" >&2; exit 64; }

"$root/scripts/deps.sh" linux fuzz
export CC=clang-19 CXX=clang++-19
# Warnings are the test build's business (g++, -Werror); clang warns about other things.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORMOLT_SANITIZE=ON -DORMOLT_TESTS=OFF -DORMOLT_FUZZ=ON \
    -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for source in "$root"/fuzz/*_fuzz.cpp; do
        name="$(basename "$source" .cpp)"
        targets+=("$name")
    done
fi
cmake --build "$build" --target fuzz-seed-corpus "${targets[@]}" --parallel "${ORMOLT_JOBS:-2}"

work="$(mktemp -d "${TMPDIR:-/tmp}/ormolt-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT
"$build/fuzz/fuzz-seed-corpus" "$work/seeds"

export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"

# One target: fuzzes into a fresh corpus (seeds plus saved crashes), keeps what it finds, and
# writes its figures. Output goes to a bounded log; its tail is shown on failure.
run_target() {
    local name=$1 corpus="$work/corpus/$1" log="$work/$1.log" found="$work/found/$1"
    local regressions="$root/fuzz/regressions/$1"
    mkdir -p "$corpus" "$found"
    cp "$work/seeds/$name"/* "$corpus/" 2>/dev/null || true
    [ -d "$regressions" ] && cp "$regressions"/* "$corpus/" 2>/dev/null
    local status=0 started=$SECONDS
    # Any crash, leak, sanitizer report, timeout or out-of-memory ends libFuzzer with a non-zero
    # status and leaves the input in $found.
    "$build/fuzz/$name" "$corpus" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 \
        -malloc_limit_mb=1024 -max_len=65536 -print_final_stats=1 -artifact_prefix="$found/" \
        -close_fd_mask=1 2>&1 | tail -c 2000000 >"$log" || status=$? # pipefail: the fuzzer's status
    local runs edges elapsed=$((SECONDS - started))
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
    edges=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo 0)
    local crashes
    crashes=$(find "$found" -type f | wc -l)
    if [ -n "${ORMOLT_FUZZ_STATS:-}" ]; then
        printf '%s %s %s %s %s\n' "$name" "${runs:-0}" "$elapsed" "${edges:-0}" "$crashes" >>"$ORMOLT_FUZZ_STATS"
    fi
    if [ "$status" -ne 0 ] || [ "$crashes" -ne 0 ]; then
        mkdir -p "$regressions"
        cp "$found"/* "$regressions/" 2>/dev/null || true
        echo "fuzz: $name FAILED after ${runs:-0} runs in ${elapsed} s; input(s) kept in fuzz/regressions/$name/" >&2
        grep -E 'ERROR|SUMMARY|==[0-9]+==|fuzz target:|#[0-9]+ 0x' "$log" | head -40 >&2 || tail -40 "$log" >&2
        return 1
    fi
    echo "fuzz: $name ok: ${runs:-0} runs in ${elapsed} s, ${edges:-0} coverage edges"
}

jobs_at_once="${ORMOLT_FUZZ_JOBS:-1}"
for name in "${targets[@]}"; do
    { run_target "$name" || touch "$work/failed"; } &
    while [ "$(jobs -rp | wc -l)" -ge "$jobs_at_once" ]; do
        wait -n || true
    done
done
wait
if [ -e "$work/failed" ]; then
    echo "fuzz: FAILED" >&2
    exit 1
fi
echo "fuzz: ${#targets[@]} targets, ${seconds} s each, no findings"
