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

// Removes <folder>/build once the game is installed. Its marker goes first, so that a removal
// stopped half-way leaves a tree that the next build discards, never one it trusts.
Result<> remove_build_tree(const std::filesystem::path &installation_folder);

} // namespace ormolt
