// Direct3D derivations. The device's globals, field offsets and render-state slots have no code
// of their own: they are references inside a few functions the database can match, or fixed
// distances from them. Matches that would teach a slot mark it XRefDerive first and put
// XRefNotSet back when they fail, so that a second walk starts clean.
#include <cstddef>
#include <initializer_list>
#include <type_traits>

#include "lib/derive/derivation_facts.h"
#include "lib/derive/derivation_terms.h"
#include "lib/derive/derivations.h"
#include "lib/derive/render_state_table.h"
#include "lib/scan/signature_match.h"

namespace {

using namespace fenxi_derive;

// Every variable these derivations report is D3D8's, whichever of the two libraries found it.
constexpr char kD3D8Name[8] = "D3D8";

// The render-state byte sits after the opcode bytes of the store in each function.
constexpr std::uint32_t kNotInlineStateByte = 7;
constexpr std::uint32_t kInlineFragmentStateByte = 2;

// Positions up to these are the simple and the deferred render states.
constexpr std::uint32_t kLastSimplePosition = 91;
constexpr std::uint32_t kLastDeferredPosition = 135;

constexpr std::uint32_t kFirstBuildWithTextureAndStreams = 3911;
constexpr std::uint32_t kTexCoordIndexOffset = 0x70;
constexpr std::uint32_t kStreamVertexBufferOffset = 8;
constexpr std::uint32_t kComplexStatesBeforeFillMode = 12;
constexpr std::uint32_t kSwapCallbackBeforeEvent = 8;
constexpr std::uint32_t kVBlankCallbackBeforeEvent = 4;

class D3D8Derivation {
  public:
    D3D8Derivation(FenxContext *context, const FenxLibraryFilter *library,
                   const LibraryDatabase *group, const FenxSectionFilter *section)
        : context_(context), library_(library), group_(group), section_(section) {}

    bool run() {
        const bool device = derive_device_pointer();
        const bool render_state = find(kSetRenderStateSimple, true) && derive_render_state();
        const bool complex = derive_complex_states();
        if (!derive_stencil_states())
            return false;
        if (!device || !render_state || !complex)
            return false;
        report_render_state_slots();
        report_render_state_blocks();
        check_render_state_slots();
        if (library_->BuildVersion < kFirstBuildWithTextureAndStreams)
            return true;
        derive_texture_state();
        derive_stream();
        return derive_device_fields();
    }

  private:
    std::uint32_t slot(std::uint32_t index) const { return context_->XRefs[index]; }
    void set(std::initializer_list<std::uint32_t> indices, std::uint32_t value) {
        for (std::uint32_t index : indices)
            context_->XRefs[index] = value;
    }

    // Found now, or already known from an earlier call.
    bool find(std::uint32_t index, bool first_pass) {
        if (!Fenxi_IsUnresolved(slot(index)))
            return true;
        return Fenxi_FindEntryBySymbol(context_, library_, group_, section_, index, first_pass,
                                       true) != 0;
    }

    // The first hit among the manual entries of a fragment; its references teach their slots.
    std::uint32_t match_fragment(std::uint32_t index, bool first_pass) {
        const std::uint32_t type = Fenx_LibraryType(library_->Flag);
        for (std::uint32_t i = 0; i < group_->EntryCount; ++i) {
            const OOVPATable &entry = group_->Entries[i];
            if ((entry.ScanMarks & FENX_SCAN_MANUAL) == 0 || entry.SymbolIndex != index)
                continue;
            const FenxiMatch match =
                Fenxi_MatchEntry(context_, library_, type, section_, first_pass, &entry);
            if (match.Address != 0)
                return match.Address;
        }
        return 0;
    }

    void post(std::uint32_t level, const char *text) {
        Fenxi_Post(context_->Sink, level, "%s", text);
    }

    // D3D_CommonSetDebugRegisters refers to the device pointer and three render-state slots.
    bool derive_device_pointer() {
        if (!Fenxi_IsUnresolved(slot(kDoNotCullUncompressed)))
            return true;
        const std::initializer_list<std::uint32_t> learned = {kDevicePointer, kRopZCmpAlwaysRead,
                                                              kRopZRead, kDoNotCullUncompressed};
        set(learned, XRefDerive);
        if (Fenxi_FindEntryBySymbol(context_, library_, group_, section_, kCommonSetDebugRegisters,
                                    false, true) == 0) {
            set(learned, XRefNotSet);
            return false;
        }
        const OOVPATable *entry = Fenxi_ManualEntry(group_, kDevicePointer);
        if (entry == nullptr) {
            post(FENX_MSG_ERROR, "Unable to find D3D_g_pDevice entry in database...");
            return false;
        }
        if (Fenxi_HoldsAddress(slot(kDevicePointer)))
            Fenxi_ReportEntry(context_, library_, entry, slot(kDevicePointer), 0);
        return true;
    }

    // The render-state block's base is a reference of the out-of-line setter (or, built with
    // link-time code generation, of its inlined fragment); a byte of the same code gives the
    // first deferred state's number.
    bool derive_render_state() {
        if (!Fenxi_IsUnresolved(slot(kRenderState)))
            return true;
        set({kRenderState}, XRefDerive);
        std::uint32_t state_byte_at = 0;
        if (const std::uint32_t found = Fenxi_FindEntryBySymbol(
                context_, library_, group_, section_, kSetRenderStateNotInline, true, true)) {
            state_byte_at = found + kNotInlineStateByte;
        } else if (library_->Flag == FENX_LIB_D3D8LTCG) {
            if (const std::uint32_t hit = match_fragment(kSetRenderStateInlineFragment, true))
                state_byte_at = hit + kInlineFragmentStateByte;
        }
        if (state_byte_at == 0) {
            set({kRenderState}, XRefNotSet);
            return false;
        }
        // A signature that does not refer to the block found the code but taught no base:
        // nothing can be counted from the marker, and the checks will say it is not set.
        if (slot(kRenderState) == XRefDerive)
            set({kRenderState}, XRefNotSet);
        if (!Fenxi_HoldsAddress(slot(kRenderState)))
            return true;
        std::uint8_t state = 0;
        if (!Fenxi_ReadByteAt(Fenxi_SectionHolding(context_, state_byte_at, 1), state_byte_at,
                              &state))
            return true;
        const std::uint32_t deferred = slot(kRenderState) + 4u * state;
        Fenxi_StoreSlot(context_, library_, kDeferredRenderState, deferred);
        Fenxi_StoreSlot(context_, library_, kFogEnable, deferred);
        return true;
    }

    // The fill-mode setter refers to three complex states; the complex block starts three slots
    // before the fill mode.
    bool derive_complex_states() {
        bool found = true;
        if (Fenxi_IsUnresolved(slot(kFillMode))) {
            const std::initializer_list<std::uint32_t> learned = {kFillMode, kBackFillMode,
                                                                  kTwoSidedLighting};
            set(learned, XRefDerive);
            if (Fenxi_FindEntryBySymbol(context_, library_, group_, section_,
                                        kSetRenderStateFillMode, false, true) == 0) {
                set(learned, XRefNotSet);
                found = false;
            }
        }
        if (Fenxi_HoldsAddress(slot(kFillMode))) {
            const std::uint32_t complex = slot(kFillMode) - kComplexStatesBeforeFillMode;
            context_->XRefs[kComplexRenderState] = complex;
            context_->XRefs[kPSTextureModes] = complex;
        }
        return found;
    }

    bool derive_stencil_states() {
        if (!Fenxi_IsUnresolved(slot(kStencilEnable)))
            return true;
        const std::initializer_list<std::uint32_t> learned = {kStencilFail, kOcclusionCullEnable,
                                                              kStencilCullEnable, kStencilEnable};
        set(learned, XRefDerive);
        if (match_fragment(kStencilFragment, false) != 0)
            return true;
        set(learned, XRefNotSet);
        return false;
    }

    void report_render_state_slots() {
        if (!Fenxi_HoldsAddress(slot(kRenderState)))
            return;
        const FenxiRenderStatePosition *positions = Fenxi_RenderStatePositions();
        std::uint32_t n = 0;
        for (std::uint32_t p = 0; p < FENXI_RENDER_STATE_POSITIONS; ++p) {
            const FenxiRenderStatePosition &position = positions[p];
            if (!Fenxi_RenderStateExists(position, library_->BuildVersion))
                continue;
            const std::uint32_t number = n++;
            if (position.SymbolIndex == 0)
                continue;
            if (slot(position.SymbolIndex) == XRefNotSet) {
                Fenxi_StoreSlot(context_, library_, position.SymbolIndex,
                                slot(kRenderState) + 4u * number);
                Fenxi_Post(context_->Sink, FENX_MSG_DETAIL,
                           "%s symbol address is manually set to D3D_g_RenderState + %zd * %u.",
                           Fenx_SymbolName(position.SymbolIndex),
                           std::make_signed_t<std::size_t>{4}, number);
            }
            if (Fenxi_HoldsAddress(slot(position.SymbolIndex)))
                Fenxi_ReportVariable(context_, kD3D8Name, FENX_LIB_D3D8, position.SymbolIndex,
                                     slot(position.SymbolIndex), position.FirstBuild);
        }
    }

    void report_render_state_blocks() {
        for (std::uint32_t index : {kRenderState, kComplexRenderState, kDeferredRenderState})
            if (Fenxi_HoldsAddress(slot(index)))
                Fenxi_ReportVariable(context_, kD3D8Name, FENX_LIB_D3D8, index, slot(index), 0);
    }

    // Each slot must sit where its position's number puts it; a mismatch means the table and
    // the image's library disagree.
    void check_render_state_slots() {
        const std::uint16_t build = library_->BuildVersion;
        if (!Fenxi_HoldsAddress(slot(kRenderState))) {
            post(FENX_MSG_ERROR, "D3D_g_RenderState is not set!");
            return;
        }
        const std::uint32_t base = slot(kRenderState);
        if (Fenxi_IsUnresolved(slot(kDeferredRenderState))) {
            post(FENX_MSG_ERROR, "D3D_g_DeferredRenderState is not set!");
            return;
        }
        if (slot(kDeferredRenderState) - base !=
            4 * Fenxi_RenderStateSlotsUpTo(kLastSimplePosition, build))
            post(FENX_MSG_ERROR,
                 "TarskRenderStateInfo list's entry base on g_DeferredRenderState is inaccurate!");
        if (Fenxi_IsUnresolved(slot(kComplexRenderState))) {
            post(FENX_MSG_ERROR, "D3D_g_ComplexRenderState is not set!");
            return;
        }
        if (slot(kComplexRenderState) - base !=
            4 * Fenxi_RenderStateSlotsUpTo(kLastDeferredPosition, build))
            post(FENX_MSG_ERROR,
                 "TarskRenderStateInfo list's entry base on g_ComplexRenderState is inaccurate!");
        const FenxiRenderStatePosition *positions = Fenxi_RenderStatePositions();
        std::uint32_t n = 0;
        for (std::uint32_t p = 0; p < FENXI_RENDER_STATE_POSITIONS; ++p) {
            const FenxiRenderStatePosition &position = positions[p];
            if (!Fenxi_RenderStateExists(position, build))
                continue;
            const std::uint32_t number = n++;
            if (position.SymbolIndex == 0)
                continue;
            const char *name = Fenx_SymbolName(position.SymbolIndex);
            const std::uint32_t value = slot(position.SymbolIndex);
            if (value == XRefDerive)
                Fenxi_Post(context_->Sink, FENX_MSG_DETAIL,
                           "Fendrel's %s symbol is currently set to derive.", name);
            else if (value == XRefNotSet)
                Fenxi_Post(context_->Sink, FENX_MSG_ERROR, "Fendrel's %s symbol is not set!", name);
            else if (value != base + 4 * number)
                Fenxi_Post(context_->Sink, FENX_MSG_ERROR,
                           "TarskRenderStateInfo list's entry base on %s is inaccurate!", name);
        }
        post(FENX_MSG_DETAIL, "Verify RenderState offsets is complete.");
    }

    // The texture-coordinate-index setter refers to a field 0x70 bytes into the deferred
    // texture states.
    void derive_texture_state() {
        if (Fenxi_FindEntryBySymbol(context_, library_, group_, section_,
                                    kSetTextureStateTexCoordIndex, true, true) == 0)
            return;
        // Without the learned field there is nothing to count back from.
        if (!Fenxi_HoldsAddress(slot(kTexCoordIndex)))
            return;
        const std::uint32_t derived = slot(kTexCoordIndex) - kTexCoordIndexOffset;
        const std::uint32_t known = slot(kDeferredTextureState);
        if (Fenxi_HoldsAddress(known) && known != derived)
            Fenxi_Post(context_->Sink, FENX_MSG_WARNING,
                       "Duplicate XREF address found for %s (%hu), %08X vs %08X!",
                       "D3D_g_DeferredTextureState", std::uint16_t{0}, known, derived);
        if (Fenxi_HoldsAddress(known) && context_->KeepFirstAddress)
            return;
        Fenxi_StoreSlot(context_, library_, kDeferredTextureState, derived);
        Fenxi_ReportVariable(context_, library_->Name, library_->Flag, kDeferredTextureState,
                             derived, 0);
    }

    // The stream source setter refers to the first stream's vertex buffer field, 8 bytes into
    // the stream array; a learned array start that disagrees is put right.
    void derive_stream() {
        if (Fenxi_FindEntryBySymbol(context_, library_, group_, section_, kSetStreamSource, true,
                                    true) == 0)
            return;
        const std::uint32_t vertex_buffer = slot(kStreamVertexBuffer);
        if (Fenxi_HoldsAddress(vertex_buffer) &&
            vertex_buffer - slot(kStream) != kStreamVertexBufferOffset) {
            Fenxi_Post(context_->Sink, FENX_MSG_ERROR,
                       "D3D_g_Stream_i_pVertexBuffer (0x%08X) - D3D_g_Stream (0x%08X) != 0x8",
                       vertex_buffer, slot(kStream));
            context_->XRefs[kStream] = vertex_buffer - kStreamVertexBufferOffset;
        }
        if (Fenxi_HoldsAddress(slot(kStream)))
            Fenxi_ReportVariable(context_, library_->Name, library_->Flag, kStream, slot(kStream),
                                 0);
    }

    // The vertical-blank event's offset in the device, and the two callbacks just before it.
    bool derive_device_fields() {
        if (slot(kDevicePointer) == XRefDerive || slot(kSwapCallback) != XRefNotSet)
            return false;
        if (slot(kVerticalBlankEvent) == XRefDerive) {
            match_fragment(kVerticalBlankFragment, true);
            if (slot(kVerticalBlankEvent) == XRefDerive)
                return false;
        }
        const std::uint32_t event = slot(kVerticalBlankEvent);
        if (!Fenxi_HoldsAddress(event))
            return false;
        const OOVPATable *event_entry = Fenxi_ManualEntry(group_, kVerticalBlankEvent);
        if (event_entry == nullptr) {
            post(FENX_MSG_ERROR,
                 "Unable to find D3DDevice__m_VerticalBlankEvent_OFFSET entry in database...");
            return false;
        }
        Fenxi_ReportEntry(context_, library_, event_entry, event, 0);
        return derive_before_event(kSwapCallback, kSwapCallbackBeforeEvent,
                                   "Unable to find D3DDevice__m_SwapCallback_OFFSET entry in "
                                   "database...") &&
               derive_before_event(kVBlankCallback, kVBlankCallbackBeforeEvent,
                                   "Unable to find D3DDevice__m_VBlankCallback_OFFSET entry in "
                                   "database...");
    }

    bool derive_before_event(std::uint32_t index, std::uint32_t distance, const char *missing) {
        if (!Fenxi_IsUnresolved(slot(index)))
            return true;
        const OOVPATable *entry = Fenxi_ManualEntry(group_, index);
        if (entry == nullptr) {
            post(FENX_MSG_ERROR, missing);
            return false;
        }
        const std::uint32_t address = slot(kVerticalBlankEvent) - distance;
        Fenxi_StoreSlot(context_, library_, index, address);
        Fenxi_ReportEntry(context_, library_, entry, address, 0);
        return true;
    }

    FenxContext *context_;
    const FenxLibraryFilter *library_;
    const LibraryDatabase *group_;
    const FenxSectionFilter *section_;
};

} // namespace

bool Fenxi_DeriveD3D8(FenxContext *context, const FenxLibraryFilter *library,
                      const LibraryDatabase *group, const FenxSectionFilter *section) {
    return D3D8Derivation(context, library, group, section).run();
}
