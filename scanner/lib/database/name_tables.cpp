// Names of calling conventions and parameter locations, as printed in the extended output.
#include <cstdint>
#include <iterator>

#include "lib/database/catalogue.h"

namespace {

constexpr const char *kCallConventionNames[] = {"unknown", "none",     "cdecl",
                                                "stdcall", "thiscall", "fastcall"};

constexpr const char *kParamLocationNames[] = {
    "unk", "void", "psh2", "psh", "eax", "ax", "ah", "al", "ebx", "bx",  "bh",  "bl",
    "ecx", "cx",   "ch",   "cl",  "edx", "dx", "dh", "dl", "ebp", "edi", "esi",
};

static_assert(std::size(kCallConventionNames) == FENX_CALL_FASTCALL + 1);
static_assert(std::size(kParamLocationNames) == FENX_PARAM_ESI + 1);

} // namespace

const char *Fenx_CallConventionName(std::uint32_t code) {
    if (code >= std::size(kCallConventionNames))
        return kCallConventionNames[FENX_CALL_UNKNOWN];
    return kCallConventionNames[code];
}

const char *Fenx_ParamLocationName(std::uint32_t code) {
    if (code >= std::size(kParamLocationNames))
        return kParamLocationNames[FENX_PARAM_UNK];
    return kParamLocationNames[code];
}
