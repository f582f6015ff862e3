#include "intake/safe_names.h"

#include "intake/windows_1252.h"
#include "records/message.h"

#include <algorithm>
#include <array>
#include <string>

namespace ormolt {

namespace {

// The stem of a name Windows opens as a device in every folder, with or without an extension;
// empty for any other name.
std::string windows_device_stem(std::string_view piece) {
    std::string stem(piece.substr(0, piece.find('.')));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    std::string upper = stem;
    for (char &c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    static constexpr std::array<std::string_view, 6> plain{"CON", "PRN",    "AUX",
                                                           "NUL", "CONIN$", "CONOUT$"};
    for (auto name : plain)
        if (upper == name)
            return stem;
    if (upper.size() >= 4 && (upper.starts_with("COM") || upper.starts_with("LPT"))) {
        const std::string_view number = std::string_view(upper).substr(3);
        // COM0-COM9 and the superscript digits 1, 2, 3 (UTF-8 of U+00B9, U+00B2, U+00B3).
        if (number.size() == 1 && number[0] >= '0' && number[0] <= '9')
            return stem;
        if (number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3")
            return stem;
    }
    return {};
}

// Whether the character that ends text (UTF-8) is what windows-1252 makes of a Shift-JIS lead
// byte (0x81-0x9F, 0xE0-0xFC), so that a "\" after it is that character's second byte.
bool ends_with_shift_jis_lead(std::string_view text) {
    std::size_t start = text.size();
    while (start > 0 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80)
        --start;
    if (start == 0)
        return false;
    --start;
    const std::string_view last = text.substr(start);
    for (unsigned byte = 0x81; byte <= 0xFC; ++byte) {
        if (byte > 0x9F && byte < 0xE0)
            continue;
        const char lead = static_cast<char>(byte);
        if (decode_windows_1252(std::string_view(&lead, 1)) == last)
            return true;
    }
    return false;
}

std::optional<std::string> piece_problem(std::string_view piece, NameRules rules) {
    if (piece.empty() || piece == ".." || piece.find('/') != std::string_view::npos)
        return "";
    // A NUL ends the name at the system call ("default.xbe\0x" would write default.xbe), and
    // Windows refuses the other C0 controls: refused everywhere. C1 code points are not refused:
    // windows-1252 decodes ordinary Shift-JIS bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) to them.
    if (has_c0_control(piece))
        return "";
    if (rules == NameRules::Posix || piece == ".")
        return std::nullopt;
    if (const std::size_t at = piece.find_first_of("<>:\"\\|?*"); at != std::string_view::npos) {
        std::string reason =
            message("Windows cannot hold \"{}\" in a file name", piece.substr(at, 1));
        // A Japanese disc's names are Shift-JIS, whose second bytes include 0x5C.
        if (piece[at] == '\\' && ends_with_shift_jis_lead(piece.substr(0, at)))
            reason += "; it is the second byte of a Shift-JIS character, which the disc's "
                      "windows-1252 names read as \"\\\"";
        return reason;
    }
    // Windows drops trailing dots and blanks, so "..." or ".. " would become "..".
    if (piece.back() == '.' || piece.back() == ' ')
        return std::string("Windows drops a trailing dot or blank from a file name");
    if (const std::string stem = windows_device_stem(piece); !stem.empty())
        return message("{} is a device name on Windows", stem);
    return std::nullopt;
}

} // namespace

bool has_c0_control(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

std::optional<std::string> unsafe_name_reason(std::string_view path, NameRules rules) {
    for (std::size_t start = 0;;) {
        const std::size_t end = path.find('/', start);
        if (auto problem = piece_problem(path.substr(start, end - start), rules))
            return problem;
        if (end == std::string_view::npos)
            return std::nullopt;
        start = end + 1;
    }
}

bool is_safe_piece(std::string_view piece, NameRules rules) {
    return !piece_problem(piece, rules);
}

bool is_safe_relative_path(std::string_view path, NameRules rules) {
    return !unsafe_name_reason(path, rules);
}

std::optional<std::string> unsafe_name_refusal(std::string_view source, std::string_view path,
                                               NameRules rules) {
    const auto reason = unsafe_name_reason(path, rules);
    if (!reason)
        return std::nullopt;
    std::string refusal =
        message("{} has an unsafe file name: {}", source, control_characters_replaced(path));
    if (!reason->empty())
        refusal += " (" + *reason + ")";
    return refusal;
}

} // namespace ormolt
