#include "support/derivation_cli_database.h"

#include "lib/database/catalogue.h"
#include "support/synthetic_database.h"

namespace {

std::uint16_t index_of(const char *canonical) {
    return static_cast<std::uint16_t>(Fenxi_SymbolIndexByName(canonical));
}

struct Built {
    SyntheticDatabase db;
    DerivationCliCode code{
        {0x40, {{8, 386}, {12, 402}, {16, 403}, {20, 405}}},
        {0x41, {}},
        {0x42, {}},
        {0x43, {}},
        {0x44, {{8, 1076}, {12, 1077}}},
        {0x45, {}},
    };

    Built() {
        const std::uint32_t d3d = db.group(FENX_LIB_D3D8 | FENX_LIB_D3D8LTCG, {"D3D"});
        db.entry(d3d, 442, FENX_SCAN_MANUAL, "D3D_CommonSetDebugRegisters",
                 {{3911, code.debug_registers.record(db)}}, FENX_SYMBOL_FUNCTION, FENX_CALL_STDCALL,
                 {{FENX_PARAM_VOID, ""}});
        variable(d3d, 386, "D3D_g_pDevice");
        db.entry(d3d, 598, FENX_SCAN_MANUAL, "D3DDevice_SetRenderState_Simple",
                 {{3911, code.render_state_simple.record(db)}}, FENX_SYMBOL_FUNCTION,
                 FENX_CALL_FASTCALL, {{FENX_PARAM_ECX, "Method"}, {FENX_PARAM_EDX, "Value"}});
        db.entry(d3d, index_of("D3DDevice_GetViewport"), FENX_SCAN_AUTOMATIC,
                 "D3DDevice_GetViewport", {{3911, code.get_viewport.record(db)}},
                 FENX_SYMBOL_FUNCTION, FENX_CALL_STDCALL, {{FENX_PARAM_PSH, "pViewport"}});

        const std::uint32_t dsound = db.group(FENX_LIB_DSOUND, {"DSOUND", ".rdata"});
        db.entry(dsound, 726, FENX_SCAN_MANUAL, "CDirectSoundStream_Constructor",
                 {{3911, code.stream_constructor.record(db)}}, FENX_SYMBOL_FUNCTION,
                 FENX_CALL_THISCALL, {{FENX_PARAM_ECX, "this"}});
        for (const auto &[index, name] : std::vector<std::pair<std::uint16_t, const char *>>{
                 {725, "CDirectSoundStream_AddRef"},
                 {736, "CDirectSoundStream_Release"},
                 {730, "CDirectSoundStream_GetInfo"},
                 {731, "CDirectSoundStream_GetStatus"},
                 {735, "CDirectSoundStream_Process"},
                 {727, "CDirectSoundStream_Discontinuity"},
                 {728, "CDirectSoundStream_Flush"}})
            db.entry(dsound, index, FENX_SCAN_MANUAL, name, {{0, db.record(0, 0, {})}},
                     FENX_SYMBOL_FUNCTION, FENX_CALL_STDCALL, {{FENX_PARAM_PSH, "pThis"}});

        const std::uint32_t xapi = db.group(FENX_LIB_XAPILIB, {".text", "XPP"});
        db.entry(xapi, 1100, FENX_SCAN_MANUAL, "GetTypeInformation",
                 {{3911, code.get_type_information.record(db)}}, FENX_SYMBOL_FUNCTION,
                 FENX_CALL_FASTCALL, {{FENX_PARAM_ECX, "pDeviceType"}});
        variable(xapi, 1070, "g_DeviceType_Gamepad");
        variable(xapi, 1073, "g_DeviceType_Mouse");
        variable(xapi, 1076, "g_DeviceTypeInfoTableBegin");
        variable(xapi, 1077, "g_DeviceTypeInfoTableEnd");
        db.entry(xapi, index_of("XInputGetState"), FENX_SCAN_AUTOMATIC, "XInputGetState",
                 {{3911, code.input_get_state.record(db)}}, FENX_SYMBOL_FUNCTION, FENX_CALL_STDCALL,
                 {{FENX_PARAM_PSH, "hDevice"}, {FENX_PARAM_PSH, "pState"}});
    }

    void variable(std::uint32_t group, std::uint16_t index, const char *name) {
        db.entry(group, index, FENX_SCAN_MANUAL, name, {{0, db.record(0, 0, {})}},
                 FENX_SYMBOL_VARIABLE, FENX_CALL_NONE);
    }
};

Built &built() {
    static Built instance;
    return instance;
}

} // namespace

const DerivationCliCode &derivation_cli_code() {
    return built().code;
}

const FenxDatabase &derivation_cli_database() {
    return built().db.database();
}
