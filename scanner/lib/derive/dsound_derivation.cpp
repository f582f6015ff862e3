// DirectSound derivations. The stream constructor stores the voice and stream virtual tables
// into the new object; the stream table lists the stream methods, whose code the database does
// not match on its own.
#include <iterator>

#include "lib/derive/derivation_facts.h"
#include "lib/derive/derivation_terms.h"
#include "lib/derive/derivations.h"
#include "lib/scan/signature_match.h"

namespace {

using namespace fenxi_derive;

// Where the constructor's two table stores keep their immediate operands.
constexpr std::uint32_t kVoiceTableOperand = 0x14;
constexpr std::uint32_t kStreamTableOperand = 0x1B;

constexpr std::uint16_t kTableBuild = 3911;
// From this build on GetStatus takes another shape, reported under its second revision's name.
constexpr std::uint16_t kLastGetStatusFirstRevision = 4133;
constexpr std::uint16_t kGetStatusSecondBuild = 4134;

struct StreamMethod {
    std::uint32_t index;
    const char *missing; // the message when its database entry is missing
};

// In stream table order.
constexpr StreamMethod kStreamMethods[] = {
    {kStreamAddRef, "Unable to find CDirectSoundStream_AddRef entry in database..."},
    {kStreamRelease, "Unable to find CDirectSoundStream_Release entry in database..."},
    {kStreamGetInfo, "Unable to find CDirectSoundStream_GetInfo entry in database..."},
    {kStreamGetStatus, "Unable to find CDirectSoundStream_GetStatus entry in database..."},
    {kStreamProcess, "Unable to find CDirectSoundStream_Process entry in database..."},
    {kStreamDiscontinuity, "Unable to find CDirectSoundStream_Discontinuity entry in database..."},
    {kStreamFlush, "Unable to find CDirectSoundStream_Flush entry in database..."},
};
constexpr std::uint32_t kStreamMethodCount = std::size(kStreamMethods);

// A table address learned again: the first one stays only when the caller asked for that.
void store_table(FenxContext *context, const FenxLibraryFilter *library, std::uint32_t index,
                 std::uint32_t address) {
    const std::uint32_t known = context->XRefs[index];
    if (Fenxi_HoldsAddress(known) && known != address)
        Fenxi_Post(context->Sink, FENX_MSG_WARNING,
                   "Duplicate XREF address found for %s (%hu), %08X vs %08X!",
                   Fenx_SymbolName(index), kTableBuild, known, address);
    if (Fenxi_HoldsAddress(known) && context->KeepFirstAddress)
        return;
    Fenxi_StoreSlot(context, library, index, address);
}

bool derive_tables(FenxContext *context, const FenxLibraryFilter *library,
                   const LibraryDatabase *group, const FenxSectionFilter *section) {
    const std::uint32_t constructor =
        Fenxi_FindEntryBySymbol(context, library, group, section, kStreamConstructor, true, true);
    if (constructor == 0)
        return false;
    std::uint32_t voice_table = 0;
    std::uint32_t stream_table = 0;
    if (!Fenxi_ReadU32At(section, constructor + kVoiceTableOperand, &voice_table) ||
        !Fenxi_ReadU32At(section, constructor + kStreamTableOperand, &stream_table))
        return false;
    store_table(context, library, kVoiceTable, voice_table);
    store_table(context, library, kStreamTable, stream_table);
    return true;
}

bool derive_stream_methods(FenxContext *context, const FenxLibraryFilter *library,
                           const LibraryDatabase *group, const FenxSectionFilter *section) {
    const std::uint32_t table = context->XRefs[kStreamTable];
    if (!Fenxi_SectionHas(section, table, 4 * kStreamMethodCount))
        return false;
    // Every entry first, so that a missing one leaves no method half reported.
    const OOVPATable *entries[kStreamMethodCount] = {};
    for (std::uint32_t i = 0; i < kStreamMethodCount; ++i) {
        entries[i] = Fenxi_ManualEntry(group, kStreamMethods[i].index);
        if (entries[i] == nullptr) {
            Fenxi_Post(context->Sink, FENX_MSG_ERROR, "%s", kStreamMethods[i].missing);
            return false;
        }
    }
    const bool second_get_status = library->BuildVersion > kLastGetStatusFirstRevision;
    for (std::uint32_t i = 0; i < kStreamMethodCount; ++i) {
        const OOVPATable *entry = entries[i];
        std::uint32_t method = 0;
        Fenxi_ReadU32At(section, table + 4 * i, &method);
        Fenxi_StoreSlot(context, library, entry->SymbolIndex, method);
        if (entry->SymbolIndex != kStreamGetStatus) {
            Fenxi_ReportEntry(context, library, entry, method, kTableBuild);
            continue;
        }
        Fenxi_Report(context, library->Name, library->Flag, entry->SymbolIndex,
                     second_get_status ? "CDirectSoundStream_GetStatus__r2"
                                       : "CDirectSoundStream_GetStatus__r1",
                     method, second_get_status ? kGetStatusSecondBuild : kTableBuild,
                     entry->SymbolType, entry->CallConvention, entry->ParamCount, entry->Params);
    }
    return true;
}

} // namespace

bool Fenxi_DeriveDSound(FenxContext *context, const FenxLibraryFilter *library,
                        const LibraryDatabase *group, const FenxSectionFilter *section) {
    if (context->XRefs[kStreamConstructor] == XRefNotSet &&
        !derive_tables(context, library, group, section))
        return false;
    if (context->XRefs[kVoiceTable] == XRefDerive || context->XRefs[kStreamTable] == XRefDerive) {
        Fenxi_Post(context->Sink, FENX_MSG_ERROR,
                   "Something went wrong with finding DSS' vtables...");
        return false;
    }
    if (context->XRefs[kStreamAddRef] != XRefNotSet)
        return true;
    return derive_stream_methods(context, library, group, section);
}
