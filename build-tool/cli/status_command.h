#pragma once
// `status`: in which state the title's installation folder is, as one "status" event.
#include "cli/command_line.h"
#include "records/build_error.h"
#include "records/release.h"

#include <filesystem>
#include <string_view>

namespace ormolt {

// "no-source", "unbuilt", "stale", "moved" or "ready". Reads only; creates nothing.
std::string_view installation_state(const std::filesystem::path &folder, const Release &release);

Result<void> run_status(const CommandOptions &options, const Release &release);

} // namespace ormolt
