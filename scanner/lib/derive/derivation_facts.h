#pragma once
// What the derivations read and fill, said once: the symbol slots they work with, and for each
// entry a derivation looks up, the references its record must teach (in this order where the
// derivation reads the record's pairs) and the slots the derivation fills once it is found. The
// derivations use these, and the authoring tool reads the same table to decide which references
// a record may hold.
#include <cstdint>
#include <span>

namespace fenxi_derive {

enum : std::uint32_t {
    // Direct3D
    kVerticalBlankFragment = 380,
    kStencilFragment = 381,
    kRenderState = 382,
    kDeferredRenderState = 383,
    kComplexRenderState = 384,
    kDeferredTextureState = 385,
    kDevicePointer = 386,
    kStream = 387,
    kStreamVertexBuffer = 388,
    kBackFillMode = 389,
    kFillMode = 392,
    kFogEnable = 393,
    kOcclusionCullEnable = 401,
    kRopZCmpAlwaysRead = 402,
    kRopZRead = 403,
    kPSTextureModes = 404,
    kDoNotCullUncompressed = 405,
    kStencilCullEnable = 407,
    kStencilEnable = 408,
    kStencilFail = 409,
    kTwoSidedLighting = 410,
    kTexCoordIndex = 413,
    kVerticalBlankEvent = 419,
    kSwapCallback = 420,
    kVBlankCallback = 421,
    kCommonSetDebugRegisters = 442,
    kSetRenderStateFillMode = 581,
    kSetRenderStateSimple = 598,
    kSetRenderStateNotInline = 608,
    kSetStreamSource = 616,
    kSetTextureStateTexCoordIndex = 624,
    kSetRenderStateInlineFragment = 674,

    // DirectSound
    kVoiceTable = 677,
    kStreamTable = 678,
    kStreamAddRef = 725,
    kStreamConstructor = 726,
    kStreamDiscontinuity = 727,
    kStreamFlush = 728,
    kStreamGetInfo = 730,
    kStreamGetStatus = 731,
    kStreamProcess = 735,
    kStreamRelease = 736,

    // XAPI
    kDeviceTypeGamepad = 1070,
    kDeviceTypeIRDongle = 1071,
    kDeviceTypeKeyboard = 1072,
    kDeviceTypeMouse = 1073,
    kDeviceTypeMU = 1074,
    kDeviceTypeSBC = 1075,
    kDeviceTableBegin = 1076,
    kDeviceTableEnd = 1077,
    kGetMaxDeviceTypeCount = 1084,
    kMUInit = 1085,
    kGetTypeInformation = 1100,
    kGetTypeInformation2 = 1101,
    kMapLetterToDirectory = 1127,
    kGetSectionSize = 1139,
    kInputOpen = 1146,

};

struct DerivationFact {
    std::uint32_t entry;                  // looked up by a derivation
    std::span<const std::uint32_t> reads; // references its record must hold, in this order
    // The first of them is a call displacement that the derivation turns into an address.
    bool reads_displacement;
    std::span<const std::uint32_t> fills; // slots the derivation fills from it
};

std::span<const DerivationFact> derivation_facts();

// The fact of `entry`, or nullptr when no derivation looks it up.
const DerivationFact *derivation_fact(std::uint32_t entry);

} // namespace fenxi_derive
