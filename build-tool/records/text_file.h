#pragma once
// Whole-file reads and writes of the small text files the tool keeps (records, lock,
// install-location.txt).
#include "platform/platform.h"

#include <expected>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace ormolt {

// The whole file as bytes. Only a regular file of at most limit bytes is read: anything else,
// a FIFO or a device put where a record belongs, is an error at once (see read_regular_file).
std::expected<std::string, std::error_code>
read_file_bytes(const std::filesystem::path &file, std::size_t limit = platform::small_file_limit);

// The whole file as UTF-8 text; text that is not valid UTF-8 is an illegal_byte_sequence error.
std::expected<std::string, std::error_code>
read_utf8_file(const std::filesystem::path &file, std::size_t limit = platform::small_file_limit);

// Creates or truncates the file and writes the contents.
std::error_code write_file(const std::filesystem::path &file, std::string_view contents);

// Writes the contents to the temporary file, then renames it over the target, so a reader sees
// either the old or the new file, never half of one.
std::error_code replace_file_contents(const std::filesystem::path &target,
                                      const std::filesystem::path &temporary,
                                      std::string_view contents);

// The same through a temporary name beside the target that is unique to this writer (process
// id and a counter), so writers of one target never share a temporary file; it is removed
// again when the write fails.
std::error_code replace_file_contents(const std::filesystem::path &target,
                                      std::string_view contents);

// target + ".<process id>-<counter>.part".
std::filesystem::path unique_temporary_name(const std::filesystem::path &target);

} // namespace ormolt
