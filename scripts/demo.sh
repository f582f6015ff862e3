#!/usr/bin/env bash
# The main job on the sample release: builds both programs (and fendrel-author, the release
# maker's tool, into build/demo/scanner/author/), assembles the sample release folder, makes the
# sample game (a disc image and the same files as a folder), builds the game from the
# image into a local installation folder, asks for the status, and runs the installed program,
# which lists the XDK symbols the scan found. In a terminal the build shows its terminal view;
# piped, the event lines a launcher reads. Everything lands in demo/.
# Usage: scripts/demo.sh
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/demo"
demo="$root/demo"

"$root/scripts/deps.sh" linux
echo "Building ormolt-build and FendrelCLI (about 2 minutes the first time, into $build)…"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORMOLT_TESTS=OFF >/dev/null
cmake --build "$build" --target ormolt-build FendrelCLI fendrel-author make-sample-game \
    --parallel "${ORMOLT_JOBS:-2}" >/dev/null

echo "Making the sample game and assembling the sample release…"
rm -rf "$demo"
mkdir -p "$demo/builds"
"$build/testkit/make-sample-game" "$demo"
sha1="$(sha1sum "$demo/sample-game/default.xbe" | cut -d' ' -f1)"
bash "$root/scripts/make-release.sh" "$demo/release" "$build" "$sha1" >/dev/null
echo "sample game: $demo/sample-game.iso (default.xbe SHA-1 $sha1)"
echo "release folder: $demo/release"

export ORMOLT_BUILD_DIR="$demo/builds"
tool="$demo/release/bin/ormolt-build"
# Each command is shown as it can be pasted to run it again: the real program path, and the
# environment this script sets.
show() {
    local line="\$ ORMOLT_BUILD_DIR=$(printf '%q' "$ORMOLT_BUILD_DIR")" argument
    for argument in "$@"; do
        line+=" $(printf '%q' "$argument")"
    done
    echo
    echo "$line"
}
show "$tool" build --source "$demo/sample-game.iso" --install-dir "$demo/install"
"$tool" build --source "$demo/sample-game.iso" --install-dir "$demo/install"
show "$tool" status
"$tool" status
exe="$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["exe"])' "$demo/install/build.json")"
echo
echo "\$ $(printf '%q' "$demo/install/$exe")"
"$demo/install/$exe"
# The release's launcher starts the game from any folder; without one, the program itself.
launcher="$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1])).get("launcher") or "")' \
    "$demo/release/release.json")"
start="$demo/install/${launcher:-$exe}"
echo
echo "The game is installed in $demo/install. To start it again:"
echo "  $(printf '%q' "$start")"
