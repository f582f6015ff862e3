"""Reads the parts of an XBE file the toolkit needs: the image header, the certificate's title
and the section table with each section's bytes.

Every offset and length comes from the file itself, so each one is checked against the file's
size before it is used; a damaged image raises XbeError with a sentence saying what is wrong.
"""

import struct
from dataclasses import dataclass, field

MAGIC = b"XBEH"

# Image header fields (offsets from the start of the file).
BASE_ADDRESS = 0x104
HEADERS_SIZE = 0x108
CERTIFICATE_ADDRESS = 0x118
SECTION_COUNT = 0x11C
SECTION_HEADERS_ADDRESS = 0x120
ENTRY_POINT = 0x128
LIBRARY_COUNT = 0x160
LIBRARY_TABLE_ADDRESS = 0x164
IMAGE_HEADER_MINIMUM = 0x178

SECTION_HEADER_SIZE = 56
LIBRARY_ENTRY_SIZE = 16
CERTIFICATE_TITLE_ID = 0x08
CERTIFICATE_TITLE_NAME = 0x0C
CERTIFICATE_TITLE_NAME_SIZE = 80  # 40 UTF-16 code units
NAME_LIMIT = 64  # longer section names are cut; real ones are at most 8 characters

# The entry point is stored scrambled with one of these keys, by kind of image.
ENTRY_KEYS = {"retail": 0xA8FC57AB, "debug": 0x94859D4B, "chihiro": 0x40B5C16E}

# More sections than this is not a plausible image, and would only make us allocate a lot.
SECTION_LIMIT = 4096


class XbeError(Exception):
    """The file is not an XBE image this toolkit can read."""


@dataclass
class Section:
    name: str
    virtual_address: int
    virtual_size: int
    raw_address: int
    raw_size: int
    flags: int
    data: bytes = field(repr=False)


@dataclass
class Library:
    name: str
    major: int
    minor: int
    build: int


@dataclass
class Xbe:
    base_address: int
    entry_point: int
    image_kind: str
    title_id: int
    title_name: str
    sections: list
    libraries: list
    size: int


def _u32(data, offset, what):
    if offset < 0 or offset + 4 > len(data):
        raise XbeError(f"the {what} at offset {offset:#x} lies outside the file")
    return struct.unpack_from("<I", data, offset)[0]


def _header_offset(address, base, headers_size, length, what, file_size):
    """File offset of `length` bytes that the headers place at virtual `address`."""
    offset = address - base
    if offset < 0 or offset + length > headers_size or offset + length > file_size:
        raise XbeError(f"the {what} ({address:#010x}, {length} bytes) lies outside the headers")
    return offset


def _c_string(data, offset, limit):
    end = data.find(b"\0", offset, min(len(data), offset + limit))
    raw = data[offset:end] if end >= 0 else data[offset:offset + limit]
    return raw.decode("latin-1")


def _entry_point(stored, base, sections):
    """Unscrambles the entry point: the key that lands it inside a section names the kind."""
    for kind, key in ENTRY_KEYS.items():
        address = stored ^ key
        if any(s.virtual_address <= address < s.virtual_address + s.virtual_size
               for s in sections):
            return address, kind
    return stored ^ ENTRY_KEYS["retail"], "unknown"


def parse(data):
    """Reads an XBE from its bytes."""
    data = bytes(data)
    size = len(data)
    if size < 4 or data[:4] != MAGIC:
        raise XbeError("the file does not begin with XBEH")
    if size < IMAGE_HEADER_MINIMUM:
        raise XbeError(f"the file has {size} bytes, too short for an image header")
    base = _u32(data, BASE_ADDRESS, "base address")
    headers_size = _u32(data, HEADERS_SIZE, "size of the headers")
    if headers_size < IMAGE_HEADER_MINIMUM or headers_size > size:
        raise XbeError(f"the size of the headers ({headers_size:#x}) does not fit the file")

    count = _u32(data, SECTION_COUNT, "section count")
    if count > SECTION_LIMIT:
        raise XbeError(f"the image claims {count} sections")
    sections = []
    table = 0
    if count:
        table = _header_offset(_u32(data, SECTION_HEADERS_ADDRESS, "section table address"),
                               base, headers_size, count * SECTION_HEADER_SIZE, "section table",
                               size)
    for index in range(count):
        at = table + index * SECTION_HEADER_SIZE
        flags, vaddr, vsize, raw, raw_size, name_address = struct.unpack_from("<6I", data, at)
        name_at = _header_offset(name_address, base, headers_size, 1,
                                 f"name of section {index}", size)
        name = _c_string(data, name_at, min(NAME_LIMIT, headers_size - name_at))
        # A section that stores nothing may name any raw address; it is never read.
        if raw_size and raw + raw_size > size:
            raise XbeError(f"section {index} ({name!r}) has {raw_size} bytes at {raw:#x}, "
                           f"past the end of the file ({size} bytes)")
        if vaddr + max(vsize, raw_size) > 0x1_0000_0000:
            raise XbeError(f"section {index} ({name!r}) runs past the end of the address space")
        sections.append(Section(name, vaddr, vsize, raw, raw_size, flags,
                                data[raw:raw + raw_size] if raw_size else b""))

    libraries = []
    library_count = _u32(data, LIBRARY_COUNT, "library count")
    if library_count:
        if library_count > SECTION_LIMIT:
            raise XbeError(f"the image claims {library_count} libraries")
        at = _header_offset(_u32(data, LIBRARY_TABLE_ADDRESS, "library table address"), base,
                            headers_size, library_count * LIBRARY_ENTRY_SIZE, "library table",
                            size)
        for index in range(library_count):
            entry = at + index * LIBRARY_ENTRY_SIZE
            major, minor, build = struct.unpack_from("<3H", data, entry + 8)
            libraries.append(Library(_c_string(data, entry, 8), major, minor, build))

    title_id, title_name = 0, ""
    certificate = _u32(data, CERTIFICATE_ADDRESS, "certificate address")
    if certificate:
        at = _header_offset(certificate, base, headers_size,
                            CERTIFICATE_TITLE_NAME + CERTIFICATE_TITLE_NAME_SIZE, "certificate",
                            size)
        title_id = _u32(data, at + CERTIFICATE_TITLE_ID, "title id")
        raw_name = data[at + CERTIFICATE_TITLE_NAME:
                        at + CERTIFICATE_TITLE_NAME + CERTIFICATE_TITLE_NAME_SIZE]
        title_name = raw_name.decode("utf-16-le", errors="replace").split("\0", 1)[0]

    entry, kind = _entry_point(_u32(data, ENTRY_POINT, "entry point"), base, sections)
    return Xbe(base, entry, kind, title_id, title_name, sections, libraries, size)


def read(path):
    """Reads an XBE file; OSError for a file that cannot be read, XbeError for a bad image."""
    with open(path, "rb") as file:
        return parse(file.read())
