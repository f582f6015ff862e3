// JVS I/O board library of arcade images; numbered entries are further code variants.
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
    row(1026, kManual, kVariable, "JVS_g_pPINSA", kNone, kPlaceholderBuild4831),
    row(1027, kManual, kVariable, "JVS_g_pPINSB", kNone, kPlaceholderBuild4831),
    row(1009, kAuto, kVariable, "JVS_SendCommand_String", kNone),
    row(1010, kAuto, kVariable, "JvsBACKUP_Read_String", kNone),
    row(1011, kAuto, kVariable, "JvsBACKUP_Write_String", kNone),
    row(1012, kAuto, kVariable, "JvsEEPROM_Read_String", kNone),
    row(1013, kAuto, kVariable, "JvsEEPROM_Write_String", kNone),
    row(1014, kAuto, kVariable, "JvsFirmwareDownload_String", kNone),
    row(1015, kAuto, kVariable, "JvsFirmwareUpload_String", kNone),
    row(1016, kAuto, kVariable, "JvsNodeReceivePacket_String", kNone),
    row(1017, kAuto, kVariable, "JvsNodeSendPacket_String", kNone),
    row(1018, kAuto, kVariable, "JvsRTC_Read_String", kNone),
    row(1019, kAuto, kVariable, "JvsRTC_Write_String", kNone),
    row(1020, kAuto, kVariable, "JvsScFirmwareDownload_String", kNone),
    row(1021, kAuto, kVariable, "JvsScFirmwareUpload_String", kNone),
    row(1022, kAuto, kVariable, "JvsScReceiveMidi_String", kNone),
    row(1023, kAuto, kVariable, "JvsScReceiveRs323c_String", kNone),
    row(1024, kAuto, kVariable, "JvsScSendMidi_String", kNone),
    row(1025, kAuto, kVariable, "JvsScSendRs323c_String", kNone),
    row(1028, kAuto, kFunction, "JVS_SendCommand", kStdcall),
    row(1028, kAuto, kFunction, "JVS_SendCommand2", kStdcall),
    row(1028, kAuto, kFunction, "JVS_SendCommand3", kStdcall),
    row(1029, kAuto, kFunction, "JvsBACKUP_Read", kStdcall),
    row(1029, kAuto, kFunction, "JvsBACKUP_Read2", kStdcall),
    row(1029, kAuto, kFunction, "JvsBACKUP_Read3", kStdcall),
    row(1030, kAuto, kFunction, "JvsBACKUP_Write", kStdcall),
    row(1030, kAuto, kFunction, "JvsBACKUP_Write2", kStdcall),
    row(1031, kAuto, kFunction, "JvsEEPROM_Read", kStdcall),
    row(1031, kAuto, kFunction, "JvsEEPROM_Read2", kStdcall),
    row(1031, kAuto, kFunction, "JvsEEPROM_Read3", kStdcall),
    row(1032, kAuto, kFunction, "JvsEEPROM_Write", kStdcall),
    row(1032, kAuto, kFunction, "JvsEEPROM_Write2", kStdcall),
    row(1032, kAuto, kFunction, "JvsEEPROM_Write3", kStdcall),
    row(1033, kAuto, kFunction, "JvsFirmwareDownload", kStdcall),
    row(1033, kAuto, kFunction, "JvsFirmwareDownload2", kStdcall),
    row(1033, kAuto, kFunction, "JvsFirmwareDownload3", kStdcall),
    row(1033, kAuto, kFunction, "JvsFirmwareDownload4", kStdcall),
    row(1034, kAuto, kFunction, "JvsFirmwareUpload", kStdcall),
    row(1034, kAuto, kFunction, "JvsFirmwareUpload2", kStdcall),
    row(1034, kAuto, kFunction, "JvsFirmwareUpload3", kStdcall),
    row(1034, kAuto, kFunction, "JvsFirmwareUpload4", kStdcall),
    row(1035, kAuto, kFunction, "JvsNodeReceivePacket", kStdcall),
    row(1035, kAuto, kFunction, "JvsNodeReceivePacket2", kStdcall),
    row(1036, kAuto, kFunction, "JvsNodeSendPacket", kStdcall),
    row(1036, kAuto, kFunction, "JvsNodeSendPacket2", kStdcall),
    row(1037, kAuto, kFunction, "JvsRTC_Read", kStdcall),
    row(1037, kAuto, kFunction, "JvsRTC_Read2", kStdcall),
    row(1037, kAuto, kFunction, "JvsRTC_Read3", kStdcall),
    row(1038, kAuto, kFunction, "JvsRTC_Write", kStdcall),
    row(1038, kAuto, kFunction, "JvsRTC_Write2", kStdcall),
    row(1039, kAuto, kFunction, "JvsScFirmwareDownload", kStdcall),
    row(1039, kAuto, kFunction, "JvsScFirmwareDownload2", kStdcall),
    row(1039, kAuto, kFunction, "JvsScFirmwareDownload3", kStdcall),
    row(1039, kAuto, kFunction, "JvsScFirmwareDownload4", kStdcall),
    row(1040, kAuto, kFunction, "JvsScFirmwareUpload", kStdcall),
    row(1040, kAuto, kFunction, "JvsScFirmwareUpload2", kStdcall),
    row(1040, kAuto, kFunction, "JvsScFirmwareUpload3", kStdcall),
    row(1041, kAuto, kFunction, "JvsScReceiveMidi", kStdcall),
    row(1041, kAuto, kFunction, "JvsScReceiveMidi2", kStdcall),
    row(1042, kAuto, kFunction, "JvsScReceiveRs323c", kStdcall),
    row(1042, kAuto, kFunction, "JvsScReceiveRs323c2", kStdcall),
    row(1043, kAuto, kFunction, "JvsScSendMidi", kStdcall),
    row(1043, kAuto, kFunction, "JvsScSendMidi2", kStdcall),
    row(1044, kAuto, kFunction, "JvsScSendRs323c", kStdcall),
    row(1044, kAuto, kFunction, "JvsScSendRs323c2", kStdcall),
};

} // namespace

constinit const LibraryDatabase Fenxi_GroupJVS{
    FENX_LIB_JVS, 2, {".text", "FLASHROM"}, std::size(kEntries), kEntries,
};
