// Library flags, their names and the library types that share one scan guard.
#include <bit>
#include <cstring>
#include <iterator>

#include "lib/fendrel.h"

namespace {

struct LibraryKind {
    const char *name;
    std::uint32_t type;
};

// Indexed by bit number.
constexpr LibraryKind kLibraries[] = {
    {"D3D8", 1},    {"D3D8LTCG", 1}, {"D3DX8", 1},    {"DSOUND", 2},   {"JVS", 3},
    {"XACTENG", 2}, {"XAPILIB", 4},  {"XGRAPHC", 5},  {"XNET", 6},     {"XNETN", 6},
    {"XNETS", 6},   {"XONLINE", 6},  {"XONLINEN", 6}, {"XONLINES", 6}, {"XONLINLS", 6},
};
static_assert(std::size(kLibraries) == std::bit_width(FENX_LIB_ALL));

bool is_single_known(std::uint32_t flag) {
    return flag != 0 && (flag & ~FENX_LIB_ALL) == 0 && std::has_single_bit(flag);
}

} // namespace

const char *Fenx_LibraryName(std::uint32_t flag) {
    if (!is_single_known(flag))
        return "UNKNOWN";
    return kLibraries[std::countr_zero(flag)].name;
}

std::uint32_t Fenx_LibraryFlag(const char *name) {
    for (std::size_t bit = 0; bit < std::size(kLibraries); ++bit)
        if (std::strncmp(name, kLibraries[bit].name, 8) == 0)
            return 1u << bit;
    return 0;
}

std::uint32_t Fenx_LibraryType(std::uint32_t flag) {
    if (!is_single_known(flag))
        return 0;
    return kLibraries[std::countr_zero(flag)].type;
}
