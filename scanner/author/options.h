#pragma once
// fendrel-author's command line: what to author from, for which library and build, and where the
// records go. Problems are the text printed before the usage.
#include <expected>
#include <string>
#include <vector>

#include "author/author.h"
#include "author/input.h"

namespace fendrel_author {

struct AuthorCommand {
    bool help = false;
    std::string library;
    std::string build_text;
    std::string names_file;
    std::string out;
    std::string program_names; // --map or --symbols: the one input is a linked program
    NamesKind program_names_kind = NamesKind::Map;
    std::vector<std::string> inputs;
    std::vector<std::string> against;
    AuthorOptions options;
};

// `arguments` without the program's name.
std::expected<AuthorCommand, std::string>
parse_author_command(const std::vector<std::string> &arguments);

} // namespace fendrel_author
