#include "cli/system_text.h"

#ifdef _WIN32
#include <stdio.h>
#endif

Utf8Arguments::Utf8Arguments(std::vector<std::string> arguments)
    : arguments_(std::move(arguments)) {
    for (auto &argument : arguments_)
        pointers_.push_back(argument.data());
    pointers_.push_back(nullptr);
}

std::string utf8_from_utf16(const std::u16string &text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

#ifdef _WIN32

namespace {

// UTF-8 to UTF-16; an invalid byte becomes U+FFFD, which names no file.
std::wstring utf16_from_utf8(const char *text) {
    std::wstring out;
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    for (std::size_t i = 0; text[i] != '\0';) {
        const unsigned char lead = byte(i);
        std::size_t length = lead < 0x80    ? 1
                             : lead >= 0xF0 ? 4
                             : lead >= 0xE0 ? 3
                             : lead >= 0xC0 ? 2
                                            : 0;
        char32_t c = length == 1   ? lead
                     : length == 2 ? lead & 0x1F
                     : length == 3 ? lead & 0x0F
                                   : lead & 0x07;
        bool valid = length != 0 && lead < 0xF5;
        for (std::size_t k = 1; valid && k < length; ++k) {
            if ((byte(i + k) & 0xC0) != 0x80)
                valid = false;
            else
                c = (c << 6) | (byte(i + k) & 0x3F);
        }
        if (!valid || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += L'\xFFFD';
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<wchar_t>(c);
        }
        i += length;
    }
    return out;
}

} // namespace

std::FILE *open_for_reading_utf8(const char *path) {
    return _wfopen(utf16_from_utf8(path).c_str(), L"rb");
}

#else

std::FILE *open_for_reading_utf8(const char *path) {
    return std::fopen(path, "rb");
}

#endif
