// Placeholder until the catalogue rows land.
#include "lib/database/groups.h"

constinit const LibraryDatabase Fenxi_GroupXGraphic{
    FENX_LIB_XGRAPHC, 1, {"XGRPH"}, 0, nullptr};
