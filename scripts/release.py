#!/usr/bin/env python3
"""The release maker's helper: the SHA-1 a release accepts a copy of its game by, and a release
folder assembled from a description folder.

    release.py sha1 <game folder | disc image | xbe> [--xbe NAME]
    release.py assemble <description folder> <release folder> <CMake build folder>

A description folder holds release.json (the release description as the release ships it) and,
optionally, the release's own files: toolkit/, recipe/, engine/, python/, toolchain/, runtime/,
dxc/, signatures/*.records, the launcher release.json names, icon.ico, icon.png, LICENSE and
NOTICE.txt. The programs a description does not bring (toolkit, recipe, engine, python,
toolchain) are taken from sample-release/, whose stand-ins hand the work to the system's Python,
CMake, Ninja and C compiler; the helper says which ones it took.
"""
import hashlib
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.realpath(__file__)))
SAMPLE = os.path.join(ROOT, "sample-release")

SECTOR = 2048
# Where an image's file system may start, in the order the build tool probes them.
VOLUME_BASES = (0, 0x18300000, 0x0FD90000, 0x02080000)
VOLUME_MAGIC = b"MICROSOFT*XBOX*MEDIA"
# The release's programs: from the description when it has them, else the sample's stand-ins.
PROGRAM_FOLDERS = ("python", "toolkit", "recipe", "engine", "toolchain")
OPTIONAL_FILES = ("icon.ico", "icon.png", "LICENSE", "NOTICE.txt")


class Refused(Exception):
    pass


# ---- SHA-1 of a game's XBE -------------------------------------------------------------------

def sha1_of_stream(read, size):
    digest = hashlib.sha1()
    left = size
    while left > 0:
        chunk = read(min(left, 1 << 20))
        if not chunk:
            raise Refused("the file ends before its last byte")
        digest.update(chunk)
        left -= len(chunk)
    return digest.hexdigest()


def find_in_image(file, image_size, name):
    """(offset, size) of the root entry `name` (letter case ignored) of an Xbox disc image."""
    for base in VOLUME_BASES:
        volume = base + 32 * SECTOR
        if volume + SECTOR > image_size:
            continue
        file.seek(volume)
        header = file.read(SECTOR)
        if header[:20] != VOLUME_MAGIC or header[0x7EC:0x7EC + 20] != VOLUME_MAGIC:
            continue
        table_sector, table_size = struct.unpack_from("<II", header, 0x14)
        table_at = base + table_sector * SECTOR
        if table_size == 0 or table_at + table_size > image_size:
            raise Refused("its root directory lies past the end of the image")
        file.seek(table_at)
        table = file.read(table_size)
        wanted = name.upper()
        # The entries form a tree of offsets (in 4-byte units) inside the table; each is visited
        # once, so a table that links back into itself cannot loop.
        pending, seen = [0], set()
        while pending:
            at = pending.pop() * 4
            if at in seen or at + 14 > len(table):
                continue
            seen.add(at)
            left, right, sector, size, _attributes, length = struct.unpack_from("<HHIIBB", table, at)
            if left == 0xFFFF and right == 0xFFFF:
                continue  # padding
            entry_name = table[at + 14:at + 14 + length].decode("cp1252", "replace")
            if at + 14 + length <= len(table) and entry_name.upper() == wanted:
                offset = base + sector * SECTOR
                if offset + size > image_size:
                    raise Refused(f"its {name} lies past the end of the image")
                return offset, size
            pending.extend(link for link in (left, right) if link not in (0, 0xFFFF))
        raise Refused(f"it has no {name} at the root of its disc")
    raise Refused("it is neither a folder, an XBE nor an Xbox disc image")


def xbe_sha1(path, name="default.xbe"):
    if os.path.isdir(path):
        # As on the disc, and as the build tool reads a folder: the name itself, else one that
        # differs from it only in letter case.
        xbe = os.path.join(path, name)
        if not os.path.isfile(xbe):
            alike = [entry for entry in sorted(os.listdir(path))
                     if os.fsencode(entry).lower() == os.fsencode(name).lower()
                     and os.path.isfile(os.path.join(path, entry))]
            if not alike:
                raise Refused(f"it has no {name}")
            xbe = os.path.join(path, alike[0])
        with open(xbe, "rb") as file:
            return sha1_of_stream(file.read, os.fstat(file.fileno()).st_size)
    with open(path, "rb") as file:
        size = os.fstat(file.fileno()).st_size
        if file.read(4) == b"XBEH":
            file.seek(0)
            return sha1_of_stream(file.read, size)
        offset, length = find_in_image(file, size, name)
        file.seek(offset)
        return sha1_of_stream(file.read, length)


# ---- The release description -----------------------------------------------------------------

def no_duplicates(pairs):
    members = {}
    for key, value in pairs:
        if key in members:
            raise Refused(f"the member {key} is given twice")
        members[key] = value
    return members


def bare_file_name(value):
    return (isinstance(value, str) and value not in ("", ".", "..")
            and not re.search(r"[/\\\x00]", value))


def check_description(release):
    """The faults the build tool would refuse at its start, found before anything is built."""
    if not isinstance(release, dict):
        raise Refused("it is not a JSON object")
    for member in ("title_id", "title_name", "version", "exe"):
        if not isinstance(release.get(member), str):
            raise Refused(f"{member} must be given, as a string")
    title_id = release["title_id"]
    if title_id in ("", ".") or ".." in title_id or re.search(r"[/\\:]", title_id):
        raise Refused("title_id must be a plain folder name")
    if not bare_file_name(release["exe"]):
        raise Refused("exe must be a plain file name (the program is installed as <exe>.exe)")
    images = release.get("images", [])
    hashes = release.get("xbe_sha1", [])
    if not isinstance(images, list) or not all(isinstance(i, dict) for i in images):
        raise Refused("images must be an array of objects")
    if not isinstance(hashes, list) or not all(isinstance(h, str) for h in hashes):
        raise Refused("xbe_sha1 must be an array of strings")
    digests = [image.get("sha1") for image in images] + hashes
    if not digests:
        raise Refused("it accepts no copy of the game: give images or xbe_sha1")
    for digest in digests:
        if not isinstance(digest, str) or not re.fullmatch(r"[0-9A-Fa-f]{40}", digest):
            raise Refused(f"{digest!r} is not a SHA-1 (40 hexadecimal digits); "
                          "release.py sha1 <game> prints it")
    for image in images:
        for member in ("name", "config"):
            if member in image and not isinstance(image[member], str) and not (
                    member == "config" and image[member] is None):
                raise Refused(f"an image's {member} must be a string")
    for member in ("launcher", "xbe"):
        value = release.get(member)
        if value is not None and not bare_file_name(value):
            raise Refused(f"{member} must be a plain file name")
    if isinstance(release.get("xbe"), str) and release["xbe"].startswith("."):
        raise Refused("xbe must not begin with a dot")
    lift = release.get("lift")
    if lift is not None and (not isinstance(lift, list) or not lift
                             or not all(isinstance(word, str) for word in lift)):
        raise Refused("lift must be null or a non-empty array of strings (the script first)")


# ---- Assembly --------------------------------------------------------------------------------

def find_program(build, relative):
    for candidate in (relative, relative + ".exe"):
        path = os.path.join(build, candidate)
        if os.path.isfile(path):
            return path
    raise Refused(f"no {relative} in {build} (build the targets ormolt-build and FendrelCLI first)")


def check_output(description, out):
    """The release folder may be empty or an earlier release, and must lie apart from the
    description, which replacing it would delete."""
    inside = lambda inner, outer: os.path.commonpath([inner, outer]) == outer
    real_out, real_description = os.path.realpath(out), os.path.realpath(description)
    if inside(real_out, real_description) or inside(real_description, real_out):
        raise Refused(f"{out} and the description folder {description} overlap; choose a "
                      "release folder apart from it")
    if os.path.lexists(out):
        if not os.path.isdir(out) or os.path.islink(out):
            raise Refused(f"{out} exists and is not a folder")
        if os.listdir(out) and not os.path.isfile(os.path.join(out, "release.json")):
            raise Refused(f"{out} is neither empty nor an earlier release; not touching it")


def staging_folder(out):
    """A new folder beside the release folder: the release is put together there and takes the
    release folder's place only once whole, so a failed assembly keeps the earlier release."""
    parent = os.path.dirname(os.path.abspath(out))
    os.makedirs(parent, exist_ok=True)
    stage = tempfile.mkdtemp(prefix=os.path.basename(os.path.abspath(out)) + ".assembling-",
                             dir=parent)
    os.makedirs(os.path.join(stage, "bin"))
    return stage


def put_in_place(stage, out):
    previous = None
    if os.path.lexists(out):
        previous = tempfile.mkdtemp(prefix=os.path.basename(os.path.abspath(out)) + ".previous-",
                                    dir=os.path.dirname(os.path.abspath(out)))
        os.rmdir(previous)
        os.rename(out, previous)
    try:
        os.rename(stage, out)
    except OSError:
        if previous:
            os.rename(previous, out)
        raise
    if previous:
        shutil.rmtree(previous, ignore_errors=True)


def copy_tree(source, target):
    shutil.copytree(source, target, symlinks=False,
                    ignore=shutil.ignore_patterns("__pycache__", "*.pyc"), dirs_exist_ok=True)


def check_packs(out, scanner):
    """FendrelCLI reads the packs before anything else: without a file to scan it answers with
    its usage line when they are sound, and with their faults when they are not."""
    if scanner.endswith(".exe") and os.name != "nt":
        return "not checked (a Windows FendrelCLI)"
    run = subprocess.run([os.path.join(out, "bin", os.path.basename(scanner))],
                         capture_output=True, text=True, errors="replace", timeout=60)
    if not run.stderr.startswith("usage:"):
        raise Refused("FendrelCLI refuses the signature packs:\n" + run.stderr.rstrip())
    return "checked"


def missing_paths(out, release, suffix):
    """The paths of the contract that the assembled release lacks, as the build would miss them."""
    programs = ["bin/ormolt-build", "bin/FendrelCLI", "python/python",
                "toolchain/cmake/bin/cmake", "toolchain/ninja/bin/ninja"]
    programs += [f"toolchain/bin/{name}" for name in ("zcc", "zc++", "zar", "zranlib", "zrc")]
    files = ["recipe/CMakeLists.txt"]
    folders = ["toolkit", "recipe", "engine"]
    lift = release.get("lift")
    if lift is None:
        files.append("toolkit/scripts/recompile.py")
        if not os.path.isdir(os.path.join(out, "toolkit", "tools", "xdk_symbols")):
            files.append("toolkit/tools/xdk_symbols.py")
    elif not os.path.isabs(lift[0]):
        # The script is found in the project (the recipe), or in the toolkit through the
        # project's ormolt link.
        script = lift[0].replace("\\", "/")
        files.append("toolkit/" + script[len("ormolt/"):] if script.startswith("ormolt/")
                     else "recipe/" + script)
    if release.get("launcher"):
        files.append(release["launcher"])
    missing = []
    for path in programs:
        full = os.path.join(out, path + suffix)
        if not os.path.isfile(full) or (os.name != "nt" and not suffix
                                        and not os.access(full, os.X_OK)):
            missing.append(path + suffix + " (a program)")
    missing += [path for path in files if not os.path.isfile(os.path.join(out, path))]
    missing += [path + "/" for path in folders if not os.path.isdir(os.path.join(out, path))]
    return missing


def assemble(description, out, build):
    release_file = os.path.join(description, "release.json")
    try:
        with open(release_file, "rb") as file:
            text = file.read()
        release = json.loads(text.decode("utf-8"), object_pairs_hook=no_duplicates)
        check_description(release)
    except (OSError, UnicodeDecodeError, ValueError) as error:
        raise Refused(f"{release_file}: {error}")
    except Refused as error:
        raise Refused(f"{release_file}: {error}")
    launcher = release.get("launcher")
    if launcher is not None and not os.path.isfile(os.path.join(description, launcher)):
        raise Refused(f"{release_file} names the launcher {launcher}, which {description} lacks")

    tool = find_program(build, "build-tool/ormolt-build")
    scanner = find_program(build, "scanner/FendrelCLI")
    check_output(description, out)
    final, out = out, staging_folder(out)
    try:
        assemble_into(description, release, text, launcher, tool, scanner, out)
    except BaseException as error:
        shutil.rmtree(out, ignore_errors=True)
        if isinstance(error, Refused):
            left = (f"the release in {final} is as it was" if os.path.isdir(final)
                    and os.listdir(final) else f"nothing is left in {final}")
            raise Refused(f"{error}; {left}")
        raise
    put_in_place(out, final)
    print_summary(final, release, stand_ins_of(description), packs_of(description), scanner)


def stand_ins_of(description):
    return [folder for folder in PROGRAM_FOLDERS
            if not os.path.isdir(os.path.join(description, folder))]


def packs_of(description):
    signatures = os.path.join(description, "signatures")
    return sorted(name for name in os.listdir(signatures)
                  if name.endswith(".records")) if os.path.isdir(signatures) else []


def assemble_into(description, release, text, launcher, tool, scanner, out):
    for program in (tool, scanner):
        shutil.copy2(program, os.path.join(out, "bin"))

    for folder in PROGRAM_FOLDERS:
        own = os.path.join(description, folder)
        if not os.path.isdir(own):
            own = os.path.join(SAMPLE, folder)
        copy_tree(own, os.path.join(out, folder))
    for folder in ("runtime", "dxc"):
        if os.path.isdir(os.path.join(description, folder)):
            copy_tree(os.path.join(description, folder), os.path.join(out, folder))
    for name in OPTIONAL_FILES + ((launcher,) if launcher else ()):
        if os.path.isfile(os.path.join(description, name)):
            shutil.copy2(os.path.join(description, name), os.path.join(out, name))

    packs = packs_of(description)
    if packs:
        os.makedirs(os.path.join(out, "bin", "signatures"))
        for name in packs:
            shutil.copy2(os.path.join(description, "signatures", name),
                         os.path.join(out, "bin", "signatures", name))

    # The description goes into the release byte for byte.
    with open(os.path.join(out, "release.json"), "wb") as file:
        file.write(text)
    # The project template builds its program under the name the release installs.
    with open(os.path.join(out, "recipe", "release.cmake"), "w", encoding="utf-8",
              newline="\n") as file:
        file.write("# Written by make-release.sh from release.json: the program the build makes.\n")
        file.write(f'set(ORMOLT_GAME_TARGET "{release["exe"]}")\n')

    # A release that lacks part of the contract, or whose scanner refuses its packs, is not left
    # behind to fail in a player's build.
    missing = missing_paths(out, release, ".exe" if tool.endswith(".exe") else "")
    if missing:
        raise Refused("the release would lack " + ", ".join(missing))
    if packs:
        try:
            check_packs(out, scanner)
        except (OSError, subprocess.SubprocessError) as error:
            raise Refused(str(error))


def print_summary(out, release, stand_ins, packs, scanner):
    print(f"release folder: {out}")
    print(f"  {release['title_name']} ({release['title_id'].upper()}), version "
          f"{release['version']}, installs {release['exe']}.exe")
    if stand_ins:
        print("  from the sample release (stand-ins): " + ", ".join(stand_ins))
    if packs:
        checked = ("not checked (a Windows FendrelCLI)"
                   if scanner.endswith(".exe") and os.name != "nt" else "checked")
        print(f"  signature packs: {', '.join(packs)} ({checked})")


def main(argv):
    usage = ("usage: release.py sha1 <game folder | disc image | xbe> [--xbe NAME]\n"
             "       release.py assemble <description folder> <release folder> "
             "<CMake build folder>\n")
    if len(argv) >= 2 and argv[1] in ("-h", "--help"):
        sys.stdout.write(usage)
        return 0
    try:
        if len(argv) in (3, 5) and argv[1] == "sha1":
            name = "default.xbe"
            if len(argv) == 5:
                if argv[3] != "--xbe" or not bare_file_name(argv[4]):
                    sys.stderr.write(usage)
                    return 64
                name = argv[4]
            try:
                print(xbe_sha1(argv[2], name))
            except OSError as error:
                raise Refused(error.strerror or str(error))
            except Refused as error:
                raise Refused(f"{argv[2]}: {error}")
            return 0
        if len(argv) == 5 and argv[1] == "assemble":
            try:
                assemble(argv[2], argv[3], argv[4])
            except (OSError, shutil.Error, subprocess.SubprocessError) as error:
                raise Refused(f"cannot assemble {argv[3]}: {error}")
            return 0
    except Refused as error:
        sys.stderr.write(f"release.py: {error}\n")
        return 1
    sys.stderr.write(usage)
    return 64


if __name__ == "__main__":
    sys.exit(main(sys.argv))
