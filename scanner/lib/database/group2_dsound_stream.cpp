// Placeholder until the catalogue rows land.
#include "lib/database/groups.h"

constinit const LibraryDatabase Fenxi_GroupDSoundStream{
    FENX_LIB_DSOUND, 2, {"DSOUND", ".rdata"}, 0, nullptr};
