// POSIX side of the platform seam: folder work, canonical paths and the system's error texts.
#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ormolt::platform {

namespace fs = std::filesystem;

namespace {

std::error_code last_error() {
    return std::error_code(errno, std::generic_category());
}

} // namespace

std::error_code remove_file(const fs::path &path) {
    return ::unlink(path.c_str()) == 0 ? std::error_code() : last_error();
}

std::error_code remove_empty_folder(const fs::path &path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
        return remove_file(path);
    return ::rmdir(path.c_str()) == 0 ? std::error_code() : last_error();
}

std::error_code rename_path(const fs::path &from, const fs::path &to) {
    return std::rename(from.c_str(), to.c_str()) == 0 ? std::error_code() : last_error();
}

std::error_code create_folders(const fs::path &path) {
    std::error_code error;
    fs::create_directories(path, error);
    return error;
}

std::expected<std::vector<FolderEntry>, std::error_code> list_folder(const fs::path &folder) {
    DIR *listing = ::opendir(folder.c_str());
    if (listing == nullptr)
        return std::unexpected(last_error());
    std::vector<FolderEntry> entries;
    for (;;) {
        errno = 0;
        const dirent *found = ::readdir(listing);
        if (found == nullptr)
            break;
        const std::string_view name = found->d_name;
        if (name == "." || name == "..")
            continue;
        FolderEntry entry;
        entry.name = fs::path(std::string(name));
        unsigned char type = found->d_type;
        struct stat info {};
        // A file system that does not give the kind in the listing is asked for each entry; an
        // entry it cannot describe fails the listing rather than pass for a file.
        if (type == DT_UNKNOWN) {
            if (::lstat((folder / entry.name).c_str(), &info) != 0) {
                const int reason = errno;
                ::closedir(listing);
                return std::unexpected(std::error_code(reason, std::generic_category()));
            }
            type = S_ISLNK(info.st_mode) ? DT_LNK : S_ISDIR(info.st_mode) ? DT_DIR : DT_REG;
        }
        entry.link = type == DT_LNK;
        entry.directory = type == DT_DIR;
        if (entry.link && ::stat((folder / entry.name).c_str(), &info) == 0)
            entry.directory = S_ISDIR(info.st_mode);
        entries.push_back(std::move(entry));
    }
    const int reason = errno;
    ::closedir(listing);
    if (reason != 0)
        return std::unexpected(std::error_code(reason, std::generic_category()));
    return entries;
}

std::expected<EntryKind, std::error_code> entry_kind(const fs::path &path, Links links) {
    struct stat info {};
    const int result =
        links == Links::Followed ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info);
    if (result != 0)
        return errno == ENOENT ? std::expected<EntryKind, std::error_code>(EntryKind::None)
                               : std::unexpected(last_error());
    if (S_ISLNK(info.st_mode))
        return EntryKind::Link;
    if (S_ISDIR(info.st_mode))
        return EntryKind::Folder;
    return S_ISREG(info.st_mode) ? EntryKind::File : EntryKind::Other;
}

std::expected<fs::path, std::error_code> canonical_path(const fs::path &path) {
    std::error_code error;
    fs::path resolved = fs::canonical(path, error);
    if (error)
        return std::unexpected(error);
    return resolved;
}

bool same_component(const fs::path &a, const fs::path &b) {
    return a.native() == b.native();
}

std::string error_description(const std::error_code &error) {
    return error.message();
}

} // namespace ormolt::platform
