#pragma once
// The "configure" and "compile" stages: the release's CMake and Ninja build the translated
// project into the game's executable.
#include "records/build_error.h"
#include "records/release.h"

#include <filesystem>
#include <string>

namespace ormolt {

// A path's text as CMake wants it in -D values: every "\" turned into "/".
std::string cmake_path_text(const std::filesystem::path &path);

// Configures <folder>/build when needed and builds the release's target; returns the path of
// the executable it made.
Result<std::filesystem::path>
configure_and_compile(const Release &release, const std::filesystem::path &installation_folder,
                      const std::filesystem::path &log_path);

} // namespace ormolt
