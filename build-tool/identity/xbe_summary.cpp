#include "identity/xbe_summary.h"

#include "records/message.h"
#include "records/unicode_case.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <new>
#include <vector>

namespace ormolt {

namespace {

// Image header fields (file offsets).
constexpr std::size_t magic_offset = 0x000;
constexpr std::size_t base_address_field = 0x104;
constexpr std::size_t certificate_address_field = 0x118;
constexpr std::size_t section_count_field = 0x11C;
constexpr std::size_t section_table_field = 0x120;
// Lengths the header must reach for the fields above (the base address is read only once the
// magic is known, the section table fields only after the certificate).
constexpr std::size_t shortest_header = 0x10C;
constexpr std::size_t header_with_certificate_address = 0x11C;
constexpr std::size_t header_with_section_table = 0x124;

// Certificate fields (offsets from the certificate).
constexpr std::size_t title_id_offset = 0x008;
constexpr std::size_t title_name_offset = 0x00C;
constexpr std::size_t title_name_units = 40;
constexpr std::size_t region_offset = 0x0A0;
constexpr std::size_t certificate_reach = 0x0B0;

constexpr std::uint64_t section_header_size = 56;

std::uint16_t u16_at(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::uint32_t u32_at(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// UTF-16 units to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf8_from_utf16(std::span<const std::uint16_t> units) {
    std::string text;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::uint32_t unit = units[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            append_utf8(text, 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            append_utf8(text, 0xFFFD);
        } else {
            append_utf8(text, unit);
        }
    }
    return text;
}

} // namespace

std::optional<XbeSummary> read_xbe_summary(std::span<const std::uint8_t> contents) {
    const std::uint64_t length = contents.size();
    if (length < shortest_header || !std::equal(contents.begin(), contents.begin() + 4, "XBEH") ||
        length < header_with_certificate_address)
        return std::nullopt;

    const std::uint32_t base = u32_at(contents, base_address_field);
    const std::uint32_t certificate_address = u32_at(contents, certificate_address_field);
    if (certificate_address < base)
        return std::nullopt;
    const std::uint64_t certificate = certificate_address - base;
    if (certificate >= length || certificate + certificate_reach > length)
        return std::nullopt;

    std::array<std::uint16_t, title_name_units> units{};
    std::size_t unit_count = 0;
    for (; unit_count < title_name_units; ++unit_count) {
        const std::uint16_t unit =
            u16_at(contents, certificate + title_name_offset + 2 * unit_count);
        if (unit == 0)
            break;
        units[unit_count] = unit;
    }
    const std::string title = utf8_from_utf16(std::span(units.data(), unit_count));

    if (length < header_with_section_table)
        return std::nullopt;
    const std::uint32_t section_count = u32_at(contents, section_count_field);
    if (section_count != 0) {
        const std::uint32_t table_address = u32_at(contents, section_table_field);
        if (table_address < base)
            return std::nullopt;
        const std::uint64_t table = table_address - base;
        // 64-bit arithmetic: a count of up to 2^32 - 1 entries cannot overflow it.
        if (table >= length || table + section_count * section_header_size > length)
            return std::nullopt;
    }

    XbeSummary summary;
    summary.xbe_title_id = u32_at(contents, certificate + title_id_offset);
    summary.xbe_title_name = std::string(trim_unicode_space(title));
    summary.region_flags = u32_at(contents, certificate + region_offset);
    return summary;
}

std::string region_text(std::uint32_t flags) {
    constexpr std::uint32_t all = region_usa | region_japan | region_europe;
    if ((flags & all) == all)
        return "World";
    std::string text;
    for (const auto &[bit, name] : {std::pair{region_usa, "USA"}, std::pair{region_japan, "Japan"},
                                    std::pair{region_europe, "Europe"}}) {
        if ((flags & bit) == 0)
            continue;
        if (!text.empty())
            text += ", ";
        text += name;
    }
    if (!text.empty())
        return text;
    return (flags & region_debug) != 0 ? "Debug" : "Unknown";
}

std::string describe_summary(const XbeSummary &summary) {
    char id[9];
    std::snprintf(id, sizeof id, "%08X", static_cast<unsigned>(summary.xbe_title_id));
    return summary.xbe_title_name + " (" + id + ", " + region_text(summary.region_flags) + ")";
}

std::string describe_xbe(const std::filesystem::path &file) {
    constexpr const char *unreadable = "an unreadable XBE";
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    if (error)
        return unreadable;
    std::vector<std::uint8_t> contents;
    try {
        contents.resize(size);
    } catch (const std::exception &) { // larger than memory (or than a vector may be)
        return unreadable;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in.read(reinterpret_cast<char *>(contents.data()), static_cast<std::streamsize>(size)))
        return unreadable;
    const auto summary = read_xbe_summary(contents);
    return summary ? describe_summary(*summary) : unreadable;
}

} // namespace ormolt
