#pragma once
// Canonical paths made plain: the extended-length prefix that Windows puts on a resolved path
// is taken off before the path is used or shown.
#include "records/build_error.h"

#include <filesystem>
#include <string_view>

namespace ormolt {

// "\\?\UNC\server\share" -> "\\server\share"; "\\?\C:\x" -> "C:\x"; anything else unchanged.
std::filesystem::path plain_path(const std::filesystem::path &path);

// The canonical (fully resolved) path made plain, or the system's error.
std::filesystem::path canonical_plain(const std::filesystem::path &path, std::error_code &error);

} // namespace ormolt
