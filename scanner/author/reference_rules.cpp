// The rules for a record's references.
#include "author/reference_rules.h"

#include <algorithm>
#include <map>

#include "lib/database/text_join.h"
#include "lib/derive/derivation_facts.h"
#include "lib/fendrel.h"
#include "lib/scan/context.h"

using fenxi_text::join;

namespace fendrel_author {
namespace {

// The slots a derivation fills, and the entries whose records it reads to do so.
const std::map<std::uint32_t, std::vector<std::uint32_t>> kFilledBy = [] {
    std::map<std::uint32_t, std::vector<std::uint32_t>> filled;
    for (const fenxi_derive::DerivationFact &fact : fenxi_derive::derivation_facts())
        for (std::uint32_t slot : fact.fills)
            filled[slot].push_back(fact.entry);
    return filled;
}();

// Symbol slots that a fresh scan context marks to be learned from references.
std::set<std::uint32_t> derived_at_start() {
    std::uint8_t data[16] = {};
    FenxLibraryFilter library{4627, 0, FENX_LIB_D3D8, {'D', '3', 'D', '8', 0, 0, 0, 0}};
    FenxSectionFilter section{{'.', 't', 'e', 'x', 't', 0, 0, 0}, 0x10000, sizeof data, data};
    FenxLibraryHeader libraries{1, &library};
    FenxSectionHeader sections{1, &section};
    FenxContext *context = nullptr;
    std::set<std::uint32_t> slots;
    Fenx_SetMessageCallback([](std::uint32_t, const char *) {});
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

std::string name_of(std::uint32_t index) {
    const char *name = Fenx_SymbolName(index);
    return name != nullptr ? name : join("symbol ", index);
}

} // namespace

ReferenceRules::ReferenceRules(const FenxDatabase &catalogue,
                               const std::vector<FenxiRecordedRevision> &existing)
    : derived_at_start_(derived_at_start()) {
    for (const FenxiRecordedRevision &revision : existing)
        if (revision.group < catalogue.GroupCount &&
            revision.entry < catalogue.Groups[revision.group].EntryCount)
            existing_.insert(catalogue.Groups[revision.group].Entries[revision.entry].SymbolIndex);
}

std::span<const std::uint32_t> ReferenceRules::required(std::uint32_t entry_index) const {
    const fenxi_derive::DerivationFact *fact = fenxi_derive::derivation_fact(entry_index);
    return fact != nullptr ? fact->reads : std::span<const std::uint32_t>{};
}

bool ReferenceRules::known(std::uint32_t index, const std::set<std::uint32_t> &authored) const {
    return authored.contains(index) || existing_.contains(index);
}

bool ReferenceRules::filled_by_derivation(std::uint32_t target,
                                          const std::set<std::uint32_t> &authored) const {
    const auto it = kFilledBy.find(target);
    if (it == kFilledBy.end())
        return false;
    for (std::uint32_t source : it->second)
        if (known(source, authored))
            return true;
    return false;
}

ReferenceVerdict ReferenceRules::verdict(const OOVPATable &entry, std::uint32_t target,
                                         bool relative,
                                         const std::set<std::uint32_t> &authored) const {
    if (target >= 1 && target <= kFenxiKernelOrdinalLast)
        return {ReferenceUse::Compare, {}}; // the kernel thunk table is read before any scan
    const std::span<const std::uint32_t> needed = required(entry.SymbolIndex);
    const bool is_required = std::find(needed.begin(), needed.end(), target) != needed.end();
    if ((entry.ScanMarks & FENX_SCAN_MANUAL) != 0) {
        if (is_required) {
            // Only a displacement the derivation turns into an address may be learned.
            const fenxi_derive::DerivationFact *fact =
                fenxi_derive::derivation_fact(entry.SymbolIndex);
            if (relative && !(fact->reads_displacement && target == fact->reads.front()))
                return {ReferenceUse::None,
                        join("a displacement would be learned as ", name_of(target), "'s address")};
            return {ReferenceUse::Learn, {}};
        }
        if (derived_at_start_.contains(target) || kFilledBy.contains(target))
            return {ReferenceUse::None, join("it would learn ", name_of(target),
                                             ", which the scan takes from a derivation")};
        return {ReferenceUse::None, join("the derivation looks this entry up before anything "
                                         "finds ",
                                         name_of(target))};
    }
    if (filled_by_derivation(target, authored))
        return {ReferenceUse::Compare, {}};
    if (derived_at_start_.contains(target)) {
        if (relative)
            return {ReferenceUse::None,
                    join("a displacement would be learned as ", name_of(target), "'s address")};
        return {ReferenceUse::Learn, {}};
    }
    if (known(target, authored))
        return {ReferenceUse::Compare, {}};
    return {ReferenceUse::None, "nothing finds that symbol"};
}

} // namespace fendrel_author
