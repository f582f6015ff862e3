// Creating, configuring and releasing a scan context; the kernel thunk table is registered here.
#include "lib/scan/context.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

#include "lib/image/xbe_layout.h"

namespace {

// Symbols whose address is learned from a reference inside another symbol's signature.
constexpr std::uint16_t kDerivedAtStart[] = {
    387,  388,  413,  414,  415,  416,  417,  418,  419,  422,  1026, 1027, 1068, 1069, 1070,
    1071, 1072, 1073, 1074, 1075, 1076, 1077, 1078, 1079, 1080, 1081, 1082, 1083, 1130, 1139,
};

constexpr std::uint32_t kKernelOrdinalFirst = 1;
constexpr std::uint32_t kKernelOrdinalLast = 378;
constexpr std::uint32_t kImportByOrdinal = 0x80000000;
// A real table holds at most one entry per kernel export. Past that many refused entries a
// damaged table's are counted rather than listed, unless every detail is asked for.
constexpr std::uint32_t kListedThunkRefusals = kKernelOrdinalLast;

void register_kernel_thunks(FenxContext *context, std::uint32_t thunk) {
    const FenxSectionFilter *holder = nullptr;
    for (std::uint32_t i = 0; i < context->SectionCount && holder == nullptr; ++i) {
        const FenxSectionFilter &section = context->Sections[i];
        if (section.VirtualAddress <= thunk &&
            std::uint64_t{thunk} < std::uint64_t{section.VirtualAddress} + section.Size)
            holder = &section;
    }
    if (holder == nullptr) {
        Fenxi_Post(context->Sink, FENX_MSG_WARNING,
                   "Kernel thunk is not found from sections input, certain symbol's OOVPAs may "
                   "not be detected.");
        return;
    }
    Fenxi_Post(context->Sink, FENX_MSG_DETAIL, "Kernel thunk is found in %.8s section",
               holder->Name);
    // Entries up to the first zero, never past the section's end.
    const std::uint32_t start = thunk - holder->VirtualAddress;
    const bool list_all = context->Sink.Level <= FENX_MSG_DETAIL;
    std::uint32_t refused = 0;
    for (std::uint32_t at = start; holder->Size - at >= 4; at += 4) {
        const std::uint32_t entry = Fenxi_ReadU32(holder->Data + at);
        if (entry == 0)
            break;
        const std::uint32_t ordinal = entry & ~kImportByOrdinal;
        const std::uint32_t address = thunk + (at - start);
        if (ordinal >= kKernelOrdinalFirst && ordinal <= kKernelOrdinalLast)
            context->XRefs[ordinal] = address;
        else if (++refused <= kListedThunkRefusals || list_all)
            Fenxi_Post(context->Sink, FENX_MSG_WARNING,
                       "Unable to register kernel thunk: index=%u; vaddr=0x%08x", ordinal, address);
    }
    if (refused > kListedThunkRefusals && !list_all)
        Fenxi_Post(context->Sink, FENX_MSG_WARNING,
                   "Unable to register kernel thunk: %u more entries, not listed",
                   refused - kListedThunkRefusals);
}

template <typename Filter> Filter *copy_list(const Filter *source, std::uint32_t count) {
    Filter *copy = new (std::nothrow) Filter[count];
    if (copy != nullptr)
        std::copy(source, source + count, copy);
    return copy;
}

void free_context(FenxContext *context) {
    if (context->SectionIndexes != nullptr)
        for (std::uint32_t i = 0; i < context->SectionCount; ++i)
            Fenxi_ReleaseSectionIndex(context->SectionIndexes[i]);
    delete[] context->SectionIndexes;
    delete[] context->Sections;
    delete[] context->Libraries;
    delete context;
}

// Options may change only before the manual scan begins.
bool may_set_option(FenxContext *context) {
    if (context == nullptr)
        return false;
    if (context->State != FENXI_STATE_CREATED) {
        Fenxi_Post(context->Sink, FENX_MSG_ERROR,
                   "Cannot set parameter value after first and during scan call.");
        return false;
    }
    return true;
}

} // namespace

bool Fenxi_CreateContext(FenxContext **out, FenxSymbolCallback symbol_callback,
                         const FenxLibraryHeader *libraries, const FenxSectionHeader *sections,
                         std::uint32_t kernel_thunk_address, const FenxDatabase &database,
                         const FenxiManualHandler *handlers) {
    if (out == nullptr)
        return false;
    *out = nullptr;
    if (symbol_callback == nullptr) {
        Fenxi_PostLibrary(FENX_MSG_ERROR, "A scan context needs a symbol callback.");
        return false;
    }
    if (libraries == nullptr || libraries->Count == 0 || libraries->Filters == nullptr) {
        Fenxi_PostLibrary(FENX_MSG_WARNING,
                          "No XDK library is listed for this image; nothing is scanned.");
        return false;
    }
    if (sections == nullptr || sections->Count == 0 || sections->Filters == nullptr) {
        Fenxi_PostLibrary(FENX_MSG_WARNING,
                          "No section of this image is listed for scanning; nothing is scanned.");
        return false;
    }

    FenxContext *context = new (std::nothrow) FenxContext{};
    if (context == nullptr)
        return false;
    context->Database = database;
    context->Handlers = handlers;
    context->Strategy = FenxiMatchStrategy::Automatic;
    context->Sink = Fenxi_LibrarySink();
    context->SymbolCallback = symbol_callback;
    context->Libraries = copy_list(libraries->Filters, libraries->Count);
    context->Sections = copy_list(sections->Filters, sections->Count);
    context->SectionIndexes = new (std::nothrow) FenxiSectionIndex[sections->Count];
    if (context->Libraries == nullptr || context->Sections == nullptr ||
        context->SectionIndexes == nullptr) {
        free_context(context);
        return false;
    }
    context->LibraryCount = libraries->Count;
    context->SectionCount = sections->Count;
    std::fill(std::begin(context->XRefs), std::end(context->XRefs), XRefNotSet);

    register_kernel_thunks(context, kernel_thunk_address);

    for (std::uint16_t index : kDerivedAtStart)
        context->XRefs[index] = XRefDerive;
    context->State = FENXI_STATE_CREATED;
    *out = context;
    return true;
}

bool FenxContext_Create(FenxContext **out, FenxSymbolCallback symbol_callback,
                        const FenxLibraryHeader *libraries, const FenxSectionHeader *sections,
                        std::uint32_t kernel_thunk_address) {
    return Fenxi_CreateContext(out, symbol_callback, libraries, sections, kernel_thunk_address,
                               Fenxi_BuiltinDatabase(), Fenxi_BuiltinManualHandlers());
}

FenxiSectionIndex *Fenxi_SectionIndexOf(FenxContext *context, const FenxSectionFilter *section) {
    for (std::uint32_t i = 0; i < context->SectionCount; ++i)
        if (&context->Sections[i] == section)
            return &context->SectionIndexes[i];
    return nullptr;
}

void FenxContext_SetIgnoreBuildLimit(FenxContext *context, bool value) {
    if (may_set_option(context))
        context->IgnoreBuildLimit = value;
}

void FenxContext_SetScanWholeSection(FenxContext *context, bool value) {
    if (may_set_option(context))
        context->ScanWholeSection = value;
}

void FenxContext_SetKeepFirstAddress(FenxContext *context, bool value) {
    if (may_set_option(context))
        context->KeepFirstAddress = value;
}

bool FenxContext_SetLibraryFilter(FenxContext *context, std::uint32_t mask) {
    if (mask > FENX_LIB_ALL || !may_set_option(context))
        return false;
    context->LibraryFilter = mask;
    return true;
}

void FenxContext_Release(FenxContext *context) {
    if (context == nullptr)
        return;
    for (std::uint32_t type = 0; type < FENXI_LIBRARY_TYPE_COUNT; ++type)
        if (context->Active[type])
            Fenxi_Post(context->Sink, FENX_MSG_DETAIL, "Library type is currently active: %u",
                       type);
    free_context(context);
}
