#pragma once
// Signature packs: records files read at run time and merged with the built-in records, so that
// a release can carry signatures authored after FendrelCLI was built. A pack is held to exactly
// the rules the build holds the records folder to; any fault refuses every pack, since a scan
// with part of its data would look like a complete one.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "lib/database/recorded_database.h"

// What a pack set may hold; outside bytes cannot make the reader hold more than this.
inline constexpr std::size_t kFenxiMaxPackFiles = 256;
// The whole catalogue with every build authored is a few hundred KiB of text.
inline constexpr std::uintmax_t kFenxiMaxPackBytes = 4u << 20;  // one file
inline constexpr std::uintmax_t kFenxiMaxPackTotal = 16u << 20; // all files
inline constexpr std::size_t kFenxiMaxPackRevisions = 65536;    // all files

struct FenxiPackFile {
    std::filesystem::path path;
    std::string shown; // the name messages give it ("signatures/d3d8-5849.records")
};

// Where a pack's revision goes, and for which build.
struct FenxiPackRevision {
    std::uint32_t group = 0;
    std::uint32_t entry = 0;
    std::uint16_t build = 0;
};

struct FenxiSignaturePacks {
    // Built-in records plus every pack, merged; null when a pack was refused or none was read.
    std::unique_ptr<FenxiRecordedDatabase> database;
    std::vector<std::string> files;                        // the packs read, as shown
    std::vector<std::vector<FenxiPackRevision>> revisions; // of each of `files`, in file order
    std::vector<std::string> errors; // "file:line: text" (or "file: text"), in file order
};

// The *.records files of `folder` in name order, shown as `shown_prefix` + file name. A folder
// that does not exist holds no packs; one that cannot be listed is an error.
std::vector<FenxiPackFile> Fenxi_ListSignaturePacks(const std::filesystem::path &folder,
                                                    const std::string &shown_prefix,
                                                    std::vector<std::string> &errors);

// Reads the packs in the order given and merges them with the built-in records: a revision sorts
// into its entry by build, the built-in revisions keep their order. Checks what the build
// checks: unknown groups and entries, repeated revisions (between packs and against the
// built-in ones), Lovp offsets out of order, record limits, records for placeholder entries.
FenxiSignaturePacks Fenxi_LoadSignaturePacks(const std::vector<FenxiPackFile> &packs);
FenxiSignaturePacks Fenxi_LoadSignaturePacks(const std::vector<FenxiPackFile> &packs,
                                             const FenxDatabase &catalogue,
                                             const std::vector<FenxiRecordedRevision> &builtin);
