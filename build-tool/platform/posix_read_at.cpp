// POSIX side of the platform seam: read-only files and positioned reads.
#include "platform/platform.h"

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace ormolt::platform {

std::expected<NativeHandle, std::error_code> open_for_reading(const std::filesystem::path &file) {
    for (;;) {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0)
            return fd;
        if (errno != EINTR)
            return std::unexpected(std::error_code(errno, std::generic_category()));
    }
}

std::expected<std::size_t, std::error_code> read_at(NativeHandle handle, std::uint64_t offset,
                                                    char *buffer, std::size_t size) {
    // An offset that off_t cannot hold lies past the end of any file.
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
        return 0;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(static_cast<int>(handle), buffer + done, size - done,
                                  static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::unexpected(std::error_code(errno, std::generic_category()));
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

} // namespace ormolt::platform
