#pragma once
// Names on Xbox discs are windows-1252; every byte value maps to one character.
#include <string>
#include <string_view>

namespace ormolt {

// The character of one windows-1252 byte, as the WHATWG Encoding Standard maps it (0x81, 0x8D,
// 0x8F, 0x90 and 0x9D become the C1 controls of the same value).
char32_t windows_1252_character(unsigned char byte);

// The bytes decoded as windows-1252, as UTF-8. Total: every byte string decodes.
std::string decode_windows_1252(std::string_view bytes);

// The length in bytes of decode_windows_1252(bytes), without making it.
std::size_t decoded_windows_1252_size(std::string_view bytes);

} // namespace ormolt
