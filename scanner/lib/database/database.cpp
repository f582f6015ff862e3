// The built-in signature database: the ten groups in the order they are scanned, with the
// revisions recorded in lib/database/records/.
#include <cstdint>
#include <iterator>

#include "lib/database/groups.h"
#include "lib/database/recorded_database.h"
#include "lib/oovpa.h"

const FenxDatabase &Fenxi_CatalogueDatabase() {
    // Copies of the groups, so that the list is one array; made once, on first use.
    static const LibraryDatabase groups[] = {
        Fenxi_GroupD3D8,    Fenxi_GroupD3D8LTCG, Fenxi_GroupDSoundStream, Fenxi_GroupDSound,
        Fenxi_GroupJVS,     Fenxi_GroupXactEng,  Fenxi_GroupXapiLib,      Fenxi_GroupXGraphic,
        Fenxi_GroupXOnline, Fenxi_GroupXNet,
    };
    static const FenxDatabase database{static_cast<std::uint32_t>(std::size(groups)), groups};
    return database;
}

const FenxDatabase &Fenxi_BuiltinDatabase() {
    static const FenxiRecordedDatabase database(Fenxi_CatalogueDatabase(), Fenxi_BuiltinRecords());
    return database.database();
}
