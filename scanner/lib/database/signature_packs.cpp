// Reading signature packs and merging them with the built-in records.
#include "lib/database/signature_packs.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

#include "lib/database/records.h"
#include "lib/database/text_join.h"

using fenxi_text::join;

namespace {

namespace fs = std::filesystem;

std::string path_text(const fs::path &path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// The whole file, or nothing with the error added. `budget` is what the pack set may still read.
bool read_pack(const FenxiPackFile &pack, std::uintmax_t &budget, std::string &text,
               std::vector<std::string> &errors) {
    std::error_code error;
    const fs::file_status status = fs::status(pack.path, error);
    if (error || !fs::is_regular_file(status)) {
        errors.push_back(
            join(pack.shown, ": ", error ? error.message() : std::string("not a regular file")));
        return false;
    }
    const std::uintmax_t size = fs::file_size(pack.path, error);
    if (error) {
        errors.push_back(join(pack.shown, ": ", error.message()));
        return false;
    }
    if (size > kFenxiMaxPackBytes) {
        errors.push_back(join(pack.shown, ": larger than ", kFenxiMaxPackBytes,
                              " bytes; no records file is that large"));
        return false;
    }
    if (size > budget) {
        errors.push_back(
            join(pack.shown, ": the packs add up to more than ", kFenxiMaxPackTotal, " bytes"));
        return false;
    }
    std::ifstream in(pack.path, std::ios::binary);
    // The file may have grown since its size was taken: never read more than was allowed.
    text.resize(static_cast<std::size_t>(size) + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad() || (!in && !in.eof())) {
        errors.push_back(join(pack.shown, ": cannot be read"));
        return false;
    }
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > size) {
        errors.push_back(join(pack.shown, ": changed while it was read"));
        return false;
    }
    budget -= text.size();
    return true;
}

} // namespace

std::vector<FenxiPackFile> Fenxi_ListSignaturePacks(const fs::path &folder,
                                                    const std::string &shown_prefix,
                                                    std::vector<std::string> &errors) {
    std::vector<FenxiPackFile> packs;
    // The folder itself is shown as its files' prefix without the separator.
    std::string shown_folder = shown_prefix.empty() ? path_text(folder) : shown_prefix;
    if (shown_folder.size() > 1 && (shown_folder.back() == '/' || shown_folder.back() == '\\'))
        shown_folder.pop_back();
    std::error_code error;
    const fs::file_status status = fs::status(folder, error);
    if (status.type() == fs::file_type::not_found)
        return packs;
    if (error || !fs::is_directory(status)) {
        errors.push_back(
            join(shown_folder, ": ", error ? error.message() : std::string("not a folder")));
        return packs;
    }
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        if (it->path().extension() != ".records")
            continue;
        if (packs.size() == kFenxiMaxPackFiles) {
            errors.push_back(
                join(shown_folder, ": more than ", kFenxiMaxPackFiles, " records files"));
            return {};
        }
        packs.push_back({it->path(), shown_prefix + path_text(it->path().filename())});
    }
    if (error) {
        errors.push_back(join(shown_folder, ": ", error.message()));
        return {};
    }
    // Name order, byte by byte, whatever order the system lists them in.
    std::sort(packs.begin(), packs.end(),
              [](const FenxiPackFile &a, const FenxiPackFile &b) { return a.shown < b.shown; });
    return packs;
}

FenxiSignaturePacks Fenxi_LoadSignaturePacks(const std::vector<FenxiPackFile> &packs,
                                             const FenxDatabase &catalogue,
                                             const std::vector<FenxiRecordedRevision> &builtin) {
    FenxiSignaturePacks result;
    if (packs.size() > kFenxiMaxPackFiles) {
        result.errors.push_back(join("more than ", kFenxiMaxPackFiles, " records files"));
        return result;
    }
    // The built-in records first: a pack that repeats one of them is named at its own line.
    std::vector<FenxiRecordedRevision> revisions = builtin;
    std::size_t errors_not_kept = 0;
    std::uintmax_t budget = kFenxiMaxPackTotal;
    for (const FenxiPackFile &pack : packs) {
        std::string text;
        if (!read_pack(pack, budget, text, result.errors))
            continue;
        result.files.push_back(pack.shown);
        FenxiRecordsRead read = Fenxi_ReadRecords(text, pack.shown, catalogue);
        std::vector<FenxiPackRevision> &held = result.revisions.emplace_back();
        for (const FenxiRecordedRevision &revision : read.revisions)
            held.push_back({revision.group, revision.entry, revision.build});
        std::move(read.errors.begin(), read.errors.end(), std::back_inserter(result.errors));
        errors_not_kept += read.errors_not_kept;
        if (revisions.size() + read.revisions.size() > builtin.size() + kFenxiMaxPackRevisions) {
            result.errors.push_back(join(pack.shown, ": the packs hold more than ",
                                         kFenxiMaxPackRevisions, " revisions"));
            break;
        }
        std::move(read.revisions.begin(), read.revisions.end(), std::back_inserter(revisions));
    }
    std::vector<std::string> set_errors = Fenxi_CheckRecordSet(revisions, catalogue);
    std::move(set_errors.begin(), set_errors.end(), std::back_inserter(result.errors));
    if (errors_not_kept != 0)
        result.errors.push_back(join("and ", errors_not_kept, " more problems"));
    if (!result.errors.empty() || result.files.empty())
        return result;

    // The built-in records come sorted, so a stable sort by build only places the packs'
    // revisions; the database stores exactly what a build with these records compiled in would.
    auto database = std::make_unique<FenxiRecordedDatabase>(catalogue, std::move(revisions));
    if (!database->problems().empty()) {
        result.errors = database->problems();
        return result;
    }
    result.database = std::move(database);
    return result;
}

FenxiSignaturePacks Fenxi_LoadSignaturePacks(const std::vector<FenxiPackFile> &packs) {
    static const std::vector<FenxiRecordedRevision> builtin = Fenxi_BuiltinRecords();
    return Fenxi_LoadSignaturePacks(packs, Fenxi_CatalogueDatabase(), builtin);
}
