// fendrel-author's rules on objects written byte by byte: what is read and what is skipped, how
// names are mapped, where a function's own bytes end, which fields become references, and how
// records are checked against other code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "author/author.h"
#include "author/code_regions.h"
#include "author/images.h"
#include "author/input.h"
#include "author/padding.h"
#include "lib/database/catalogue.h"
#include "lib/database/recorded_database.h"
#include "support/run_program.h"
#include "testkit/coff_writer.h"
#include "testkit/xbe_builder.h"

using namespace fendrel_author;

namespace {

constexpr std::uint16_t kDir32 = 0x0006;
constexpr std::uint16_t kRel32 = 0x0014;

std::uint16_t index_of(const char *name) {
    const FenxDatabase &catalogue = Fenxi_CatalogueDatabase();
    for (std::uint32_t g = 0; g < catalogue.GroupCount; ++g)
        for (std::uint32_t e = 0; e < catalogue.Groups[g].EntryCount; ++e)
            if (std::string(catalogue.Groups[g].Entries[e].Name) == name)
                return catalogue.Groups[g].Entries[e].SymbolIndex;
    return static_cast<std::uint16_t>(Fenxi_SymbolIndexByName(name));
}

std::string entry_name(const FenxiRecordedRevision &revision) {
    return Fenxi_CatalogueDatabase().Groups[revision.group].Entries[revision.entry].Name;
}

const FenxiRecordedRevision *record_of(const AuthorResult &result, const std::string &name) {
    for (const FenxiRecordedRevision &revision : result.revisions)
        if (entry_name(revision) == name)
            return &revision;
    return nullptr;
}

// Some twenty bytes of ordinary code; `seed` makes each copy different.
std::vector<std::uint8_t> body(std::uint8_t seed) {
    return {0x55, 0x8B, 0xEC, 0x8B, 0x45, 0x08, 0x83, 0xC0, seed, 0x0F, 0xAF,
            0xC0, 0x35, seed, 0x12, 0x00, 0x00, 0x5D, 0xC2, 0x04, 0x00};
}

AuthorResult author_xapi(const std::vector<testkit::TestCoff> &objects,
                         const std::map<std::string, AliasTarget> &aliases = {},
                         const OtherCode &other = {},
                         const std::map<std::string, std::uint32_t> &kernel_imports = {}) {
    AuthorInput input;
    input.kernel_imports = kernel_imports;
    for (std::size_t k = 0; k < objects.size(); ++k)
        input.objects.push_back(*read_coff_object(testkit::build_test_coff(objects[k]),
                                                  "x.lib(o" + std::to_string(k) + ".obj)"));
    AuthorOptions options;
    options.library_flag = FENX_LIB_XAPILIB;
    options.build = 5849;
    options.aliases = aliases;
    auto result =
        author_records(input, options, Fenxi_CatalogueDatabase(), Fenxi_BuiltinRecords(), other);
    EXPECT_TRUE(result) << result.error();
    return result ? *result : AuthorResult{};
}

TEST(AuthorObjects, EveryHeaderIsReadOrSkippedWithItsReason) {
    testkit::TestCoff classic;
    classic.sections.push_back({".text$mn", body(1), {}});
    classic.symbols = {{"_SetEvent@4", 0, 1}};
    testkit::TestCoff big = classic;
    big.big_object = true;
    std::vector<std::uint8_t> other_anonymous = testkit::build_test_coff(big);
    other_anonymous[12] ^= 0xFF; // another class id: whole-program optimisation's
    const std::vector<std::uint8_t> bitcode = {'B', 'C', 0xC0, 0xDE, 0x35, 0x14, 0, 0};
    // A short import member by ordinal: NtSetEvent is the kernel's export 225.
    std::vector<std::uint8_t> import = {0, 0, 0xFF, 0xFF, 0, 0, 0x4C, 0x01, 0, 0,
                                        0, 0, 25,   0,    0, 0, 225,  0,    0, 0};
    for (const char c : std::string_view("_NtSetEvent@8\0kernel.exe\0", 25))
        import.push_back(static_cast<std::uint8_t>(c));
    struct Case {
        const char *name;
        std::vector<std::uint8_t> bytes;
        ObjectKind kind;
    };
    const std::vector<Case> cases = {
        {"classic.obj", testkit::build_test_coff(classic), ObjectKind::Coff},
        {"big.obj", testkit::build_test_coff(big), ObjectKind::BigObject},
        {"ltcg.obj", other_anonymous, ObjectKind::LinkTimeCode},
        {"bitcode.obj", bitcode, ObjectKind::LinkTimeCode},
        {"import.obj", import, ObjectKind::Import},
    };
    std::vector<testkit::TestArchiveMember> members;
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(classify_object(test.bytes), test.kind);
        members.push_back({test.name, test.bytes});
    }
    // A big object reads as the same object as the classic one.
    const auto read_big = read_coff_object(cases[1].bytes, "big.obj");
    ASSERT_TRUE(read_big) << read_big.error();
    ASSERT_EQ(read_big->sections.size(), 1u);
    EXPECT_EQ(read_big->sections[0].bytes, body(1));
    ASSERT_EQ(read_big->symbols.size(), 1u);
    EXPECT_EQ(read_big->symbols[0].name, "_SetEvent@4");
    EXPECT_EQ(read_big->symbols[0].section, 1);

    const std::vector<std::uint8_t> archive =
        testkit::build_test_archive(members, testkit::TestArchiveStyle::Microsoft);
    AuthorInput input;
    ASSERT_TRUE(load_input_bytes(archive, "x.lib", input));
    EXPECT_EQ(input.objects.size(), 2u);
    EXPECT_EQ(input.link_time_code, 2u);
    const std::vector<std::string> skipped = {
        std::string("x.lib(ltcg.obj): ") + std::string(kLinkTimeCodeReason),
        std::string("x.lib(bitcode.obj): ") + std::string(kLinkTimeCodeReason)};
    EXPECT_EQ(input.skipped, skipped);
    const std::map<std::string, std::uint32_t> learned = {{"__imp__NtSetEvent@8", 225}};
    EXPECT_EQ(input.kernel_imports, learned);
}

TEST(AuthorObjects, DamagedNamesAreShownWhole) {
    std::vector<std::uint8_t> archive =
        testkit::build_test_archive({{"ab", testkit::build_test_coff({0x014C, {}, {}})}});
    // The first member header after the linker member: its name gets a NUL, its end is broken.
    const std::size_t header = 8 + 60 + 4;
    archive[header + 1] = 0;
    archive[header + 58] = 'x';
    AuthorInput input;
    const auto loaded = load_input_bytes(archive, "x.lib", input);
    ASSERT_FALSE(loaded);
    EXPECT_NE(loaded.error().find("(a\\x00/): the member header is damaged"), std::string::npos)
        << loaded.error();
}

TEST(AuthorNames, ScopedNamesTryEveryEnclosingScope) {
    struct Case {
        const char *decorated;
        std::vector<std::string> spellings;
        const char *suffix;
    };
    const std::vector<Case> cases = {
        {"_CreateEventA@16", {"CreateEventA"}, ""},
        {"@GetTypeInformation@8", {"GetTypeInformation"}, ""},
        {"?Odd@@YGXXZ", {"Odd"}, ""},
        {"?Play@CMcpxBuffer@DirectSound@@QAEJK@Z",
         {"CMcpxBuffer_Play", "DirectSound_CMcpxBuffer_Play"},
         "_CMcpxBuffer_Play"},
        {"??0CDirectSoundStream@DirectSound@@QAE@PAX@Z",
         {"CDirectSoundStream_Constructor", "DirectSound_CDirectSoundStream_Constructor"},
         "_CDirectSoundStream_Constructor"},
        {"?GetMaxDeviceTypeCount@IUsbInit@@QAEKPAX@Z", {"IUsbInit_GetMaxDeviceTypeCount"}, ""},
        {"??$Get@H@@YAHXZ", {}, ""}, // a template: not read
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.decorated);
        const NameCandidates candidates = name_candidates(test.decorated);
        EXPECT_EQ(candidates.spellings, test.spellings);
        EXPECT_EQ(candidates.scoped_suffix, test.suffix);
    }
    // The catalogue's short spelling of a namespace is found by the suffix; what stays unmapped
    // lists what was tried.
    testkit::TestCoff coff;
    coff.sections.push_back({".text", body(3), {}});
    coff.sections.push_back({".text", body(4), {}});
    coff.symbols = {{"?AddRef@CRefCount@DirectSound@@QAGKXZ", 0, 1},
                    {"?Nothing@CNowhere@Outer@@QAEXXZ", 0, 2}};
    AuthorInput input;
    input.objects.push_back(*read_coff_object(testkit::build_test_coff(coff), "d.obj"));
    AuthorOptions options;
    options.library_flag = FENX_LIB_DSOUND;
    options.build = 5849;
    const auto result =
        author_records(input, options, Fenxi_CatalogueDatabase(), Fenxi_BuiltinRecords());
    ASSERT_TRUE(result) << result.error();
    ASSERT_EQ(result->revisions.size(), 1u);
    EXPECT_EQ(entry_name(result->revisions[0]), "DSound_CRefCount_AddRef");
    EXPECT_EQ(result->lines(Listing::Unmapped),
              std::vector<std::string>{"?Nothing@CNowhere@Outer@@QAEXXZ (tried CNowhere_Nothing, "
                                       "Outer_CNowhere_Nothing, *_CNowhere_Nothing)"});
}

TEST(AuthorPadding, AFunctionsOwnBytesEndBeforeItsPadding) {
    struct Case {
        const char *name;
        std::vector<std::uint8_t> bytes;
        std::vector<bool> covered;
        std::uint32_t end;
    };
    const std::vector<std::uint8_t> code = {0x8B, 0x44, 0x24, 0x04, 0xC2, 0x08, 0x00};
    const auto with = [&](std::vector<std::uint8_t> tail) {
        std::vector<std::uint8_t> bytes = code;
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        return bytes;
    };
    const std::vector<Case> cases = {
        {"no padding", code, {}, 7},
        {"int3 run", with({0xCC, 0xCC, 0xCC, 0xCC, 0xCC}), {}, 7},
        {"nop run", with({0x90, 0x90, 0x90}), {}, 7},
        {"multi-byte no-ops", with({0x66, 0x90, 0x0F, 0x1F, 0x44, 0x00, 0x00}), {}, 7},
        {"lea no-ops", with({0x8D, 0xB4, 0x26, 0x00, 0x00, 0x00, 0x00, 0x8D, 0x76, 0x00}), {}, 7},
        // A return's zero byte is code, and so is a relocated field that looks like padding.
        {"ends in a zero", {0xB8, 0x01, 0x00, 0x00, 0x00, 0xC2, 0x08, 0x00}, {}, 8},
        {"relocated", {0xE8, 0x90, 0x90, 0x90, 0x90}, {false, true, true, true, true}, 5},
        {"all padding", {0xCC, 0xCC}, {}, 1},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        const std::vector<bool> covered =
            test.covered.empty() ? std::vector<bool>(test.bytes.size()) : test.covered;
        EXPECT_EQ(end_before_padding(test.bytes, covered, 0,
                                     static_cast<std::uint32_t>(test.bytes.size())),
                  test.end);
    }
}

// Fields with an addend, placeholders, the reference a derivation reads first, a function
// compiled into two objects, and two functions told apart only by a reference.
TEST(AuthorCore, ReferencesMeanWhatTheScanWillTakeThemFor) {
    const std::map<std::string, AliasTarget> kernel = {
        {"NtSetEvent", {"", 225}}, {"NtPulseEvent", {"", 205}}, {"RtlInitAnsiString", {"", 289}}};
    // mov eax, [symbol + stored]; then the body.
    const auto load_of = [](std::uint8_t stored) {
        std::vector<std::uint8_t> code = {0xA1, stored, 0, 0, 0};
        const std::vector<std::uint8_t> rest = body(7);
        code.insert(code.end(), rest.begin(), rest.end());
        return code;
    };
    struct Case {
        const char *name;
        std::vector<testkit::TestCoff> objects;
        const char *entry; // the record looked at
        std::vector<std::pair<int, int>> references;
        std::size_t addend_fields;
        std::size_t revisions;
        // Ordinals taught by the kernel's import library; with them the aliases name only
        // RtlInitAnsiString and NtSetEvent.
        std::map<std::string, std::uint32_t> learned = {};
    };
    // Two objects with the same function (an inline one, compiled twice) and a caller of it.
    testkit::TestCoff inline_a, inline_b;
    inline_a.sections = {{".text$a", body(9), {}}};
    inline_a.symbols = {{"_XapiSelectCachePartition@4", 0, 1}};
    inline_b.sections = {{".text$a", body(9), {}},
                         {".text$b",
                          {0x55, 0x8B, 0xEC, 0xE8, 0,    0,    0,    0,    0x83, 0xC0, 0x03,
                           0x0F, 0xAF, 0xC0, 0x35, 0x77, 0x12, 0x00, 0x00, 0x5D, 0xC3},
                          {{4, 0, kRel32}}}};
    inline_b.symbols = {{"_XapiSelectCachePartition@4", 0, 1},
                        {"_XCalculateSignatureBegin@4", 0, 2}};
    // SetEvent and PulseEvent: the same bytes, calling different kernel exports.
    const auto event = [](const char *name, const char *import) {
        testkit::TestCoff coff;
        std::vector<std::uint8_t> code = {0x6A, 0x00, 0xFF, 0x74, 0x24, 0x08, 0xFF, 0x15, 0,   0, 0,
                                          0,    0xF7, 0xD0, 0xC1, 0xE8, 0x1F, 0xC2, 0x04, 0x00};
        coff.sections = {{".text", code, {{8, 1, kDir32}}}};
        coff.symbols = {{name, 0, 1}, {import, 0, 0}};
        return coff;
    };
    // XapiMapLetterToDirectory calls the kernel first, then XGetSectionSize.
    testkit::TestCoff map;
    {
        std::vector<std::uint8_t> code = {
            0x55, 0x8B, 0xEC, 0xFF, 0x15, 0,    0,    0,    0,    0xE8, 0,    0,    0,    0,   0x8B,
            0x45, 0x08, 0x0F, 0xAF, 0xC0, 0x35, 0x21, 0x43, 0x00, 0x00, 0x5D, 0xC2, 0x18, 0x00};
        map.sections = {{".text$m", code, {{5, 1, kDir32}, {10, 2, kRel32}}},
                        {".text$s", body(5), {}}};
        map.symbols = {{"_XapiMapLetterToDirectory@24", 0, 1},
                       {"__imp__RtlInitAnsiString@8", 0, 0},
                       {"_XGetSectionSize@4", 0, 2}};
    }
    const auto variable = [&](std::uint8_t stored) {
        testkit::TestCoff coff;
        coff.sections = {{".text", load_of(stored), {{1, 1, kDir32}}}};
        coff.symbols = {{"_XapiSetLastNTError@4", 0, 1}, {"_g_XapiCurrentTopLevelFilter", 0, 0}};
        return coff;
    };
    const std::vector<Case> cases = {
        {"a field at the symbol learns it",
         {variable(0)},
         "XapiSetLastNTError",
         {{1, index_of("g_XapiCurrentTopLevelFilter")}},
         0,
         1},
        {"a field beside the symbol stays unknown", {variable(4)}, "XapiSetLastNTError", {}, 1, 1},
        {"the same function in two objects is one, and its caller keeps the reference",
         {inline_a, inline_b},
         "XCalculateSignatureBegin",
         {{4, index_of("XapiSelectCachePartition")}},
         0,
         2},
        {"SetEvent is told from PulseEvent by its kernel call",
         {event("_SetEvent@4", "__imp__NtSetEvent@8"),
          event("_PulseEvent@4", "__imp__NtPulseEvent@8")},
         "SetEvent",
         {{8, 225}},
         0,
         2},
        {"the kernel's import library teaches the ordinals, an alias still overrides",
         {event("_SetEvent@4", "__imp__NtSetEvent@8"),
          event("_PulseEvent@4", "__imp__NtPulseEvent@8")},
         "PulseEvent",
         {{8, 205}},
         0,
         2,
         {{"__imp__NtSetEvent@8", 200}, {"__imp__NtPulseEvent@8", 205}}},
        {"the derivation's reference comes first, and the placeholder gets no record",
         {map},
         "XapiMapLetterToDirectory",
         {{10, index_of("XGetSectionSize")}, {5, 289}},
         0,
         1},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        const std::map<std::string, AliasTarget> overriding = {{"NtSetEvent", {"", 225}},
                                                               {"RtlInitAnsiString", {"", 289}}};
        const AuthorResult result =
            author_xapi(test.objects, test.learned.empty() ? kernel : overriding, {}, test.learned);
        if (!test.learned.empty()) {
            // NtSetEvent's alias wins over the 200 the library taught.
            const FenxiRecordedRevision *set_event = record_of(result, "SetEvent");
            ASSERT_NE(set_event, nullptr);
            EXPECT_EQ(set_event->pairs[0].Value, 225);
        }
        EXPECT_EQ(result.revisions.size(), test.revisions)
            << ::testing::PrintToString(result.all_notes())
            << ::testing::PrintToString(result.lines(Listing::Ambiguous));
        EXPECT_EQ(result.addend_fields, test.addend_fields);
        EXPECT_EQ(result.conflicts, std::vector<std::string>{});
        const FenxiRecordedRevision *record = record_of(result, test.entry);
        ASSERT_NE(record, nullptr);
        std::vector<std::pair<int, int>> references;
        for (std::size_t k = 0; k < record->xref_count; ++k)
            references.emplace_back(record->pairs[k].Offset, record->pairs[k].Value);
        EXPECT_EQ(references, test.references);
        EXPECT_EQ(record_of(result, "XGetSectionSize"), nullptr);
    }
}

TEST(AuthorAgainst, RecordsThatMatchOtherCodeAreExtendedOrLeftOut) {
    // Longer than the pairs a record starts with: some bytes are left out at first.
    std::vector<std::uint8_t> code = body(0x31);
    const std::vector<std::uint8_t> more = body(0x32);
    code.insert(code.end(), more.begin(), more.end());
    constexpr std::size_t kLeftOut = 9;
    testkit::TestCoff library;
    library.sections = {{".text", code, {}}};
    library.symbols = {{"_XapiSetLastNTError@4", 0, 1}};
    // Other code: the same bytes but one the record does not hold yet, the same code under
    // another name, and the function itself linked into an image.
    std::vector<std::uint8_t> near = code;
    near[kLeftOut] ^= 0xFF;
    testkit::TestCoff near_object;
    near_object.sections = {{".text", near, {}}};
    near_object.symbols = {{"_game_function@4", 0, 1}};
    testkit::TestCoff twin = near_object;
    twin.sections[0].bytes = code;
    testkit::TestCoff itself = library;
    struct Case {
        const char *name;
        std::vector<testkit::TestCoff> objects;
        std::size_t linked_copies; // the function's code in an image, that many times
        std::size_t revisions;
        const char *listed; // in the "checked against other code" list
    };
    const std::vector<Case> cases = {
        {"nothing else", {}, 0, 1, nullptr},
        {"differs in a late byte", {near_object}, 0, 1, "extended to"},
        {"the same code under another name", {twin}, 0, 0, "left out, it matches"},
        {"its own name in an object", {itself}, 0, 1, nullptr},
        {"linked once into a game", {}, 1, 1, nullptr},
        {"twice in a game", {}, 2, 0, "left out, it matches"},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        OtherCode other;
        for (const testkit::TestCoff &object : test.objects)
            other.objects.push_back(*read_coff_object(testkit::build_test_coff(object), "g.obj"));
        if (test.linked_copies != 0) {
            ImageSection section{".text", 0x11000, {}, true};
            for (std::size_t k = 0; k < test.linked_copies; ++k) {
                section.bytes.insert(section.bytes.end(), {0xCC, 0xCC, 0xCC});
                section.bytes.insert(section.bytes.end(), code.begin(), code.end());
            }
            other.images.push_back(
                {"game.xbe", LinkedImageFile{0x10000, {section}, {}, 0, false, {}}});
        }
        const AuthorResult result = author_xapi({library}, {}, other);
        EXPECT_EQ(result.revisions.size(), test.revisions);
        if (test.listed == nullptr) {
            EXPECT_EQ(result.lines(Listing::Against), std::vector<std::string>{});
        } else {
            const std::vector<std::string> against = result.lines(Listing::Against);
            ASSERT_EQ(against.size(), 1u);
            EXPECT_NE(against[0].find(test.listed), std::string::npos) << against[0];
        }
        // An extended record has the byte that differs.
        if (test.listed != nullptr && test.revisions == 1) {
            const auto &pairs = result.revisions[0].pairs;
            EXPECT_TRUE(std::any_of(pairs.begin(), pairs.end(), [&](const OOVPAPair &pair) {
                return pair.Offset == kLeftOut;
            }));
        }
    }
}

// A small 32-bit PE image: one section of four bytes at RVA 0x1000, file offset 0x200.
std::vector<std::uint8_t> small_pe() {
    std::vector<std::uint8_t> image(0x204, 0);
    const auto put16 = [&](std::size_t at, std::uint16_t v) {
        image[at] = static_cast<std::uint8_t>(v);
        image[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    const auto put32 = [&](std::size_t at, std::uint32_t v) {
        put16(at, static_cast<std::uint16_t>(v));
        put16(at + 2, static_cast<std::uint16_t>(v >> 16));
    };
    image[0] = 'M';
    image[1] = 'Z';
    put32(0x3C, 0x40);
    image[0x40] = 'P';
    image[0x41] = 'E';
    put16(0x44, 0x014C); // machine
    put16(0x46, 1);      // sections
    put16(0x54, 0xE0);   // optional header size
    put16(0x58, 0x010B); // PE32
    put32(0x58 + 28, 0x10000);
    const std::size_t section = 0x58 + 0xE0;
    std::memcpy(image.data() + section, ".text", 5);
    put32(section + 8, 4);
    put32(section + 12, 0x1000);
    put32(section + 16, 4);
    put32(section + 20, 0x200);
    put32(section + 36, 0x60000020);
    put32(0x200, 0xC3C3C3C3);
    return image;
}

TEST(AuthorImages, ImagesAreReadOrRefusedSayingWhat) {
    const auto valid = read_pe_image(small_pe(), "game.exe");
    ASSERT_TRUE(valid) << valid.error();
    ASSERT_EQ(valid->sections.size(), 1u);
    EXPECT_EQ(valid->sections[0].name, ".text");
    EXPECT_EQ(valid->sections[0].virtual_address, 0x11000u);
    EXPECT_EQ(valid->sections[0].bytes, std::vector<std::uint8_t>(4, 0xC3));
    struct Case {
        const char *name;
        std::size_t at;      // a field to change, or the length to cut to
        std::uint32_t value; // written there; 0xFFFFFFFF: cut the file at `at`
        const char *message;
    };
    const std::vector<Case> cases = {
        {"cut before the PE header", 0x30, 0xFFFFFFFF, "game.exe: too short for a PE image"},
        {"PE header outside", 0x3C, 0x7FFFFFF0, "game.exe: the PE header lies outside the file"},
        {"another machine", 0x44, 0x86640000 | 0x8664,
         "game.exe: not an i386 image (machine 0x8664)"},
        {"too many sections", 0x46, 0x00E0FFFF,
         "game.exe: the section table runs past the end of the file"},
        {"section data outside", 0x58 + 0xE0 + 20, 0x7FFF0000,
         "game.exe: the data of section 1 (.text) runs past the end of the file"},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        std::vector<std::uint8_t> image = small_pe();
        if (test.value == 0xFFFFFFFF) {
            image.resize(test.at);
        } else {
            for (int k = 0; k < 4; ++k)
                image[test.at + k] = static_cast<std::uint8_t>(test.value >> (8 * k));
        }
        const auto read = read_pe_image(image, "game.exe");
        ASSERT_FALSE(read);
        EXPECT_EQ(read.error(), test.message);
    }

    // An XBE: its sections and the kernel imports of its thunk table.
    testkit::TestXbe xbe;
    xbe.libraries = {{"XAPILIB", 5849}};
    xbe.sections = {{".text", 0x11000, {0xC3, 0xC3}},
                    {".data", 0x12000, {0xE1, 0, 0, 0x80, 0xCD, 0, 0, 0x80, 0, 0, 0, 0}}};
    xbe.kernel_thunk = 0x12000;
    const auto read_xbe = read_xbe_image(testkit::build_test_xbe(xbe), "game.xbe");
    ASSERT_TRUE(read_xbe) << read_xbe.error();
    ASSERT_EQ(read_xbe->sections.size(), 2u);
    EXPECT_EQ(read_xbe->sections[1].virtual_address, 0x12000u);
    const std::map<std::uint32_t, std::uint32_t> slots = {{225, 0x12000}, {205, 0x12004}};
    EXPECT_EQ(read_xbe->kernel_slots, slots);
    std::vector<std::uint8_t> cut = testkit::build_test_xbe(xbe);
    cut.resize(0x170);
    EXPECT_FALSE(read_xbe_image(cut, "game.xbe"));
}

TEST(AuthorProgram, LinkTimeCodeMembersAreNamedAndTheRunSaysItIsIncomplete) {
    TemporaryFolder folder;
    testkit::TestCoff coff;
    coff.sections.push_back({".text", body(0x44), {}});
    coff.symbols = {{"_XapiSetLastNTError@4", 0, 1}};
    folder.write("xapilib.lib",
                 testkit::build_test_archive({{"good.obj", testkit::build_test_coff(coff)},
                                              {"whole.obj", {'B', 'C', 0xC0, 0xDE, 1, 2, 3, 4}}},
                                             testkit::TestArchiveStyle::Microsoft));
    const ProgramRun run =
        run_program(FENDREL_AUTHOR_EXE, {"--library", "XAPILIB", "--build", "5849", "xapilib.lib"},
                    folder.path());
    EXPECT_EQ(run.exit_code, 3) << run.out << run.err;
    EXPECT_NE(run.out.find("skipped members: 1\n  xapilib.lib(whole.obj): holds link-time code, "
                           "no machine code: rebuild the library without whole-program "
                           "optimisation\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("authored: 1\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("1 members hold link-time code and were skipped"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "xapilib-5849.records"));
}

} // namespace
