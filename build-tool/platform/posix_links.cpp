// POSIX side of the platform seam: links and paths.
#include "platform/platform.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace ormolt::platform {

namespace fs = std::filesystem;

bool is_link(const fs::path &path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

std::error_code remove_link(const fs::path &path) {
    if (::unlink(path.c_str()) != 0)
        return std::error_code(errno, std::generic_category());
    return {};
}

std::error_code make_directory_link(const fs::path &link, const fs::path &target) {
    if (::symlink(target.c_str(), link.c_str()) != 0)
        return std::error_code(errno, std::generic_category());
    return {};
}

std::optional<fs::path> read_directory_link(const fs::path &link) {
    std::error_code error;
    fs::path target = fs::read_symlink(link, error);
    if (error)
        return std::nullopt;
    return target;
}

} // namespace ormolt::platform
