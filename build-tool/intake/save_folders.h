#pragma once
// The player's save folders (UDATA, TDATA) travel from the old copy of the game to the new one,
// always by rename within the installation folder, never copied or deleted.
#include "records/build_error.h"

#include <filesystem>
#include <string_view>

namespace ormolt {

// UDATA or TDATA in any letter case (full Unicode upper-casing), alone or followed by a dot:
// "tdata", "UDATA.disc", "UDATA.rescued-2". Not "UDATA2".
bool is_save_folder_name(std::string_view name);

// Whether the entry is a save folder: a real directory (a link never is) with a save name.
bool is_save_folder(const std::filesystem::path &entry);

// Moves save folders left in <folder>/game.partial by an interrupted run back into
// <folder>/game, under their own name when it is free, else under the first free
// "<name>.rescued", "<name>.rescued-2", ...
Result<> rescue_saves(const std::filesystem::path &installation_folder);

// Moves the save folders of the old copy into the new one; a folder of the same name that the
// new copy brought from the disc is set aside as "<name>.disc".
Result<> carry_saves(const std::filesystem::path &old_folder,
                     const std::filesystem::path &new_folder);

} // namespace ormolt
