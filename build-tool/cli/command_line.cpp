#include "cli/command_line.h"

#include "platform/platform.h"
#include "records/message.h"

namespace ormolt {

namespace fs = std::filesystem;

std::optional<CommandLine> parse_command_line(const std::vector<std::string>& arguments) {
    if (arguments.empty())
        return std::nullopt;
    CommandLine line;
    line.options.command = arguments[0];
    for (std::size_t i = 1; i < arguments.size(); i += 2) {
        const std::string& option = arguments[i];
        std::optional<fs::path>* target = nullptr;
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
        *target = path_from_utf8(arguments[i + 1]);
    }
    return line;
}

fs::path choose_release_folder(const CommandLine& line) {
    if (line.release)
        return *line.release;
    const auto program = platform::running_program_path();
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

} // namespace ormolt
