"""Builds the sample game's XBE: a small, valid image with a certificate, a library version table
and a few sections, one of which holds code that the scanner's built-in database recognises.

    python3 sample_xbe.py <game folder> [--name default.xbe] [--title "Sample Game"]

Writes <game folder>/<name> and prints its SHA-1 (40 lower-case hexadecimal digits).
"""

import argparse
import hashlib
import os
import struct
import sys

BASE = 0x00010000
RETAIL_ENTRY_KEY = 0xA8FC57AB
RETAIL_THUNK_KEY = 0x5B6D40B6
IMAGE_HEADER_SIZE = 0x178
CERTIFICATE_SIZE = 0x1D0
SECTION_HEADER_SIZE = 56
LIBRARY_ENTRY_SIZE = 16
NAME_SIZE = 12
ALIGNMENT = 0x1000

# D3DDevice_SetRenderState_Simple as built into D3D8 3911: the bytes the built-in database's
# sparse signature checks, with filler in between.
SET_RENDER_STATE_SIMPLE = bytes([
    0xA1, 0x00, 0x00, 0x00, 0x00, 0x83, 0xC0, 0x08, 0x3B, 0x05, 0x00, 0x00, 0x00, 0x00,
    0x72, 0x05, 0xE8, 0x00, 0x00, 0x00, 0x00, 0x89, 0x48, 0xF8, 0x89, 0x50, 0xFC, 0xA3,
    0x52, 0x51, 0xC3,
])


def _align(value):
    return (value + ALIGNMENT - 1) // ALIGNMENT * ALIGNMENT


def default_sections(title):
    code = bytearray(b"\x55\x8B\xEC\x33\xC0\x5D\xC3")  # a trivial function: push ebp; ...
    code += b"\xCC" * (0x200 - len(code))
    d3d = bytearray(b"\xCC" * 0x40)  # padding before the function, as a linker leaves it
    d3d += SET_RENDER_STATE_SIMPLE
    d3d += b"\xCC" * (0x100 - len(d3d))
    rdata = (title + "\0").encode("utf-8")[:0x3F].ljust(0x40, b"\0")
    # The kernel thunk table: imports by ordinal (high bit set), ended by zero.
    rdata += struct.pack("<4I", 0x80000000 | 49, 0x80000000 | 102, 0x80000000 | 187, 0)
    return [
        {"name": ".text", "address": 0x00011000, "bytes": bytes(code), "flags": 0x6},
        # The graphics library's code lives in a section of its own.
        {"name": "D3D", "address": 0x00012000, "bytes": bytes(d3d), "flags": 0x6},
        {"name": ".rdata", "address": 0x00013000, "bytes": rdata, "flags": 0x2},
        # .data reserves more memory than it stores: the rest is zero at load.
        {"name": ".data", "address": 0x00014000, "bytes": bytes(range(32)), "flags": 0x3,
         "virtual_size": 0x100},
    ]


KERNEL_THUNK = 0x00013040  # in .rdata, after the title


def build(title="Sample Game", title_id=0x51520001, sections=None, libraries=None,
          kernel_thunk=KERNEL_THUNK):
    """The XBE file's bytes."""
    sections = default_sections(title) if sections is None else sections
    libraries = [("D3D8", 1, 0, 3911), ("XAPILIB", 1, 0, 3911)] if libraries is None \
        else libraries
    certificate = IMAGE_HEADER_SIZE
    library_table = certificate + CERTIFICATE_SIZE
    section_headers = library_table + LIBRARY_ENTRY_SIZE * len(libraries)
    names = section_headers + SECTION_HEADER_SIZE * len(sections)
    headers_end = names + NAME_SIZE * len(sections)

    raw = []
    size = _align(headers_end)
    for section in sections:
        raw.append(size)
        size += _align(len(section["bytes"]))
    image = bytearray(size)

    def put(offset, fmt, *values):
        struct.pack_into(fmt, image, offset, *values)

    image[0:4] = b"XBEH"
    put(0x104, "<I", BASE)
    put(0x108, "<I", headers_end)
    put(0x10C, "<I", max(s["address"] + s.get("virtual_size", len(s["bytes"]))
                         for s in sections) - BASE if sections else headers_end)
    put(0x110, "<I", IMAGE_HEADER_SIZE)
    put(0x118, "<I", BASE + certificate)
    put(0x11C, "<I", len(sections))
    put(0x120, "<I", BASE + section_headers)
    entry = sections[0]["address"] if sections else BASE
    put(0x128, "<I", entry ^ RETAIL_ENTRY_KEY)
    put(0x158, "<I", kernel_thunk ^ RETAIL_THUNK_KEY)
    put(0x160, "<I", len(libraries))
    put(0x164, "<I", BASE + library_table if libraries else 0)

    put(certificate, "<I", CERTIFICATE_SIZE)
    put(certificate + 8, "<I", title_id)
    encoded_title = title.encode("utf-16-le")[:78]
    image[certificate + 0x0C:certificate + 0x0C + len(encoded_title)] = encoded_title

    for index, (name, major, minor, build_number) in enumerate(libraries):
        at = library_table + LIBRARY_ENTRY_SIZE * index
        image[at:at + len(name[:8])] = name[:8].encode("ascii")
        put(at + 8, "<3HH", major, minor, build_number, 0)

    for index, section in enumerate(sections):
        at = section_headers + SECTION_HEADER_SIZE * index
        name_at = names + NAME_SIZE * index
        data = section["bytes"]
        put(at, "<6I", section.get("flags", 0x2), section["address"],
            section.get("virtual_size", len(data)), raw[index], len(data), BASE + name_at)
        image[name_at:name_at + len(section["name"][:8])] = section["name"][:8].encode("ascii")
        image[raw[index]:raw[index] + len(data)] = data
    return bytes(image)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Write the sample game's XBE.")
    parser.add_argument("folder", help="the game folder to write into")
    parser.add_argument("--name", default="default.xbe")
    parser.add_argument("--title", default="Sample Game")
    args = parser.parse_args(argv)
    data = build(args.title)
    os.makedirs(args.folder, exist_ok=True)
    with open(os.path.join(args.folder, args.name), "wb") as file:
        file.write(data)
    print(hashlib.sha1(data).hexdigest())
    return 0


if __name__ == "__main__":
    sys.exit(main())
