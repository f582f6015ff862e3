#include "files/folder_tree.h"

#include "platform/platform.h"
#include "records/message.h"
#include "records/unicode_case.h"

namespace ormolt {

namespace fs = std::filesystem;

namespace {

// Removes everything below and including a real directory; links are removed as entries.
std::error_code remove_tree(const fs::path &folder) {
    std::error_code error;
    for (fs::directory_iterator listing(folder, error), end; !error && listing != end;
         listing.increment(error)) {
        const fs::path entry = listing->path();
        std::error_code entry_error;
        if (platform::is_link(entry))
            entry_error = platform::remove_link(entry);
        else if (fs::is_directory(fs::symlink_status(entry, entry_error)))
            entry_error = remove_tree(entry);
        else
            fs::remove(entry, entry_error);
        if (entry_error)
            return entry_error;
    }
    if (error)
        return error;
    fs::remove(folder, error);
    return error;
}

} // namespace

Result<> remove_if_present(const fs::path &path) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (error || status.type() == fs::file_type::not_found)
        return {};
    if (platform::is_link(path))
        error = platform::remove_link(path);
    else if (fs::is_directory(status))
        error = remove_tree(path);
    else
        fs::remove(path, error);
    // The message names the path asked for; the system's reason says what went wrong inside.
    if (error)
        return fail(message("cannot remove {}: {}", path_text(path), system_error_text(error)));
    return {};
}

namespace {

// The disc's own save folders, which a folder source never gives.
bool is_disc_save_folder(const fs::path &name) {
    const std::string upper = unicode_upper(path_text(name));
    return upper == "UDATA" || upper == "TDATA";
}

} // namespace

std::uint64_t folder_tree_file_bytes(const fs::path &source) {
    std::uint64_t bytes = 0;
    std::error_code error;
    fs::directory_iterator listing(source, error);
    for (; !error && listing != fs::directory_iterator(); listing.increment(error)) {
        const fs::path from = listing->path();
        if (is_disc_save_folder(from.filename()) || platform::is_link(from))
            continue;
        std::error_code ignored;
        if (fs::is_directory(from, ignored)) {
            bytes += folder_tree_file_bytes(from);
            continue;
        }
        const auto size = fs::file_size(from, ignored);
        if (!ignored)
            bytes += size;
    }
    return bytes;
}

Result<> copy_folder_tree(const fs::path &source, const fs::path &destination) {
    std::error_code error;
    fs::create_directories(destination, error);
    if (error)
        return fail(
            message("cannot create {}: {}", path_text(destination), system_error_text(error)));
    fs::directory_iterator listing(source, error);
    if (error)
        return fail(message("cannot read {}: {}", path_text(source), system_error_text(error)));
    for (; listing != fs::directory_iterator(); listing.increment(error)) {
        if (error)
            return fail(message("cannot read directory entry: {}", system_error_text(error)));
        const fs::path name = listing->path().filename();
        if (is_disc_save_folder(name))
            continue;
        const fs::path from = source / name;
        if (platform::is_link(from))
            return fail(message("{} is a link; choose an ISO or a folder with real game files",
                                path_text(from)));
        if (fs::is_directory(from, error)) {
            if (auto copied = copy_folder_tree(from, destination / name); !copied)
                return copied;
            continue;
        }
        error = platform::copy_file_replacing(from, destination / name);
        if (error)
            return fail(message("cannot copy {}: {}", path_text(from), system_error_text(error)));
    }
    if (error)
        return fail(message("cannot read directory entry: {}", system_error_text(error)));
    return {};
}

} // namespace ormolt
