#include "intake/game_files.h"

#include "files/folder_tree.h"
#include "intake/disc_extraction.h"
#include "intake/safe_names.h"
#include "intake/save_folders.h"
#include "pipeline/progress.h"
#include "platform/platform.h"
#include "records/disc_names.h"
#include "records/message.h"

#include <chrono>

namespace ormolt {

namespace fs = std::filesystem;

namespace {

bool is_regular_file_followed(const fs::path &path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// Puts the completed copy in place of the old one, after the saves have moved into it.
Result<> replace_game_folder(const fs::path &installation_folder, std::string_view move_message) {
    const fs::path game = installation_folder / "game";
    const fs::path partial = installation_folder / "game.partial";
    if (auto carried = carry_saves(game, partial, carried_saves_record(installation_folder));
        !carried)
        return carried;
    if (auto removed = remove_if_present(game); !removed)
        return removed;
    // Retried for a moment: a virus scanner may still hold a file just copied.
    if (auto error = platform::rename_path(partial, game))
        return fail(message(move_message, system_error_text(error)));
    forget_carried_saves(installation_folder);
    return {};
}

Result<> copy_game_folder(const fs::path &source, const fs::path &installation_folder,
                          const SourceRecord &record, const FreeSpaceProbe &free_space) {
    if (!is_regular_file_followed(source / "default.xbe"))
        return fail(message("{} has no default.xbe: choose the folder the game's files are in, or "
                            "the disc image",
                            path_text(source)));
    report_progress(Stage::Game, 0, 1, "");
    // Every name is checked before anything is written, so a name the installation folder's
    // system cannot hold does not stop the copy half-way.
    const std::string shown = path_text(source);
    const auto bytes = folder_tree_file_bytes(source, [&](std::string_view relative) -> Result<> {
        if (auto refusal = unsafe_name_refusal(shown, relative, host_name_rules))
            return fail(std::move(*refusal));
        return {};
    });
    if (!bytes)
        return std::unexpected(bytes.error());
    const fs::path partial = installation_folder / "game.partial";
    if (auto started = start_new_copy(installation_folder); !started)
        return started;
    if (auto room = check_free_space(installation_folder, *bytes, free_space); !room)
        return room;
    if (auto copied = copy_folder_tree(source, partial); !copied)
        return copied;
    if (auto placed =
            replace_game_folder(installation_folder, "cannot move the game folder into place: {}");
        !placed)
        return placed;
    report_progress(Stage::Game, 1, 1, "");
    return write_source_record(installation_folder / "source.json", record);
}

// The last extraction of this very image file is still in place.
bool already_extracted(const fs::path &installation_folder, const SourceRecord &record) {
    const auto stored = read_source_record(installation_folder / "source.json");
    if (!stored || stored->path != record.path || stored->size != record.size ||
        stored->mtime != record.mtime)
        return false;
    const fs::path game = installation_folder / "game";
    std::error_code error;
    const fs::file_status status = fs::symlink_status(game, error);
    return !error && fs::is_directory(status) && !fs::is_symlink(status) &&
           is_regular_file_followed(game / "default.xbe");
}

Result<> extract_game_image(const fs::path &source, const fs::path &installation_folder,
                            const SourceRecord &record, const FreeSpaceProbe &free_space) {
    const fs::path source_json = installation_folder / "source.json";
    const fs::path partial = installation_folder / "game.partial";
    if (already_extracted(installation_folder, record)) {
        // A copy left by an interrupted run goes on every run (its saves were rescued first).
        if (auto removed = remove_if_present(partial); !removed)
            return removed;
        forget_carried_saves(installation_folder);
        report_progress(Stage::Game, 1, 1, "already extracted");
        return write_source_record(source_json, record);
    }
    if (auto started = start_new_copy(installation_folder); !started)
        return started;
    report_progress(Stage::Game, 0, 1, "");
    if (auto extracted = extract_disc_image(source, partial, free_space); !extracted)
        return extracted;
    if (!is_regular_file_followed(disc_file_in_folder(partial, "default.xbe"))) {
        if (auto removed = remove_if_present(partial); !removed)
            return removed;
        return fail(message("{} has no default.xbe: it is not a game disc", path_text(source)));
    }
    if (auto placed = replace_game_folder(installation_folder,
                                          "cannot move the extracted game into place: {}");
        !placed)
        return placed;
    return write_source_record(source_json, record);
}

} // namespace

SourceRecord describe_source(const fs::path &source, const fs::file_status &status) {
    SourceRecord record{path_text(source), 0, 0};
    if (!fs::is_regular_file(status))
        return record;
    std::error_code error;
    const auto size = fs::file_size(source, error);
    record.size = error ? 0 : size;
    const auto written = fs::last_write_time(source, error);
    if (!error) {
        const auto system_time = std::chrono::file_clock::to_sys(written);
        const auto seconds =
            std::chrono::floor<std::chrono::seconds>(system_time.time_since_epoch()).count();
        record.mtime = seconds > 0 ? static_cast<std::uint64_t>(seconds) : 0;
    }
    return record;
}

Result<> prepare_game_files(const fs::path &source, const fs::path &installation_folder,
                            const FreeSpaceProbe &free_space) {
    if (auto rescued = rescue_saves(installation_folder); !rescued)
        return rescued;
    std::error_code error;
    const fs::file_status status = fs::status(source, error);
    if (error)
        return fail(message("cannot open {}: {}", path_text(source), system_error_text(error)));
    const SourceRecord record = describe_source(source, status);
    if (fs::is_regular_file(status))
        return extract_game_image(source, installation_folder, record, free_space);
    return copy_game_folder(source, installation_folder, record, free_space);
}

} // namespace ormolt
