#pragma once
// `build`: from the chosen source to an installed program; `relink`: the same build pointed at
// a new copy of the same game, without compiling again.
#include "cli/command_line.h"
#include "records/build_error.h"
#include "records/release.h"

#include <filesystem>

namespace ormolt {

inline constexpr const char *program_version = "0.1.0";

Result<void> run_build(const CommandOptions &options, const Release &release);
Result<void> run_relink(const CommandOptions &options, const Release &release);

// Whether one path lies inside the other or equals it, compared component by component.
bool paths_overlap(const std::filesystem::path &a, const std::filesystem::path &b);

} // namespace ormolt
