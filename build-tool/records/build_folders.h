#pragma once
// The folders a title is built in: the default build folder under the per-user base, the
// installation folder a command works in, and the names of what an installation folder holds.
#include "records/build_error.h"

#include <filesystem>
#include <string>

namespace ormolt {

namespace installation_entries {
inline constexpr const char *lock_file = "build.lock";
inline constexpr const char *marker_file = ".quillon-install";
inline constexpr const char *log_file = "build.log";
inline constexpr const char *source_record = "source.json";
inline constexpr const char *stamp = "build.json";
inline constexpr const char *game_dir = "game";
inline constexpr const char *game_partial_dir = "game.partial";
inline constexpr const char *default_xbe = "default.xbe";
// Installed programs keep this suffix on every platform.
inline constexpr const char *installed_program_suffix = ".exe";
// In the default build folder: the installation folder the user chose.
inline constexpr const char *remembered_location = "install-location.txt";
// Placed by the installation: the player's data folder and the portable-installation flag.
inline constexpr const char *user_dir = "user";
inline constexpr const char *portable_flag = ".quillon-portable";
} // namespace installation_entries

// ORMOLT_BUILD_DIR/<title id> when that variable is set (even empty), else
// <per-user base>/ormolt/builds/<title id>. Nothing is created or tested.
Result<std::filesystem::path> default_build_folder(const std::string &title_id);

// The folder remembered in the default build folder's install-location.txt when it holds an
// absolute path, else the default build folder.
Result<std::filesystem::path> installation_folder(const std::string &title_id);

} // namespace ormolt
