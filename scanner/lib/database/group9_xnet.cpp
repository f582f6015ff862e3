// Network stack, linked by the network and the online libraries.
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
    row(1177, kAuto, kFunction, "XnInit_8", kStdcall),
    row(1177, kAuto, kFunction, "XnInit_24", kStdcall),
    row(1178, kAuto, kFunction, "WSAStartup", kStdcall),
    row(1179, kAuto, kFunction, "XNetStartup", kStdcall),
    row(1180, kAuto, kFunction, "XNetGetEthernetLinkStatus", kStdcall),
    row(1181, kAuto, kFunction, "bind", kThiscall),
    row(1182, kAuto, kFunction, "connect", kThiscall),
    row(1183, kAuto, kFunction, "ioctlsocket", kThiscall),
    row(1184, kAuto, kFunction, "listen", kThiscall),
    row(1185, kAuto, kFunction, "recv", kThiscall),
    row(1186, kAuto, kFunction, "send", kThiscall),
    row(1187, kAuto, kFunction, "socket", kThiscall),
};

} // namespace

constinit const LibraryDatabase Fenxi_GroupXNet{
    FENX_LIB_XNET | FENX_LIB_XNETN | FENX_LIB_XNETS | FENX_LIB_XONLINE | FENX_LIB_XONLINEN |
        FENX_LIB_XONLINES | FENX_LIB_XONLINLS,
    2,
    {"XNET", "XONLINE"},
    std::size(kEntries),
    kEntries,
};
