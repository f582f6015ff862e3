// Finding a manual entry by symbol index, learning a reference, and registering a found symbol:
// store, count, report.
#include "lib/scan/signature_match.h"

void Fenxi_LearnReference(FenxContext *context, std::uint32_t library_type, std::uint32_t index,
                          std::uint32_t value) {
    if (index >= FENX_XREF_SLOT_COUNT || Fenxi_IsUnresolved(value))
        return;
    std::uint32_t &slot = context->XRefs[index];
    const bool found = Fenxi_IsUnresolved(slot) && Fenxi_HoldsAddress(value);
    slot = value;
    if (found && library_type < FENXI_LIBRARY_TYPE_COUNT)
        ++context->FoundCount[library_type];
}

bool Fenxi_RegisterSymbol(FenxContext *context, const FenxLibraryFilter *library,
                          std::uint32_t symbol_index, const char *name, std::uint32_t symbol_type,
                          std::uint32_t call_convention, std::uint32_t param_count,
                          const OOVPAParam *params, std::uint32_t build_version,
                          std::uint32_t address) {
    if (symbol_index >= FENX_XREF_SLOT_COUNT || !Fenxi_IsUnresolved(context->XRefs[symbol_index]) ||
        !Fenxi_HoldsAddress(address))
        return false;
    context->XRefs[symbol_index] = address;
    const std::uint32_t type = Fenx_LibraryType(library->Flag);
    ++context->FoundCount[type];
    context->SymbolCallback(library->Name, library->Flag, symbol_index, name, address,
                            build_version, symbol_type, call_convention, param_count, params);
    return true;
}

bool Fenxi_RegisterSymbol(FenxContext *context, const FenxLibraryFilter *library,
                          const OOVPATable *entry, std::uint32_t build_version,
                          std::uint32_t address) {
    return Fenxi_RegisterSymbol(context, library, entry->SymbolIndex, entry->Name,
                                entry->SymbolType, entry->CallConvention, entry->ParamCount,
                                entry->Params, build_version, address);
}

std::uint32_t Fenxi_FindEntryBySymbol(FenxContext *context, const FenxLibraryFilter *library,
                                      const LibraryDatabase *group,
                                      const FenxSectionFilter *section, std::uint32_t symbol_index,
                                      bool first_pass, bool register_symbol,
                                      const OOVPATable **found_entry,
                                      const OOVPARevision **found_revision) {
    const std::uint32_t library_type = Fenx_LibraryType(library->Flag);
    for (std::uint32_t i = 0; i < group->EntryCount; ++i) {
        const OOVPATable &entry = group->Entries[i];
        if ((entry.ScanMarks & FENX_SCAN_MANUAL) == 0 || entry.SymbolIndex != symbol_index)
            continue;
        const FenxiMatch match =
            Fenxi_MatchEntry(context, library, library_type, section, first_pass, &entry);
        if (match.Address == 0)
            continue;
        if (register_symbol)
            Fenxi_RegisterSymbol(context, library, &entry, match.Revision->Version, match.Address);
        if (found_entry != nullptr)
            *found_entry = &entry;
        if (found_revision != nullptr)
            *found_revision = match.Revision;
        return match.Address;
    }
    return 0;
}
