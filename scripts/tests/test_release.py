"""release.py on the inputs a release maker can hand it: disc images of every layout the build
tool reads, broken images, and descriptions the build tool would refuse."""
import contextlib
import hashlib
import io
import json
import os
import struct
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import release  # noqa: E402

SECTOR = 2048
MAGIC = b"MICROSOFT*XBOX*MEDIA"


def entry(name, sector, size, left=0, right=0, attributes=0):
    raw = name.encode("cp1252")
    data = struct.pack("<HHIIBB", left, right, sector, size, attributes, len(raw)) + raw
    return data + b"\xff" * (-len(data) % 4)


def write_image(path, base, entries, files, table_size=None, image_size=None):
    """A disc image: the volume at `base`, the root table at sector 33 (relative to the base),
    file data at the sectors the entries name."""
    table = b"".join(entries)
    header = bytearray(SECTOR)
    header[:20] = MAGIC
    header[0x7EC:0x7EC + 20] = MAGIC
    struct.pack_into("<II", header, 0x14, 33, table_size if table_size is not None else len(table))
    with open(path, "wb") as file:
        file.seek(base + 32 * SECTOR)
        file.write(header)
        file.seek(base + 33 * SECTOR)
        file.write(table)
        for sector, data in files:
            file.seek(base + sector * SECTOR)
            file.write(data)
        if image_size is not None:
            file.truncate(image_size)


class Sha1(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.path = os.path.join(self.folder.name, "game.iso")
        self.xbe = b"XBEH" + bytes(range(256)) * 40
        self.digest = hashlib.sha1(self.xbe).hexdigest()

    def tearDown(self):
        self.folder.cleanup()

    def test_found_at_every_volume_start_whatever_its_letter_case(self):
        for base in release.VOLUME_BASES:
            with self.subTest(base=hex(base)):
                # default.xbe is reached through the tree: the root entry links to it.
                first = entry("media", 50, 4)
                entries = [entry("media", 50, 4, right=len(first) // 4),
                           entry("DEFAULT.XBE", 36, len(self.xbe))]
                write_image(self.path, base, entries, [(36, self.xbe), (50, b"data")])
                self.assertEqual(release.xbe_sha1(self.path), self.digest)

    def test_a_folder_and_the_xbe_itself(self):
        game = os.path.join(self.folder.name, "game")
        os.makedirs(game)
        with open(os.path.join(game, "marble.xbe"), "wb") as file:
            file.write(self.xbe)
        self.assertEqual(release.xbe_sha1(game, "marble.xbe"), self.digest)
        self.assertEqual(release.xbe_sha1(os.path.join(game, "marble.xbe")), self.digest)
        with self.assertRaisesRegex(release.Refused, "it has no default.xbe"):
            release.xbe_sha1(game)

    def test_broken_images_are_refused(self):
        # Three entries of five units each: the second and third link to each other.
        looped = [entry("a.txt", 40, 1, right=5), entry("b.txt", 40, 1, right=10),
                  entry("c.txt", 40, 1, left=5)]
        cases = [
            ("no volume", None, "neither a folder, an XBE nor an Xbox disc image"),
            ("a table that links into itself", (looped, [(40, b"x")], None, None),
             "it has no default.xbe"),
            ("the XBE past the end",
             ([entry("default.xbe", 36, 1 << 20)], [(36, b"XBEH")], None, None),
             "past the end of the image"),
            ("the table past the end",
             ([entry("default.xbe", 36, 4)], [(36, b"XBEH")], 1 << 20, None),
             "root directory lies past the end"),
            ("an entry cut by the table's end",
             ([entry("default.xbe", 36, 4)], [(36, b"XBEH")], 10, None),
             "it has no default.xbe"),
        ]
        for what, image, message in cases:
            with self.subTest(what):
                if image is None:
                    with open(self.path, "wb") as file:
                        file.write(b"\0" * 100000)
                else:
                    entries, files, table_size, image_size = image
                    write_image(self.path, 0, entries, files, table_size, image_size)
                with self.assertRaisesRegex(release.Refused, message):
                    release.xbe_sha1(self.path)


class Description(unittest.TestCase):
    GOOD = {"title_id": "4d510002", "title_name": "Marble Quarry", "version": "0.3",
            "exe": "marble", "xbe_sha1": ["0123456789abcdef0123456789ABCDEF01234567"]}

    def test_what_the_tool_would_refuse(self):
        release.check_description(dict(self.GOOD))
        cases = [
            ({"title_id": None}, "title_id must be given"),
            ({"title_id": "a/b"}, "title_id must be a plain folder name"),
            ({"title_id": ".."}, "title_id must be a plain folder name"),
            ({"exe": "bin/marble"}, "exe must be a plain file name"),
            ({"xbe_sha1": []}, "accepts no copy"),
            ({"xbe_sha1": ["abc"]}, "is not a SHA-1"),
            ({"images": [{"name": "x"}]}, "is not a SHA-1"),
            ({"images": [{"sha1": "0" * 40, "name": 3}]}, "name must be a string"),
            ({"launcher": "../play.sh"}, "launcher must be a plain file name"),
            ({"xbe": ".hidden"}, "xbe must not begin with a dot"),
            ({"lift": []}, "lift must be null or a non-empty array"),
        ]
        for change, message in cases:
            with self.subTest(change=change):
                description = dict(self.GOOD)
                description.update(change)
                if change.get("title_id", "") is None:
                    del description["title_id"]
                with self.assertRaisesRegex(release.Refused, message):
                    release.check_description(description)

    def test_a_member_given_twice(self):
        with self.assertRaisesRegex(release.Refused, "given twice"):
            json.loads('{"exe": "a", "exe": "b"}', object_pairs_hook=release.no_duplicates)


def write(path, text, mode=0o644):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as file:
        file.write(text)
    os.chmod(path, mode)


class Assemble(unittest.TestCase):
    """The assembly with stand-ins for the two programs: a FendrelCLI that, like the real one
    without a file to scan, answers with its usage line."""

    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        root = self.folder.name
        self.build = os.path.join(root, "build")
        write(os.path.join(self.build, "build-tool", "ormolt-build"), "#!/bin/sh\n", 0o755)
        write(os.path.join(self.build, "scanner", "FendrelCLI"),
              "#!/bin/sh\necho 'usage: FendrelCLI xbefile' >&2\nexit 1\n", 0o755)
        self.description = os.path.join(root, "marble")
        self.release = dict(Description.GOOD, launcher="play-marble.sh")
        write(os.path.join(self.description, "release.json"), json.dumps(self.release))
        write(os.path.join(self.description, "play-marble.sh"), "#!/bin/sh\n", 0o755)
        write(os.path.join(self.description, "signatures", "x.records"), "# empty\n")
        write(os.path.join(self.description, "engine", "own.cmake"), "# the game's engine\n")
        self.out = os.path.join(root, "R")

    def tearDown(self):
        self.folder.cleanup()

    def assemble(self):
        with contextlib.redirect_stdout(io.StringIO()) as shown:
            release.assemble(self.description, self.out, self.build)
        return shown.getvalue()

    def test_the_descriptions_files_win_and_the_rest_is_the_samples(self):
        shown = self.assemble()
        self.assertIn("from the sample release (stand-ins): python, toolkit, recipe, toolchain",
                      shown)
        self.assertIn("signature packs: x.records (checked)", shown)
        self.assertEqual(os.listdir(os.path.join(self.out, "engine")), ["own.cmake"])
        for path in ("bin/signatures/x.records", "play-marble.sh", "recipe/release.cmake",
                     "toolkit/scripts/recompile.py"):
            self.assertTrue(os.path.isfile(os.path.join(self.out, path)), path)
        with open(os.path.join(self.out, "release.json")) as file:
            self.assertEqual(json.load(file), self.release)

    def test_a_release_lacking_part_of_the_contract_is_not_left(self):
        write(os.path.join(self.description, "toolchain", "bin", "zcc"), "#!/bin/sh\n", 0o755)
        self.release["lift"] = ["ormolt/lift.py", "{xbe_dir}"]
        write(os.path.join(self.description, "release.json"), json.dumps(self.release))
        with self.assertRaisesRegex(release.Refused, "would lack toolchain/cmake/bin/cmake "
                                    r"\(a program\).*toolchain/bin/zrc \(a program\), "
                                    "toolkit/lift.py; nothing is left"):
            self.assemble()
        self.assertFalse(os.path.exists(self.out))

    def test_a_broken_pack_or_a_missing_launcher_is_refused(self):
        write(os.path.join(self.build, "scanner", "FendrelCLI"),
              "#!/bin/sh\necho 'Fendrel: signatures/x.records:1: unknown line' >&2\nexit 1\n",
              0o755)
        with self.assertRaisesRegex(release.Refused, "refuses the signature packs:\n"
                                    "Fendrel: signatures/x.records:1: unknown line; nothing is "
                                    "left"):
            self.assemble()
        self.assertFalse(os.path.exists(self.out))
        os.remove(os.path.join(self.description, "play-marble.sh"))
        with self.assertRaisesRegex(release.Refused, "names the launcher play-marble.sh"):
            self.assemble()


    def test_the_description_and_an_earlier_release_are_never_lost(self):
        # A release folder that is, holds or lies inside the description would delete it.
        for out in (self.description, os.path.join(self.description, "out"),
                    os.path.dirname(self.description)):
            with self.subTest(out=out):
                self.out = out
                with self.assertRaisesRegex(release.Refused, "overlap"):
                    self.assemble()
                self.assertTrue(os.path.isfile(os.path.join(self.description, "release.json")))
        # A failed re-assembly keeps the release that worked.
        self.out = os.path.join(self.folder.name, "R")
        self.assemble()
        write(os.path.join(self.build, "scanner", "FendrelCLI"), "#!/bin/sh\necho bad >&2\n",
              0o755)
        with self.assertRaisesRegex(release.Refused, "the release in .* is as it was"):
            self.assemble()
        self.assertTrue(os.path.isfile(os.path.join(self.out, "bin", "signatures", "x.records")))
        self.assertEqual(sorted(os.listdir(self.folder.name)), ["R", "build", "marble"])


if __name__ == "__main__":
    unittest.main()
