#include "cli/build_command.h"

#include "cli/build_lock.h"
#include "cli/new_copy_check.h"
#include "files/folder_tree.h"
#include "identity/file_sha1.h"
#include "identity/game_identity.h"
#include "install/install_game.h"
#include "intake/game_files.h"
#include "pipeline/compile.h"
#include "pipeline/progress.h"
#include "pipeline/translation.h"
#include "platform/platform.h"
#include "records/build_folders.h"
#include "records/event_stream.h"
#include "records/leftover_temporaries.h"
#include "records/message.h"
#include "records/plain_path.h"
#include "records/state_records.h"
#include "records/text_file.h"

#include <algorithm>
#include <optional>

namespace ormolt {

namespace fs = std::filesystem;
namespace entries = installation_entries;

namespace {

void emit_start(const fs::path &log, const fs::path &source, const Release &release,
                const fs::path &folder) {
    Event event;
    event["event"] = "start";
    event["log"] = path_text(log);
    event["source"] = path_text(source);
    event["title"] = release.title_name;
    event["user_dir"] = path_text(folder);
    emit_event(event);
}

void emit_done(const fs::path &program, const fs::path &folder) {
    Event event;
    event["event"] = "done";
    event["exe"] = path_text(program);
    event["game_dir"] = path_text(folder / entries::game_dir);
    emit_event(event);
}

// Refusal of a folder that holds another game's build; a build may choose another folder.
BuildError another_game_error(bool folder_can_be_chosen) {
    std::string text = "This folder contains another game. Choose a separate folder for Quillon.";
    if (folder_can_be_chosen)
        text += " To build this game elsewhere, run the build with --install-dir and a new folder.";
    return BuildError{std::move(text), ErrorKind::Ordinary};
}

// The folder must be empty, this game's finished build, or marked as an installation of it. The
// game is the release's own game, so a release for any game can build into its folder again,
// but not a release of another game that shares its title id.
Result<> check_folder_may_be_used(const fs::path &folder, const Release &release) {
    const auto listing = platform::list_folder(folder);
    if (!listing)
        return fail(
            message("cannot read installation folder: {}", system_error_text(listing.error())));
    if (listing->empty())
        return {};
    if (const auto stamp = read_stamp(folder / entries::stamp)) {
        if (!is_build_of(*stamp, release))
            return std::unexpected(another_game_error(true));
        return {};
    }
    const auto marker = read_utf8_file(folder / entries::marker_file);
    if (!marker || *marker != release.title_id)
        return fail("Choose an empty installation folder, or an existing Quillon installation.");
    return {};
}

Result<fs::path> resolve_source(const fs::path &source) {
    std::error_code error;
    fs::path resolved = canonical_plain(source, error);
    if (error)
        return fail(message("{}: {}", path_text(source), system_error_text(error)));
    return resolved;
}

// The build's steps once the folder is locked and marked.
Result<fs::path> build_in_folder(const CommandOptions &options, const Release &release,
                                 const fs::path &folder) {
    fs::path source;
    if (options.source) {
        source = *options.source;
    } else {
        const auto record = read_source_record(folder / entries::source_record);
        if (!record)
            return fail("no disc chosen yet: pass --source <iso or folder>");
        source = path_from_utf8(record->path);
    }
    auto resolved = resolve_source(source);
    if (!resolved)
        return std::unexpected(resolved.error());
    source = *resolved;

    const fs::path log = folder / entries::log_file;
    (void)write_file(log, message("ormolt-build {} for {} {}\n", program_version,
                                  release.title_name, release.version));
    emit_start(log, source, release, folder);

    // A copy the release does not support is refused before it replaces the game that is
    // there; the extracted copy is checked again below, as the source may change in between.
    if (auto supported = check_supported_copy(release, source); !supported)
        return std::unexpected(supported.error());
    if (auto prepared = prepare_game_files(source, folder); !prepared)
        return std::unexpected(prepared.error());
    auto image = check_game_identity(release, folder);
    if (!image)
        return std::unexpected(image.error());
    if (auto translated = translate_game(release, *image, folder, log); !translated)
        return std::unexpected(translated.error());
    auto compiled = configure_and_compile(release, folder, log);
    if (!compiled)
        return std::unexpected(compiled.error());
    auto installed = install_game(release, folder, *compiled, image->sha1);
    if (!installed)
        return std::unexpected(installed.error());

    report_progress(Stage::Install, 0, 1, "Removing temporary build files");
    if (auto removed = remove_build_tree(folder); !removed)
        return std::unexpected(removed.error());
    for (const char *temporary : {"project", "pipe", "zig-cache", "tmp"})
        if (auto removed = remove_if_present(folder / temporary); !removed)
            return std::unexpected(removed.error());
    report_progress(Stage::Install, 1, 1, "");

    if (auto remembered = remember_installation_folder(release.title_id, folder); !remembered)
        return std::unexpected(remembered.error());
    return *installed;
}

// Temporaries of install-location.txt that a killed build left in the title's default build
// folder; cleared once this run holds its lock.
void clear_remembered_location_leftovers(const std::string &title_id) {
    if (const auto folder = default_build_folder(title_id))
        remove_orphaned_temporaries(*folder / entries::remembered_location, ".part");
}

} // namespace

bool paths_overlap(const fs::path &a, const fs::path &b) {
    const auto inside = [](const fs::path &inner, const fs::path &outer) {
        auto i = inner.begin();
        for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
            if (o->empty() && std::next(o) == outer.end())
                return true; // a trailing separator ends the outer path
            if (i == inner.end() || !platform::same_component(*i, *o))
                return false;
        }
        return true;
    };
    return inside(a, b) || inside(b, a);
}

Result<void> run_build(const CommandOptions &options, const Release &release) {
    fs::path folder;
    if (options.install_dir) {
        if (!options.install_dir->is_absolute())
            return fail("Choose an absolute installation folder.");
        folder = *options.install_dir;
    } else {
        auto chosen = installation_folder(release.title_id);
        if (!chosen)
            return std::unexpected(chosen.error());
        folder = *chosen;
    }
    std::error_code error;
    std::optional<fs::path> source_folder;
    if (options.source) {
        fs::path source = canonical_plain(*options.source, error);
        if (error)
            return fail(message("cannot open source: {}", system_error_text(error)));
        if (fs::is_directory(source, error))
            source_folder = source;
    }
    const auto overlaps_source = [&](const fs::path &resolved) {
        return source_folder && paths_overlap(*source_folder, resolved);
    };
    // Checked before the folder is made, so a refused folder is not left behind, and again once
    // it exists and links in it are resolved.
    const fs::path planned = plain_path(fs::weakly_canonical(folder, error));
    if (!error && overlaps_source(planned))
        return fail("Choose an installation folder separate from the source game folder.");
    error = platform::create_folders(folder);
    if (error)
        return fail(message("cannot create {}: {}", path_text(folder), system_error_text(error)));
    folder = canonical_plain(folder, error);
    if (error)
        return fail(message("cannot resolve installation folder: {}", system_error_text(error)));
    if (overlaps_source(folder))
        return fail("Choose an installation folder separate from the source game folder.");
    if (auto usable = check_folder_may_be_used(folder, release); !usable)
        return usable;

    auto lock = take_lock(folder);
    if (!lock)
        return std::unexpected(lock.error());
    clear_remembered_location_leftovers(release.title_id);
    if (auto written = write_file(folder / entries::marker_file, release.title_id))
        return fail(message("cannot write installation folder: {}", system_error_text(written)));

    auto installed = build_in_folder(options, release, folder);
    if (!installed)
        return std::unexpected(installed.error());
    emit_done(*installed, folder);
    return {};
}

Result<void> run_relink(const CommandOptions &options, const Release &release) {
    auto chosen = installation_folder(release.title_id);
    if (!chosen)
        return std::unexpected(chosen.error());
    const fs::path folder = *chosen;
    const fs::path stamp_file = folder / entries::stamp;
    const auto stamp = read_stamp(stamp_file);
    if (!stamp)
        return fail("nothing is built yet: build it first");
    if (!is_build_of(*stamp, release))
        return std::unexpected(another_game_error(false));
    auto lock = take_lock(folder);
    if (!lock)
        return std::unexpected(lock.error());
    clear_remembered_location_leftovers(release.title_id);
    if (!options.source)
        return fail("relink needs --source <iso or folder>");
    auto source = resolve_source(*options.source);
    if (!source)
        return std::unexpected(source.error());
    // The relink replaces the game folder: a source inside it would be deleted half-way, and a
    // folder source holding the installation folder would be read while it changes.
    std::error_code error;
    fs::path resolved_folder = canonical_plain(folder, error);
    if (error)
        resolved_folder = folder;
    const bool folder_source = fs::is_directory(*source, error);
    if ((folder_source && paths_overlap(*source, resolved_folder)) ||
        paths_overlap(*source, resolved_folder / entries::game_dir) ||
        paths_overlap(*source, resolved_folder / entries::game_partial_dir))
        return fail("Choose a copy of the game outside its installation folder.");

    const fs::path log = folder / entries::log_file;
    if (auto appended = platform::open_for_append(log)) {
        (void)platform::write_all(*appended, message("relink from {}\n", path_text(*source)));
        platform::close_handle(*appended);
    }
    emit_start(log, *source, release, folder);

    if (auto checked = check_new_copy(release, *source, *stamp); !checked)
        return checked;
    // The copy is checked again once in place: the source may have changed in between.
    if (auto prepared = prepare_game_files(*source, folder); !prepared)
        return prepared;
    auto digest = file_sha1_hex(game_xbe_path(release, folder));
    if (!digest)
        return std::unexpected(digest.error());
    if (*digest != stamp->xbe_sha1) {
        (void)platform::remove_file(stamp_file);
        return std::unexpected(different_copy_error(release, *digest, stamp->xbe_sha1));
    }
    fs::path program = folder / path_from_utf8(release.exe);
    program += entries::installed_program_suffix;
    emit_done(program, folder);
    return {};
}

} // namespace ormolt
