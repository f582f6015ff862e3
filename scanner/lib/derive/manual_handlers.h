#pragma once
// The manual handler table: which special derivation runs for which library during the manual
// scan. A handler gets (context, library, database group, section) and returns true when its
// work is complete; a false result lets the walk go on to the next section or group.
#include <cstdint>

#include "lib/fendrel.h"

using FenxiManualHandlerFunction = bool (*)(FenxContext *context, const FenxLibraryFilter *library,
                                            const LibraryDatabase *group,
                                            const FenxSectionFilter *section);

struct FenxiManualHandler {
    std::uint32_t LibraryFlags; // 0 ends the table
    FenxiManualHandlerFunction Handler;
    bool WalkAgainOnFailure; // a second walk retries with the addresses learned in the first
};

// The built-in table, ended by a row with no library flags.
const FenxiManualHandler *Fenxi_BuiltinManualHandlers();

// The row serving `library_flag` in a table, or nullptr.
const FenxiManualHandler *Fenxi_FindManualHandler(const FenxiManualHandler *table,
                                                  std::uint32_t library_flag);
