#!/usr/bin/env bash
# Assembles a release folder from the two programs of a CMake build folder and a description.
#
#   make-release.sh --game <description folder> <release folder> <CMake build folder>
#       a release for any game: the description folder holds its release.json and whatever of
#       the release's own files it has (toolkit/, recipe/, engine/, python/, toolchain/, runtime/,
#       dxc/, signatures/*.records, the launcher, icon.ico, icon.png, LICENSE, NOTICE.txt); the
#       programs it lacks come from sample-release/ (docs/release-format.md says what each is).
#   make-release.sh <release folder> <CMake build folder> <SHA-1 of the XBE | file holding it>
#       the sample release: sample-release/release.json.in accepting the sample game's XBE by
#       its SHA-1, with play-sample.sh, runtime/, LICENSE, NOTICE.txt and a generated icon.png.
#
# Either way the release folder gets bin/ormolt-build, bin/FendrelCLI (and bin/signatures/ with
# the description's packs), release.json, python/, toolkit/, recipe/ (with release.cmake naming
# the program after exe), engine/, toolchain/ and the optional files. It must not exist, be
# empty, or hold an earlier release (it is then replaced). scripts/release.py sha1 <game> prints
# the SHA-1 a release accepts a copy by, from a game folder, a disc image or the XBE itself.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
sample="$root/sample-release"

usage() {
    echo "usage: make-release.sh --game <description folder> <release folder> <CMake build folder>" >&2
    echo "       make-release.sh <release folder> <CMake build folder> <SHA-1 of the XBE | file holding it>" >&2
    exit 64
}
fail() { echo "make-release.sh: $*" >&2; exit 1; }

if [ $# -eq 4 ] && [ "$1" = "--game" ]; then
    exec python3 "$root/scripts/release.py" assemble "$2" "$3" "$4"
fi
[ $# -eq 3 ] || usage
case "$1" in -*) usage ;; esac
out=$1 build=$2 sha1=$3

if [ -f "$sha1" ]; then
    sha1=$(head -c 200 "$sha1" | tr -d ' \t\r\n')
fi
sha1=$(printf '%s' "$sha1" | tr 'A-F' 'a-f')
[[ "$sha1" =~ ^[0-9a-f]{40}$ ]] || fail "'$3' is not a SHA-1 (40 hexadecimal digits)"

# The sample's description, made in a folder of its own and assembled like any other.
description="$(mktemp -d)"
trap 'rm -rf "$description"' EXIT
cp -R "$sample/runtime" "$description/"
cp "$sample/play-sample.sh" "$sample/LICENSE" "$sample/NOTICE.txt" "$description/"
python3 - "$sample/release.json.in" "$sha1" "$description" <<'PY'
import os, struct, sys, zlib

template, sha1, description = sys.argv[1:]
with open(template, encoding="utf-8") as file:
    text = file.read().replace("@SAMPLE_XBE_SHA1@", sha1)
with open(os.path.join(description, "release.json"), "w", encoding="utf-8", newline="\n") as file:
    file.write(text)

# A 32x32 icon: a dark square with a lighter diagonal band, as an 8-bit RGB PNG.
def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

rows = b""
for y in range(32):
    row = b"\0"
    for x in range(32):
        row += bytes((230, 190, 60)) if abs(x - y) < 5 else bytes((30, 40, 60))
    rows += row
png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 32, 32, 8, 2, 0, 0, 0))
       + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))
with open(os.path.join(description, "icon.png"), "wb") as file:
    file.write(png)
PY
python3 "$root/scripts/release.py" assemble "$description" "$out" "$build"
