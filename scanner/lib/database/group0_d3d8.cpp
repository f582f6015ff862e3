// Placeholder until the catalogue rows land.
#include "lib/database/groups.h"

constinit const LibraryDatabase Fenxi_GroupD3D8{
    FENX_LIB_D3D8 | FENX_LIB_D3D8LTCG, 2, {"D3D", "FLASHROM"}, 0, nullptr};
