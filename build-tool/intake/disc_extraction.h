#pragma once
// Writes every file and folder of a disc image into a folder, in the image's listing order.
#include "files/free_space.h"
#include "records/build_error.h"

#include <filesystem>

namespace ormolt {

// Reads the image's whole structure first, so that a damaged image, or one whose files do not
// fit in the free space of destination's volume, fails before anything is written; then streams the
// file data through one 4 MiB buffer into destination, reporting "game" progress about every 64 MiB
// and once more at the end. Names that would leave destination are refused.
Result<> extract_disc_image(const std::filesystem::path &image,
                            const std::filesystem::path &destination,
                            const FreeSpaceProbe &free_space = volume_free_space);

} // namespace ormolt
