#pragma once
// Temporaries that carry their writer's name (<target>.<process id>-<counter><suffix>) are
// removed by that writer when it fails; a writer killed at the wrong moment leaves them behind.
// Whoever next takes the folder's lock clears those of writers that no longer run.
#include "platform/platform.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

namespace ormolt {

// The writer's process id when file_name is a temporary of target_name with that suffix.
std::optional<std::uint32_t>
temporary_writer(std::string_view file_name, std::string_view target_name, std::string_view suffix);

// Removes, from the target's folder, every such temporary of the target whose writer is not
// running (a writer that may not be asked about counts as running). Failures are ignored.
void remove_orphaned_temporaries(
    const std::filesystem::path &target, std::string_view suffix,
    platform::Liveness (*liveness)(std::uint32_t pid) = platform::process_liveness);

} // namespace ormolt
