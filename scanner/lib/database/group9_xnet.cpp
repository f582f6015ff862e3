// Placeholder until the catalogue rows land.
#include "lib/database/groups.h"

constinit const LibraryDatabase Fenxi_GroupXNet{
    FENX_LIB_XNET | FENX_LIB_XNETN | FENX_LIB_XNETS | FENX_LIB_XONLINE | FENX_LIB_XONLINEN | FENX_LIB_XONLINES | FENX_LIB_XONLINLS, 2, {"XNET", "XONLINE"}, 0, nullptr};
