#pragma once
// Folder operations shared by the steps: removing and copying trees, never following links.
#include "records/build_error.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>

namespace ormolt {

// Removes a file, a link (never its target) or a folder tree (links inside removed, not
// followed). Nothing at the path is success.
Result<> remove_if_present(const std::filesystem::path &path);

// Copies a folder source into destination, replacing files of the same name. The disc's save
// folders (UDATA, TDATA in any letter case) are skipped at every depth; a link anywhere is
// refused, so that only real game files are taken.
Result<> copy_folder_tree(const std::filesystem::path &source,
                          const std::filesystem::path &destination);

// The bytes copy_folder_tree would copy from source: its files' sizes, the disc's save folders
// left out. Each entry it would copy is first given to check by its path relative to source
// ("/"-separated, UTF-8); the first error check returns ends the walk. What cannot be read
// counts nothing (the copy itself reports it).
Result<std::uint64_t>
folder_tree_file_bytes(const std::filesystem::path &source,
                       const std::function<Result<>(std::string_view relative)> &check);

} // namespace ormolt
