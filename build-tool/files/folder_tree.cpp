#include "files/folder_tree.h"

#include "platform/platform.h"
#include "records/message.h"
#include "records/unicode_case.h"

namespace ormolt {

namespace fs = std::filesystem;

namespace {

// Removes everything below and including a real directory; links are removed as entries.
std::error_code remove_tree(const fs::path &folder) {
    auto listing = platform::list_folder(folder);
    if (!listing)
        return listing.error();
    for (const platform::FolderEntry &entry : *listing) {
        const fs::path path = folder / entry.name;
        std::error_code error;
        if (entry.link)
            error = platform::remove_link(path);
        else if (entry.directory)
            error = remove_tree(path);
        else
            error = platform::remove_file(path);
        if (error)
            return error;
    }
    return platform::remove_empty_folder(folder);
}

} // namespace

Result<> remove_if_present(const fs::path &path) {
    // Only a path that is really not there is nothing to do: a query the system refuses (access
    // denied, a path too long for it) would otherwise leave the tree in place unannounced.
    const auto kind = platform::entry_kind(path, platform::Links::NotFollowed);
    std::error_code error;
    if (!kind)
        error = kind.error();
    else if (*kind == platform::EntryKind::None)
        return {};
    else if (*kind == platform::EntryKind::Link)
        error = platform::remove_link(path);
    else if (*kind == platform::EntryKind::Folder)
        error = remove_tree(path);
    else
        error = platform::remove_file(path);
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

namespace {

Result<std::uint64_t>
tree_file_bytes(const fs::path &source, const std::string &relative,
                const std::function<Result<>(std::string_view relative)> &check) {
    std::uint64_t bytes = 0;
    const auto listing = platform::list_folder(source);
    if (!listing)
        return bytes;
    for (const platform::FolderEntry &entry : *listing) {
        if (is_disc_save_folder(entry.name) || entry.link)
            continue;
        const std::string name =
            relative.empty() ? path_text(entry.name) : relative + "/" + path_text(entry.name);
        if (auto checked = check(name); !checked)
            return std::unexpected(checked.error());
        const fs::path from = source / entry.name;
        if (entry.directory) {
            const auto below = tree_file_bytes(from, name, check);
            if (!below)
                return below;
            bytes += *below;
            continue;
        }
        std::error_code ignored;
        const auto size = fs::file_size(from, ignored);
        if (!ignored)
            bytes += size;
    }
    return bytes;
}

} // namespace

Result<std::uint64_t>
folder_tree_file_bytes(const fs::path &source,
                       const std::function<Result<>(std::string_view relative)> &check) {
    return tree_file_bytes(source, "", check);
}

Result<> copy_folder_tree(const fs::path &source, const fs::path &destination) {
    if (auto error = platform::create_folders(destination))
        return fail(
            message("cannot create {}: {}", path_text(destination), system_error_text(error)));
    auto listing = platform::list_folder(source);
    if (!listing)
        return fail(
            message("cannot read {}: {}", path_text(source), system_error_text(listing.error())));
    for (const platform::FolderEntry &entry : *listing) {
        if (is_disc_save_folder(entry.name))
            continue;
        const fs::path from = source / entry.name;
        if (entry.link)
            return fail(message("{} is a link; choose an ISO or a folder with real game files",
                                path_text(from)));
        if (entry.directory) {
            if (auto copied = copy_folder_tree(from, destination / entry.name); !copied)
                return copied;
            continue;
        }
        if (auto error = platform::copy_file_replacing(from, destination / entry.name))
            return fail(message("cannot copy {}: {}", path_text(from), system_error_text(error)));
    }
    return {};
}

} // namespace ormolt
