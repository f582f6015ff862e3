#pragma once
// From a decorated linker name to the plain name the catalogue uses, and the release maker's
// aliases file that overrides it.
#include <cstdint>
#include <expected>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fendrel_author {

// `text` without blanks at either end.
std::string_view trim(std::string_view text);

// C names lose the leading "_" (or "@" of fastcall) and the "@N" suffix; C++ names
// "?Name@Scope@...@@code" become "Scope_Name" with the innermost scope ("Class_Constructor" and
// "Class_Destructor" for "??0" and "??1"); an import thunk's "__imp_" goes first. Nothing for
// names that cannot be read this way (operators, templates, back references).
std::optional<std::string> plain_name(std::string_view decorated);

// The spellings a decorated name may have in the catalogue, most likely first: the plain name,
// then for a C++ name in enclosing scopes each wider scope in front ("Outer_Scope_Name").
// `scoped_suffix` is "_Scope_Name" for a name with an enclosing scope: the catalogue spells some
// namespaces with a short prefix of its own ("DSound_CRefCount_AddRef"), so an entry that ends
// with it may be the one meant.
struct NameCandidates {
    std::vector<std::string> spellings;
    std::string scoped_suffix;
};
NameCandidates name_candidates(std::string_view decorated);

// What an alias names: a catalogue entry, or a kernel export by ordinal.
struct AliasTarget {
    std::string entry;         // empty for a kernel ordinal
    std::uint32_t ordinal = 0; // 1 to 378 when `entry` is empty
};

// "decorated-or-plain-name = CatalogueName" (or "= kernel N") per line; "#" starts a comment.
// Errors name the file and line.
std::expected<std::map<std::string, AliasTarget>, std::string>
read_aliases(std::string_view text, std::string_view file_name);

} // namespace fendrel_author
