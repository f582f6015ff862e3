#!/usr/bin/env bash
# The README's walk-through for a release of a game other than the sample, step by step: the
# testkit makes the made-up game "Marble Quarry" as a disc image, release.py reads the SHA-1 of
# its XBE, a description folder is written, make-release.sh assembles the release, and the
# release's ormolt-build builds the game twice into its default folder; status must say "ready"
# and the installed launcher must start the program.
# Usage: second_game.sh <CMake build folder holding ormolt-build, FendrelCLI, make-sample-game>
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
[ $# -eq 1 ] || { echo "usage: second_game.sh <CMake build folder>" >&2; exit 64; }
build="$(cd "$1" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "second_game.sh: $*" >&2; exit 1; }
cd "$work"

echo "== the game: a disc image and the same files as a folder"
"$build/testkit/make-sample-game" . --title-id 4D510002 --title "Marble Quarry" --name marble-quarry
sha1=$(python3 "$root/scripts/release.py" sha1 marble-quarry.iso)
[ "$sha1" = "$(python3 "$root/scripts/release.py" sha1 marble-quarry)" ] ||
    fail "the image and the folder give different SHA-1s"
[ "$sha1" = "$(sha1sum marble-quarry/default.xbe | cut -d' ' -f1)" ] ||
    fail "release.py sha1 differs from sha1sum"

echo "== the description"
mkdir -p marble/runtime marble/signatures
cat > marble/release.json <<JSON
{
  "title_id": "4D510002",
  "title_name": "Marble Quarry",
  "version": "0.3",
  "exe": "marble",
  "launcher": "play-marble.sh",
  "images": [
    { "sha1": "$sha1", "name": "Marble Quarry (Europe)" }
  ]
}
JSON
cat > marble/play-marble.sh <<'SH'
#!/bin/sh
here=$(CDPATH= cd -- "$(dirname -- "$0")" && pwd) || exit 1
cd "$here" && exec ./marble.exe "$@"
SH
chmod +x marble/play-marble.sh
echo "Marble Quarry: marble.exe is the game, play-marble.sh starts it." > marble/runtime/README.txt
# A pack of records authored for this game's libraries travels with the release.
printf 'group xapilib\nrevision SetEvent 5849\nlovp 0 55 8B EC 56 57 8B 7C 24 0C 6A 01\n' \
    > marble/signatures/xapilib-5849.records

echo "== the release"
bash "$root/scripts/make-release.sh" --game marble release "$build"
for file in bin/ormolt-build bin/FendrelCLI bin/signatures/xapilib-5849.records release.json \
    play-marble.sh runtime/README.txt recipe/release.cmake toolkit/scripts/recompile.py; do
    [ -f "release/$file" ] || fail "the release has no $file"
done
grep -q '"ORMOLT_GAME_TARGET" \|ORMOLT_GAME_TARGET "marble"' release/recipe/release.cmake ||
    fail "the recipe does not build marble"

echo "== two builds and the status"
export ORMOLT_BUILD_DIR="$work/builds"
unset LOCALAPPDATA
release/bin/ormolt-build build --source "$work/marble-quarry.iso" > first.txt ||
    fail "the first build failed: $(tail -n 1 first.txt)"
release/bin/ormolt-build build > second.txt ||
    fail "the second build failed: $(tail -n 1 second.txt)"
for run in first second; do
    grep -q '^{"event":"done","exe":"'"$work"'/builds/4D510002/marble.exe"' "$run.txt" ||
        fail "the $run build did not end with its done event: $(tail -n 1 "$run.txt")"
done
status=$(release/bin/ormolt-build status)
echo "$status"
[[ "$status" == *'"built_version":"0.3"'* && "$status" == *'"state":"ready"'* ]] ||
    fail "status is not ready after two builds"

echo "== the installed game"
"$work/builds/4D510002/play-marble.sh" | tee game.txt
grep -qx "Marble Quarry (title id 4D510002)" game.txt || fail "the program has the wrong title"
echo "second_game.sh: all good"
