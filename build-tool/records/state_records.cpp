#include "records/state_records.h"

#include "platform/platform.h"
#include "records/build_folders.h"
#include "records/json_reader.h"
#include "records/message.h"
#include "records/text_file.h"

#include <nlohmann/json.hpp>

#include <utility>
#include <vector>

namespace ormolt {

namespace fs = std::filesystem;

namespace {

std::optional<JsonDocument> read_document(const fs::path &file) {
    auto text = read_utf8_file(file);
    if (!text)
        return std::nullopt;
    auto document = JsonDocument::parse(*text);
    if (!document)
        return std::nullopt;
    return std::move(*document);
}

std::string json_string(std::string_view text) {
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// Two-space indented object, members in the given order, no line end after the closing brace.
std::string indented_object(const std::vector<std::pair<std::string_view, std::string>> &members) {
    std::string text = "{\n";
    for (std::size_t i = 0; i < members.size(); ++i) {
        text += "  " + json_string(members[i].first) + ": " + members[i].second;
        text += i + 1 < members.size() ? ",\n" : "\n";
    }
    return text + "}";
}

Result<void> write_record(const fs::path &target, const std::string &text) {
    fs::path temporary = target;
    temporary.replace_extension("json.part");
    if (auto error = replace_file_contents(target, temporary, text))
        return fail(message("cannot write {}: {}", path_text(target), system_error_text(error)));
    return {};
}

} // namespace

bool is_build_of(const Stamp &stamp, const Release &release) {
    if (stamp.title_id != release.title_id)
        return false;
    for (const Image &image : release.images)
        if (image.sha1 == stamp.xbe_sha1)
            return true;
    return stamp.exe == release.exe + installation_entries::installed_program_suffix;
}

std::optional<SourceRecord> read_source_record(const fs::path &file) {
    auto document = read_document(file);
    if (!document)
        return std::nullopt;
    auto fields = JsonFields::at(*document, "");
    if (!fields)
        return std::nullopt;
    auto path = fields->required_string("path");
    auto size = fields->required_unsigned("size");
    auto mtime = fields->required_unsigned("mtime");
    if (!path || !size || !mtime)
        return std::nullopt;
    return SourceRecord{std::move(*path), *size, *mtime};
}

std::optional<Stamp> read_stamp(const fs::path &file) {
    auto document = read_document(file);
    if (!document)
        return std::nullopt;
    auto fields = JsonFields::at(*document, "");
    if (!fields)
        return std::nullopt;
    Stamp stamp;
    for (auto [member, name] : {std::pair{&stamp.release_version, "release_version"},
                                {&stamp.title_id, "title_id"},
                                {&stamp.xbe_sha1, "xbe_sha1"},
                                {&stamp.exe, "exe"}}) {
        auto value = fields->required_string(name);
        if (!value)
            return std::nullopt;
        *member = std::move(*value);
    }
    return stamp;
}

Result<void> write_source_record(const fs::path &target, const SourceRecord &record) {
    return write_record(target, indented_object({{"path", json_string(record.path)},
                                                 {"size", std::to_string(record.size)},
                                                 {"mtime", std::to_string(record.mtime)}}));
}

Result<void> write_stamp(const fs::path &target, const Stamp &stamp) {
    return write_record(target,
                        indented_object({{"release_version", json_string(stamp.release_version)},
                                         {"title_id", json_string(stamp.title_id)},
                                         {"xbe_sha1", json_string(stamp.xbe_sha1)},
                                         {"exe", json_string(stamp.exe)}}));
}

Result<void> remember_installation_folder(const std::string &title_id,
                                          const fs::path &installation_folder) {
    auto folder = default_build_folder(title_id);
    if (!folder)
        return std::unexpected(folder.error());
    const auto failed = [](const std::error_code &error) {
        return fail(message("cannot remember installation folder: {}", system_error_text(error)));
    };
    if (auto error = platform::create_folders(*folder))
        return failed(error);
    // Through a temporary file and a rename, like the records: a crash part way must not leave a
    // torn path that could still read as an absolute folder.
    // The temporary name is the writer's own: builds of the same title into different folders
    // may finish together.
    const fs::path target = *folder / installation_entries::remembered_location;
    if (auto written = replace_file_contents(target, path_text(installation_folder)))
        return failed(written);
    return {};
}

} // namespace ormolt
