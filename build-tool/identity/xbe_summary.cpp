#include "identity/xbe_summary.h"

#include "platform/platform.h"
#include "records/message.h"
#include "records/unicode_case.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <functional>

namespace ormolt {

namespace {

// Image header fields (file offsets).
constexpr std::size_t magic_offset = 0x000;
constexpr std::size_t base_address_field = 0x104;
constexpr std::size_t certificate_address_field = 0x118;
constexpr std::size_t section_count_field = 0x11C;
constexpr std::size_t section_table_field = 0x120;
// Lengths the file must reach, checked in this order: the magic and base address, the
// certificate address, the section table fields.
constexpr std::uint64_t shortest_header = 0x10C;
constexpr std::uint64_t header_with_certificate_address = 0x11C;
constexpr std::uint64_t header_with_section_table = 0x124;

// Certificate fields (offsets from the certificate); the reader needs its first 0xB0 bytes.
constexpr std::size_t title_id_offset = 0x008;
constexpr std::size_t title_name_offset = 0x00C;
constexpr std::size_t title_name_units = 40;
constexpr std::size_t region_offset = 0x0A0;
constexpr std::size_t certificate_reach = 0x0B0;

constexpr std::uint64_t section_header_size = 56;

constexpr const char *unreadable_xbe = "an unreadable XBE";

using ReadAt = XbeReadAt;

std::uint32_t u32_of(const std::uint8_t *bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::optional<std::uint32_t> u32_at(const ReadAt &read_at, std::uint64_t at) {
    std::uint8_t bytes[4];
    if (!read_at(at, sizeof bytes, bytes))
        return std::nullopt;
    return u32_of(bytes);
}

// UTF-16 units to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf8_from_utf16(std::span<const std::uint16_t> units) {
    std::string text;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::uint32_t unit = units[i];
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
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

std::string title_of(const std::array<std::uint8_t, certificate_reach> &certificate) {
    std::array<std::uint16_t, title_name_units> units{};
    std::size_t count = 0;
    for (; count < title_name_units; ++count) {
        const std::size_t at = title_name_offset + 2 * count;
        const auto unit = static_cast<std::uint16_t>(certificate[at] | certificate[at + 1] << 8);
        if (unit == 0)
            break;
        units[count] = unit;
    }
    return std::string(trim_unicode_space(utf8_from_utf16(std::span(units.data(), count))));
}

// The parse over any source of the given length. Every range is checked against the length
// before it is read, so a source is never asked for bytes it does not have.
std::optional<XbeSummary> parse_xbe(std::uint64_t length, const ReadAt &read_at) {
    std::uint8_t magic[4];
    if (length < shortest_header || !read_at(magic_offset, sizeof magic, magic) ||
        std::memcmp(magic, "XBEH", 4) != 0 || length < header_with_certificate_address)
        return std::nullopt;

    const auto base = u32_at(read_at, base_address_field);
    const auto certificate_address = u32_at(read_at, certificate_address_field);
    if (!base || !certificate_address || *certificate_address < *base)
        return std::nullopt;
    const std::uint64_t certificate_offset = *certificate_address - *base;
    if (certificate_offset >= length || certificate_offset + certificate_reach > length)
        return std::nullopt;
    std::array<std::uint8_t, certificate_reach> certificate;
    if (!read_at(certificate_offset, certificate.size(), certificate.data()))
        return std::nullopt;
    std::string title = title_of(certificate);

    if (length < header_with_section_table)
        return std::nullopt;
    const auto section_count = u32_at(read_at, section_count_field);
    const auto table_address = u32_at(read_at, section_table_field);
    if (!section_count || !table_address)
        return std::nullopt;
    if (*section_count != 0) {
        if (*table_address < *base)
            return std::nullopt;
        const std::uint64_t table = *table_address - *base;
        // 64-bit arithmetic: 2^32 - 1 entries of 56 bytes cannot overflow it.
        if (table >= length || table + *section_count * section_header_size > length)
            return std::nullopt;
    }

    XbeSummary summary;
    summary.xbe_title_id = u32_of(certificate.data() + title_id_offset);
    summary.xbe_title_name = std::move(title);
    summary.region_flags = u32_of(certificate.data() + region_offset);
    return summary;
}

} // namespace

std::optional<XbeSummary> read_xbe_summary(std::span<const std::uint8_t> contents) {
    return parse_xbe(contents.size(),
                     [contents](std::uint64_t at, std::size_t size, std::uint8_t *out) {
                         if (at > contents.size() || size > contents.size() - at)
                             return false;
                         std::memcpy(out, contents.data() + at, size);
                         return true;
                     });
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
    return name_from_outside(summary.xbe_title_name) + " (" + id + ", " +
           region_text(summary.region_flags) + ")";
}

std::string describe_xbe(std::uint64_t length, const XbeReadAt &read_at) {
    const auto summary = parse_xbe(length, read_at);
    return summary ? describe_summary(*summary) : unreadable_xbe;
}

std::string describe_xbe(const std::filesystem::path &file) {
    // Only the header and the certificate are read, where they lie: a copy that is refused
    // may be any file, of any size.
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        return unreadable_xbe;
    const auto in = platform::ReadOnlyFile::open(file);
    if (!in)
        return unreadable_xbe;
    const auto length = in->size();
    if (!length)
        return unreadable_xbe;
    const auto summary =
        parse_xbe(*length, [&in](std::uint64_t at, std::size_t size, std::uint8_t *out) {
            const auto got = in->read(at, reinterpret_cast<char *>(out), size);
            return got && *got == size;
        });
    return summary ? describe_summary(*summary) : unreadable_xbe;
}

} // namespace ormolt
