// The table of what the derivations read and fill.
#include "lib/derive/derivation_facts.h"

#include <algorithm>

namespace fenxi_derive {
namespace {

constexpr std::uint32_t kSectionSizeCall[] = {kGetSectionSize};
constexpr std::uint32_t kDeviceTableEnds[] = {kDeviceTableBegin, kDeviceTableEnd};
constexpr std::uint32_t kDeviceTypes[] = {
    kDeviceTypeGamepad, kDeviceTypeIRDongle, kDeviceTypeKeyboard, kDeviceTypeMouse,
    kDeviceTypeSBC,     kDeviceTableBegin,   kDeviceTableEnd};
constexpr std::uint32_t kMemoryUnitType[] = {kDeviceTypeMU};
constexpr std::uint32_t kStreamTables[] = {kVoiceTable,          kStreamTable,   kStreamAddRef,
                                           kStreamDiscontinuity, kStreamFlush,   kStreamGetInfo,
                                           kStreamGetStatus,     kStreamProcess, kStreamRelease};
constexpr std::uint32_t kDebugRegisters[] = {kDevicePointer, kRopZCmpAlwaysRead, kRopZRead,
                                             kDoNotCullUncompressed};
constexpr std::uint32_t kRenderStateBlock[] = {kRenderState};
constexpr std::uint32_t kFillModeStates[] = {kFillMode, kBackFillMode, kTwoSidedLighting};
constexpr std::uint32_t kStencilStates[] = {kStencilFail, kOcclusionCullEnable, kStencilCullEnable,
                                            kStencilEnable};
constexpr std::uint32_t kTexCoordState[] = {kTexCoordIndex};
constexpr std::uint32_t kStreamVariables[] = {kStream, kStreamVertexBuffer};
constexpr std::uint32_t kVerticalBlank[] = {kVerticalBlankEvent};

constexpr DerivationFact kFacts[] = {
    // XAPI: XGetSectionSize from the call in XapiMapLetterToDirectory, the device types from the
    // table GetTypeInformation walks, g_DeviceType_MU from MU_Init.
    {kMapLetterToDirectory, kSectionSizeCall, true, kSectionSizeCall},
    {kGetTypeInformation, kDeviceTableEnds, false, kDeviceTypes},
    {kGetTypeInformation2, kDeviceTableEnds, false, kDeviceTypes},
    {kMUInit, {}, false, kMemoryUnitType},
    // DirectSound: the voice and stream tables and the stream methods, from the constructor.
    {kStreamConstructor, {}, false, kStreamTables},
    // Direct3D: the device, render-state, texture and stream variables their records teach.
    {kCommonSetDebugRegisters, kDebugRegisters, false, {}},
    {kSetRenderStateNotInline, kRenderStateBlock, false, {}},
    {kSetRenderStateFillMode, kFillModeStates, false, {}},
    {kStencilFragment, kStencilStates, false, {}},
    {kSetTextureStateTexCoordIndex, kTexCoordState, false, {}},
    {kSetStreamSource, kStreamVariables, false, {}},
    {kVerticalBlankFragment, kVerticalBlank, false, {}},
};

} // namespace

std::span<const DerivationFact> derivation_facts() {
    return kFacts;
}

const DerivationFact *derivation_fact(std::uint32_t entry) {
    const auto it = std::find_if(std::begin(kFacts), std::end(kFacts),
                                 [&](const DerivationFact &fact) { return fact.entry == entry; });
    return it == std::end(kFacts) ? nullptr : &*it;
}

} // namespace fenxi_derive
