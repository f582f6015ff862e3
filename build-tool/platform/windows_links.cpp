// Windows side of the platform seam: links (symbolic links and junctions) and paths.
#include "platform/platform.h"

#include <windows.h>

namespace ormolt::platform {

namespace fs = std::filesystem;

namespace {

std::error_code last_error() {
    return std::error_code(static_cast<int>(GetLastError()), std::system_category());
}

} // namespace

bool is_link(const fs::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    // For a reparse point, dwReserved0 holds its tag.
    return IsReparseTagNameSurrogate(found.dwReserved0);
}

std::error_code remove_link(const fs::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return last_error();
    const BOOL removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path.c_str())
                                                                 : DeleteFileW(path.c_str());
    return removed ? std::error_code() : last_error();
}

} // namespace ormolt::platform
