#!/usr/bin/env bash
# Assembles the sample release folder from sample-release/ and the two programs of a CMake build
# folder: bin/ormolt-build, bin/FendrelCLI, release.json (accepting the sample game's XBE by its
# SHA-1), python/, toolkit/, recipe/, engine/, toolchain/, runtime/, the launcher, icon.png,
# LICENSE and NOTICE.txt.
# Usage: scripts/make-release.sh <release folder> <CMake build folder> <SHA-1 of the XBE | file holding it>
# The release folder must not exist, be empty, or hold an earlier release (it is then replaced).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
sample="$root/sample-release"

fail() { echo "make-release.sh: $*" >&2; exit 1; }
if [ $# -ne 3 ]; then
    echo "usage: make-release.sh <release folder> <CMake build folder> <SHA-1 of the XBE | file holding it>" >&2
    exit 64
fi
out=$1 build=$2 sha1=$3

if [ -f "$sha1" ]; then
    sha1=$(head -c 200 "$sha1" | tr -d ' \t\r\n')
fi
sha1=$(printf '%s' "$sha1" | tr 'A-F' 'a-f')
[[ "$sha1" =~ ^[0-9a-f]{40}$ ]] || fail "'$3' is not a SHA-1 (40 hexadecimal digits)"

# A cross build leaves .exe files; take whichever the build folder has.
find_program() {
    local file
    for file in "$build/$1" "$build/$1.exe"; do
        [ -f "$file" ] && { echo "$file"; return 0; }
    done
    fail "no $1 in $build (build the targets ormolt-build and FendrelCLI first)"
}
tool=$(find_program build-tool/ormolt-build)
scanner=$(find_program scanner/FendrelCLI)

if [ -e "$out" ]; then
    [ -d "$out" ] || fail "$out exists and is not a folder"
    if [ -n "$(ls -A "$out")" ]; then
        [ -f "$out/release.json" ] || fail "$out is neither empty nor an earlier release; not touching it"
        rm -rf "$out"
    fi
fi
mkdir -p "$out/bin"

cp "$tool" "$scanner" "$out/bin/"
for folder in python toolkit recipe engine toolchain runtime; do
    cp -R "$sample/$folder" "$out/"
done
# Byte-code caches of local runs are not part of a release.
find "$out/toolkit" -name __pycache__ -type d -prune -exec rm -rf {} +
cp "$sample/LICENSE" "$sample/NOTICE.txt" "$out/"

python3 - "$sample/release.json.in" "$sha1" "$out" "$sample" <<'PY'
import json, os, shutil, struct, sys, zlib

template, sha1, out, sample = sys.argv[1:]
with open(template, encoding="utf-8") as file:
    text = file.read().replace("@SAMPLE_XBE_SHA1@", sha1)
release = json.loads(text)
with open(os.path.join(out, "release.json"), "w", encoding="utf-8", newline="\n") as file:
    file.write(text)

# The recipe's target is the program the release installs.
exe = release["exe"]
with open(os.path.join(out, "recipe", "release.cmake"), "w", encoding="utf-8",
          newline="\n") as file:
    file.write("# Written by make-release.sh from release.json: the program the build makes.\n")
    file.write(f'set(ORMOLT_GAME_TARGET "{exe}")\n')

launcher = release.get("launcher")
if launcher:
    shutil.copy2(os.path.join(sample, launcher), os.path.join(out, launcher))

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
with open(os.path.join(out, "icon.png"), "wb") as file:
    file.write(png)
PY

echo "release folder: $out"
