#pragma once
// A new copy of the game, checked where it lies before anything in the installation folder
// changes.
#include "records/build_error.h"
#include "records/release.h"
#include "records/state_records.h"

#include <filesystem>

namespace ormolt {

// A build's source: reads the XBE of the release's name in a folder source, or inside a disc
// image without extracting anything, and refuses a copy the release does not support, or one
// without that XBE, as Unsupported. An image that cannot be read fails with extraction's own
// words. Sources that are neither a folder nor a file are left to the extraction.
Result<> check_supported_copy(const Release &release, const std::filesystem::path &source);

// A relink's source, read the same way and compared with the build's SHA-1: besides the
// refusals above, a supported copy other than the one built is refused as Rebuild, since
// building again can help.
Result<> check_new_copy(const Release &release, const std::filesystem::path &source,
                        const Stamp &stamp);

} // namespace ormolt
