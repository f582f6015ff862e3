// Placeholder until the catalogue rows land.
#include "lib/database/groups.h"

constinit const LibraryDatabase Fenxi_GroupDSound{
    FENX_LIB_DSOUND, 1, {"DSOUND"}, 0, nullptr};
