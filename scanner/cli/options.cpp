// Arguments are read first to last. Words after a '-' are matched exactly; anything else that
// starts with '-' is ignored without a word.
#include "cli/options.h"

#include <cstring>

namespace {

bool is_word(const char *word, const char *short_form, const char *long_form) {
    return std::strcmp(word, short_form) == 0 || std::strcmp(word, long_form) == 0;
}

} // namespace

bool parse_cli_options(int argc, char **argv, CliOptions *options) {
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (argument[0] != '-') {
            if (options->path != nullptr)
                return false;
            options->path = argument;
            continue;
        }
        const char *word = argument + 1;
        if (is_word(word, "v", "verbose"))
            options->verbose = true;
        else if (is_word(word, "d", "demangle"))
            options->demangle = true;
        else if (is_word(word, "e", "extendinfo"))
            options->extendinfo = true;
    }
    return options->path != nullptr;
}
