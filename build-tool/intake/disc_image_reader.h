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

// One listed entry and the folder whose table holds it.
struct DiscListingEntry {
    std::uint32_t folder = 0; // index into DiscListing::folders; 0 is the root
    DirEntryRecord entry;
};

// A folder of the image. Its path is never stored: it is its parent's path, "/" and its own
// decoded name, so a listing grows with the image's entries, not with their depth.
struct DiscFolder {
    std::uint32_t parent = 0;     // the folder whose table lists it (the root: itself)
    std::uint32_t entry = 0;      // its own entry in DiscListing::entries (the root: none)
    std::uint32_t depth = 0;      // 0 for the root, 1 for a root folder
    std::uint64_t path_bytes = 0; // length of its path ("/D/E"), decoded
};

// Every entry of the image: each folder's own entry comes before the entries of its table, and
// the entries of one table follow each other.
struct DiscListing {
    std::vector<DiscFolder> folders; // [0] is the root
    std::vector<DiscListingEntry> entries;

    std::size_t size() const { return entries.size(); }
    const DiscListingEntry &operator[](std::size_t i) const { return entries[i]; }
    auto begin() const { return entries.begin(); }
    auto end() const { return entries.end(); }

    // "" for the root, "/D" for root folder D, "/D/E" below it (decoded names).
    std::string folder_path(std::uint32_t folder) const;
    std::string parent_path(const DiscListingEntry &item) const { return folder_path(item.folder); }
    // Bytes this listing holds in memory, names included.
    std::size_t footprint() const;
};

// How much structure a listing may hold. A real disc has a few tens of thousands of entries a
// few folders deep; these are far beyond that, and keep a hostile image from making the
// listing, or the work done per entry, grow without end.
struct DiscListingLimits {
    std::uint32_t max_entries = 262'144;
    std::uint32_t max_depth = 64;
    std::uint64_t max_path_bytes = 64ull * 1024 * 1024; // all entries' paths added up
};

// What a listing cost, also when it was refused.
struct DiscListingStats {
    std::size_t peak_bytes = 0; // the most the listing and its work lists held at once
};

// The reader's error. Its text() is what users see inside extraction's messages.
struct DiscImageError {
    enum class Kind {
        IOError,          // an entry header or name could not be read in full
        SizeOutOfBounds,  // a child link at or past the end of its table
        InvalidVolume,    // no partition base holds a valid volume descriptor
        LinkCycle,        // a table's child links reach one of its entries again
        OverlappingTable, // a table reaches an entry already listed from another table
        TooManyEntries,   // more entries than the limit
        TooDeep,          // folders nested deeper than the limit
        PathsTooLong,     // the entries' paths add up to more than the limit
        FilesTooLarge     // the files add up to more than the image can hold
    };
    Kind kind = Kind::InvalidVolume;
    std::error_code io;           // IOError
    std::uint32_t offset = 0;     // SizeOutOfBounds
    std::uint32_t table_size = 0; // SizeOutOfBounds
    std::string directory;        // LinkCycle, OverlappingTable: the table's path, "/" for root
    std::uint64_t limit = 0;      // TooManyEntries, TooDeep, PathsTooLong; FilesTooLarge: room
    std::uint64_t amount = 0;     // FilesTooLarge: the files' total size

    // "InvalidVolume", "SizeOutOfBounds(8192, 2048)", "IOError(unexpected end of file)",
    // "directory table of /D links back into itself",
    // "directory table of /D overlaps another directory table", "more than 262144 entries",
    // "folders nested more than 64 deep", "paths adding up to more than 67108864 bytes",
    // "its files add up to 314572800 bytes, more than the 1232896 bytes it holds".
    std::string text() const;
};

// The error of a read that ends early because the image ends: "unexpected end of file".
std::error_code end_of_image_error();

// How much more than the image's own bytes past the volume start its files may add up to:
// real images stay well inside, and a hostile one cannot make extraction write much more than
// it holds by letting entries share data.
std::uint64_t file_size_allowance(std::uint64_t room);

// A disc image opened read-only, from a file or from bytes in memory (tests, fuzzing). Every
// read is a positioned read of an exact byte count.
class DiscImageReader {
  public:
    // Opening failures carry the system error.
    static std::expected<DiscImageReader, std::error_code> open(const std::filesystem::path &image);
    // The bytes must outlive the reader.
    static DiscImageReader in_memory(std::span<const char> image);

    DiscImageReader(DiscImageReader &&other) noexcept;
    DiscImageReader &operator=(DiscImageReader &&other) noexcept;
    DiscImageReader(const DiscImageReader &) = delete;
    DiscImageReader &operator=(const DiscImageReader &) = delete;
    ~DiscImageReader();

    // Tries each partition base in order; the first whose descriptor carries both magic copies.
    std::expected<DiscVolume, DiscImageError> locate_volume() const;

    // The whole image's listing: per table the entry, then its right subtree, then its left;
    // after each table, the most recently found subdirectory is walked first. Nothing partial
    // on error. Beyond the limits, or with files adding up to more than the image holds past
    // the volume start (and the allowance), the image is refused.
    std::expected<DiscListing, DiscImageError> list(const DiscVolume &volume,
                                                    const DiscListingLimits &limits = {},
                                                    DiscListingStats *stats = nullptr) const;

    // Fills the whole buffer from base + sector * 2048 + position. An image that ends before
    // the buffer is full gives end_of_image_error().
    std::error_code read_data(const DiscVolume &volume, std::uint32_t sector,
                              std::uint64_t position, std::span<char> buffer) const;

    // Copies up to length bytes of file data, from base + sector * 2048 + position, to the
    // current position of an output file inside the system, without passing them through this
    // process. Returns how many it copied: fewer when the image ends. An error when the system
    // cannot copy this way (an image in memory, Windows, files it cannot pair): the caller then
    // reads and writes itself, which also gives the precise error of a failing side.
    std::expected<std::uint64_t, std::error_code>
    copy_data(const DiscVolume &volume, std::uint32_t sector, std::uint64_t position,
              std::uint64_t length, std::intptr_t output) const;

    // Exactly buffer.size() bytes at an absolute image offset, or the error.
    std::error_code read_exact(std::uint64_t offset, std::span<char> buffer) const;

    // The image's length in bytes.
    std::expected<std::uint64_t, std::error_code> size() const;

  private:
    explicit DiscImageReader(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_;
    std::span<const char> memory_; // the image, when it is not a file
};

// The entry's name decoded from windows-1252, as UTF-8.
std::string decode_name(const DirEntryRecord &entry);

} // namespace ormolt
