// Windows side of the platform seam: file lengths and preallocation. There is no copy between
// two open files inside the system; extraction reads and writes itself.
#include "platform/platform.h"

#include <windows.h>

namespace ormolt::platform {

namespace {

std::error_code last_error() {
    return std::error_code(static_cast<int>(GetLastError()), std::system_category());
}

} // namespace

std::expected<std::uint64_t, std::error_code> file_size(NativeHandle file) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(reinterpret_cast<HANDLE>(file), &size))
        return std::unexpected(last_error());
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::expected<std::uint64_t, std::error_code> copy_file_data(NativeHandle, std::uint64_t,
                                                             NativeHandle, std::uint64_t) {
    return std::unexpected(std::make_error_code(std::errc::operation_not_supported));
}

std::error_code preallocate(NativeHandle file, std::uint64_t size) {
    if (size == 0)
        return {};
    // Reserves clusters without moving the end of the file.
    FILE_ALLOCATION_INFO info{};
    info.AllocationSize.QuadPart = static_cast<LONGLONG>(size);
    if (!SetFileInformationByHandle(reinterpret_cast<HANDLE>(file), FileAllocationInfo, &info,
                                    sizeof info))
        return last_error();
    return {};
}

} // namespace ormolt::platform
