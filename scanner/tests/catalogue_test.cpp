// The built-in catalogue: names by index, the ten groups and their entries, the known signature
// records and the placeholder revisions, checked against the figures of the catalogue.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "lib/database/catalogue.h"
#include "lib/oovpa.h"

namespace {

const LibraryDatabase &group(std::uint32_t number) {
    return Fenxi_BuiltinDatabase().Groups[number];
}

// The entry of a group with the given name; nullptr when there is none.
const OOVPATable *find_entry(std::uint32_t group_number, const std::string &name) {
    const LibraryDatabase &g = group(group_number);
    for (std::uint32_t i = 0; i < g.EntryCount; ++i) {
        if (name == g.Entries[i].Name)
            return &g.Entries[i];
    }
    return nullptr;
}

template <typename Visit> void for_each_entry(Visit visit) {
    const FenxDatabase &db = Fenxi_BuiltinDatabase();
    for (std::uint32_t g = 0; g < db.GroupCount; ++g) {
        for (std::uint32_t i = 0; i < db.Groups[g].EntryCount; ++i)
            visit(g, db.Groups[g].Entries[i]);
    }
}

// The packed form of a record: 0, XRefCount, DetectSelect, Count, then little-endian pairs.
std::vector<std::uint8_t> packed(const OOVPA &record) {
    std::vector<std::uint8_t> bytes{0, record.XRefCount, record.DetectSelect, record.Count};
    for (std::uint32_t i = 0; i < record.Count; ++i) {
        const OOVPAPair &pair = record.Pairs[i];
        bytes.push_back(static_cast<std::uint8_t>(pair.Offset & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(pair.Offset >> 8));
        bytes.push_back(static_cast<std::uint8_t>(pair.Value & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(pair.Value >> 8));
    }
    return bytes;
}

std::vector<std::uint8_t> packed(std::uint8_t xref_count, std::uint8_t detect_select,
                                 const std::vector<OOVPAPair> &pairs) {
    OOVPA record{xref_count, detect_select, static_cast<std::uint8_t>(pairs.size()), pairs.data()};
    return packed(record);
}

bool is_placeholder(const OOVPATable &entry) {
    return entry.RevisionCount == 1 && entry.Revisions[0].Oovpa->Count == 0;
}

} // namespace

TEST(CatalogueNames, SymbolNameByIndex) {
    struct Case {
        std::uint32_t index;
        const char *name; // nullptr: no name
    };
    const Case cases[] = {
        {0, nullptr},
        {1, nullptr}, // kernel ordinals have no catalogue name
        {378, nullptr},
        {379, nullptr},
        {380, "D3DDevice__m_VerticalBlankEvent__GenericFragment"},
        {381, "D3DRS_Stencils_and_Occlusion__GenericFragment"},
        {382, "D3D_g_RenderState"},
        {386, "D3D_g_pDevice"},
        {387, "D3D_g_Stream"},
        {393, "D3DRS_FogEnable"},
        {405, "D3DRS_DoNotCullUncompressed"},
        {413, "D3DTSS_TEXCOORDINDEX"},
        {422, "D3DDevice__m_VertexShader_OFFSET"},
        {442, "D3D_CommonSetDebugRegisters"},
        {598, "D3DDevice_SetRenderState_Simple"},
        {608, "D3DDevice_SetRenderStateNotInline"},
        {616, "D3DDevice_SetStreamSource"},
        {624, "D3DDevice_SetTextureState_TexCoordIndex"},
        {674, "D3DDevice_SetRenderStateInline__GenericFragment"},
        {677, "DSS_VOICE_VTABLE"},
        {678, "DSS_STREAM_VTABLE"},
        {725, "CDirectSoundStream_AddRef"},
        {726, "CDirectSoundStream_Constructor"},
        {736, "CDirectSoundStream_Release"},
        {754, "CDirectSoundStream_SetMixBinVolumes_12"},
        {755, "CDirectSoundStream_SetMixBinVolumes_8"},
        {1026, "JVS_g_pPINSA"},
        {1027, "JVS_g_pPINSB"},
        {1068, "_tls_array"},
        {1074, "g_DeviceType_MU"},
        {1075, "g_DeviceType_SBC"},
        {1078, "g_XapiCurrentTopLevelFilter"},
        {1079, "g_XapiAltLett_MU"},
        {1084, "IUsbInit_GetMaxDeviceTypeCount"},
        {1085, "MU_Init"},
        {1100, "GetTypeInformation"},
        {1101, "GetTypeInformation2"},
        {1127, "XapiMapLetterToDirectory"},
        {1130, "XapiThreadNotifyRoutineList"},
        {1139, "XGetSectionSize"},
        {1146, "XInputOpen"},
        {1177, "XnInit"},
        {1199, "XOnlineMatchSessionUpdate"},
        {1200, "XoUpdateLaunchNewImageInternal"},
        {1201, nullptr},
        {0xFFFF, nullptr},
        {0xFFFFFFFF, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.index);
        const char *name = Fenx_SymbolName(c.index);
        if (c.name == nullptr)
            EXPECT_EQ(name, nullptr);
        else
            EXPECT_STREQ(name, c.name);
    }
}

TEST(CatalogueNames, EveryIndexHasOneDistinctNameThatMapsBack) {
    std::set<std::string> seen;
    for (std::uint32_t index = FENX_SYMBOL_INDEX_FIRST; index <= FENX_SYMBOL_INDEX_LAST; ++index) {
        const char *name = Fenx_SymbolName(index);
        ASSERT_NE(name, nullptr) << index;
        ASSERT_GT(std::strlen(name), 0u) << index;
        EXPECT_TRUE(seen.insert(name).second) << "name used twice: " << name;
        EXPECT_EQ(Fenxi_SymbolIndexByName(name), index) << name;
    }
    EXPECT_EQ(seen.size(), 821u);
    EXPECT_EQ(Fenxi_SymbolIndexByName("D3DDevice_DrawVertices_4__LTCG_ecx2_eax3"), 0u);
    EXPECT_EQ(Fenxi_SymbolIndexByName("d3d_g_renderstate"), 0u); // exact, case-sensitive
    EXPECT_EQ(Fenxi_SymbolIndexByName(""), 0u);
    EXPECT_EQ(Fenxi_SymbolIndexByName(nullptr), 0u);
}

TEST(CatalogueNames, CallConventionNames) {
    const std::pair<std::uint32_t, const char *> cases[] = {
        {0, "unknown"},  {1, "none"},    {2, "cdecl"},   {3, "stdcall"},          {4, "thiscall"},
        {5, "fastcall"}, {6, "unknown"}, {7, "unknown"}, {0xFFFFFFFF, "unknown"},
    };
    for (const auto &[code, name] : cases)
        EXPECT_STREQ(Fenx_CallConventionName(code), name) << code;
}

TEST(CatalogueNames, ParamLocationNames) {
    const char *const names[] = {"unk", "void", "psh2", "psh", "eax", "ax",  "ah", "al",
                                 "ebx", "bx",   "bh",   "bl",  "ecx", "cx",  "ch", "cl",
                                 "edx", "dx",   "dh",   "dl",  "ebp", "edi", "esi"};
    for (std::uint32_t code = 0; code < std::size(names); ++code)
        EXPECT_STREQ(Fenx_ParamLocationName(code), names[code]) << code;
    for (std::uint32_t code : {23u, 24u, 0x100u, 0xFFFFFFFFu})
        EXPECT_STREQ(Fenx_ParamLocationName(code), "unk") << code;
}

TEST(CatalogueGroups, LibrariesSectionsAndEntryCounts) {
    struct Case {
        std::uint32_t flags;
        std::vector<std::string> sections;
        std::uint32_t entries;
    };
    const std::uint32_t online =
        FENX_LIB_XONLINE | FENX_LIB_XONLINEN | FENX_LIB_XONLINES | FENX_LIB_XONLINLS;
    const Case cases[] = {
        {FENX_LIB_D3D8 | FENX_LIB_D3D8LTCG, {"D3D", "FLASHROM"}, 260},
        {FENX_LIB_D3D8LTCG, {"D3D", "FLASHROM"}, 199},
        {FENX_LIB_DSOUND, {"DSOUND", ".rdata"}, 8},
        {FENX_LIB_DSOUND, {"DSOUND"}, 328},
        {FENX_LIB_JVS, {".text", "FLASHROM"}, 65},
        {FENX_LIB_XACTENG, {"XACTENG"}, 23},
        {FENX_LIB_XAPILIB, {".text", "XPP"}, 97},
        {FENX_LIB_XGRAPHC, {"XGRPH"}, 12},
        {online, {"XONLINE"}, 14},
        {FENX_LIB_XNET | FENX_LIB_XNETN | FENX_LIB_XNETS | online, {"XNET", "XONLINE"}, 12},
    };
    const FenxDatabase &db = Fenxi_BuiltinDatabase();
    ASSERT_EQ(db.GroupCount, std::size(cases));
    std::uint32_t total = 0;
    for (std::uint32_t g = 0; g < db.GroupCount; ++g) {
        SCOPED_TRACE("group " + std::to_string(g));
        const LibraryDatabase &group = db.Groups[g];
        const Case &c = cases[g];
        EXPECT_EQ(group.LibraryFlags, c.flags);
        ASSERT_EQ(group.SectionCount, c.sections.size());
        for (std::uint32_t s = 0; s < group.SectionCount; ++s)
            EXPECT_STREQ(group.SectionNames[s], c.sections[s].c_str());
        EXPECT_EQ(group.EntryCount, c.entries);
        ASSERT_NE(group.Entries, nullptr);
        total += group.EntryCount;
    }
    EXPECT_EQ(total, 1018u);
}

TEST(CatalogueGroups, SampleRows) {
    struct Case {
        std::uint32_t group;
        std::uint32_t position;
        std::uint16_t index;
        std::uint32_t marks;
        std::uint32_t type;
        const char *name;
        std::uint32_t convention;
    };
    const std::uint32_t A = FENX_SCAN_AUTOMATIC, M = FENX_SCAN_MANUAL, MA = M | A;
    const std::uint32_t other = FENX_SYMBOL_OTHER, var = FENX_SYMBOL_VARIABLE,
                        fun = FENX_SYMBOL_FUNCTION;
    const Case cases[] = {
        {0, 0, 380, M, other, "D3DDevice__m_VerticalBlankEvent__GenericFragment", FENX_CALL_NONE},
        {0, 1, 381, M, other, "D3DRS_Stencils_and_Occlusion__GenericFragment", FENX_CALL_NONE},
        {0, 2, 386, M, var, "D3D_g_pDevice", FENX_CALL_NONE},
        {0, 8, 460, A, fun, "D3D_UpdateProjectionViewportTransform", FENX_CALL_STDCALL},
        {0, 9, 427, A, fun, "CDevice_InitializeFrameBuffers", FENX_CALL_THISCALL},
        {0, 25, 464, A, fun, "D3DDevice_BeginPush_8", FENX_CALL_STDCALL},
        {0, 26, 464, A, fun, "D3DDevice_BeginPush_4", FENX_CALL_STDCALL},
        {0, 136, 598, M, fun, "D3DDevice_SetRenderState_Simple", FENX_CALL_FASTCALL},
        {0, 170, 606, A, fun, "D3DDevice_SetRenderState_ZBias", FENX_CALL_STDCALL},
        {0, 176, 613, A, fun, "D3DDevice_SetShaderConstantMode", FENX_CALL_STDCALL},
        {0, 259, 673, A, fun, "IDirect3DVertexBuffer8_Lock", FENX_CALL_STDCALL},
        {1, 0, 446, A, fun, "D3D_CreateTexture_28__LTCG_dl8_edi9", FENX_CALL_UNKNOWN},
        {1, 1, 455, A, fun, "D3D_MakeRequestedSpace_8", FENX_CALL_STDCALL},
        {1, 37, 496, A, fun, "D3DDevice_DrawVertices_4__LTCG_ecx2_eax3", FENX_CALL_UNKNOWN},
        {1, 92, 576, MA, fun, "D3DDevice_SetRenderState_CullMode", FENX_CALL_STDCALL},
        {1, 94, 581, M, fun, "D3DDevice_SetRenderState_FillMode", FENX_CALL_STDCALL},
        {1, 120, 430, A, fun, "CDevice_SetStateUP_0__LTCG_esi1", FENX_CALL_UNKNOWN},
        {1, 188, 428, A, fun, "CDevice_KickOff_0__LTCG_eax1", FENX_CALL_UNKNOWN},
        {1, 198, 423, A, fun, "Lock2DSurface_16__LTCG_esi4_eax5", FENX_CALL_UNKNOWN},
        {2, 0, 725, M, fun, "CDirectSoundStream_AddRef", FENX_CALL_STDCALL},
        {2, 7, 726, M, fun, "CDirectSoundStream_Constructor", FENX_CALL_THISCALL},
        {3, 0, 884, A, fun, "XAudioCalculatePitch", FENX_CALL_STDCALL},
        {3, 14, 839, A, fun, "CMcpxAPU_SetMixBinHeadroom_8", FENX_CALL_THISCALL},
        {3, 75, 846, A, fun, "CMcpxBuffer_Play", FENX_CALL_THISCALL},
        {3, 222, 919, A, fun, "IDirectSoundBuffer_SetMixBinVolumes_12", FENX_CALL_STDCALL},
        {3, 327, 1008, A, fun, "XWaveFileCreateMediaObjectEx", FENX_CALL_STDCALL},
        {4, 0, 1026, M, var, "JVS_g_pPINSA", FENX_CALL_NONE},
        {4, 2, 1009, A, var, "JVS_SendCommand_String", FENX_CALL_NONE},
        {4, 20, 1028, A, fun, "JVS_SendCommand2", FENX_CALL_STDCALL},
        {4, 64, 1044, A, fun, "JvsScSendRs323c2", FENX_CALL_STDCALL},
        {5, 0, 1055, A, fun, "XACTEngineCreate", FENX_CALL_STDCALL},
        {5, 22, 1067, A, fun, "IXACTSoundBank_PlayEx", FENX_CALL_STDCALL},
        {6, 0, 1068, M, var, "_tls_array", FENX_CALL_NONE},
        {6, 17, 1086, A, fun, "_cinit", FENX_CALL_STDCALL},
        {6, 22, 1127, M, fun, "XapiMapLetterToDirectory", FENX_CALL_STDCALL},
        {6, 49, 1100, M, fun, "GetTypeInformation", FENX_CALL_FASTCALL},
        {6, 50, 1101, MA, fun, "GetTypeInformation2", FENX_CALL_FASTCALL},
        {6, 55, 1102, A, fun, "mainCRTStartup", FENX_CALL_CDECL},
        {6, 96, 1121, A, fun, "timeSetEvent", FENX_CALL_STDCALL},
        {7, 0, 1165, A, fun, "XFONT_OpenBitmapFontFromMemory", FENX_CALL_STDCALL},
        {7, 11, 1176, A, fun, "XGWriteSurfaceOrTextureToXPR", FENX_CALL_STDCALL},
        {8, 0, 1188, A, fun, "CXo_XOnlineLogon", FENX_CALL_THISCALL},
        {8, 1, 1194, A, fun, "XOnlineLogon", FENX_CALL_STDCALL},
        {8, 13, 1200, A, fun, "XoUpdateLaunchNewImageInternal_16", FENX_CALL_STDCALL},
        {9, 0, 1177, A, fun, "XnInit_8", FENX_CALL_STDCALL},
        {9, 1, 1177, A, fun, "XnInit_24", FENX_CALL_STDCALL},
        {9, 11, 1187, A, fun, "socket", FENX_CALL_THISCALL},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.group) + "/" + std::to_string(c.position) + " " + c.name);
        ASSERT_LT(c.position, group(c.group).EntryCount);
        const OOVPATable &entry = group(c.group).Entries[c.position];
        EXPECT_EQ(entry.SymbolIndex, c.index);
        EXPECT_EQ(entry.ScanMarks, c.marks);
        EXPECT_EQ(entry.SymbolType, c.type);
        EXPECT_STREQ(entry.Name, c.name);
        EXPECT_EQ(entry.CallConvention, c.convention);
    }
}

// Per group: how many entries of each convention, type and scan mark the catalogue lists.
TEST(CatalogueGroups, ConventionTypeAndMarkTotals) {
    struct Totals {
        std::uint32_t unknown, none, cdecl_, stdcall, thiscall, fastcall;
        std::uint32_t variables, others;
        std::uint32_t manual_only, manual_and_auto;
    };
    const Totals expected[] = {
        {0, 8, 0, 233, 9, 10, 6, 2, 14, 1}, {84, 1, 0, 111, 1, 2, 0, 1, 10, 1},
        {0, 0, 0, 7, 1, 0, 0, 0, 8, 0},     {0, 0, 0, 279, 49, 0, 0, 0, 0, 0},
        {0, 19, 0, 46, 0, 0, 19, 0, 2, 0},  {0, 0, 0, 23, 0, 0, 0, 0, 0, 0},
        {0, 17, 2, 74, 2, 2, 17, 0, 21, 3}, {0, 0, 0, 12, 0, 0, 0, 0, 0, 0},
        {0, 0, 0, 8, 6, 0, 0, 0, 0, 0},     {0, 0, 0, 5, 7, 0, 0, 0, 0, 0},
    };
    ASSERT_EQ(Fenxi_BuiltinDatabase().GroupCount, std::size(expected));
    for (std::uint32_t g = 0; g < std::size(expected); ++g) {
        SCOPED_TRACE("group " + std::to_string(g));
        Totals got{};
        const LibraryDatabase &lib = group(g);
        for (std::uint32_t i = 0; i < lib.EntryCount; ++i) {
            const OOVPATable &e = lib.Entries[i];
            std::uint32_t *by_convention[] = {&got.unknown, &got.none,     &got.cdecl_,
                                              &got.stdcall, &got.thiscall, &got.fastcall};
            ASSERT_LT(e.CallConvention, std::size(by_convention)) << e.Name;
            ++*by_convention[e.CallConvention];
            got.variables += e.SymbolType == FENX_SYMBOL_VARIABLE;
            got.others += e.SymbolType == FENX_SYMBOL_OTHER;
            got.manual_only += e.ScanMarks == FENX_SCAN_MANUAL;
            got.manual_and_auto += e.ScanMarks == (FENX_SCAN_MANUAL | FENX_SCAN_AUTOMATIC);
            EXPECT_NE(e.ScanMarks & (FENX_SCAN_MANUAL | FENX_SCAN_AUTOMATIC), 0u) << e.Name;
            EXPECT_EQ(e.ScanMarks & ~(FENX_SCAN_MANUAL | FENX_SCAN_AUTOMATIC), 0u) << e.Name;
        }
        const Totals &want = expected[g];
        EXPECT_EQ(got.unknown, want.unknown);
        EXPECT_EQ(got.none, want.none);
        EXPECT_EQ(got.cdecl_, want.cdecl_);
        EXPECT_EQ(got.stdcall, want.stdcall);
        EXPECT_EQ(got.thiscall, want.thiscall);
        EXPECT_EQ(got.fastcall, want.fastcall);
        EXPECT_EQ(got.variables, want.variables);
        EXPECT_EQ(got.others, want.others);
        EXPECT_EQ(got.manual_only, want.manual_only);
        EXPECT_EQ(got.manual_and_auto, want.manual_and_auto);
    }
}

TEST(CatalogueGroups, ConventionFollowsTypeAndLinkTimeVariants) {
    const std::set<std::string> ltcg_with_convention = {"D3D_BlockOnResource_0__LTCG_ecx1",
                                                        "D3DResource_GetType_0__LTCG_ecx1",
                                                        "D3DDevice_EnableOverlay_0__LTCG"};
    for_each_entry([&](std::uint32_t g, const OOVPATable &e) {
        SCOPED_TRACE(e.Name);
        const bool function = e.SymbolType == FENX_SYMBOL_FUNCTION;
        EXPECT_EQ(e.CallConvention == FENX_CALL_NONE, !function);
        const bool ltcg = std::strstr(e.Name, "__LTCG") != nullptr;
        if (ltcg) {
            EXPECT_EQ(g, 1u);
        }
        if (ltcg && !ltcg_with_convention.contains(e.Name)) {
            EXPECT_EQ(e.CallConvention, FENX_CALL_UNKNOWN);
        } else {
            EXPECT_NE(e.CallConvention, FENX_CALL_UNKNOWN);
        }
    });
}

// Every entry whose name is not a canonical name, with the canonical name of its index.
struct Variant {
    std::uint32_t group;
    const char *entry;
    const char *canonical;
};
const Variant kVariants[] = {
    {0, "CDevice_InitializeFrameBuffers", "D3D_CDevice_InitializeFrameBuffers"},
    {0, "CDevice_FreeFrameBuffers", "D3D_CDevice_FreeFrameBuffers"},
    {0, "CDevice_SetStateUP", "D3D_CDevice_SetStateUP"},
    {0, "CDevice_SetStateVB", "D3D_CDevice_SetStateVB"},
    {0, "CDevice_MakeSpace", "D3D_CDevice_MakeSpace"},
    {0, "CMiniport_CreateCtxDmaObject", "D3D_CMiniport_CreateCtxDmaObject"},
    {0, "CMiniport_InitHardware", "D3D_CMiniport_InitHardware"},
    {0, "CMiniport_IsFlipPending", "D3D_CMiniport_IsFlipPending"},
    {0, "D3DDevice_BeginPush_8", "D3DDevice_BeginPush"},
    {0, "D3DDevice_BeginPush_4", "D3DDevice_BeginPush"},
    {0, "CDevice_KickOff", "D3D_CDevice_KickOff"},
    {0, "CMiniport_GetDisplayCapabilities", "D3D_CMiniport_GetDisplayCapabilities"},
    {0, "Get2DSurfaceDesc", "D3D8_Get2DSurfaceDesc"},
    {0, "Lock2DSurface", "D3D8_Lock2DSurface"},
    {0, "Lock3DSurface", "D3D8_Lock3DSurface"},
    {0, "D3D_MakeRequestedSpace_4", "D3D_MakeRequestedSpace"},
    {0, "D3D_MakeRequestedSpace_8", "D3D_MakeRequestedSpace"},
    {1, "D3D_CreateTexture_28__LTCG_dl8_edi9", "D3D_CreateTexture"},
    {1, "D3D_MakeRequestedSpace_8", "D3D_MakeRequestedSpace"},
    {1, "D3D_MakeRequestedSpace_4__LTCG_eax2", "D3D_MakeRequestedSpace"},
    {1, "D3D_BlockOnTime_4__LTCG_eax1", "D3D_BlockOnTime"},
    {1, "CDevice_FreeFrameBuffers_0__LTCG_ebx1", "D3D_CDevice_FreeFrameBuffers"},
    {1, "CDevice_FreeFrameBuffers_4", "D3D_CDevice_FreeFrameBuffers"},
    {1, "CDevice_InitializeFrameBuffers_8", "D3D_CDevice_InitializeFrameBuffers"},
    {1, "CDevice_InitializeFrameBuffers_4__LTCG_esi1", "D3D_CDevice_InitializeFrameBuffers"},
    {1, "CDevice_InitializeFrameBuffers_4__LTCG_ebx1", "D3D_CDevice_InitializeFrameBuffers"},
    {1, "CDevice_InitializeFrameBuffers_4__LTCG_edi1", "D3D_CDevice_InitializeFrameBuffers"},
    {1, "CMiniport_InitHardware_4", "D3D_CMiniport_InitHardware"},
    {1, "D3DDevice_BeginPush_4", "D3DDevice_BeginPush"},
    {1, "D3DDevice_BeginPushBuffer_0__LTCG_edi1", "D3DDevice_BeginPushBuffer"},
    {1, "D3DDevice_CreateCubeTexture_4__LTCG_eax1_edx3_ecx4_edi6", "D3DDevice_CreateCubeTexture"},
    {1, "D3DDevice_CreateTexture_8__LTCG_edx3_ecx4_eax5_edi7", "D3DDevice_CreateTexture"},
    {1, "D3DDevice_CreateVolumeTexture_12__LTCG_edx4_ecx5_eax6_edi8",
     "D3DDevice_CreateVolumeTexture"},
    {1, "D3DDevice_DeletePixelShader_0__LTCG_eax1", "D3DDevice_DeletePixelShader"},
    {1, "D3DDevice_DeleteVertexShader_0__LTCG_eax1", "D3DDevice_DeleteVertexShader"},
    {1, "D3DDevice_DrawVertices_4__LTCG_ecx2_eax3", "D3DDevice_DrawVertices"},
    {1, "D3DDevice_DrawVertices_8__LTCG_eax3", "D3DDevice_DrawVertices"},
    {1, "D3DDevice_DrawVerticesUP_12__LTCG_ebx3", "D3DDevice_DrawVerticesUP"},
    {1, "D3DDevice_EnableOverlay_0__LTCG", "D3DDevice_EnableOverlay"},
    {1, "D3DDevice_EndVisibilityTest_0__LTCG_eax1", "D3DDevice_EndVisibilityTest"},
    {1, "D3DDevice_GetBackBuffer_8__LTCG_eax1", "D3DDevice_GetBackBuffer"},
    {1, "D3DDevice_GetBackBuffer2_0__LTCG_eax1", "D3DDevice_GetBackBuffer2"},
    {1, "D3DDevice_GetViewportOffsetAndScale_0__LTCG_edx1_ecx2",
     "D3DDevice_GetViewportOffsetAndScale"},
    {1, "D3DDevice_LightEnable_4__LTCG_eax1", "D3DDevice_LightEnable"},
    {1, "D3DDevice_LoadVertexShader_0__LTCG_ecx1_eax2", "D3DDevice_LoadVertexShader"},
    {1, "D3DDevice_LoadVertexShader_0__LTCG_edx1_eax2", "D3DDevice_LoadVertexShader"},
    {1, "D3DDevice_LoadVertexShader_4__LTCG_eax1", "D3DDevice_LoadVertexShader"},
    {1, "D3DDevice_MultiplyTransform_0__LTCG_ebx1_eax2", "D3DDevice_MultiplyTransform"},
    {1, "D3DDevice_Reset_0__LTCG_edi1", "D3DDevice_Reset"},
    {1, "D3DDevice_Reset_0__LTCG_ebx1", "D3DDevice_Reset"},
    {1, "D3DDevice_RunPushBuffer_4__LTCG_eax2", "D3DDevice_RunPushBuffer"},
    {1, "D3DDevice_RunVertexStateShader_4__LTCG_esi2", "D3DDevice_RunVertexStateShader"},
    {1, "D3DDevice_SelectVertexShader_0__LTCG_eax1_ebx2", "D3DDevice_SelectVertexShader"},
    {1, "D3DDevice_SelectVertexShader_4__LTCG_eax1", "D3DDevice_SelectVertexShader"},
    {1, "D3DDevice_SelectVertexShaderDirect_0__LTCG_eax1_ebx2",
     "D3DDevice_SelectVertexShaderDirect"},
    {1, "D3DDevice_SetFlickerFilter_0__LTCG_esi1", "D3DDevice_SetFlickerFilter"},
    {1, "D3DDevice_SetIndices_4__LTCG_ebx1", "D3DDevice_SetIndices"},
    {1, "D3DDevice_SetPalette_4__LTCG_eax1", "D3DDevice_SetPalette"},
    {1, "D3DDevice_SetPixelShaderConstant_4__LTCG_ecx1_eax3", "D3DDevice_SetPixelShaderConstant"},
    {1, "D3DDevice_SetPixelShader_0__LTCG_eax1", "D3DDevice_SetPixelShader"},
    {1, "D3DDevice_SetRenderTarget_0__LTCG_ecx1_eax2", "D3DDevice_SetRenderTarget"},
    {1, "D3DDevice_SetShaderConstantMode_0__LTCG_eax1", "D3DDevice_SetShaderConstantMode"},
    {1, "D3DDevice_SetSoftDisplayFilter_0__LTCG_unk1", "D3DDevice_SetSoftDisplayFilter"},
    {1, "CDevice_SetStateUP_4", "D3D_CDevice_SetStateUP"},
    {1, "CDevice_SetStateUP_0__LTCG_esi1", "D3D_CDevice_SetStateUP"},
    {1, "CDevice_SetStateVB_8", "D3D_CDevice_SetStateVB"},
    {1, "D3DDevice_SetStreamSource_0__LTCG_eax1_edi2_ebx3", "D3DDevice_SetStreamSource"},
    {1, "D3DDevice_SetStreamSource_8__LTCG_edx1", "D3DDevice_SetStreamSource"},
    {1, "D3DDevice_SetStreamSource_4__LTCG_eax1_ebx2", "D3DDevice_SetStreamSource"},
    {1, "D3DDevice_SetStreamSource_8__LTCG_eax1", "D3DDevice_SetStreamSource"},
    {1, "D3DDevice_SetTextureStageStateNotInline_0__LTCG_ecx1_edx2_eax3",
     "D3DDevice_SetTextureStageStateNotInline"},
    {1, "D3DDevice_SetTextureStageStateNotInline_0__LTCG_eax1_edx2_ecx3",
     "D3DDevice_SetTextureStageStateNotInline"},
    {1, "D3DDevice_SetTextureStageStateNotInline2_0__LTCG_eax1_edx2_ecx3",
     "D3DDevice_SetTextureStageStateNotInline2"},
    {1, "D3D_CDevice_SetTextureStageStateNotInline_0__LTCG_eax1_edx2_ecx3",
     "D3D_CDevice_SetTextureStageStateNotInline"},
    {1, "D3DDevice_SetTextureStageStateNotInline_0__LTCG_ecx1_eax2_edx3",
     "D3DDevice_SetTextureStageStateNotInline"},
    {1, "D3DDevice_SetTextureStageStateNotInline_0__LTCG_eax1_edx2_esi3",
     "D3DDevice_SetTextureStageStateNotInline"},
    {1, "D3DDevice_SetTextureState_BorderColor_0__LTCG_eax1_ebx2",
     "D3DDevice_SetTextureState_BorderColor"},
    {1, "D3DDevice_SetTextureState_BorderColor_4__LTCG_eax1",
     "D3DDevice_SetTextureState_BorderColor"},
    {1, "D3DDevice_SetTextureState_BumpEnv_8__LTCG_eax1", "D3DDevice_SetTextureState_BumpEnv"},
    {1, "D3DDevice_SetTextureState_ColorKeyColor_0__LTCG_eax1_ebx2",
     "D3DDevice_SetTextureState_ColorKeyColor"},
    {1, "D3DDevice_SetTextureState_ColorKeyColor_4__LTCG_eax1",
     "D3DDevice_SetTextureState_ColorKeyColor"},
    {1, "D3DDevice_SetTextureState_TexCoordIndex_0__LTCG_edi1_eax2",
     "D3DDevice_SetTextureState_TexCoordIndex"},
    {1, "D3DDevice_SetTextureState_TexCoordIndex_4__LTCG_esi1",
     "D3DDevice_SetTextureState_TexCoordIndex"},
    {1, "D3DDevice_SetTexture_4__LTCG_eax2", "D3DDevice_SetTexture"},
    {1, "D3DDevice_SetTexture_4__LTCG_eax1", "D3DDevice_SetTexture"},
    {1, "D3DDevice_SetTile_0__LTCG_eax1_ecx2", "D3DDevice_SetTile"},
    {1, "D3DDevice_SetTile_0__LTCG_ebx1_eax2", "D3DDevice_SetTile"},
    {1, "D3DDevice_SetTile_0__LTCG_ecx1_eax2", "D3DDevice_SetTile"},
    {1, "D3D_SetTileNoWait_0__LTCG_eax1_ecx2", "D3D_SetTileNoWait"},
    {1, "D3D_SetTileNoWait_0__LTCG_ecx1_eax2", "D3D_SetTileNoWait"},
    {1, "D3DDevice_SetTransform_0__LTCG_eax1_edx2", "D3DDevice_SetTransform"},
    {1, "D3DDevice_SetVertexData4f_16__LTCG_edi1", "D3DDevice_SetVertexData4f"},
    {1, "D3DDevice_SetVertexShaderConstantNotInline_0__LTCG_ebx1_edx2_eax3",
     "D3DDevice_SetVertexShaderConstantNotInline"},
    {1, "D3DDevice_SetVertexShaderConstant_8__LTCG_edx3", "D3DDevice_SetVertexShaderConstant"},
    {1, "D3DDevice_SetVertexShader_0__LTCG_ebx1", "D3DDevice_SetVertexShader"},
    {1, "D3DDevice_Swap_0__LTCG_eax1", "D3DDevice_Swap"},
    {1, "D3DDevice_UpdateOverlay_16__LTCG_eax2", "D3DDevice_UpdateOverlay"},
    {1, "D3DResource_GetType_0__LTCG_ecx1", "D3DResource_GetType"},
    {1, "D3D_BlockOnResource_0__LTCG_eax1", "D3D_BlockOnResource"},
    {1, "D3D_BlockOnResource_0__LTCG_ecx1", "D3D_BlockOnResource"},
    {1, "D3D_DestroyResource_0__LTCG_edi1", "D3D_DestroyResource"},
    {1, "D3D_CommonSetMultiSampleModeAndScale_4__LTCG_eax1",
     "D3D_CommonSetMultiSampleModeAndScale"},
    {1, "CDevice_KickOff", "D3D_CDevice_KickOff"},
    {1, "CDevice_KickOff_4", "D3D_CDevice_KickOff"},
    {1, "CDevice_KickOff_0__LTCG_edx1", "D3D_CDevice_KickOff"},
    {1, "CDevice_KickOff_0__LTCG_eax1", "D3D_CDevice_KickOff"},
    {1, "Direct3D_CreateDevice_16__LTCG_eax4_ebx6", "Direct3D_CreateDevice"},
    {1, "Direct3D_CreateDevice_16__LTCG_eax4_ecx6", "Direct3D_CreateDevice"},
    {1, "Direct3D_CreateDevice_4__LTCG_eax1_ecx3", "Direct3D_CreateDevice"},
    {1, "Get2DSurfaceDesc", "D3D8_Get2DSurfaceDesc"},
    {1, "Get2DSurfaceDesc_0__LTCG_edi1_ebx2_esi3", "D3D8_Get2DSurfaceDesc"},
    {1, "Get2DSurfaceDesc_4__LTCG_edi1_esi3", "D3D8_Get2DSurfaceDesc"},
    {1, "Lock3DSurface_16__LTCG_eax4", "D3D8_Lock3DSurface"},
    {1, "Lock2DSurface_16__LTCG_esi4_eax5", "D3D8_Lock2DSurface"},
    {3, "CMcpxAPU_SetMixBinHeadroom_8", "CMcpxAPU_SetMixBinHeadroom"},
    {3, "CMcpxAPU_SetMixBinHeadroom_4", "CMcpxAPU_SetMixBinHeadroom"},
    {3, "CMcpxVoiceClient_Commit3dSettings_4", "CMcpxVoiceClient_Commit3dSettings"},
    {3, "CMcpxVoiceClient_Commit3dSettings_0", "CMcpxVoiceClient_Commit3dSettings"},
    {3, "CDirectSoundVoice_SetMixBinVolumes_12", "CDirectSoundVoice_SetMixBinVolumes"},
    {3, "CDirectSoundVoice_SetMixBinVolumes_8", "CDirectSoundVoice_SetMixBinVolumes"},
    {3, "CDirectSoundBuffer_SetMixBinVolumes_12", "CDirectSoundBuffer_SetMixBinVolumes"},
    {3, "CDirectSoundBuffer_SetMixBinVolumes_8", "CDirectSoundBuffer_SetMixBinVolumes"},
    {3, "IDirectSoundBuffer_SetMixBinVolumes_12", "IDirectSoundBuffer_SetMixBinVolumes"},
    {3, "IDirectSoundBuffer_SetMixBinVolumes_8", "IDirectSoundBuffer_SetMixBinVolumes"},
    {3, "IDirectSoundStream_SetMixBinVolumes_12", "IDirectSoundStream_SetMixBinVolumes"},
    {3, "IDirectSoundStream_SetMixBinVolumes_8", "IDirectSoundStream_SetMixBinVolumes"},
    {4, "JVS_SendCommand2", "JVS_SendCommand"},
    {4, "JVS_SendCommand3", "JVS_SendCommand"},
    {4, "JvsBACKUP_Read2", "JvsBACKUP_Read"},
    {4, "JvsBACKUP_Read3", "JvsBACKUP_Read"},
    {4, "JvsBACKUP_Write2", "JvsBACKUP_Write"},
    {4, "JvsEEPROM_Read2", "JvsEEPROM_Read"},
    {4, "JvsEEPROM_Read3", "JvsEEPROM_Read"},
    {4, "JvsEEPROM_Write2", "JvsEEPROM_Write"},
    {4, "JvsEEPROM_Write3", "JvsEEPROM_Write"},
    {4, "JvsFirmwareDownload2", "JvsFirmwareDownload"},
    {4, "JvsFirmwareDownload3", "JvsFirmwareDownload"},
    {4, "JvsFirmwareDownload4", "JvsFirmwareDownload"},
    {4, "JvsFirmwareUpload2", "JvsFirmwareUpload"},
    {4, "JvsFirmwareUpload3", "JvsFirmwareUpload"},
    {4, "JvsFirmwareUpload4", "JvsFirmwareUpload"},
    {4, "JvsNodeReceivePacket2", "JvsNodeReceivePacket"},
    {4, "JvsNodeSendPacket2", "JvsNodeSendPacket"},
    {4, "JvsRTC_Read2", "JvsRTC_Read"},
    {4, "JvsRTC_Read3", "JvsRTC_Read"},
    {4, "JvsRTC_Write2", "JvsRTC_Write"},
    {4, "JvsScFirmwareDownload2", "JvsScFirmwareDownload"},
    {4, "JvsScFirmwareDownload3", "JvsScFirmwareDownload"},
    {4, "JvsScFirmwareDownload4", "JvsScFirmwareDownload"},
    {4, "JvsScFirmwareUpload2", "JvsScFirmwareUpload"},
    {4, "JvsScFirmwareUpload3", "JvsScFirmwareUpload"},
    {4, "JvsScReceiveMidi2", "JvsScReceiveMidi"},
    {4, "JvsScReceiveRs323c2", "JvsScReceiveRs323c"},
    {4, "JvsScSendMidi2", "JvsScSendMidi"},
    {4, "JvsScSendRs323c2", "JvsScSendRs323c"},
    {8, "XoUpdateLaunchNewImageInternal_12", "XoUpdateLaunchNewImageInternal"},
    {8, "XoUpdateLaunchNewImageInternal_16", "XoUpdateLaunchNewImageInternal"},
    {9, "XnInit_8", "XnInit"},
    {9, "XnInit_24", "XnInit"},
};

TEST(CatalogueEntries, VariantNamesTakeTheIndexOfTheirCanonicalName) {
    ASSERT_EQ(std::size(kVariants), 159u);
    for (const Variant &v : kVariants) {
        SCOPED_TRACE(v.entry);
        const OOVPATable *entry = find_entry(v.group, v.entry);
        ASSERT_NE(entry, nullptr);
        EXPECT_STREQ(Fenx_SymbolName(entry->SymbolIndex), v.canonical);
        EXPECT_EQ(Fenxi_SymbolIndexByName(v.entry), 0u) << "a variant is not a canonical name";
    }
}

TEST(CatalogueEntries, EveryOtherEntryCarriesItsCanonicalName) {
    std::set<std::pair<std::uint32_t, std::string>> variants;
    for (const Variant &v : kVariants)
        variants.insert({v.group, v.entry});
    std::uint32_t canonical_entries = 0;
    for_each_entry([&](std::uint32_t g, const OOVPATable &e) {
        SCOPED_TRACE(e.Name);
        ASSERT_GE(e.SymbolIndex, FENX_SYMBOL_INDEX_FIRST);
        ASSERT_LE(e.SymbolIndex, FENX_SYMBOL_INDEX_LAST);
        if (variants.contains({g, e.Name}))
            return;
        EXPECT_STREQ(Fenx_SymbolName(e.SymbolIndex), e.Name);
        ++canonical_entries;
    });
    EXPECT_EQ(canonical_entries, 1018u - std::size(kVariants));
}

TEST(CatalogueEntries, NamesAreUniqueWithinAGroup) {
    std::map<std::uint32_t, std::set<std::string>> names;
    for_each_entry([&](std::uint32_t g, const OOVPATable &e) {
        EXPECT_TRUE(names[g].insert(e.Name).second) << "group " << g << ": " << e.Name;
    });
}

TEST(CatalogueEntries, KnownParameterRecords) {
    struct Param {
        std::uint32_t location;
        std::string name;
    };
    struct Case {
        std::uint32_t group;
        const char *entry;
        std::uint32_t convention;
        std::vector<Param> params;
    };
    const Case cases[] = {
        {0, "D3DDevice_GetViewport", FENX_CALL_STDCALL, {{FENX_PARAM_PSH, "pViewport"}}},
        {0, "D3D_UpdateProjectionViewportTransform", FENX_CALL_STDCALL, {{FENX_PARAM_VOID, ""}}},
        {0,
         "CDevice_InitializeFrameBuffers",
         FENX_CALL_THISCALL,
         {{FENX_PARAM_ECX, "this"}, {FENX_PARAM_PSH, "pPresentationParams"}}},
        {0,
         "D3DDevice_SetRenderState_Simple",
         FENX_CALL_FASTCALL,
         {{FENX_PARAM_ECX, "Method"}, {FENX_PARAM_EDX, "Value"}}},
        {1,
         "D3D_CreateTexture_28__LTCG_dl8_edi9",
         FENX_CALL_UNKNOWN,
         {{FENX_PARAM_PSH, "Width"},
          {FENX_PARAM_PSH, "Height"},
          {FENX_PARAM_PSH, "Depth"},
          {FENX_PARAM_PSH, "Levels"},
          {FENX_PARAM_PSH, "Usage"},
          {FENX_PARAM_PSH, "Format"},
          {FENX_PARAM_PSH, "isCube"},
          {FENX_PARAM_DL, "isVolume"},
          {FENX_PARAM_EDI, "ppTexture"}}},
        {1,
         "D3DDevice_DrawVertices_4__LTCG_ecx2_eax3",
         FENX_CALL_UNKNOWN,
         {{FENX_PARAM_PSH, "PrimitiveType"},
          {FENX_PARAM_ECX, "StartVertex"},
          {FENX_PARAM_EAX, "VertexCount"}}},
        {3,
         "CMcpxBuffer_Pause_Ex",
         FENX_CALL_THISCALL,
         {{FENX_PARAM_ECX, "this"}, {FENX_PARAM_PSH2, "rtTimeStamp"}, {FENX_PARAM_PSH, "dwPause"}}},
        {6,
         "GetTypeInformation2",
         FENX_CALL_FASTCALL,
         {{FENX_PARAM_CL, "XidType"}, {FENX_PARAM_EDX, "pTypeIndex"}}},
        {6,
         "XapiMapLetterToDirectory",
         FENX_CALL_STDCALL,
         {{FENX_PARAM_PSH, "pDriveString"},
          {FENX_PARAM_PSH, "pDeviceString"},
          {FENX_PARAM_PSH, "pszTitleId"},
          {FENX_PARAM_PSH, "bCreateDirectory"},
          {FENX_PARAM_PSH, "pwszTitleName"},
          {FENX_PARAM_PSH, "bUpdateTimestamp"}}},
        {4, "JVS_g_pPINSA", FENX_CALL_NONE, {{FENX_PARAM_UNK, ""}}},
    };
    std::set<std::string> known;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.entry);
        known.insert(c.entry);
        const OOVPATable *entry = find_entry(c.group, c.entry);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->CallConvention, c.convention);
        ASSERT_EQ(entry->ParamCount, c.params.size());
        for (std::size_t i = 0; i < c.params.size(); ++i) {
            EXPECT_EQ(entry->Params[i].Location, c.params[i].location) << i;
            ASSERT_NE(entry->Params[i].Name, nullptr);
            EXPECT_EQ(entry->Params[i].Name, c.params[i].name) << i;
        }
    }
    // Parameters not known yet are one unnamed "unk" record, never an empty list.
    for_each_entry([&](std::uint32_t, const OOVPATable &e) {
        if (known.contains(e.Name))
            return;
        SCOPED_TRACE(e.Name);
        ASSERT_EQ(e.ParamCount, 1u);
        EXPECT_EQ(e.Params[0].Location, FENX_PARAM_UNK);
        ASSERT_NE(e.Params[0].Name, nullptr);
        EXPECT_STREQ(e.Params[0].Name, "");
    });
}

// The signature records known so far, pair for pair.
TEST(CatalogueRecords, KnownSignatureRecords) {
    struct Revision {
        std::uint16_t build;
        std::uint8_t xref_count;
        std::uint8_t detect_select;
        std::vector<OOVPAPair> pairs;
    };
    struct Case {
        std::uint32_t group;
        const char *entry;
        std::vector<Revision> revisions;
    };
    const std::vector<OOVPAPair> set_volume = {
        {13, 793}, {4, 0x8B}, {5, 0x44},  {6, 0x24},  {7, 0x08},
        {8, 0x83}, {9, 0xC0}, {10, 0x04}, {17, 0xC2}, {18, 0x08},
    };
    const Case cases[] = {
        {0,
         "D3DDevice_SetRenderState_Simple",
         {{3911,
           0,
           0,
           {{0, 0xA1},
            {5, 0x83},
            {6, 0xC0},
            {7, 0x08},
            {21, 0x89},
            {22, 0x48},
            {23, 0xF8},
            {24, 0x89},
            {25, 0x50},
            {26, 0xFC},
            {28, 0x52},
            {29, 0x51}}}}},
        {0,
         "D3DDevice_SetRenderStateNotInline",
         {{3911,
           2,
           0,
           {{25, 598},
            {32, 382},
            {0, 0x56},
            {8, 0x7D},
            {10, 0x8B},
            {11, 0x0C},
            {12, 0xB5},
            {24, 0xE8}}}}},
        {3, "CDirectSoundStream_SetVolume", {{3911, 1, 1, set_volume}}},
        {3,
         "IDirectSoundStream_SetVolume",
         {{3911, 1, 2, set_volume}, {4039, 1, 0, {{1, 763}, {0, 0xE9}}}}},
        {6,
         "XapiMapLetterToDirectory",
         {{3911,
           1,
           0,
           {{579, 1139},
            {0, 0x55},
            {1, 0x8B},
            {2, 0xEC},
            {3, 0x81},
            {4, 0xEC},
            {5, 0x84},
            {6, 0x02},
            {7, 0x00},
            {20, 0x6A},
            {21, 0x03},
            {22, 0x6A},
            {23, 0x03},
            {24, 0xBF},
            {25, 0x80},
            {26, 0x00},
            {578, 0xE8}}}}},
    };
    std::uint32_t checked = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.entry);
        const OOVPATable *entry = find_entry(c.group, c.entry);
        ASSERT_NE(entry, nullptr);
        ASSERT_EQ(entry->RevisionCount, c.revisions.size());
        for (std::size_t r = 0; r < c.revisions.size(); ++r) {
            const Revision &want = c.revisions[r];
            SCOPED_TRACE(want.build);
            EXPECT_EQ(entry->Revisions[r].Version, want.build);
            ASSERT_NE(entry->Revisions[r].Oovpa, nullptr);
            EXPECT_EQ(packed(*entry->Revisions[r].Oovpa),
                      packed(want.xref_count, want.detect_select, want.pairs));
            ++checked;
        }
    }
    EXPECT_EQ(checked, 6u);

    // The packed form feeds the database version: header byte 0 is reserved, values are
    // little-endian (763 is 0x02FB).
    const OOVPA &short_form = *find_entry(3, "IDirectSoundStream_SetVolume")->Revisions[1].Oovpa;
    const std::vector<std::uint8_t> bytes = {0x00, 0x01, 0x00, 0x02, 0x01, 0x00,
                                             0xFB, 0x02, 0x00, 0x00, 0xE9, 0x00};
    EXPECT_EQ(packed(short_form), bytes);
}

// References name symbols the scanner knows, come first, and the byte pairs after them keep
// strictly rising offsets. Revisions rise by build, except in three render-state entries whose
// 3911 signature stays ahead of their 1024 one.
TEST(CatalogueRecords, RecordsAreWellFormed) {
    const std::set<std::string> kBuildOrderExceptions = {
        "D3DDevice_SetRenderState_OcclusionCullEnable",
        "D3DDevice_SetRenderState_StencilCullEnable", "D3DDevice_SetRenderState_YuvEnable"};
    for_each_entry([&](std::uint32_t, const OOVPATable &e) {
        SCOPED_TRACE(e.Name);
        for (std::uint32_t r = 0; r < e.RevisionCount; ++r) {
            const OOVPA *record = e.Revisions[r].Oovpa;
            ASSERT_NE(record, nullptr);
            ASSERT_LE(record->XRefCount, record->Count);
            if (record->Count > 0) {
                ASSERT_NE(record->Pairs, nullptr);
            }
            for (std::uint32_t p = 0; p < record->XRefCount; ++p) {
                EXPECT_GE(record->Pairs[p].Value, FENX_SYMBOL_INDEX_FIRST);
                EXPECT_LE(record->Pairs[p].Value, FENX_SYMBOL_INDEX_LAST);
            }
            for (std::uint32_t p = record->XRefCount; p < record->Count; ++p) {
                EXPECT_LE(record->Pairs[p].Value, 0xFFu) << "pair " << p;
                if (p > record->XRefCount) {
                    EXPECT_GT(record->Pairs[p].Offset, record->Pairs[p - 1].Offset) << p;
                }
            }
            if (r > 0 && !kBuildOrderExceptions.contains(e.Name)) {
                EXPECT_GT(e.Revisions[r].Version, e.Revisions[r - 1].Version);
            }
        }
    });
}

TEST(CatalogueRecords, PlaceholdersAreManualEntriesWithOneEmptyRevision) {
    struct Case {
        std::uint32_t group;
        const char *entry;
        std::uint16_t build;
    };
    const Case cases[] = {
        {0, "D3D_g_pDevice", 0},
        {0, "D3DDevice__m_PixelShader_OFFSET", 0},
        {0, "D3DDevice__m_VerticalBlankEvent_OFFSET", 0},
        {0, "D3DDevice__m_SwapCallback_OFFSET", 0},
        {0, "D3DDevice__m_VBlankCallback_OFFSET", 0},
        {0, "D3DDevice__m_VertexShader_OFFSET", 0},
        {2, "CDirectSoundStream_AddRef", 0},
        {2, "CDirectSoundStream_Discontinuity", 0},
        {2, "CDirectSoundStream_Flush", 0},
        {2, "CDirectSoundStream_GetInfo", 0},
        {2, "CDirectSoundStream_GetStatus", 0},
        {2, "CDirectSoundStream_Process", 0},
        {2, "CDirectSoundStream_Release", 0},
        {4, "JVS_g_pPINSA", 4831},
        {4, "JVS_g_pPINSB", 4831},
        {6, "_tls_array", 0},
        {6, "_tls_index", 0},
        {6, "g_DeviceType_Gamepad", 0},
        {6, "g_DeviceType_IRDongle", 0},
        {6, "g_DeviceType_Keyboard", 0},
        {6, "g_DeviceType_Mouse", 0},
        {6, "g_DeviceType_MU", 0},
        {6, "g_DeviceType_SBC", 0},
        {6, "g_DeviceTypeInfoTableBegin", 0},
        {6, "g_DeviceTypeInfoTableEnd", 0},
        {6, "g_XapiAltLett_MU", 0},
        {6, "g_XapiCurrentTopLevelFilter", 0},
        {6, "g_XapiMountedMUs", 0},
        {6, "XapiCurrentFiber_OFFSET", 0},
        {6, "XapiLastErrorCode_OFFSET", 0},
        {6, "XapiThreadFiberData_OFFSET", 0},
        {6, "XapiThreadNotifyRoutineList", 0},
        {6, "XGetSectionSize", 0},
    };
    std::set<std::pair<std::uint32_t, std::string>> placeholders;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.entry);
        placeholders.insert({c.group, c.entry});
        const OOVPATable *entry = find_entry(c.group, c.entry);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->ScanMarks, FENX_SCAN_MANUAL) << "never matched by the library scan";
        ASSERT_EQ(entry->RevisionCount, 1u);
        EXPECT_EQ(entry->Revisions[0].Version, c.build);
        EXPECT_EQ(packed(*entry->Revisions[0].Oovpa), (std::vector<std::uint8_t>{0, 0, 0, 0}));
    }
    // No other entry holds an empty record: an entry whose signature is unknown has no
    // revision at all rather than one that could never match.
    for_each_entry([&](std::uint32_t g, const OOVPATable &e) {
        if (placeholders.contains({g, e.Name}))
            return;
        EXPECT_FALSE(is_placeholder(e)) << e.Name;
        for (std::uint32_t r = 0; r < e.RevisionCount; ++r)
            EXPECT_GT(e.Revisions[r].Oovpa->Count, 0u) << e.Name;
    });
}

// The database holds real signatures only where they are known; everything else waits for
// records to be authored.
TEST(CatalogueRecords, RevisionTotals) {
    std::uint32_t revisions = 0, signatures = 0, placeholders = 0, entries_with_signatures = 0;
    for_each_entry([&](std::uint32_t, const OOVPATable &e) {
        revisions += e.RevisionCount;
        bool has_signature = false;
        for (std::uint32_t r = 0; r < e.RevisionCount; ++r) {
            if (e.Revisions[r].Oovpa->Count > 0) {
                ++signatures;
                has_signature = true;
            } else {
                ++placeholders;
            }
        }
        entries_with_signatures += has_signature;
    });
    EXPECT_EQ(signatures, 6u);
    EXPECT_EQ(entries_with_signatures, 5u);
    EXPECT_EQ(placeholders, 33u);
    EXPECT_EQ(revisions, 39u);
}
