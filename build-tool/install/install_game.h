#pragma once
// Places the finished game in the installation folder: the program, the release's runtime files,
// shader compiler, launcher, icons and notices, the portable-installation items, and last the
// build stamp that marks the folder as holding a finished build.
#include "records/build_error.h"
#include "records/release.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace ormolt {

// "<exe>.exe" on every platform: launchers and build.json rely on that name.
std::string installed_program_name(const Release &release);

// Whether the release's launcher value names a file directly in the release folder: one
// component, no separator of either platform, not "." or "..".
bool is_bare_file_name(std::string_view name);

// Installs into the installation folder and writes build.json with the accepted image's sha1.
// Returns the installed program's path. The first failure ends it; build.json then keeps its
// previous content.
Result<std::filesystem::path> install_game(const Release &release,
                                           const std::filesystem::path &installation_folder,
                                           const std::filesystem::path &compiled_program,
                                           std::string_view xbe_sha1);

} // namespace ormolt
