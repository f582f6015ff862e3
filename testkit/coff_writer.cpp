// Writing COFF objects and archives for tests.
#include "testkit/coff_writer.h"

#include <cstdio>
#include <cstring>
#include <iterator>

namespace testkit {
namespace {

void put16(std::vector<std::uint8_t> &out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}
void put32(std::vector<std::uint8_t> &out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}
void set32(std::vector<std::uint8_t> &out, std::size_t at, std::uint32_t value) {
    for (int k = 0; k < 4; ++k)
        out[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
}
void put_text(std::vector<std::uint8_t> &out, const std::string &text, std::size_t width) {
    for (std::size_t k = 0; k < width; ++k)
        out.push_back(k < text.size() ? static_cast<std::uint8_t>(text[k]) : 0);
}

// Padded with blanks, as archive member headers are.
void put_field(std::vector<std::uint8_t> &out, const std::string &text, std::size_t width) {
    for (std::size_t k = 0; k < width; ++k)
        out.push_back(k < text.size() ? static_cast<std::uint8_t>(text[k]) : ' ');
}

void put_member(std::vector<std::uint8_t> &out, const std::string &name,
                const std::vector<std::uint8_t> &bytes) {
    put_field(out, name, 16);
    put_field(out, "0", 12);
    put_field(out, "0", 6);
    put_field(out, "0", 6);
    put_field(out, "644", 8);
    put_field(out, std::to_string(bytes.size()), 10);
    out.push_back('`');
    out.push_back('\n');
    out.insert(out.end(), bytes.begin(), bytes.end());
    if (bytes.size() % 2 != 0)
        out.push_back('\n');
}

} // namespace

std::vector<std::uint8_t> build_test_coff(const TestCoff &coff) {
    std::vector<std::uint8_t> strings(4, 0);
    const auto string_offset = [&](const std::string &name) {
        const auto offset = static_cast<std::uint32_t>(strings.size());
        strings.insert(strings.end(), name.begin(), name.end());
        strings.push_back(0);
        return offset;
    };

    std::vector<std::uint8_t> out;
    std::size_t symbol_table_field = kCoffSymbolTableField;
    if (coff.big_object) {
        // The anonymous-object header of a big object: class id, 32-bit counts, 20-byte symbols.
        static constexpr std::uint8_t kClassId[16] = {0xC7, 0xA1, 0xBA, 0xD1, 0xEE, 0xBA,
                                                      0xA9, 0x4B, 0xAF, 0x20, 0xFA, 0xF6,
                                                      0x6A, 0xA4, 0xDC, 0xB8};
        put16(out, 0);
        put16(out, 0xFFFF);
        put16(out, 2); // version
        put16(out, coff.machine);
        put32(out, 0); // time stamp
        out.insert(out.end(), std::begin(kClassId), std::end(kClassId));
        put32(out, 0); // size of data
        put32(out, 0); // flags
        put32(out, 0); // metadata size
        put32(out, 0); // metadata offset
        put32(out, static_cast<std::uint32_t>(coff.sections.size()));
        symbol_table_field = out.size();
        put32(out, 0); // symbol table, set below
        put32(out, static_cast<std::uint32_t>(coff.symbols.size()));
    } else {
        put16(out, coff.machine);
        put16(out, static_cast<std::uint16_t>(coff.sections.size()));
        put32(out, 0); // time stamp
        put32(out, 0); // symbol table, set below
        put32(out, static_cast<std::uint32_t>(coff.symbols.size()));
        put16(out, 0); // optional header size
        put16(out, 0); // characteristics
    }

    std::size_t data = out.size() + coff.sections.size() * kCoffSectionHeaderSize;
    for (const TestCoffSection &section : coff.sections) {
        if (section.name.size() > 8)
            put_text(out, "/" + std::to_string(string_offset(section.name)), 8);
        else
            put_text(out, section.name, 8);
        put32(out, 0); // virtual size
        put32(out, 0); // virtual address
        put32(out, static_cast<std::uint32_t>(section.bytes.size()));
        put32(out, section.bytes.empty() ? 0 : static_cast<std::uint32_t>(data));
        const std::size_t relocations = data + section.bytes.size();
        put32(out, section.relocations.empty() ? 0 : static_cast<std::uint32_t>(relocations));
        put32(out, 0); // line numbers
        put16(out, static_cast<std::uint16_t>(section.relocations.size()));
        put16(out, 0);
        put32(out, section.characteristics);
        data = relocations + section.relocations.size() * 10;
    }
    for (const TestCoffSection &section : coff.sections) {
        out.insert(out.end(), section.bytes.begin(), section.bytes.end());
        for (const TestCoffRelocation &relocation : section.relocations) {
            put32(out, relocation.offset);
            put32(out, relocation.symbol);
            put16(out, relocation.type);
        }
    }
    set32(out, symbol_table_field, static_cast<std::uint32_t>(out.size()));
    for (const TestCoffSymbol &symbol : coff.symbols) {
        if (symbol.name.size() > 8) {
            put32(out, 0);
            put32(out, string_offset(symbol.name));
        } else {
            put_text(out, symbol.name, 8);
        }
        put32(out, symbol.value);
        if (coff.big_object)
            put32(out, static_cast<std::uint32_t>(static_cast<std::int32_t>(symbol.section)));
        else
            put16(out, static_cast<std::uint16_t>(symbol.section));
        put16(out, symbol.type);
        out.push_back(symbol.storage_class);
        out.push_back(0); // no auxiliary records
    }
    set32(strings, 0, static_cast<std::uint32_t>(strings.size()));
    out.insert(out.end(), strings.begin(), strings.end());
    return out;
}

std::vector<std::uint8_t> build_test_archive(const std::vector<TestArchiveMember> &members,
                                             TestArchiveStyle style) {
    const bool microsoft = style == TestArchiveStyle::Microsoft;
    std::vector<std::uint8_t> long_names;
    std::vector<std::string> header_names;
    for (const TestArchiveMember &member : members) {
        if (member.name.size() <= 15) {
            header_names.push_back(member.name + "/");
            continue;
        }
        header_names.push_back("/" + std::to_string(long_names.size()));
        long_names.insert(long_names.end(), member.name.begin(), member.name.end());
        if (microsoft) {
            long_names.push_back(0);
        } else {
            long_names.push_back('/');
            long_names.push_back('\n');
        }
    }

    std::vector<std::uint8_t> out = {'!', '<', 'a', 'r', 'c', 'h', '>', '\n'};
    // Linker members: symbol indexes the reader skips. Empty ones are enough.
    const std::vector<std::uint8_t> no_symbols(4, 0);
    put_member(out, "/", no_symbols);
    if (microsoft)
        put_member(out, "/", std::vector<std::uint8_t>(8, 0));
    if (microsoft || !long_names.empty())
        put_member(out, "//", long_names);
    for (std::size_t k = 0; k < members.size(); ++k)
        put_member(out, header_names[k], members[k].bytes);
    return out;
}

} // namespace testkit
