// The rules for a record's references.
#include "author/reference_rules.h"

#include <algorithm>
#include <map>

#include "lib/database/text_join.h"
#include "lib/fendrel.h"
#include "lib/scan/context.h"

using fenxi_text::join;

namespace fendrel_author {
namespace {

enum : std::uint32_t {
    kXapiMapLetterToDirectory = 1127,
    kXGetSectionSize = 1139,
};

// The references each derivation reads from the record of the entry it looks up.
const std::map<std::uint32_t, std::vector<std::uint32_t>> kRequired = {
    {kXapiMapLetterToDirectory, {kXGetSectionSize}},
    {1100, {1076, 1077}},        // GetTypeInformation: the device type table's ends
    {1101, {1076, 1077}},        // GetTypeInformation2
    {442, {386, 402, 403, 405}}, // D3D_CommonSetDebugRegisters: the device, three states
    {608, {382}},                // SetRenderStateNotInline: the render-state block
    {581, {392, 389, 410}},      // SetRenderState_FillMode
    {381, {409, 401, 407, 408}}, // the stencil and occlusion fragment
    {624, {413}},                // SetTextureState_TexCoordIndex
    {616, {387, 388}},           // SetStreamSource: the stream variables
    {380, {419}},                // the vertical blank fragment
};

// Slots a derivation fills, and the entries whose records it reads to do so.
const std::map<std::uint32_t, std::vector<std::uint32_t>> kFilledBy = [] {
    std::map<std::uint32_t, std::vector<std::uint32_t>> filled;
    filled[kXGetSectionSize] = {kXapiMapLetterToDirectory};
    for (std::uint32_t slot : {1070u, 1071u, 1072u, 1073u, 1075u, 1076u, 1077u})
        filled[slot] = {1100, 1101};
    filled[1074] = {1085}; // g_DeviceType_MU from MU_Init
    // The stream and voice tables and the stream methods, from the stream constructor.
    for (std::uint32_t slot : {677u, 678u, 725u, 727u, 728u, 730u, 731u, 735u, 736u})
        filled[slot] = {726};
    return filled;
}();

const std::vector<std::uint32_t> kNone;

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

const std::vector<std::uint32_t> &ReferenceRules::required(std::uint32_t entry_index) const {
    const auto it = kRequired.find(entry_index);
    return it == kRequired.end() ? kNone : it->second;
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
    const std::vector<std::uint32_t> &needed = required(entry.SymbolIndex);
    const bool is_required = std::find(needed.begin(), needed.end(), target) != needed.end();
    if ((entry.ScanMarks & FENX_SCAN_MANUAL) != 0) {
        if (is_required) {
            // Only XGetSectionSize's displacement is turned into an address by its derivation.
            if (relative &&
                !(entry.SymbolIndex == kXapiMapLetterToDirectory && target == kXGetSectionSize))
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
