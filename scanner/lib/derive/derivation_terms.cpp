// Shared steps of the special derivations.
#include "lib/derive/derivation_terms.h"

#include "lib/image/xbe_layout.h"

const OOVPATable *Fenxi_ManualEntry(const LibraryDatabase *group, std::uint32_t symbol_index) {
    for (std::uint32_t i = 0; i < group->EntryCount; ++i) {
        const OOVPATable &entry = group->Entries[i];
        if ((entry.ScanMarks & FENX_SCAN_MANUAL) != 0 && entry.SymbolIndex == symbol_index)
            return &entry;
    }
    return nullptr;
}

bool Fenxi_SectionHas(const FenxSectionFilter *section, std::uint32_t address,
                      std::uint32_t length) {
    if (section == nullptr || section->Data == nullptr || address < section->VirtualAddress)
        return false;
    const std::uint64_t offset = address - section->VirtualAddress;
    return offset + length <= section->Size;
}

const FenxSectionFilter *Fenxi_SectionHolding(const FenxContext *context, std::uint32_t address,
                                              std::uint32_t length) {
    for (std::uint32_t i = 0; i < context->SectionCount; ++i)
        if (Fenxi_SectionHas(&context->Sections[i], address, length))
            return &context->Sections[i];
    return nullptr;
}

bool Fenxi_ReadByteAt(const FenxSectionFilter *section, std::uint32_t address,
                      std::uint8_t *value) {
    if (!Fenxi_SectionHas(section, address, 1))
        return false;
    *value = section->Data[address - section->VirtualAddress];
    return true;
}

bool Fenxi_ReadU32At(const FenxSectionFilter *section, std::uint32_t address,
                     std::uint32_t *value) {
    if (!Fenxi_SectionHas(section, address, 4))
        return false;
    *value = Fenxi_ReadU32(section->Data + (address - section->VirtualAddress));
    return true;
}

void Fenxi_StoreSlot(FenxContext *context, const FenxLibraryFilter *library, std::uint32_t index,
                     std::uint32_t value) {
    if (index >= FENX_XREF_SLOT_COUNT)
        return;
    if (Fenxi_IsUnresolved(context->XRefs[index]) && Fenxi_HoldsAddress(value))
        ++context->FoundCount[Fenx_LibraryType(library->Flag)];
    context->XRefs[index] = value;
}

void Fenxi_Report(FenxContext *context, const char *library_name, std::uint32_t library_flag,
                  std::uint32_t index, const char *name, std::uint32_t address,
                  std::uint32_t build_version, std::uint32_t symbol_type,
                  std::uint32_t call_convention, std::uint32_t param_count,
                  const OOVPAParam *params) {
    context->SymbolCallback(library_name, library_flag, index, name != nullptr ? name : "", address,
                            build_version, symbol_type, call_convention, param_count, params);
}

void Fenxi_ReportEntry(FenxContext *context, const FenxLibraryFilter *library,
                       const OOVPATable *entry, std::uint32_t address,
                       std::uint32_t build_version) {
    Fenxi_Report(context, library->Name, library->Flag, entry->SymbolIndex, entry->Name, address,
                 build_version, entry->SymbolType, entry->CallConvention, entry->ParamCount,
                 entry->Params);
}

void Fenxi_ReportVariable(FenxContext *context, const char *library_name,
                          std::uint32_t library_flag, std::uint32_t index, std::uint32_t address,
                          std::uint32_t build_version) {
    Fenxi_Report(context, library_name, library_flag, index, Fenx_SymbolName(index), address,
                 build_version, FENX_SYMBOL_VARIABLE, FENX_CALL_NONE, 0, nullptr);
}
