#pragma once
// Message templates ("{}" marks each value, in order), and the text forms of the values that
// go into them: paths as UTF-8 and system errors as the system's own description.
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

// A UTF-8 text as a path (UTF-16 on Windows).
std::filesystem::path path_from_utf8(std::string_view text);

} // namespace ormolt
