// Online services.
//
// Rows in scan order: index, scan marks, type, name, calling convention, parameters and
// revisions. The signatures themselves are data: records/*.records, in the generated
// records/generated.cpp.
#include <iterator>

#include "lib/database/groups.h"
#include "lib/database/table_rows.h"

namespace {

using namespace fenxi_db;

constexpr OOVPATable kEntries[] = {
    row(1188, kAuto, kFunction, "CXo_XOnlineLogon", kThiscall),
    row(1194, kAuto, kFunction, "XOnlineLogon", kStdcall),
    row(1189, kAuto, kFunction, "CXo_XOnlineMatchSearch", kThiscall),
    row(1195, kAuto, kFunction, "XOnlineMatchSearch", kStdcall),
    row(1190, kAuto, kFunction, "CXo_XOnlineMatchSearchResultsLen", kThiscall),
    row(1197, kAuto, kFunction, "XOnlineMatchSearchResultsLen", kStdcall),
    row(1191, kAuto, kFunction, "CXo_XOnlineMatchSearchGetResults", kThiscall),
    row(1196, kAuto, kFunction, "XOnlineMatchSearchGetResults", kStdcall),
    row(1192, kAuto, kFunction, "CXo_XOnlineMatchSessionUpdate", kThiscall),
    row(1199, kAuto, kFunction, "XOnlineMatchSessionUpdate", kStdcall),
    row(1193, kAuto, kFunction, "CXo_XOnlineMatchSessionCreate", kThiscall),
    row(1198, kAuto, kFunction, "XOnlineMatchSessionCreate", kStdcall),
    row(1200, kAuto, kFunction, "XoUpdateLaunchNewImageInternal_12", kStdcall),
    row(1200, kAuto, kFunction, "XoUpdateLaunchNewImageInternal_16", kStdcall),
};

} // namespace

constinit const LibraryDatabase Fenxi_GroupXOnline{
    FENX_LIB_XONLINE | FENX_LIB_XONLINEN | FENX_LIB_XONLINES | FENX_LIB_XONLINLS,
    1,
    {"XONLINE"},
    std::size(kEntries),
    kEntries,
};
