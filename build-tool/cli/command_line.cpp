#include "cli/command_line.h"

#include "platform/platform.h"
#include "records/message.h"
#include "records/plain_path.h"

namespace ormolt {

namespace fs = std::filesystem;

std::optional<CommandLine> parse_command_line(const std::vector<std::string> &arguments) {
    if (arguments.empty())
        return std::nullopt;
    const auto asks_for_help = [](const std::string &argument) {
        return argument == "--help" || argument == "-h";
    };
    CommandLine line;
    line.options.command = arguments[0];
    if (asks_for_help(arguments[0]) || arguments[0] == "help") {
        line.help = true;
        return line;
    }
    for (std::size_t i = 1; i < arguments.size(); i += 2) {
        const std::string &option = arguments[i];
        if (asks_for_help(option)) {
            line.help = true;
            return line;
        }
        std::optional<fs::path> *target = nullptr;
        if (option == "--source")
            target = &line.options.source;
        else if (option == "--release")
            target = &line.release;
        else if (option == "--install-dir")
            target = &line.options.install_dir;
        else
            return std::nullopt;
        if (i + 1 == arguments.size()) {
            // A trailing --source or --release unsets the option; --install-dir needs a value.
            if (target == &line.options.install_dir)
                return std::nullopt;
            target->reset();
            break;
        }
        // An extended-length path ("\\?\C:\…") names the same as its plain form, which is the
        // form shown in messages; the platform adds the prefix again where a path is long.
        *target = plain_path(path_from_utf8(arguments[i + 1]));
    }
    return line;
}

namespace {

fs::path folder_two_levels_up(const std::optional<fs::path> &program) {
    if (!program)
        return ".";
    const fs::path folder = program->parent_path();
    if (folder.empty() || folder == *program)
        return ".";
    const fs::path release = folder.parent_path();
    if (release.empty() || release == folder)
        return ".";
    return release;
}

} // namespace

fs::path choose_release_folder(const CommandLine &line, const std::optional<fs::path> &program) {
    const fs::path chosen = line.release ? *line.release : folder_two_levels_up(program);
    // Made absolute once, here: children run in other working folders, and every path the tool
    // hands them or CMake is formed from this one.
    std::error_code error;
    fs::path resolved = canonical_plain(chosen, error);
    if (!error)
        return resolved;
    // A folder that cannot be resolved fails to load; its message names it in full all the same.
    resolved = fs::absolute(chosen, error);
    return error ? chosen : resolved;
}

fs::path choose_release_folder(const CommandLine &line) {
    return choose_release_folder(line, platform::running_program_path());
}

} // namespace ormolt
