#pragma once
// The release description (release.json), loaded once per run and passed read-only.
#include "records/build_error.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ormolt {

struct Image {
    std::string sha1; // lower case after loading
    std::string name;
    std::optional<std::string> config;
};

struct Release {
    std::string title_id; // upper case after loading
    std::string title_name;
    std::string version;
    std::string exe;
    std::optional<std::string> launcher;
    std::vector<Image> images;         // at least one after loading
    std::vector<std::string> xbe_sha1; // empty after loading (merged into images)
    std::optional<std::vector<std::string>> lift;
    std::optional<std::string> xbe;
    std::filesystem::path release_dir; // not read from JSON

    // The game's main program inside the game folder.
    std::string xbe_name() const { return xbe.value_or("default.xbe"); }
};

// Reads and normalises <release_dir>/release.json.
Result<Release> load_release(const std::filesystem::path &release_dir);

} // namespace ormolt
