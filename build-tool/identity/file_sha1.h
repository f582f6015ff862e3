#pragma once
// The SHA-1 of a file, which names the game copies a release accepts.
#include "records/build_error.h"

#include <cstddef>
#include <filesystem>
#include <string>

namespace ormolt {

// Bytes read and hashed at a time: the only buffer the digest needs, whatever the file's size.
inline constexpr std::size_t sha1_chunk_size = 1024 * 1024;

// The digest as 40 lower-case hexadecimal digits. Errors: "cannot read {}: {}" when the file
// cannot be opened, "reading {}: {}" when a read fails.
Result<std::string> file_sha1_hex(const std::filesystem::path &file);

} // namespace ormolt
