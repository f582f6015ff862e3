#pragma once
// The "lift" stage: prepares the build folder for the release's translation scripts and runs
// them (symbol scan and translation, or the release's own lift script).
#include "records/build_error.h"
#include "records/release.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace ormolt {

// "default.xbe" -> "default_xdk_symbols.json"; "a.b.xbe" -> "a.b_xdk_symbols.json".
std::string symbols_file_name(std::string_view xbe_name);

Result<> translate_game(const Release &release, const Image &image,
                        const std::filesystem::path &installation_folder,
                        const std::filesystem::path &log_path);

} // namespace ormolt
