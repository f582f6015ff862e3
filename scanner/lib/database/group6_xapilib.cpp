// Placeholder until the catalogue rows land.
#include "lib/database/groups.h"

constinit const LibraryDatabase Fenxi_GroupXapiLib{
    FENX_LIB_XAPILIB, 2, {".text", "XPP"}, 0, nullptr};
