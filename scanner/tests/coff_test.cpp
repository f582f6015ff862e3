// The authoring tool's readers: COFF objects, archives, decorated names and aliases.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "author/coff.h"
#include "author/names.h"
#include "testkit/coff_writer.h"

using namespace fendrel_author;
using namespace testkit;

namespace {

// A code section with a long name and both relocation kinds, a data section, and symbols with
// short and long names.
TestCoff sample_object() {
    TestCoff coff;
    coff.sections.push_back({".text$mn_CreateEventA",
                             {0x55, 0x8B, 0xEC, 0xA1, 0, 0, 0, 0, 0xE8, 0, 0, 0, 0, 0x5D, 0xC3},
                             {{4, 2, 0x0006}, {9, 3, 0x0014}}});
    coff.sections.push_back({".data", {1, 2, 3, 4}, {}, 0xC0300040});
    coff.symbols = {
        {"_CreateEventA@16", 0, 1},
        {".data", 0, 2, 3, 0},
        {"_g_counter", 0, 2, 2, 0},
        {"_SetEvent@4", 0, 0},
    };
    return coff;
}

std::uint32_t read32(const std::vector<std::uint8_t> &bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}
void write32(std::vector<std::uint8_t> &bytes, std::size_t at, std::uint32_t value) {
    for (int k = 0; k < 4; ++k)
        bytes[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
}

TEST(CoffReader, ReadsSectionsSymbolsAndRelocations) {
    const std::vector<std::uint8_t> bytes = build_test_coff(sample_object());
    const auto object = read_coff_object(bytes, "xapilib.lib(event.obj)");
    ASSERT_TRUE(object) << object.error();
    EXPECT_EQ(object->origin, "xapilib.lib(event.obj)");
    ASSERT_EQ(object->sections.size(), 2u);
    EXPECT_EQ(object->sections[0].name, ".text$mn_CreateEventA");
    EXPECT_TRUE(object->sections[0].is_code());
    EXPECT_FALSE(object->sections[1].is_code());
    EXPECT_EQ(object->sections[0].bytes, sample_object().sections[0].bytes);
    ASSERT_EQ(object->sections[0].relocations.size(), 2u);
    EXPECT_EQ(object->sections[0].relocations[1].offset, 9u);
    EXPECT_EQ(object->sections[0].relocations[1].symbol, 3u);
    EXPECT_EQ(object->sections[0].relocations[1].type, kCoffRelocRel32);
    ASSERT_EQ(object->symbols.size(), 4u);
    EXPECT_EQ(object->symbols[0].name, "_CreateEventA@16");
    EXPECT_EQ(object->symbols[2].name, "_g_counter");
    EXPECT_EQ(object->symbols[2].section, 2);
    EXPECT_EQ(object->symbols[3].section, 0);
}

TEST(CoffReader, DamagedObjectsAreErrorsThatNameTheMember) {
    const std::vector<std::uint8_t> good = build_test_coff(sample_object());
    const std::size_t text_header = kCoffSectionHeaders;
    const std::size_t symbols = read32(good, kCoffSymbolTableField);
    struct Case {
        const char *what;
        std::function<void(std::vector<std::uint8_t> &)> damage;
        const char *error;
    };
    const std::vector<Case> cases = {
        {"cut in the header", [](auto &b) { b.resize(12); }, "too short for a COFF file header"},
        {"another machine",
         [](auto &b) {
             b[0] = 0x64;
             b[1] = 0x86;
         },
         "not an i386 COFF object (machine 0x8664)"},
        {"section count past the end",
         [](auto &b) {
             b[2] = 0xFF;
             b[3] = 0xFF;
         },
         "the section table runs past the end"},
        {"optional header past the end",
         [](auto &b) {
             b[16] = 0xFF;
             b[17] = 0xFF;
         },
         "the section table runs past the end"},
        {"symbol table past the end",
         [](auto &b) { write32(b, kCoffSymbolTableField, 0xFFFFFFF0); },
         "the symbol table runs past the end"},
        {"symbol count past the end",
         [](auto &b) { write32(b, kCoffSymbolCountField, 0x10000000); },
         "the symbol table runs past the end"},
        {"section data past the end",
         [&](auto &b) { write32(b, text_header + 20, static_cast<std::uint32_t>(b.size() - 2)); },
         "the data of section 1"},
        {"section size past the end", [&](auto &b) { write32(b, text_header + 16, 0x7FFFFFFF); },
         "the data of section 1"},
        {"relocations past the end", [&](auto &b) { write32(b, text_header + 24, 0xFFFFFFFF); },
         "the relocations of section 1"},
        {"relocation of a symbol that does not exist",
         [&](auto &b) { write32(b, read32(b, text_header + 24) + 4, 99); }, "names symbol 99 of 4"},
        {"relocation outside its section",
         [&](auto &b) { write32(b, read32(b, text_header + 24), 13); }, "lies outside the section"},
        {"long section name outside the string table",
         [&](auto &b) { std::memcpy(b.data() + text_header, "/9999\0\0\0", 8); },
         "a name lies outside the string table"},
        {"malformed long section name",
         [&](auto &b) { std::memcpy(b.data() + text_header, "/x1\0\0\0\0\0", 8); },
         "section 1 has a malformed long name"},
        {"string table size past the end",
         [&](auto &b) { write32(b, symbols + 4 * 18, 0x7FFFFFFF); },
         "the string table runs past the end"},
        {"string without its end",
         [&](auto &b) {
             b.back() = 'x'; // the last name loses its terminator
         },
         "a name in the string table has no end"},
        {"symbol in a section that does not exist", [&](auto &b) { b[symbols + 12] = 9; },
         "names section 9 of 2"},
        {"auxiliary records past the table", [&](auto &b) { b[symbols + 3 * 18 + 17] = 2; },
         "run past the symbol table"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> bytes = good;
        c.damage(bytes);
        const auto object = read_coff_object(bytes, "xapilib.lib(event.obj)");
        ASSERT_FALSE(object);
        EXPECT_TRUE(object.error().starts_with("xapilib.lib(event.obj): ")) << object.error();
        EXPECT_NE(object.error().find(c.error), std::string::npos) << object.error();
    }
}

TEST(CoffReader, EveryTruncationIsAnErrorOrACleanRead) {
    const std::vector<std::uint8_t> good = build_test_coff(sample_object());
    for (std::size_t size = 0; size < good.size(); ++size) {
        // An exact copy, so that the sanitizer sees any read past the end.
        const std::vector<std::uint8_t> cut(good.begin(), good.begin() + size);
        const auto object = read_coff_object(cut, "cut.obj");
        if (!object) {
            EXPECT_TRUE(object.error().starts_with("cut.obj: ")) << size;
        }
    }
}

std::vector<TestArchiveMember> members(const std::vector<std::string> &names) {
    std::vector<TestArchiveMember> list;
    for (const std::string &name : names) {
        TestCoff coff = sample_object();
        coff.sections[1].bytes.push_back(static_cast<std::uint8_t>(name.size())); // odd sizes too
        list.push_back({name, build_test_coff(coff)});
    }
    return list;
}

TEST(ArchiveReader, MembersWithAndWithoutLongNames) {
    struct Case {
        const char *what;
        std::vector<std::string> names;
        TestArchiveStyle style;
    };
    const std::vector<Case> cases = {
        {"short names only", {"event.obj", "thread.o"}, TestArchiveStyle::Gnu},
        {"long names",
         {"a-rather-long-member-name.obj", "b.o", "another-long-name.obj"},
         TestArchiveStyle::Gnu},
        {"other style, short", {"event.obj"}, TestArchiveStyle::Microsoft},
        {"other style, long",
         {"d3d8-device-clear.obj", "x.obj", "d3d8-device-begin.obj"},
         TestArchiveStyle::Microsoft},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<TestArchiveMember> input = members(c.names);
        const std::vector<std::uint8_t> archive = build_test_archive(input, c.style);
        ASSERT_TRUE(is_archive(archive));
        const auto read = read_archive(archive, "xapilib.lib");
        ASSERT_TRUE(read) << read.error();
        ASSERT_EQ(read->size(), input.size());
        for (std::size_t k = 0; k < input.size(); ++k) {
            EXPECT_EQ((*read)[k].name, input[k].name);
            EXPECT_TRUE(std::equal((*read)[k].bytes.begin(), (*read)[k].bytes.end(),
                                   input[k].bytes.begin(), input[k].bytes.end()));
            EXPECT_TRUE(read_coff_object((*read)[k].bytes, input[k].name));
        }
    }
}

TEST(ArchiveReader, DamagedArchivesAreErrorsThatNameTheMember) {
    const std::vector<std::uint8_t> good =
        build_test_archive(members({"first-long-member-name.obj", "second.obj"}));
    // The first member header after the magic is the linker member; find the object members.
    const std::size_t linker = 8;
    const std::size_t long_names = linker + 60 + 4;
    const std::size_t first =
        long_names + 60 +
        std::stoul(std::string(good.begin() + long_names + 48, good.begin() + long_names + 58));
    struct Case {
        const char *what;
        std::function<void(std::vector<std::uint8_t> &)> damage;
        const char *error;
    };
    const std::vector<Case> cases = {
        {"header cut short", [&](auto &b) { b.resize(first + 30); }, "member 3 at offset"},
        {"header end marker", [&](auto &b) { b[first + 58] = 'x'; },
         "(/0): the member header is damaged"},
        {"size not a number",
         [&](auto &b) { std::memcpy(b.data() + first + 48, "12x4      ", 10); },
         "the member size '12x4' is not a number"},
        {"size past the end",
         [&](auto &b) { std::memcpy(b.data() + first + 48, "99999999  ", 10); },
         "(/0): the member runs past the end of the archive"},
        {"long name outside the names",
         [&](auto &b) { std::memcpy(b.data() + first, "/999            ", 16); },
         "(/999): the name lies outside the long-names member"},
        {"long name not a number",
         [&](auto &b) { std::memcpy(b.data() + first, "/9a             ", 16); },
         "(/9a): malformed member name"},
        {"names of another system",
         [&](auto &b) { std::memcpy(b.data() + first, "#1/20           ", 16); },
         "BSD-style names are not read"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::uint8_t> bytes = good;
        c.damage(bytes);
        const auto read = read_archive(bytes, "xapilib.lib");
        ASSERT_FALSE(read);
        EXPECT_TRUE(
            read.error().starts_with("xapilib.lib: member 3 at offset " + std::to_string(first)))
            << read.error();
        EXPECT_NE(read.error().find(c.error), std::string::npos) << read.error();
    }
}

TEST(DecoratedNames, MapToTheCatalogueSpelling) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"_CreateEventA@16", "CreateEventA"},
        {"_mainCRTStartup", "mainCRTStartup"},
        {"@GetTypeInformation2@8", "GetTypeInformation2"},
        {"__tls_index", "_tls_index"},
        {"__imp__SetEvent@4", "SetEvent"},
        {"?GetMaxDeviceTypeCount@IUsbInit@@QAEKXZ", "IUsbInit_GetMaxDeviceTypeCount"},
        {"?SetVolume@CDirectSoundStream@DirectSound@@QAGJJ@Z", "CDirectSoundStream_SetVolume"},
        {"?CreateTexture@D3D@@YGJIIIIKW4_D3DFORMAT@@KPAPAUD3DTexture@@@Z", "D3D_CreateTexture"},
        {"?g_pDevice@D3D@@3PAVCDevice@1@A", "D3D_g_pDevice"},
        {"??0CDirectSoundStream@DirectSound@@QAE@PAX@Z", "CDirectSoundStream_Constructor"},
        {"??1CMcpxBuffer@DirectSound@@QAE@XZ", "CMcpxBuffer_Destructor"},
        {"?Plain@@YGXXZ", "Plain"},
    };
    for (const auto &[decorated, plain] : cases)
        EXPECT_EQ(plain_name(decorated), plain) << decorated;
    for (const char *unreadable : {"", "_", "??_7CDevice@D3D@@6B@", "??Hfoo@@QAEXH@Z",
                                   "?Get@?$Holder@H@@QAEHXZ", "?Inner@1@YGXXZ", "a@b@c"})
        EXPECT_EQ(plain_name(unreadable), std::nullopt) << unreadable;
}

TEST(Aliases, OverrideNamesOrNameKernelExports) {
    const auto aliases = read_aliases("# comment\n"
                                      "?Weird@@YGXXZ = D3DDevice_Clear   # a comment\n"
                                      "\n"
                                      "  __imp__KeTickCount = kernel 156\n",
                                      "names.txt");
    ASSERT_TRUE(aliases) << aliases.error();
    ASSERT_EQ(aliases->size(), 2u);
    EXPECT_EQ(aliases->at("?Weird@@YGXXZ").entry, "D3DDevice_Clear");
    EXPECT_EQ(aliases->at("__imp__KeTickCount").ordinal, 156u);
    const std::vector<std::pair<std::string, std::string>> mistakes = {
        {"a b c\n", "names.txt:1: an alias is 'name = CatalogueName'"},
        {"x = \n", "names.txt:1: an alias is 'name = CatalogueName'"},
        {"\nx = kernel 400\n", "names.txt:2: kernel ordinal '400' is not from 1 to 378"},
        {"x = A\nx = B\n", "names.txt:2: x has an alias already"},
    };
    for (const auto &[text, error] : mistakes) {
        const auto read = read_aliases(text, "names.txt");
        ASSERT_FALSE(read) << text;
        EXPECT_EQ(read.error(), error);
    }
}

} // namespace
