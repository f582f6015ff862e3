// The policy that makes a record from a function, the same for every input route: which fields
// become references, which bytes are compared, the uniqueness the record is extended to and the
// information floor below which it is not written.
#include <algorithm>

#include "author/authoring.h"
#include "author/padding.h"
#include "lib/database/text_join.h"

using fenxi_text::join;

namespace fendrel_author::authoring {
namespace {

// First bytes of a function always taken, before the rest are spread out.
constexpr std::size_t kLeadingPairs = 8;

} // namespace

std::vector<Reference> Author::usable_references(const Function &function, const OOVPATable &entry,
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
            pass_.notes.push_back(join(label, ": the reference at ", offset, " to ", field.target,
                                       " is left out: ", verdict.reason));
            continue;
        }
        usable.push_back({offset, static_cast<std::uint16_t>(index), field.target, verdict.use});
    }
    return usable;
}

std::vector<Reference> Author::choose_references(const std::vector<Reference> &usable,
                                                 const OOVPATable &entry,
                                                 const std::string &label) {
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
    const std::size_t fixed = std::min(chosen.size(), rules_.required(entry.SymbolIndex).size());
    std::sort(chosen.begin() + static_cast<std::ptrdiff_t>(fixed), chosen.end(),
              [](const Reference &a, const Reference &b) { return a.offset < b.offset; });
    return chosen;
}

FunctionResult Author::outcome(Outcome what, const EntryPlace &place, const Function &function,
                               std::string detail) const {
    return {what,
            place.table->Name,
            function.symbol->name,
            region_of(function).object->origin,
            std::move(detail),
            function.end - function.start};
}

void Author::author(std::size_t function_index, const EntryPlace &place) {
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
        pass_.functions.push_back(outcome(Outcome::Ambiguous, place, function, "no fixed byte"));
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
            const std::string where = join(there.origin, " at 0x", fenxi_text::Hex{hit.second, 0});
            pass_.functions.push_back(
                there.other ? outcome(Outcome::LeftOutForOther, place, function, where)
                            : outcome(Outcome::Ambiguous, place, function,
                                      join("the same bytes are found in ", where)));
            return;
        }
        extended_for_other |= there.other;
        if (byte)
            pick.lovp.insert(std::upper_bound(pick.lovp.begin(), pick.lovp.end(), *byte), *byte);
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
    pass_.functions.push_back(outcome(
        extended_for_other ? Outcome::ExtendedForOther : Outcome::Authored, place, function, {}));
    pass_.functions.back().information = pick.information();
    pass_.functions.back().pairs = pick.lovp.size();
}

} // namespace fendrel_author::authoring
