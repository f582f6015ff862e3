#include "intake/save_folders.h"

#include "files/file_compare.h"
#include "files/folder_tree.h"
#include "platform/platform.h"
#include "records/json_reader.h"
#include "records/message.h"
#include "records/text_file.h"
#include "records/unicode_case.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace ormolt {

namespace fs = std::filesystem;

namespace {

using platform::EntryKind;

std::expected<EntryKind, std::error_code> kind_unfollowed(const fs::path &path) {
    return platform::entry_kind(path, platform::Links::NotFollowed);
}

BuildError cannot_read(const fs::path &path, const std::error_code &error) {
    return BuildError{message("cannot read {}: {}", path_text(path), system_error_text(error))};
}

// The first name in <folder> at which nothing exists and that is not reserved (upper-cased
// names, as on a system that ignores letter case): base, then base + suffix, then
// base + suffix + "-2", "-3", ... A name the system cannot say is free is an error, not free.
Result<fs::path> first_free(const fs::path &folder, const std::string &base,
                            std::string_view suffix, bool try_base,
                            const std::set<std::string> &reserved = {}) {
    std::error_code error;
    const auto free = [&](const std::string &name) {
        if (reserved.contains(unicode_upper(name)))
            return false;
        const auto kind = kind_unfollowed(folder / path_from_utf8(name));
        if (!kind)
            error = kind.error();
        return kind && *kind == EntryKind::None;
    };
    const auto chosen = [&](const std::string &name) -> Result<fs::path> {
        if (error)
            return std::unexpected(cannot_read(folder / path_from_utf8(name), error));
        return folder / path_from_utf8(name);
    };
    if (try_base && (free(base) || error))
        return chosen(base);
    const std::string stem = base + std::string(suffix);
    if (free(stem) || error)
        return chosen(stem);
    for (unsigned counter = 2;; ++counter) {
        const std::string name = stem + "-" + std::to_string(counter);
        if (free(name) || error)
            return chosen(name);
    }
}

// The save folders listed in folder, in listing order. Nothing there, or no folder, has none; a
// folder that cannot be listed, or an entry that cannot be told, is an error: a save folder must
// never go unseen and then be removed with its game.
Result<std::vector<fs::path>> save_folders_in(const fs::path &folder) {
    std::vector<fs::path> found;
    auto listing = platform::list_folder(folder);
    if (!listing) {
        const auto kind = kind_unfollowed(folder);
        if (kind && *kind != EntryKind::Folder)
            return found;
        return std::unexpected(cannot_read(folder, listing.error()));
    }
    for (const platform::FolderEntry &entry : *listing) {
        auto save = is_save_folder(folder / entry.name);
        if (!save)
            return std::unexpected(cannot_read(folder / entry.name, save.error()));
        if (*save)
            found.push_back(folder / entry.name);
    }
    return found;
}

// The names on the list, or nothing when there is no readable list.
std::optional<std::set<std::string>> read_carried(const fs::path &record) {
    auto text = read_utf8_file(record);
    if (!text)
        return std::nullopt;
    auto document = JsonDocument::parse(*text);
    if (!document || !document->root().is_array())
        return std::nullopt;
    std::set<std::string> names;
    for (const auto &name : document->root()) {
        if (!name.is_string())
            return std::nullopt;
        names.insert(name.get<std::string>());
    }
    return names;
}

Result<> write_carried(const fs::path &record, const std::set<std::string> &names) {
    const std::string text =
        nlohmann::json(names).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    fs::path temporary = record;
    temporary += ".part";
    if (auto error = replace_file_contents(record, temporary, text))
        return fail(message("cannot write {}: {}", path_text(record), system_error_text(error)));
    return {};
}

bool is_real_directory(const fs::path &path) {
    const auto kind = kind_unfollowed(path);
    return kind && *kind == EntryKind::Folder;
}

bool is_plain_file(const fs::path &path) {
    const auto kind = kind_unfollowed(path);
    return kind && *kind == EntryKind::File;
}

// How many entries a folder holds; nothing when it cannot be listed in full.
std::optional<std::size_t> entry_count(const fs::path &folder) {
    auto listing = platform::list_folder(folder);
    return listing ? std::optional(listing->size()) : std::nullopt;
}

// Whether two real folders hold the same names, the same kinds and the same bytes, all the way
// down. Anything unreadable, and any link, counts as a difference.
bool same_tree(const fs::path &a, const fs::path &b) {
    if (!is_real_directory(a) || !is_real_directory(b))
        return false;
    const auto count = entry_count(a);
    if (!count || entry_count(b) != count)
        return false;
    auto listing = platform::list_folder(a);
    if (!listing)
        return false;
    for (const platform::FolderEntry &entry : *listing) {
        const fs::path left = a / entry.name, right = b / entry.name;
        const bool same = is_real_directory(left)
                              ? same_tree(left, right)
                              : is_plain_file(left) && is_plain_file(right) &&
                                    compare_files(left, right) == Comparison::Equal;
        if (!same)
            return false;
    }
    return true;
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

std::expected<bool, std::error_code> is_save_folder(const fs::path &entry) {
    if (!is_save_folder_name(path_text(entry.filename())))
        return false;
    const auto kind = kind_unfollowed(entry);
    if (!kind)
        return std::unexpected(kind.error());
    return *kind == EntryKind::Folder;
}

fs::path carried_saves_record(const fs::path &installation_folder) {
    return installation_folder / "game.partial.saves";
}

Result<> rescue_saves(const fs::path &installation_folder) {
    const fs::path game = installation_folder / "game";
    const auto carried = read_carried(carried_saves_record(installation_folder));
    const auto saves = save_folders_in(installation_folder / "game.partial");
    if (!saves)
        return std::unexpected(saves.error());
    for (const fs::path &entry : *saves) {
        const std::string name = path_text(entry.filename());
        if (carried && !carried->contains(name))
            continue; // the disc's own, not the player's
        if (auto error = platform::create_folders(game))
            return fail(message("cannot create {}: {}", path_text(game), system_error_text(error)));
        const auto target = first_free(game, name, ".rescued", true);
        if (!target)
            return std::unexpected(target.error());
        if (auto error = platform::rename_path(entry, *target))
            return fail(message("cannot rescue the saves in {}: {}", path_text(entry),
                                system_error_text(error)));
    }
    return {};
}

Result<> start_new_copy(const fs::path &installation_folder) {
    if (auto removed = remove_if_present(installation_folder / "game.partial"); !removed)
        return removed;
    if (auto error = platform::create_folders(installation_folder))
        return fail(message("cannot create {}: {}", path_text(installation_folder),
                            system_error_text(error)));
    return write_carried(carried_saves_record(installation_folder), {});
}

void forget_carried_saves(const fs::path &installation_folder) {
    (void)platform::remove_file(carried_saves_record(installation_folder));
}

Result<> carry_saves(const fs::path &old_folder, const fs::path &new_folder,
                     const fs::path &record) {
    const auto found = save_folders_in(old_folder);
    if (!found)
        return std::unexpected(found.error());
    const std::vector<fs::path> &saves = *found;
    if (saves.empty())
        return {};
    std::set<std::string> names, taken;
    for (const fs::path &save : saves) {
        names.insert(path_text(save.filename()));
        taken.insert(unicode_upper(path_text(save.filename())));
    }
    for (const fs::path &save : saves) {
        const fs::path target = new_folder / save.filename();
        const auto kind = kind_unfollowed(target);
        if (!kind)
            return std::unexpected(cannot_read(target, kind.error()));
        if (*kind == EntryKind::None)
            continue;
        if (std::any_of(saves.begin(), saves.end(),
                        [&](const fs::path &kept) { return same_tree(kept, target); })) {
            if (auto removed = remove_if_present(target); !removed)
                return removed;
            continue;
        }
        // Not under a name that a carried folder is about to take, so nothing is overwritten.
        const auto aside =
            first_free(new_folder, path_text(save.filename()), ".disc", false, taken);
        if (!aside)
            return std::unexpected(aside.error());
        if (auto error = platform::rename_path(target, *aside))
            return fail(message("cannot set aside the disc's {}: {}", path_text(target),
                                system_error_text(error)));
    }
    if (auto written = write_carried(record, names); !written)
        return written;
    for (const fs::path &save : saves) {
        if (auto error = platform::rename_path(save, new_folder / save.filename()))
            return fail(message("cannot keep the saves in {}: {}", path_text(save),
                                system_error_text(error)));
    }
    return {};
}

} // namespace ormolt
