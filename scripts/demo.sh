#!/usr/bin/env bash
# Builds ormolt-build, lays out a small sample release folder in demo/ (release.json and the
# program under bin/), and asks it for the status of the sample title, building into demo/builds.
# Usage: scripts/demo.sh
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/demo"
demo="$root/demo"

"$root/scripts/deps.sh" linux
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORMOLT_TESTS=OFF >/dev/null
cmake --build "$build" --target ormolt-build make-release-folder --parallel "${ORMOLT_JOBS:-2}" \
    >/dev/null

rm -rf "$demo/release"
"$build/testkit/make-release-folder" "$demo/release" "$build/build-tool/ormolt-build"
mkdir -p "$demo/builds"

echo "release folder: $demo/release"
echo "\$ ORMOLT_BUILD_DIR=$demo/builds $demo/release/bin/ormolt-build status"
status=0
ORMOLT_BUILD_DIR="$demo/builds" "$demo/release/bin/ormolt-build" status || status=$?
echo "exit status: $status"
