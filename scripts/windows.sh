#!/usr/bin/env bash
# Cross-compiles ormolt-build.exe, FendrelCLI.exe and the test programs for 64-bit Windows
# (mingw-w64, static runtime) into build/windows, runs the tests under Wine in a throw-away
# prefix, and then one whole sample build with ormolt-build.exe (scripts/windows-sample-build.sh;
# skipped when ctest arguments are given). Usage: scripts/windows.sh [ctest arguments...]
# ORMOLT_JOBS limits the parallel compile jobs (default 2).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/windows"

bash "$root/scripts/deps.sh" windows
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DORMOLT_TESTS=ON \
    -DCMAKE_CROSSCOMPILING_EMULATOR=wine
cmake --build "$build" --parallel "${ORMOLT_JOBS:-2}"
echo "built $build/build-tool/ormolt-build.exe and $build/scanner/FendrelCLI.exe"

# A fresh prefix for every run, so no earlier state hides a fault; removed on every way out.
scratch="$(mktemp -d)"
cleanup() {
    WINEPREFIX="$scratch/prefix" wineserver -k 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
export WINEPREFIX="$scratch/prefix" WINEDEBUG=-all WINEARCH=win64
# No display: the prefix is made without any window, and a crashing test program must not wait
# for a debugger.
unset DISPLAY WAYLAND_DISPLAY
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wineboot -i >/dev/null 2>&1
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /t REG_SZ /d 0 /f \
    >/dev/null 2>&1 || true
wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f \
    >/dev/null 2>&1 || true
wineserver -w

ctest --test-dir "$build" --output-on-failure --timeout 900 "$@"
if [ $# -eq 0 ]; then
    mkdir "$scratch/sample"
    bash "$root/scripts/windows-sample-build.sh" "$build" "$scratch/sample"
fi
