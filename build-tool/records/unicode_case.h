#pragma once
// Full Unicode case mapping and white space, from tables generated from the Unicode data files
// (so it behaves the same on every platform, without a locale).
#include <string>
#include <string_view>
#include <vector>

namespace ormolt {

// Full upper-casing ("straße" -> "STRASSE"); invalid UTF-8 becomes U+FFFD first.
std::string unicode_upper(std::string_view utf8);
// Full lower-casing.
std::string unicode_lower(std::string_view utf8);
// Whether two texts are equal when only the ASCII letters A to Z are taken without their case
// (hexadecimal digests, names on a disc).
bool equal_ignoring_ascii_case(std::string_view a, std::string_view b);
// The text without Unicode white space at both ends.
std::string_view trim_unicode_space(std::string_view utf8);

// The words of a text split at runs of Unicode white space; no empty words.
std::vector<std::string_view> split_unicode_words(std::string_view utf8);

} // namespace ormolt
