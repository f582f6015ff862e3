#pragma once
// Names as a disc's file system compares them: without regard to ASCII letter case, so a disc's
// "DEFAULT.XBE" is the file a release calls "default.xbe".
#include "records/release.h"

#include <filesystem>
#include <string_view>

namespace ormolt {

bool same_disc_name(std::string_view a, std::string_view b);

// A file of a folder of the disc's files: that name itself where it exists, else an entry
// differing from it only in letter case, else the name itself (which then does not exist).
std::filesystem::path disc_file_in_folder(const std::filesystem::path &folder,
                                          std::string_view name);

// The XBE of the release's name in a folder of the disc's files.
std::filesystem::path xbe_in_folder(const Release &release, const std::filesystem::path &folder);

} // namespace ormolt
