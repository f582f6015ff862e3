#include "support/cli_test_database.h"

#include "lib/database/catalogue.h"
#include "support/synthetic_database.h"

namespace {

std::vector<std::uint8_t> pattern_of(std::uint8_t tag) {
    return {0xF4, tag, 0x8B, 0xFF, 0x55, tag, 0x8B, 0xEC};
}

std::vector<OOVPAPair> pairs_of(std::uint8_t tag) {
    std::vector<OOVPAPair> pairs;
    const std::vector<std::uint8_t> pattern = pattern_of(tag);
    for (std::uint16_t i = 0; i < pattern.size(); ++i)
        pairs.push_back({i, pattern[i]});
    return pairs;
}

std::uint16_t index_of(const char *canonical) {
    return static_cast<std::uint16_t>(Fenxi_SymbolIndexByName(canonical));
}

// Parameter names long enough that the ninth does not fit in the 256-byte parameter text.
const OOVPAParam kLongParams[] = {
    {FENX_PARAM_PSH, "WidthOfTheTextureInTexelsAtTheTopMostLevel"},
    {FENX_PARAM_PSH, "HeightOfTheTextureInTexelsAtTheTopMostLevel"},
    {FENX_PARAM_PSH, "DepthOfTheVolumeTextureInTexelsAtTheTop"},
    {FENX_PARAM_PSH, "NumberOfMipLevelsWantedForThisTexture"},
    {FENX_PARAM_PSH, "UsageFlagsOfTheTextureResourceToCreate"},
    {FENX_PARAM_PSH, "FormatOfTheTexelsStoredInThisTextureHere"},
    {FENX_PARAM_PSH, "isCube"},
    {FENX_PARAM_DL, "isVolume"},
    {FENX_PARAM_EDI, "ppTexture"},
};

struct Built {
    SyntheticDatabase db;
    std::vector<CliTestSymbol> symbols;

    Built() {
        const std::uint32_t d3d = db.group(FENX_LIB_D3D8 | FENX_LIB_D3D8LTCG, {"D3D"});
        add(d3d, 1, index_of("D3DDevice_GetViewport"), "D3DDevice_GetViewport",
            FENX_SYMBOL_FUNCTION, FENX_CALL_STDCALL, {{FENX_PARAM_PSH, "pViewport"}});
        add(d3d, 2, index_of("D3DDevice_DrawVertices"), "D3DDevice_DrawVertices_4__LTCG_ecx2_eax3",
            FENX_SYMBOL_FUNCTION, FENX_CALL_UNKNOWN,
            {{FENX_PARAM_PSH, "PrimitiveType"},
             {FENX_PARAM_ECX, "StartVertex"},
             {FENX_PARAM_EAX, "VertexCount"}});
        add(d3d, 3, index_of("D3DDevice_DrawVertices"), "D3DDevice_DrawVertices",
            FENX_SYMBOL_FUNCTION, FENX_CALL_STDCALL, {{FENX_PARAM_PSH, "PrimitiveType"}});
        add(d3d, 4, index_of("D3D_UpdateProjectionViewportTransform"),
            "D3D_UpdateProjectionViewportTransform", FENX_SYMBOL_FUNCTION, FENX_CALL_STDCALL,
            {{FENX_PARAM_VOID, ""}, {FENX_PARAM_PSH, "Ignored"}});
        add(d3d, 5, index_of("D3D_g_pDevice"), "D3D_g_pDevice", FENX_SYMBOL_VARIABLE,
            FENX_CALL_NONE, {{FENX_PARAM_UNK, ""}});
        add(d3d, 6, index_of("D3DDevice__m_VerticalBlankEvent__GenericFragment"),
            "D3DDevice__m_VerticalBlankEvent__GenericFragment", FENX_SYMBOL_OTHER, FENX_CALL_NONE,
            {{FENX_PARAM_UNK, ""}});
        add(d3d, 7, index_of("D3D_CreateTexture"), "D3D_CreateTexture_28__LTCG_dl8_edi9",
            FENX_SYMBOL_FUNCTION, FENX_CALL_UNKNOWN,
            std::vector<OOVPAParam>(std::begin(kLongParams), std::end(kLongParams)));
        const std::uint32_t online = db.group(FENX_LIB_XONLINEN, {"XONLINE"});
        add(online, 8, index_of("XOnlineLogon"), "XOnlineLogon", FENX_SYMBOL_FUNCTION,
            FENX_CALL_STDCALL, {{FENX_PARAM_PSH, "pUsers"}});
    }

    void add(std::uint32_t group, std::uint8_t tag, std::uint16_t index, const char *name,
             std::uint32_t type, std::uint32_t convention, std::vector<OOVPAParam> params) {
        db.entry(group, index, FENX_SCAN_AUTOMATIC, name, {{3911, db.record(0, 0, pairs_of(tag))}},
                 type, convention, std::move(params));
        symbols.push_back({group == 0 ? "D3D" : "XONLINE", pattern_of(tag)});
    }
};

Built &built() {
    static Built instance;
    return instance;
}

} // namespace

const std::vector<CliTestSymbol> &cli_test_symbols() {
    return built().symbols;
}

const FenxDatabase &cli_test_database() {
    return built().db.database();
}
