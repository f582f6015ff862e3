#include "testkit/disc_image_writer.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <memory>

namespace testkit {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view magic = "MICROSOFT*XBOX*MEDIA";
constexpr std::uint32_t header_size = 14;
constexpr std::uint32_t descriptor_sector = 32;
constexpr std::uint32_t largest_table = 0xFFFE * 4; // the largest offset a link can name

std::uint32_t sectors_for(std::uint64_t bytes) {
    return static_cast<std::uint32_t>((bytes + disc_sector - 1) / disc_sector);
}

void put_u16(std::string &out, std::size_t at, std::uint16_t value) {
    out[at] = static_cast<char>(value & 0xFF);
    out[at + 1] = static_cast<char>(value >> 8);
}

void put_u32(std::string &out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

void put_u64(std::string &out, std::size_t at, std::uint64_t value) {
    put_u32(out, at, static_cast<std::uint32_t>(value));
    put_u32(out, at + 4, static_cast<std::uint32_t>(value >> 32));
}

// One directory table: where each child's entry sits in it and its tree links.
struct TablePlan {
    const DiscNode *directory = nullptr; // nullptr for the root
    const std::vector<DiscNode> *children = nullptr;
    std::vector<std::uint32_t> offset; // per child
    std::vector<int> left, right;      // per child: index of the child node or -1
    std::uint32_t size = 0;            // whole sectors; 0 for no children
    std::uint32_t sector = 0;
};

// Lays out children [first, last) as a tree rooted at the middle one, entries in pre-order.
int place_subtree(TablePlan &plan, int first, int last, std::uint32_t &cursor) {
    if (first >= last)
        return -1;
    const int middle = first + (last - first) / 2;
    const std::uint32_t length =
        (header_size + static_cast<std::uint32_t>((*plan.children)[middle].name.size()) + 3) & ~3u;
    // An entry never crosses a sector boundary; the rest of the sector stays 0xFF.
    if (cursor % disc_sector + length > disc_sector)
        cursor = (cursor / disc_sector + 1) * disc_sector;
    plan.offset[middle] = cursor;
    cursor += length;
    plan.left[middle] = place_subtree(plan, first, middle, cursor);
    plan.right[middle] = place_subtree(plan, middle + 1, last, cursor);
    return middle;
}

std::error_code plan_table(TablePlan &plan) {
    const auto count = plan.children->size();
    plan.offset.assign(count, 0);
    plan.left.assign(count, -1);
    plan.right.assign(count, -1);
    std::uint32_t cursor = 0;
    place_subtree(plan, 0, static_cast<int>(count), cursor);
    if (cursor > largest_table)
        return std::make_error_code(std::errc::file_too_large);
    plan.size = sectors_for(cursor) * disc_sector;
    return {};
}

class ImagePlan {
  public:
    std::error_code build(const std::vector<DiscNode> &root) {
        std::vector<std::pair<const DiscNode *, const std::vector<DiscNode> *>> pending{
            {nullptr, &root}};
        // Tables first, in the order they are found, then file data.
        std::uint32_t next_sector = descriptor_sector + 1;
        while (!pending.empty()) {
            auto [directory, children] = pending.front();
            pending.erase(pending.begin());
            TablePlan plan;
            plan.directory = directory;
            plan.children = children;
            if (auto error = plan_table(plan))
                return error;
            if (plan.size != 0) {
                plan.sector = next_sector;
                next_sector += plan.size / disc_sector;
            }
            for (const DiscNode &child : *children)
                if (child.directory)
                    pending.emplace_back(&child, &child.children);
            table_of_[directory] = tables_.size();
            tables_.push_back(std::move(plan));
        }
        tables_end_sector_ = next_sector;
        for (const TablePlan &table : tables_)
            for (const DiscNode &child : *table.children)
                if (!child.directory && child.data_size() != 0) {
                    file_sector_[&child] = next_sector;
                    next_sector += sectors_for(child.data_size());
                }
        end_sector_ = next_sector;
        return {};
    }

    const std::vector<TablePlan> &tables() const { return tables_; }
    const TablePlan &table_of(const DiscNode *directory) const {
        return tables_[table_of_.at(directory)];
    }
    std::uint32_t file_sector(const DiscNode *file) const {
        auto found = file_sector_.find(file);
        return found == file_sector_.end() ? 0 : found->second;
    }
    std::uint32_t end_sector() const { return end_sector_; }
    std::uint32_t tables_end_sector() const { return tables_end_sector_; }

  private:
    std::vector<TablePlan> tables_;
    std::map<const DiscNode *, std::size_t> table_of_;
    std::map<const DiscNode *, std::uint32_t> file_sector_;
    std::uint32_t end_sector_ = 0;
    std::uint32_t tables_end_sector_ = 0;
};

std::uint16_t resolve_link(const std::optional<LinkOverride> &override, int real,
                           const TablePlan &table) {
    if (!override)
        return real < 0 ? 0 : static_cast<std::uint16_t>(table.offset[real] / 4);
    switch (override->target) {
    case LinkOverride::Target::Raw:
        return override->value;
    case LinkOverride::Target::TableEnd:
        return static_cast<std::uint16_t>(table.size / 4 + override->value);
    case LinkOverride::Target::Entry:
        for (std::size_t i = 0; i < table.children->size(); ++i)
            if ((*table.children)[i].name == override->entry)
                return static_cast<std::uint16_t>(table.offset[i] / 4);
        break;
    }
    return 0;
}

std::string table_bytes(const TablePlan &table, const ImagePlan &plan) {
    std::string bytes(table.size, '\xFF');
    for (std::size_t i = 0; i < table.children->size(); ++i) {
        const DiscNode &node = (*table.children)[i];
        const std::size_t at = table.offset[i];
        std::uint32_t sector = 0;
        std::uint32_t size = 0;
        if (node.directory) {
            const TablePlan &own = plan.table_of(&node);
            sector = own.sector;
            size = own.size;
        } else {
            sector = plan.file_sector(&node);
            size = static_cast<std::uint32_t>(node.data_size());
        }
        put_u16(bytes, at, resolve_link(node.left_link, table.left[i], table));
        put_u16(bytes, at + 2, resolve_link(node.right_link, table.right[i], table));
        put_u32(bytes, at + 4, node.stored_sector.value_or(sector));
        put_u32(bytes, at + 8, node.stored_size.value_or(size));
        bytes[at + 12] = static_cast<char>((node.directory ? 0x10 : 0x00) | node.attributes);
        bytes[at + 13] = static_cast<char>(node.name.size());
        if (node.empty_slot)
            std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), header_size, '\xFF');
        std::copy(node.name.begin(), node.name.end(),
                  bytes.begin() + static_cast<std::ptrdiff_t>(at + header_size));
    }
    return bytes;
}

std::string descriptor_bytes(const TablePlan &root, const DiscImageOptions &options) {
    std::string bytes(disc_sector, '\0');
    std::copy(magic.begin(), magic.end(), bytes.begin());
    std::copy(magic.begin(), magic.end(), bytes.begin() + 0x7EC);
    if (options.damage_first_magic)
        bytes[3] = 'X';
    if (options.damage_second_magic)
        bytes[0x7EC + 19] = 'X';
    put_u32(bytes, 0x14, options.root_sector.value_or(root.sector));
    put_u32(bytes, 0x18, options.root_size.value_or(root.size));
    put_u64(bytes, 0x1C, options.creation_time);
    return bytes;
}

bool write_at(std::fstream &out, std::uint64_t position, std::string_view bytes) {
    out.seekp(static_cast<std::streamoff>(position));
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return out.good();
}

bool write_file_data(std::fstream &out, std::uint64_t position, const DiscNode &file) {
    const std::uint64_t size = file.data_size();
    if (!file.generated_size)
        return write_at(out, position, file.data);
    constexpr std::size_t chunk = 1 << 20;
    std::vector<char> buffer(chunk);
    out.seekp(static_cast<std::streamoff>(position));
    for (std::uint64_t done = 0; done < size;) {
        const std::size_t length =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunk, size - done));
        if (file.source)
            file.source(done, std::span<char>(buffer.data(), length));
        else
            std::fill_n(buffer.begin(), length, '\0');
        out.write(buffer.data(), static_cast<std::streamsize>(length));
        if (!out.good())
            return false;
        done += length;
    }
    return true;
}

} // namespace

DiscNode DiscNode::file(std::string name, std::string data) {
    DiscNode node;
    node.name = std::move(name);
    node.data = std::move(data);
    return node;
}

DiscNode DiscNode::generated_file(std::string name, std::uint32_t size, DiscDataSource source) {
    DiscNode node;
    node.name = std::move(name);
    node.generated_size = size;
    node.source = std::move(source);
    return node;
}

DiscNode DiscNode::folder(std::string name, std::vector<DiscNode> children) {
    DiscNode node;
    node.name = std::move(name);
    node.directory = true;
    node.children = std::move(children);
    return node;
}

std::error_code write_disc_image(const fs::path &image, const std::vector<DiscNode> &root,
                                 const DiscImageOptions &options, DiscImageLayout *layout) {
    ImagePlan plan;
    if (auto error = plan.build(root))
        return error;
    for (const auto &table : plan.tables())
        for (const DiscNode &node : *table.children)
            if (node.name.size() > 255)
                return std::make_error_code(std::errc::filename_too_long);

    std::fstream out;
    if (options.overlay)
        out.open(image, std::ios::binary | std::ios::in | std::ios::out);
    else
        out.open(image, std::ios::binary | std::ios::out | std::ios::trunc);
    if (!out.is_open())
        return std::make_error_code(std::errc::io_error);

    const auto at_sector = [&](std::uint32_t sector) {
        return options.base + static_cast<std::uint64_t>(sector) * disc_sector;
    };
    const TablePlan &root_table = plan.tables().front();
    bool ok =
        write_at(out, options.base + disc_descriptor_offset, descriptor_bytes(root_table, options));
    for (const TablePlan &table : plan.tables())
        if (ok && table.size != 0)
            ok = write_at(out, at_sector(table.sector), table_bytes(table, plan));
    for (const TablePlan &table : plan.tables())
        for (const DiscNode &node : *table.children)
            if (ok && !node.directory && node.data_size() != 0)
                ok = write_file_data(out, at_sector(plan.file_sector(&node)), node);
    // Pad the last sector so the image ends on a sector boundary, as authored images do.
    const std::uint64_t end = at_sector(plan.end_sector());
    if (ok) {
        out.seekp(0, std::ios::end);
        const auto current = static_cast<std::uint64_t>(out.tellp());
        if (current < end)
            ok = write_at(out, end - 1, std::string_view("\0", 1));
    }
    out.close();
    if (!ok || out.fail())
        return std::make_error_code(std::errc::io_error);
    if (layout) {
        layout->root_sector = root_table.sector;
        layout->root_size = root_table.size;
        layout->end = end;
        layout->tables_end = at_sector(plan.tables_end_sector());
    }
    return {};
}

DiscNode nested_folders(int depth, int files) {
    std::vector<DiscNode> leaves;
    for (int i = 0; i < files; ++i)
        leaves.push_back(DiscNode::file("f" + std::to_string(i), ""));
    DiscNode nest = DiscNode::folder(std::string(255, 'a'), std::move(leaves));
    for (int level = 1; level < depth; ++level) {
        std::vector<DiscNode> inside;
        inside.push_back(std::move(nest));
        nest = DiscNode::folder(std::string(255, static_cast<char>('a' + level % 26)),
                                std::move(inside));
    }
    return nest;
}

char pattern_byte(std::uint32_t seed, std::uint64_t position) {
    // A cheap mix of seed and position; its period is far beyond any test file.
    std::uint64_t x = (position / 8) * 0x9E3779B97F4A7C15ull + seed * 0xBF58476D1CE4E5B9ull;
    x ^= x >> 31;
    x *= 0x94D049BB133111EBull;
    x ^= x >> 29;
    return static_cast<char>((x >> (8 * (position % 8))) & 0xFF);
}

DiscDataSource pattern_source(std::uint32_t seed) {
    return [seed](std::uint64_t position, std::span<char> out) {
        for (std::size_t i = 0; i < out.size(); ++i)
            out[i] = pattern_byte(seed, position + i);
    };
}

std::optional<std::string> encode_windows_1252(std::string_view utf8) {
    // 0x80-0x9F; the rest of the bytes map to the code point of the same value.
    static constexpr std::array<char32_t, 32> high{
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
    };
    std::string bytes;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int length = lead < 0x80    ? 1
                           : lead >= 0xF0 ? 4
                           : lead >= 0xE0 ? 3
                           : lead >= 0xC0 ? 2
                                          : 0;
        if (length == 0 || i + length > utf8.size())
            return std::nullopt;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80)
                return std::nullopt;
            c = (c << 6) | (next & 0x3F);
        }
        i += static_cast<std::size_t>(length);
        const auto in_high = std::find(high.begin(), high.end(), c);
        if (in_high != high.end())
            bytes += static_cast<char>(0x80 + (in_high - high.begin()));
        else if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
            bytes += static_cast<char>(c);
        else
            return std::nullopt;
    }
    return bytes;
}

} // namespace testkit
