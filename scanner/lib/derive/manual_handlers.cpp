// The built-in manual handler table. A derivation joins the manual scan by one row here.
#include "lib/derive/manual_handlers.h"

#include "lib/derive/derivations.h"

namespace {

constexpr FenxiManualHandler kManualHandlers[] = {
    // {library flags, handler, walk again when the first walk fails}
    {FENX_LIB_D3D8 | FENX_LIB_D3D8LTCG, &Fenxi_DeriveD3D8, true},
    {FENX_LIB_DSOUND, &Fenxi_DeriveDSound, true},
    {FENX_LIB_XAPILIB, &Fenxi_DeriveXapiLib, false},
    {0, nullptr, false},
};

} // namespace

const FenxiManualHandler *Fenxi_BuiltinManualHandlers() {
    return kManualHandlers;
}

const FenxiManualHandler *Fenxi_FindManualHandler(const FenxiManualHandler *table,
                                                  std::uint32_t library_flag) {
    for (const FenxiManualHandler *row = table; row != nullptr && row->LibraryFlags != 0; ++row)
        if ((row->LibraryFlags & library_flag) != 0 && row->Handler != nullptr)
            return row;
    return nullptr;
}
