"""Translates an XBE into C sources for the game's CMake project.

    recompile.py <xbe> --work-dir <folder> --project <folder>
                 [--seeds <seeds.json>] [--xbe-patches <patches.json> | --no-xbe-patches]

Reads the XBE and the symbols file beside it (<stem>_xdk_symbols.json, written by
tools.xdk_symbols), applies the configuration's byte patches, and writes generated/ into the
project: one C file per section holding its bytes, the section and symbol tables, the game's
description and a main that hands it to the engine. Progress lines "n/4 word" go to standard
output. This sample translation carries the code over as data; the project builds and runs it.
"""

import argparse
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

from tools import xbe as xbe_reader  # noqa: E402
from tools.generated_sources import generate  # noqa: E402

SYMBOL_KINDS = ("function", "variable", "unknown")
ADDRESS_LIMIT = 0xFFFFFFFF


class TranslationError(Exception):
    """Input the translation cannot use; the text says which and why."""


def progress(step, word):
    print(f"{step}/4 {word}", flush=True)


def symbols_file_for(xbe_path):
    """<folder>/<stem>_xdk_symbols.json, the stem being the name before its last '.'."""
    folder, name = os.path.split(xbe_path)
    stem = name.rpartition(".")[0] if "." in name else name
    return os.path.join(folder, stem + "_xdk_symbols.json")


def read_json(path, what):
    try:
        with open(path, encoding="utf-8") as file:
            return json.load(file)
    except OSError as error:
        raise TranslationError(f"cannot read the {what} {path}: {error.strerror or error}")
    except (ValueError, UnicodeDecodeError) as error:
        raise TranslationError(f"the {what} {path} is not valid JSON: {error}")


def parse_address(value, where):
    """An address given as a number or as text ("0x11000", "69632")."""
    if isinstance(value, bool):
        raise TranslationError(f"{where}: {value!r} is not an address")
    if isinstance(value, str):
        try:
            value = int(value, 0)
        except ValueError:
            raise TranslationError(f"{where}: {value!r} is not an address")
    if not isinstance(value, int) or not 0 <= value <= ADDRESS_LIMIT:
        raise TranslationError(f"{where}: {value!r} is not a 32-bit address")
    return value


def load_symbols(path):
    document = read_json(path, "symbols file")
    if not isinstance(document, dict) or not isinstance(document.get("symbols"), list):
        raise TranslationError(f"the symbols file {path} holds no list of symbols")
    symbols = []
    for index, entry in enumerate(document["symbols"]):
        where = f"{path}: symbol {index}"
        if not isinstance(entry, dict):
            raise TranslationError(f"{where} is not an object")
        library, name, kind = entry.get("library"), entry.get("name"), entry.get("kind")
        if not isinstance(library, str) or not isinstance(name, str) or not name:
            raise TranslationError(f"{where} needs a library and a name")
        if kind not in SYMBOL_KINDS:
            raise TranslationError(f"{where} has an unknown kind {kind!r}")
        symbols.append({"library": library, "name": name, "kind": kind,
                        "address": parse_address(entry.get("address"), where)})
    return symbols


def load_seeds(path):
    document = read_json(path, "seeds file")
    seeds = document.get("seeds") if isinstance(document, dict) else None
    if not isinstance(seeds, list):
        raise TranslationError(f"the seeds file {path} holds no list \"seeds\"")
    return [parse_address(seed, f"{path}: seed {index}") for index, seed in enumerate(seeds)]


def load_patches(path):
    document = read_json(path, "patches file")
    patches = document.get("patches") if isinstance(document, dict) else None
    if not isinstance(patches, list):
        raise TranslationError(f"the patches file {path} holds no list \"patches\"")
    loaded = []
    for index, patch in enumerate(patches):
        where = f"{path}: patch {index}"
        if not isinstance(patch, dict) or not isinstance(patch.get("bytes"), str):
            raise TranslationError(f"{where} needs an address and bytes")
        try:
            data = bytes.fromhex(patch["bytes"])
        except ValueError:
            raise TranslationError(f"{where}: {patch['bytes']!r} is not hexadecimal bytes")
        if not data:
            raise TranslationError(f"{where} has no bytes")
        loaded.append((parse_address(patch.get("address"), where), data))
    return loaded


def section_holding(image, address, length=1):
    """The section whose virtual range holds [address, address + length), or None."""
    for section in image.sections:
        offset = address - section.virtual_address
        if 0 <= offset and offset + length <= section.virtual_size:
            return section
    return None


def apply_patches(image, patches):
    """Patches only the bytes the file stores; a patch elsewhere would silently do nothing."""
    for address, data in patches:
        for section in image.sections:
            offset = address - section.virtual_address
            if 0 <= offset and offset + len(data) <= len(section.data):
                section.data = section.data[:offset] + data + section.data[offset + len(data):]
                break
        else:
            raise TranslationError(f"the patch of {len(data)} bytes at {address:#010x} lies "
                                   f"outside the stored bytes of every section")


def check_seeds(image, seeds):
    for seed in seeds:
        if section_holding(image, seed) is None:
            raise TranslationError(f"the seed {seed:#010x} lies in no section of the image")


def write_analysis(work_dir, xbe_path, image, symbols, seeds, patches, patches_mode):
    os.makedirs(work_dir, exist_ok=True)
    analysis = {
        "xbe": os.path.basename(xbe_path),
        "title": image.title_name,
        "title_id": f"{image.title_id:08X}",
        "base_address": image.base_address,
        "entry_point": image.entry_point,
        "image_kind": image.image_kind,
        "libraries": [f"{lib.name} {lib.major}.{lib.minor}.{lib.build}"
                      for lib in image.libraries],
        "sections": [{"name": s.name, "virtual_address": s.virtual_address,
                      "virtual_size": s.virtual_size, "stored": len(s.data)}
                     for s in image.sections],
        "symbols": len(symbols),
        "symbols_outside_sections": sum(
            1 for s in symbols if section_holding(image, s["address"]) is None),
        "seeds": seeds,
        "patches": len(patches),
        "patches_mode": patches_mode,
    }
    path = os.path.join(work_dir, "analysis.json")
    with open(path + ".part", "w", encoding="utf-8", newline="\n") as file:
        json.dump(analysis, file, indent=2)
        file.write("\n")
    os.replace(path + ".part", path)


def translate(args):
    progress(1, "reading")
    try:
        image = xbe_reader.read(args.xbe)
    except OSError as error:
        raise TranslationError(f"cannot read {args.xbe}: {error.strerror or error}")
    except xbe_reader.XbeError as error:
        raise TranslationError(f"{args.xbe} is not a usable XBE: {error}")
    symbols = load_symbols(symbols_file_for(args.xbe))
    seeds = load_seeds(args.seeds) if args.seeds else []
    patches = load_patches(args.xbe_patches) if args.xbe_patches else []
    if args.xbe_patches:
        patches_mode = "file"
    elif args.no_xbe_patches:
        patches_mode = "none by configuration"
    else:
        patches_mode = "none"

    progress(2, "naming")
    apply_patches(image, patches)
    check_seeds(image, seeds)

    progress(3, "writing")
    try:
        write_analysis(args.work_dir, args.xbe, image, symbols, seeds, patches, patches_mode)
        written = generate(args.project, image, symbols)
    except OSError as error:
        raise TranslationError(f"cannot write the project: {error}")
    print(f"{len(image.sections)} sections, {len(symbols)} XDK symbols, "
          f"{written} files rewritten", flush=True)
    progress(4, "done")


def main(argv=None):
    parser = argparse.ArgumentParser(prog="recompile.py",
                                     description="Translate an XBE into a CMake project.")
    parser.add_argument("xbe", help="the XBE; its symbols file lies beside it")
    parser.add_argument("--work-dir", required=True, help="folder for intermediate files")
    parser.add_argument("--project", required=True, help="the CMake project to write into")
    parser.add_argument("--seeds", help="JSON file of extra code addresses")
    patches = parser.add_mutually_exclusive_group()
    patches.add_argument("--xbe-patches", help="JSON file of byte patches")
    patches.add_argument("--no-xbe-patches", action="store_true",
                         help="the configuration has no patches")
    args = parser.parse_args(argv)
    try:
        translate(args)
    except TranslationError as error:
        print(f"recompile: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
