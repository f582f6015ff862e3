"""Writes the C sources of a translated game into <project>/generated.

Files are rewritten only when their text changes, so that a rebuild in a reused build folder
compiles only what the new translation changed. Names from the image and the symbols file only
ever appear inside C string literals, escaped byte by byte, never as identifiers.
"""

import os

GENERATED = "generated"
BYTES_PER_LINE = 16
HEADER = "/* Written by the translation; changes are lost on the next build. */\n"


def c_string(text):
    """A C string literal holding text as UTF-8."""
    out = ['"']
    for byte in text.encode("utf-8", errors="replace"):
        char = chr(byte)
        if char in '"\\':
            out.append("\\" + char)
        elif char == "?":
            out.append("\\?")  # no trigraphs
        elif 0x20 <= byte < 0x7F:
            out.append(char)
        else:
            out.append(f"\\{byte:03o}")
    out.append('"')
    return "".join(out)


def section_source(index, section):
    lines = [HEADER, "#include <stdint.h>\n\n"]
    if section.data:
        lines.append(f"const uint8_t ormolt_section_{index:03d}[{len(section.data)}] = {{\n")
        data = section.data
        for start in range(0, len(data), BYTES_PER_LINE):
            chunk = data[start:start + BYTES_PER_LINE]
            lines.append("    " + ",".join(f"0x{b:02x}" for b in chunk) + ",\n")
        lines.append("};\n")
    else:
        lines.append(f"/* Section {index} stores no bytes. */\n"
                     f"const uint8_t ormolt_section_{index:03d}_empty = 0;\n")
    return "".join(lines)


def section_table_source(image):
    lines = [HEADER, '#include "ormolt/engine.h"\n\n']
    for index, section in enumerate(image.sections):
        if section.data:
            lines.append(f"extern const uint8_t ormolt_section_{index:03d}[];\n")
    if not image.sections:
        lines.append("const struct ormolt_section ormolt_sections[1] = {{0}};\n")
        return "".join(lines)
    lines.append(f"\nconst struct ormolt_section ormolt_sections[{len(image.sections)}] = {{\n")
    for index, section in enumerate(image.sections):
        data = f"ormolt_section_{index:03d}" if section.data else "0"
        lines.append(f"    {{{c_string(section.name)}, 0x{section.virtual_address:08x}u, "
                     f"0x{section.virtual_size:08x}u, 0x{section.flags:08x}u, {data}, "
                     f"{len(section.data)}u}},\n")
    lines.append("};\n")
    return "".join(lines)


KIND_CONSTANTS = {"function": "ORMOLT_FUNCTION", "variable": "ORMOLT_VARIABLE",
                  "unknown": "ORMOLT_UNKNOWN"}


def symbol_table_source(symbols):
    lines = [HEADER, '#include "ormolt/engine.h"\n\n']
    lines.append(f"const struct ormolt_symbol ormolt_symbols[{max(len(symbols), 1)}] = {{\n")
    for symbol in symbols:
        lines.append(f"    {{{c_string(symbol['library'])}, {c_string(symbol['name'])}, "
                     f"0x{symbol['address']:08x}u, {KIND_CONSTANTS[symbol['kind']]}}},\n")
    if not symbols:
        lines.append("    {0, 0, 0, ORMOLT_UNKNOWN},\n")
    lines.append("};\n")
    return "".join(lines)


def game_source(image, symbols):
    title = image.title_name or "Untitled game"
    return "".join([
        HEADER, '#include "ormolt/engine.h"\n\n',
        "extern const struct ormolt_section ormolt_sections[];\n",
        "extern const struct ormolt_symbol ormolt_symbols[];\n\n",
        "const struct ormolt_game ormolt_translated_game = {\n",
        f"    {c_string(title)},\n",
        f"    0x{image.title_id:08x}u,\n",
        f"    0x{image.base_address:08x}u,\n",
        f"    0x{image.entry_point:08x}u,\n",
        f"    ormolt_sections, {len(image.sections)}u,\n",
        f"    ormolt_symbols, {len(symbols)}u,\n",
        "};\n",
    ])


MAIN_SOURCE = HEADER + """#include "ormolt/engine.h"

extern const struct ormolt_game ormolt_translated_game;

int main(void) {
    return ormolt_run(&ormolt_translated_game);
}
"""


def sources_cmake(names):
    lines = ["# Written by the translation: the generated sources of the game.\n",
             "set(ORMOLT_GENERATED_SOURCES\n"]
    lines += [f'    "${{CMAKE_CURRENT_LIST_DIR}}/{name}"\n' for name in names]
    lines.append(")\n")
    return "".join(lines)


def write_if_changed(path, text):
    """Returns True when the file was (re)written."""
    try:
        with open(path, encoding="utf-8", newline="") as file:
            if file.read() == text:
                return False
    except (OSError, UnicodeDecodeError):
        pass
    with open(path + ".part", "w", encoding="utf-8", newline="\n") as file:
        file.write(text)
    os.replace(path + ".part", path)
    return True


def generate(project, image, symbols):
    """Writes <project>/generated; returns how many files were rewritten."""
    folder = os.path.join(project, GENERATED)
    os.makedirs(folder, exist_ok=True)
    files = {f"section_{index:03d}.c": section_source(index, section)
             for index, section in enumerate(image.sections)}
    files["sections.c"] = section_table_source(image)
    files["symbols.c"] = symbol_table_source(symbols)
    files["game.c"] = game_source(image, symbols)
    files["main.c"] = MAIN_SOURCE
    names = list(files)
    files["sources.cmake"] = sources_cmake(names)

    written = sum(write_if_changed(os.path.join(folder, name), text)
                  for name, text in files.items())
    # Section files of an earlier translation with more sections would only confuse a reader.
    for name in os.listdir(folder):
        if name.startswith("section_") and name.endswith(".c") and name not in files:
            os.remove(os.path.join(folder, name))
    return written
