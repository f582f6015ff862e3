#include "records/message.h"

#include "platform/platform.h"

#include <cstdint>

namespace ormolt {

std::string fill_message(std::string_view pattern, std::initializer_list<std::string_view> values) {
    std::string out;
    out.reserve(pattern.size() + 64);
    auto next = values.begin();
    std::size_t i = 0;
    while (i < pattern.size()) {
        if (next != values.end() && pattern[i] == '{' && i + 1 < pattern.size() &&
            pattern[i + 1] == '}') {
            out += *next++;
            i += 2;
        } else {
            out += pattern[i++];
        }
    }
    return out;
}

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";

// Length of the valid UTF-8 sequence at text[i], or 0 when it is invalid. On 0, *bad is the
// length of the maximal invalid prefix to replace with one U+FFFD.
std::size_t utf8_sequence(std::string_view text, std::size_t i, std::size_t *bad) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
    const std::uint8_t lead = byte(i);
    *bad = 1;
    if (lead < 0x80)
        return 1;
    std::size_t length;
    std::uint8_t low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        if (lead == 0xED)
            high = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        if (i + k >= text.size())
            return 0;
        const std::uint8_t b = byte(i + k);
        if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF))
            return 0;
        *bad = k + 1;
    }
    return length;
}

} // namespace

void append_utf8(std::string &out, std::uint32_t c) {
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

bool is_valid_utf8(std::string_view text) {
    std::size_t i = 0, bad = 0;
    while (i < text.size()) {
        const std::size_t n = utf8_sequence(text, i, &bad);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::string utf8_replacing_invalid(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0, bad = 0;
    while (i < text.size()) {
        const std::size_t n = utf8_sequence(text, i, &bad);
        if (n == 0) {
            out += replacement;
            i += bad;
        } else {
            out.append(text.substr(i, n));
            i += n;
        }
    }
    return out;
}

std::size_t control_character_at(std::string_view text, std::size_t at) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (c < 0x20 || c == 0x7F)
        return 1;
    // U+0080 to U+009F in UTF-8: C2 80 to C2 9F.
    if (c == 0xC2 && at + 1 < text.size()) {
        const auto next = static_cast<unsigned char>(text[at + 1]);
        if (next >= 0x80 && next <= 0x9F)
            return 2;
    }
    return 0;
}

std::string name_from_outside(std::string_view text) {
    static constexpr std::string_view direction_controls[] = {
        "\u061C", "\u200E", "\u200F", "\u202A", "\u202B", "\u202C",
        "\u202D", "\u202E", "\u2066", "\u2067", "\u2068", "\u2069"};
    std::string out = control_characters_replaced(utf8_replacing_invalid(text));
    for (const std::string_view control : direction_controls)
        for (std::size_t at = out.find(control); at != std::string::npos;
             at = out.find(control, at + replacement.size()))
            out.replace(at, control.size(), replacement);
    return out;
}

std::string control_characters_replaced(std::string_view text, bool keep_lines) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t length = control_character_at(text, i);
        if (length == 0 || (keep_lines && (text[i] == '\n' || text[i] == '\t'))) {
            out += text[i];
        } else {
            out += replacement;
            i += length - 1;
        }
    }
    return out;
}

std::string path_text(const std::filesystem::path &path) {
#ifdef _WIN32
    // UTF-16 to UTF-8, with unpaired surrogates replaced.
    const std::wstring &wide = path.native();
    std::string out;
    out.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        std::uint32_t c = static_cast<std::uint16_t>(wide[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size()) {
            const std::uint32_t next = static_cast<std::uint16_t>(wide[i + 1]);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
                ++i;
            }
        }
        if (c >= 0xD800 && c <= 0xDFFF)
            out += replacement;
        else
            append_utf8(out, c);
    }
    return out;
#else
    return utf8_replacing_invalid(path.native());
#endif
}

std::filesystem::path path_from_utf8(std::string_view text) {
#ifdef _WIN32
    const std::string valid = utf8_replacing_invalid(text);
    return std::filesystem::path(std::u8string(valid.begin(), valid.end()));
#else
    return std::filesystem::path(std::string(text));
#endif
}

std::string system_error_text(const std::error_code &error) {
    // The system's own text, which on Windows ends in a line break and a full stop.
    std::string text = platform::error_description(error);
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    return utf8_replacing_invalid(text);
}

} // namespace ormolt
