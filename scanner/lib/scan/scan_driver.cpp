// The scans that fill a context: the manual scan with the special derivations, the library scan
// of every automatic entry, the full scan in dependency order, and the report of variables that
// only derivations find.
#include <iterator>

#include "lib/image/xbe_layout.h"
#include "lib/scan/context.h"
#include "lib/scan/signature_match.h"

namespace {

constexpr std::uint32_t kMaxScannedLibraries = 32;

std::uint32_t section_name_count(const LibraryDatabase &group) {
    return group.SectionCount < std::size(group.SectionNames) ? group.SectionCount
                                                              : std::size(group.SectionNames);
}

bool group_searches(const LibraryDatabase &group, const FenxSectionFilter &section) {
    for (std::uint32_t n = 0; n < section_name_count(group); ++n)
        if (group.SectionNames[n] != nullptr &&
            Fenxi_SameName8(section.Name, group.SectionNames[n]))
            return true;
    return false;
}

// One walk of a library's groups and sections with its handler; true when the handler said its
// work is complete.
bool walk_manual(FenxContext *context, const FenxLibraryFilter *library,
                 FenxiManualHandlerFunction handler) {
    for (std::uint32_t g = 0; g < context->Database.GroupCount; ++g) {
        const LibraryDatabase &group = context->Database.Groups[g];
        if ((group.LibraryFlags & library->Flag) == 0)
            continue;
        for (std::uint32_t s = 0; s < context->SectionCount; ++s) {
            const FenxSectionFilter &section = context->Sections[s];
            for (std::uint32_t n = 0; n < section_name_count(group); ++n) {
                if (group.SectionNames[n] == nullptr ||
                    !Fenxi_SameName8(section.Name, group.SectionNames[n]))
                    continue;
                Fenxi_Post(context->Sink, FENX_MSG_DETAIL, "Scanning %.8s library in %.8s section",
                           library->Name, section.Name);
                if (handler(context, library, &group, &section))
                    return true;
            }
        }
        // A group serving only this library is its last chance.
        if ((group.LibraryFlags & ~library->Flag) == 0)
            return false;
    }
    return false;
}

std::uint32_t dependency_mask(std::uint32_t flag, const FenxLibraryFilter *libraries,
                              std::uint32_t count) {
    switch (flag) {
    case FENX_LIB_XACTENG:
        return FENX_LIB_DSOUND;
    case FENX_LIB_D3DX8: {
        if (count == 0)
            return FENX_LIB_D3D8 | FENX_LIB_D3D8LTCG;
        std::uint32_t mask = 0;
        for (std::uint32_t i = 0; i < count; ++i)
            mask |= libraries[i].Flag & (FENX_LIB_D3D8 | FENX_LIB_D3D8LTCG);
        return mask;
    }
    default:
        return 0;
    }
}

struct DerivedVariable {
    const char *library; // 8 characters, NUL-padded
    std::uint32_t flag;
    std::uint32_t index;
    const char *name;
    std::uint32_t version;
};

// Variables that only the derivations find, reported once more at the end, in this order.
constexpr char kD3D8[8] = "D3D8";
constexpr char kJVS[8] = "JVS";
constexpr char kXapiLib[8] = "XAPILIB";
constexpr DerivedVariable kDerivedVariables[] = {
    {kD3D8, FENX_LIB_D3D8, 422, "D3DDevice__m_VertexShader_OFFSET", 0},
    {kJVS, FENX_LIB_JVS, 1026, "JVS_g_pPINSA", 4831},
    {kJVS, FENX_LIB_JVS, 1027, "JVS_g_pPINSB", 4831},
    {kXapiLib, FENX_LIB_XAPILIB, 1070, "g_DeviceType_Gamepad", 0},
    {kXapiLib, FENX_LIB_XAPILIB, 1071, "g_DeviceType_IRDongle", 0},
    {kXapiLib, FENX_LIB_XAPILIB, 1072, "g_DeviceType_Keyboard", 0},
    {kXapiLib, FENX_LIB_XAPILIB, 1073, "g_DeviceType_Mouse", 0},
    {kXapiLib, FENX_LIB_XAPILIB, 1075, "g_DeviceType_SBC", 4242},
    {kXapiLib, FENX_LIB_XAPILIB, 1079, "g_XapiAltLett_MU", 0},
    {kXapiLib, FENX_LIB_XAPILIB, 1080, "g_XapiMountedMUs", 0},
    {kXapiLib, FENX_LIB_XAPILIB, 1078, "g_XapiCurrentTopLevelFilter", 0},
    {kXapiLib, FENX_LIB_XAPILIB, 1068, "_tls_array", 0},
    {kXapiLib, FENX_LIB_XAPILIB, 1069, "_tls_index", 0},
    {kXapiLib, FENX_LIB_XAPILIB, 1081, "XapiCurrentFiber_OFFSET", 0},
    {kXapiLib, FENX_LIB_XAPILIB, 1082, "XapiLastErrorCode_OFFSET", 0},
    {kXapiLib, FENX_LIB_XAPILIB, 1083, "XapiThreadFiberData_OFFSET", 0},
    {kXapiLib, FENX_LIB_XAPILIB, 1130, "XapiThreadNotifyRoutineList", 0},
};

} // namespace

void FenxContext_ScanManual(FenxContext *context) {
    if (context->State != FENXI_STATE_CREATED) {
        Fenxi_Post(context->Sink, FENX_MSG_ERROR, "Manual rescan request is skip.");
        return;
    }
    context->State = FENXI_STATE_MANUAL;
    for (std::uint32_t i = 0; i < context->LibraryCount; ++i) {
        const FenxLibraryFilter *library = &context->Libraries[i];
        if (Fenx_LibraryType(library->Flag) == 0)
            continue;
        const FenxiManualHandler *row = Fenxi_FindManualHandler(context->Handlers, library->Flag);
        if (row == nullptr)
            continue;
        if (!walk_manual(context, library, row->Handler) && row->WalkAgainOnFailure)
            walk_manual(context, library, row->Handler);
    }
    context->State = FENXI_STATE_SCANNED;
}

std::uint32_t FenxContext_ScanLibrary(FenxContext *context, const FenxLibraryFilter *library,
                                      bool first_pass) {
    if (Fenx_LibraryType(library->Flag) == 0)
        return 0;
    if (context->State != FENXI_STATE_SCANNED) {
        Fenxi_Post(context->Sink, FENX_MSG_ERROR,
                   "FenxContext_ScanManual must be call first before scan for library's symbols.");
        return 0;
    }
    const std::uint32_t type = Fenx_LibraryType(library->Flag);
    if (context->Active[type])
        return 0;
    const std::uint32_t found_before = context->FoundCount[type];
    context->Active[type] = true;
    Fenxi_Post(context->Sink, FENX_MSG_DETAIL, "Library type active: %u", type);

    for (std::uint32_t g = 0; g < context->Database.GroupCount; ++g) {
        const LibraryDatabase &group = context->Database.Groups[g];
        if ((group.LibraryFlags & library->Flag) == 0)
            continue;
        for (std::uint32_t s = 0; s < context->SectionCount; ++s) {
            const FenxSectionFilter *section = &context->Sections[s];
            if (!group_searches(group, *section))
                continue;
            Fenxi_Post(context->Sink, FENX_MSG_DETAIL, "Scanning %.8s library in %.8s section",
                       library->Name, section->Name);
            for (std::uint32_t e = 0; e < group.EntryCount; ++e) {
                const OOVPATable *entry = &group.Entries[e];
                if ((entry->ScanMarks & FENX_SCAN_AUTOMATIC) == 0)
                    continue;
                const FenxiMatch match =
                    Fenxi_MatchEntry(context, library, type, section, first_pass, entry);
                if (match.Address != 0)
                    Fenxi_RegisterSymbol(context, library, entry, match.Revision->Version,
                                         match.Address);
            }
        }
    }

    if (!context->Active[type])
        Fenxi_Post(context->Sink, FENX_MSG_ERROR,
                   "Attempted to set already inactive library type %u.", type);
    context->Active[type] = false;
    Fenxi_Post(context->Sink, FENX_MSG_DETAIL, "Library type inactive: %u", type);
    return context->FoundCount[type] - found_before;
}

void FenxContext_ScanAll(FenxContext *context) {
    if (context->State != FENXI_STATE_SCANNED) {
        Fenxi_Post(context->Sink, FENX_MSG_ERROR,
                   "FenxContext_ScanManual must be call first before scan for library's symbols.");
        return;
    }
    if (context->LibraryCount > kMaxScannedLibraries)
        return;

    const std::uint32_t filter = context->LibraryFilter;
    const auto passes_filter = [filter](std::uint32_t flag) {
        return filter == 0 || (flag & filter) != 0;
    };
    std::uint32_t needs[kMaxScannedLibraries] = {};
    std::uint32_t wanted = 0;
    for (std::uint32_t i = 0; i < context->LibraryCount; ++i) {
        const std::uint32_t flag = context->Libraries[i].Flag;
        if (!passes_filter(flag))
            continue;
        needs[i] = FenxContext_LibraryDependencyMask(context, flag);
        wanted |= flag;
    }

    std::uint32_t done = 0;
    for (;;) {
        bool scanned_any = false;
        for (std::uint32_t i = 0; i < context->LibraryCount; ++i) {
            const FenxLibraryFilter *library = &context->Libraries[i];
            if (!passes_filter(library->Flag)) {
                Fenxi_Post(context->Sink, FENX_MSG_DETAIL, "Skipping %.8s (%hu) scan.",
                           library->Name, library->BuildVersion);
                continue;
            }
            if ((done & library->Flag) != 0 || (needs[i] & ~done) != 0)
                continue;
            // Again and again while it finds something: a newly learned address may let
            // another signature match.
            bool first_pass = true;
            while (FenxContext_ScanLibrary(context, library, first_pass) != 0)
                first_pass = false;
            scanned_any = true;
            done |= library->Flag;
        }
        // A dependency that never comes (XACTENG without DSOUND) must not keep the passes going.
        if ((wanted & ~done) == 0 || !scanned_any)
            return;
    }
}

void FenxContext_ReportDerived(FenxContext *context) {
    for (const DerivedVariable &row : kDerivedVariables) {
        const std::uint32_t slot = context->XRefs[row.index];
        if (slot == 0 || slot == XRefDerive || slot == XRefNotSet)
            continue;
        context->SymbolCallback(row.library, row.flag, row.index, row.name, slot, row.version,
                                FENX_SYMBOL_VARIABLE, 1, 0, nullptr);
    }
}

std::uint32_t Fenx_LibraryDependencyMask(std::uint32_t flag, const FenxLibraryHeader *libraries) {
    if (libraries == nullptr || libraries->Filters == nullptr)
        return dependency_mask(flag, nullptr, 0);
    return dependency_mask(flag, libraries->Filters, libraries->Count);
}

std::uint32_t FenxContext_LibraryDependencyMask(const FenxContext *context, std::uint32_t flag) {
    return dependency_mask(flag, context->Libraries, context->LibraryCount);
}
