#!/usr/bin/env bash
# Cross-compiles ormolt-build.exe and FendrelCLI.exe for 64-bit Windows (mingw-w64, static runtime) into
# build/windows. Usage: scripts/windows.sh
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/windows"

"$root/scripts/deps.sh" windows
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DORMOLT_TESTS=OFF
cmake --build "$build" --target ormolt-build FendrelCLI --parallel "${ORMOLT_JOBS:-2}"
echo "built $build/build-tool/ormolt-build.exe and $build/scanner/FendrelCLI.exe"
