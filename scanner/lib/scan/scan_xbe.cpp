// The whole scan of one image in one call.
#include <new>

#include "lib/image/filter_array.h"
#include "lib/scan/context.h"

bool Fenx_ScanXbe(const std::uint8_t *image, std::size_t image_size,
                  FenxSymbolCallback symbol_callback, bool raw_file) {
    FilterArray<FenxLibraryFilter> library_array;
    FenxLibraryHeader libraries{Fenx_BuildLibraryHeader(image, image_size, nullptr), nullptr};
    if (libraries.Count == 0)
        return false;
    library_array.filters = new (std::nothrow) FenxLibraryFilter[libraries.Count];
    if (library_array.filters == nullptr)
        return false;
    libraries.Filters = library_array.filters;
    Fenx_BuildLibraryHeader(image, image_size, &libraries);

    FilterArray<FenxSectionFilter> section_array;
    FenxSectionHeader sections{Fenx_BuildSectionHeader(image, image_size, nullptr, raw_file),
                               nullptr};
    if (sections.Count == 0)
        return false;
    section_array.filters = new (std::nothrow) FenxSectionFilter[sections.Count];
    if (section_array.filters == nullptr)
        return false;
    sections.Filters = section_array.filters;
    Fenx_BuildSectionHeader(image, image_size, &sections, raw_file);

    FenxContext *context = nullptr;
    if (!FenxContext_Create(&context, symbol_callback, &libraries, &sections,
                            Fenx_KernelThunkAddress(image, image_size)))
        return false;
    Fenxi_Post(context->Sink, FENX_MSG_DETAIL, "xbe type is %s",
               Fenx_XbeTypeName(Fenx_XbeType(image, image_size)));
    FenxContext_ScanManual(context);
    FenxContext_ScanAll(context);
    FenxContext_ReportDerived(context);
    FenxContext_Release(context);
    return true;
}
