// The name under which the scripts find the game's XDK symbols beside its XBE.
#include "pipeline/translation.h"

namespace ormolt {

std::string symbols_file_name(std::string_view xbe_name) {
    const std::size_t dot = xbe_name.rfind('.');
    const std::string_view stem =
        dot == std::string_view::npos ? xbe_name : xbe_name.substr(0, dot);
    return std::string(stem) + "_xdk_symbols.json";
}

} // namespace ormolt
