#include "intake/safe_names.h"

#include <algorithm>
#include <array>
#include <string>

namespace ormolt {

namespace {

// Names Windows opens as devices in every folder, with or without an extension.
bool is_windows_device_name(std::string_view piece) {
    std::string stem(piece.substr(0, piece.find('.')));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    for (char &c : stem)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    static constexpr std::array<std::string_view, 6> plain{"CON", "PRN",    "AUX",
                                                           "NUL", "CONIN$", "CONOUT$"};
    for (auto name : plain)
        if (stem == name)
            return true;
    if (stem.size() >= 4 && (stem.starts_with("COM") || stem.starts_with("LPT"))) {
        const std::string_view number = std::string_view(stem).substr(3);
        // COM0-COM9 and the superscript digits 1, 2, 3 (UTF-8 of U+00B9, U+00B2, U+00B3).
        if (number.size() == 1 && number[0] >= '0' && number[0] <= '9')
            return true;
        if (number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3")
            return true;
    }
    return false;
}

} // namespace

bool is_safe_piece(std::string_view piece, NameRules rules) {
    if (piece.empty() || piece == ".." || piece.find('/') != std::string_view::npos)
        return false;
    // A NUL ends the name at the system call ("default.xbe\0x" would write default.xbe), and
    // Windows refuses the other C0 controls: refused everywhere. C1 code points are not refused:
    // windows-1252 decodes ordinary Shift-JIS bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) to them.
    if (has_c0_control(piece))
        return false;
    if (rules == NameRules::Posix || piece == ".")
        return true;
    if (piece.find_first_of("\\:") != std::string_view::npos)
        return false;
    // Windows drops trailing dots and blanks, so "..." or ".. " would become "..".
    if (piece.back() == '.' || piece.back() == ' ')
        return false;
    return !is_windows_device_name(piece);
}

bool has_c0_control(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

bool is_safe_relative_path(std::string_view path, NameRules rules) {
    for (std::size_t start = 0;;) {
        const std::size_t end = path.find('/', start);
        if (!is_safe_piece(path.substr(start, end - start), rules))
            return false;
        if (end == std::string_view::npos)
            return true;
        start = end + 1;
    }
}

} // namespace ormolt
