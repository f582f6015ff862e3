#include "intake/save_folders.h"

#include "platform/platform.h"
#include "records/message.h"
#include "records/unicode_case.h"

#include <string>

namespace ormolt {

namespace fs = std::filesystem;

namespace {

bool exists_unfollowed(const fs::path &path) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    return !error && status.type() != fs::file_type::not_found;
}

// The first name in <folder> at which nothing exists: base, then base + suffix, then
// base + suffix + "-2", "-3", ...
fs::path first_free(const fs::path &folder, const std::string &base, std::string_view suffix,
                    bool try_base) {
    if (try_base && !exists_unfollowed(folder / path_from_utf8(base)))
        return folder / path_from_utf8(base);
    const std::string stem = base + std::string(suffix);
    if (!exists_unfollowed(folder / path_from_utf8(stem)))
        return folder / path_from_utf8(stem);
    for (unsigned counter = 2;; ++counter) {
        const fs::path candidate = folder / path_from_utf8(stem + "-" + std::to_string(counter));
        if (!exists_unfollowed(candidate))
            return candidate;
    }
}

// Calls step for each save folder listed in folder, in listing order, until one fails. A folder
// that cannot be listed has none; an entry that cannot be read is skipped.
template <class Step> Result<> for_each_save_folder(const fs::path &folder, Step step) {
    std::error_code error;
    fs::directory_iterator listing(folder, error);
    if (error)
        return {};
    for (; listing != fs::directory_iterator(); listing.increment(error)) {
        if (error)
            break;
        if (!is_save_folder(listing->path()))
            continue;
        if (auto moved = step(listing->path()); !moved)
            return moved;
    }
    return {};
}

} // namespace

bool is_save_folder_name(std::string_view name) {
    const std::string upper = unicode_upper(name);
    for (std::string_view save : {"UDATA", "TDATA"}) {
        if (upper == save)
            return true;
        if (upper.size() > save.size() && upper.starts_with(save) && upper[save.size()] == '.')
            return true;
    }
    return false;
}

bool is_save_folder(const fs::path &entry) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(entry, error);
    if (error || !fs::is_directory(status) || platform::is_link(entry))
        return false;
    return is_save_folder_name(path_text(entry.filename()));
}

Result<> rescue_saves(const fs::path &installation_folder) {
    const fs::path game = installation_folder / "game";
    return for_each_save_folder(
        installation_folder / "game.partial", [&](const fs::path &entry) -> Result<> {
            std::error_code error;
            fs::create_directories(game, error);
            if (error)
                return fail(
                    message("cannot create {}: {}", path_text(game), system_error_text(error)));
            const fs::path target = first_free(game, path_text(entry.filename()), ".rescued", true);
            fs::rename(entry, target, error);
            if (error)
                return fail(message("cannot rescue the saves in {}: {}", path_text(entry),
                                    system_error_text(error)));
            return {};
        });
}

Result<> carry_saves(const fs::path &old_folder, const fs::path &new_folder) {
    return for_each_save_folder(old_folder, [&](const fs::path &entry) -> Result<> {
        std::error_code error;
        const fs::path target = new_folder / entry.filename();
        if (exists_unfollowed(target)) {
            // The disc's own folder is set aside under "<name>.disc"; when a carried folder
            // already holds that name (the player kept an earlier one), the next free
            // "<name>.disc-2", ... so neither is overwritten and the build can go on.
            const fs::path aside =
                first_free(new_folder, path_text(entry.filename()), ".disc", false);
            fs::rename(target, aside, error);
            if (error)
                return fail(message("cannot set aside the disc's {}: {}", path_text(target),
                                    system_error_text(error)));
        }
        fs::rename(entry, target, error);
        if (error)
            return fail(message("cannot keep the saves in {}: {}", path_text(entry),
                                system_error_text(error)));
        return {};
    });
}

} // namespace ormolt
