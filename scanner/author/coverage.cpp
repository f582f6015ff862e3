// The coverage of a game: its library list, the catalogue against it, and one real scan.
#include "author/coverage.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <tuple>

#include "lib/database/database_tools.h"
#include "lib/derive/manual_handlers.h"
#include "lib/fendrel.h"
#include "lib/image/xbe_layout.h"
#include "lib/scan/context.h"

namespace fendrel_author {

namespace {

// A library name as the image stores it, up to 8 bytes, less the NULs that pad it; anything but
// printable ASCII (the image is outside input) is shown as '?', so a report never carries
// control bytes to a terminal.
std::string name8(const char *name) {
    std::string text(name, strnlen(name, 8));
    for (char &c : text)
        if (c < 0x20 || c > 0x7E)
            c = '?';
    return text;
}

// What the scan reports, by phase. The symbol callback has no user data, so the scan in progress
// is reached through this pointer; a coverage run is single-threaded.
struct ScanRecord {
    bool in_library_scans = false;
    std::set<std::tuple<std::uint32_t, std::string>> found; // library flag, entry name
    std::vector<FoundSymbol> derived;
};
ScanRecord *current_scan = nullptr;

void record_symbol(const char *library_name, std::uint32_t library_flag, std::uint32_t,
                   const char *symbol_name, std::uint32_t address, std::uint32_t, std::uint32_t,
                   std::uint32_t, std::uint32_t, const OOVPAParam *) {
    if (current_scan == nullptr || symbol_name == nullptr)
        return;
    current_scan->found.emplace(library_flag, symbol_name);
    if (!current_scan->in_library_scans)
        current_scan->derived.push_back({name8(library_name), symbol_name, address});
}

bool applies(const OOVPARevision &revision, std::uint16_t build) {
    return revision.Oovpa != nullptr && revision.Oovpa->Count != 0 && revision.Version <= build;
}

// Placeholder entries carry only empty records: the derivations fill them.
bool is_placeholder(const OOVPATable &entry) {
    if (entry.RevisionCount == 0)
        return false;
    for (std::uint32_t r = 0; r < entry.RevisionCount; ++r)
        if (entry.Revisions[r].Oovpa != nullptr && entry.Revisions[r].Oovpa->Count != 0)
            return false;
    return true;
}

} // namespace

CoverageResult game_coverage(const std::uint8_t *image, std::size_t size,
                             const FenxDatabase &database) {
    CoverageResult result;
    GameCoverage &coverage = result.coverage;
    coverage.database_version = Fenxi_DatabaseVersion(database);
    if (size < 4 || Fenxi_ReadU32(image) != 0x48454258) {
        result.error = "invalid xbe header";
        return result;
    }
    if (const char *problem = Fenx_CheckXbe(image, size, true)) {
        result.error = std::string("invalid xbe image: ") + problem;
        return result;
    }

    // The table as stored, for the libraries the database does not know.
    const FenxiXbeImage xbe(image, size);
    FenxiXbeHeader header{};
    if (xbe.read_header(&header) == nullptr && header.LibraryTableAddress != 0)
        for (std::uint32_t k = 0; k < header.LibraryCount; ++k) {
            FenxiXbeLibrary library{};
            if (xbe.read_library(header, k, &library) != nullptr)
                break;
            const std::string name = name8(library.Name);
            if (Fenx_LibraryFlag(name.c_str()) == 0)
                coverage.unknown.push_back({name, library.BuildVersion});
        }

    std::vector<FenxLibraryFilter> libraries(Fenx_BuildLibraryHeader(image, size, nullptr) + 1);
    FenxLibraryHeader library_header{static_cast<std::uint32_t>(libraries.size() - 1),
                                     libraries.data()};
    Fenx_BuildLibraryHeader(image, size, &library_header);
    std::vector<FenxSectionFilter> sections(Fenx_BuildSectionHeader(image, size, nullptr, true) +
                                            1);
    FenxSectionHeader section_header{static_cast<std::uint32_t>(sections.size() - 1),
                                     sections.data()};
    Fenx_BuildSectionHeader(image, size, &section_header, true);

    ScanRecord scan;
    FenxContext *context = nullptr;
    current_scan = &scan;
    if (Fenxi_CreateContext(&context, record_symbol, &library_header, &section_header,
                            Fenx_KernelThunkAddress(image, size), database,
                            Fenxi_BuiltinManualHandlers())) {
        FenxContext_ScanManual(context);
        scan.in_library_scans = true;
        FenxContext_ScanAll(context);
        scan.in_library_scans = false;
        FenxContext_ReportDerived(context);
        FenxContext_Release(context);
    }
    current_scan = nullptr;
    coverage.derived = std::move(scan.derived);

    for (std::uint32_t k = 0; k < library_header.Count; ++k) {
        const FenxLibraryFilter &filter = libraries[k];
        LibraryCoverage library;
        library.name = name8(filter.Name);
        library.build = filter.BuildVersion;
        library.flag = filter.Flag;
        for (std::uint32_t g = 0; g < database.GroupCount; ++g) {
            const LibraryDatabase &group = database.Groups[g];
            if ((group.LibraryFlags & filter.Flag) == 0)
                continue;
            for (std::uint32_t e = 0; e < group.EntryCount; ++e) {
                const OOVPATable &entry = group.Entries[e];
                const std::string name = entry.Name != nullptr ? entry.Name : "";
                ++library.entries;
                const bool found = scan.found.contains({filter.Flag, name});
                if (is_placeholder(entry)) {
                    ++library.placeholders;
                    library.placeholders_found += found ? 1 : 0;
                    continue;
                }
                const bool has = std::any_of(entry.Revisions, entry.Revisions + entry.RevisionCount,
                                             [&](const OOVPARevision &revision) {
                                                 return applies(revision, filter.BuildVersion);
                                             });
                (!has    ? library.without_revision
                 : found ? library.found
                         : library.not_found)
                    .push_back(name);
            }
        }
        for (auto *names : {&library.found, &library.not_found, &library.without_revision})
            std::sort(names->begin(), names->end());
        coverage.libraries.push_back(std::move(library));
    }
    return result;
}

void add_pack_coverage(GameCoverage &coverage, const FenxDatabase &database,
                       const FenxiSignaturePacks &packs) {
    for (std::size_t k = 0; k < packs.files.size() && k < packs.revisions.size(); ++k) {
        PackCoverage pack{packs.files[k], packs.revisions[k].size(), 0, 0};
        for (const FenxiPackRevision &revision : packs.revisions[k]) {
            if (revision.group >= database.GroupCount)
                continue;
            bool applying = false;
            bool later = false;
            for (const LibraryCoverage &library : coverage.libraries) {
                if ((database.Groups[revision.group].LibraryFlags & library.flag) == 0)
                    continue;
                applying = applying || revision.build <= library.build;
                later = later || revision.build > library.build;
            }
            pack.applying += applying ? 1 : 0;
            pack.later += !applying && later ? 1 : 0;
        }
        coverage.packs.push_back(std::move(pack));
    }
}

} // namespace fendrel_author
