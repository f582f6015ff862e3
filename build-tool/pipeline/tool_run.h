#pragma once
// Running one child program of a build: its output goes line by line into the build log and
// into "log" events, and a failure quotes its last lines.
#include "records/build_error.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ormolt {

// Given each line of the child's standard output after it has been logged.
using LineHook = std::function<void(std::string_view line)>;

struct ToolRun {
    std::filesystem::path program;
    std::vector<std::string> arguments; // UTF-8, each passed as one argument
    std::optional<std::filesystem::path> working_folder;
    std::vector<std::pair<std::string, std::string>> environment; // added or replaced
    std::string step_name;          // "the translation to C", "CMake", ...
    std::filesystem::path log_path; // build.log of the installation folder
    LineHook line_hook = {};        // optional
};

// Starts the child, copies its output into the log and the event stream, and waits for it.
// Fails when the log cannot be opened, the child cannot be started or waited for, or it
// exits with a code other than 0.
Result<> run_tool(const ToolRun &run);

} // namespace ormolt
