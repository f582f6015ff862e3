#!/usr/bin/env bash
# Crash consistency of whole builds. With the sample release and the sample game it starts real
# `ormolt-build build` runs (and some `relink` runs from another copy of the game), kills each
# with SIGKILL (the whole process group, as a power cut would) at a random moment spread over the
# whole build, or (one build in three) at a random moment while CMake regenerates its files
# inside the compile, when the build tree is half written, and checks what the player and the
# next run rely on:
#   - every save file planted in game/UDATA before a round is there and byte-identical after the
#     next run (in game/, or rescued by the next run when the kill came mid-extraction);
#   - source.json, build.json and install-location.txt are absent or whole and valid;
#   - the next `status` answers with a valid state;
#   - the next `build` succeeds and `status` then says "ready";
#   - nothing was written outside the installation folder and the default build folder.
# Then, where the machine lets it mount a small file system, the full-disk check: a build into a
# nearly full file system ends with a "No space left on device" (or, before extracting, a "Not
# enough free space") error event and exit 1, leaves
# the old game and the saves as they were and the lock free, and a later build succeeds.
# Prints "N rounds, N kills (N during regeneration), N violations" and exits 1 on any violation
# (also when no kill at all came during a regeneration), naming the round's seed:
# `scripts/crash-test.sh 1 <seed>` replays that round.
# Usage: scripts/crash-test.sh [rounds] [first seed]     (default 50 rounds, seed from the clock)
# Env:   ORMOLT_CRASH_FULL_DISK=0 skips the full-disk check.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ORMOLT_CRASH_BUILD:-$root/build/crash}"
rounds="${1:-50}"
first_seed="${2:-$(( $(date +%s) % 1000000 ))}"
[[ "$rounds" =~ ^[0-9]+$ && "$first_seed" =~ ^[0-9]+$ ]] ||
    { echo "usage: crash-test.sh [rounds] [first seed]" >&2; exit 64; }
output_limit=4000000 # bytes kept of one run's output

"$root/scripts/deps.sh" linux
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORMOLT_TESTS=OFF >/dev/null
cmake --build "$build" --target ormolt-build FendrelCLI make-sample-game \
    --parallel "${ORMOLT_JOBS:-2}" >/dev/null

work="$(mktemp -d "${TMPDIR:-/tmp}/ormolt-crash.XXXXXX")"
mounted=""
cleanup() {
    [ -z "$mounted" ] || umount "$mounted" 2>/dev/null || umount -l "$mounted" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

"$build/testkit/make-sample-game" "$work/sources"
cp "$work/sources/sample-game.iso" "$work/sources/other-copy.iso"
sha1="$(sha1sum "$work/sources/sample-game/default.xbe" | cut -d' ' -f1)"
bash "$root/scripts/make-release.sh" "$work/release" "$build" "$sha1" >/dev/null
mkdir -p "$work/home" "$work/tmp" "$work/saves"

tool="$work/release/bin/ormolt-build"
install="$work/install"
builds="$work/builds"
# The default build folder of the sample title, where install-location.txt lives.
default_folder="$builds/51520001"
export ORMOLT_BUILD_DIR="$builds" HOME="$work/home" TMPDIR="$work/tmp"
unset LOCALAPPDATA XDG_DATA_HOME

violations=0
kills=0
regeneration_rounds=0
regeneration_kills=0
round=0
seed=0
violation() {
    echo "violation: round $round (seed $seed): $*" >&2
    violations=$((violations + 1))
}

# Runs the tool to completion with bounded output in $work/out; returns its exit status.
run_tool() {
    { "$tool" "$@" 2>&1; echo $? >"$work/status"; } | head -c "$output_limit" >"$work/out"
    return "$(cat "$work/status")"
}

# Checks the records: absent or whole and valid.
check_records() {
    python3 - "$install" "$default_folder" <<'PY' || return 1
import json, os, sys
install, default_folder = sys.argv[1:]
def check(path, fields):
    if not os.path.exists(path):
        return
    with open(path, "rb") as file:
        data = file.read()
    try:
        record = json.loads(data.decode("utf-8"))
    except Exception as error:
        sys.exit(f"{path} is not whole JSON: {error}: {data[:200]!r}")
    for name, kind in fields:
        if not isinstance(record.get(name), kind):
            sys.exit(f"{path} lacks a valid {name}: {data[:200]!r}")
check(os.path.join(install, "source.json"), [("path", str), ("size", int), ("mtime", int)])
check(os.path.join(install, "build.json"),
      [("release_version", str), ("title_id", str), ("xbe_sha1", str), ("exe", str)])
location = os.path.join(default_folder, "install-location.txt")
if os.path.exists(location):
    with open(location, "rb") as file:
        text = file.read().decode("utf-8", "replace")
    if text.strip() != install:
        sys.exit(f"install-location.txt holds {text!r}, not {install!r}")
PY
}

# Runs status; its one event must carry a valid state, and the wanted one when given.
check_status() {
    local wanted="${1:-}"
    if ! run_tool status; then
        echo "status failed: $(head -c 500 "$work/out")"
        return 1
    fi
    python3 - "$work/out" "$wanted" <<'PY' || return 1
import json, sys
path, wanted = sys.argv[1:]
lines = open(path, "rb").read().decode("utf-8").splitlines()
if len(lines) != 1:
    sys.exit(f"status wrote {len(lines)} lines: {lines[:3]}")
event = json.loads(lines[0])
states = {"no-source", "unbuilt", "moved", "stale", "ready"}
if event.get("event") != "status" or event.get("state") not in states:
    sys.exit(f"not a valid status event: {lines[0]}")
if wanted and event["state"] != wanted:
    sys.exit(f"state {event['state']}, expected {wanted}")
PY
}

# Every save planted so far, byte-identical, somewhere in the game folder's save folders.
check_saves() {
    local reference name found copy ok
    for reference in "$work/saves"/*; do
        [ -e "$reference" ] || continue
        name="$(basename "$reference")"
        ok=0
        found="$(find "$install/game" -name "$name" -type f 2>/dev/null | head -5)"
        for copy in $found; do
            cmp -s "$reference" "$copy" && ok=1
        done
        [ "$ok" -eq 1 ] || { echo "save $name is missing or changed"; return 1; }
    done
}

# The disc's own save folder is kept once beside the player's, however often runs are stopped:
# the game folder holds UDATA and UDATA.disc at the most.
check_no_copies_pile_up() {
    local folders
    folders="$(find "$install/game" -mindepth 1 -maxdepth 1 -type d \( -iname 'udata*' -o -iname 'tdata*' \))"
    [ "$(printf '%s' "$folders" | grep -c .)" -le 2 ] ||
        { echo "copies pile up: $(printf '%s' "$folders" | xargs -n1 basename | tr '\n' ' ')"; return 1; }
}

plant_save() {
    local name="save-$1.bin"
    head -c 4096 /dev/urandom >"$work/saves/$name"
    mkdir -p "$install/game/UDATA/crash-test"
    cp "$work/saves/$name" "$install/game/UDATA/crash-test/$name"
}

# Everything outside the installation folder and the default build folder (and the scratch
# folders the toolchain's own programs use), with sizes and times.
outside_snapshot() {
    find "$work" -path "$install" -prune -o -path "$builds" -prune -o -path "$work/tmp" -prune \
        -o -path "$work/home" -prune -o -path "$work/out" -prune -o -path "$work/saves" -prune \
        -o -path "$work/status" -prune \
        -o -printf '%p %s %T@\n' | LC_ALL=C sort
}

# A run that must succeed; on failure it says so with the run's error event.
must_succeed() {
    if ! run_tool "$@"; then
        echo "$1 failed: $(grep '"error"' "$work/out" | head -c 1000)"
        return 1
    fi
}

# A build that must succeed: the baseline and each round's recovery.
full_build() {
    must_succeed build --source "$work/sources/sample-game.iso" --install-dir "$install"
}

now_ms() { date +%s%3N; }

started=$(now_ms)
full_build || { echo "crash-test: the first build failed" >&2; exit 1; }
build_ms=$(( $(now_ms) - started ))
# A relink is far shorter than a build: its kills are spread over its own length.
started=$(now_ms)
must_succeed relink --source "$work/sources/other-copy.iso" >&2 ||
    { echo "crash-test: the first relink failed" >&2; exit 1; }
relink_ms=$(( $(now_ms) - started ))
echo "crash-test: one build takes ${build_ms} ms, one relink ${relink_ms} ms; killing at random moments within them"

# Kills every process of the round's session at once: the tool, and the program it runs, which
# leads a process group of its own (a SIGKILL gives the tool no chance to end it). Their command
# lines are left in $killed, one a line.
kill_session() {
    killed="$(pgrep -a -s "$1")"
    pkill -KILL -s "$1"
}

# Starts the tool in a session of its own; $runner is its id and the session's. Disowned, so
# that the shell does not report the kill; wait_run waits for its end.
start_run() {
    setsid bash -c 'exec "$0" "$@" 2>&1 | head -c '"$output_limit"' >"'"$work/out"'"' \
        "$tool" "$@" &
    runner=$!
    disown "$runner"
}

wait_run() {
    while kill -0 "$runner" 2>/dev/null; do
        sleep 0.01
    done
}

# Waits until a process of the run's session matches the pattern, then kills the session that
# many milliseconds later; a run that goes on past its deadline is killed all the same.
# Succeeds only when a process that matched the pattern was among those killed.
kill_when() {
    local pattern=$1 delay=$2 deadline=$((${EPOCHREALTIME/./} + (3 * build_ms + 2000) * 1000))
    while kill -0 "$runner" 2>/dev/null && ((${EPOCHREALTIME/./} < deadline)); do
        if pgrep -s "$runner" -f -- "$pattern" >/dev/null; then
            ((delay == 0)) || sleep "0.$(printf '%03d' "$delay")"
            kill_session "$runner" && kills=$((kills + 1))
            grep -qE -- "$pattern" <<<"$killed"
            return
        fi
    done
    kill -0 "$runner" 2>/dev/null && kill_session "$runner" && kills=$((kills + 1))
    return 1
}

for ((round = 1; round <= rounds; round++)); do
    seed=$((first_seed + round - 1))
    RANDOM=$seed
    plant_save "$round"
    before="$(outside_snapshot)"
    # One round in four kills a relink from the other copy of the game.
    command=(build --source "$work/sources/sample-game.iso" --install-dir "$install")
    length_ms=$build_ms
    if ((RANDOM % 4 == 0)); then
        command=(relink --source "$work/sources/other-copy.iso")
        length_ms=$relink_ms
    fi
    delay_ms=$(( (RANDOM * 32768 + RANDOM) % (length_ms + length_ms / 20 + 1) ))
    # One build in three is a regeneration round: a first build is killed while it compiles,
    # so that it leaves a configured build tree; the project's files are then made newer than
    # that tree (as a release update, or a copy within the tree's second, does), so the next
    # build must rewrite the tree's generated files, and it is killed a few milliseconds after
    # CMake starts doing so (inside the compile, or in a configure over the old tree).
    during_regeneration=0
    if [ "${command[0]}" = build ] && ((RANDOM % 3 == 0)); then
        during_regeneration=1
        regeneration_rounds=$((regeneration_rounds + 1))
        delay_ms=$((RANDOM % 8))
        start_run "${command[@]}"
        kill_when 'cmake --build' "$((RANDOM % 40))" || true
        wait_run
        [ ! -d "$install/project" ] || find "$install/project" -type f -exec touch {} +
    fi
    start_run "${command[@]}"
    outcome="ended by itself before"
    if ((during_regeneration)); then
        if kill_when 'regenerate-during-build|cmake -S ' "$delay_ms"; then
            regeneration_kills=$((regeneration_kills + 1))
            outcome="killed during the regeneration, at"
        else
            outcome="not killed during a regeneration (none seen, or it ended first), at"
        fi
    else
        sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
        if kill -0 "$runner" 2>/dev/null; then
            kill_session "$runner" && kills=$((kills + 1)) && outcome="killed at"
        fi
    fi
    wait_run

    problem="$(check_records 2>&1)" || violation "after the kill: $problem"
    problem="$(check_status 2>&1)" || violation "status after the kill: $problem"
    if ! problem="$(full_build 2>&1)"; then
        violation "the next build: $problem"
        break
    fi
    problem="$(check_status ready 2>&1)" || violation "status after the next build: $problem"
    problem="$(check_records 2>&1)" || violation "after the next build: $problem"
    problem="$(check_saves 2>&1)" || violation "$problem"
    problem="$(check_no_copies_pile_up 2>&1)" || violation "$problem"
    after="$(outside_snapshot)"
    [ "$before" = "$after" ] ||
        violation "written outside the installation folder: $(diff <(echo "$before") <(echo "$after") | head -5 | tr '\n' ' ')"
    echo "round $round: ${command[0]} $outcome ${delay_ms} ms" >&2
done
rounds_done=$((round > rounds ? rounds : round))

# ---- Full disk --------------------------------------------------------------------------
full_disk() {
    local disk="$work/disk"
    mkdir -p "$disk"
    if ! mount -t tmpfs -o size=64m tmpfs "$disk" 2>"$work/mount-error"; then
        echo "full-disk check skipped: cannot mount a small file system here ($(head -c 200 "$work/mount-error"))"
        return 0
    fi
    mounted="$disk"
    install="$disk/install"
    rm -f "$work/saves"/*
    full_build || { violation "full disk: the build with enough space failed"; return; }
    plant_save full-disk
    local game_kib free level failed_levels=0
    game_kib=$(du -sk "$install/game" | cut -f1)
    # Free space left for the build, in KiB: none, a little, half the game (extraction runs out),
    # the game and a bit more (translation or compile runs out).
    for level in 0 64 $((game_kib / 2)) $((game_kib + 256)) $((game_kib + 1024)); do
        rm -f "$disk/filler"
        free=$(df -k --output=avail "$disk" | tail -1 | tr -d ' ')
        if ((free > level)); then
            fallocate -l "$(((free - level) * 1024))" "$disk/filler" 2>/dev/null ||
                head -c "$(((free - level) * 1024))" /dev/zero >"$disk/filler" 2>/dev/null || true
        fi
        local game_before status=0
        game_before="$(cd "$install/game" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 sha1sum)"
        run_tool build --source "$work/sources/sample-game.iso" --install-dir "$install" || status=$?
        if [ "$status" -eq 0 ]; then
            echo "full disk with $level KiB free: the build fitted" >&2
            continue
        fi
        failed_levels=$((failed_levels + 1))
        [ "$status" -eq 1 ] || violation "full disk ($level KiB free): exit $status, not 1"
        if ! grep '"event":"error"' "$work/out" | grep -qiE 'no space left on device|not enough free space'; then
            violation "full disk ($level KiB free): no \"No space left on device\" or \"Not enough free space\" error event: $(grep '"error"' "$work/out" | head -c 600)"
        fi
        [ ! -e "$install/build.lock" ] || violation "full disk ($level KiB free): the lock was left behind"
        [ "$(cd "$install/game" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 sha1sum)" = "$game_before" ] ||
            violation "full disk ($level KiB free): the old game folder changed"
        problem="$(check_saves 2>&1)" || violation "full disk ($level KiB free): $problem"
        echo "full disk with $level KiB free: $(grep -o '"message":"[^"]*' "$work/out" | tail -1 | head -c 300)" >&2
    done
    ((failed_levels >= 2)) || violation "full disk: only $failed_levels of the levels ran out of space"
    # Another copy of the image with room for half the game: refused before anything is written.
    rm -f "$disk/filler"
    free=$(df -k --output=avail "$disk" | tail -1 | tr -d ' ')
    level=$((game_kib / 2))
    ((free <= level)) || fallocate -l "$(((free - level) * 1024))" "$disk/filler" 2>/dev/null ||
        head -c "$(((free - level) * 1024))" /dev/zero >"$disk/filler" 2>/dev/null || true
    local status=0 game_before
    game_before="$(cd "$install/game" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 sha1sum)"
    run_tool build --source "$work/sources/other-copy.iso" --install-dir "$install" || status=$?
    [ "$status" -eq 1 ] || violation "full disk, another copy ($level KiB free): exit $status, not 1"
    grep '"event":"error"' "$work/out" | grep -q 'Not enough free space for' ||
        violation "full disk, another copy ($level KiB free): no \"Not enough free space\" error event: $(grep '"error"' "$work/out" | head -c 600)"
    [ ! -e "$install/game.partial" ] || [ -z "$(ls -A "$install/game.partial")" ] ||
        violation "full disk, another copy: game files were written"
    [ "$(cd "$install/game" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 sha1sum)" = "$game_before" ] ||
        violation "full disk, another copy: the old game folder changed"
    [ ! -e "$install/build.lock" ] || violation "full disk, another copy: the lock was left behind"
    echo "full disk, another copy with $level KiB free: $(grep -o '"message":"[^"]*' "$work/out" | tail -1 | head -c 300)" >&2
    rm -f "$disk/filler"
    if problem="$(full_build 2>&1)"; then
        problem="$(check_status ready 2>&1)" || violation "full disk: status after space came back: $problem"
        problem="$(check_saves 2>&1)" || violation "full disk: after space came back: $problem"
        echo "full-disk check: done"
    else
        violation "full disk: the build after space came back: $problem"
    fi
}
if [ "${ORMOLT_CRASH_FULL_DISK:-1}" != 0 ]; then
    round=full-disk seed=-
    full_disk
fi

if ((regeneration_rounds >= 3 && regeneration_kills == 0)); then
    round=regeneration seed=-
    violation "none of $regeneration_rounds builds was killed while CMake regenerated its files"
fi
echo "crash-test: $rounds_done rounds, $kills kills ($regeneration_kills during regeneration), $violations violations (first seed $first_seed)"
[ "$violations" -eq 0 ]
