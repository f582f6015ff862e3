#pragma once
// Authoring signature records from compiled library code: find the public functions of COFF
// objects, map them to catalogue entries, choose reference and Lovp pairs, and prove that each
// record finds its own function and nothing else, in the input and in any other code given.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <map>
#include <string>
#include <vector>

#include "author/coff.h"
#include "author/input.h"
#include "author/names.h"
#include "lib/database/records.h"

namespace fendrel_author {

// Below this much information (a Lovp pair counts 1, a reference compared with a known address
// counts 4) a record is not written: such records were measured to match unrelated code (see the
// README and bench/author_floor.sh).
inline constexpr std::size_t kInformationFloor = 16;

struct AuthorOptions {
    std::uint32_t library_flag = 0;
    std::uint16_t build = 0;
    std::size_t pairs = 24; // Lovp pairs chosen before any are added to make a record unique
    std::size_t information_floor = kInformationFloor;
    std::map<std::string, AliasTarget> aliases;
};

struct AuthorResult {
    std::size_t found = 0;  // public functions
    std::size_t mapped = 0; // of which name a catalogue entry of the library's groups
    std::vector<FenxiRecordedRevision> revisions;
    std::vector<std::string> authored;      // "Entry: decorated (origin), N bytes"
    std::vector<std::string> ambiguous;     // "Entry: decorated (origin): reason"
    std::vector<std::string> too_small;     // "Entry: decorated (origin): information"
    std::vector<std::string> placeholders;  // "Entry: decorated (origin)": derived, no records
    std::vector<std::string> against;       // records extended or left out for other code
    std::vector<std::string> unmapped;      // "decorated (candidates tried)"
    std::vector<std::string> other_library; // "decorated: Entry of group key"
    std::vector<std::string> notes;         // second mappings, references left out
    std::vector<std::string> conflicts;     // self-check problems the records would add
    std::size_t addend_fields = 0; // relocated fields referring beside a symbol: left unknown
};

// `existing` are the database's records today: references to entries they find are kept, and
// the self-check compares against them. Records are also checked against `other` code.
std::expected<AuthorResult, std::string>
author_records(const AuthorInput &input, const AuthorOptions &options,
               const FenxDatabase &catalogue, const std::vector<FenxiRecordedRevision> &existing,
               const OtherCode &other = {});

} // namespace fendrel_author
