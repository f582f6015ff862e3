#pragma once
// The whole run of ormolt-build after the arguments have been decoded.
#include <string>
#include <vector>

namespace ormolt {

// Exit statuses besides the error kinds (1 to 3).
inline constexpr int exit_success = 0;
inline constexpr int exit_usage = 64;

// The error of a run that was stopped from outside (exit status 1).
inline constexpr const char *stopped_message =
    "The build was stopped. Run the same command again to continue it.";

// Runs one command from the arguments after the program name (UTF-8) and returns the exit
// status. Writes the usage text to standard error and events to standard output. Once per
// process: from then on a stop request ends the process (see platform).
int run_ormolt_build(const std::vector<std::string> &arguments);

} // namespace ormolt
