// XACT sound engine.
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
    row(1055, kAuto, kFunction, "XACTEngineCreate", kStdcall),
    row(1056, kAuto, kFunction, "XACTEngineDoWork", kStdcall),
    row(1047, kAuto, kFunction, "XACT_CEngine_CreateSoundBank", kStdcall),
    row(1049, kAuto, kFunction, "XACT_CEngine_CreateSoundSource", kStdcall),
    row(1048, kAuto, kFunction, "XACT_CEngine_DownloadEffectsImage", kStdcall),
    row(1053, kAuto, kFunction, "XACT_CEngine_GetNotification", kStdcall),
    row(1052, kAuto, kFunction, "XACT_CEngine_RegisterNotification", kStdcall),
    row(1046, kAuto, kFunction, "XACT_CEngine_RegisterStreamedWaveBank", kStdcall),
    row(1045, kAuto, kFunction, "XACT_CEngine_RegisterWaveBank", kStdcall),
    row(1054, kAuto, kFunction, "XACT_CEngine_UnRegisterWaveBank", kStdcall),
    row(1050, kAuto, kFunction, "XACT_CSoundBank_GetSoundCueIndexFromFriendlyName", kStdcall),
    row(1051, kAuto, kFunction, "XACT_CSoundBank_Play", kStdcall),
    row(1057, kAuto, kFunction, "IXACTEngine_CreateSoundBank", kStdcall),
    row(1058, kAuto, kFunction, "IXACTEngine_CreateSoundSource", kStdcall),
    row(1059, kAuto, kFunction, "IXACTEngine_DownloadEffectsImage", kStdcall),
    row(1060, kAuto, kFunction, "IXACTEngine_GetNotification", kStdcall),
    row(1061, kAuto, kFunction, "IXACTEngine_RegisterNotification", kStdcall),
    row(1062, kAuto, kFunction, "IXACTEngine_RegisterStreamedWaveBank", kStdcall),
    row(1063, kAuto, kFunction, "IXACTEngine_RegisterWaveBank", kStdcall),
    row(1064, kAuto, kFunction, "IXACTEngine_UnRegisterWaveBank", kStdcall),
    row(1065, kAuto, kFunction, "IXACTSoundBank_GetSoundCueIndexFromFriendlyName", kStdcall),
    row(1066, kAuto, kFunction, "IXACTSoundBank_Play", kStdcall),
    row(1067, kAuto, kFunction, "IXACTSoundBank_PlayEx", kStdcall),
};

} // namespace

constinit const LibraryDatabase Fenxi_GroupXactEng{
    FENX_LIB_XACTENG, 1, {"XACTENG"}, std::size(kEntries), kEntries,
};
