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

// What became of one function, as a value.
enum class Outcome {
    Authored,         // its record is written
    ExtendedForOther, // written, with bytes added so that it does not match other code
    Ambiguous,        // the same bytes elsewhere in the input, or no fixed byte at all
    TooSmall,         // its record would hold less information than the floor
    Placeholder,      // its entry is found by the derivations and takes no records
    LeftOutForOther,  // its record matches other code and cannot be told apart there
    Unmapped,         // its name is no catalogue entry
    OtherLibrary,     // its entry belongs to another library's groups
    SecondMapping,    // another function maps to the same entry and is the one authored
};

struct FunctionResult {
    Outcome outcome = Outcome::Authored;
    std::string entry; // the catalogue entry, empty when unmapped
    std::string decorated;
    std::string origin;
    // What the outcome needs said: where the same bytes are, the candidates tried, the other
    // entry's group, the first function of the entry.
    std::string detail;
    std::size_t bytes = 0;       // the function's own bytes
    std::size_t information = 0; // of its record (authored or too small)
    std::size_t pairs = 0;       // of its record (extended)
};

// The lists of the summary, in its order.
enum class Listing { Authored, Ambiguous, TooSmall, Placeholders, Against, Unmapped, OtherLibrary };

struct AuthorResult {
    std::size_t found = 0;  // public functions
    std::size_t mapped = 0; // of which name a catalogue entry of the library's groups
    std::vector<FenxiRecordedRevision> revisions;
    std::vector<FunctionResult> functions; // in the order they were decided
    std::vector<std::string> notes;        // references left out, addends, by field
    std::vector<std::string> conflicts;    // self-check problems the records would add
    std::size_t addend_fields = 0; // relocated fields referring beside a symbol: left unknown
    std::size_t information_floor = 0;

    // The lines of one list of the summary; `Notes` come with the second mappings first.
    std::vector<std::string> lines(Listing listing) const;
    std::vector<std::string> all_notes() const;
};

// The summary printed after a run, for every input route.
std::string author_report(const AuthorResult &result, const AuthorInput &input);

// `existing` are the database's records today: references to entries they find are kept, and
// the self-check compares against them. Records are also checked against `other` code.
std::expected<AuthorResult, std::string>
author_records(const AuthorInput &input, const AuthorOptions &options,
               const FenxDatabase &catalogue, const std::vector<FenxiRecordedRevision> &existing,
               const OtherCode &other = {});

} // namespace fendrel_author
