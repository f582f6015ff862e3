#pragma once
// Message templates ("{}" marks each value, in order), and the text forms of the values that
// go into them: paths as UTF-8 and system errors as the system's own description.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <system_error>

namespace ormolt {

// Replaces each "{}" of the template, left to right, with the next value. Surplus "{}" stay as
// they are; surplus values are dropped.
std::string fill_message(std::string_view pattern, std::initializer_list<std::string_view> values);

template <class... Values> std::string message(std::string_view pattern, const Values &...values) {
    return fill_message(pattern, {std::string_view(values)...});
}

// A path as UTF-8 text, exactly as it was formed; characters that cannot be represented
// (invalid bytes, unpaired UTF-16 surrogates) become U+FFFD.
std::string path_text(const std::filesystem::path &path);

// The operating system's own description of an error.
std::string system_error_text(const std::error_code &error);

// UTF-8 checks and repair.
// Appends one Unicode scalar value as UTF-8.
void append_utf8(std::string &out, std::uint32_t scalar);
bool is_valid_utf8(std::string_view text);
std::string utf8_replacing_invalid(std::string_view text);

// The length in bytes of the control character (U+0000 to U+001F, U+007F to U+009F) that starts
// at text[at] in UTF-8 text, or 0 when none starts there.
std::size_t control_character_at(std::string_view text, std::size_t at);
// UTF-8 text with each control character as U+FFFD, so that it can neither be cut short nor
// steer a terminal where it is shown; line feeds and tabs stay when `keep_lines`.
std::string control_characters_replaced(std::string_view text, bool keep_lines = false);
// A name read from a game's files for a message: control characters, and the invisible
// characters that reorder the text around them (U+061C, U+200E, U+200F, U+202A to U+202E,
// U+2066 to U+2069), as U+FFFD, so that it cannot break a line or disguise what follows it.
std::string name_from_outside(std::string_view text);

// A UTF-8 text as a path (UTF-16 on Windows).
std::filesystem::path path_from_utf8(std::string_view text);

} // namespace ormolt
