#!/usr/bin/env bash
# One whole sample build with ormolt-build.exe under Wine, as a player on Windows runs it: the
# release and the player's folders hold blanks and characters outside the ANSI code page, the
# installation folder is the default one under %LOCALAPPDATA% of a player named "Zoë 李" (a
# prefix of the player's own, made under that user name: Wine takes LOCALAPPDATA from its
# profile, not from the environment), and the symbol scan runs the real FendrelCLI.exe. The
# release's Python and CMake are the sample release's Linux programs, reached through
# wine-unix-bridge.exe (Wine cannot wait for a Linux program by itself). Then `status`, and a
# second build from the game's folder after one game file and one recipe file were made
# read-only.
# Usage: scripts/windows-sample-build.sh <Windows build folder> <scratch folder>
# Needs WINEPREFIX (a ready prefix) in the environment; python3, cmake, ninja and cc on the host.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build=$1 scratch=$2
fail() { echo "windows-sample-build.sh: $*" >&2; exit 1; }
windows_path() { printf 'Z:%s' "$1" | tr '/' '\\'; }

release="$scratch/My Games/Zoë 李/sample release"
# The testkit's programs take such paths too.
games="$scratch/Zoë 李 games"
mkdir -p "$games"

WINEDEBUG=-all wine "$build/testkit/make-sample-game.exe" "$(windows_path "$games")"

# The player's prefix, ended on every way out (the caller removes the scratch folder).
# Wine names the profile after USER at every start, so it stays set for every run below.
export WINEPREFIX="$scratch/player-prefix" USER='Zoë 李' LOGNAME='Zoë 李'
trap 'wineserver -k 2>/dev/null || true' EXIT
wineboot -i >/dev/null 2>&1
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /t REG_SZ /d 0 /f \
    >/dev/null 2>&1 || true
wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /f \
    >/dev/null 2>&1 || true
wineserver -w
# Only AppData is used inside the profile: Wine links Downloads, Documents and the other shell
# folders to the Unix home, which a test must never write into.
profile="$WINEPREFIX/drive_c/users/Zoë 李"
[ -d "$profile/AppData/Local" ] && [ ! -L "$profile/AppData" ] && [ ! -L "$profile/AppData/Local" ] ||
    fail "the player's prefix has no AppData/Local folder of its own in $profile"
player="$scratch/Users/Zoë 李"
mkdir -p "$player/Downloads"
mv "$games/sample-game.iso" "$player/Downloads/sample game.iso"
mv "$games/sample-game" "$player/Downloads/sample game"
sha1="$(sha1sum "$player/Downloads/sample game/default.xbe" | cut -d' ' -f1)"
# The sample release's description, with the bridge as each of its Windows programs beside the
# Linux one it stands for.
description="$scratch/description"
mkdir -p "$description"
sed "s/@SAMPLE_XBE_SHA1@/$sha1/" "$root/sample-release/release.json.in" >"$description/release.json"
cp -R "$root/sample-release/python" "$root/sample-release/toolchain" "$root/sample-release/runtime" \
    "$description/"
cp "$root/sample-release/play-sample.sh" "$root/sample-release/LICENSE" "$description/"
for program in python/python toolchain/cmake/bin/cmake toolchain/ninja/bin/ninja \
    toolchain/bin/zcc toolchain/bin/zc++ toolchain/bin/zar toolchain/bin/zranlib toolchain/bin/zrc; do
    cp "$build/testkit/wine-unix-bridge.exe" "$description/$program.exe"
done
bash "$root/scripts/make-release.sh" --game "$description" "$release" "$build" >/dev/null

unset ORMOLT_BUILD_DIR LOCALAPPDATA
export WINEDEBUG=-all
unset ORMOLT_OUTPUT
tool="$release/bin/ormolt-build.exe"
folder="$profile/AppData/Local/ormolt/builds/51520001"
events="$scratch/events.txt"

# Runs the tool; its events (a few hundred lines at most) go to a bounded file.
run() {
    local status=0
    wine "$tool" "$@" 2>"$scratch/stderr.txt" | head -c 4000000 >"$events" || status=$?
    status=${PIPESTATUS[0]:-$status}
    if ! tail -n 1 "$events" | grep -q "\"event\":\"$expect\""; then
        echo "--- last events:" >&2; tail -n 5 "$events" >&2
        echo "--- build.log:" >&2; tail -n 30 "$folder/build.log" 2>/dev/null >&2 || true
        fail "ormolt-build.exe $1 did not end with a $expect event"
    fi
}

start=$SECONDS
expect=done run build --source "$(windows_path "$player/Downloads/sample game.iso")"
[ -f "$folder/build.json" ] || fail "no build.json in $folder"
exe="$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["exe"])' "$folder/build.json")"
[ -f "$folder/$exe" ] || fail "the program was not installed in $folder"
grep -q '"event":"log"' "$events" || fail "no output of the release's programs reached the events"
grep -Eq '^[1-9][0-9]* XDK symbols in default.xbe' "$folder/build.log" || fail "the symbol scan found nothing"
echo "sample build under Wine: done in $((SECONDS - start)) s, installed $folder/$exe"
# The sample's toolchain is the host's, so the program is a Linux one under the Windows name.
"$folder/$exe" | head -n 3

expect=status run status
grep -q '"state":"ready"' "$events" || fail "status is not ready: $(cat "$events")"
echo "status: ready"

# Files from a disc are read-only, and so may be a release's: neither may stop a later build.
chmod a-w "$player/Downloads/sample game/media/intro.txt" "$release/recipe/CMakeLists.txt"
start=$SECONDS
expect=done run build --source "$(windows_path "$player/Downloads/sample game")"
# By the permission bits: the test may run as root, whom -w does not stop.
owner_may_write() { [[ "$(stat -c %A "$1")" == ??w* ]]; }
owner_may_write "$folder/game/media/intro.txt" || fail "the game's copy stayed read-only"
! owner_may_write "$player/Downloads/sample game/media/intro.txt" || fail "the player's file was changed"
! owner_may_write "$release/recipe/CMakeLists.txt" || fail "the release's file was changed"
echo "second build (read-only game and recipe files): done in $((SECONDS - start)) s"
chmod u+w "$player/Downloads/sample game/media/intro.txt" "$release/recipe/CMakeLists.txt"

# The system's own error texts in the player's language: the same failure under a French and an
# English Wine reads differently (the C runtime's texts would be English both times). The paths
# stay ASCII here, since the host may lack the French locale that Wine would decode them with.
mkdir -p "$scratch/ascii-release/bin"
cp "$release/release.json" "$scratch/ascii-release/"
cp "$tool" "$scratch/ascii-release/bin/"
refusal() {
    LC_ALL=$1 LANG=$1 wine "$scratch/ascii-release/bin/ormolt-build.exe" build --install-dir "$(windows_path "$scratch/a<b")" \
        --release "$(windows_path "$scratch/ascii-release")" 2>/dev/null | head -c 100000 | tail -n 1 || true
}
english="$(refusal C.UTF-8)" french="$(refusal fr_FR.UTF-8)"
[[ "$english" == *'"event":"error"'* && "$french" == *'"event":"error"'* ]] ||
    fail "no error for an invalid folder name: $english / $french"
[ "$english" != "$french" ] || fail "the system's error text does not follow the language: $french"
english="${english#*a<b: }" french="${french#*a<b: }"
echo "system error text, English: ${english%%\"*}; French: ${french%%\"*}"
