#pragma once
// Writes Xbox disc file system images for tests, benchmarks and the demo: a tree of folders and
// files laid out as an authored image is (descriptor at sector 32 past the partition base,
// directory tables in whole 2048-byte sectors, child links in units of 4 bytes, entries that never
// cross a sector, file data from sector boundaries), at any partition base, and, on request,
// broken in the ways a damaged or hostile image can be.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace testkit {

inline constexpr std::uint32_t disc_sector = 2048;
inline constexpr std::uint64_t disc_descriptor_offset = 0x10000;
// The partition bases a reader probes, lowest first.
inline constexpr std::uint64_t disc_base_plain = 0x00000000;
inline constexpr std::uint64_t disc_base_02080000 = 0x02080000;
inline constexpr std::uint64_t disc_base_0FD90000 = 0x0FD90000;
inline constexpr std::uint64_t disc_base_18300000 = 0x18300000;

// Produces a file's bytes on demand: fills out with the bytes at position. Called with
// consecutive chunks, so a multi-GiB file never sits in memory.
using DiscDataSource = std::function<void(std::uint64_t position, std::span<char> out)>;

// A child link written in place of the one the layout would give.
struct LinkOverride {
    enum class Target { Raw, Entry, TableEnd };
    Target target = Target::Raw;
    std::uint16_t value = 0; // Raw: the stored link; TableEnd: links past the end
    std::string entry;       // Entry: a node of the same table, by name (may be the node itself)

    static LinkOverride raw(std::uint16_t link) { return {Target::Raw, link, {}}; }
    static LinkOverride to(std::string name) { return {Target::Entry, 0, std::move(name)}; }
    // table size / 4 + extra: extra 0 is an offset exactly at the table's end.
    static LinkOverride past_table_end(std::uint16_t extra = 0) {
        return {Target::TableEnd, extra, {}};
    }
};

struct DiscNode {
    std::string name; // stored bytes as they are (windows-1252); "", ".." or "/x" are allowed
    bool directory = false;
    // Directory: its entries, as the in-order sequence of the table's tree; the middle one
    // becomes the root at offset 0 (so {G, F, D} puts F at 0 with left G and right D).
    std::vector<DiscNode> children;
    // File: its bytes, or size and source for data produced while writing.
    std::string data;
    std::optional<std::uint32_t> generated_size;
    DiscDataSource source;

    // Damage, applied to what is stored for this entry only.
    std::optional<LinkOverride> left_link;
    std::optional<LinkOverride> right_link;
    std::optional<std::uint32_t> stored_sector; // e.g. far past the image's end
    std::optional<std::uint32_t> stored_size;
    bool empty_slot = false;     // header written as 14 bytes of 0xFF; the node is still laid out
    std::uint8_t attributes = 0; // added to the directory bit (other bits must be ignored)

    std::uint64_t data_size() const {
        return generated_size ? *generated_size : static_cast<std::uint64_t>(data.size());
    }

    static DiscNode file(std::string name, std::string data);
    static DiscNode generated_file(std::string name, std::uint32_t size, DiscDataSource source);
    static DiscNode folder(std::string name, std::vector<DiscNode> children = {});
};

struct DiscImageOptions {
    std::uint64_t base = disc_base_plain;
    bool damage_first_magic = false;
    bool damage_second_magic = false;
    // Writes into an existing file without truncating it, e.g. a second volume at another base.
    bool overlay = false;
    std::optional<std::uint32_t> root_sector =
        std::nullopt; // stored instead of the root table's sector
    std::optional<std::uint32_t> root_size =
        std::nullopt; // stored instead of the root table's size
    std::uint64_t creation_time = 0;
};

// Where the layout put things, for tests that check positions.
struct DiscImageLayout {
    std::uint32_t root_sector = 0;
    std::uint32_t root_size = 0;
    std::uint64_t tables_end = 0; // image byte just past the last directory table
    std::uint64_t end = 0;        // image byte just past the last sector written
};

// Writes the image; the root table holds the given nodes. A table too big for 16-bit links, or a
// failed write, is an error.
std::error_code write_disc_image(const std::filesystem::path &image,
                                 const std::vector<DiscNode> &root,
                                 const DiscImageOptions &options = {},
                                 DiscImageLayout *layout = nullptr);

// A hostile shape: depth folders nested in each other, each named with 255 bytes, the deepest
// holding files empty files with short names. Every entry's path is long while the image stays
// small (200 deep with 8000 files is about 600 KB).
DiscNode nested_folders(int depth, int files);

// Deterministic, position-dependent test bytes, so a reader's output can be checked anywhere
// without keeping the data.
char pattern_byte(std::uint32_t seed, std::uint64_t position);
DiscDataSource pattern_source(std::uint32_t seed);

// UTF-8 text as windows-1252 bytes; nullopt when a character has no windows-1252 byte.
std::optional<std::string> encode_windows_1252(std::string_view utf8);

} // namespace testkit
