// Placeholder until the catalogue rows land.
#include "lib/database/groups.h"

constinit const LibraryDatabase Fenxi_GroupJVS{
    FENX_LIB_JVS, 2, {".text", "FLASHROM"}, 0, nullptr};
