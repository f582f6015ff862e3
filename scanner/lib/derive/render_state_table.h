#pragma once
// The Direct3D render-state positions in the device's state block (TarskRenderStateInfo): 167
// positions in a fixed order, each present from a first library build on. The slots that exist
// for a build are numbered 0, 1, 2, ... in position order; slot n lives at
// D3D_g_RenderState + 4 n. Some positions carry a symbol of their own.
#include <cstdint>

struct FenxiRenderStatePosition {
    std::uint16_t FirstBuild;
    std::uint16_t GoneFromBuild; // 0: never dropped
    std::uint16_t SymbolIndex;   // 0: no symbol of its own
};

inline constexpr std::uint32_t FENXI_RENDER_STATE_POSITIONS = 167;

const FenxiRenderStatePosition *Fenxi_RenderStatePositions();

bool Fenxi_RenderStateExists(const FenxiRenderStatePosition &position, std::uint16_t build);

// Slots existing for `build` among positions 0 to `last_position`.
std::uint32_t Fenxi_RenderStateSlotsUpTo(std::uint32_t last_position, std::uint16_t build);
