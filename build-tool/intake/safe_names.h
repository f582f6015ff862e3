#pragma once
// Which relative paths may be written below the extraction folder, under the rules of the system
// that will hold them. Every name of a source is checked before the first file is written, so
// that a name the system refuses never stops a copy half-way.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace ormolt {

enum class NameRules {
    Posix,   // only "/" separates; "..", empty pieces and C0 controls are refused
    Windows, // also the characters Windows reserves (<>:"\|?*), device names and names Windows
             // would alter (a trailing dot or blank)
};

#ifdef _WIN32
inline constexpr NameRules host_name_rules = NameRules::Windows;
#else
inline constexpr NameRules host_name_rules = NameRules::Posix;
#endif

// Whether text holds a NUL or another C0 control character (U+0000 to U+001F).
bool has_c0_control(std::string_view text);

// Why a "/"-separated relative path cannot be written under the rules: nullopt when it can; an
// empty text for a piece that would leave its folder or holds a control character; for a name
// only Windows refuses, the reason in words ("Windows cannot hold "|" in a file name").
std::optional<std::string> unsafe_name_reason(std::string_view path, NameRules rules);

// Whether one piece of a "/"-separated path names an ordinary entry of its folder under the
// given rules, so that writing it stays inside the folder. A single "." is accepted.
bool is_safe_piece(std::string_view piece, NameRules rules);

// Whether every "/"-separated piece of a relative path is safe.
bool is_safe_relative_path(std::string_view path, NameRules rules);

// The refusal of an unsafe relative path of source: "{} has an unsafe file name: {}" (source,
// path with control characters shown as U+FFFD), with the reason after it in parentheses when
// there is one; nullopt when the path is safe.
std::optional<std::string> unsafe_name_refusal(std::string_view source, std::string_view path,
                                               NameRules rules);

} // namespace ormolt
