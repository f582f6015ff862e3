#!/usr/bin/env bash
# Assembles the sample release folder: the files of sample-release/ in the release layout, the
# built ormolt-build and FendrelCLI under bin/, the project template's release.cmake, the
# optional files (runtime/, icon.png, LICENSE, NOTICE.txt, the launcher) and release.json, whose
# one image is the sample game's XBE by its SHA-1.
# Usage: scripts/make-release.sh <release folder> <CMake build folder> <SHA-1 of the game's XBE>
set -euo pipefail
if [[ $# -ne 3 || ! "$3" =~ ^[0-9a-fA-F]{40}$ ]]; then
    echo "usage: make-release.sh <release folder> <CMake build folder> <SHA-1 of the XBE>" >&2
    exit 64
fi
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
release="$1" build="$2" sha1="$3"
suffix=""
[[ -f "$build/build-tool/ormolt-build.exe" ]] && suffix=".exe"
for program in "$build/build-tool/ormolt-build$suffix" "$build/scanner/FendrelCLI$suffix"; do
    if [[ ! -x "$program" ]]; then
        echo "make-release.sh: $program is missing: build it first" >&2
        exit 1
    fi
done

exe="sample"
launcher="play-sample.sh"
rm -rf "$release"
mkdir -p "$release/bin"
for part in toolkit recipe engine toolchain python; do
    cp -R "$root/sample-release/$part" "$release/$part"
done
find "$release" -name __pycache__ -prune -exec rm -rf {} +
cp "$build/build-tool/ormolt-build$suffix" "$build/scanner/FendrelCLI$suffix" "$release/bin/"
printf 'set(ORMOLT_GAME_TARGET %s)\n' "$exe" >"$release/recipe/release.cmake"

# Files installed beside the game.
mkdir -p "$release/runtime/data"
printf 'Runtime files of the sample release, installed beside the game.\n' >"$release/runtime/README.txt"
printf 'volume=80\nfullscreen=0\n' >"$release/runtime/data/settings.ini"
printf '#!/bin/sh\n# Starts the installed sample game from its folder.\ncd "$(dirname "$0")" && exec ./%s.exe "$@"\n' \
    "$exe" >"$release/$launcher"
chmod +x "$release/$launcher"
printf 'The sample release is a stand-in made for testing ormolt-build. It carries no game.\n' \
    >"$release/LICENSE"
printf 'Sample release notices: none of its parts come from elsewhere.\n' >"$release/NOTICE.txt"
# A 1x1 PNG, written from its bytes.
printf '\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\x06\0\0\0\x1f\x15\xc4\x89\0\0\0\rIDATx\x9cc\xf8\xcf\xc0\xf0\x1f\0\x05\0\x01\xff\x89\x99=\x1d\0\0\0\0IEND\xaeB`\x82' \
    >"$release/icon.png"

cat >"$release/release.json" <<JSON
{
  "title_id": "51520001",
  "title_name": "Sample Game",
  "version": "1.0",
  "exe": "$exe",
  "launcher": "$launcher",
  "images": [
    {"sha1": "$(tr 'A-F' 'a-f' <<<"$sha1")", "name": "Sample Game (USA)"}
  ]
}
JSON
echo "$release"
