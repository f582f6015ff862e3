#pragma once
// What the signature database can find in one game: for each XDK library the game lists, the
// catalogue entries of the groups that serve it, which of them have a revision for the game's
// build of the library, which the scan of this game finds, and which are left to author.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "lib/oovpa.h"

namespace fendrel_author {

struct LibraryCoverage {
    std::string name; // as the scanner lists it
    std::uint16_t build = 0;
    std::uint32_t flag = 0;
    std::size_t entries = 0;       // of the groups that serve the library
    std::size_t placeholders = 0;  // of those: filled by the derivations, take no records
    std::size_t with_revision = 0; // a revision whose build is at most the library's
    std::size_t found = 0;         // reported by this game's scan for this library
    std::vector<std::string> without_revision; // entry names, sorted
};

struct FoundSymbol {
    std::string library;
    std::string name;
    std::uint32_t address = 0;
};

struct UnknownLibrary {
    std::string name;
    std::uint16_t build = 0;
};

struct GameCoverage {
    std::uint32_t database_version = 0;
    std::vector<LibraryCoverage> libraries; // in the scanner's library order
    std::vector<FoundSymbol> derived;       // reported by the manual scan and the derived report
    std::vector<UnknownLibrary> unknown;    // listed by the game, not known to the database
};

// `image` is the XBE as stored in its file. Fails with a short text when the image cannot be
// scanned (the same checks as FendrelCLI's).
struct CoverageResult {
    GameCoverage coverage;
    std::string error; // empty on success
};
CoverageResult game_coverage(const std::uint8_t *image, std::size_t size,
                             const FenxDatabase &database);

// The report: plain text for a person, JSON for tools.
std::string coverage_text(const GameCoverage &coverage, const std::string &xbe_name,
                          const std::vector<std::string> &packs);
std::string coverage_json(const GameCoverage &coverage, const std::string &xbe_name,
                          const std::vector<std::string> &packs);

} // namespace fendrel_author
