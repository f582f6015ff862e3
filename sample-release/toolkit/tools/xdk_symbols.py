"""Names the XDK functions and variables of an XBE: runs the symbol scanner on it and writes what
it found as a JSON symbols file, which the translation script reads.

    python -m tools.xdk_symbols <xbe> --cli <scanner> --out <symbols file>

The scanner's standard output is its whole contract: one line per symbol, with -e telling
functions, variables and other symbols apart and -d giving every variant its canonical name.
Its standard error is passed through, so its warnings land in the build log.
"""

import argparse
import json
import os
import re
import subprocess
import sys

SCANNER_OPTIONS = ["-e", "-d"]
FORMAT_VERSION = 1

_ADDRESS = r" = 0x(?P<address>[0-9a-f]{8})"
# Library names are at most 8 characters; the shortest that is followed by a kind marker is it,
# so that names which themselves begin with "_" (XAPILIB__VAR___tls_index) keep it.
_LIBRARY = r"(?P<library>\S{1,8}?)"
VARIABLE_LINE = re.compile(
    rf"^{_LIBRARY}__(?P<kind>VAR|UNK)__(?P<name>\S+){_ADDRESS}$")
FUNCTION_LINE = re.compile(
    rf"^{_LIBRARY}__FUN__(?P<convention>unknown|none|cdecl|stdcall|thiscall|fastcall)__"
    rf"(?P<name>[^\s(]+)\((?P<params>[^()]*)\){_ADDRESS}$")
# The scanner's notice that a parameter list did not fit; the function line follows it.
TRUNCATED_LINE = re.compile(r"^ERROR: param_size\(\d+\) \+ buffer_count\(\d+\) is too long")

KINDS = {"VAR": "variable", "UNK": "unknown", "FUN": "function"}


class ScanError(Exception):
    """The scan could not be made or its output not understood."""


def parse_params(text):
    """'psh pViewport, ecx This' -> [{'location': 'psh', 'name': 'pViewport'}, ...]"""
    params = []
    for piece in text.split(", ") if text else []:
        location, _, name = piece.partition(" ")
        params.append({"location": location, "name": name})
    return params


def parse_scanner_output(text):
    """Turns the scanner's standard output into symbol records, in the order reported and
    without repeats (the scanner may report one symbol several times)."""
    symbols = []
    seen = set()
    truncated = False
    for number, line in enumerate(text.splitlines(), start=1):
        if not line.strip():
            continue
        if TRUNCATED_LINE.match(line):
            truncated = True
            continue
        match = FUNCTION_LINE.match(line)
        if match:
            kind = "function"
        else:
            match = VARIABLE_LINE.match(line)
            if not match:
                raise ScanError(f"line {number} of the scanner's output is not a symbol line: "
                                f"{line!r}")
            kind = KINDS[match["kind"]]
        record = {
            "library": match["library"],
            "name": match["name"],
            "address": int(match["address"], 16),
            "kind": kind,
        }
        if kind == "function":
            record["convention"] = match["convention"]
            record["params"] = parse_params(match["params"])
            if truncated:
                record["params_truncated"] = True
        if kind != "function" and truncated:
            raise ScanError(f"line {number}: a parameter notice is not followed by a function")
        truncated = False
        key = (record["library"], record["name"], record["address"])
        if key not in seen:
            seen.add(key)
            symbols.append(record)
    if truncated:
        raise ScanError("the scanner's output ends after a parameter notice")
    return symbols


def run_scanner(scanner, xbe):
    if not os.path.isfile(scanner):
        raise ScanError(f"the symbol scanner {scanner} is missing")
    try:
        result = subprocess.run([scanner, xbe, *SCANNER_OPTIONS], stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, check=False)
    except OSError as error:
        raise ScanError(f"cannot start the symbol scanner {scanner}: {error.strerror or error}")
    if result.returncode != 0:
        raise ScanError(f"the symbol scanner failed on {xbe} (exit status {result.returncode})")
    try:
        return result.stdout.decode("utf-8")
    except UnicodeDecodeError as error:
        raise ScanError(f"the scanner's output is not UTF-8 text: {error}")


def write_symbols(path, xbe, symbols):
    """Writes the file whole: a partial file is never left under the final name."""
    document = {
        "format": FORMAT_VERSION,
        "xbe": os.path.basename(xbe),
        "count": len(symbols),
        "symbols": symbols,
    }
    partial = path + ".part"
    with open(partial, "w", encoding="utf-8", newline="\n") as file:
        json.dump(document, file, indent=2)
        file.write("\n")
    os.replace(partial, path)


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python -m tools.xdk_symbols",
                                     description="Scan an XBE for XDK library symbols.")
    parser.add_argument("xbe", help="the XBE file to scan")
    parser.add_argument("--cli", required=True, help="path of the symbol scanner program")
    parser.add_argument("--out", required=True, help="the symbols file to write")
    args = parser.parse_args(argv)

    if not os.path.isfile(args.xbe):
        print(f"xdk_symbols: cannot find the XBE {args.xbe}", file=sys.stderr)
        return 1
    try:
        symbols = parse_scanner_output(run_scanner(args.cli, args.xbe))
        write_symbols(args.out, args.xbe, symbols)
    except ScanError as error:
        print(f"xdk_symbols: {error}", file=sys.stderr)
        return 1
    except OSError as error:
        print(f"xdk_symbols: cannot write {args.out}: {error.strerror or error}",
              file=sys.stderr)
        return 1
    print(f"{len(symbols)} XDK symbols in {os.path.basename(args.xbe)}", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
