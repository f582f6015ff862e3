// The coverage report's two forms: lines for a person, one JSON object for tools.
#include "author/coverage.h"

#include <cstdio>
#include <string_view>

namespace fendrel_author {

namespace {

// The length of the well-formed UTF-8 sequence at the start of `text`, or 0.
std::size_t utf8_length(std::string_view text) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(0);
    std::size_t length = lead < 0x80                    ? 1
                         : lead >= 0xC2 && lead <= 0xDF ? 2
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                        : 0;
    if (length == 0 || length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((byte(k) & 0xC0) != 0x80)
            return 0;
    // No overlong forms, surrogates or values beyond U+10FFFF.
    if ((lead == 0xE0 && byte(1) < 0xA0) || (lead == 0xED && byte(1) > 0x9F) ||
        (lead == 0xF0 && byte(1) < 0x90) || (lead == 0xF4 && byte(1) > 0x8F))
        return 0;
    return length;
}

// A JSON string; a path that is not valid UTF-8 keeps its readable parts, the rest U+FFFD.
std::string json_string(std::string_view text) {
    std::string out = "\"";
    while (!text.empty()) {
        const unsigned char c = static_cast<unsigned char>(text[0]);
        const std::size_t length = utf8_length(text);
        if (length == 0) {
            out += "\\ufffd";
            text.remove_prefix(1);
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += text.substr(0, length);
        }
        text.remove_prefix(length);
    }
    return out + "\"";
}

std::string json_names(const std::vector<std::string> &names) {
    std::string out = "[";
    for (std::size_t k = 0; k < names.size(); ++k)
        out += (k == 0 ? "" : ",") + json_string(names[k]);
    return out + "]";
}

std::string hex8(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

} // namespace

std::string coverage_text(const GameCoverage &coverage, const std::string &xbe_name,
                          const std::vector<std::string> &packs) {
    std::string text = xbe_name + ": database version " +
                       [&] {
                           char version[16];
                           std::snprintf(version, sizeof version, "%x", coverage.database_version);
                           return std::string(version);
                       }() +
                       (packs.empty() ? " (built-in records)"
                                      : " (built-in records and " + std::to_string(packs.size()) +
                                            (packs.size() == 1 ? " pack)" : " packs)")) +
                       "\n";
    for (const std::string &pack : packs)
        text += "  pack " + pack + "\n";
    if (coverage.libraries.empty())
        text += "no library the database knows\n";
    for (const LibraryCoverage &library : coverage.libraries) {
        const std::string build = std::to_string(library.build);
        text += "\n" + library.name + " " + build + ": " + std::to_string(library.entries) +
                " entries, " + std::to_string(library.with_revision) +
                " with a revision for build " + build + ", " + std::to_string(library.found) +
                " found in this game";
        if (library.placeholders != 0)
            text += ", " + std::to_string(library.placeholders) + " filled by the derivations";
        text += "\n";
        if (!library.without_revision.empty()) {
            text += "  no revision for build " + build + " (" +
                    std::to_string(library.without_revision.size()) + "), to author from " +
                    library.name + " " + build + ":\n";
            for (const std::string &name : library.without_revision)
                text += "    " + name + "\n";
        }
    }
    text += "\nfound by the derivations: " + std::to_string(coverage.derived.size()) + "\n";
    for (const FoundSymbol &symbol : coverage.derived)
        text += "  " + symbol.library + " " + symbol.name + " = 0x" + hex8(symbol.address) + "\n";
    if (!coverage.unknown.empty()) {
        text += "\nlibraries the database does not know:";
        for (const UnknownLibrary &library : coverage.unknown)
            text += " " + library.name + " " + std::to_string(library.build);
        text += "\n";
    }
    return text;
}

std::string coverage_json(const GameCoverage &coverage, const std::string &xbe_name,
                          const std::vector<std::string> &packs) {
    char version[16];
    std::snprintf(version, sizeof version, "%08x", coverage.database_version);
    std::string text = "{\"xbe\":" + json_string(xbe_name) + ",\"database_version\":\"" + version +
                       "\",\"packs\":" + json_names(packs) + ",\"libraries\":[";
    for (std::size_t k = 0; k < coverage.libraries.size(); ++k) {
        const LibraryCoverage &library = coverage.libraries[k];
        text += std::string(k == 0 ? "" : ",") + "{\"name\":" + json_string(library.name) +
                ",\"build\":" + std::to_string(library.build) +
                ",\"entries\":" + std::to_string(library.entries) +
                ",\"placeholders\":" + std::to_string(library.placeholders) +
                ",\"with_revision\":" + std::to_string(library.with_revision) +
                ",\"found\":" + std::to_string(library.found) +
                ",\"without_revision\":" + json_names(library.without_revision) + "}";
    }
    text += "],\"derived\":[";
    for (std::size_t k = 0; k < coverage.derived.size(); ++k) {
        const FoundSymbol &symbol = coverage.derived[k];
        text += std::string(k == 0 ? "" : ",") + "{\"library\":" + json_string(symbol.library) +
                ",\"name\":" + json_string(symbol.name) +
                ",\"address\":" + std::to_string(symbol.address) + "}";
    }
    text += "],\"unknown_libraries\":[";
    for (std::size_t k = 0; k < coverage.unknown.size(); ++k)
        text += std::string(k == 0 ? "" : ",") +
                "{\"name\":" + json_string(coverage.unknown[k].name) +
                ",\"build\":" + std::to_string(coverage.unknown[k].build) + "}";
    return text + "]}\n";
}

} // namespace fendrel_author
