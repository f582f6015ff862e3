// Placeholder until the catalogue rows land.
#include "lib/database/groups.h"

constinit const LibraryDatabase Fenxi_GroupXOnline{
    FENX_LIB_XONLINE | FENX_LIB_XONLINEN | FENX_LIB_XONLINES | FENX_LIB_XONLINLS, 1, {"XONLINE"}, 0, nullptr};
