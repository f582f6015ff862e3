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

// Whether the writers of these temporaries hold them as a lock holder does, for as long as they
// live: then a temporary nobody holds is left over even when its writer's id has been given to
// another process meanwhile.
enum class WritersHoldThem : bool { No, Yes };

// Removes, from the target's folder, every such temporary of the target whose writer is not
// running (a writer that may not be asked about counts as running), or, where the writers hold
// them, that nobody holds. Failures are ignored.
void remove_orphaned_temporaries(
    const std::filesystem::path &target, std::string_view suffix,
    platform::Liveness (*liveness)(std::uint32_t pid) = platform::process_liveness,
    WritersHoldThem held = WritersHoldThem::No);

} // namespace ormolt
