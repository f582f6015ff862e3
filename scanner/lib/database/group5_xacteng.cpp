// Placeholder until the catalogue rows land.
#include "lib/database/groups.h"

constinit const LibraryDatabase Fenxi_GroupXactEng{
    FENX_LIB_XACTENG, 1, {"XACTENG"}, 0, nullptr};
