// Authoring signature records: the run over every input route, and the names of functions and
// fields.
#include <algorithm>
#include <optional>
#include <set>

#include "author/against.h"
#include "author/authoring.h"
#include "author/padding.h"
#include "lib/database/catalogue.h"
#include "lib/database/database_tools.h"
#include "lib/database/recorded_database.h"
#include "lib/database/text_join.h"
#include "lib/fendrel.h"

using fenxi_text::join;

namespace fendrel_author::authoring {
namespace {

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

// Entries whose name ends with `suffix`, in the groups of `flags`.
std::vector<EntryPlace> entries_ending(const FenxDatabase &catalogue, std::string_view suffix,
                                       std::uint32_t flags) {
    std::vector<EntryPlace> places;
    for (std::uint32_t g = 0; g < catalogue.GroupCount; ++g) {
        const LibraryDatabase &group = catalogue.Groups[g];
        if ((group.LibraryFlags & flags) == 0)
            continue;
        for (std::uint32_t e = 0; e < group.EntryCount; ++e)
            if (group.Entries[e].Name != nullptr &&
                std::string_view(group.Entries[e].Name).ends_with(suffix))
                places.push_back(EntryPlace{g, e, &group.Entries[e]});
    }
    return places;
}

bool is_placeholder(const OOVPATable &entry) {
    return entry.RevisionCount != 0;
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

} // namespace

std::expected<AuthorResult, std::string> Author::run() {
    for (const auto &[name, alias] : options_.aliases)
        if (!alias.entry.empty() && !find_entry(catalogue_, alias.entry, FENX_LIB_ALL))
            return std::unexpected(
                join("the alias of ", name, " names no catalogue entry: ", alias.entry));
    regions_ = regions_of_objects(input_.objects, false);
    for (const LinkedProgram &program : input_.programs)
        for (CodeRegion &region : regions_of_program(program))
            regions_.push_back(std::move(region));
    library_regions_ = regions_.size();
    for (CodeRegion &region : regions_of_objects(other_.objects, true))
        regions_.push_back(std::move(region));
    for (CodeRegion &region : regions_of_images(other_.images))
        regions_.push_back(std::move(region));
    collect_functions();
    map_functions();
    // Records refer only to symbols something finds. A function left out can take away a
    // reference another record relied on, so authoring repeats until the set of authored
    // entries no longer shrinks.
    for (const auto &[function, place] : chosen_)
        known_.insert(place.table->SymbolIndex);
    for (;;) {
        pass_ = AuthorResult{};
        for (const auto &[function, place] : chosen_)
            author(function, place);
        std::set<std::uint32_t> authored;
        for (const FenxiRecordedRevision &revision : pass_.revisions) {
            const std::uint32_t index =
                catalogue_.Groups[revision.group].Entries[revision.entry].SymbolIndex;
            if (known_.contains(index))
                authored.insert(index);
        }
        // The set only shrinks, so the passes end.
        if (authored == known_)
            break;
        known_ = std::move(authored);
    }
    merge_pass();
    Fenxi_SortRecords(result_.revisions);
    check_against_database();
    return std::move(result_);
}

void Author::collect_functions() {
    for (std::size_t r = 0; r < library_regions_; ++r) {
        const CodeRegion &region = regions_[r];
        const CoffObject &object = *region.object;
        const auto section_number =
            static_cast<std::int32_t>(region.section - object.sections.data() + 1);
        for (const CoffSymbol &symbol : object.symbols) {
            if (symbol.storage_class != kCoffClassExternal || symbol.section != section_number ||
                symbol.value >= region.bytes.size())
                continue;
            // The function runs to the next symbol of its section, or to the section's end.
            auto end = static_cast<std::uint32_t>(region.bytes.size());
            for (const CoffSymbol &other : object.symbols)
                if (other.section == section_number && other.value > symbol.value &&
                    other.value < end && other.storage_class != kCoffClassFile &&
                    other.name != region.section->name)
                    end = other.value;
            const std::uint32_t own_end =
                end_before_padding(region.bytes, region.covered, symbol.value, end);
            functions_.push_back(Function{r, &symbol, symbol.value, own_end, end, {}});
        }
    }
    result_.found = functions_.size();
}

Author::Mapping Author::map_name(const std::string &decorated) const {
    Mapping mapping;
    auto alias = options_.aliases.find(decorated);
    const std::optional<std::string> plain = plain_name(decorated);
    if (alias == options_.aliases.end() && plain)
        alias = options_.aliases.find(*plain);
    if (alias != options_.aliases.end()) {
        mapping.ordinal = alias->second.ordinal;
        if (!alias->second.entry.empty()) {
            mapping.tried.push_back(alias->second.entry);
            mapping.place = find_entry(catalogue_, alias->second.entry, options_.library_flag);
            mapping.elsewhere = find_entry(catalogue_, alias->second.entry, FENX_LIB_ALL);
        }
        return mapping;
    }
    // A list of names may use the catalogue's own spelling.
    if ((mapping.place = find_entry(catalogue_, decorated, options_.library_flag)))
        return mapping;
    mapping.elsewhere = find_entry(catalogue_, decorated, FENX_LIB_ALL);
    const NameCandidates candidates = name_candidates(decorated);
    for (const std::string &spelling : candidates.spellings) {
        mapping.tried.push_back(spelling);
        if ((mapping.place = find_entry(catalogue_, spelling, options_.library_flag)))
            return mapping;
        if (!mapping.elsewhere)
            mapping.elsewhere = find_entry(catalogue_, spelling, FENX_LIB_ALL);
    }
    if (!candidates.scoped_suffix.empty()) {
        mapping.tried.push_back("*" + candidates.scoped_suffix);
        const auto ending =
            entries_ending(catalogue_, candidates.scoped_suffix, options_.library_flag);
        if (ending.size() == 1)
            mapping.place = ending.front();
    }
    return mapping;
}

bool Author::same_function(const Function &a, const Function &b) const {
    return a.end - a.start == b.end - b.start &&
           holds_same_code(region_of(a), a.start, a.end, region_of(b), b.start);
}

void Author::map_functions() {
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::size_t> taken;
    std::map<std::string, std::size_t> first_of_name;
    for (std::size_t f = 0; f < functions_.size(); ++f) {
        Function &function = functions_[f];
        const std::string &decorated = function.symbol->name;
        if (const auto it = first_of_name.find(decorated); it != first_of_name.end()) {
            Function &first = functions_[it->second];
            if (same_function(first, function)) {
                first.copies.emplace_back(function.region, function.start);
                continue;
            }
        } else {
            first_of_name.emplace(decorated, f);
        }
        const Mapping mapping = map_name(decorated);
        if (!mapping.place) {
            FunctionResult outcome{
                Outcome::Unmapped, {}, decorated, region_of(function).object->origin, {}, 0};
            if (mapping.elsewhere) {
                outcome.outcome = Outcome::OtherLibrary;
                outcome.entry = mapping.elsewhere->table->Name;
                outcome.detail = Fenxi_RecordGroupKey(mapping.elsewhere->group);
            } else {
                outcome.detail = mapping.tried.empty() ? std::string("no name to try")
                                                       : join("tried ", joined(mapping.tried));
            }
            result_.functions.push_back(std::move(outcome));
            continue;
        }
        ++result_.mapped;
        const EntryPlace &place = *mapping.place;
        const FunctionResult outcome{Outcome::Placeholder,
                                     place.table->Name,
                                     decorated,
                                     region_of(function).object->origin,
                                     {},
                                     0};
        if (is_placeholder(*place.table)) {
            result_.functions.push_back(outcome);
            continue;
        }
        const auto key = std::pair{place.group, place.entry};
        if (const auto it = taken.find(key); it != taken.end()) {
            result_.functions.push_back(outcome);
            result_.functions.back().outcome = Outcome::SecondMapping;
            result_.functions.back().detail = functions_[it->second].symbol->name;
            continue;
        }
        taken.emplace(key, f);
        chosen_.push_back({f, place});
    }
}

std::string Author::joined(const std::vector<std::string> &items) {
    std::string text;
    for (const std::string &item : items)
        text += (text.empty() ? "" : ", ") + item;
    return text;
}

std::uint32_t Author::reference_index(const RelocatedField &field) const {
    if (field.type != kCoffRelocDir32 && field.type != kCoffRelocRel32)
        return 0;
    if (field.index != 0)
        return field.index;
    if (const std::uint32_t index = index_of_name(field.target))
        return index;
    // A program may give its place several names (a table and its first slot).
    for (const std::string &name : field.other_names)
        if (const std::uint32_t index = index_of_name(name))
            return index;
    return 0;
}

std::uint32_t Author::index_of_name(const std::string &target) const {
    auto alias = options_.aliases.find(target);
    const std::optional<std::string> plain = plain_name(target);
    if (alias == options_.aliases.end() && plain)
        alias = options_.aliases.find(*plain);
    if (alias != options_.aliases.end()) {
        if (alias->second.entry.empty())
            return alias->second.ordinal;
        if (const auto place = find_entry(catalogue_, alias->second.entry, FENX_LIB_ALL))
            return place->table->SymbolIndex;
        return 0;
    }
    if (const auto learned = input_.kernel_imports.find(target);
        learned != input_.kernel_imports.end())
        return learned->second;
    // A list of names may use the catalogue's own spelling.
    if (const auto place = find_entry(catalogue_, target, FENX_LIB_ALL))
        return place->table->SymbolIndex;
    const NameCandidates candidates = name_candidates(target);
    for (const std::string &spelling : candidates.spellings) {
        if (const auto place = find_entry(catalogue_, spelling, FENX_LIB_ALL))
            return place->table->SymbolIndex;
        // Variables often have a canonical name but no entry of their own.
        if (const std::uint32_t index = Fenxi_SymbolIndexByName(spelling.c_str()))
            return index;
    }
    if (!candidates.scoped_suffix.empty()) {
        const auto ending = entries_ending(catalogue_, candidates.scoped_suffix, FENX_LIB_ALL);
        if (ending.size() == 1)
            return ending.front().table->SymbolIndex;
    }
    return 0;
}

void Author::merge_pass() {
    const auto append = [](std::vector<std::string> &to, std::vector<std::string> &from) {
        to.insert(to.end(), std::make_move_iterator(from.begin()),
                  std::make_move_iterator(from.end()));
    };
    result_.revisions = std::move(pass_.revisions);
    result_.functions.insert(result_.functions.end(),
                             std::make_move_iterator(pass_.functions.begin()),
                             std::make_move_iterator(pass_.functions.end()));
    append(result_.notes, pass_.notes);
    result_.information_floor = options_.information_floor;
    result_.addend_fields = pass_.addend_fields;
}

void Author::check_against_database() {
    std::vector<FenxiRecordedRevision> today = existing_;
    const FenxiRecordedDatabase before(catalogue_, today);
    std::vector<FenxiRecordedRevision> combined = existing_;
    combined.insert(combined.end(), result_.revisions.begin(), result_.revisions.end());
    const FenxiRecordedDatabase after(catalogue_, combined);
    std::multiset<std::string> known_problems(before.problems().begin(), before.problems().end());
    for (const std::string &problem : after.problems()) {
        if (const auto it = known_problems.find(problem); it != known_problems.end())
            known_problems.erase(it);
        else
            result_.conflicts.push_back(problem);
    }
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

} // namespace fendrel_author::authoring

namespace fendrel_author {

std::expected<AuthorResult, std::string>
author_records(const AuthorInput &input, const AuthorOptions &options,
               const FenxDatabase &catalogue, const std::vector<FenxiRecordedRevision> &existing,
               const OtherCode &other) {
    authoring::Author author(input, options, catalogue, existing, other);
    return author.run();
}

} // namespace fendrel_author
