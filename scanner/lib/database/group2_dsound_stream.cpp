// DirectSound stream constructor and the stream methods read from its virtual table. Searched
// in ".rdata" too, where the table may lie.
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
    row(725, kManual, kFunction, "CDirectSoundStream_AddRef", kStdcall, kPlaceholderBuild0),
    row(727, kManual, kFunction, "CDirectSoundStream_Discontinuity", kStdcall, kPlaceholderBuild0),
    row(728, kManual, kFunction, "CDirectSoundStream_Flush", kStdcall, kPlaceholderBuild0),
    row(730, kManual, kFunction, "CDirectSoundStream_GetInfo", kStdcall, kPlaceholderBuild0),
    row(731, kManual, kFunction, "CDirectSoundStream_GetStatus", kStdcall, kPlaceholderBuild0),
    row(735, kManual, kFunction, "CDirectSoundStream_Process", kStdcall, kPlaceholderBuild0),
    row(736, kManual, kFunction, "CDirectSoundStream_Release", kStdcall, kPlaceholderBuild0),
    row(726, kManual, kFunction, "CDirectSoundStream_Constructor", kThiscall),
};

} // namespace

constinit const LibraryDatabase Fenxi_GroupDSoundStream{
    FENX_LIB_DSOUND, 2, {"DSOUND", ".rdata"}, std::size(kEntries), kEntries,
};
