// The reference matcher: every candidate position of the window in turn, every pair checked with
// its own bounds test. Slow on purpose and kept simple, so that the fast search can be compared
// against it.
#include <cstring>

#include "lib/image/xbe_layout.h"
#include "lib/scan/signature_match.h"

namespace {

// A position whose fields would reach past the section's end is no hit.
bool literal_hit(const FenxContext *context, const FenxSectionFilter *section, const OOVPA *record,
                 std::uint32_t ref_count, std::uint64_t position) {
    for (std::uint32_t k = 0; k < ref_count; ++k) {
        // A field to learn from must be inside too.
        const std::uint64_t field = position + record->Pairs[k].Offset;
        if (field + 4 > section->Size)
            return false;
        const std::uint32_t slot = Fenxi_Slot(context, record->Pairs[k].Value);
        if (slot == XRefDerive)
            continue;
        const std::uint32_t value = Fenxi_ReadU32(section->Data + field);
        const std::uint32_t field_end =
            section->VirtualAddress + static_cast<std::uint32_t>(field) + 4;
        if (value != slot && value + field_end != slot)
            return false;
    }
    for (std::uint32_t k = ref_count; k < record->Count; ++k) {
        const std::uint64_t at = position + record->Pairs[k].Offset;
        if (at >= section->Size)
            return false;
        if (section->Data[at] != static_cast<std::uint8_t>(record->Pairs[k].Value))
            return false;
    }
    return true;
}

} // namespace

FenxiMatch Fenxi_MatchEntryLiteral(FenxContext *context, const FenxLibraryFilter *library,
                                   std::uint32_t library_type, const FenxSectionFilter *section,
                                   bool first_pass, const OOVPATable *entry) {
    FenxiMatch result{nullptr, 0};
    std::int64_t result_index = -1;
    for (std::uint32_t i = 0; i < entry->RevisionCount; ++i) {
        const OOVPARevision &revision = entry->Revisions[i];
        const OOVPA *record = revision.Oovpa;
        if (!context->IgnoreBuildLimit && revision.Version > library->BuildVersion)
            continue;
        if (record == nullptr || record->Count == 0 || record->Pairs == nullptr)
            continue;
        if (!first_pass && record->XRefCount == 0)
            continue;
        const std::uint32_t ref_count =
            record->XRefCount < record->Count ? record->XRefCount : record->Count;

        bool learn[256] = {};
        bool skip = false;
        for (std::uint32_t k = 0; k < ref_count; ++k) {
            const std::uint32_t slot = Fenxi_Slot(context, record->Pairs[k].Value);
            if (slot == XRefNotSet)
                skip = true;
            learn[k] = slot == XRefDerive;
        }
        if (skip)
            continue;

        const std::int64_t window =
            std::int64_t{section->Size} - record->Pairs[record->Count - 1].Offset;
        if (window <= 0)
            continue;

        std::uint32_t hits = 0;
        bool remembered = false;
        std::uint32_t address = 0;
        for (std::int64_t position = 0; position < window; ++position) {
            if (!literal_hit(context, section, record, ref_count,
                             static_cast<std::uint64_t>(position)))
                continue;
            ++hits;
            const std::uint32_t here =
                section->VirtualAddress + static_cast<std::uint32_t>(position);
            const std::uint32_t learning_hit = record->DetectSelect <= 1 ? 1 : record->DetectSelect;
            if (hits == learning_hit) {
                for (std::uint32_t k = ref_count; k-- > 0;) {
                    if (!learn[k])
                        continue;
                    Fenxi_LearnReference(
                        context, library_type, record->Pairs[k].Value,
                        Fenxi_ReadU32(section->Data + position + record->Pairs[k].Offset));
                    learn[k] = false;
                }
            }
            if (record->DetectSelect == 0) {
                if (remembered) {
                    Fenxi_Post(context->Sink, FENX_MSG_WARNING,
                               "Duplicate symbol detection found for %s (%hu), 0x%08x vs 0x%08x",
                               entry->Name, revision.Version, address, here);
                    if (!context->KeepFirstAddress)
                        address = here;
                } else {
                    remembered = true;
                    address = here;
                }
                if (!context->ScanWholeSection)
                    break;
            } else if (hits != record->DetectSelect) {
                Fenxi_Post(context->Sink, FENX_MSG_DETAIL,
                           "Skipped symbol detection found for %s (%hu), 0x%08x", entry->Name,
                           revision.Version, here);
            } else {
                remembered = true;
                address = here;
                if (!context->ScanWholeSection)
                    break;
            }
        }
        if (!remembered)
            continue;
        if (result_index == std::int64_t{i} - 1 && result_index >= 0 && result.Address == address)
            Fenxi_Post(context->Sink, FENX_MSG_WARNING,
                       "Duplicate OOVPA signature found for %s, %hu vs %hu!", entry->Name,
                       entry->Revisions[i - 1].Version, revision.Version);
        if (revision.Version > library->BuildVersion)
            Fenxi_Post(context->Sink, FENX_MSG_WARNING, "OOVPA signature is too high for [%hu] %s!",
                       revision.Version, entry->Name);
        result = FenxiMatch{&revision, address};
        result_index = i;
    }
    return result;
}
