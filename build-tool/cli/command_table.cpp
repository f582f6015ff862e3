#include "cli/command_table.h"

#include "cli/build_command.h"
#include "cli/status_command.h"

#include <algorithm>
#include <iterator>

namespace ormolt {

namespace {

// One entry per command.
constexpr Command commands[] = {
    {"build", run_build},
    {"relink", run_relink},
    {"status", run_status},
};

} // namespace

const Command *find_command(std::string_view word) {
    const auto found = std::find_if(std::begin(commands), std::end(commands),
                                    [&](const Command &command) { return command.word == word; });
    return found == std::end(commands) ? nullptr : found;
}

} // namespace ormolt
