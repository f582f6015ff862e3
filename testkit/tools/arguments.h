#pragma once
// The command line of the testkit programs: "--help" prints the usage line and ends, an option
// the program does not know is a usage error, and everything else is left to the program.
#include <cstdio>
#include <initializer_list>
#include <optional>
#include <string_view>

namespace testkit {

// nullopt: go on with the arguments. Otherwise the exit status: 0 after --help (usage on
// standard output), 64 after an unknown option (usage on standard error). options_with_value
// are the options the program reads itself; each takes the argument after it as its value.
inline std::optional<int>
check_tool_arguments(int argc, char **argv, const char *usage,
                     std::initializer_list<std::string_view> options_with_value = {}) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(usage, stdout);
            return 0;
        }
        bool known = false;
        for (std::string_view option : options_with_value)
            known = known || argument == option;
        if (known) {
            ++i;
            continue;
        }
        // A lone "-" and names that merely contain a dash are values.
        if (argument.size() > 1 && argument[0] == '-') {
            std::fprintf(stderr, "%s: unknown option %s\n", argv[0], argv[i]);
            std::fputs(usage, stderr);
            return 64;
        }
    }
    return std::nullopt;
}

} // namespace testkit
