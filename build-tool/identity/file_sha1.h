#pragma once
// The SHA-1 of a file, which names the game copies a release accepts.
#include "records/build_error.h"

#include <cstddef>
#include <expected>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

namespace ormolt {

// Bytes read and hashed at a time: the only buffer the digest needs, whatever the file's size.
inline constexpr std::size_t sha1_chunk_size = 1024 * 1024;

// The digest as 40 lower-case hexadecimal digits. Errors: "cannot read {}: {}" when the file
// cannot be opened, "reading {}: {}" when a read fails.
Result<std::string> file_sha1_hex(const std::filesystem::path &file);

// Reads the next bytes of a stream into buffer, at most size of them; 0 at its end.
using ReadNext =
    std::function<std::expected<std::size_t, std::error_code>(char *buffer, std::size_t size)>;

// The digest of a stream read to its end in chunks of sha1_chunk_size, for a file that is not
// on its own on disk (one inside a disc image). A failed read gives "reading {}: {}" with shown.
Result<std::string> stream_sha1_hex(const ReadNext &read_next, std::string_view shown);

} // namespace ormolt
