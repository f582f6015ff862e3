#pragma once
// Which relative paths from a disc image may be written below the extraction folder.
#include <cstddef>
#include <string_view>

namespace ormolt {

enum class NameRules {
    Posix,   // only "/" separates; "..", empty pieces and C0 controls are refused
    Windows, // also "\" and ":" (drives, streams), device names and names Windows would alter
};

#ifdef _WIN32
inline constexpr NameRules host_name_rules = NameRules::Windows;
#else
inline constexpr NameRules host_name_rules = NameRules::Posix;
#endif

// Whether text holds a NUL or another C0 control character (U+0000 to U+001F).
bool has_c0_control(std::string_view text);

// Whether one piece of a "/"-separated path names an ordinary entry of its folder under the
// given rules, so that writing it stays inside the folder. A single "." is accepted.
bool is_safe_piece(std::string_view piece, NameRules rules);

// Whether every "/"-separated piece of a relative path is safe.
bool is_safe_relative_path(std::string_view path, NameRules rules);

} // namespace ormolt
