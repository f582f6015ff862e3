// The render-state positions by first build, and the ones with a symbol.
#include "lib/derive/render_state_table.h"

#include <array>

namespace {

struct BuildRange {
    std::uint16_t first_position;
    std::uint16_t last_position;
    std::uint16_t first_build;
};

constexpr BuildRange kFirstBuilds[] = {
    {0, 81, 3424},    {82, 82, 4432},   {83, 91, 4627},   {92, 125, 3424},
    {126, 126, 4034}, {127, 135, 4627}, {136, 154, 3424}, {155, 156, 4034},
    {157, 158, 3424}, {159, 159, 4627}, {160, 160, 3424}, {161, 166, 3911},
};

// The multisample type state left the block when the mode states came in.
constexpr std::uint16_t kDroppedPosition = 154;
constexpr std::uint16_t kDroppedFromBuild = 4034;

struct PositionSymbol {
    std::uint16_t position;
    std::uint16_t symbol_index;
};

constexpr PositionSymbol kSymbols[] = {
    {92, 393},  // D3DRS_FogEnable
    {136, 404}, // D3DRS_PSTextureModes
    {139, 392}, // D3DRS_FillMode
    {140, 389}, // D3DRS_BackFillMode
    {141, 410}, // D3DRS_TwoSidedLighting
    {144, 408}, // D3DRS_StencilEnable
    {145, 409}, // D3DRS_StencilFail
    {146, 394}, // D3DRS_FrontFace
    {147, 390}, // D3DRS_CullMode
    {149, 412}, // D3DRS_ZBias
    {150, 395}, // D3DRS_LogicOp
    {152, 396}, // D3DRS_MultiSampleAntiAlias
    {153, 397}, // D3DRS_MultiSampleMask
    {154, 400}, // D3DRS_MultiSampleType
    {155, 398}, // D3DRS_MultiSampleMode
    {156, 399}, // D3DRS_MultiSampleRenderTargetMode
    {159, 406}, // D3DRS_SampleAlpha
    {160, 391}, // D3DRS_Dxt1NoiseEnable
    {161, 411}, // D3DRS_YuvEnable
    {162, 401}, // D3DRS_OcclusionCullEnable
    {163, 407}, // D3DRS_StencilCullEnable
    {164, 402}, // D3DRS_RopZCmpAlwaysRead
    {165, 403}, // D3DRS_RopZRead
    {166, 405}, // D3DRS_DoNotCullUncompressed
};

constexpr std::array<FenxiRenderStatePosition, FENXI_RENDER_STATE_POSITIONS> build_table() {
    std::array<FenxiRenderStatePosition, FENXI_RENDER_STATE_POSITIONS> table{};
    for (const BuildRange &range : kFirstBuilds)
        for (std::uint16_t p = range.first_position; p <= range.last_position; ++p)
            table[p].FirstBuild = range.first_build;
    table[kDroppedPosition].GoneFromBuild = kDroppedFromBuild;
    for (const PositionSymbol &symbol : kSymbols)
        table[symbol.position].SymbolIndex = symbol.symbol_index;
    return table;
}

constexpr std::array<FenxiRenderStatePosition, FENXI_RENDER_STATE_POSITIONS> kPositions =
    build_table();

} // namespace

const FenxiRenderStatePosition *Fenxi_RenderStatePositions() {
    return kPositions.data();
}

bool Fenxi_RenderStateExists(const FenxiRenderStatePosition &position, std::uint16_t build) {
    if (position.FirstBuild > build)
        return false;
    return position.GoneFromBuild == 0 || build < position.GoneFromBuild;
}

std::uint32_t Fenxi_RenderStateSlotsUpTo(std::uint32_t last_position, std::uint16_t build) {
    std::uint32_t count = 0;
    for (std::uint32_t p = 0; p <= last_position && p < FENXI_RENDER_STATE_POSITIONS; ++p)
        if (Fenxi_RenderStateExists(kPositions[p], build))
            ++count;
    return count;
}
