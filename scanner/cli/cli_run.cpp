// The run: arguments, the file, the two lists, one scan context through every scan.
#include "cli/cli_run.h"

#include <cstdio>
#include <new>

#include "cli/options.h"
#include "cli/symbol_lines.h"
#include "cli/xbe_file.h"
#include "lib/database/database_tools.h"
#include "lib/image/filter_array.h"
#include "lib/image/xbe_layout.h"
#include "lib/scan/context.h"

namespace {

constexpr std::uint32_t kXbeMagic = 0x48454258; // "XBEH"
constexpr int kExitScanned = 0;
constexpr int kExitFailed = 1;

int usage(const char *program) {
    std::fprintf(stderr, "usage: %s xbefile [-v -verbose] [-d -demangle] [-e -extendinfo]\n",
                 program);
    return kExitFailed;
}

bool load(const char *path, XbeFile *file) {
    switch (read_xbe_file(path, file)) {
    case XbeFileStatus::Read:
        return true;
    case XbeFileStatus::CannotOpen:
        std::fprintf(stderr, "failed to open %s for reading\n", path);
        return false;
    case XbeFileStatus::CannotRead:
        std::fprintf(stderr, "failed to read %s\n", path);
        return false;
    case XbeFileStatus::TooLarge:
        std::fprintf(stderr, "%s is too large for an xbe file\n", path);
        return false;
    case XbeFileStatus::OutOfMemory:
        break;
    }
    std::fprintf(stderr, "unable to allocate memory for xbe buffer\n");
    return false;
}

} // namespace

int run_fendrel_cli(int argc, char **argv, const FenxDatabase &database) {
    CliOptions options;
    if (!parse_cli_options(argc, argv, &options))
        return usage(argc > 0 ? argv[0] : "FendrelCLI");
    set_symbol_line_options(SymbolLineOptions{options.demangle, options.extendinfo});

    if (options.verbose)
        std::fprintf(stderr, "Database Version = %s\n",
                     Fenxi_DatabaseVersionText(Fenxi_DatabaseVersion(database)).c_str());

    XbeFile file;
    if (!load(options.path, &file))
        return kExitFailed;
    if (file.size < 4 || Fenxi_ReadU32(file.data) != kXbeMagic) {
        std::fprintf(stderr, "invalid xbe header\n");
        return kExitFailed;
    }
    // Everything the header names must lie inside the file before the library reads it.
    if (const char *problem = Fenx_CheckXbe(file.data, file.size, true)) {
        std::fprintf(stderr, "invalid xbe image: %s\n", problem);
        return kExitFailed;
    }

    Fenx_SetMessageCallback(print_message);
    if (options.verbose)
        Fenx_SetMessageLevel(FENX_MSG_DETAIL);

    FilterArray<FenxLibraryFilter> library_array;
    FenxLibraryHeader libraries{Fenx_BuildLibraryHeader(file.data, file.size, nullptr), nullptr};
    library_array.filters = new (std::nothrow) FenxLibraryFilter[libraries.Count + 1];
    if (library_array.filters == nullptr) {
        std::fprintf(stderr, "unable to allocate memory for lib_header.filters \n");
        return kExitFailed;
    }
    libraries.Filters = library_array.filters;
    Fenx_BuildLibraryHeader(file.data, file.size, &libraries);
    if (options.verbose) {
        std::fprintf(stderr, "%u libraries\n", libraries.Count);
        for (std::uint32_t i = 0; i < libraries.Count; ++i)
            std::fprintf(stderr, "  %.8s\n", libraries.Filters[i].Name);
    }

    FilterArray<FenxSectionFilter> section_array;
    FenxSectionHeader sections{Fenx_BuildSectionHeader(file.data, file.size, nullptr, true),
                               nullptr};
    section_array.filters = new (std::nothrow) FenxSectionFilter[sections.Count + 1];
    if (section_array.filters == nullptr) {
        std::fprintf(stderr, "unable to allocate memory for sect_header.filters \n");
        return kExitFailed;
    }
    sections.Filters = section_array.filters;
    Fenx_BuildSectionHeader(file.data, file.size, &sections, true);
    if (options.verbose) {
        std::fprintf(stderr, "%u sections\n", sections.Count);
        for (std::uint32_t i = 0; i < sections.Count; ++i)
            std::fprintf(stderr, "  %.8s\n", sections.Filters[i].Name);
    }

    // Without a context (no library recognised, no section to scan) the library has said why;
    // the image is readable, so this is an empty result rather than a failure.
    FenxContext *context = nullptr;
    if (!Fenxi_CreateContext(&context, print_symbol, &libraries, &sections,
                             Fenx_KernelThunkAddress(file.data, file.size), database,
                             Fenxi_BuiltinManualHandlers()))
        return kExitScanned;
    FenxContext_ScanManual(context);
    FenxContext_ScanAll(context);
    FenxContext_ReportDerived(context);
    FenxContext_Release(context);
    return kExitScanned;
}
