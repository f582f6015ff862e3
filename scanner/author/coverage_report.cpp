// The coverage report's two forms: lines for a person, one JSON object for tools.
#include "author/coverage.h"

#include <cstdio>
#include <string_view>

#include "lib/database/database_tools.h"

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

// "1 entry", "2 entries".
std::string counted(std::size_t count, const char *one, const char *more) {
    return std::to_string(count) + " " + (count == 1 ? one : more);
}

std::string pack_line(const PackCoverage &pack) {
    std::string line =
        "  pack " + pack.name + ": " + counted(pack.revisions, "revision", "revisions");
    if (pack.applying != 0)
        return line + ", " + std::to_string(pack.applying) + " for this game's library builds\n";
    if (pack.revisions != 0 && pack.later == pack.revisions)
        return line + ", applies to nothing here: every revision is for a later build than the "
                      "game's library\n";
    return line + ", applies to nothing here: none is for a library build this game lists\n";
}

void append_names(std::string &text, const std::string &title,
                  const std::vector<std::string> &names) {
    if (names.empty())
        return;
    text += "  " + title + " (" + std::to_string(names.size()) + "):\n";
    for (const std::string &name : names)
        text += "    " + name + "\n";
}

} // namespace

std::string coverage_text(const GameCoverage &coverage, const std::string &xbe_name) {
    const std::size_t packs = coverage.packs.size();
    std::string text =
        xbe_name + ": database version " + Fenxi_DatabaseVersionText(coverage.database_version) +
        (packs == 0 ? " (built-in records)"
                    : " (built-in records and " + counted(packs, "pack)", "packs)")) +
        "\n";
    for (const PackCoverage &pack : coverage.packs)
        text += pack_line(pack);
    if (coverage.libraries.empty())
        text += "no library the database knows\n";
    for (const LibraryCoverage &library : coverage.libraries) {
        const std::string build = std::to_string(library.build);
        const std::size_t with = library.found.size() + library.not_found.size();
        text += "\n" + library.name + " " + build + ": " +
                counted(library.entries, "entry", "entries") + ": " + std::to_string(with) +
                " with a revision for build " + build + " (" +
                std::to_string(library.found.size()) + " found in this game, " +
                std::to_string(library.not_found.size()) + " not found), " +
                std::to_string(library.without_revision.size()) + " without one, " +
                counted(library.placeholders, "placeholder", "placeholders") + " (" +
                std::to_string(library.placeholders_found) + " found by the derivations)\n";
        append_names(text, "found in this game", library.found);
        append_names(text, "with a revision for build " + build + " but not found in this game",
                     library.not_found);
        append_names(text,
                     "no revision for build " + build + ", to author from " + library.name + " " +
                         build,
                     library.without_revision);
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

std::string coverage_json(const GameCoverage &coverage, const std::string &xbe_name) {
    std::string text = "{\"xbe\":" + json_string(xbe_name) + ",\"database_version\":\"" +
                       Fenxi_DatabaseVersionText(coverage.database_version) + "\",\"packs\":[";
    for (std::size_t k = 0; k < coverage.packs.size(); ++k)
        text += (k == 0 ? "" : ",") + json_string(coverage.packs[k].name);
    text += "],\"pack_coverage\":[";
    for (std::size_t k = 0; k < coverage.packs.size(); ++k) {
        const PackCoverage &pack = coverage.packs[k];
        text += std::string(k == 0 ? "" : ",") + "{\"name\":" + json_string(pack.name) +
                ",\"revisions\":" + std::to_string(pack.revisions) +
                ",\"applying\":" + std::to_string(pack.applying) +
                ",\"later_builds\":" + std::to_string(pack.later) + "}";
    }
    text += "],\"libraries\":[";
    for (std::size_t k = 0; k < coverage.libraries.size(); ++k) {
        const LibraryCoverage &library = coverage.libraries[k];
        text += std::string(k == 0 ? "" : ",") + "{\"name\":" + json_string(library.name) +
                ",\"build\":" + std::to_string(library.build) +
                ",\"entries\":" + std::to_string(library.entries) +
                ",\"placeholders\":" + std::to_string(library.placeholders) +
                ",\"placeholders_found\":" + std::to_string(library.placeholders_found) +
                ",\"with_revision\":" +
                std::to_string(library.found.size() + library.not_found.size()) +
                ",\"found\":" + std::to_string(library.found.size()) +
                ",\"found_entries\":" + json_names(library.found) +
                ",\"not_found\":" + json_names(library.not_found) +
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
