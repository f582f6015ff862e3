#!/usr/bin/env bash
# Checks the sample release's own programs end to end, as a build runs them: the toolkit's unit
# checks, then a release folder assembled by scripts/make-release.sh, the symbol scan and the
# translation with the build's command lines, CMake's configure and build with the release's
# toolchain, and the program it makes. A second translation and build must change nothing.
# Usage: sample-release/check.sh <CMake build folder holding ormolt-build and FendrelCLI>
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
if [ $# -ne 1 ]; then
    echo "usage: check.sh <CMake build folder>" >&2
    exit 64
fi
build="$(cd "$1" && pwd)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "check.sh: $*" >&2; exit 1; }
export PYTHONDONTWRITEBYTECODE=1

echo "== toolkit unit checks"
python3 -m unittest discover -s "$here/tests" 2>&1 | tail -n 3

echo "== release folder"
sha1="$(python3 "$here/tests/sample_xbe.py" "$work/game")"
bash "$root/scripts/make-release.sh" "$work/R" "$build" "$sha1"
R="$work/R" B="$work/B" T="$work/R/toolchain"
grep -q "\"sha1\": \"$sha1\"" "$R/release.json" || fail "release.json does not name $sha1"
for file in bin/ormolt-build bin/FendrelCLI python/python toolkit/scripts/recompile.py \
    recipe/CMakeLists.txt recipe/release.cmake engine/engine.cmake toolchain/cmake/bin/cmake \
    toolchain/ninja/bin/ninja toolchain/bin/zcc toolchain/bin/zc++ toolchain/bin/zar \
    toolchain/bin/zranlib toolchain/bin/zrc play-sample.sh icon.png LICENSE NOTICE.txt \
    runtime/README.txt; do
    [ -f "$R/$file" ] || fail "the release has no $file"
done

# What the translation step lays out before it runs the scripts.
mkdir -p "$B/game" "$B/pipe/xbe" "$B/tmp"
cp "$work/game/default.xbe" "$B/game/"
cp -R "$R/recipe" "$B/project"
ln "$B/game/default.xbe" "$B/pipe/xbe/default.xbe"

translate() {
    (cd "$R/toolkit" && PYTHONUNBUFFERED=1 TMPDIR="$B/tmp" \
        "$R/python/python" -m tools.xdk_symbols "$B/pipe/xbe/default.xbe" \
            --cli "$R/bin/FendrelCLI" --out "$B/pipe/xbe/default_xdk_symbols.json" &&
     PYTHONUNBUFFERED=1 TMPDIR="$B/tmp" \
        "$R/python/python" "$R/toolkit/scripts/recompile.py" "$B/pipe/xbe/default.xbe" \
            --work-dir "$B/pipe/out" --project "$B/project" \
            --seeds "$B/project/config/seeds.json")
}
compile() {
    (cd "$B" && ZIG_GLOBAL_CACHE_DIR="$B/zig-cache" ZIG_LOCAL_CACHE_DIR="$B/zig-cache" \
        "$T/cmake/bin/cmake" --build "$B/build" --target sample)
}

echo "== translation"
translate | tee "$work/translate.txt"
grep -qx "4/4 done" "$work/translate.txt" || fail "the translation did not report 4/4 done"
grep -q '"name": "D3DDevice_SetRenderState_Simple"' "$B/pipe/xbe/default_xdk_symbols.json" ||
    fail "the scan did not name the sample's D3D function"

echo "== configure and compile"
(cd "$B" && ZIG_GLOBAL_CACHE_DIR="$B/zig-cache" ZIG_LOCAL_CACHE_DIR="$B/zig-cache" \
    "$T/cmake/bin/cmake" -S "$B/project" -B "$B/build" -G Ninja \
        "-DCMAKE_MAKE_PROGRAM=$T/ninja/bin/ninja" -DCMAKE_BUILD_TYPE=Release \
        "-DCMAKE_C_COMPILER=$T/bin/zcc" "-DCMAKE_CXX_COMPILER=$T/bin/zc++" \
        "-DCMAKE_AR=$T/bin/zar" "-DCMAKE_RANLIB=$T/bin/zranlib" "-DORMOLT_DIR=$R/engine" \
        "-DCMAKE_RC_COMPILER=$T/bin/zrc") >/dev/null
grep -q "CMAKE_AR:FILEPATH=$T/bin/zar" "$B/build/CMakeCache.txt" || fail "CMake did not take zar"
compile
[ -x "$B/build/sample" ] || fail "the compile made no $B/build/sample"

echo "== the program"
"$B/build/sample" | tee "$work/run.txt"
grep -qx "Sample Game (title id 51520001)" "$work/run.txt" || fail "the program has the wrong title"
grep -q "^1 XDK symbols" "$work/run.txt" || fail "the program does not count one symbol"

echo "== again: nothing changed, nothing to do"
translate | grep " 0 files rewritten" >/dev/null || fail "an unchanged translation rewrote files"
compile | grep "no work to do" >/dev/null || fail "an unchanged translation was compiled again"

echo "check.sh: all good"
