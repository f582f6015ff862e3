#pragma once
// The records kept in an installation folder between runs, and the remembered folder.
#include "records/build_error.h"
#include "records/release.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace ormolt {

// source.json: where the game of this installation folder was extracted from.
struct SourceRecord {
    std::string path;
    std::uint64_t size = 0;  // length of a disc image file; 0 for a folder
    std::uint64_t mtime = 0; // its last write time in whole seconds since 1970; 0 for a folder
};

// build.json: the finished build.
struct Stamp {
    std::string release_version;
    std::string title_id;
    std::string xbe_sha1;
    std::string exe; // <exe>.exe
};

// Whether build.json is a build of this release's game. Several games may share a title id (as
// homebrew often does), so a build of another release with the same title id is this game's
// only when its XBE is one the release accepts or its program has the release's name (a release
// that dropped an image still owns the build made from it).
bool is_build_of(const Stamp &stamp, const Release &release);

// Reads never fail visibly: anything unreadable or malformed is nothing.
std::optional<SourceRecord> read_source_record(const std::filesystem::path &file);
std::optional<Stamp> read_stamp(const std::filesystem::path &file);

// Written whole through <name>.json.part and a rename.
Result<void> write_source_record(const std::filesystem::path &target, const SourceRecord &record);
Result<void> write_stamp(const std::filesystem::path &target, const Stamp &stamp);

// Writes install-location.txt in the title's default build folder.
Result<void> remember_installation_folder(const std::string &title_id,
                                          const std::filesystem::path &installation_folder);

} // namespace ormolt
