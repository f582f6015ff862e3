#include "intake/windows_1252.h"

#include "records/message.h"

#include <array>
#include <cstdint>

namespace ormolt {

namespace {

// 0x80-0x9F are the only bytes that do not map to the code point of the same value.
constexpr std::array<char16_t, 32> high_controls{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr std::array<char16_t, 256> make_table() {
    std::array<char16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte)
        table[byte] = (byte >= 0x80 && byte < 0xA0) ? high_controls[byte - 0x80]
                                                    : static_cast<char16_t>(byte);
    return table;
}

constexpr std::array<char16_t, 256> table = make_table();

} // namespace

char32_t windows_1252_character(unsigned char byte) {
    return table[byte];
}

std::string decode_windows_1252(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (char byte : bytes)
        append_utf8(text, windows_1252_character(static_cast<unsigned char>(byte)));
    return text;
}

std::size_t decoded_windows_1252_size(std::string_view bytes) {
    std::size_t size = 0;
    for (char byte : bytes) {
        const char32_t character = windows_1252_character(static_cast<unsigned char>(byte));
        size += character < 0x80 ? 1 : character < 0x800 ? 2 : 3;
    }
    return size;
}

} // namespace ormolt
