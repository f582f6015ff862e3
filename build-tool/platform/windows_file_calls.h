#pragma once
// Windows side of the platform seam, shared by its files: the few file-system calls whose use
// Wine cannot check (it allows a copy over a read-only file and has no 260-character limit), made
// through a table that a test replaces with one that records what was asked. No <windows.h>
// here, so that the test can include it.
#include <cstdint>
#include <filesystem>
#include <string>

namespace ormolt::platform::windows {

class FileCalls {
  public:
    virtual ~FileCalls() = default;
    virtual std::uint32_t attributes(const std::wstring &path) = 0; // 0xFFFFFFFF: none
    // The tag of a reparse point (0: none could be read); the attributes of what a link leads
    // to (0xFFFFFFFF: none, also when its target has gone).
    virtual std::uint32_t reparse_tag(const std::wstring &path) = 0;
    virtual std::uint32_t followed_attributes(const std::wstring &path) = 0;
    virtual bool set_attributes(const std::wstring &path, std::uint32_t attributes) = 0;
    virtual bool delete_file(const std::wstring &path) = 0;
    virtual bool remove_directory(const std::wstring &path) = 0;
    virtual bool create_directory(const std::wstring &path) = 0;
    virtual bool copy_file(const std::wstring &from, const std::wstring &to) = 0;
    virtual bool move(const std::wstring &from, const std::wstring &to) = 0; // never replaces
    // The error of the last call that failed.
    virtual std::uint32_t last_error() = 0;
    // Waits a moment before trying again.
    virtual void pause() = 0;
};

// The calls in use: the system's, unless a test has put its own in place.
FileCalls &file_calls();
// nullptr puts the system's back.
void use_file_calls(FileCalls *calls);

// The path as handed to the system: unchanged while short; a longer one is made absolute and
// normal and given the extended-length prefix ("\\?\C:\…", "\\?\UNC\server\share\…"), which
// lifts the classic 260-character limit. A path that has the prefix already is kept.
std::wstring system_path(const std::filesystem::path &path);

// Paths from this length on take the extended-length form: a folder's path must leave room for
// an 8.3 name below the classic limit.
inline constexpr std::size_t long_path_length = 248;

constexpr std::uint32_t readonly_attribute = 0x1;        // FILE_ATTRIBUTE_READONLY
constexpr std::uint32_t directory_attribute = 0x10;      // FILE_ATTRIBUTE_DIRECTORY
constexpr std::uint32_t device_attribute = 0x40;         // FILE_ATTRIBUTE_DEVICE
constexpr std::uint32_t reparse_point_attribute = 0x400; // FILE_ATTRIBUTE_REPARSE_POINT
constexpr std::uint32_t name_surrogate_tag = 0x20000000; // the bit IsReparseTagNameSurrogate tests
constexpr std::uint32_t no_attributes = 0xFFFFFFFFu;
constexpr std::uint32_t access_denied = 5;      // ERROR_ACCESS_DENIED
constexpr std::uint32_t sharing_violation = 32; // ERROR_SHARING_VIOLATION
constexpr std::uint32_t already_exists = 183;   // ERROR_ALREADY_EXISTS
constexpr std::uint32_t file_not_found = 2;     // ERROR_FILE_NOT_FOUND
constexpr std::uint32_t path_not_found = 3;     // ERROR_PATH_NOT_FOUND

} // namespace ormolt::platform::windows
