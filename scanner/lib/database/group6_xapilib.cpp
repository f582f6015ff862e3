// XAPI: runtime start-up, threads, devices and memory units.
//
// Rows in scan order: index, scan marks, type, name, calling convention, parameters and
// revisions. The signatures themselves are data: records/*.records, in the generated
// records/generated.cpp.
#include <iterator>

#include "lib/database/groups.h"
#include "lib/database/table_rows.h"

namespace {

using namespace fenxi_db;

constexpr OOVPAParam kXapiMapLetterToDirectoryParams[] = {
    {FENX_PARAM_PSH, "pDriveString"},  {FENX_PARAM_PSH, "pDeviceString"},
    {FENX_PARAM_PSH, "pszTitleId"},    {FENX_PARAM_PSH, "bCreateDirectory"},
    {FENX_PARAM_PSH, "pwszTitleName"}, {FENX_PARAM_PSH, "bUpdateTimestamp"}};
constexpr OOVPAParam kGetTypeInformation2Params[] = {{FENX_PARAM_CL, "XidType"},
                                                     {FENX_PARAM_EDX, "pTypeIndex"}};

constexpr OOVPATable kEntries[] = {
    row(1068, kManual, kVariable, "_tls_array", kNone, kPlaceholderBuild0),
    row(1069, kManual, kVariable, "_tls_index", kNone, kPlaceholderBuild0),
    row(1070, kManual, kVariable, "g_DeviceType_Gamepad", kNone, kPlaceholderBuild0),
    row(1071, kManual, kVariable, "g_DeviceType_IRDongle", kNone, kPlaceholderBuild0),
    row(1072, kManual, kVariable, "g_DeviceType_Keyboard", kNone, kPlaceholderBuild0),
    row(1073, kManual, kVariable, "g_DeviceType_Mouse", kNone, kPlaceholderBuild0),
    row(1074, kManual, kVariable, "g_DeviceType_MU", kNone, kPlaceholderBuild0),
    row(1075, kManual, kVariable, "g_DeviceType_SBC", kNone, kPlaceholderBuild0),
    row(1076, kManual, kVariable, "g_DeviceTypeInfoTableBegin", kNone, kPlaceholderBuild0),
    row(1077, kManual, kVariable, "g_DeviceTypeInfoTableEnd", kNone, kPlaceholderBuild0),
    row(1079, kManual, kVariable, "g_XapiAltLett_MU", kNone, kPlaceholderBuild0),
    row(1078, kManual, kVariable, "g_XapiCurrentTopLevelFilter", kNone, kPlaceholderBuild0),
    row(1080, kManual, kVariable, "g_XapiMountedMUs", kNone, kPlaceholderBuild0),
    row(1081, kManual, kVariable, "XapiCurrentFiber_OFFSET", kNone, kPlaceholderBuild0),
    row(1082, kManual, kVariable, "XapiLastErrorCode_OFFSET", kNone, kPlaceholderBuild0),
    row(1083, kManual, kVariable, "XapiThreadFiberData_OFFSET", kNone, kPlaceholderBuild0),
    row(1130, kManual, kVariable, "XapiThreadNotifyRoutineList", kNone, kPlaceholderBuild0),
    row(1086, kAuto, kFunction, "_cinit", kStdcall),
    row(1087, kAuto, kFunction, "_rtinit", kStdcall),
    row(1084, kManualAndAuto, kFunction, "IUsbInit_GetMaxDeviceTypeCount", kThiscall),
    row(1125, kAuto, kFunction, "XapiFormatObjectAttributes", kStdcall),
    row(1124, kAuto, kFunction, "XapiCallThreadNotifyRoutines", kStdcall),
    row(1127, kManual, kFunction, "XapiMapLetterToDirectory", kStdcall,
        kXapiMapLetterToDirectoryParams),
    row(1139, kManual, kFunction, "XGetSectionSize", kStdcall, kPlaceholderBuild0),
    row(1150, kAuto, kFunction, "XLaunchNewImageA", kStdcall),
    row(1162, kAuto, kFunction, "XUnmountAlternateTitleA", kStdcall),
    row(1103, kAuto, kFunction, "mainXapiStartup", kStdcall),
    row(1096, kAuto, kFunction, "GetLastError", kStdcall),
    row(1114, kAuto, kFunction, "SetLastError", kStdcall),
    row(1122, kAuto, kFunction, "UnhandledExceptionFilter", kStdcall),
    row(1123, kAuto, kFunction, "XapiBootToDash", kStdcall),
    row(1128, kAuto, kFunction, "XapiSelectCachePartition", kStdcall),
    row(1129, kAuto, kFunction, "XapiSetLastNTError", kStdcall),
    row(1131, kAuto, kFunction, "XapiThreadStartup", kStdcall),
    row(1089, kAuto, kFunction, "CreateEventA", kStdcall),
    row(1091, kAuto, kFunction, "CreateMutexA", kStdcall),
    row(1092, kAuto, kFunction, "CreateThread", kStdcall),
    row(1094, kAuto, kFunction, "ExitThread", kStdcall),
    row(1104, kAuto, kFunction, "MoveFileA", kStdcall),
    row(1119, kAuto, kFunction, "SwitchToThread", kStdcall),
    row(1126, kAuto, kFunction, "XapiInitProcess", kStdcall),
    row(1088, kAuto, kFunction, "ConvertThreadToFiber", kStdcall),
    row(1133, kAuto, kFunction, "XCalculateSignatureBegin", kStdcall),
    row(1090, kAuto, kFunction, "CreateFiber", kStdcall),
    row(1093, kAuto, kFunction, "DeleteFiber", kStdcall),
    row(1095, kAuto, kFunction, "GetExitCodeThread", kStdcall),
    row(1097, kAuto, kFunction, "GetOverlappedResult", kStdcall),
    row(1098, kAuto, kFunction, "GetThreadPriority", kStdcall),
    row(1099, kAuto, kFunction, "GetTimeZoneInformation", kStdcall),
    row(1100, kManual, kFunction, "GetTypeInformation", kFastcall),
    row(1101, kManualAndAuto, kFunction, "GetTypeInformation2", kFastcall,
        kGetTypeInformation2Params),
    row(1085, kManual, kFunction, "MU_Init", kStdcall),
    row(1105, kAuto, kFunction, "OpenEventA", kStdcall),
    row(1106, kAuto, kFunction, "OutputDebugStringA", kStdcall),
    row(1107, kAuto, kFunction, "OutputDebugStringW", kStdcall),
    row(1102, kAuto, kFunction, "mainCRTStartup", kCdecl),
    row(1108, kAuto, kFunction, "PulseEvent", kStdcall),
    row(1109, kAuto, kFunction, "QueueUserAPC", kStdcall),
    row(1110, kAuto, kFunction, "QueryPerformanceCounter", kStdcall),
    row(1111, kAuto, kFunction, "RaiseException", kStdcall),
    row(1112, kAuto, kFunction, "ResetEvent", kStdcall),
    row(1113, kAuto, kFunction, "SetEvent", kStdcall),
    row(1115, kAuto, kFunction, "SetThreadPriority", kStdcall),
    row(1116, kAuto, kFunction, "SetThreadPriorityBoost", kStdcall),
    row(1117, kAuto, kFunction, "SignalObjectAndWait", kStdcall),
    row(1118, kAuto, kFunction, "SwitchToFiber", kStdcall),
    row(1132, kAuto, kFunction, "XAutoPowerDownResetTimer", kStdcall),
    row(1134, kAuto, kFunction, "XFormatUtilityDrive", kStdcall),
    row(1135, kAuto, kFunction, "XGetDeviceChanges", kStdcall),
    row(1136, kAuto, kFunction, "XGetDeviceEnumerationStatus", kStdcall),
    row(1137, kAuto, kFunction, "XGetDevices", kStdcall),
    row(1138, kAuto, kFunction, "XGetLaunchInfo", kStdcall),
    row(1140, kAuto, kFunction, "XID_fCloseDevice", kThiscall),
    row(1141, kAuto, kFunction, "XInitDevices", kStdcall),
    row(1142, kAuto, kFunction, "XInputClose", kStdcall),
    row(1143, kAuto, kFunction, "XInputGetCapabilities", kStdcall),
    row(1144, kAuto, kFunction, "XInputGetDeviceDescription", kStdcall),
    row(1145, kAuto, kFunction, "XInputGetState", kStdcall),
    row(1146, kManualAndAuto, kFunction, "XInputOpen", kStdcall),
    row(1147, kAuto, kFunction, "XInputPoll", kStdcall),
    row(1148, kAuto, kFunction, "XInputSetLightgunCalibration", kStdcall),
    row(1149, kAuto, kFunction, "XInputSetState", kStdcall),
    row(1151, kAuto, kFunction, "XMountAlternateTitleA", kStdcall),
    row(1152, kAuto, kFunction, "XMountMUA", kStdcall),
    row(1153, kAuto, kFunction, "XMountMURootA", kStdcall),
    row(1154, kAuto, kFunction, "XMountUtilityDrive", kStdcall),
    row(1155, kAuto, kFunction, "XMUNameFromDriveLetter", kStdcall),
    row(1156, kAuto, kFunction, "XMUPortFromDriveLetterA", kStdcall),
    row(1157, kAuto, kFunction, "XMUSlotFromDriveLetterA", kStdcall),
    row(1158, kAuto, kFunction, "XMUWriteNameToDriveLetter", kStdcall),
    row(1159, kAuto, kFunction, "XReadMUMetaData", kStdcall),
    row(1160, kAuto, kFunction, "XRegisterThreadNotifyRoutine", kStdcall),
    row(1161, kAuto, kFunction, "XSetProcessQuantumLength", kStdcall),
    row(1163, kAuto, kFunction, "XUnmountMU", kStdcall),
    row(1164, kAuto, kFunction, "XapiFiberStartup", kCdecl),
    row(1120, kAuto, kFunction, "timeKillEvent", kStdcall),
    row(1121, kAuto, kFunction, "timeSetEvent", kStdcall),
};

} // namespace

constinit const LibraryDatabase Fenxi_GroupXapiLib{
    FENX_LIB_XAPILIB, 2, {".text", "XPP"}, std::size(kEntries), kEntries,
};
