#pragma once
// The command line: one XBE path and the three option words, in any order.

struct CliOptions {
    const char *path = nullptr;
    bool verbose = false;
    bool demangle = false;
    bool extendinfo = false;
};

// False when the usage text is due: no path, or a second one.
bool parse_cli_options(int argc, char **argv, CliOptions *options);
