#pragma once
// What the special derivations share: reading image words through the section list, storing a
// computed address in a slot, and reporting a symbol under a database entry's description or an
// explicit one. Every read is checked against its section: an address the image supplies may
// point anywhere.
#include <cstdint>

#include "lib/scan/context.h"

// The first entry of `group` with the manual mark and this symbol index, or nullptr.
const OOVPATable *Fenxi_ManualEntry(const LibraryDatabase *group, std::uint32_t symbol_index);

// The first listed section whose bytes hold all `length` bytes at `address`, or nullptr.
const FenxSectionFilter *Fenxi_SectionHolding(const FenxContext *context, std::uint32_t address,
                                              std::uint32_t length);

// True when all `length` bytes at `address` lie in `section`.
bool Fenxi_SectionHas(const FenxSectionFilter *section, std::uint32_t address,
                      std::uint32_t length);

// The byte or little-endian word at `address` in `section`; false when it lies outside.
bool Fenxi_ReadByteAt(const FenxSectionFilter *section, std::uint32_t address, std::uint8_t *value);
bool Fenxi_ReadU32At(const FenxSectionFilter *section, std::uint32_t address, std::uint32_t *value);

// Puts `value` in the slot, counting it for the library's type when an unresolved slot now holds
// an address.
void Fenxi_StoreSlot(FenxContext *context, const FenxLibraryFilter *library, std::uint32_t index,
                     std::uint32_t value);

// Calls the symbol callback. A report neither stores nor checks the slot: a derivation that runs
// again reports again.
void Fenxi_Report(FenxContext *context, const char *library_name, std::uint32_t library_flag,
                  std::uint32_t index, const char *name, std::uint32_t address,
                  std::uint32_t build_version, std::uint32_t symbol_type,
                  std::uint32_t call_convention, std::uint32_t param_count,
                  const OOVPAParam *params);

// Under the library's name, with the entry's index, name, type, convention and parameters.
void Fenxi_ReportEntry(FenxContext *context, const FenxLibraryFilter *library,
                       const OOVPATable *entry, std::uint32_t address, std::uint32_t build_version);

// A variable under its canonical name: type 1, convention "none", no parameters.
void Fenxi_ReportVariable(FenxContext *context, const char *library_name,
                          std::uint32_t library_flag, std::uint32_t index, std::uint32_t address,
                          std::uint32_t build_version);
