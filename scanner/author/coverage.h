#pragma once
// What the signature database can find in one game: for each XDK library the game lists, the
// catalogue entries of the groups that serve it, sorted into those with a revision for the
// game's build of the library that the scan of this game finds, those with one that it does not
// find (records that miss here), those with none (left to author), and the placeholders, which
// take no records; and what each pack's revisions are to this game.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "lib/database/signature_packs.h"
#include "lib/oovpa.h"

namespace fendrel_author {

// Entry names are sorted.
struct LibraryCoverage {
    std::string name; // as the scanner lists it, without the padding of the stored name
    std::uint16_t build = 0;
    std::uint32_t flag = 0;
    std::size_t entries = 0; // of the groups that serve the library
    // A revision applies (its build is at most the library's): found by this game's scan, or not.
    std::vector<std::string> found;
    std::vector<std::string> not_found;
    std::vector<std::string> without_revision;
    std::size_t placeholders = 0;       // take no records: only the derivations can fill them
    std::size_t placeholders_found = 0; // of those, filled in this game
};

// A pack's revisions against the libraries this game lists.
struct PackCoverage {
    std::string name; // as shown
    std::size_t revisions = 0;
    std::size_t applying = 0; // for a library the game lists, at a build up to the game's
    std::size_t later = 0;    // for a library the game lists, but only for later builds
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
    std::vector<PackCoverage> packs;        // in the order read
};

// `image` is the XBE as stored in its file. Fails with a short text when the image cannot be
// scanned (the same checks as FendrelCLI's).
struct CoverageResult {
    GameCoverage coverage;
    std::string error; // empty on success
};
CoverageResult game_coverage(const std::uint8_t *image, std::size_t size,
                             const FenxDatabase &database);

// Adds what each pack read into `database` is to the game.
void add_pack_coverage(GameCoverage &coverage, const FenxDatabase &database,
                       const FenxiSignaturePacks &packs);

// The report: plain text for a person, JSON for tools.
std::string coverage_text(const GameCoverage &coverage, const std::string &xbe_name);
std::string coverage_json(const GameCoverage &coverage, const std::string &xbe_name);

} // namespace fendrel_author
