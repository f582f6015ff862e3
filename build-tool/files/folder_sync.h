#pragma once
// Shared by the steps: merges a folder tree into another, rewriting only the files whose content
// differs, so that unchanged files keep their timestamps (and builds that depend on them stay up to
// date).
#include "records/build_error.h"

#include <filesystem>

namespace ormolt {

// Creates target as needed; nothing in target is ever deleted.
Result<> sync_folder_tree(const std::filesystem::path &source, const std::filesystem::path &target);

} // namespace ormolt
