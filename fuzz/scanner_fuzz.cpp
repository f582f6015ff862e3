// The scanner on an XBE file as FendrelCLI loads it: the image checks, the library and section
// lists, a scan context, the manual scan with its derivations, the full scan and the derived
// report. The first byte chooses the database (the built-in one, a small synthetic one whose
// signatures refer to each other and learn references, or the derivation test database) and
// whether detail messages are formatted; the rest is the file.
#include "lib/derive/manual_handlers.h"
#include "lib/fendrel.h"
#include "lib/scan/context.h"
#include "scratch.h"
#include "support/derivation_cli_database.h"
#include "support/synthetic_database.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Symbols 413 and 414 start out as "to be learned": the first signature learns 413 from its
// call, the second needs it, the third learns 414 from an absolute operand and also refers to the
// plain function, so the full scan goes round until nothing new is found.
const FenxDatabase &referring_database() {
    static SyntheticDatabase db;
    static const FenxDatabase &database = []() -> const FenxDatabase & {
        const std::uint32_t dsound = db.group(FENX_LIB_DSOUND, {"DSOUND", ".text"});
        db.entry(dsound, 400, FENX_SCAN_AUTOMATIC, "Plain",
                 {{3911, db.record(0, 0, {{0, 0x55}, {1, 0x8B}, {2, 0xEC}, {3, 0x83}})}});
        db.entry(dsound, 401, FENX_SCAN_AUTOMATIC, "Learner",
                 {{3911, db.record(1, 0, {{1, 413}, {0, 0xE8}, {5, 0xC3}})}});
        db.entry(dsound, 402, FENX_SCAN_AUTOMATIC, "User",
                 {{3911, db.record(1, 0, {{1, 413}, {0, 0xE9}, {5, 0xCC}})}});
        db.entry(dsound, 403, FENX_SCAN_AUTOMATIC, "Pointer",
                 {{3911, db.record(2, 2, {{1, 414}, {6, 400}, {0, 0xA1}, {5, 0xE8}, {10, 0xC3}})}});
        db.entry(dsound, 404, FENX_SCAN_MANUAL, "Manual",
                 {{3911, db.record(0, 0, {{0, 0x8B}, {1, 0x0D}})}});
        const std::uint32_t d3d = db.group(FENX_LIB_D3D8, {"D3D"});
        db.entry(d3d, 405, FENX_SCAN_AUTOMATIC, "Device",
                 {{3911, db.record(1, 0, {{2, 401}, {0, 0xFF}, {1, 0x15}})},
                  {4627, db.record(0, 1, {{0, 0x56}, {1, 0x57}})}});
        return db.database();
    }();
    return database;
}

void ignore_message(std::uint32_t, const char *text) {
    if (text == nullptr)
        fuzz::broken("a message without text");
}

void check_symbol(const char *library_name, std::uint32_t, std::uint32_t, const char *symbol_name,
                  std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                  std::uint32_t param_count, const OOVPAParam *params) {
    if (library_name == nullptr || symbol_name == nullptr)
        fuzz::broken("a symbol without a library or name");
    if (param_count > 0 && params == nullptr)
        fuzz::broken("parameters counted but not given");
}

const FenxDatabase &chosen_database(std::uint8_t choice) {
    switch (choice % 3) {
    case 0:
        return Fenxi_BuiltinDatabase();
    case 1:
        return referring_database();
    default:
        return derivation_cli_database();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1)
        return 0;
    const FenxDatabase &database = chosen_database(data[0]);
    Fenx_SetMessageCallback(ignore_message);
    Fenx_SetMessageLevel((data[0] & 0x80) != 0 ? FENX_MSG_DETAIL : FENX_MSG_ERROR);
    // The file in a buffer of its own size, so that any read past it is caught.
    const std::vector<std::uint8_t> file(data + 1, data + size);
    const std::uint8_t *image = file.data();
    const std::size_t image_size = file.size();

    if (Fenx_CheckXbe(image, image_size, true) != nullptr)
        return 0;
    (void)Fenx_XbeTypeName(Fenx_XbeType(image, image_size));

    FenxLibraryHeader libraries{Fenx_BuildLibraryHeader(image, image_size, nullptr), nullptr};
    std::vector<FenxLibraryFilter> library_filters(libraries.Count + 1);
    libraries.Filters = library_filters.data();
    if (Fenx_BuildLibraryHeader(image, image_size, &libraries) > library_filters.size())
        fuzz::broken("the library list grew between counting and filling");

    FenxSectionHeader sections{Fenx_BuildSectionHeader(image, image_size, nullptr, true), nullptr};
    std::vector<FenxSectionFilter> section_filters(sections.Count + 1);
    sections.Filters = section_filters.data();
    if (Fenx_BuildSectionHeader(image, image_size, &sections, true) > section_filters.size())
        fuzz::broken("the section list grew between counting and filling");

    FenxContext *context = nullptr;
    if (!Fenxi_CreateContext(&context, check_symbol, &libraries, &sections,
                             Fenx_KernelThunkAddress(image, image_size), database,
                             Fenxi_BuiltinManualHandlers()))
        return 0;
    FenxContext_ScanManual(context);
    FenxContext_ScanAll(context);
    FenxContext_ReportDerived(context);
    FenxContext_Release(context);
    return 0;
}
