// Windows side of the platform seam: links (symbolic links and junctions) and paths.
#include "platform/platform.h"
#include "platform/windows_file_calls.h"

#include <windows.h>
#include <winioctl.h>

#include <cstring>
#include <vector>

namespace ormolt::platform {

namespace fs = std::filesystem;

namespace {

std::error_code last_error() {
    return std::error_code(static_cast<int>(GetLastError()), std::system_category());
}

// The mount-point layout of REPARSE_DATA_BUFFER (not in every SDK's user-mode headers).
struct MountPointHeader {
    DWORD tag;
    WORD data_length;
    WORD reserved;
    WORD substitute_offset;
    WORD substitute_length;
    WORD print_offset;
    WORD print_length;
    // followed by the path buffer
};
constexpr std::size_t mount_point_header_size = sizeof(MountPointHeader);
constexpr std::size_t reparse_header_size = 8; // tag, data length, reserved

HANDLE open_reparse_point(const fs::path &path, DWORD access) {
    return CreateFileW(windows::system_path(path).c_str(), access, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

} // namespace

bool is_link(const fs::path &path) {
    const DWORD attributes = GetFileAttributesW(windows::system_path(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(windows::system_path(path).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    // For a reparse point, dwReserved0 holds its tag.
    return IsReparseTagNameSurrogate(found.dwReserved0);
}

std::error_code remove_link(const fs::path &path) {
    // GetFileAttributesW describes the link itself, also when its target has gone.
    const DWORD attributes = GetFileAttributesW(windows::system_path(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return last_error();
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? remove_empty_folder(path) : remove_file(path);
}

std::error_code make_directory_link(const fs::path &link, const fs::path &target) {
    if (!CreateDirectoryW(windows::system_path(link).c_str(), nullptr))
        return last_error();
    const std::wstring print = target.native();
    const std::wstring substitute = L"\\??\\" + print;
    const std::size_t substitute_bytes = substitute.size() * sizeof(wchar_t);
    const std::size_t print_bytes = print.size() * sizeof(wchar_t);
    // Both names, each followed by a UTF-16 zero.
    const std::size_t path_bytes =
        substitute_bytes + sizeof(wchar_t) + print_bytes + sizeof(wchar_t);
    std::vector<unsigned char> buffer(mount_point_header_size + path_bytes, 0);
    MountPointHeader header{};
    header.tag = IO_REPARSE_TAG_MOUNT_POINT;
    header.data_length =
        static_cast<WORD>(mount_point_header_size - reparse_header_size + path_bytes);
    header.substitute_offset = 0;
    header.substitute_length = static_cast<WORD>(substitute_bytes);
    header.print_offset = static_cast<WORD>(substitute_bytes + sizeof(wchar_t));
    header.print_length = static_cast<WORD>(print_bytes);
    std::memcpy(buffer.data(), &header, sizeof header);
    std::memcpy(buffer.data() + mount_point_header_size, substitute.data(), substitute_bytes);
    std::memcpy(buffer.data() + mount_point_header_size + header.print_offset, print.data(),
                print_bytes);

    HANDLE handle = open_reparse_point(link, GENERIC_WRITE);
    std::error_code error;
    if (handle == INVALID_HANDLE_VALUE) {
        error = last_error();
    } else {
        DWORD returned = 0;
        if (!DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(),
                             static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr))
            error = last_error();
        CloseHandle(handle);
    }
    if (error)
        RemoveDirectoryW(windows::system_path(link).c_str());
    return error;
}

std::optional<fs::path> read_directory_link(const fs::path &link) {
    HANDLE handle = open_reparse_point(link, 0);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::vector<unsigned char> buffer(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    DWORD returned = 0;
    const BOOL read = DeviceIoControl(handle, FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer.data(),
                                      static_cast<DWORD>(buffer.size()), &returned, nullptr);
    CloseHandle(handle);
    if (!read || returned < mount_point_header_size)
        return std::nullopt;
    MountPointHeader header{};
    std::memcpy(&header, buffer.data(), sizeof header);
    std::size_t offset = header.print_offset, length = header.print_length;
    if (header.tag == IO_REPARSE_TAG_SYMLINK) {
        // Symbolic links carry a flags word before their path buffer.
        const std::size_t symlink_header = mount_point_header_size + sizeof(ULONG);
        offset += symlink_header;
    } else if (header.tag == IO_REPARSE_TAG_MOUNT_POINT) {
        offset += mount_point_header_size;
    } else {
        return std::nullopt;
    }
    if (length == 0 || offset + length > returned || length % sizeof(wchar_t) != 0)
        return std::nullopt;
    std::wstring target(length / sizeof(wchar_t), L'\0');
    std::memcpy(target.data(), buffer.data() + offset, length);
    return fs::path(target);
}

} // namespace ormolt::platform
