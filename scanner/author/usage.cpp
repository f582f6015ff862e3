// The usage text's second half.
#include "author/usage.h"

#include <string_view>

#include "lib/fendrel.h"

std::string author_usage_details() {
    std::string text = "       fendrel-author coverage [--json] <game.xbe> [pack.records...]\n"
                       "libraries (--library):";
    // Every single flag the registry names; the first unknown one ends the list.
    for (std::uint32_t bit = 0; bit < 32; ++bit) {
        const char *name = Fenx_LibraryName(1u << bit);
        if (std::string_view(name) == "UNKNOWN")
            break;
        text += ' ';
        text += name;
    }
    text += "\nrecords: written to <library>-<build>.records unless --out names a file; drop them\n"
            "into a release's bin/signatures/ or scanner/lib/database/records/\n";
    return text;
}

bool asks_for_help(const char *argument) {
    const std::string_view text = argument;
    return text == "--help" || text == "-h";
}
