#pragma once
// File names as the programs hold them (UTF-8 text) and as the system takes them: on Windows
// UTF-16, so that a path outside the ANSI code page (a user name such as "Zoë 李") reaches the
// file system unchanged; elsewhere the bytes as given.
#include <filesystem>
#include <string_view>

// Text that is not valid UTF-8 gets U+FFFD on Windows, and such a name matches no file.
std::filesystem::path path_from_utf8(std::string_view text);
