#pragma once
// Matching database entries against a section, and registering what is found.
#include <cstdint>

#include "lib/scan/context.h"

struct FenxiMatch {
    const OOVPARevision *Revision; // the last revision in list order that matched; nullptr: none
    std::uint32_t Address;         // 0 when none
};

// Tries every revision of `entry` in `section` and returns the last one that matched with the
// address of its selected hit. Learns XRefDerive slots from the first hit and posts the
// duplicate, skipped and too-high messages.
FenxiMatch Fenxi_MatchEntry(FenxContext *context, const FenxLibraryFilter *library,
                            std::uint32_t library_type, const FenxSectionFilter *section,
                            bool first_pass, const OOVPATable *entry);

// The same result, messages and learning, found by trying every position of the section in
// turn exactly as the matching rules are written. Kept as the reference the fast search is
// checked against; a context uses it when its strategy is Literal.
FenxiMatch Fenxi_MatchEntryLiteral(FenxContext *context, const FenxLibraryFilter *library,
                                   std::uint32_t library_type, const FenxSectionFilter *section,
                                   bool first_pass, const OOVPATable *entry);

// Matches the manual entries of `group` for `symbol_index` in order; the first that yields an
// address ends the search. With `register_symbol`, an unresolved slot takes the address and the
// symbol is reported. Returns the address or 0.
std::uint32_t Fenxi_FindEntryBySymbol(FenxContext *context, const FenxLibraryFilter *library,
                                      const LibraryDatabase *group,
                                      const FenxSectionFilter *section, std::uint32_t symbol_index,
                                      bool first_pass, bool register_symbol,
                                      const OOVPATable **found_entry = nullptr,
                                      const OOVPARevision **found_revision = nullptr);

// Puts a value read from a reference field into the slot that waited to learn it. A value equal
// to a marker teaches nothing: storing it would leave the slot waiting, and every later scan
// would learn it again. Only a slot that turns from unresolved into an address counts as found.
void Fenxi_LearnReference(FenxContext *context, std::uint32_t library_type, std::uint32_t index,
                          std::uint32_t value);

// Stores `address` in the symbol's slot when the slot is unresolved, counts it for the library's
// type and reports it. A slot that already holds an address is left alone and nothing is
// reported; so is an address equal to a marker or 0, which no slot can hold as an address. The
// result says whether the symbol was registered.
bool Fenxi_RegisterSymbol(FenxContext *context, const FenxLibraryFilter *library,
                          const OOVPATable *entry, std::uint32_t build_version,
                          std::uint32_t address);
bool Fenxi_RegisterSymbol(FenxContext *context, const FenxLibraryFilter *library,
                          std::uint32_t symbol_index, const char *name, std::uint32_t symbol_type,
                          std::uint32_t call_convention, std::uint32_t param_count,
                          const OOVPAParam *params, std::uint32_t build_version,
                          std::uint32_t address);
