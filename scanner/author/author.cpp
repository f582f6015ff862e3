// Authoring signature records from COFF objects.
#include "author/author.h"

#include <algorithm>
#include <optional>
#include <set>

#include "author/against.h"
#include "author/code_regions.h"
#include "author/padding.h"
#include "author/reference_rules.h"
#include "lib/database/catalogue.h"
#include "lib/database/database_tools.h"
#include "lib/database/recorded_database.h"
#include "lib/database/text_join.h"
#include "lib/fendrel.h"
#include "lib/image/xbe_layout.h"

using fenxi_text::join;

namespace fendrel_author {
namespace {

// Longest stretch a record can describe: offsets are 16-bit.
constexpr std::size_t kMaxOffset = 0xFFFF;
// First bytes of a function always taken, before the rest are spread out.
constexpr std::size_t kLeadingPairs = 8;
// A reference compared with a known address is worth this many Lovp pairs.
constexpr std::size_t kReferenceInformation = 4;

struct Function {
    std::size_t region;
    const CoffSymbol *symbol;
    std::uint32_t start;
    std::uint32_t end;     // the function's own bytes end here: padding after it is not its own
    std::uint32_t raw_end; // the next symbol or the section's end
    std::vector<std::pair<std::size_t, std::uint32_t>> copies; // the same function elsewhere
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

struct Reference {
    std::uint16_t offset;
    std::uint16_t index;
    std::string target; // decorated name, to compare with other code's fields
    ReferenceUse use;
};

struct Pick {
    std::vector<Reference> references; // in record order
    std::vector<std::uint32_t> lovp;   // offsets, ascending

    std::size_t information() const {
        std::size_t compared = 0;
        for (const Reference &reference : references)
            compared += reference.use == ReferenceUse::Compare;
        return lovp.size() + kReferenceInformation * compared;
    }
};

// A hit of a record's pattern: a region and a position in it.
using Place = std::pair<std::size_t, std::uint32_t>;

class Author {
  public:
    Author(const AuthorInput &input, const AuthorOptions &options, const FenxDatabase &catalogue,
           const std::vector<FenxiRecordedRevision> &existing, const OtherCode &other)
        : input_(input), options_(options), catalogue_(catalogue), existing_(existing),
          rules_(catalogue, existing), other_(other) {}

    std::expected<AuthorResult, std::string> run() {
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

  private:
    const CodeRegion &region_of(const Function &function) const {
        return regions_[function.region];
    }

    void collect_functions() {
        for (std::size_t r = 0; r < library_regions_; ++r) {
            const CodeRegion &region = regions_[r];
            const CoffObject &object = *region.object;
            const auto section_number =
                static_cast<std::int32_t>(region.section - object.sections.data() + 1);
            for (const CoffSymbol &symbol : object.symbols) {
                if (symbol.storage_class != kCoffClassExternal ||
                    symbol.section != section_number || symbol.value >= region.bytes.size())
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

    // The catalogue entry a decorated name stands for, or the reason it has none.
    struct Mapping {
        std::optional<EntryPlace> place;     // in the library's groups
        std::optional<EntryPlace> elsewhere; // in another library's groups
        std::uint32_t ordinal = 0;           // a kernel export
        std::vector<std::string> tried;
    };

    Mapping map_name(const std::string &decorated) const {
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

    // Whether two functions of one name are one function (an inline function compiled into
    // several objects): the same own bytes, referring to the same symbols.
    bool same_function(const Function &a, const Function &b) const {
        return a.end - a.start == b.end - b.start &&
               holds_same_code(region_of(a), a.start, a.end, region_of(b), b.start);
    }

    void map_functions() {
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

    static std::string joined(const std::vector<std::string> &items) {
        std::string text;
        for (const std::string &item : items)
            text += (text.empty() ? "" : ", ") + item;
        return text;
    }

    // The symbol index a relocated field refers to, or 0.
    std::uint32_t reference_index(const RelocatedField &field) const {
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

    std::uint32_t index_of_name(const std::string &target) const {
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

    // The references a record of `entry` may hold, with the reason for each field left out.
    std::vector<Reference> usable_references(const Function &function, const OOVPATable &entry,
                                             const std::string &label) {
        const CodeRegion &region = region_of(function);
        std::vector<Reference> usable;
        for (auto it = region.fields.lower_bound(function.start);
             it != region.fields.end() && it->first < function.end; ++it) {
            const RelocatedField &field = it->second;
            if (field.width != 4 || it->first + 4 > function.end ||
                it->first - function.start > kMaxOffset)
                continue;
            const std::uint32_t index = reference_index(field);
            if (index == 0 || index == entry.SymbolIndex)
                continue;
            const auto offset = static_cast<std::uint16_t>(it->first - function.start);
            if (field.addend) {
                // The record format has no addend: the field would teach or compare the address
                // beside the symbol as the symbol's own.
                ++pass_.addend_fields;
                pass_.notes.push_back(join(label, ": the field at ", offset, " refers to ",
                                           field.target, " plus an addend and is left unknown"));
                continue;
            }
            const ReferenceVerdict verdict =
                rules_.verdict(entry, index, field.type == kCoffRelocRel32, known_);
            if (verdict.use == ReferenceUse::None) {
                pass_.notes.push_back(join(label, ": the reference at ", offset, " to ",
                                           field.target, " is left out: ", verdict.reason));
                continue;
            }
            usable.push_back(
                {offset, static_cast<std::uint16_t>(index), field.target, verdict.use});
        }
        return usable;
    }

    // At most four of them, by what they teach and what the derivations need, not by position.
    std::vector<Reference> choose_references(const std::vector<Reference> &usable,
                                             const OOVPATable &entry, const std::string &label) {
        // Required references first, in the order the derivation reads them; then those that
        // teach an address; then compared ones, one per target before any second.
        std::vector<Reference> chosen;
        for (std::uint32_t required : rules_.required(entry.SymbolIndex))
            for (const Reference &reference : usable)
                if (reference.index == required) {
                    chosen.push_back(reference);
                    break;
                }
        const auto taken = [&](const Reference &reference) {
            return std::any_of(chosen.begin(), chosen.end(), [&](const Reference &other) {
                return other.offset == reference.offset;
            });
        };
        for (const Reference &reference : usable)
            if (reference.use == ReferenceUse::Learn && !taken(reference))
                chosen.push_back(reference);
        std::set<std::uint32_t> targets;
        for (const Reference &reference : chosen)
            targets.insert(reference.index);
        for (int round = 0; round < 2; ++round)
            for (const Reference &reference : usable)
                if (reference.use == ReferenceUse::Compare && !taken(reference) &&
                    (round == 1 || targets.insert(reference.index).second))
                    chosen.push_back(reference);
        if (chosen.size() > kFenxiMaxRecordReferences) {
            for (std::size_t k = kFenxiMaxRecordReferences; k < chosen.size(); ++k)
                pass_.notes.push_back(join(label, ": the reference at ", chosen[k].offset, " to ",
                                           chosen[k].target,
                                           " is left out: a record holds four references"));
            chosen.resize(kFenxiMaxRecordReferences);
        }
        // The required ones stay in front; the rest in offset order.
        const std::size_t fixed =
            std::min(chosen.size(), rules_.required(entry.SymbolIndex).size());
        std::sort(chosen.begin() + static_cast<std::ptrdiff_t>(fixed), chosen.end(),
                  [](const Reference &a, const Reference &b) { return a.offset < b.offset; });
        return chosen;
    }

    // Whether the record `pick` of `function` matches at `at` in `there`. Library code and
    // objects tell reference fields apart by their targets; in an image they could hold anything.
    bool matches(const Function &function, const Pick &pick, const CodeRegion &there,
                 std::uint32_t at) const {
        const CodeRegion &own = region_of(function);
        const std::size_t size = there.bytes.size();
        for (std::uint32_t offset : pick.lovp) {
            if (at + std::size_t{offset} >= size)
                return false;
            // A patched byte there becomes an address in the image: it may match.
            if (!there.matches_any(at + offset) &&
                there.bytes[at + offset] != own.bytes[function.start + offset])
                return false;
        }
        for (const Reference &reference : pick.references) {
            if (at + std::size_t{reference.offset} + 4 > size)
                return false;
            if (reference.use != ReferenceUse::Compare)
                continue;
            if (there.covered.empty()) {
                // In an image only a kernel import's slot is known; the scan takes the field as
                // the address itself or as a displacement to it.
                if (!there.kernel_slots || reference.index > kFenxiKernelOrdinalLast)
                    continue;
                const auto slot = there.kernel_slots->find(reference.index);
                if (slot == there.kernel_slots->end())
                    continue;
                const std::uint32_t field = at + reference.offset;
                const std::uint32_t value = Fenxi_ReadU32(there.bytes.data() + field);
                if (value != slot->second &&
                    value + there.virtual_address + field + 4 != slot->second)
                    return false;
                continue;
            }
            const auto field = there.fields.find(at + reference.offset);
            if (field == there.fields.end() || field->second.addend ||
                (field->second.target != reference.target &&
                 reference_index(field->second) != reference.index))
                return false;
        }
        return true;
    }

    // Whether a hit is the function itself: its own place, a copy of it in the library, its own
    // code linked into other code.
    bool is_itself(const Function &function, std::size_t r, std::uint32_t at) const {
        if (r == function.region && at == function.start)
            return true;
        for (const Place &copy : function.copies)
            if (copy == Place{r, at})
                return true;
        const CodeRegion &there = regions_[r];
        if (!there.other)
            return false;
        // Objects name their functions; in a linked image only the code itself can tell.
        if (!there.covered.empty())
            return defines_name(there, at, function.symbol->name);
        return holds_same_code(region_of(function), function.start, function.end, there, at);
    }

    // The hits that are not the function itself; in other code, more than one place holding the
    // function's own code means none of them can be told to be it.
    std::vector<Place> foreign_hits(const Function &function, const Pick &pick) const {
        std::vector<Place> found;
        std::uint32_t reach = pick.lovp.empty() ? 0 : pick.lovp.back() + 1;
        for (const Reference &reference : pick.references)
            reach = std::max<std::uint32_t>(reach, reference.offset + 4u);
        std::map<std::size_t, std::vector<std::uint32_t>> own_code_in_other; // by region origin
        for (std::size_t r = 0; r < regions_.size(); ++r) {
            const CodeRegion &there = regions_[r];
            if (there.bytes.size() < reach)
                continue;
            for (std::uint32_t at = 0; at + reach <= there.bytes.size(); ++at) {
                if (!matches(function, pick, there, at))
                    continue;
                if (!is_itself(function, r, at))
                    found.emplace_back(r, at);
                else if (there.other && there.covered.empty())
                    own_code_in_other[r].push_back(at);
            }
        }
        for (const auto &[r, places] : own_code_in_other)
            if (places.size() > 1)
                for (std::uint32_t at : places)
                    found.emplace_back(r, at);
        return found;
    }

    // A byte of the function, not yet in the record, that differs at the other hit.
    std::optional<std::uint32_t> distinguishing_byte(const Function &function, const Pick &pick,
                                                     const Place &hit) const {
        const CodeRegion &own = region_of(function);
        const CodeRegion &there = regions_[hit.first];
        for (std::uint32_t offset = 0; offset < function.end - function.start; ++offset) {
            if (offset > kMaxOffset)
                break;
            if (own.unknown(function.start + offset) ||
                std::binary_search(pick.lovp.begin(), pick.lovp.end(), offset))
                continue;
            const std::size_t at = hit.second + std::size_t{offset};
            if (at >= there.bytes.size() ||
                (!there.matches_any(at) && there.bytes[at] != own.bytes[function.start + offset]))
                return offset;
        }
        return std::nullopt;
    }

    // A usable reference of the function, not yet in the record, whose field at the other hit
    // refers elsewhere (SetEvent and PulseEvent calling different kernel exports).
    std::optional<Reference> distinguishing_reference(const Pick &pick,
                                                      const std::vector<Reference> &usable,
                                                      const Function &function,
                                                      const Place &hit) const {
        if (pick.references.size() >= kFenxiMaxRecordReferences ||
            regions_[hit.first].covered.empty())
            return std::nullopt;
        for (const Reference &reference : usable) {
            if (reference.use != ReferenceUse::Compare)
                continue;
            if (std::any_of(pick.references.begin(), pick.references.end(),
                            [&](const Reference &r) { return r.offset == reference.offset; }))
                continue;
            Pick trial = pick;
            trial.references.push_back(reference);
            if (!matches(function, trial, regions_[hit.first], hit.second))
                return reference;
        }
        return std::nullopt;
    }

    FunctionResult outcome(Outcome what, const EntryPlace &place, const Function &function,
                           std::string detail) const {
        return {what,
                place.table->Name,
                function.symbol->name,
                region_of(function).object->origin,
                std::move(detail),
                function.end - function.start};
    }

    void author(std::size_t function_index, const EntryPlace &place) {
        const Function &function = functions_[function_index];
        const CodeRegion &region = region_of(function);
        const std::uint32_t length =
            std::min<std::uint32_t>(function.end - function.start, kMaxOffset + 1);
        const std::string label =
            join(place.table->Name, ": ", function.symbol->name, " (", region.object->origin, ")");

        const std::vector<Reference> usable = usable_references(function, *place.table, label);
        Pick pick;
        pick.references = choose_references(usable, *place.table, label);

        std::vector<std::uint32_t> fixed;
        for (std::uint32_t offset = 0; offset < length; ++offset)
            if (!region.unknown(function.start + offset))
                fixed.push_back(offset);
        std::vector<std::uint32_t> spread;
        for (std::uint32_t offset : fixed) {
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
            pass_.functions.push_back(
                outcome(Outcome::Ambiguous, place, function, "no fixed byte"));
            return;
        }

        // Unique among all input and other code, or made unique by bytes (or references) where
        // the other hits differ.
        bool extended_for_other = false;
        for (;;) {
            const std::vector<Place> found = foreign_hits(function, pick);
            if (found.empty())
                break;
            const Place &hit = found.front();
            const CodeRegion &there = regions_[hit.first];
            std::optional<std::uint32_t> byte;
            std::optional<Reference> reference;
            const bool room = pick.lovp.size() + pick.references.size() < kFenxiMaxRecordPairs;
            if (room && !(there.other && is_itself(function, hit.first, hit.second)))
                byte = distinguishing_byte(function, pick, hit);
            if (room && !byte)
                reference = distinguishing_reference(pick, usable, function, hit);
            if (!byte && !reference) {
                const std::string where =
                    join(there.origin, " at 0x", fenxi_text::Hex{hit.second, 0});
                pass_.functions.push_back(
                    there.other ? outcome(Outcome::LeftOutForOther, place, function, where)
                                : outcome(Outcome::Ambiguous, place, function,
                                          join("the same bytes are found in ", where)));
                return;
            }
            extended_for_other |= there.other;
            if (byte)
                pick.lovp.insert(std::upper_bound(pick.lovp.begin(), pick.lovp.end(), *byte),
                                 *byte);
            else
                pick.references.push_back(*reference);
        }

        if (pick.information() < options_.information_floor) {
            pass_.functions.push_back(outcome(Outcome::TooSmall, place, function, {}));
            pass_.functions.back().information = pick.information();
            return;
        }

        FenxiRecordedRevision revision;
        revision.group = place.group;
        revision.entry = place.entry;
        revision.build = options_.build;
        revision.xref_count = static_cast<std::uint8_t>(pick.references.size());
        for (const Reference &reference : pick.references)
            revision.pairs.push_back({reference.offset, reference.index});
        for (std::uint32_t offset : pick.lovp)
            revision.pairs.push_back(
                {static_cast<std::uint16_t>(offset), region.bytes[function.start + offset]});
        revision.comment = join(function.symbol->name, " in ", region.object->origin, ", ",
                                function.end - function.start, " bytes");
        revision.source = label;
        pass_.revisions.push_back(std::move(revision));
        pass_.functions.push_back(
            outcome(extended_for_other ? Outcome::ExtendedForOther : Outcome::Authored, place,
                    function, {}));
        pass_.functions.back().information = pick.information();
        pass_.functions.back().pairs = pick.lovp.size();
    }

    void merge_pass() {
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

    void check_against_database() {
        std::vector<FenxiRecordedRevision> today = existing_;
        const FenxiRecordedDatabase before(catalogue_, today);
        std::vector<FenxiRecordedRevision> combined = existing_;
        combined.insert(combined.end(), result_.revisions.begin(), result_.revisions.end());
        const FenxiRecordedDatabase after(catalogue_, combined);
        std::multiset<std::string> known_problems(before.problems().begin(),
                                                  before.problems().end());
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

    const AuthorInput &input_;
    const AuthorOptions &options_;
    const FenxDatabase &catalogue_;
    const std::vector<FenxiRecordedRevision> &existing_;
    ReferenceRules rules_;
    const OtherCode &other_;
    std::vector<CodeRegion> regions_;
    std::size_t library_regions_ = 0;
    std::vector<Function> functions_;
    std::vector<std::pair<std::size_t, EntryPlace>> chosen_;
    std::set<std::uint32_t> known_; // entries expected to be authored in this pass
    AuthorResult pass_;
    AuthorResult result_;
};

} // namespace

std::expected<AuthorResult, std::string>
author_records(const AuthorInput &input, const AuthorOptions &options,
               const FenxDatabase &catalogue, const std::vector<FenxiRecordedRevision> &existing,
               const OtherCode &other) {
    Author author(input, options, catalogue, existing, other);
    return author.run();
}

} // namespace fendrel_author
