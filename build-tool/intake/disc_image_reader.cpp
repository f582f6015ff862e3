#include "intake/disc_image_reader.h"

#include "intake/windows_1252.h"
#include "platform/platform.h"
#include "records/message.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <utility>

namespace ormolt {

namespace {

constexpr std::size_t entry_header_size = 14;
constexpr std::uint16_t no_child = 0xFFFF;

class EndOfImageCategory : public std::error_category {
  public:
    const char *name() const noexcept override { return "disc image"; }
    std::string message(int) const override { return "unexpected end of file"; }
};

std::uint16_t u16_at(const unsigned char *bytes) {
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

std::uint32_t u32_at(const unsigned char *bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) |
           (static_cast<std::uint32_t>(bytes[3]) << 24);
}

std::uint64_t u64_at(const unsigned char *bytes) {
    return static_cast<std::uint64_t>(u32_at(bytes)) |
           (static_cast<std::uint64_t>(u32_at(bytes + 4)) << 32);
}

std::uint64_t sector_offset(std::uint32_t sector) {
    return static_cast<std::uint64_t>(sector) * disc_sector_size;
}

bool all_bytes_are(const unsigned char *bytes, std::size_t count, unsigned char value) {
    return std::all_of(bytes, bytes + count, [value](unsigned char b) { return b == value; });
}

DiscImageError io_error(std::error_code error) {
    DiscImageError result;
    result.kind = DiscImageError::Kind::IOError;
    result.io = error;
    return result;
}

DiscImageError table_error(DiscImageError::Kind kind, const std::string &path) {
    DiscImageError result;
    result.kind = kind;
    result.directory = path.empty() ? "/" : path;
    return result;
}

DiscImageError limit_error(DiscImageError::Kind kind, std::uint64_t limit) {
    DiscImageError result;
    result.kind = kind;
    result.limit = limit;
    return result;
}

struct PendingTable {
    std::uint32_t folder;
    SectorRange range;
};

// Heap bytes of a string beyond the object itself (none while it fits in the object).
std::size_t heap_bytes(const std::string &text) {
    return text.capacity() > std::string().capacity() ? text.capacity() + 1 : 0;
}

} // namespace

std::error_code end_of_image_error() {
    static const EndOfImageCategory category;
    return std::error_code(1, category);
}

std::string DiscImageError::text() const {
    switch (kind) {
    case Kind::IOError:
        return "IOError(" + system_error_text(io) + ")";
    case Kind::SizeOutOfBounds:
        return "SizeOutOfBounds(" + std::to_string(offset) + ", " + std::to_string(table_size) +
               ")";
    case Kind::InvalidVolume:
        return "InvalidVolume";
    case Kind::LinkCycle:
        return message("directory table of {} links back into itself", directory);
    case Kind::OverlappingTable:
        return message("directory table of {} overlaps another directory table", directory);
    case Kind::TooManyEntries:
        return message("more than {} entries", std::to_string(limit));
    case Kind::TooDeep:
        return message("folders nested more than {} deep", std::to_string(limit));
    case Kind::PathsTooLong:
        return message("paths adding up to more than {} bytes", std::to_string(limit));
    case Kind::FilesTooLarge:
        return message("its files add up to {} bytes, more than the {} bytes it holds",
                       std::to_string(amount), std::to_string(limit));
    }
    return "InvalidVolume";
}

std::uint64_t file_size_allowance(std::uint64_t room) {
    return 1024 * 1024 + room / 64;
}

std::string DiscListing::folder_path(std::uint32_t folder) const {
    std::vector<std::uint32_t> chain;
    for (std::uint32_t at = folder; at != 0; at = folders[at].parent)
        chain.push_back(at);
    std::string path;
    path.reserve(folders[folder].path_bytes);
    for (auto at = chain.rbegin(); at != chain.rend(); ++at) {
        path += '/';
        path += decode_name(entries[folders[*at].entry].entry);
    }
    return path;
}

std::size_t DiscListing::footprint() const {
    std::size_t bytes =
        folders.capacity() * sizeof(DiscFolder) + entries.capacity() * sizeof(DiscListingEntry);
    for (const auto &item : entries)
        bytes += heap_bytes(item.entry.name);
    return bytes;
}

std::expected<DiscImageReader, std::error_code>
DiscImageReader::open(const std::filesystem::path &image) {
    auto handle = platform::open_for_reading(image);
    if (!handle)
        return std::unexpected(handle.error());
    return DiscImageReader(*handle);
}

DiscImageReader DiscImageReader::in_memory(std::span<const char> image) {
    DiscImageReader reader(platform::no_handle);
    reader.memory_ = image;
    return reader;
}

DiscImageReader::DiscImageReader(DiscImageReader &&other) noexcept
    : handle_(std::exchange(other.handle_, platform::no_handle)),
      memory_(std::exchange(other.memory_, {})) {}

DiscImageReader &DiscImageReader::operator=(DiscImageReader &&other) noexcept {
    if (this != &other) {
        platform::close_handle(handle_);
        handle_ = std::exchange(other.handle_, platform::no_handle);
        memory_ = std::exchange(other.memory_, {});
    }
    return *this;
}

DiscImageReader::~DiscImageReader() {
    platform::close_handle(handle_);
}

std::error_code DiscImageReader::read_exact(std::uint64_t offset, std::span<char> buffer) const {
    if (buffer.size() > std::numeric_limits<std::uint64_t>::max() - offset)
        return end_of_image_error();
    if (handle_ == platform::no_handle) {
        if (offset > memory_.size() || buffer.size() > memory_.size() - offset)
            return end_of_image_error();
        std::copy_n(memory_.data() + offset, buffer.size(), buffer.data());
        return {};
    }
    auto read = platform::read_at(handle_, offset, buffer.data(), buffer.size());
    if (!read)
        return read.error();
    if (*read != buffer.size())
        return end_of_image_error();
    return {};
}

std::expected<std::uint64_t, std::error_code> DiscImageReader::size() const {
    if (handle_ == platform::no_handle)
        return memory_.size();
    return platform::file_size(handle_);
}

std::expected<DiscVolume, DiscImageError> DiscImageReader::locate_volume() const {
    std::array<unsigned char, volume_descriptor_size> bytes;
    const std::span<char> buffer(reinterpret_cast<char *>(bytes.data()), bytes.size());
    for (std::uint64_t base : partition_bases) {
        // A base the image is too short for, or cannot be read at, simply does not qualify.
        if (read_exact(base + volume_descriptor_offset, buffer))
            continue;
        const std::string_view first(reinterpret_cast<const char *>(bytes.data()),
                                     disc_magic.size());
        const std::string_view second(reinterpret_cast<const char *>(bytes.data()) + 0x7EC,
                                      disc_magic.size());
        if (first != disc_magic || second != disc_magic)
            continue;
        DiscVolume volume;
        volume.base = base;
        volume.descriptor.root = {u32_at(&bytes[0x14]), u32_at(&bytes[0x18])};
        volume.descriptor.creation_time = u64_at(&bytes[0x1C]);
        return volume;
    }
    return std::unexpected(DiscImageError{});
}

std::expected<DiscListing, DiscImageError> DiscImageReader::list(const DiscVolume &volume,
                                                                 const DiscListingLimits &limits,
                                                                 DiscListingStats *stats) const {
    DiscListing listing;
    listing.folders.push_back({});
    // Image position of every entry listed so far, with the number of the table it came from:
    // reaching one again means a loop within a table or tables that share entries. Each
    // position is taken once, so the work is bounded by the image's size whatever its links say.
    std::unordered_map<std::uint64_t, std::size_t> listed_at;
    std::size_t table_number = 0;
    std::vector<PendingTable> work{{0, volume.descriptor.root}};
    std::vector<DirEntryRecord> table_entries;
    std::vector<std::uint32_t> offsets;
    std::uint64_t path_bytes = 0; // every listed entry's path, decoded, added up
    std::uint64_t file_bytes = 0;

    // What all of this holds, kept as it grows (names counted once, where they are made).
    std::size_t name_bytes = 0, peak = 0;
    const auto account = [&] {
        const std::size_t held =
            name_bytes + listing.folders.capacity() * sizeof(DiscFolder) +
            listing.entries.capacity() * sizeof(DiscListingEntry) +
            table_entries.capacity() * sizeof(DirEntryRecord) +
            offsets.capacity() * sizeof(std::uint32_t) + work.capacity() * sizeof(PendingTable) +
            listed_at.bucket_count() * sizeof(void *) +
            listed_at.size() * (sizeof(std::pair<std::uint64_t, std::size_t>) + 2 * sizeof(void *));
        peak = std::max(peak, held);
    };
    struct ReportPeak {
        DiscListingStats *stats;
        const std::size_t &peak;
        ~ReportPeak() {
            if (stats)
                stats->peak_bytes = peak;
        }
    } report{stats, peak};

    while (!work.empty()) {
        const PendingTable table = work.back();
        work.pop_back();
        if (table.range.size == 0)
            continue;
        ++table_number;
        const DiscFolder folder = listing.folders[table.folder];
        const std::uint64_t table_start = volume.base + sector_offset(table.range.sector);
        table_entries.clear();
        offsets.assign(1, 0);
        while (!offsets.empty()) {
            const std::uint32_t offset = offsets.back();
            offsets.pop_back();
            if (offset >= table.range.size) {
                DiscImageError error;
                error.kind = DiscImageError::Kind::SizeOutOfBounds;
                error.offset = offset;
                error.table_size = table.range.size;
                return std::unexpected(error);
            }
            const std::uint64_t position = table_start + offset;
            std::array<unsigned char, entry_header_size> header;
            if (auto error =
                    read_exact(position, {reinterpret_cast<char *>(header.data()), header.size()}))
                return std::unexpected(io_error(error));
            if (all_bytes_are(header.data(), header.size(), 0x00) ||
                all_bytes_are(header.data(), header.size(), 0xFF))
                continue;
            const auto [seen, first_time] = listed_at.try_emplace(position, table_number);
            if (!first_time)
                return std::unexpected(table_error(seen->second == table_number
                                                       ? DiscImageError::Kind::LinkCycle
                                                       : DiscImageError::Kind::OverlappingTable,
                                                   listing.folder_path(table.folder)));
            if (listing.entries.size() + table_entries.size() >= limits.max_entries)
                return std::unexpected(
                    limit_error(DiscImageError::Kind::TooManyEntries, limits.max_entries));
            DirEntryRecord entry;
            entry.left = u16_at(&header[0]);
            entry.right = u16_at(&header[2]);
            entry.data = {u32_at(&header[4]), u32_at(&header[8])};
            entry.attributes = header[12];
            entry.name.resize(header[13]);
            if (!entry.name.empty())
                if (auto error = read_exact(position + entry_header_size, entry.name))
                    return std::unexpected(io_error(error));
            path_bytes += folder.path_bytes + 1 + decoded_windows_1252_size(entry.name);
            if (path_bytes > limits.max_path_bytes)
                return std::unexpected(
                    limit_error(DiscImageError::Kind::PathsTooLong, limits.max_path_bytes));
            if (!entry.is_directory())
                file_bytes += entry.data.size;
            // Right is pushed last so that it is walked first.
            if (entry.left != 0 && entry.left != no_child)
                offsets.push_back(static_cast<std::uint32_t>(entry.left) * 4);
            if (entry.right != 0 && entry.right != no_child)
                offsets.push_back(static_cast<std::uint32_t>(entry.right) * 4);
            name_bytes += heap_bytes(entry.name);
            table_entries.push_back(std::move(entry));
            account();
        }
        for (auto &entry : table_entries) {
            if (entry.is_directory()) {
                if (folder.depth >= limits.max_depth)
                    return std::unexpected(
                        limit_error(DiscImageError::Kind::TooDeep, limits.max_depth));
                const auto index = static_cast<std::uint32_t>(listing.folders.size());
                listing.folders.push_back(
                    {table.folder, static_cast<std::uint32_t>(listing.entries.size()),
                     folder.depth + 1,
                     folder.path_bytes + 1 + decoded_windows_1252_size(entry.name)});
                work.push_back({index, entry.data});
            }
            listing.entries.push_back({table.folder, std::move(entry)});
        }
        account();
    }

    // Entries may share data, so without this a small image could fill a disk.
    auto image_size = size();
    if (!image_size)
        return std::unexpected(io_error(image_size.error()));
    const std::uint64_t room = *image_size > volume.base ? *image_size - volume.base : 0;
    if (file_bytes > room + file_size_allowance(room)) {
        DiscImageError error = limit_error(DiscImageError::Kind::FilesTooLarge, room);
        error.amount = file_bytes;
        return std::unexpected(error);
    }
    return listing;
}

std::error_code DiscImageReader::read_data(const DiscVolume &volume, std::uint32_t sector,
                                           std::uint64_t position, std::span<char> buffer) const {
    const std::uint64_t start = volume.base + sector_offset(sector);
    if (position > std::numeric_limits<std::uint64_t>::max() - start)
        return end_of_image_error();
    return read_exact(start + position, buffer);
}

std::expected<std::uint64_t, std::error_code>
DiscImageReader::copy_data(const DiscVolume &volume, std::uint32_t sector, std::uint64_t position,
                           std::uint64_t length, std::intptr_t output) const {
    if (handle_ == platform::no_handle)
        return std::unexpected(std::make_error_code(std::errc::operation_not_supported));
    const std::uint64_t start = volume.base + sector_offset(sector);
    if (position > std::numeric_limits<std::uint64_t>::max() - start)
        return 0;
    return platform::copy_file_data(handle_, start + position, output, length);
}

std::string decode_name(const DirEntryRecord &entry) {
    return decode_windows_1252(entry.name);
}

} // namespace ormolt
