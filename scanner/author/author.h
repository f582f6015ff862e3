#pragma once
// Authoring signature records from compiled library code: find the public functions of COFF
// objects, map them to catalogue entries, choose reference and Lovp pairs, and prove that each
// record finds its own function and nothing else in the input.
#include <cstddef>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "author/coff.h"
#include "author/names.h"
#include "lib/database/records.h"

namespace fendrel_author {

struct AuthorInput {
    std::vector<CoffObject> objects;
    std::vector<std::string> skipped; // import and anonymous objects of archives
};

// Adds an object file or every object of an archive.
std::expected<void, std::string> load_input(const std::filesystem::path &file, AuthorInput &input);

struct AuthorOptions {
    std::uint32_t library_flag = 0;
    std::uint16_t build = 0;
    std::size_t pairs = 24; // Lovp pairs chosen before any are added to make a record unique
    std::map<std::string, AliasTarget> aliases;
};

struct AuthorResult {
    std::size_t found = 0;  // public functions
    std::size_t mapped = 0; // of which name a catalogue entry of the library's groups
    std::vector<FenxiRecordedRevision> revisions;
    std::vector<std::string> authored;      // "Entry: decorated (origin), N bytes"
    std::vector<std::string> ambiguous;     // "Entry: decorated (origin)"
    std::vector<std::string> unmapped;      // decorated names
    std::vector<std::string> other_library; // "decorated: Entry of group key"
    std::vector<std::string> notes;         // second mappings, references left out
    std::vector<std::string> conflicts;     // self-check problems the records would add
};

// `existing` are the database's records today: references to entries they find are kept, and
// the self-check compares against them.
std::expected<AuthorResult, std::string>
author_records(const AuthorInput &input, const AuthorOptions &options,
               const FenxDatabase &catalogue, const std::vector<FenxiRecordedRevision> &existing);

} // namespace fendrel_author
