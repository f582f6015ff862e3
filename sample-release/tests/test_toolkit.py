"""Checks of the translation toolkit: the scanner output parser, the XBE reader on damaged
images, and the two programs as the build runs them.

    python3 -m unittest discover -s sample-release/tests
"""

import io
import json
import os
import random
import stat
import struct
import subprocess
import sys
import tempfile
import unittest
from contextlib import redirect_stderr, redirect_stdout

HERE = os.path.dirname(os.path.abspath(__file__))
TOOLKIT = os.path.join(os.path.dirname(HERE), "toolkit")
RECOMPILE = os.path.join(TOOLKIT, "scripts", "recompile.py")
sys.path.insert(0, TOOLKIT)
sys.path.insert(0, HERE)

import sample_xbe  # noqa: E402
from tools import xbe, xdk_symbols  # noqa: E402
from tools.generated_sources import c_string  # noqa: E402

sys.path.insert(0, os.path.dirname(RECOMPILE))
import recompile  # noqa: E402


class ScannerOutput(unittest.TestCase):
    def test_symbol_lines(self):
        cases = [
            ("XAPILIB__VAR___tls_index = 0x0002c004",
             {"library": "XAPILIB", "name": "_tls_index", "address": 0x2C004,
              "kind": "variable"}),
            ("D3D8__UNK__D3DRS_Stencils_and_Occlusion__GenericFragment = 0x00000010",
             {"library": "D3D8", "name": "D3DRS_Stencils_and_Occlusion__GenericFragment",
              "address": 0x10, "kind": "unknown"}),
            ("D3D8LTCG__FUN__stdcall__D3D_UpdateProjectionViewportTransform() = 0x00012345",
             {"library": "D3D8LTCG", "name": "D3D_UpdateProjectionViewportTransform",
              "address": 0x12345, "kind": "function", "convention": "stdcall", "params": []}),
            ("D3D8__FUN__fastcall__D3DDevice_SetRenderState_Simple(ecx Method, edx Value)"
             " = 0xfffffff0",
             {"library": "D3D8", "name": "D3DDevice_SetRenderState_Simple",
              "address": 0xFFFFFFF0, "kind": "function", "convention": "fastcall",
              "params": [{"location": "ecx", "name": "Method"},
                         {"location": "edx", "name": "Value"}]}),
        ]
        for line, expected in cases:
            with self.subTest(line=line):
                self.assertEqual(xdk_symbols.parse_scanner_output(line + "\n"), [expected])

    def test_repeats_are_dropped_and_order_kept(self):
        text = ("XAPILIB__VAR__g_DeviceType_MU = 0x00030000\n"
                "D3D8__VAR__D3D_g_pDevice = 0x00030010\n"
                "XAPILIB__VAR__g_DeviceType_MU = 0x00030000\n"
                "XAPILIB__VAR__g_DeviceType_MU = 0x00030004\n")
        found = xdk_symbols.parse_scanner_output(text)
        self.assertEqual([(s["name"], s["address"]) for s in found],
                         [("g_DeviceType_MU", 0x30000), ("D3D_g_pDevice", 0x30010),
                          ("g_DeviceType_MU", 0x30004)])

    def test_a_parameter_notice_marks_the_next_function(self):
        text = ("ERROR: param_size(250) + buffer_count(20) is too long to be stored in "
                "param_output(256)\n"
                "D3D8__FUN__stdcall__F(psh a) = 0x00011000\n"
                "D3D8__FUN__stdcall__G(psh b) = 0x00011010\n")
        first, second = xdk_symbols.parse_scanner_output(text)
        self.assertTrue(first["params_truncated"])
        self.assertNotIn("params_truncated", second)

    def test_lines_that_are_not_symbols_are_refused(self):
        for text in [
            "D3D8__D3DDevice_GetViewport = 0x0001a2b0\n",  # the form without -e
            "D3D8__VAR__x = 0x1234\n",
            "D3D8__FUN__pascal__F() = 0x00011000\n",
            "Fendrel: Scanning D3D8 library in D3D section\n",
            "ERROR: param_size(1) + buffer_count(2) is too long\nD3D8__VAR__v = 0x00011000\n",
            "ERROR: param_size(1) + buffer_count(2) is too long\n",
        ]:
            with self.subTest(text=text), self.assertRaises(xdk_symbols.ScanError):
                xdk_symbols.parse_scanner_output(text)


def write_script(folder, name, body):
    path = os.path.join(folder, name)
    with open(path, "w") as file:
        file.write("#!/bin/sh\n" + body)
    os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR)
    return path


@unittest.skipIf(os.name != "posix", "the stand-in scanners are shell scripts")
class SymbolScanRun(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)
        self.xbe = os.path.join(self.folder.name, "default.xbe")
        with open(self.xbe, "wb") as file:
            file.write(sample_xbe.build())
        self.out = os.path.join(self.folder.name, "default_xdk_symbols.json")

    def run_module(self, scanner):
        err = io.StringIO()
        with redirect_stdout(io.StringIO()), redirect_stderr(err):
            status = xdk_symbols.main([self.xbe, "--cli", scanner, "--out", self.out])
        return status, err.getvalue()

    def test_the_scanner_gets_the_xbe_and_its_lines_become_the_file(self):
        seen = os.path.join(self.folder.name, "arguments")
        scanner = write_script(self.folder.name, "scanner",
                               f'printf "%s\\n" "$@" > "{seen}"\n'
                               'echo "D3D8__VAR__D3D_g_pDevice = 0x00014010"\n')
        status, _ = self.run_module(scanner)
        self.assertEqual(status, 0)
        with open(seen) as file:
            self.assertEqual(file.read().split("\n")[0], self.xbe)
        with open(self.out) as file:
            document = json.load(file)
        self.assertEqual(document["count"], 1)
        self.assertEqual(document["symbols"][0]["name"], "D3D_g_pDevice")

    def test_failures_leave_no_symbols_file(self):
        cases = [
            ("missing", os.path.join(self.folder.name, "no-such-scanner"), "is missing"),
            ("failing", write_script(self.folder.name, "failing", "exit 3\n"),
             "exit status 3"),
            ("garbled", write_script(self.folder.name, "garbled", "echo hello\n"),
             "not a symbol line"),
            ("not runnable", self.xbe, "cannot start"),
        ]
        for label, scanner, message in cases:
            with self.subTest(label):
                status, err = self.run_module(scanner)
                self.assertEqual(status, 1)
                self.assertIn(message, err)
                self.assertFalse(os.path.exists(self.out))


class XbeReader(unittest.TestCase):
    def test_the_sample_image(self):
        image = xbe.parse(sample_xbe.build("Café ?"))
        self.assertEqual(image.title_name, "Café ?")
        self.assertEqual(image.title_id, 0x51520001)
        self.assertEqual(image.entry_point, 0x11000)
        self.assertEqual(image.image_kind, "retail")
        self.assertEqual([s.name for s in image.sections], [".text", "D3D", ".rdata", ".data"])
        self.assertEqual((image.sections[3].virtual_size, len(image.sections[3].data)),
                         (0x100, 32))
        self.assertEqual([(lib.name, lib.build) for lib in image.libraries],
                         [("D3D8", 3911), ("XAPILIB", 3911)])

    def test_damaged_images_are_refused_with_a_reason(self):
        good = sample_xbe.build()
        headers_size = struct.unpack_from("<I", good, 0x108)[0]
        first_section = struct.unpack_from("<I", good, 0x120)[0] - sample_xbe.BASE

        def patched(offset, value):
            data = bytearray(good)
            struct.pack_into("<I", data, offset, value)
            return bytes(data)

        cases = [
            ("not an XBE", b"MZ" + good[2:], "XBEH"),
            ("header cut short", good[:0x100], "too short"),
            ("headers larger than the file", patched(0x108, len(good) + 1), "size of the headers"),
            ("absurd section count", patched(0x11C, 0x7FFFFFFF), "sections"),
            ("section table outside", patched(0x120, 0x10), "section table"),
            ("section table past the headers", patched(0x120, sample_xbe.BASE + headers_size - 8),
             "section table"),
            ("section bytes past the end", patched(first_section + 16, len(good)), "past the end"),
            ("section name outside", patched(first_section + 20, 0xFFFFFFFF), "name of section"),
            ("certificate outside", patched(0x118, sample_xbe.BASE + headers_size - 4),
             "certificate"),
            ("library table outside", patched(0x164, 0), "library table"),
            ("file cut inside the sections", good[:headers_size + 0x1000 + 4], "past the end"),
        ]
        for label, data, reason in cases:
            with self.subTest(label), self.assertRaisesRegex(xbe.XbeError, reason):
                xbe.parse(data)

    def test_random_damage_raises_only_xbe_errors(self):
        good = sample_xbe.build()
        chance = random.Random(1234)
        for _ in range(2000):
            data = bytearray(good[:chance.choice([len(good), 0x178, 0x400, chance.randrange(4,
                                                                                  len(good))])])
            for _ in range(chance.randrange(1, 6)):
                at = chance.randrange(0, min(len(data), 0x400))
                data[at] = chance.randrange(256)
            try:
                xbe.parse(bytes(data))
            except xbe.XbeError:
                pass


class CStrings(unittest.TestCase):
    def test_escapes(self):
        cases = [
            ("plain", '"plain"'),
            ('say "hi"\\', '"say \\"hi\\"\\\\"'),
            ("what??=", '"what\\?\\?="'),
            ("line\nend", '"line\\012end"'),
            ("é1", '"\\303\\2511"'),
        ]
        for text, literal in cases:
            with self.subTest(text=text):
                self.assertEqual(c_string(text), literal)


class Translation(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)
        root = self.folder.name
        self.xbe = os.path.join(root, "pipe", "xbe", "default.xbe")
        os.makedirs(os.path.dirname(self.xbe))
        with open(self.xbe, "wb") as file:
            file.write(sample_xbe.build())
        self.write("pipe/xbe/default_xdk_symbols.json", {"symbols": [
            {"library": "D3D8", "name": "D3DDevice_SetRenderState_Simple", "address": 0x12040,
             "kind": "function"}]})
        self.project = os.path.join(root, "project")
        self.work = os.path.join(root, "pipe", "out")

    def write(self, relative, document):
        path = os.path.join(self.folder.name, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as file:
            json.dump(document, file)
        return path

    def run_script(self, *extra):
        result = subprocess.run(
            [sys.executable, RECOMPILE, self.xbe, "--work-dir", self.work, "--project",
             self.project, *extra], cwd=TOOLKIT, capture_output=True, text=True, check=False)
        return result

    def generated(self, name):
        with open(os.path.join(self.project, "generated", name)) as file:
            return file.read()

    def test_progress_and_generated_project(self):
        result = self.run_script()
        self.assertEqual(result.returncode, 0, result.stderr)
        progress = [line for line in result.stdout.splitlines() if "/4" in line]
        self.assertEqual(progress, ["1/4 reading", "2/4 naming", "3/4 writing", "4/4 done"])
        sources = self.generated("sources.cmake")
        for name in ["section_000.c", "section_003.c", "sections.c", "symbols.c", "game.c",
                     "main.c"]:
            self.assertIn(name, sources)
        self.assertIn('"D3DDevice_SetRenderState_Simple", 0x00012040u, ORMOLT_FUNCTION',
                      self.generated("symbols.c"))
        self.assertIn('"Sample Game"', self.generated("game.c"))
        with open(os.path.join(self.work, "analysis.json")) as file:
            self.assertEqual(json.load(file)["symbols"], 1)

        again = self.run_script()
        self.assertIn("0 files rewritten", again.stdout)

    def test_patches_change_the_stored_bytes(self):
        patches = self.write("config/xbe_patches.json",
                             {"patches": [{"address": "0x00011002", "bytes": "90 90"}]})
        result = self.run_script("--xbe-patches", patches)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("0x55,0x8b,0x90,0x90,0xc0", self.generated("section_000.c"))

    def test_unusable_configuration_fails_with_a_reason(self):
        cases = [
            ("patch past the stored bytes", "--xbe-patches",
             {"patches": [{"address": 0x14000 + 30, "bytes": "00 00 00 00"}]},
             "outside the stored bytes"),
            ("patch that is not hexadecimal", "--xbe-patches",
             {"patches": [{"address": 0x11000, "bytes": "zz"}]}, "not hexadecimal"),
            ("seed outside the image", "--seeds", {"seeds": ["0x00090000"]}, "lies in no section"),
            ("seed that is not an address", "--seeds", {"seeds": [True]}, "not an address"),
            ("seeds without a list", "--seeds", {"seed": []}, "no list"),
        ]
        for label, option, document, message in cases:
            with self.subTest(label):
                path = self.write("config/input.json", document)
                result = self.run_script(option, path)
                self.assertEqual(result.returncode, 1)
                self.assertIn(message, result.stderr)

    def test_missing_or_damaged_inputs(self):
        os.remove(os.path.join(self.folder.name, "pipe/xbe/default_xdk_symbols.json"))
        result = self.run_script()
        self.assertEqual(result.returncode, 1)
        self.assertIn("default_xdk_symbols.json", result.stderr)

        self.write("pipe/xbe/default_xdk_symbols.json",
                   {"symbols": [{"library": "D3D8", "name": "x", "address": 2 ** 32,
                                 "kind": "function"}]})
        self.assertIn("32-bit address", self.run_script().stderr)

        with open(self.xbe, "r+b") as file:
            file.truncate(0x200)
        self.assertIn("not a usable XBE", self.run_script().stderr)

    def test_patch_options_exclude_each_other(self):
        path = self.write("config/xbe_patches.json", {"patches": []})
        result = self.run_script("--xbe-patches", path, "--no-xbe-patches")
        self.assertNotEqual(result.returncode, 0)
        self.assertEqual(self.run_script("--no-xbe-patches").returncode, 0)

    def test_symbols_file_names(self):
        for xbe_name, expected in [("default.xbe", "default_xdk_symbols.json"),
                                   ("game.xbe", "game_xdk_symbols.json"),
                                   ("a.b.xbe", "a.b_xdk_symbols.json"),
                                   ("plain", "plain_xdk_symbols.json")]:
            with self.subTest(xbe_name):
                self.assertEqual(recompile.symbols_file_for(os.path.join("x", xbe_name)),
                                 os.path.join("x", expected))


if __name__ == "__main__":
    unittest.main()
