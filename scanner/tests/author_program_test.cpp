// fendrel-author on linked programs: the names read from linker maps and symbol lists, the fields
// placed in an image (base relocations, address values, call displacements), the kernel's import
// members, and damaged input refused with the file and line or offset.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "author/coff.h"
#include "author/images.h"
#include "author/input.h"
#include "author/program.h"

using namespace fendrel_author;

namespace {

struct Named {
    std::string name;
    std::uint32_t address;
    bool boundary_only;
    bool operator==(const Named &) const = default;
};

std::vector<Named> plain(const std::vector<NamedAddress> &names) {
    std::vector<Named> out;
    for (const NamedAddress &name : names)
        out.push_back({name.name, name.address, name.boundary_only});
    return out;
}

TEST(AuthorProgramNames, MapsAndListsAreReadOrRefusedWithTheirLine) {
    const std::string map_head =
        " Start         Length     Name                   Class\n"
        " 0001:00000000 00000298H .text                   CODE\n\n"
        "  Address         Publics by Value              Rva+Base               Lib:Object\n\n";
    struct Case {
        const char *name;
        bool map;
        std::string text;
        std::vector<Named> names; // when read
        const char *error;        // when refused
    };
    const std::vector<Case> cases = {
        {"a map with both address widths, flags, absolutes, the entry point and statics",
         true,
         map_head + " 0000:0000002c       __tls_array                000000000000002c     "
                    "<absolute>\n"
                    " 0001:00000000       _SetEvent@4                0000000000011000     "
                    "x:events.obj\n"
                    " 0001:00000020       _PulseEvent@4              00011020 f   x:events.obj\n\n"
                    " entry point at         0001:00000070\n\n Static symbols\n\n"
                    " 0001:00000040       _helper                    00011040 f   x:events.obj\n\n"
                    " Exports\n 0001:00000099 not a symbol\n",
         {{"_SetEvent@4", 0x11000, false},
          {"_PulseEvent@4", 0x11020, false},
          {"_helper", 0x11040, true}},
         nullptr},
        {"no publics table",
         true,
         "just text\n",
         {},
         "game.map: no \"Publics by Value\" table: "
         "not a linker map"},
        {"an address beyond 32 bits",
         true,
         map_head + " 0001:00000000       _SetEvent@4                0000000100011000     x.obj\n",
         {},
         "game.map:6: not a symbol line of a linker map ('section:offset name address object')"},
        {"a symbol line without its address",
         true,
         map_head + "\n 0001:00000000       _SetEvent@4\n",
         {},
         "game.map:7: not a symbol line of a linker map ('section:offset name address object')"},
        {"FendrelCLI's lines, with and without kinds, and address-name lines",
         false,
         "XAPILIB__FUN__stdcall__SetEvent(unk ) = 0x00011000\n"
         "ERROR: param_size(1) + buffer_count(2) is too long to be stored in param_output(256)\n"
         "XAPILIB__VAR__g_DeviceType_MU = 0x00013070\n"
         "DSOUND__CMcpxBuffer_Play = 0x00011400\n\n"
         "# proven by hand\n00011020 _PulseEvent@4\n0x11040   ResetEvent   # checked\n",
         {{"SetEvent", 0x11000, false},
          {"g_DeviceType_MU", 0x13070, true},
          {"CMcpxBuffer_Play", 0x11400, false},
          {"_PulseEvent@4", 0x11020, false},
          {"ResetEvent", 0x11040, false}},
         nullptr},
        {"a function line without its convention",
         false,
         "XAPILIB__SetEvent = 0x1\nXAPILIB__FUN__SetEvent = 0x00011000\n",
         {},
         "game.symbols:2: a FendrelCLI function line is 'LIB__FUN__convention__Name(parameters) "
         "= 0x...'"},
        {"a symbol line whose address is no number",
         false,
         "XAPILIB__SetEvent = 0xZZ\n",
         {},
         "game.symbols:1: a FendrelCLI symbol line is 'LIB__Name = 0x...'"},
        {"a third word",
         false,
         "00011000 SetEvent extra\n",
         {},
         "game.symbols:1: neither a FendrelCLI symbol line nor 'address name'"},
        {"a name with a control character",
         false,
         "00011000 Set\x01Event\n",
         {},
         "game.symbols:1: neither a FendrelCLI symbol line nor 'address name'"},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        const auto read = test.map ? read_linker_map(test.text, "game.map")
                                   : read_symbol_list(test.text, "game.symbols");
        if (test.error == nullptr) {
            ASSERT_TRUE(read) << read.error();
            EXPECT_EQ(plain(*read), test.names);
        } else {
            ASSERT_FALSE(read);
            EXPECT_EQ(read.error(), test.error);
        }
    }
}

// A linked image of two code sections and a data section at 0x10000.
LinkedImageFile image_of(std::vector<std::uint8_t> text, bool relocations) {
    LinkedImageFile image;
    image.base_address = 0x10000;
    image.end_address = 0x14000;
    image.sections = {{".text", 0x11000, std::move(text), true},
                      {".other", 0x12000, std::vector<std::uint8_t>(0x20, 0xC3), true},
                      {".data", 0x13000, std::vector<std::uint8_t>(0x10, 0), false}};
    image.kernel_slots = {{225, 0x13000}};
    image.has_relocations = relocations;
    return image;
}

TEST(AuthorProgramFields, EveryFieldThatCanDifferBetweenLinksIsPlaced) {
    // f at 0x11000: mov eax, [0x13000]; call f2 (0x11020); call 0x12010 (unnamed); call +0
    // (inside); mov eax, 0x11004 (beside f). f2 at 0x11020.
    std::vector<std::uint8_t> text = {0xA1, 0x00, 0x30, 0x01, 0x00, // 0: kernel slot
                                      0xE8, 0x16, 0x00, 0x00, 0x00, // 5: call 0x11020
                                      0xE8, 0x01, 0x10, 0x00, 0x00, // 10: call 0x12010
                                      0xE8, 0x00, 0x00, 0x00, 0x00, // 15: call next
                                      0xB8, 0x04, 0x10, 0x01, 0x00, // 20: address beside f
                                      0xC3, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, // 25: padding
                                      0x33, 0xC0, 0xC3};                        // 32: f2
    const std::vector<NamedAddress> names = {
        {"_f@0", 0x11000, false}, {"_f2@0", 0x11020, false}, {"_table", 0x13008, true}};
    struct Case {
        const char *name;
        bool relocations;
        std::map<std::uint32_t, std::string> fields; // offset -> target ("" for none)
        std::vector<std::uint32_t> unknown_offsets;  // field starts
    };
    const std::vector<Case> cases = {
        // Base relocations at 1 and 21: the kernel slot and the address beside _f@0.
        {"with base relocations",
         true,
         {{1, "kernel 225"}, {6, "_f2@0"}, {11, ""}, {21, "_f@0"}},
         {1, 6, 11, 21}},
        // Without them every value inside the image is a field; the one beside _f@0 is unknown
        // without a target.
        {"without base relocations",
         false,
         {{1, "kernel 225"}, {6, "_f2@0"}, {11, ""}},
         {1, 6, 11, 21}},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        LinkedImageFile image = image_of(text, test.relocations);
        if (test.relocations)
            image.relocated_fields = {0x11001, 0x11015};
        const LinkedProgram program = link_program(image, names, "game.exe");
        ASSERT_EQ(program.object.sections.size(), 3u);
        std::map<std::uint32_t, std::string> fields;
        for (const auto &[offset, field] : program.fields[0].fields)
            fields[offset] = field.target;
        EXPECT_EQ(fields, test.fields);
        if (test.relocations) {
            EXPECT_TRUE(program.fields[0].fields.at(21).addend);
        }
        for (std::uint32_t offset = 0; offset < text.size(); ++offset) {
            bool in_field = false;
            for (std::uint32_t start : test.unknown_offsets)
                in_field |= offset >= start && offset < start + 4;
            EXPECT_EQ(program.fields[0].unknown[offset], in_field) << "offset " << offset;
        }
        // The functions are the external symbols; the variable only ends what comes before it.
        ASSERT_EQ(program.object.symbols.size(), 3u);
        EXPECT_EQ(program.object.symbols[0].storage_class, kCoffClassExternal);
        EXPECT_EQ(program.object.symbols[2].storage_class, kCoffClassStatic);
        EXPECT_EQ(program.object.symbols[2].section, 3);
    }
}

// A PE image with one section at RVA 0x1000 (file offset 0x200) holding base relocations at
// 0x1020 and an import table at 0x1040 whose one import is ordinal 225.
std::vector<std::uint8_t> pe_with_tables() {
    std::vector<std::uint8_t> image(0x300, 0);
    const auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int k = 0; k < 4; ++k)
            image[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
    };
    image[0] = 'M';
    image[1] = 'Z';
    put32(0x3C, 0x40);
    std::memcpy(image.data() + 0x40, "PE\0\0", 4);
    put32(0x44, 0x0001014C); // i386, one section
    put32(0x54, 0x00E0);     // optional header size
    const std::size_t optional = 0x58;
    put32(optional, 0x010B);
    put32(optional + 28, 0x10000);
    put32(optional + 56, 0x2000);
    put32(optional + 92, 16);
    put32(optional + 96 + 8, 0x1040); // imports
    put32(optional + 96 + 12, 40);
    put32(optional + 96 + 40, 0x1020); // base relocations
    put32(optional + 96 + 44, 12);
    const std::size_t section = optional + 0xE0;
    std::memcpy(image.data() + section, ".text", 5);
    put32(section + 8, 0x100);
    put32(section + 12, 0x1000);
    put32(section + 16, 0x100);
    put32(section + 20, 0x200);
    put32(section + 36, 0x60000020);
    put32(0x220, 0x1000); // page
    put32(0x224, 12);     // block size
    put32(0x228, 0x00003004);
    put32(0x240, 0x1080);      // lookup table
    put32(0x240 + 16, 0x1090); // address table
    put32(0x280, 0x800000E1);
    put32(0x290, 0x800000E1);
    return image;
}

TEST(AuthorProgramImages, TablesOfAnImageAreReadOrRefusedAtTheirOffset) {
    const auto read = read_pe_image(pe_with_tables(), "game.exe");
    ASSERT_TRUE(read) << read.error();
    EXPECT_TRUE(read->has_relocations);
    EXPECT_EQ(read->relocated_fields, std::vector<std::uint32_t>{0x11004});
    EXPECT_EQ(read->kernel_slots, (std::map<std::uint32_t, std::uint32_t>{{225, 0x11090}}));
    EXPECT_EQ(read->end_address, 0x12000u);
    struct Case {
        const char *name;
        std::size_t at;
        std::uint32_t value;
        const char *message;
    };
    const std::vector<Case> cases = {
        {"a block larger than the table", 0x224, 0x7FFF,
         "game.exe: the base relocation block at file offset 0x220 has a size of 32767, which "
         "does not fit"},
        {"a 64-bit relocation", 0x228, 0x0000A004,
         "game.exe: the base relocation at file offset 0x228 has type 10, not a 32-bit address"},
        {"relocations outside the sections", 0x58 + 96 + 40, 0x9000,
         "game.exe: the base relocations lie outside the sections' data"},
        {"an import descriptor outside", 0x58 + 96 + 8, 0x10F8,
         "game.exe: import descriptor 1 lies outside the sections' data"},
        {"an import table without its end", 0x240, 0x10FC,
         "game.exe: the import table of descriptor 1 runs past the sections' data"},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        std::vector<std::uint8_t> image = pe_with_tables();
        for (int k = 0; k < 4; ++k)
            image[test.at + k] = static_cast<std::uint8_t>(test.value >> (8 * k));
        if (std::string(test.name) == "an import table without its end")
            std::fill(image.begin() + 0x2FC, image.end(), 0xFF);
        const auto damaged = read_pe_image(image, "game.exe");
        ASSERT_FALSE(damaged);
        EXPECT_EQ(damaged.error(), test.message);
    }

    // The program route's own refusals name the file.
    AuthorInput input;
    const auto no_names = load_program_bytes(pe_with_tables(), "game.exe", "00050000 _far@0\n",
                                             "game.symbols", NamesKind::SymbolList, input);
    ASSERT_FALSE(no_names);
    EXPECT_EQ(no_names.error(), "game.symbols: names no address inside game.exe's sections");
    const std::vector<std::uint8_t> member = {0,  0, 0xFF, 0xFF, 0,   0, 0x4C, 0x01, 0,   0,   0, 0,
                                              40, 0, 0,    0,    225, 0, 0,    0,    '_', 'x', 0};
    const auto damaged_import = load_input_bytes(member, "kernel.lib", input);
    ASSERT_FALSE(damaged_import);
    EXPECT_EQ(damaged_import.error(),
              "kernel.lib: the import header's 40 bytes of names run past the member's end");
}

} // namespace
