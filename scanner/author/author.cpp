// Authoring signature records from COFF objects.
#include "author/author.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>

#include "lib/database/catalogue.h"
#include "lib/database/database_tools.h"
#include "lib/database/recorded_database.h"
#include "lib/database/text_join.h"
#include "lib/fendrel.h"
#include "lib/scan/context.h"

using fenxi_text::join;

namespace fendrel_author {
namespace {

// Longest stretch a record can describe: offsets are 16-bit.
constexpr std::size_t kMaxOffset = 0xFFFF;
// First bytes of a function always taken, before the rest are spread out.
constexpr std::size_t kLeadingPairs = 8;

// One code section of the input, with the bytes its relocations patch marked as unknown.
struct CodeRegion {
    const CoffObject *object;
    const CoffSection *section;
    std::vector<bool> covered;
};

struct Function {
    const CoffObject *object;
    std::size_t region;
    const CoffSymbol *symbol;
    std::uint32_t start;
    std::uint32_t end;
};

struct EntryPlace {
    std::uint32_t group;
    std::uint32_t entry;
    const OOVPATable *table;
};

std::optional<EntryPlace> find_entry(const FenxDatabase &catalogue, std::string_view name,
                                     std::uint32_t flags) {
    for (std::uint32_t g = 0; g < catalogue.GroupCount; ++g) {
        const LibraryDatabase &group = catalogue.Groups[g];
        if ((group.LibraryFlags & flags) == 0)
            continue;
        for (std::uint32_t e = 0; e < group.EntryCount; ++e)
            if (group.Entries[e].Name != nullptr && name == group.Entries[e].Name)
                return EntryPlace{g, e, &group.Entries[e]};
    }
    return std::nullopt;
}

// The catalogue name (or kernel ordinal) a decorated name stands for.
struct Mapping {
    std::string entry;
    std::uint32_t ordinal = 0;
};

std::optional<Mapping> map_name(const std::string &decorated,
                                const std::map<std::string, AliasTarget> &aliases) {
    auto alias = aliases.find(decorated);
    const std::optional<std::string> plain = plain_name(decorated);
    if (alias == aliases.end() && plain)
        alias = aliases.find(*plain);
    if (alias != aliases.end())
        return Mapping{alias->second.entry, alias->second.ordinal};
    if (plain)
        return Mapping{*plain, 0};
    return std::nullopt;
}

// Symbol slots that a fresh scan context marks to be learned from references.
std::set<std::uint32_t> derived_at_start() {
    std::uint8_t data[16] = {};
    FenxLibraryFilter library{4627, 0, FENX_LIB_D3D8, {'D', '3', 'D', '8', 0, 0, 0, 0}};
    FenxSectionFilter section{{'.', 't', 'e', 'x', 't', 0, 0, 0}, 0x10000, sizeof data, data};
    FenxLibraryHeader libraries{1, &library};
    FenxSectionHeader sections{1, &section};
    FenxContext *context = nullptr;
    std::set<std::uint32_t> slots;
    const FenxMessageCallback quiet = [](std::uint32_t, const char *) {};
    Fenx_SetMessageCallback(quiet);
    if (FenxContext_Create(
            &context,
            [](const char *, std::uint32_t, std::uint32_t, const char *, std::uint32_t,
               std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, const OOVPAParam *) {},
            &libraries, &sections, 0)) {
        for (std::uint32_t index = 0; index < FENX_XREF_SLOT_COUNT; ++index)
            if (context->XRefs[index] == XRefDerive)
                slots.insert(index);
        FenxContext_Release(context);
    }
    Fenx_SetMessageCallback(nullptr);
    return slots;
}

std::vector<std::string> *g_messages = nullptr;

std::vector<std::string> self_check(const FenxDatabase &database) {
    std::vector<std::string> messages;
    g_messages = &messages;
    Fenx_SetMessageCallback([](std::uint32_t, const char *text) { g_messages->push_back(text); });
    Fenxi_TestDatabase(database);
    Fenx_SetMessageCallback(nullptr);
    g_messages = nullptr;
    return messages;
}

struct Pick {
    std::vector<OOVPAPair> references;
    std::vector<std::uint32_t> lovp; // offsets, ascending
};

class Author {
  public:
    Author(const AuthorInput &input, const AuthorOptions &options, const FenxDatabase &catalogue,
           const std::vector<FenxiRecordedRevision> &existing)
        : input_(input), options_(options), catalogue_(catalogue), existing_(existing) {}

    std::expected<AuthorResult, std::string> run() {
        for (const auto &[name, alias] : options_.aliases)
            if (!alias.entry.empty() && !find_entry(catalogue_, alias.entry, FENX_LIB_ALL))
                return std::unexpected(
                    join("the alias of ", name, " names no catalogue entry: ", alias.entry));
        collect_code();
        collect_functions();
        map_functions();
        for (std::size_t k = 0; k < chosen_.size(); ++k)
            author(chosen_[k].first, chosen_[k].second);
        drop_references_to_left_out();
        Fenxi_SortRecords(result_.revisions);
        check_against_database();
        return std::move(result_);
    }

  private:
    void collect_code() {
        for (const CoffObject &object : input_.objects)
            for (const CoffSection &section : object.sections) {
                if (!section.is_code() || section.bytes.empty())
                    continue;
                CodeRegion region{&object, &section, std::vector<bool>(section.bytes.size())};
                for (const CoffRelocation &relocation : section.relocations)
                    for (std::uint32_t b = 0; b < coff_relocation_width(relocation.type); ++b)
                        region.covered[relocation.offset + b] = true;
                regions_.push_back(std::move(region));
            }
    }

    void collect_functions() {
        for (std::size_t r = 0; r < regions_.size(); ++r) {
            const CoffObject &object = *regions_[r].object;
            const CoffSection &section = *regions_[r].section;
            const auto section_number =
                static_cast<std::int16_t>(&section - object.sections.data() + 1);
            for (const CoffSymbol &symbol : object.symbols) {
                if (symbol.storage_class != kCoffClassExternal ||
                    symbol.section != section_number || symbol.value >= section.bytes.size())
                    continue;
                // The function runs to the next symbol of its section, or to the section's end.
                std::uint32_t end = static_cast<std::uint32_t>(section.bytes.size());
                for (const CoffSymbol &other : object.symbols)
                    if (other.section == section_number && other.value > symbol.value &&
                        other.value < end && other.storage_class != kCoffClassFile &&
                        other.name != section.name)
                        end = other.value;
                functions_.push_back(Function{&object, r, &symbol, symbol.value, end});
            }
        }
        result_.found = functions_.size();
    }

    void map_functions() {
        std::map<std::pair<std::uint32_t, std::uint32_t>, std::string> taken;
        for (std::size_t f = 0; f < functions_.size(); ++f) {
            const Function &function = functions_[f];
            const std::string &decorated = function.symbol->name;
            const std::optional<Mapping> mapping = map_name(decorated, options_.aliases);
            std::optional<EntryPlace> place;
            if (mapping && !mapping->entry.empty())
                place = find_entry(catalogue_, mapping->entry, options_.library_flag);
            if (!place) {
                const std::optional<EntryPlace> elsewhere =
                    mapping && !mapping->entry.empty()
                        ? find_entry(catalogue_, mapping->entry, FENX_LIB_ALL)
                        : std::nullopt;
                if (elsewhere)
                    result_.other_library.push_back(join(decorated, ": ", elsewhere->table->Name,
                                                         " of group ",
                                                         Fenxi_RecordGroupKey(elsewhere->group)));
                else
                    result_.unmapped.push_back(decorated);
                continue;
            }
            ++result_.mapped;
            const auto key = std::pair{place->group, place->entry};
            if (const auto it = taken.find(key); it != taken.end()) {
                result_.notes.push_back(join(decorated, " (", function.object->origin, ") maps to ",
                                             place->table->Name, " too; the first function, ",
                                             it->second, ", is the one authored"));
                continue;
            }
            taken.emplace(key, decorated);
            mapped_indices_.insert(place->table->SymbolIndex);
            chosen_.push_back({f, *place});
        }
    }

    // Whether a reference to this symbol index can ever be known when the record is matched.
    bool resolvable(std::uint32_t index) {
        if (index >= 1 && index <= kFenxiKernelOrdinalLast)
            return true;
        if (derived_.empty())
            derived_ = derived_at_start();
        if (mapped_indices_.contains(index) || derived_.contains(index))
            return true;
        for (const FenxiRecordedRevision &revision : existing_)
            if (revision.group < catalogue_.GroupCount &&
                revision.entry < catalogue_.Groups[revision.group].EntryCount &&
                catalogue_.Groups[revision.group].Entries[revision.entry].SymbolIndex == index)
                return true;
        return false;
    }

    // The symbol index a relocation refers to, or 0.
    std::uint32_t reference_index(const CoffObject &object, const CoffRelocation &relocation) {
        if (relocation.type != kCoffRelocDir32 && relocation.type != kCoffRelocRel32)
            return 0;
        const CoffSymbol &target = object.symbols[relocation.symbol];
        const std::optional<Mapping> mapping = map_name(target.name, options_.aliases);
        if (!mapping)
            return 0;
        if (mapping->entry.empty())
            return mapping->ordinal;
        if (const std::optional<EntryPlace> place =
                find_entry(catalogue_, mapping->entry, FENX_LIB_ALL))
            return place->table->SymbolIndex;
        // Variables often have a canonical name but no entry of their own.
        return Fenxi_SymbolIndexByName(mapping->entry.c_str());
    }

    static bool is_padding(const std::vector<std::uint8_t> &bytes, std::size_t at) {
        const std::uint8_t value = bytes[at];
        if (value != 0x90 && value != 0xCC && value != 0x00)
            return false;
        const std::size_t shortest = value == 0x00 ? 4 : 2;
        std::size_t first = at;
        while (first > 0 && bytes[first - 1] == value)
            --first;
        std::size_t last = at;
        while (last + 1 < bytes.size() && bytes[last + 1] == value)
            ++last;
        return last - first + 1 >= shortest;
    }

    // Positions of `pick`'s Lovp pairs (references unknown) across all input code.
    std::vector<std::pair<std::size_t, std::uint32_t>> hits(const Function &function,
                                                            const Pick &pick) const {
        std::vector<std::pair<std::size_t, std::uint32_t>> found;
        const std::vector<std::uint8_t> &own = regions_[function.region].section->bytes;
        std::uint32_t reach = pick.lovp.back() + 1;
        for (const OOVPAPair &reference : pick.references)
            reach = std::max<std::uint32_t>(reach, reference.Offset + 4u);
        for (std::size_t r = 0; r < regions_.size(); ++r) {
            const std::vector<std::uint8_t> &bytes = regions_[r].section->bytes;
            const std::vector<bool> &covered = regions_[r].covered;
            if (bytes.size() <= pick.lovp.back())
                continue;
            const std::size_t window = bytes.size() - pick.lovp.back();
            for (std::size_t p = 0; p < window && p + reach <= bytes.size(); ++p) {
                bool hit = true;
                for (std::uint32_t offset : pick.lovp) {
                    // A patched byte there becomes an address in the image: it may match.
                    if (!covered[p + offset] && bytes[p + offset] != own[function.start + offset]) {
                        hit = false;
                        break;
                    }
                }
                if (hit)
                    found.emplace_back(r, static_cast<std::uint32_t>(p));
            }
        }
        return found;
    }

    void author(std::size_t function_index, const EntryPlace &place) {
        const Function &function = functions_[function_index];
        const CodeRegion &region = regions_[function.region];
        const std::vector<std::uint8_t> &bytes = region.section->bytes;
        const std::uint32_t length =
            std::min<std::uint32_t>(function.end - function.start, kMaxOffset + 1);
        const std::string label = join(place.table->Name, ": ", function.symbol->name, " (",
                                       function.object->origin, ")");

        Pick pick;
        for (const CoffRelocation &relocation : region.section->relocations) {
            if (relocation.offset < function.start ||
                relocation.offset + 4 > function.start + length)
                continue;
            const std::uint32_t index = reference_index(*function.object, relocation);
            if (index == 0 || index == place.table->SymbolIndex)
                continue;
            if (!resolvable(index)) {
                result_.notes.push_back(join(label, ": the reference at ",
                                             relocation.offset - function.start, " to ",
                                             function.object->symbols[relocation.symbol].name,
                                             " is left out: nothing finds that symbol"));
                continue;
            }
            pick.references.push_back(
                {static_cast<std::uint16_t>(relocation.offset - function.start),
                 static_cast<std::uint16_t>(index)});
        }
        std::sort(pick.references.begin(), pick.references.end(),
                  [](const OOVPAPair &a, const OOVPAPair &b) { return a.Offset < b.Offset; });
        if (pick.references.size() > kFenxiMaxRecordReferences)
            pick.references.resize(kFenxiMaxRecordReferences);

        std::vector<std::uint32_t> fixed;
        for (std::uint32_t offset = 0; offset < length; ++offset)
            if (!region.covered[function.start + offset])
                fixed.push_back(offset);
        std::vector<std::uint32_t> spread;
        for (std::uint32_t offset : fixed) {
            if (is_padding(bytes, function.start + offset))
                continue;
            if (pick.lovp.size() < kLeadingPairs && pick.lovp.size() < options_.pairs)
                pick.lovp.push_back(offset);
            else
                spread.push_back(offset);
        }
        const std::size_t budget =
            options_.pairs > pick.lovp.size() ? options_.pairs - pick.lovp.size() : 0;
        if (spread.size() <= budget) {
            pick.lovp.insert(pick.lovp.end(), spread.begin(), spread.end());
        } else if (budget == 1) {
            pick.lovp.push_back(spread.back());
        } else if (budget > 1) {
            for (std::size_t i = 0; i < budget; ++i)
                pick.lovp.push_back(spread[i * (spread.size() - 1) / (budget - 1)]);
        }
        pick.lovp.erase(std::unique(pick.lovp.begin(), pick.lovp.end()), pick.lovp.end());
        if (pick.lovp.empty()) {
            result_.ambiguous.push_back(join(label, ": no fixed byte"));
            return;
        }

        // Unique among all input code, or made unique by bytes where the other hits differ.
        const std::size_t limit = kFenxiMaxRecordPairs - pick.references.size();
        for (;;) {
            const auto found = hits(function, pick);
            std::optional<std::pair<std::size_t, std::uint32_t>> other;
            for (const auto &hit : found)
                if (hit != std::pair{function.region, function.start})
                    other = hit;
            if (!other)
                break;
            std::optional<std::uint32_t> distinguishing;
            if (pick.lovp.size() < limit) {
                const CodeRegion &there = regions_[other->first];
                for (std::uint32_t offset : fixed) {
                    if (std::binary_search(pick.lovp.begin(), pick.lovp.end(), offset))
                        continue;
                    const std::size_t at = other->second + offset;
                    if (at >= there.section->bytes.size() ||
                        (!there.covered[at] &&
                         there.section->bytes[at] != bytes[function.start + offset])) {
                        distinguishing = offset;
                        break;
                    }
                }
            }
            if (!distinguishing) {
                result_.ambiguous.push_back(join(
                    label, ": the same bytes are found in ", regions_[other->first].object->origin,
                    " section ", regions_[other->first].section->name, " at ", other->second));
                return;
            }
            pick.lovp.insert(std::upper_bound(pick.lovp.begin(), pick.lovp.end(), *distinguishing),
                             *distinguishing);
        }

        FenxiRecordedRevision revision;
        revision.group = place.group;
        revision.entry = place.entry;
        revision.build = options_.build;
        revision.xref_count = static_cast<std::uint8_t>(pick.references.size());
        revision.pairs = pick.references;
        for (std::uint32_t offset : pick.lovp)
            revision.pairs.push_back(
                {static_cast<std::uint16_t>(offset), bytes[function.start + offset]});
        revision.comment = join(function.symbol->name, " in ", function.object->origin, ", ",
                                function.end - function.start, " bytes");
        revision.source = label;
        result_.revisions.push_back(std::move(revision));
        result_.authored.push_back(join(label, ", ", function.end - function.start, " bytes"));
    }

    // A reference to a function that was mapped but left out (ambiguous) would keep its caller
    // from ever matching; the field stays an unknown stretch instead.
    void drop_references_to_left_out() {
        std::set<std::uint32_t> authored;
        for (const FenxiRecordedRevision &revision : result_.revisions)
            authored.insert(catalogue_.Groups[revision.group].Entries[revision.entry].SymbolIndex);
        mapped_indices_ = authored;
        for (FenxiRecordedRevision &revision : result_.revisions) {
            for (std::size_t k = 0; k < revision.xref_count;) {
                if (resolvable(revision.pairs[k].Value)) {
                    ++k;
                    continue;
                }
                result_.notes.push_back(join(revision.source, ": the reference at ",
                                             revision.pairs[k].Offset, " to ",
                                             Fenx_SymbolName(revision.pairs[k].Value),
                                             " is left out: that function was left out"));
                revision.pairs.erase(revision.pairs.begin() + static_cast<std::ptrdiff_t>(k));
                --revision.xref_count;
            }
        }
    }

    void check_against_database() {
        std::vector<FenxiRecordedRevision> today = existing_;
        const FenxiRecordedDatabase before(catalogue_, today);
        std::vector<FenxiRecordedRevision> combined = existing_;
        combined.insert(combined.end(), result_.revisions.begin(), result_.revisions.end());
        const FenxiRecordedDatabase after(catalogue_, combined);
        for (const std::string &problem : after.problems())
            result_.conflicts.push_back(problem);
        std::multiset<std::string> known;
        for (std::string &message : self_check(before.database()))
            known.insert(std::move(message));
        for (std::string &message : self_check(after.database())) {
            if (const auto it = known.find(message); it != known.end())
                known.erase(it);
            else
                result_.conflicts.push_back(std::move(message));
        }
    }

    const AuthorInput &input_;
    const AuthorOptions &options_;
    const FenxDatabase &catalogue_;
    const std::vector<FenxiRecordedRevision> &existing_;
    std::vector<CodeRegion> regions_;
    std::vector<Function> functions_;
    std::vector<std::pair<std::size_t, EntryPlace>> chosen_;
    std::set<std::uint32_t> mapped_indices_;
    std::set<std::uint32_t> derived_;
    AuthorResult result_;
};

std::expected<std::vector<std::uint8_t>, std::string> read_file(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::unexpected(join(file.generic_string(), ": cannot be opened"));
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (in.bad())
        return std::unexpected(join(file.generic_string(), ": cannot be read"));
    return bytes;
}

} // namespace

std::expected<void, std::string> load_input(const std::filesystem::path &file, AuthorInput &input) {
    auto bytes = read_file(file);
    if (!bytes)
        return std::unexpected(bytes.error());
    const std::string name = file.filename().generic_string();
    if (!is_archive(*bytes)) {
        auto object = read_coff_object(*bytes, name);
        if (!object)
            return std::unexpected(object.error());
        input.objects.push_back(std::move(*object));
        return {};
    }
    auto members = read_archive(*bytes, name);
    if (!members)
        return std::unexpected(members.error());
    for (const ArchiveMember &member : *members) {
        const std::string origin = join(name, "(", member.name, ")");
        if (is_import_object(member.bytes)) {
            input.skipped.push_back(origin);
            continue;
        }
        auto object = read_coff_object(member.bytes, origin);
        if (!object)
            return std::unexpected(object.error());
        input.objects.push_back(std::move(*object));
    }
    return {};
}

std::expected<AuthorResult, std::string>
author_records(const AuthorInput &input, const AuthorOptions &options,
               const FenxDatabase &catalogue, const std::vector<FenxiRecordedRevision> &existing) {
    Author author(input, options, catalogue, existing);
    return author.run();
}

} // namespace fendrel_author
