#pragma once
// Turns the chosen source, a disc image or a folder of the disc's files, into <folder>/game.
#include "files/free_space.h"
#include "records/build_error.h"
#include "records/state_records.h"

#include <filesystem>

namespace ormolt {

// The record of a source: its path as text, and for a regular file its size and last-write
// time in whole seconds since 1970 (0 before 1970); zeros for a folder.
SourceRecord describe_source(const std::filesystem::path &source,
                             const std::filesystem::file_status &status);

// Extracts the image or copies the folder into <installation folder>/game through
// game.partial, carrying the player's saves across, and records the source in source.json.
// An image that is unchanged since the last extraction is not extracted again. Before the
// first file is written, what will be written must fit in the folder's free space.
Result<> prepare_game_files(const std::filesystem::path &source,
                            const std::filesystem::path &installation_folder,
                            const FreeSpaceProbe &free_space = volume_free_space);

} // namespace ormolt
