// The information floor of fendrel-author, measured: records are authored without a floor from
// the functions of some libraries (each function given a catalogue entry's name by an alias), and
// every record without references is searched in unrelated code. The table says, for each amount
// of information (Lovp pairs), how many records there were and how many matched somewhere in the
// unrelated code: code that is not the function they name, as a game's own code would be.
//
//   author_floor_bench LIBRARY... -- UNRELATED...   (unrelated: objects, archives, PE images, XBEs)
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "author/author.h"
#include "author/code_regions.h"
#include "author/input.h"
#include "lib/database/recorded_database.h"
#include "lib/fendrel.h"

using namespace fendrel_author;

namespace {

// Whether the record's Lovp pairs match anywhere in `regions`; relocated bytes there may hold
// anything, so they match.
bool matches_anywhere(const FenxiRecordedRevision &revision,
                      const std::vector<CodeRegion> &regions) {
    const std::uint32_t last = revision.pairs.back().Offset;
    for (const CodeRegion &region : regions) {
        if (region.bytes.size() <= last)
            continue;
        for (std::size_t at = 0; at + last < region.bytes.size(); ++at) {
            bool hit = true;
            for (const OOVPAPair &pair : revision.pairs)
                if (!region.unknown(at + pair.Offset) &&
                    region.bytes[at + pair.Offset] != pair.Value) {
                    hit = false;
                    break;
                }
            if (hit)
                return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char **argv) {
    std::vector<std::string> libraries;
    std::vector<std::string> unrelated;
    bool after = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--")
            after = true;
        else
            (after ? unrelated : libraries).push_back(argument);
    }
    if (libraries.empty() || unrelated.empty()) {
        std::fprintf(stderr, "usage: author_floor_bench LIBRARY... -- UNRELATED...\n");
        return 2;
    }
    AuthorInput input;
    for (const std::string &file : libraries)
        if (auto loaded = load_input(file, input); !loaded) {
            std::fprintf(stderr, "%s\n", loaded.error().c_str());
            return 1;
        }
    // Unrelated code as --against reads it: objects, archives, PE images or XBEs.
    OtherCode other_code;
    for (const std::string &file : unrelated)
        if (auto loaded = load_other_code(file, other_code); !loaded) {
            std::fprintf(stderr, "%s\n", loaded.error().c_str());
            return 1;
        }
    std::vector<CodeRegion> other = regions_of_objects(other_code.objects, true);
    for (CodeRegion &region : regions_of_images(other_code.images))
        other.push_back(std::move(region));

    // The functions, in batches that fit the entries of one catalogue group.
    const FenxDatabase &catalogue = Fenxi_CatalogueDatabase();
    const LibraryDatabase &group = catalogue.Groups[0];
    std::vector<std::string> names;
    for (const CoffObject &object : input.objects)
        for (const CoffSymbol &symbol : object.symbols)
            if (symbol.storage_class == kCoffClassExternal && symbol.section > 0 &&
                object.sections[symbol.section - 1].is_code())
                names.push_back(symbol.name);
    std::vector<const char *> entries;
    for (std::uint32_t e = 0; e < group.EntryCount; ++e)
        if (group.Entries[e].RevisionCount == 0 &&
            (group.Entries[e].ScanMarks & FENX_SCAN_MANUAL) == 0)
            entries.push_back(group.Entries[e].Name);

    std::map<std::size_t, std::pair<std::size_t, std::size_t>> table; // information: records, hits
    for (std::size_t first = 0; first < names.size(); first += entries.size()) {
        AuthorOptions options;
        options.library_flag = FENX_LIB_D3D8;
        options.build = 5849;
        options.information_floor = 0;
        for (std::size_t k = 0; k < entries.size() && first + k < names.size(); ++k)
            options.aliases[names[first + k]] = AliasTarget{entries[k], 0};
        const auto result = author_records(input, options, catalogue, {});
        if (!result) {
            std::fprintf(stderr, "%s\n", result.error().c_str());
            return 1;
        }
        for (const FenxiRecordedRevision &revision : result->revisions) {
            if (revision.xref_count != 0 || revision.pairs.empty())
                continue;
            auto &row = table[revision.pairs.size()];
            ++row.first;
            row.second += matches_anywhere(revision, other);
        }
    }
    std::printf("information  records  matching unrelated code\n");
    std::size_t below = 0, below_hits = 0;
    for (const auto &[information, row] : table) {
        std::printf("%11zu  %7zu  %7zu (%5.1f%%)   at or below: %zu of %zu\n", information,
                    row.first, row.second, 100.0 * row.second / row.first, below_hits += row.second,
                    below += row.first);
    }
    return 0;
}
