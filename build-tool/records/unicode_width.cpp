#include "records/unicode_width.h"

#include <algorithm>

namespace ormolt {

std::size_t character_cells(std::uint32_t code) {
    const auto *begin = unicode_tables::wide;
    const auto *end = begin + unicode_tables::wide_size;
    // The first range that ends at or after the code point.
    const auto *found = std::lower_bound(
        begin, end, code,
        [](const unicode_tables::CodeRange &range, std::uint32_t c) { return range.last < c; });
    return found != end && found->first <= code ? 2 : 1;
}

std::size_t bytes_fitting_cells(std::string_view utf8, std::size_t cells) {
    std::size_t i = 0, used = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (i + length > utf8.size())
            break;
        std::uint32_t code = length == 1   ? lead
                             : length == 2 ? lead & 0x1Fu
                             : length == 3 ? lead & 0x0Fu
                                           : lead & 0x07u;
        for (std::size_t k = 1; k < length; ++k)
            code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3Fu);
        used += character_cells(code);
        if (used > cells)
            break;
        i += length;
    }
    return i;
}

} // namespace ormolt
