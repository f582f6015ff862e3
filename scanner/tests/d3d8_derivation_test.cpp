// The Direct3D derivations run through the manual scan over synthetic code: render-state slot
// numbering by build, the base from the out-of-line setter or the inline fragment, the checks,
// the stream correction, the device fields, and the second walk.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "lib/derive/render_state_table.h"
#include "support/derivation_code.h"
#include "support/scan_recorder.h"
#include "support/synthetic_database.h"
#include "support/test_context.h"

namespace {

constexpr std::uint32_t kCodeBase = 0x00030000;
constexpr std::uint32_t kFlashBase = 0x00040000;
constexpr std::uint32_t kRenderState = 0x00080000;
constexpr std::uint32_t kDevice = 0x00090000;
constexpr std::uint32_t kTextureState = 0x000A0000;
constexpr std::uint32_t kVerticalBlankEvent = 0x2000;

const CodeSignature kVerticalBlankFragment{0x10, {{8, 419}}};
const CodeSignature kStencilFragment{0x11, {{8, 409}, {12, 401}, {16, 407}, {20, 408}}};
const CodeSignature kDebugRegisters{0x12, {{8, 386}, {12, 402}, {16, 403}, {20, 405}}};
const CodeSignature kSimple{0x13, {}};
const CodeSignature kNotInline{0x14, {{8, 598}, {12, 382}}}; // the state byte at +7
const CodeSignature kFillMode{0x15, {{8, 392}, {12, 389}, {16, 410}}};
const CodeSignature kTexCoordIndex{0x16, {{8, 413}}};
const CodeSignature kStreamSource{0x17, {{8, 387}, {12, 388}}};
const CodeSignature kInlineFragment{0x18, {{8, 382}}, {2}}; // the state byte at +2
// The same code described by signatures that leave out a reference the derivation learns from.
const CodeSignature kTexCoordIndexUnlearned{0x16, {}};
const CodeSignature kStreamSourceUnlearned{0x17, {{8, 387}}};
const CodeSignature kNotInlineWithoutBase{0x14, {{8, 598}}};
const CodeSignature kInlineFragmentWithoutBase{0x18, {}, {2}};
const CodeSignature kFillModeWithoutFillMode{0x15, {{12, 389}, {16, 410}}};
const CodeSignature kStencilFragmentWithoutOcclusion{0x11, {{8, 409}, {16, 407}, {20, 408}}};

// Where each function sits in the code section.
enum : std::size_t {
    kAtDebugRegisters = 0x000,
    kAtSimple = 0x040,
    kAtNotInline = 0x080,
    kAtFillMode = 0x0C0,
    kAtStencil = 0x100,
    kAtTexCoordIndex = 0x140,
    kAtStreamSource = 0x180,
    kAtVerticalBlank = 0x1C0,
    kAtInline = 0x200,
};

// What the database holds; by default every signature with every reference the derivation
// learns from, and every placeholder.
struct DatabaseShape {
    bool fields_learned = true;    // the texture and stream setters refer to their fields
    bool base_learned = true;      // the render-state setter and fragment refer to the block
    bool fill_mode_learned = true; // the fill-mode setter refers to the fill mode
    bool occlusion_learned = true; // the stencil fragment refers to the occlusion state
    std::uint16_t missing_placeholder = 0;
};

// Group 0 serves both libraries, group 1 only the LTCG one; the fragment of the inlined setter
// is only in group 1.
const FenxDatabase &build_d3d8_database(SyntheticDatabase &db, const DatabaseShape &shape) {
    const std::uint32_t both = db.group(FENX_LIB_D3D8 | FENX_LIB_D3D8LTCG, {"D3D", "FLASHROM"});
    const std::uint32_t ltcg = db.group(FENX_LIB_D3D8LTCG, {"D3D"});
    const auto manual = [&](std::uint32_t group, std::uint16_t index, const char *name,
                            const CodeSignature &code, std::uint32_t type) {
        db.entry(group, index, FENX_SCAN_MANUAL, name, {{3424, code.record(db)}}, type);
    };
    const auto placeholder = [&](std::uint16_t index, const char *name) {
        if (index != shape.missing_placeholder)
            db.entry(both, index, FENX_SCAN_MANUAL, name, {{0, db.record(0, 0, {})}},
                     FENX_SYMBOL_VARIABLE, FENX_CALL_NONE);
    };
    manual(both, 380, "D3DDevice__m_VerticalBlankEvent__GenericFragment", kVerticalBlankFragment,
           FENX_SYMBOL_OTHER);
    manual(both, 381, "D3DRS_Stencils_and_Occlusion__GenericFragment",
           shape.occlusion_learned ? kStencilFragment : kStencilFragmentWithoutOcclusion,
           FENX_SYMBOL_OTHER);
    placeholder(386, "D3D_g_pDevice");
    placeholder(419, "D3DDevice__m_VerticalBlankEvent_OFFSET");
    placeholder(420, "D3DDevice__m_SwapCallback_OFFSET");
    placeholder(421, "D3DDevice__m_VBlankCallback_OFFSET");
    manual(both, 442, "D3D_CommonSetDebugRegisters", kDebugRegisters, FENX_SYMBOL_FUNCTION);
    manual(both, 598, "D3DDevice_SetRenderState_Simple", kSimple, FENX_SYMBOL_FUNCTION);
    manual(both, 608, "D3DDevice_SetRenderStateNotInline",
           shape.base_learned ? kNotInline : kNotInlineWithoutBase, FENX_SYMBOL_FUNCTION);
    manual(both, 581, "D3DDevice_SetRenderState_FillMode",
           shape.fill_mode_learned ? kFillMode : kFillModeWithoutFillMode, FENX_SYMBOL_FUNCTION);
    manual(both, 624, "D3DDevice_SetTextureState_TexCoordIndex",
           shape.fields_learned ? kTexCoordIndex : kTexCoordIndexUnlearned, FENX_SYMBOL_FUNCTION);
    manual(both, 616, "D3DDevice_SetStreamSource",
           shape.fields_learned ? kStreamSource : kStreamSourceUnlearned, FENX_SYMBOL_FUNCTION);
    manual(ltcg, 674, "D3DDevice_SetRenderStateInline__GenericFragment",
           shape.base_learned ? kInlineFragment : kInlineFragmentWithoutBase, FENX_SYMBOL_OTHER);
    return db.database();
}

// Slot number of a render-state position for a build.
std::uint32_t number(std::uint32_t position, std::uint16_t build) {
    return position == 0 ? 0 : Fenxi_RenderStateSlotsUpTo(position - 1, build);
}

std::uint32_t state(std::uint32_t position, std::uint16_t build,
                    std::uint32_t base = kRenderState) {
    return base + 4 * number(position, build);
}

// An image's D3D code; by default everything the derivation needs, consistent with the
// render-state numbering of the build.
struct Scene {
    std::uint16_t build = 3911;
    std::uint32_t flag = FENX_LIB_D3D8;
    bool not_inline = true;
    bool inline_fragment = false;
    int state_byte_error = 0;     // added to the deferred state number in the code
    int fill_mode_slot_error = 0; // added to the fill mode's slot number
    std::uint32_t stream = 0x000B0000;
    std::uint32_t stream_vertex_buffer = 0x000B0008;
    // The function the out-of-line setter calls lives in the second section instead.
    bool simple_in_flash = false;
    std::optional<std::uint32_t> texture_state_before; // slot 385 when the scan starts
    bool keep_first_address = false;
    std::optional<std::uint32_t> swap_callback_before; // slot 420 when the scan starts
    std::uint32_t render_state = kRenderState;         // the block the code refers to
    DatabaseShape database;
};

std::vector<TestSection> scene_sections(const Scene &scene) {
    const std::uint16_t b = scene.build;
    const auto slot_at = [&](std::uint32_t position) {
        return state(position, b, scene.render_state);
    };
    std::vector<std::uint8_t> code = blank_code(0x240);
    std::vector<std::uint8_t> flash = blank_code(0x40);
    kDebugRegisters.place(code, kAtDebugRegisters,
                          {kDevice, slot_at(164), slot_at(165), slot_at(166)});
    std::uint32_t simple = kCodeBase + kAtSimple;
    if (scene.simple_in_flash) {
        kSimple.place(flash, 0);
        simple = kFlashBase;
    } else {
        kSimple.place(code, kAtSimple);
    }
    const auto state_byte =
        static_cast<std::uint8_t>(static_cast<int>(number(92, b)) + scene.state_byte_error);
    if (scene.not_inline) {
        kNotInline.place(code, kAtNotInline, {simple, scene.render_state});
        code[kAtNotInline + 7] = state_byte;
    }
    if (scene.inline_fragment) {
        kInlineFragment.place(code, kAtInline, {scene.render_state});
        code[kAtInline + 2] = state_byte;
    }
    const std::uint32_t fill_mode =
        scene.render_state +
        4 * (number(139, b) + static_cast<std::uint32_t>(scene.fill_mode_slot_error));
    kFillMode.place(code, kAtFillMode, {fill_mode, slot_at(140), slot_at(141)});
    kStencilFragment.place(code, kAtStencil,
                           {slot_at(145), slot_at(162), slot_at(163), slot_at(144)});
    kTexCoordIndex.place(code, kAtTexCoordIndex, {kTextureState + 0x70});
    kStreamSource.place(code, kAtStreamSource, {scene.stream, scene.stream_vertex_buffer});
    kVerticalBlankFragment.place(code, kAtVerticalBlank, {kVerticalBlankEvent});
    return {{"D3D", kCodeBase, code}, {"FLASHROM", kFlashBase, flash}};
}

struct SceneResult {
    std::vector<RecordedSymbol> symbols;
    std::vector<std::string> errors;   // level 3 and 2 texts
    std::vector<std::string> messages; // every text
    std::map<std::uint32_t, std::uint32_t> slots;
};

SceneResult run_scene(const Scene &scene) {
    SyntheticDatabase db;
    ScanRecorder recorder;
    TestContext context(build_d3d8_database(db, scene.database),
                        {test_library(scene.flag, scene.build)}, scene_sections(scene),
                        Fenxi_BuiltinManualHandlers());
    if (scene.texture_state_before)
        context->XRefs[385] = *scene.texture_state_before;
    if (scene.swap_callback_before)
        context->XRefs[420] = *scene.swap_callback_before;
    recorder.clear(); // the context's own creation messages are not the derivation's
    FenxContext_SetKeepFirstAddress(context.get(), scene.keep_first_address);
    FenxContext_ScanManual(context.get());
    SceneResult result{recorder.symbols, recorder.texts(2), recorder.texts(0), {}};
    for (std::uint32_t index = 380; index <= 700; ++index)
        result.slots[index] = context->XRefs[index];
    return result;
}

// Reported symbols as "name@address/build", in order.
std::vector<std::string> reports(const SceneResult &result) {
    std::vector<std::string> out;
    for (const RecordedSymbol &symbol : result.symbols) {
        char address[16];
        std::snprintf(address, sizeof address, "%x", symbol.address);
        out.push_back(symbol.name + "@" + address + "/" + std::to_string(symbol.build));
    }
    return out;
}

std::optional<RecordedSymbol> reported(const SceneResult &result, const std::string &name) {
    for (const RecordedSymbol &symbol : result.symbols)
        if (symbol.name == name)
            return symbol;
    return std::nullopt;
}

TEST(D3D8Derivation, RenderStateSlotsAreNumberedForTheLibraryBuild) {
    struct Expected {
        const char *name;
        std::optional<std::uint32_t> slot; // none: no such position for this build
        std::uint32_t first_build;
    };
    struct Case {
        std::uint16_t build;
        std::vector<Expected> expected;
    };
    const std::vector<Case> cases = {
        {3424,
         {{"D3DRS_FogEnable", 82, 3424},
          {"D3DRS_PSTextureModes", 116, 3424},
          {"D3DRS_MultiSampleType", 134, 3424},
          {"D3DRS_MultiSampleMode", {}, 4034},
          {"D3DRS_Dxt1NoiseEnable", 137, 3424},
          {"D3DRS_YuvEnable", {}, 3911}}},
        {3911,
         {{"D3DRS_FogEnable", 82, 3424},
          {"D3DRS_FillMode", 119, 3424},
          {"D3DRS_MultiSampleType", 134, 3424},
          {"D3DRS_MultiSampleMode", {}, 4034},
          {"D3DRS_MultiSampleRenderTargetMode", {}, 4034},
          {"D3DRS_SampleAlpha", {}, 4627},
          {"D3DRS_YuvEnable", 138, 3911},
          {"D3DRS_DoNotCullUncompressed", 143, 3911}}},
        {3925,
         {{"D3DRS_PSTextureModes", 116, 3424},
          {"D3DRS_MultiSampleType", 134, 3424},
          {"D3DRS_MultiSampleMode", {}, 4034},
          {"D3DRS_OcclusionCullEnable", 139, 3911},
          {"D3DRS_DoNotCullUncompressed", 143, 3911}}},
        {4034,
         {{"D3DRS_FogEnable", 82, 3424},
          {"D3DRS_PSTextureModes", 117, 3424},
          {"D3DRS_MultiSampleMask", 134, 3424},
          {"D3DRS_MultiSampleType", {}, 3424},
          {"D3DRS_MultiSampleMode", 135, 4034},
          {"D3DRS_MultiSampleRenderTargetMode", 136, 4034},
          {"D3DRS_SampleAlpha", {}, 4627},
          {"D3DRS_Dxt1NoiseEnable", 139, 3424},
          {"D3DRS_DoNotCullUncompressed", 145, 3911}}},
        {4627,
         {{"D3DRS_FogEnable", 92, 3424},
          {"D3DRS_PSTextureModes", 136, 3424},
          {"D3DRS_MultiSampleType", {}, 3424},
          {"D3DRS_MultiSampleMode", 154, 4034},
          {"D3DRS_SampleAlpha", 158, 4627},
          {"D3DRS_DoNotCullUncompressed", 165, 3911}}},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.build);
        Scene scene;
        scene.build = test.build;
        const SceneResult result = run_scene(scene);
        EXPECT_EQ(result.errors, std::vector<std::string>{});
        for (const Expected &expected : test.expected) {
            SCOPED_TRACE(expected.name);
            const std::optional<RecordedSymbol> symbol = reported(result, expected.name);
            ASSERT_EQ(symbol.has_value(), expected.slot.has_value());
            if (!symbol)
                continue;
            EXPECT_EQ(symbol->address, kRenderState + 4 * *expected.slot);
            EXPECT_EQ(symbol->build, expected.first_build);
            EXPECT_EQ(symbol->library, "D3D8");
            EXPECT_EQ(symbol->type, FENX_SYMBOL_VARIABLE);
            EXPECT_EQ(symbol->convention, 1u);
            EXPECT_TRUE(symbol->params.empty());
        }
        // Below 3911 the texture, stream and device-field derivations do not run.
        EXPECT_EQ(reported(result, "D3D_g_Stream").has_value(), test.build >= 3911);
    }
}

TEST(D3D8Derivation, ACompleteImageIsDerivedInOneWalk) {
    Scene scene;
    const SceneResult result = run_scene(scene);
    const std::uint16_t b = scene.build;
    const auto at = [](std::uint32_t address) {
        char text[16];
        std::snprintf(text, sizeof text, "%x", address);
        return std::string(text);
    };
    const auto slot = [&](std::uint32_t position) { return at(state(position, b)); };
    const std::vector<std::string> expected = {
        "D3D_CommonSetDebugRegisters@" + at(kCodeBase + kAtDebugRegisters) + "/3424",
        "D3D_g_pDevice@" + at(kDevice) + "/0",
        "D3DDevice_SetRenderState_Simple@" + at(kCodeBase + kAtSimple) + "/3424",
        "D3DDevice_SetRenderStateNotInline@" + at(kCodeBase + kAtNotInline) + "/3424",
        "D3DDevice_SetRenderState_FillMode@" + at(kCodeBase + kAtFillMode) + "/3424",
        "D3DRS_FogEnable@" + slot(92) + "/3424",
        "D3DRS_PSTextureModes@" + slot(136) + "/3424",
        "D3DRS_FillMode@" + slot(139) + "/3424",
        "D3DRS_BackFillMode@" + slot(140) + "/3424",
        "D3DRS_TwoSidedLighting@" + slot(141) + "/3424",
        "D3DRS_StencilEnable@" + slot(144) + "/3424",
        "D3DRS_StencilFail@" + slot(145) + "/3424",
        "D3DRS_FrontFace@" + slot(146) + "/3424",
        "D3DRS_CullMode@" + slot(147) + "/3424",
        "D3DRS_ZBias@" + slot(149) + "/3424",
        "D3DRS_LogicOp@" + slot(150) + "/3424",
        "D3DRS_MultiSampleAntiAlias@" + slot(152) + "/3424",
        "D3DRS_MultiSampleMask@" + slot(153) + "/3424",
        "D3DRS_MultiSampleType@" + slot(154) + "/3424",
        "D3DRS_Dxt1NoiseEnable@" + slot(160) + "/3424",
        "D3DRS_YuvEnable@" + slot(161) + "/3911",
        "D3DRS_OcclusionCullEnable@" + slot(162) + "/3911",
        "D3DRS_StencilCullEnable@" + slot(163) + "/3911",
        "D3DRS_RopZCmpAlwaysRead@" + slot(164) + "/3911",
        "D3DRS_RopZRead@" + slot(165) + "/3911",
        "D3DRS_DoNotCullUncompressed@" + slot(166) + "/3911",
        "D3D_g_RenderState@" + at(kRenderState) + "/0",
        "D3D_g_ComplexRenderState@" + slot(136) + "/0",
        "D3D_g_DeferredRenderState@" + slot(92) + "/0",
        "D3DDevice_SetTextureState_TexCoordIndex@" + at(kCodeBase + kAtTexCoordIndex) + "/3424",
        "D3D_g_DeferredTextureState@" + at(kTextureState) + "/0",
        "D3DDevice_SetStreamSource@" + at(kCodeBase + kAtStreamSource) + "/3424",
        "D3D_g_Stream@b0000/0",
        "D3DDevice__m_VerticalBlankEvent_OFFSET@2000/0",
        "D3DDevice__m_SwapCallback_OFFSET@1ff8/0",
        "D3DDevice__m_VBlankCallback_OFFSET@1ffc/0",
    };
    EXPECT_EQ(reports(result), expected);
    EXPECT_EQ(result.errors, std::vector<std::string>{});
    const std::vector<std::string> &messages = result.messages;
    EXPECT_NE(
        std::find(messages.begin(), messages.end(), "Verify RenderState offsets is complete."),
        messages.end());
    // Slots the derivation set by numbering say so; learned ones do not.
    EXPECT_NE(std::find(messages.begin(), messages.end(),
                        "D3DRS_CullMode symbol address is manually set to D3D_g_RenderState + 4 "
                        "* 127."),
              messages.end());
    EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                            [](const std::string &text) {
                                return text.find("D3DRS_FillMode symbol address is manually") !=
                                       std::string::npos;
                            }),
              0);
    EXPECT_EQ(result.slots.at(385), kTextureState);
    EXPECT_EQ(result.slots.at(384), state(136, b));
    EXPECT_EQ(result.slots.at(404), state(136, b));
}

TEST(D3D8Derivation, RenderStateBaseFromTheSetterOrTheInlineFragment) {
    struct Case {
        const char *name;
        std::uint32_t flag;
        bool not_inline;
        bool inline_fragment;
        bool derived;
    };
    const std::vector<Case> cases = {
        {"D3D8 with the setter", FENX_LIB_D3D8, true, false, true},
        {"D3D8 without it", FENX_LIB_D3D8, false, true, false},
        {"LTCG with the setter", FENX_LIB_D3D8LTCG, true, false, true},
        {"LTCG with only the fragment", FENX_LIB_D3D8LTCG, false, true, true},
        {"LTCG with neither", FENX_LIB_D3D8LTCG, false, false, false},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        Scene scene;
        scene.flag = test.flag;
        scene.not_inline = test.not_inline;
        scene.inline_fragment = test.inline_fragment;
        const SceneResult result = run_scene(scene);
        if (test.derived) {
            EXPECT_EQ(result.slots.at(382), kRenderState);
            EXPECT_EQ(result.slots.at(383), state(92, scene.build));
            EXPECT_EQ(result.slots.at(393), state(92, scene.build));
            EXPECT_TRUE(reported(result, "D3DRS_CullMode").has_value());
            EXPECT_EQ(result.errors, std::vector<std::string>{});
        } else {
            // Nothing half-learned is left for later scans, and no slot is numbered from an
            // unknown base.
            EXPECT_EQ(result.slots.at(382), XRefNotSet);
            EXPECT_EQ(result.slots.at(383), XRefNotSet);
            EXPECT_FALSE(reported(result, "D3DRS_CullMode").has_value());
            EXPECT_FALSE(reported(result, "D3D_g_Stream").has_value());
        }
    }
}

TEST(D3D8Derivation, ChecksNameEverySlotThatDisagreesWithTheNumbering) {
    struct Case {
        const char *name;
        int state_byte_error;
        int fill_mode_slot_error;
        std::vector<std::string> errors;
    };
    const std::vector<Case> cases = {
        {"deferred states one slot late",
         1,
         0,
         {"TarskRenderStateInfo list's entry base on g_DeferredRenderState is inaccurate!",
          "TarskRenderStateInfo list's entry base on D3DRS_FogEnable is inaccurate!"}},
        {"complex states one slot early",
         0,
         -1,
         {"TarskRenderStateInfo list's entry base on g_ComplexRenderState is inaccurate!",
          "TarskRenderStateInfo list's entry base on D3DRS_PSTextureModes is inaccurate!",
          "TarskRenderStateInfo list's entry base on D3DRS_FillMode is inaccurate!"}},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        Scene scene;
        scene.state_byte_error = test.state_byte_error;
        scene.fill_mode_slot_error = test.fill_mode_slot_error;
        EXPECT_EQ(run_scene(scene).errors, test.errors);
    }
}

TEST(D3D8Derivation, TheStreamArrayIsPutRightFromItsVertexBufferField) {
    Scene scene;
    scene.stream = 0x000B0000;
    scene.stream_vertex_buffer = 0x000B000C;
    const SceneResult result = run_scene(scene);
    EXPECT_EQ(result.errors,
              std::vector<std::string>{
                  "D3D_g_Stream_i_pVertexBuffer (0x000B000C) - D3D_g_Stream (0x000B0000) != 0x8"});
    const std::optional<RecordedSymbol> stream = reported(result, "D3D_g_Stream");
    ASSERT_TRUE(stream.has_value());
    EXPECT_EQ(stream->address, 0x000B0004u);
    EXPECT_EQ(result.slots.at(387), 0x000B0004u);
}

TEST(D3D8Derivation, ADeferredTextureStateLearnedAgainWarnsAndKeepsTheChosenAddress) {
    struct Case {
        const char *name;
        std::optional<std::uint32_t> before;
        bool keep_first;
        std::uint32_t after;
        bool warned;
        bool reported;
    };
    const std::uint32_t old = 0x000C0000;
    const std::vector<Case> cases = {
        {"first time", {}, false, kTextureState, false, true},
        {"the same address again", kTextureState, true, kTextureState, false, false},
        {"another address", old, false, kTextureState, true, true},
        {"another address, keeping the first", old, true, old, true, false},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        Scene scene;
        scene.texture_state_before = test.before;
        scene.keep_first_address = test.keep_first;
        const SceneResult result = run_scene(scene);
        EXPECT_EQ(result.slots.at(385), test.after);
        const std::vector<std::string> warning = {
            "Duplicate XREF address found for D3D_g_DeferredTextureState (0), 000C0000 vs "
            "000A0000!"};
        EXPECT_EQ(result.errors, test.warned ? warning : std::vector<std::string>{});
        EXPECT_EQ(reported(result, "D3D_g_DeferredTextureState").has_value(), test.reported);
    }
}

TEST(D3D8Derivation, TheSecondWalkFinishesWhatTheFirstCouldNot) {
    // The setter's callee is in the second section: the first walk learns it too late for the
    // setter in the first section, the second walk finds the setter with it.
    Scene scene;
    scene.simple_in_flash = true;
    const SceneResult result = run_scene(scene);
    EXPECT_EQ(result.slots.at(598), kFlashBase);
    EXPECT_EQ(result.slots.at(608), kCodeBase + kAtNotInline);
    EXPECT_EQ(result.slots.at(382), kRenderState);
    EXPECT_EQ(result.slots.at(420), kVerticalBlankEvent - 8);
    EXPECT_EQ(result.errors, std::vector<std::string>{});
    // Each walk that reaches the render-state reports makes them again.
    EXPECT_EQ(std::count_if(result.symbols.begin(), result.symbols.end(),
                            [](const RecordedSymbol &s) { return s.name == "D3DRS_CullMode"; }),
              1);
}

TEST(D3D8Derivation, FieldsNeverLearnedGiveNoAddress) {
    // Setters whose signatures do not refer to the texture-state field or the vertex buffer
    // field: nothing may be counted back from the markers still in those slots.
    Scene scene;
    scene.database.fields_learned = false;
    const SceneResult result = run_scene(scene);
    EXPECT_TRUE(reported(result, "D3DDevice_SetTextureState_TexCoordIndex").has_value());
    EXPECT_FALSE(reported(result, "D3D_g_DeferredTextureState").has_value());
    EXPECT_EQ(result.slots.at(385), XRefNotSet);
    const std::optional<RecordedSymbol> stream = reported(result, "D3D_g_Stream");
    ASSERT_TRUE(stream.has_value());
    EXPECT_EQ(stream->address, scene.stream);
    EXPECT_EQ(result.errors, std::vector<std::string>{});
}

TEST(D3D8Derivation, RenderStateNumbersOnBothSidesOfEveryFirstBuild) {
    // Slot numbers counted by hand from the position table, one per symbol below in position
    // order (92, 136, 139, 140, 141, 144 to 147, 149, 150, 152 to 156, 159 to 166); -1 where the
    // position does not exist for the build.
    static const char *const kNames[] = {
        "D3DRS_FogEnable",         "D3DRS_PSTextureModes",
        "D3DRS_FillMode",          "D3DRS_BackFillMode",
        "D3DRS_TwoSidedLighting",  "D3DRS_StencilEnable",
        "D3DRS_StencilFail",       "D3DRS_FrontFace",
        "D3DRS_CullMode",          "D3DRS_ZBias",
        "D3DRS_LogicOp",           "D3DRS_MultiSampleAntiAlias",
        "D3DRS_MultiSampleMask",   "D3DRS_MultiSampleType",
        "D3DRS_MultiSampleMode",   "D3DRS_MultiSampleRenderTargetMode",
        "D3DRS_SampleAlpha",       "D3DRS_Dxt1NoiseEnable",
        "D3DRS_YuvEnable",         "D3DRS_OcclusionCullEnable",
        "D3DRS_StencilCullEnable", "D3DRS_RopZCmpAlwaysRead",
        "D3DRS_RopZRead",          "D3DRS_DoNotCullUncompressed",
    };
    struct Case {
        std::uint16_t build;
        std::vector<int> numbers;
        bool texture_and_streams; // the texture-state and stream derivations run
    };
    // clang-format off
    const std::vector<Case> cases = {
        {3424, {82, 116, 119, 120, 121, 124, 125, 126, 127, 129, 130, 132, 133, 134, -1, -1, -1, 137, -1, -1, -1, -1, -1, -1}, false},
        {3910, {82, 116, 119, 120, 121, 124, 125, 126, 127, 129, 130, 132, 133, 134, -1, -1, -1, 137, -1, -1, -1, -1, -1, -1}, false},
        {3911, {82, 116, 119, 120, 121, 124, 125, 126, 127, 129, 130, 132, 133, 134, -1, -1, -1, 137, 138, 139, 140, 141, 142, 143}, true},
        {4033, {82, 116, 119, 120, 121, 124, 125, 126, 127, 129, 130, 132, 133, 134, -1, -1, -1, 137, 138, 139, 140, 141, 142, 143}, true},
        {4034, {82, 117, 120, 121, 122, 125, 126, 127, 128, 130, 131, 133, 134, -1, 135, 136, -1, 139, 140, 141, 142, 143, 144, 145}, true},
        {4431, {82, 117, 120, 121, 122, 125, 126, 127, 128, 130, 131, 133, 134, -1, 135, 136, -1, 139, 140, 141, 142, 143, 144, 145}, true},
        {4432, {83, 118, 121, 122, 123, 126, 127, 128, 129, 131, 132, 134, 135, -1, 136, 137, -1, 140, 141, 142, 143, 144, 145, 146}, true},
        {4626, {83, 118, 121, 122, 123, 126, 127, 128, 129, 131, 132, 134, 135, -1, 136, 137, -1, 140, 141, 142, 143, 144, 145, 146}, true},
        {4627, {92, 136, 139, 140, 141, 144, 145, 146, 147, 149, 150, 152, 153, -1, 154, 155, 158, 159, 160, 161, 162, 163, 164, 165}, true},
    };
    // clang-format on
    for (const Case &test : cases) {
        SCOPED_TRACE(test.build);
        ASSERT_EQ(test.numbers.size(), std::size(kNames));
        Scene scene;
        scene.build = test.build;
        const SceneResult result = run_scene(scene);
        EXPECT_EQ(result.errors, std::vector<std::string>{});
        for (std::size_t i = 0; i < std::size(kNames); ++i) {
            SCOPED_TRACE(kNames[i]);
            const std::optional<RecordedSymbol> symbol = reported(result, kNames[i]);
            ASSERT_EQ(symbol.has_value(), test.numbers[i] >= 0);
            if (symbol) {
                EXPECT_EQ(symbol->address,
                          kRenderState + 4 * static_cast<std::uint32_t>(test.numbers[i]));
            }
        }
        EXPECT_EQ(reported(result, "D3D_g_Stream").has_value(), test.texture_and_streams);
        EXPECT_EQ(reported(result, "D3D_g_DeferredTextureState").has_value(),
                  test.texture_and_streams);
    }
    // Below the first build of the table no position exists, the multisample type included.
    const FenxiRenderStatePosition *positions = Fenxi_RenderStatePositions();
    for (std::uint32_t p = 0; p < FENXI_RENDER_STATE_POSITIONS; ++p)
        EXPECT_FALSE(Fenxi_RenderStateExists(positions[p], 3423)) << "position " << p;
}

TEST(D3D8Derivation, ARenderStateBaseNeverLearnedNumbersAndReportsNoSlot) {
    // The setter, or the inlined fragment, is found by a signature that does not refer to the
    // block: its slot still holds the derive marker, and nothing may be counted from it.
    struct Case {
        const char *name;
        std::uint32_t flag;
        bool not_inline;
        std::size_t checks; // handler calls that reach the checks
        bool later_steps;   // the stream and device-field derivations complete
    };
    const std::vector<Case> cases = {
        {"D3D8 with the setter", FENX_LIB_D3D8, true, 1, true},
        // The fragment is only in the LTCG group, whose entries do not include the stream
        // setter: each of the two walks reaches the checks there once, and no further.
        {"LTCG with only the fragment", FENX_LIB_D3D8LTCG, false, 2, false},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        Scene scene;
        scene.flag = test.flag;
        scene.not_inline = test.not_inline;
        scene.inline_fragment = !test.not_inline;
        scene.database.base_learned = false;
        const SceneResult result = run_scene(scene);
        for (const RecordedSymbol &symbol : result.symbols) {
            EXPECT_NE(symbol.name.rfind("D3DRS_", 0), 0u) << symbol.name;
            EXPECT_NE(symbol.name, "D3D_g_RenderState");
            EXPECT_NE(symbol.name, "D3D_g_DeferredRenderState");
        }
        EXPECT_EQ(result.errors,
                  std::vector<std::string>(test.checks, "D3D_g_RenderState is not set!"));
        for (const std::string &text : result.messages)
            EXPECT_EQ(text.find("manually set"), std::string::npos) << text;
        for (std::uint32_t index : {382u, 383u, 393u, 390u})
            EXPECT_EQ(result.slots.at(index), XRefNotSet) << index;
        EXPECT_EQ(reported(result, "D3DDevice_SetRenderStateNotInline").has_value(),
                  test.not_inline);
        // The derivations that do not need the block go on.
        EXPECT_TRUE(reported(result, "D3D_g_ComplexRenderState").has_value());
        EXPECT_EQ(reported(result, "D3D_g_Stream").has_value(), test.later_steps);
        EXPECT_EQ(reported(result, "D3DDevice__m_SwapCallback_OFFSET").has_value(),
                  test.later_steps);
    }
}

TEST(D3D8Derivation, ChecksSaySlotsAreNotSetOrStillToDerive) {
    struct Case {
        const char *name;
        Scene scene;
        std::vector<std::string> errors;
        std::vector<std::string> details; // level-0 texts about single slots
        const char *missing;              // a slot symbol that must not be reported
    };
    const auto with = [](auto change) {
        Scene scene;
        change(scene);
        return scene;
    };
    const std::vector<Case> cases = {
        {"the fill mode never learned",
         with([](Scene &s) { s.database.fill_mode_learned = false; }),
         {"D3D_g_ComplexRenderState is not set!"},
         {},
         "D3D_g_ComplexRenderState"},
        {"the occlusion state left to derive",
         with([](Scene &s) { s.database.occlusion_learned = false; }),
         {},
         {"Fendrel's D3DRS_OcclusionCullEnable symbol is currently set to derive."},
         "D3DRS_OcclusionCullEnable"},
        // The cull mode's slot, 127 slots into a block near the top of the address space,
        // lands on the not-set marker.
        {"a slot numbered onto the not-set marker",
         with([](Scene &s) { s.render_state = 0xFFFFFFFFu - 4 * 127; }),
         {"Fendrel's D3DRS_CullMode symbol is not set!"},
         {},
         "D3DRS_CullMode"},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        const SceneResult result = run_scene(test.scene);
        EXPECT_EQ(result.errors, test.errors);
        std::vector<std::string> details;
        for (const std::string &text : result.messages)
            if (text.rfind("Fendrel's ", 0) == 0 && text.find("derive") != std::string::npos)
                details.push_back(text);
        EXPECT_EQ(details, test.details);
        EXPECT_FALSE(reported(result, test.missing).has_value());
        EXPECT_TRUE(reported(result, "D3D_g_RenderState").has_value());
    }
}

TEST(D3D8Derivation, MissingPlaceholdersAreNamedAndStopTheirStep) {
    // The D3D8 walk runs twice when the first fails, and the handler is called for the code
    // section and the flash section each time: a step that keeps failing says so every time.
    struct Case {
        std::uint16_t missing;
        std::string error;
        std::size_t times;
        std::vector<std::string> unreported;
    };
    const std::vector<Case> cases = {
        {386, "Unable to find D3D_g_pDevice entry in database...", 1, {"D3D_g_pDevice"}},
        {419,
         "Unable to find D3DDevice__m_VerticalBlankEvent_OFFSET entry in database...",
         4,
         {"D3DDevice__m_VerticalBlankEvent_OFFSET", "D3DDevice__m_SwapCallback_OFFSET",
          "D3DDevice__m_VBlankCallback_OFFSET"}},
        {420,
         "Unable to find D3DDevice__m_SwapCallback_OFFSET entry in database...",
         4,
         {"D3DDevice__m_SwapCallback_OFFSET", "D3DDevice__m_VBlankCallback_OFFSET"}},
        // The swap callback is stored before the entry is missed; from then on every call stops
        // at the stored callback, before the event is looked at again.
        {421,
         "Unable to find D3DDevice__m_VBlankCallback_OFFSET entry in database...",
         1,
         {"D3DDevice__m_VBlankCallback_OFFSET"}},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.missing);
        Scene scene;
        scene.database.missing_placeholder = test.missing;
        const SceneResult result = run_scene(scene);
        EXPECT_EQ(result.errors, std::vector<std::string>(test.times, test.error));
        for (const std::string &name : test.unreported)
            EXPECT_FALSE(reported(result, name).has_value()) << name;
    }
}

TEST(D3D8Derivation, AKnownSwapCallbackStopsBeforeTheDeviceFields) {
    Scene scene;
    scene.swap_callback_before = 0x1234;
    const SceneResult result = run_scene(scene);
    EXPECT_EQ(result.slots.at(420), 0x1234u);
    EXPECT_EQ(result.slots.at(419), XRefDerive);
    EXPECT_EQ(result.slots.at(421), XRefNotSet);
    EXPECT_FALSE(reported(result, "D3DDevice__m_VerticalBlankEvent_OFFSET").has_value());
    EXPECT_FALSE(reported(result, "D3DDevice__m_VBlankCallback_OFFSET").has_value());
    // Every call of both walks fails there, after the render-state reports.
    EXPECT_EQ(std::count_if(result.symbols.begin(), result.symbols.end(),
                            [](const RecordedSymbol &s) { return s.name == "D3DRS_CullMode"; }),
              4);
    EXPECT_EQ(result.errors, std::vector<std::string>{});
}

} // namespace
