#pragma once
// Whole-file reads and writes of the small text files the tool keeps (records, lock,
// install-location.txt).
#include <expected>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace ormolt {

// The whole file as bytes.
std::expected<std::string, std::error_code> read_file_bytes(const std::filesystem::path& file);

// The whole file as UTF-8 text; text that is not valid UTF-8 is an illegal_byte_sequence error.
std::expected<std::string, std::error_code> read_utf8_file(const std::filesystem::path& file);

// Creates or truncates the file and writes the contents.
std::error_code write_file(const std::filesystem::path& file, std::string_view contents);

// Writes the contents to the temporary file, then renames it over the target, so a reader sees
// either the old or the new file, never half of one.
std::error_code replace_file_contents(const std::filesystem::path& target,
                                      const std::filesystem::path& temporary,
                                      std::string_view contents);

} // namespace ormolt
