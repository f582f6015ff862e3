#pragma once
// Bytes from outside input quoted in a message: printable ASCII as it is, every other byte (and
// the backslash) as \xNN, so that no control byte reaches a terminal and no NUL cuts a message
// short.
#include <string>
#include <string_view>

namespace fenxi_text {

inline std::string printable(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            out += c;
        } else {
            static constexpr char kDigits[] = "0123456789ABCDEF";
            out += "\\x";
            out += kDigits[byte >> 4];
            out += kDigits[byte & 15];
        }
    }
    return out;
}

} // namespace fenxi_text
