#include "cli/status_command.h"

#include "platform/platform.h"

#include "records/build_folders.h"
#include "records/disc_names.h"
#include "records/event_stream.h"
#include "records/message.h"
#include "records/state_records.h"

namespace ormolt {

namespace fs = std::filesystem;
namespace entries = installation_entries;

namespace {

fs::path installed_program(const fs::path &folder, const Release &release) {
    fs::path program = folder / path_from_utf8(release.exe);
    program += entries::installed_program_suffix;
    return program;
}

bool regular_file_at(const fs::path &file) {
    std::error_code error;
    return fs::is_regular_file(file, error); // follows links
}

// Every direct entry of the game folder can be examined through its links; a link whose target
// has gone means the game files moved.
bool game_entries_reachable(const fs::path &game) {
    const auto listing = platform::list_folder(game);
    if (!listing)
        return false;
    for (const platform::FolderEntry &entry : *listing) {
        std::error_code examined;
        const fs::file_status status = fs::status(game / entry.name, examined);
        if (examined || status.type() == fs::file_type::not_found)
            return false;
    }
    return true;
}

struct Records {
    std::optional<SourceRecord> source;
    std::optional<Stamp> stamp;
};

std::string_view decide_state(const fs::path &folder, const Release &release,
                              const Records &records) {
    if (!records.stamp)
        return records.source ? "unbuilt" : "no-source";
    if (records.stamp->release_version != release.version)
        return "stale";
    if (!regular_file_at(installed_program(folder, release)))
        return "stale";
    const fs::path game = folder / entries::game_dir;
    if (!regular_file_at(disc_file_in_folder(game, entries::default_xbe)))
        return "moved";
    if (!game_entries_reachable(game))
        return "moved";
    return "ready";
}

// A folder holding another game's build (one that shares the title id) holds nothing of this
// release: neither its build nor the source it came from.
Records read_records(const fs::path &folder, const Release &release) {
    Records records{read_source_record(folder / entries::source_record),
                    read_stamp(folder / entries::stamp)};
    if (records.stamp && !is_build_of(*records.stamp, release))
        return {};
    return records;
}

} // namespace

std::string_view installation_state(const fs::path &folder, const Release &release) {
    return decide_state(folder, release, read_records(folder, release));
}

Result<void> run_status(const CommandOptions &, const Release &release) {
    auto folder = installation_folder(release.title_id);
    if (!folder)
        return std::unexpected(folder.error());
    const Records records = read_records(*folder, release);

    Event event;
    event["event"] = "status";
    event["state"] = decide_state(*folder, release, records);
    event["user_dir"] = path_text(*folder);
    event["source"] = records.source ? Event(records.source->path) : Event(nullptr);
    if (records.stamp) {
        event["built_version"] = records.stamp->release_version;
        event["exe"] = path_text(installed_program(*folder, release));
    } else {
        event["built_version"] = nullptr;
        event["exe"] = nullptr;
    }
    emit_event(event);
    return {};
}

} // namespace ormolt
