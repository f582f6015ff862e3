#pragma once
// Scanning: the scan context holds known symbol addresses, options, the caller's symbol callback,
// the message sink copy, the library and section lists, and the per-type scan guards. Internal
// routines (Fenxi_) take the context and read its database and handler table from it, so tests and
// benchmarks can give it their own.
#include <cstdint>

#include "lib/derive/manual_handlers.h"
#include "lib/fendrel.h"
#include "lib/scan/message_sink.h"
#include "lib/scan/section_index.h"

// How candidate positions of a signature are found. Every strategy reports the same hits; the
// literal one walks every position as the matching rules are written and serves as the oracle.
enum class FenxiMatchStrategy : std::uint8_t {
    Automatic,  // byte search first, the pair index once a section is scanned often
    Literal,    // every position, every pair
    ByteSearch, // memchr for the rarest expected byte
    PairIndex,  // the section's pair index, built on first use
};

inline constexpr std::uint32_t FENXI_LIBRARY_TYPE_COUNT = 7;

enum : std::uint32_t { FENXI_STATE_CREATED = 0, FENXI_STATE_MANUAL = 1, FENXI_STATE_SCANNED = 2 };

struct FenxContext {
    FenxDatabase Database;
    const FenxiManualHandler *Handlers;
    FenxiMatchStrategy Strategy;

    bool IgnoreBuildLimit;
    bool ScanWholeSection;
    bool KeepFirstAddress;
    std::uint32_t LibraryFilter; // 0: every library

    std::uint32_t XRefs[FENX_XREF_SLOT_COUNT];

    FenxiMessageSink Sink;
    FenxSymbolCallback SymbolCallback;

    FenxLibraryFilter *Libraries;
    std::uint32_t LibraryCount;
    FenxSectionFilter *Sections;
    std::uint32_t SectionCount;
    FenxiSectionIndex *SectionIndexes; // one per section

    std::uint32_t State;
    std::uint32_t FoundCount[FENXI_LIBRARY_TYPE_COUNT];
    bool Active[FENXI_LIBRARY_TYPE_COUNT];
};

// FenxContext_Create with a database and a manual handler table of the caller's.
bool Fenxi_CreateContext(FenxContext **out, FenxSymbolCallback symbol_callback,
                         const FenxLibraryHeader *libraries, const FenxSectionHeader *sections,
                         std::uint32_t kernel_thunk_address, const FenxDatabase &database,
                         const FenxiManualHandler *handlers);

// The search aids of a section of the context's own list; nullptr for any other section.
FenxiSectionIndex *Fenxi_SectionIndexOf(FenxContext *context, const FenxSectionFilter *section);

// Slot access that never leaves the table: an index beyond it reads as XRefNotSet.
inline std::uint32_t Fenxi_Slot(const FenxContext *context, std::uint32_t index) {
    return index < FENX_XREF_SLOT_COUNT ? context->XRefs[index] : XRefNotSet;
}

inline bool Fenxi_IsUnresolved(std::uint32_t slot) {
    return slot == XRefNotSet || slot == XRefDerive;
}

// A slot that holds neither a marker nor 0.
inline bool Fenxi_HoldsAddress(std::uint32_t slot) {
    return slot != XRefNotSet && slot != XRefDerive && slot != 0;
}
