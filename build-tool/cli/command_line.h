#pragma once
// The command line of ormolt-build: a command word and three options.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ormolt {

struct CommandOptions {
    std::optional<std::filesystem::path> source;
    std::optional<std::filesystem::path> install_dir;
    std::string command;
};

struct CommandLine {
    CommandOptions options;
    std::optional<std::filesystem::path> release; // chooses the release folder only
    // "--help", "-h" or "help" as the command word, or "--help" or "-h" where an option may
    // stand: the usage text is asked for, which is not an error.
    bool help = false;
};

// Written to standard error on every usage error, and when help is asked for.
inline constexpr const char *usage_text =
    "usage: ormolt-build build [--source <iso or folder>] [--install-dir <folder>] "
    "[--release <dir>]\n"
    "       ormolt-build relink --source <iso or folder> [--release <dir>]\n"
    "       ormolt-build status [--release <dir>]\n";

// Reads the arguments after the program name (UTF-8). nullopt is a usage error.
std::optional<CommandLine> parse_command_line(const std::vector<std::string> &arguments);

// The release folder, made absolute (canonical and plain when it exists): --release, else the
// folder two levels above the running program, else the current folder.
std::filesystem::path choose_release_folder(const CommandLine &line);
// The same with the running program's path given (nullopt when the system cannot tell).
std::filesystem::path choose_release_folder(const CommandLine &line,
                                            const std::optional<std::filesystem::path> &program);

} // namespace ormolt
