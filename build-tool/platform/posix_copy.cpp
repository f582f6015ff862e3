// POSIX side of the platform seam: file lengths, copies inside the kernel, preallocation.
#include "platform/platform.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace ormolt::platform {

namespace {

std::error_code errno_error() {
    return std::error_code(errno, std::generic_category());
}

} // namespace

std::expected<std::uint64_t, std::error_code> file_size(NativeHandle file) {
    struct stat info {};
    if (::fstat(static_cast<int>(file), &info) != 0)
        return std::unexpected(errno_error());
    return static_cast<std::uint64_t>(info.st_size);
}

std::expected<std::uint64_t, std::error_code>
copy_file_data(NativeHandle from, std::uint64_t offset, NativeHandle to, std::uint64_t size) {
#ifdef __linux__
    // An offset that loff_t cannot hold lies past the end of any file.
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<loff_t>::max()))
        return 0;
    auto at = static_cast<loff_t>(offset);
    std::uint64_t done = 0;
    while (done < size) {
        const auto wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>(size - done, std::size_t{1} << 30));
        const ssize_t n = ::copy_file_range(static_cast<int>(from), &at, static_cast<int>(to),
                                            nullptr, wanted, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            if (done > 0)
                break;
            return std::unexpected(errno_error());
        }
        if (n == 0)
            break;
        done += static_cast<std::uint64_t>(n);
    }
    return done;
#else
    (void)from, (void)offset, (void)to, (void)size;
    return std::unexpected(std::make_error_code(std::errc::operation_not_supported));
#endif
}

std::error_code preallocate(NativeHandle file, std::uint64_t size) {
#ifdef __linux__
    // fallocate proper, not posix_fallocate: where the file system cannot reserve room, the
    // latter would write the whole file with zeros first.
    if (size == 0 || size > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
        return {};
    if (::fallocate(static_cast<int>(file), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) != 0)
        return errno_error();
    return {};
#else
    (void)file, (void)size;
    return std::make_error_code(std::errc::operation_not_supported);
#endif
}

} // namespace ormolt::platform
