#include "pipeline/command_line_text.h"

#include "records/message.h"

#include <cstdio>

namespace ormolt {

namespace {

// Code points of a path as the system holds it: UTF-16 on Windows (an unpaired surrogate is
// kept as its own value so that it can be shown escaped), UTF-8 elsewhere.
std::vector<std::uint32_t> path_code_points(const std::filesystem::path &path);

std::vector<std::uint32_t> utf8_code_points(std::string_view text) {
    const std::string valid = utf8_replacing_invalid(text);
    std::vector<std::uint32_t> points;
    for (std::size_t i = 0; i < valid.size();) {
        const auto byte = static_cast<unsigned char>(valid[i]);
        const std::size_t length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
        std::uint32_t c = length == 1 ? byte : byte & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k)
            c = (c << 6) | (static_cast<unsigned char>(valid[i + k]) & 0x3F);
        points.push_back(c);
        i += length;
    }
    return points;
}

std::vector<std::uint32_t> path_code_points(const std::filesystem::path &path) {
#ifdef _WIN32
    const std::wstring &units = path.native();
    std::vector<std::uint32_t> points;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::uint32_t unit = static_cast<std::uint16_t>(units[i]);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < units.size()) {
            const std::uint32_t low = static_cast<std::uint16_t>(units[i + 1]);
            if (low >= 0xDC00 && low < 0xE000) {
                points.push_back(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        points.push_back(unit);
    }
    return points;
#else
    return utf8_code_points(path.native());
#endif
}

void append_quoted(std::string &line, const std::vector<std::uint32_t> &points) {
    line += '"';
    for (std::uint32_t c : points) {
        switch (c) {
        case '\\':
            line += "\\\\";
            continue;
        case '"':
            line += "\\\"";
            continue;
        case '\t':
            line += "\\t";
            continue;
        case '\r':
            line += "\\r";
            continue;
        case '\n':
            line += "\\n";
            continue;
        case 0:
            line += "\\0";
            continue;
        default:
            break;
        }
        const bool control = c < 0x20 || (c >= 0x7F && c < 0xA0);
        const bool surrogate = c >= 0xD800 && c < 0xE000;
        if (control || surrogate) {
            char escaped[16];
            std::snprintf(escaped, sizeof escaped, "\\u{%x}", static_cast<unsigned>(c));
            line += escaped;
        } else {
            append_utf8(line, c);
        }
    }
    line += '"';
}

} // namespace

std::string logged_command_line(const std::filesystem::path &program,
                                const std::vector<std::string> &arguments) {
    std::string line;
    append_quoted(line, path_code_points(program));
    for (const auto &argument : arguments) {
        line += ' ';
        append_quoted(line, utf8_code_points(argument));
    }
    return line;
}

std::string exit_status_text(std::uint32_t code) {
    char text[32];
    if (code & 0x80000000u)
        std::snprintf(text, sizeof text, "exit code: 0x%x", static_cast<unsigned>(code));
    else
        std::snprintf(text, sizeof text, "exit code: %u", static_cast<unsigned>(code));
    return text;
}

std::string_view first_scalars(std::string_view text, std::size_t count) {
    std::size_t i = 0;
    for (std::size_t seen = 0; i < text.size() && seen < count; ++seen) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            ++i;
    }
    return text.substr(0, i);
}

} // namespace ormolt
