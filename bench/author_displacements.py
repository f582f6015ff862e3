#!/usr/bin/env python3
"""fendrel-author finds 32-bit call and jump displacements in a linked program by their opcode
bytes (E8, E9, 0F 8x), without decoding instructions. This compares that scan, done as the tool
does it, with a disassembler's listing: which displacements that leave their function each finds,
and whether each lands on a named function.

    python3 bench/author_displacements.py [IMAGE [MAP]]...

Names come from the linker map given after an image, or else from the image's symbol table
(llvm-nm-19). Defaults: two of mingw's i686 DLLs. Needs llvm-objdump-19 and llvm-nm-19
(scripts/deps.sh linux installs them)."""
import bisect
import glob
import re
import struct
import subprocess
import sys


def names_from_map(path):
    names, publics = {}, False
    for line in open(path, errors='replace'):
        if 'Publics by Value' in line:
            publics = True
            continue
        m = re.match(r'\s*([0-9a-fA-F]{4}):[0-9a-fA-F]{8}\s+(\S+)\s+([0-9a-fA-F]+)', line)
        if publics and m and m.group(1) != '0000':
            names.setdefault(int(m.group(3), 16), m.group(2))
    return names


def names_from_symbols(path):
    out = subprocess.run(['llvm-nm-19', '--defined-only', path], capture_output=True,
                         text=True).stdout
    names = {}
    for line in out.splitlines():
        parts = line.split()
        if len(parts) == 3 and parts[1] in 'tTdDbBrR':
            names.setdefault(int(parts[0], 16), parts[2])
    return names


def sections(data):
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    count = struct.unpack_from('<H', data, pe + 6)[0]
    optional = struct.unpack_from('<H', data, pe + 20)[0]
    base = struct.unpack_from('<I', data, pe + 24 + 28)[0]
    found = []
    for s in range(count):
        at = pe + 24 + optional + 40 * s
        virtual_size, rva, raw_size, raw = struct.unpack_from('<IIII', data, at + 8)
        flags = struct.unpack_from('<I', data, at + 36)[0]
        size = min(raw_size, virtual_size or raw_size)
        found.append((base + rva, data[raw:raw + size], bool(flags & 0x20000020)))
    return found


def measure(image, names):
    data = open(image, 'rb').read()
    parts = sections(data)
    starts = sorted(names)

    def extent(address):
        i = bisect.bisect_right(starts, address)
        return (starts[i - 1] if i else 0), (starts[i] if i < len(starts) else 1 << 32)

    def in_code(address):
        return any(code and start <= address < start + len(b) for start, b, code in parts)

    functions = {a for a in starts if in_code(a)}

    def leaving(at, field, target):
        start, end = extent(at)
        if start <= target < end:
            return None
        return 'named' if target in functions else 'unknown'

    scan = {}
    for start, b, code in parts:
        if not code:
            continue
        taken = set()
        for at in range(len(b) - 4):
            if b[at] in (0xE8, 0xE9):
                field = at + 1
            elif b[at] == 0x0F and at + 6 <= len(b) and (b[at + 1] & 0xF0) == 0x80:
                field = at + 2
            else:
                continue
            if field in taken or field + 3 in taken:
                continue
            target = (start + field + 4 + struct.unpack_from('<i', b, field)[0]) & 0xFFFFFFFF
            if not in_code(target):
                continue
            kind = leaving(start + at, start + field, target)
            if kind:
                scan[start + field] = kind
                taken.update(range(field, field + 4))
    listing = subprocess.run(['llvm-objdump-19', '-d', image], capture_output=True,
                             text=True).stdout
    truth = {}
    for line in listing.splitlines():
        m = re.match(r'\s*([0-9a-f]+):\s+((?:[0-9a-f]{2} )+)', line)
        if not m:
            continue
        at = int(m.group(1), 16)
        b = bytes(int(x, 16) for x in m.group(2).split())
        if len(b) == 5 and b[0] in (0xE8, 0xE9):
            field = 1
        elif len(b) == 6 and b[0] == 0x0F and (b[1] & 0xF0) == 0x80:
            field = 2
        else:
            continue
        target = (at + len(b) + struct.unpack_from('<i', b, field)[0]) & 0xFFFFFFFF
        kind = leaving(at, at + field, target)
        if kind:
            truth[at + field] = kind
    missed = set(truth) - set(scan)
    extra = set(scan) - set(truth)
    differ = [a for a in truth if a in scan and scan[a] != truth[a]]
    print(f'{image}: {len(names)} names; the disassembler: {len(truth)} displacements leave '
          f'their function ({sum(k == "named" for k in truth.values())} to a named one); the '
          f'opcode scan: {len(scan)}, missed {len(missed)}, classed otherwise {len(differ)}, '
          f'{len(extra)} more (unknown bytes, never compared wrongly)')
    return not missed and not differ


def main(arguments):
    if not arguments:
        arguments = sorted(glob.glob('/usr/lib/gcc/i686-w64-mingw32/*/libgomp-1.dll'))[:1] + \
            sorted(glob.glob('/usr/lib/gcc/i686-w64-mingw32/*/libquadmath-0.dll'))[:1]
    ok = True
    i = 0
    while i < len(arguments):
        image = arguments[i]
        if i + 1 < len(arguments) and arguments[i + 1].endswith('.map'):
            names = names_from_map(arguments[i + 1])
            i += 2
        else:
            names = names_from_symbols(image)
            i += 1
        ok &= measure(image, names)
    return 0 if ok else 1


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
