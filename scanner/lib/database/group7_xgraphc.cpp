// Xbox graphics helpers.
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
    row(1165, kAuto, kFunction, "XFONT_OpenBitmapFontFromMemory", kStdcall),
    row(1166, kAuto, kFunction, "XGCompressRect", kStdcall),
    row(1167, kAuto, kFunction, "XGIsSwizzledFormat", kStdcall),
    row(1168, kAuto, kFunction, "XGSetIndexBufferHeader", kStdcall),
    row(1169, kAuto, kFunction, "XGSetSurfaceHeader", kStdcall),
    row(1170, kAuto, kFunction, "XGSetTextureHeader", kStdcall),
    row(1171, kAuto, kFunction, "XGSetVertexBufferHeader", kStdcall),
    row(1172, kAuto, kFunction, "XGSwizzleBox", kStdcall),
    row(1173, kAuto, kFunction, "XGSwizzleRect", kStdcall),
    row(1174, kAuto, kFunction, "XGUnswizzleBox", kStdcall),
    row(1175, kAuto, kFunction, "XGUnswizzleRect", kStdcall),
    row(1176, kAuto, kFunction, "XGWriteSurfaceOrTextureToXPR", kStdcall),
};

} // namespace

constinit const LibraryDatabase Fenxi_GroupXGraphic{
    FENX_LIB_XGRAPHC, 1, {"XGRPH"}, std::size(kEntries), kEntries,
};
