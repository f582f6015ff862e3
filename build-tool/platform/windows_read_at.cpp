// Windows side of the platform seam: read-only files, their length and positioned reads.
#include "platform/platform.h"
#include "platform/windows_file_calls.h"

#include <windows.h>

#include <algorithm>

namespace ormolt::platform {

namespace {

std::error_code last_error() {
    return std::error_code(static_cast<int>(GetLastError()), std::system_category());
}

} // namespace

std::expected<NativeHandle, std::error_code> open_for_reading(const std::filesystem::path &file) {
    HANDLE handle = CreateFileW(windows::system_path(file).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::unexpected(last_error());
    return reinterpret_cast<NativeHandle>(handle);
}

std::expected<std::uint64_t, std::error_code> file_size(NativeHandle file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(reinterpret_cast<HANDLE>(file), &size))
        return std::unexpected(last_error());
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::expected<std::size_t, std::error_code> read_at(NativeHandle handle, std::uint64_t offset,
                                                    char *buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const std::uint64_t at = offset + done;
        OVERLAPPED position{};
        position.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
        position.OffsetHigh = static_cast<DWORD>(at >> 32);
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        DWORD read = 0;
        if (!ReadFile(reinterpret_cast<HANDLE>(handle), buffer + done, wanted, &read, &position)) {
            if (GetLastError() == ERROR_HANDLE_EOF)
                break;
            return std::unexpected(last_error());
        }
        if (read == 0)
            break;
        done += read;
    }
    return done;
}

} // namespace ormolt::platform
