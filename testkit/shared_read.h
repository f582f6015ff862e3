#pragma once
// Reads a file the way many readers do, for tests of files that a running program holds open.
#include <filesystem>
#include <optional>
#include <string>

namespace testkit {

// The whole file, opened for reading while letting others only read (as .NET's
// File.ReadAllText opens on Windows); nullopt when it cannot be opened or read.
std::optional<std::string> read_letting_others_only_read(const std::filesystem::path &file);

} // namespace testkit
