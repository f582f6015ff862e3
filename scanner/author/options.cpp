// The authoring tool's options.
#include "author/options.h"

#include <cctype>
#include <charconv>
#include <string_view>

#include "author/usage.h"
#include "lib/database/records.h"
#include "lib/fendrel.h"

namespace fendrel_author {
namespace {

bool parse_count(std::string_view text, std::uint32_t limit, std::uint32_t &value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc{} && end == text.data() + text.size() &&
           value <= limit;
}

} // namespace

std::expected<AuthorCommand, std::string>
parse_author_command(const std::vector<std::string> &arguments) {
    AuthorCommand command;
    std::string pairs_text;
    std::string map;
    std::string symbols;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        std::string *value = nullptr;
        if (argument == "--library")
            value = &command.library;
        else if (argument == "--build")
            value = &command.build_text;
        else if (argument == "--names")
            value = &command.names_file;
        else if (argument == "--out")
            value = &command.out;
        else if (argument == "--pairs")
            value = &pairs_text;
        else if (argument == "--map")
            value = &map;
        else if (argument == "--symbols")
            value = &symbols;
        else if (argument == "--against")
            value = &command.against.emplace_back();
        else if (asks_for_help(arguments[i].c_str())) {
            command.help = true;
            return command;
        } else if (argument.starts_with("--"))
            return std::unexpected("unknown option");
        else {
            command.inputs.emplace_back(argument);
            continue;
        }
        if (i + 1 >= arguments.size())
            return std::unexpected("an option lacks its value");
        *value = arguments[++i];
    }
    AuthorOptions &options = command.options;
    if (command.library.empty())
        return std::unexpected("no --library given: name the library the input was built as");
    options.library_flag = Fenx_LibraryFlag(command.library.c_str());
    if (options.library_flag == 0 || command.library.size() > 8)
        return std::unexpected("--library names no library the database knows");
    std::uint32_t build = 0;
    if (!parse_count(command.build_text, 0xFFFF, build))
        return std::unexpected("--build is a library build from 0 to 65535");
    options.build = static_cast<std::uint16_t>(build);
    if (!pairs_text.empty()) {
        std::uint32_t pairs = 0;
        if (!parse_count(pairs_text, kFenxiMaxRecordPairs - kFenxiMaxRecordReferences, pairs) ||
            pairs == 0)
            return std::unexpected("--pairs is a count from 1 to 251");
        options.pairs = pairs;
    }
    if (!map.empty() && !symbols.empty())
        return std::unexpected("--map and --symbols both name the program's functions: give one");
    if (!map.empty() || !symbols.empty()) {
        command.program_names = map.empty() ? symbols : map;
        command.program_names_kind = map.empty() ? NamesKind::SymbolList : NamesKind::Map;
    }
    if (command.inputs.empty())
        return std::unexpected("no library or object to read");
    if (command.out.empty()) {
        for (char c : command.library)
            command.out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        command.out += "-" + command.build_text + ".records";
    }
    return command;
}

} // namespace fendrel_author
