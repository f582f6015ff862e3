#pragma once
// A relink's new copy, checked where it lies before anything in the installation folder changes.
#include "records/build_error.h"
#include "records/release.h"
#include "records/state_records.h"

#include <filesystem>

namespace ormolt {

// Reads the XBE of the release's name in a folder source, or inside a disc image without
// extracting anything, and compares its SHA-1 with the build's. A copy the release does not
// support, or one without that XBE, is refused as Unsupported, since building again cannot
// help; a supported copy other than the one built is refused as Rebuild. An image that cannot
// be read fails with extraction's own words. Sources that are neither a folder nor a file are
// left to the extraction.
Result<> check_new_copy(const Release &release, const std::filesystem::path &source,
                        const Stamp &stamp);

} // namespace ormolt
