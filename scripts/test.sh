#!/usr/bin/env bash
# The one test command: installs what is missing, builds everything (both programs, the test
# programs and fendrel-author) with AddressSanitizer and
# UndefinedBehaviorSanitizer and warnings as errors, and runs every test through CTest.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ORMOLT_TEST_BUILD:-$root/build/test}"

"$root/scripts/deps.sh" linux
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DORMOLT_SANITIZE=ON -DORMOLT_WERROR=ON -DORMOLT_TESTS=ON
cmake --build "$build" --parallel "${ORMOLT_JOBS:-2}"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
ctest --test-dir "$build" --output-on-failure --timeout 900 --parallel "${ORMOLT_JOBS:-2}" "$@"
