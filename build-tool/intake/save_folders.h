#pragma once
// The player's save folders (UDATA, TDATA) travel from the old copy of the game to the new one,
// always by rename within the installation folder, never copied or deleted.
//
// Which folders of <folder>/game.partial are the player's is written down beside it, in
// <folder>/game.partial.saves: a new copy starts with an empty list (whatever it holds comes
// from the disc), and the list names the carried folders before the first one moves. So a run
// stopped at any point gives back the player's folders and never a copy of the disc's.
#include "records/build_error.h"

#include <expected>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace ormolt {

// UDATA or TDATA in any letter case (full Unicode upper-casing), alone or followed by a dot:
// "tdata", "UDATA.disc", "UDATA.rescued-2". Not "UDATA2".
bool is_save_folder_name(std::string_view name);

// Whether the entry is a save folder: a real directory (a link never is) with a save name. The
// system's error when it cannot tell (nothing there is no save folder).
std::expected<bool, std::error_code> is_save_folder(const std::filesystem::path &entry);

// The list of folders carried into <folder>/game.partial.
std::filesystem::path carried_saves_record(const std::filesystem::path &installation_folder);

// Moves the save folders carried into <folder>/game.partial back into <folder>/game, under their
// own name when it is free, else under the first free "<name>.rescued", "<name>.rescued-2", ...
// Only the folders the list names move: the rest came from the disc. A game.partial without a
// list (left by an older version of this program) has all its save folders moved.
Result<> rescue_saves(const std::filesystem::path &installation_folder);

// Removes <folder>/game.partial and starts its list empty, before a new copy is assembled there.
Result<> start_new_copy(const std::filesystem::path &installation_folder);

// Removes the list once game.partial is gone (failures are of no consequence).
void forget_carried_saves(const std::filesystem::path &installation_folder);

// Moves the save folders of the old copy into the new one. Whatever the new copy brought from
// the disc under one of their names makes room first: it is dropped when it is the same as a
// folder being carried (nothing is lost, and copies of the disc's data do not pile up run after
// run), else set aside under the first free "<name>.disc", "<name>.disc-2", ... Then the list
// names the carried folders, and they move.
Result<> carry_saves(const std::filesystem::path &old_folder,
                     const std::filesystem::path &new_folder, const std::filesystem::path &record);

} // namespace ormolt
