#pragma once
// The commands of ormolt-build, by word.
#include "cli/command_line.h"
#include "records/build_error.h"
#include "records/release.h"

#include <string_view>

namespace ormolt {

using CommandRoutine = Result<void> (*)(const CommandOptions &options, const Release &release);

struct Command {
    std::string_view word;
    CommandRoutine run;
};

// The command whose word matches byte for byte, or nullptr.
const Command *find_command(std::string_view word);

} // namespace ormolt
