// COFF objects and archives, read with every offset checked against the input.
#include "author/coff.h"

#include <charconv>
#include <cstring>

#include "lib/database/text_join.h"

using fenxi_text::join;

namespace fendrel_author {
namespace {

constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kBigObjectHeaderSize = 56;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kRelocationSize = 10;
constexpr std::size_t kSymbolSize = 18;
constexpr std::size_t kBigSymbolSize = 20;
// The class id that marks an anonymous-object header as a big object.
constexpr std::uint8_t kBigObjectClassId[16] = {0xC7, 0xA1, 0xBA, 0xD1, 0xEE, 0xBA, 0xA9, 0x4B,
                                                0xAF, 0x20, 0xFA, 0xF6, 0x6A, 0xA4, 0xDC, 0xB8};
constexpr std::string_view kArchiveMagic = "!<arch>\n";
constexpr std::size_t kMemberHeaderSize = 60;

std::uint16_t u16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
std::uint32_t u32(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// True when [offset, offset + count * size) lies inside the input.
bool fits(std::size_t total, std::uint64_t offset, std::uint64_t count, std::uint64_t size) {
    return offset <= total && count * size <= total - offset;
}

std::string fixed_name(std::span<const std::uint8_t> b, std::size_t at, std::size_t width) {
    std::size_t length = 0;
    while (length < width && b[at + length] != 0)
        ++length;
    return std::string(reinterpret_cast<const char *>(b.data() + at), length);
}

} // namespace

std::uint32_t coff_relocation_width(std::uint16_t type) {
    switch (type) {
    case 0x0001: // DIR16
    case 0x0002: // REL16
    case 0x000A: // SECTION
        return 2;
    case 0x0006: // DIR32
    case 0x0007: // DIR32NB
    case 0x000B: // SECREL
    case 0x000C: // TOKEN
    case 0x0014: // REL32
        return 4;
    case 0x000D: // SECREL7
        return 1;
    default:
        return 0;
    }
}

bool is_import_object(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 4 && u16(bytes, 0) == 0 && u16(bytes, 2) == 0xFFFF;
}

ObjectKind classify_object(std::span<const std::uint8_t> bytes) {
    // LLVM bitcode, bare or in its wrapper.
    if (bytes.size() >= 4 &&
        ((bytes[0] == 'B' && bytes[1] == 'C' && bytes[2] == 0xC0 && bytes[3] == 0xDE) ||
         u32(bytes, 0) == 0x0B17C0DE))
        return ObjectKind::LinkTimeCode;
    if (!is_import_object(bytes))
        return ObjectKind::Coff;
    if (bytes.size() < 6 || u16(bytes, 4) == 0)
        return ObjectKind::Import; // version 0: a short import member
    if (bytes.size() >= 28 && std::memcmp(bytes.data() + 12, kBigObjectClassId, 16) == 0)
        return ObjectKind::BigObject;
    return ObjectKind::LinkTimeCode;
}

std::expected<ImportMember, std::string> read_import_member(std::span<const std::uint8_t> bytes,
                                                            std::string_view origin) {
    constexpr std::size_t kHeaderSize = 20;
    constexpr std::uint16_t kNameTypeOrdinal = 0;
    if (bytes.size() < kHeaderSize)
        return std::unexpected(join(origin, ": too short for an import header"));
    const std::uint32_t size = u32(bytes, 12);
    if (size > bytes.size() - kHeaderSize)
        return std::unexpected(join(origin, ": the import header's ", size,
                                    " bytes of names run past the member's end"));
    const std::string_view names(reinterpret_cast<const char *>(bytes.data()) + kHeaderSize, size);
    const std::size_t first = names.find('\0');
    const std::size_t second =
        first == std::string_view::npos ? first : names.find('\0', first + 1);
    if (second == std::string_view::npos || first == 0)
        return std::unexpected(
            join(origin, ": the import header lacks its symbol or library name"));
    ImportMember member;
    member.symbol = join("__imp_", names.substr(0, first));
    member.library = std::string(names.substr(first + 1, second - first - 1));
    member.ordinal_or_hint = u16(bytes, 16);
    member.by_ordinal = ((u16(bytes, 18) >> 2) & 7) == kNameTypeOrdinal;
    return member;
}

std::expected<CoffObject, std::string> read_coff_object(std::span<const std::uint8_t> bytes,
                                                        std::string_view origin) {
    const auto fail = [&](std::string_view what) {
        return std::unexpected(join(origin, ": ", what));
    };
    const std::size_t total = bytes.size();
    // The big-object header has the classic one's fields at other places, 32-bit section
    // counts and numbers, and 20-byte symbols.
    const bool big = classify_object(bytes) == ObjectKind::BigObject;
    const std::size_t header_size = big ? kBigObjectHeaderSize : kFileHeaderSize;
    const std::size_t symbol_size = big ? kBigSymbolSize : kSymbolSize;
    if (total < header_size)
        return fail(big ? "too short for a big-object header" : "too short for a COFF file header");
    const std::uint16_t machine = u16(bytes, big ? 6 : 0);
    if (machine != kCoffMachineI386)
        return fail(join("not an i386 COFF object (machine 0x", fenxi_text::Hex{machine, 4}, ")"));
    const std::uint32_t section_count = big ? u32(bytes, 44) : u16(bytes, 2);
    const std::uint32_t symbol_table = u32(bytes, big ? 48 : 8);
    const std::uint32_t symbol_count = u32(bytes, big ? 52 : 12);
    const std::uint16_t optional_size = big ? 0 : u16(bytes, 16);

    const std::uint64_t section_table = header_size + std::uint64_t{optional_size};
    if (!fits(total, section_table, section_count, kSectionHeaderSize))
        return fail("the section table runs past the end of the object");

    // The string table follows the symbol table; its first u32 is its own size.
    std::span<const std::uint8_t> strings;
    if (symbol_count != 0 || symbol_table != 0) {
        if (!fits(total, symbol_table, symbol_count, symbol_size))
            return fail("the symbol table runs past the end of the object");
        const std::uint64_t string_table = symbol_table + std::uint64_t{symbol_count} * symbol_size;
        if (string_table + 4 <= total) {
            const std::uint32_t string_size = u32(bytes, string_table);
            if (string_size < 4 || !fits(total, string_table, 1, string_size))
                return fail("the string table runs past the end of the object");
            strings = bytes.subspan(string_table, string_size);
        }
    }
    const auto long_name = [&](std::uint64_t offset) -> std::expected<std::string, std::string> {
        if (offset < 4 || offset >= strings.size())
            return std::unexpected(join(origin, ": a name lies outside the string table"));
        const auto *start = reinterpret_cast<const char *>(strings.data() + offset);
        const void *end = std::memchr(start, 0, strings.size() - offset);
        if (end == nullptr)
            return std::unexpected(join(origin, ": a name in the string table has no end"));
        return std::string(start, static_cast<const char *>(end));
    };

    CoffObject object;
    object.origin = std::string(origin);
    for (std::uint32_t s = 0; s < section_count; ++s) {
        const std::size_t at = section_table + std::size_t{s} * kSectionHeaderSize;
        CoffSection section;
        section.name = fixed_name(bytes, at, 8);
        if (section.name.size() > 1 && section.name[0] == '/') {
            std::uint32_t offset = 0;
            const char *digits = section.name.data() + 1;
            const auto [end, error] =
                std::from_chars(digits, section.name.data() + section.name.size(), offset);
            if (error != std::errc{} || end != section.name.data() + section.name.size())
                return fail(join("section ", s + 1, " has a malformed long name"));
            auto name = long_name(offset);
            if (!name)
                return std::unexpected(name.error());
            section.name = std::move(*name);
        }
        section.size = u32(bytes, at + 16);
        const std::uint32_t raw = u32(bytes, at + 20);
        const std::uint32_t relocations = u32(bytes, at + 24);
        const std::uint16_t relocation_count = u16(bytes, at + 32);
        section.characteristics = u32(bytes, at + 36);
        if ((section.characteristics & kCoffSectionUninitialized) == 0 && section.size != 0) {
            if (!fits(total, raw, 1, section.size))
                return fail(join("the data of section ", s + 1, " (", printable(section.name),
                                 ") runs past the end of the object"));
            section.bytes.assign(bytes.begin() + raw, bytes.begin() + raw + section.size);
        }
        if (!fits(total, relocations, relocation_count, kRelocationSize))
            return fail(join("the relocations of section ", s + 1, " (", printable(section.name),
                             ") run past the end of the object"));
        for (std::uint32_t r = 0; r < relocation_count; ++r) {
            const std::size_t rat = relocations + r * kRelocationSize;
            CoffRelocation relocation{u32(bytes, rat), u32(bytes, rat + 4), u16(bytes, rat + 8)};
            if (relocation.symbol >= symbol_count)
                return fail(join("a relocation of section ", s + 1, " (", printable(section.name),
                                 ") names symbol ", relocation.symbol, " of ", symbol_count));
            if (std::uint64_t{relocation.offset} + coff_relocation_width(relocation.type) >
                section.size)
                return fail(join("a relocation of section ", s + 1, " (", printable(section.name),
                                 ") lies outside the section"));
            section.relocations.push_back(relocation);
        }
        object.sections.push_back(std::move(section));
    }

    object.symbols.resize(symbol_count);
    for (std::uint32_t i = 0; i < symbol_count; ++i) {
        const std::size_t at = symbol_table + std::size_t{i} * symbol_size;
        CoffSymbol &symbol = object.symbols[i];
        if (u32(bytes, at) == 0) {
            auto name = long_name(u32(bytes, at + 4));
            if (!name)
                return std::unexpected(name.error());
            symbol.name = std::move(*name);
        } else {
            symbol.name = fixed_name(bytes, at, 8);
        }
        symbol.value = u32(bytes, at + 8);
        const std::size_t tail = big ? at + 16 : at + 14; // type, class and aux count
        symbol.section = big ? static_cast<std::int32_t>(u32(bytes, at + 12))
                             : static_cast<std::int16_t>(u16(bytes, at + 12));
        symbol.type = u16(bytes, tail);
        symbol.storage_class = bytes[tail + 2];
        const std::uint8_t aux = bytes[tail + 3];
        if (symbol.section > 0 && static_cast<std::uint32_t>(symbol.section) > section_count)
            return fail(join("symbol ", printable(symbol.name), " names section ", symbol.section,
                             " of ", section_count));
        if (aux > symbol_count - i - 1)
            return fail(join("the auxiliary records of symbol ", printable(symbol.name),
                             " run past the symbol table"));
        i += aux; // auxiliary records stay empty symbols
    }
    return object;
}

bool is_archive(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= kArchiveMagic.size() &&
           std::memcmp(bytes.data(), kArchiveMagic.data(), kArchiveMagic.size()) == 0;
}

std::expected<std::vector<ArchiveMember>, std::string>
read_archive(std::span<const std::uint8_t> bytes, std::string_view origin) {
    std::vector<ArchiveMember> members;
    std::span<const std::uint8_t> long_names;
    std::size_t at = kArchiveMagic.size();
    for (std::size_t index = 1; at < bytes.size(); ++index) {
        const std::string place = join(origin, ": member ", index, " at offset ", at);
        if (bytes.size() - at < kMemberHeaderSize)
            return std::unexpected(join(place, ": the member header is cut short"));
        const auto field = [&](std::size_t offset, std::size_t width) {
            std::string text(reinterpret_cast<const char *>(bytes.data() + at + offset), width);
            while (!text.empty() && text.back() == ' ')
                text.pop_back();
            return text;
        };
        const std::string raw_name = field(0, 16);
        const std::string shown = printable(raw_name);
        if (bytes[at + 58] != '`' || bytes[at + 59] != '\n')
            return std::unexpected(join(place, " (", shown, "): the member header is damaged"));
        const std::string size_text = field(48, 10);
        std::uint64_t size = 0;
        const auto [end, error] =
            std::from_chars(size_text.data(), size_text.data() + size_text.size(), size);
        if (size_text.empty() || error != std::errc{} || end != size_text.data() + size_text.size())
            return std::unexpected(join(place, " (", shown, "): the member size '",
                                        printable(size_text), "' is not a number"));
        const std::size_t data = at + kMemberHeaderSize;
        if (size > bytes.size() - data)
            return std::unexpected(
                join(place, " (", shown, "): the member runs past the end of the archive"));
        const std::span<const std::uint8_t> contents = bytes.subspan(data, size);
        at = data + size + (size & 1); // members start on even offsets

        if (raw_name == "/" || raw_name == "/SYM64/" || raw_name == "__.SYMDEF" ||
            raw_name == "__.SYMDEF SORTED")
            continue; // linker members: symbol indexes, not code
        if (raw_name == "//") {
            long_names = contents;
            continue;
        }
        std::string name;
        if (raw_name.size() > 1 && raw_name[0] == '/') {
            std::uint64_t offset = 0;
            const auto [name_end, name_error] =
                std::from_chars(raw_name.data() + 1, raw_name.data() + raw_name.size(), offset);
            if (name_error != std::errc{} || name_end != raw_name.data() + raw_name.size())
                return std::unexpected(join(place, " (", shown, "): malformed member name"));
            if (offset >= long_names.size())
                return std::unexpected(
                    join(place, " (", shown, "): the name lies outside the long-names member"));
            // GNU ends a long name with "/\n", the other style with a NUL.
            std::size_t stop = offset;
            while (stop < long_names.size() && long_names[stop] != 0 && long_names[stop] != '\n')
                ++stop;
            name.assign(reinterpret_cast<const char *>(long_names.data() + offset), stop - offset);
            if (!name.empty() && name.back() == '/')
                name.pop_back();
        } else if (raw_name.starts_with("#1/")) {
            return std::unexpected(join(place, " (", shown, "): BSD-style names are not read"));
        } else {
            name = raw_name;
            if (!name.empty() && name.back() == '/')
                name.pop_back();
        }
        members.push_back({std::move(name), contents});
    }
    return members;
}

} // namespace fendrel_author
