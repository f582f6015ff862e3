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

struct PendingTable {
    std::string path;
    SectorRange range;
};

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
    }
    return "InvalidVolume";
}

std::expected<DiscImageReader, std::error_code>
DiscImageReader::open(const std::filesystem::path &image) {
    auto handle = platform::open_for_reading(image);
    if (!handle)
        return std::unexpected(handle.error());
    return DiscImageReader(*handle);
}

DiscImageReader::DiscImageReader(DiscImageReader &&other) noexcept
    : handle_(std::exchange(other.handle_, platform::no_handle)) {}

DiscImageReader &DiscImageReader::operator=(DiscImageReader &&other) noexcept {
    if (this != &other) {
        platform::close_handle(handle_);
        handle_ = std::exchange(other.handle_, platform::no_handle);
    }
    return *this;
}

DiscImageReader::~DiscImageReader() {
    platform::close_handle(handle_);
}

std::error_code DiscImageReader::read_exact(std::uint64_t offset, std::span<char> buffer) const {
    if (buffer.size() > std::numeric_limits<std::uint64_t>::max() - offset)
        return end_of_image_error();
    auto read = platform::read_at(handle_, offset, buffer.data(), buffer.size());
    if (!read)
        return read.error();
    if (*read != buffer.size())
        return end_of_image_error();
    return {};
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

std::expected<DiscListing, DiscImageError> DiscImageReader::list(const DiscVolume &volume) const {
    DiscListing listing;
    // Image position of every entry listed so far, with the number of the table it came from:
    // reaching one again means a loop within a table or tables that share entries. Each
    // position is taken once, so the work is bounded by the image's size whatever its links say.
    std::unordered_map<std::uint64_t, std::size_t> listed_at;
    std::size_t table_number = 0;
    std::vector<PendingTable> work{{"", volume.descriptor.root}};
    std::vector<DirEntryRecord> table_entries;
    std::vector<std::uint32_t> offsets;

    while (!work.empty()) {
        const PendingTable table = std::move(work.back());
        work.pop_back();
        if (table.range.size == 0)
            continue;
        ++table_number;
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
                                                   table.path));
            DirEntryRecord entry;
            entry.left = u16_at(&header[0]);
            entry.right = u16_at(&header[2]);
            entry.data = {u32_at(&header[4]), u32_at(&header[8])};
            entry.attributes = header[12];
            entry.name.resize(header[13]);
            if (!entry.name.empty())
                if (auto error = read_exact(position + entry_header_size, entry.name))
                    return std::unexpected(io_error(error));
            // Right is pushed last so that it is walked first.
            if (entry.left != 0 && entry.left != no_child)
                offsets.push_back(static_cast<std::uint32_t>(entry.left) * 4);
            if (entry.right != 0 && entry.right != no_child)
                offsets.push_back(static_cast<std::uint32_t>(entry.right) * 4);
            table_entries.push_back(std::move(entry));
        }
        for (auto &entry : table_entries) {
            if (entry.is_directory())
                work.push_back({table.path + "/" + decode_name(entry), entry.data});
            listing.push_back({table.path, std::move(entry)});
        }
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

std::string decode_name(const DirEntryRecord &entry) {
    return decode_windows_1252(entry.name);
}

} // namespace ormolt
