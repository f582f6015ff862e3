#pragma once
// Reads the Xbox disc file system inside a disc image: finds the volume descriptor, lists every
// entry of every directory table, and reads byte ranges of file data. It only reads, and it
// decides nothing about which names are safe to write; extraction does that.
#include <array>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace ormolt {

inline constexpr std::uint32_t disc_sector_size = 2048;
// Where the volume descriptor lies past the partition base (sector 32).
inline constexpr std::uint64_t volume_descriptor_offset = 0x10000;
inline constexpr std::size_t volume_descriptor_size = 2048;
inline constexpr std::string_view disc_magic = "MICROSOFT*XBOX*MEDIA";
// Byte offsets at which the file system may start, in the order they are tried.
inline constexpr std::array<std::uint64_t, 4> partition_bases{0x00000000, 0x18300000, 0x0FD90000,
                                                              0x02080000};
inline constexpr std::uint8_t directory_attribute = 0x10;

// A directory table or the data of a file: sector from the partition base, size in bytes.
struct SectorRange {
    std::uint32_t sector = 0;
    std::uint32_t size = 0;
    bool operator==(const SectorRange &) const = default;
};

struct VolumeDescriptor {
    SectorRange root;                // the root directory table
    std::uint64_t creation_time = 0; // FILETIME; read, not used
};

// Where the file system starts and what its descriptor says.
struct DiscVolume {
    std::uint64_t base = 0;
    VolumeDescriptor descriptor;
};

// One directory entry as read from its table.
struct DirEntryRecord {
    std::string name; // raw windows-1252 bytes, 0 to 255 of them
    std::uint16_t left = 0;
    std::uint16_t right = 0;
    SectorRange data; // a directory's own table, or a file's data
    std::uint8_t attributes = 0;

    bool is_directory() const { return (attributes & directory_attribute) != 0; }
};

// One listed entry with the path of the directory that holds it: "" for the root table,
// "/D" for the table of root directory D, "/D/E" below that (decoded names).
struct DiscListingEntry {
    std::string parent;
    DirEntryRecord entry;
};

// Each directory's own entry comes before the entries of its table.
using DiscListing = std::vector<DiscListingEntry>;

// The reader's error. Its text() is what users see inside extraction's messages.
struct DiscImageError {
    enum class Kind {
        IOError,         // an entry header or name could not be read in full
        SizeOutOfBounds, // a child link at or past the end of its table
        InvalidVolume,   // no partition base holds a valid volume descriptor
        LinkCycle,       // a table's child links reach one of its entries again
        OverlappingTable // a table reaches an entry already listed from another table
    };
    Kind kind = Kind::InvalidVolume;
    std::error_code io;           // IOError
    std::uint32_t offset = 0;     // SizeOutOfBounds
    std::uint32_t table_size = 0; // SizeOutOfBounds
    std::string directory;        // LinkCycle, OverlappingTable: the table's path, "/" for root

    // "InvalidVolume", "SizeOutOfBounds(8192, 2048)", "IOError(unexpected end of file)",
    // "directory table of /D links back into itself",
    // "directory table of /D overlaps another directory table".
    std::string text() const;
};

// The error of a read that ends early because the image ends: "unexpected end of file".
std::error_code end_of_image_error();

// An image file opened read-only. Every read is a positioned read of an exact byte count.
class DiscImageReader {
  public:
    // Opening failures carry the system error.
    static std::expected<DiscImageReader, std::error_code> open(const std::filesystem::path &image);

    DiscImageReader(DiscImageReader &&other) noexcept;
    DiscImageReader &operator=(DiscImageReader &&other) noexcept;
    DiscImageReader(const DiscImageReader &) = delete;
    DiscImageReader &operator=(const DiscImageReader &) = delete;
    ~DiscImageReader();

    // Tries each partition base in order; the first whose descriptor carries both magic copies.
    std::expected<DiscVolume, DiscImageError> locate_volume() const;

    // The whole image's listing: per table the entry, then its right subtree, then its left;
    // after each table, the most recently found subdirectory is walked first. Nothing partial
    // on error.
    std::expected<DiscListing, DiscImageError> list(const DiscVolume &volume) const;

    // Fills the whole buffer from base + sector * 2048 + position. An image that ends before
    // the buffer is full gives end_of_image_error().
    std::error_code read_data(const DiscVolume &volume, std::uint32_t sector,
                              std::uint64_t position, std::span<char> buffer) const;

    // Exactly buffer.size() bytes at an absolute image offset, or the error.
    std::error_code read_exact(std::uint64_t offset, std::span<char> buffer) const;

  private:
    explicit DiscImageReader(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_;
};

// The entry's name decoded from windows-1252, as UTF-8.
std::string decode_name(const DirEntryRecord &entry);

} // namespace ormolt
