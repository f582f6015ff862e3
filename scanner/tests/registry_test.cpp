// Reading images: the library list with its merging, alias and added entries, the section list,
// image type and kernel thunk, thunk registration, and images that do not fit their buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "lib/scan/context.h"
#include "support/scan_recorder.h"
#include "support/synthetic_database.h"
#include "testkit/xbe_builder.h"

using namespace testkit;

namespace {

struct Listed {
    std::string name;
    std::uint32_t flag;
    std::uint16_t build;
    std::uint16_t qfe;
    bool operator==(const Listed &) const = default;
};

std::ostream &operator<<(std::ostream &out, const Listed &listed) {
    return out << listed.name << "/" << listed.flag << "/" << listed.build << "." << listed.qfe;
}

std::vector<Listed> list_libraries(const std::vector<std::uint8_t> &image) {
    const ExactImage exact(image);
    const std::uint32_t count = Fenx_BuildLibraryHeader(exact.data, exact.size, nullptr);
    std::vector<FenxLibraryFilter> filters(count);
    FenxLibraryHeader header{count, filters.data()};
    EXPECT_EQ(Fenx_BuildLibraryHeader(exact.data, exact.size, &header), count);
    EXPECT_EQ(header.Count, count);
    std::vector<Listed> out;
    for (const FenxLibraryFilter &filter : filters)
        out.push_back({std::string(filter.Name, strnlen(filter.Name, 8)), filter.Flag,
                       filter.BuildVersion, filter.QfeVersion});
    return out;
}

std::vector<TestXbeSection> named_sections(std::vector<std::string> names) {
    std::vector<TestXbeSection> sections;
    std::uint32_t address = 0x00011000;
    for (const std::string &name : names) {
        sections.push_back({name, address, std::vector<std::uint8_t>(0x40, 0xCC)});
        address += 0x1000;
    }
    return sections;
}

TEST(LibraryList, EntriesAreMergedAliasedAndCompleted) {
    struct Case {
        const char *name;
        TestXbeKind kind;
        std::vector<TestXbeLibrary> libraries;
        std::vector<std::string> sections;
        std::vector<Listed> expected;
        std::vector<std::string> warnings;
    };
    const std::string alias = " Title Detected: This game uses an alias version 1.0.5788";
    const std::vector<Case> cases = {
        {"one of each",
         TestXbeKind::Retail,
         {{"D3D8", 4627, 1}, {"DSOUND", 4627}, {"XAPILIB", 4627, 0xE005}, {"XONLINLS", 4627}},
         {".text"},
         {{"D3D8", 1, 4627, 1},
          {"DSOUND", 8, 4627, 0},
          {"XAPILIB", 0x40, 4627, 5},
          {"XONLINLS", 0x4000, 4627, 0}},
         {}},
        {"D3D8 then LTCG",
         TestXbeKind::Retail,
         {{"D3D8", 4627, 1}, {"D3D8LTCG", 5028, 0}},
         {},
         {{"D3D8LTCG", 2, 5028, 0}},
         {}},
        {"LTCG then a D3D8 with a higher QFE",
         TestXbeKind::Retail,
         {{"D3D8LTCG", 4627, 1}, {"D3D8", 4627, 3}},
         {},
         {{"D3D8LTCG", 2, 4627, 3}},
         {}},
        {"two D3D8",
         TestXbeKind::Retail,
         {{"D3D8", 4361, 0}, {"XAPILIB", 4361}, {"D3D8", 4627, 2}},
         {},
         {{"D3D8", 1, 4627, 2}, {"XAPILIB", 0x40, 4361, 0}},
         {}},
        {"a later lower build only raises the QFE",
         TestXbeKind::Retail,
         {{"D3D8", 5028, 1}, {"D3D8", 4627, 5}},
         {},
         {{"D3D8", 1, 5028, 5}},
         {}},
        {"5558 with QFE 1 stays",
         TestXbeKind::Retail,
         {{"D3D8", 5558, 1}},
         {},
         {{"D3D8", 1, 5558, 1}},
         {}},
        {"5558 with QFE 2 is 5788",
         TestXbeKind::Retail,
         {{"D3D8", 5558, 2}},
         {},
         {{"D3D8", 1, 5788, 2}},
         {"D3D8 version 1.0.5558.2" + alias}},
        {"5659 with QFE 3 is 5788",
         TestXbeKind::Retail,
         {{"D3D8LTCG", 5659, 3}},
         {},
         {{"D3D8LTCG", 2, 5788, 3}},
         {"D3D8 version 1.0.5659.3" + alias}},
        {"5660 stays", TestXbeKind::Retail, {{"D3D8", 5660, 2}}, {}, {{"D3D8", 1, 5660, 2}}, {}},
        {"a merged entry is not aliased",
         TestXbeKind::Retail,
         {{"D3D8", 4627, 0}, {"D3D8", 5558, 2}},
         {},
         {{"D3D8", 1, 5558, 2}},
         {}},
        {"names are exact and case-sensitive",
         TestXbeKind::Retail,
         {{"d3d8", 4627}, {"D3D8X", 4627}, {"XNET", 4627}, {"XNETS", 4627}},
         {},
         {{"XNET", 0x100, 4627, 0}, {"XNETS", 0x400, 4627, 0}},
         {}},
        {"DSOUND from a section, highest build",
         TestXbeKind::Retail,
         {{"LIBC", 5849}, {"XAPILIB", 4627}},
         {".text", "DSOUND", "DSOUND"},
         {{"XAPILIB", 0x40, 4627, 0}, {"DSOUND", 8, 5849, 0}},
         {}},
        {"DSOUND listed: no section entry",
         TestXbeKind::Retail,
         {{"DSOUND", 4361}, {"LIBC", 5849}},
         {"DSOUND"},
         {{"DSOUND", 8, 4361, 0}},
         {}},
        {"debug lists JVS last",
         TestXbeKind::Debug,
         {{"D3D8", 4627}, {"XAPILIB", 5028}},
         {"DSOUND"},
         {{"D3D8", 1, 4627, 0},
          {"XAPILIB", 0x40, 5028, 0},
          {"DSOUND", 8, 5028, 0},
          {"JVS", 0x10, 5028, 0}},
         {}},
        {"Chihiro lists JVS last",
         TestXbeKind::Chihiro,
         {{"XAPILIB", 5028}, {"LIBCMT", 5849}},
         {},
         {{"XAPILIB", 0x40, 5028, 0}, {"JVS", 0x10, 5849, 0}},
         {}},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        TestXbe xbe;
        xbe.kind = test.kind;
        xbe.libraries = test.libraries;
        xbe.sections = named_sections(test.sections);
        const std::vector<std::uint8_t> image = build_test_xbe(xbe);
        ScanRecorder recorder;
        EXPECT_EQ(list_libraries(image), test.expected);
        // The warning belongs to the call that fills the list.
        EXPECT_EQ(recorder.texts(FENX_MSG_WARNING), test.warnings);
    }
}

TEST(LibraryList, AFillStaysWithinTheCallersArray) {
    TestXbe xbe;
    xbe.libraries = {{"D3D8", 4627}, {"DSOUND", 4627}, {"XAPILIB", 4627}};
    const ExactImage image(build_test_xbe(xbe));
    std::vector<FenxLibraryFilter> filters(2);
    filters[1].Flag = 0xDEAD;
    FenxLibraryHeader header{1, filters.data()};
    EXPECT_EQ(Fenx_BuildLibraryHeader(image.data, image.size, &header), 3u);
    EXPECT_EQ(header.Count, 1u);
    EXPECT_EQ(filters[0].Flag, FENX_LIB_D3D8);
    EXPECT_EQ(filters[1].Flag, 0xDEADu);
}

TEST(LibraryList, NoTableNoLibraries) {
    TestXbe xbe;
    xbe.kind = TestXbeKind::Debug;
    xbe.libraries = {{"D3D8", 4627}};
    std::vector<std::uint8_t> image = build_test_xbe(xbe);
    write_field(image, kXbeLibraryTableField, 0);
    EXPECT_TRUE(list_libraries(image).empty());
}

struct SectionListed {
    std::string name;
    std::uint32_t address;
    std::uint32_t size;
    bool operator==(const SectionListed &) const = default;
};

std::ostream &operator<<(std::ostream &out, const SectionListed &section) {
    return out << section.name << "@" << section.address << "+" << section.size;
}

TEST(SectionList, PreloadedSectionsByNameOrHoldingTheThunkTable) {
    struct Case {
        const char *name;
        std::vector<TestXbeSection> sections;
        std::uint32_t thunk;
        std::vector<SectionListed> expected;
    };
    const std::vector<std::uint8_t> bytes(0x20, 0x90);
    const std::vector<Case> cases = {
        {"scanned names in order",
         {{".text", 0x11000, bytes},
          {"D3D", 0x12000, bytes},
          {".XPP&Dat", 0x13000, bytes},
          {"XONLINE", 0x14000, bytes},
          {"XNET", 0x15000, bytes},
          {"FLASHROM", 0x16000, bytes}},
         0,
         {{".text", 0x11000, 0x20},
          {"D3D", 0x12000, 0x20},
          {".XPP&Dat", 0x13000, 0x20},
          {"XONLINE", 0x14000, 0x20},
          {"XNET", 0x15000, 0x20},
          {"FLASHROM", 0x16000, 0x20}}},
        {"not preloaded",
         {{".text", 0x11000, bytes, false}, {"DSOUND", 0x12000, bytes}},
         0,
         {{"DSOUND", 0x12000, 0x20}}},
        {"other names only with the thunk table",
         {{".data", 0x11000, bytes}, {"BINK", 0x12000, bytes}, {".data2", 0x13000, bytes, false}},
         0x12010,
         {{"BINK", 0x12000, 0x20}}},
        {"thunk table one past the end", {{".data", 0x11000, bytes}}, 0x11020, {}},
        {"names compared over eight characters",
         {{".textx", 0x11000, bytes}, {".tex", 0x12000, bytes}},
         0,
         {}},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        TestXbe xbe;
        xbe.libraries = {{"XAPILIB", 4627}};
        xbe.sections = test.sections;
        xbe.kernel_thunk = test.thunk;
        const ExactImage image(build_test_xbe(xbe));
        const std::uint32_t count = Fenx_BuildSectionHeader(image.data, image.size, nullptr, true);
        std::vector<FenxSectionFilter> filters(count);
        FenxSectionHeader header{count, filters.data()};
        EXPECT_EQ(Fenx_BuildSectionHeader(image.data, image.size, &header, true), count);
        std::vector<SectionListed> listed;
        for (const FenxSectionFilter &filter : filters) {
            listed.push_back({std::string(filter.Name, strnlen(filter.Name, 8)),
                              filter.VirtualAddress, filter.Size});
            // The data is the section's own bytes, in the caller's buffer.
            ASSERT_GE(filter.Data, image.data);
            ASSERT_LE(filter.Data + filter.Size, image.data + image.size);
            EXPECT_EQ(std::memcmp(filter.Data, bytes.data(), bytes.size()), 0);
        }
        EXPECT_EQ(listed, test.expected);
    }
}

TEST(SectionList, ALoadedImageHasItsDataAtVirtualAddresses) {
    TestXbe xbe;
    xbe.libraries = {{"XAPILIB", 4627}};
    xbe.sections = {{".text", 0x00012000, std::vector<std::uint8_t>(0x30, 0x11)},
                    {"XPP", 0x00014000, std::vector<std::uint8_t>(0x10, 0x22)}};
    const std::vector<std::uint8_t> file = build_test_xbe(xbe);
    // As loaded: the headers at the base address, each section at its virtual address.
    std::vector<std::uint8_t> loaded(0x4010, 0);
    std::copy(file.begin(), file.begin() + std::min<std::size_t>(file.size(), 0x2000),
              loaded.begin());
    std::fill(loaded.begin() + 0x2000, loaded.begin() + 0x2030, 0x11);
    std::fill(loaded.begin() + 0x4000, loaded.begin() + 0x4010, 0x22);
    const ExactImage image(loaded);
    FenxSectionFilter filters[2] = {};
    FenxSectionHeader header{2, filters};
    ASSERT_EQ(Fenx_BuildSectionHeader(image.data, image.size, &header, false), 2u);
    EXPECT_EQ(filters[0].Data, image.data + 0x2000);
    EXPECT_EQ(filters[1].Data, image.data + 0x4000);
    EXPECT_EQ(filters[1].Size, 0x10u);
}

TEST(ImageType, TypeAndKernelThunkForEachKey) {
    struct Case {
        TestXbeKind kind;
        std::uint32_t type;
        const char *name;
    };
    const std::vector<Case> cases = {{TestXbeKind::Retail, FENX_XBE_RETAIL, "RETAIL"},
                                     {TestXbeKind::Debug, FENX_XBE_DEBUG, "DEBUG"},
                                     {TestXbeKind::Chihiro, FENX_XBE_CHIHIRO, "CHIHIRO"}};
    for (const Case &test : cases) {
        for (std::uint32_t thunk : {0x00011000u, 0x0001F4A8u, 0x00375A10u}) {
            TestXbe xbe;
            xbe.kind = test.kind;
            xbe.kernel_thunk = thunk;
            const ExactImage image(build_test_xbe(xbe));
            EXPECT_EQ(Fenx_XbeType(image.data, image.size), test.type) << test.name;
            EXPECT_STREQ(Fenx_XbeTypeName(Fenx_XbeType(image.data, image.size)), test.name);
            EXPECT_EQ(Fenx_KernelThunkAddress(image.data, image.size), thunk) << test.name;
        }
    }
}

struct ThunkCase {
    const char *name;
    std::uint32_t thunk;
    std::vector<std::uint32_t> entries;                         // written at 0x00012010
    std::vector<std::pair<std::uint32_t, std::uint32_t>> slots; // ordinal, address
    std::vector<std::string> messages;
};

TEST(ScanContext, KernelThunksAreRegisteredByOrdinal) {
    const std::uint32_t table = 0x00012010;
    const std::vector<ThunkCase> cases = {
        {"ordinals and a bad one",
         table,
         {0x80000001, 0x80000005, 0x80000190, 0x8000017A, 0x80000000, 0, 0x80000007},
         {{1, table}, {5, table + 4}, {378, table + 12}, {7, XRefNotSet}, {2, XRefNotSet}},
         {"Kernel thunk is found in .rdata section",
          "Unable to register kernel thunk: index=400; vaddr=0x00012018",
          "Unable to register kernel thunk: index=0; vaddr=0x00012020"}},
        // Runs to the section's end without a zero entry: read no further.
        {"no terminator",
         0x00012030,
         {0, 0, 0, 0, 0, 0, 0, 0, 0x80000003, 0x80000004, 0x80000006, 0x80000008},
         {{3, 0x00012030}, {8, 0x0001203C}},
         {"Kernel thunk is found in .rdata section"}},
        {"outside every section",
         0x00019000,
         {0x80000001},
         {{1, XRefNotSet}},
         {"Kernel thunk is not found from sections input, certain symbol's OOVPAs may not be "
          "detected."}},
    };
    for (const ThunkCase &test : cases) {
        SCOPED_TRACE(test.name);
        TestXbe xbe;
        xbe.libraries = {{"XAPILIB", 4627}};
        std::vector<std::uint8_t> rdata(0x40, 0);
        for (std::size_t i = 0; i < test.entries.size(); ++i)
            put_u32(rdata, 0x10 + 4 * i, test.entries[i]);
        xbe.sections = {{".text", 0x00011000, std::vector<std::uint8_t>(0x10, 0xC3)},
                        {".rdata", 0x00012000, rdata}};
        xbe.kernel_thunk = test.thunk;
        const ExactImage image(build_test_xbe(xbe));
        std::vector<FenxLibraryFilter> libraries(
            Fenx_BuildLibraryHeader(image.data, image.size, nullptr));
        FenxLibraryHeader library_header{static_cast<std::uint32_t>(libraries.size()),
                                         libraries.data()};
        Fenx_BuildLibraryHeader(image.data, image.size, &library_header);
        std::vector<FenxSectionFilter> sections(
            Fenx_BuildSectionHeader(image.data, image.size, nullptr, true));
        FenxSectionHeader section_header{static_cast<std::uint32_t>(sections.size()),
                                         sections.data()};
        Fenx_BuildSectionHeader(image.data, image.size, &section_header, true);

        ScanRecorder recorder;
        FenxContext *context = nullptr;
        ASSERT_TRUE(FenxContext_Create(&context, &ScanRecorder::on_symbol, &library_header,
                                       &section_header,
                                       Fenx_KernelThunkAddress(image.data, image.size)));
        for (const auto &[ordinal, address] : test.slots)
            EXPECT_EQ(context->XRefs[ordinal], address) << ordinal;
        EXPECT_EQ(recorder.texts(), test.messages);
        // Symbols learned from references start out waiting; all others unset.
        EXPECT_EQ(context->XRefs[1139], XRefDerive);
        EXPECT_EQ(context->XRefs[422], XRefDerive);
        EXPECT_EQ(context->XRefs[386], XRefNotSet);
        EXPECT_EQ(context->XRefs[1200], XRefNotSet);
        FenxContext_Release(context);
    }
}

TEST(ScanContext, CreationNeedsACallbackAndBothLists) {
    FenxLibraryFilter library{4627, 0, FENX_LIB_DSOUND, "DSOUND"};
    const std::uint8_t data[4] = {};
    FenxSectionFilter section{"DSOUND", 0x1000, 4, data};
    const FenxLibraryHeader libraries{1, &library};
    const FenxSectionHeader sections{1, &section};
    const FenxLibraryHeader no_libraries{0, &library};
    const FenxSectionHeader no_array{1, nullptr};
    struct Case {
        const char *name;
        FenxSymbolCallback callback;
        const FenxLibraryHeader *libraries;
        const FenxSectionHeader *sections;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"no callback", nullptr, &libraries, &sections, "A scan context needs a symbol callback."},
        {"no library", &ScanRecorder::on_symbol, &no_libraries, &sections,
         "No XDK library is listed for this image; nothing is scanned."},
        {"no library list", &ScanRecorder::on_symbol, nullptr, &sections,
         "No XDK library is listed for this image; nothing is scanned."},
        {"no section array", &ScanRecorder::on_symbol, &libraries, &no_array,
         "No section of this image is listed for scanning; nothing is scanned."},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        ScanRecorder recorder;
        FenxContext *context = reinterpret_cast<FenxContext *>(&library);
        EXPECT_FALSE(FenxContext_Create(&context, test.callback, test.libraries, test.sections, 0));
        EXPECT_EQ(context, nullptr);
        EXPECT_EQ(recorder.texts(FENX_MSG_WARNING), std::vector<std::string>{test.message});
    }
}

// A valid image, then broken in one way; every reader must refuse it without reading outside.
TEST(UnusableImage, FieldsThatPointOutsideTheBufferAreRefused) {
    TestXbe xbe;
    xbe.libraries = {{"D3D8", 4627}, {"XAPILIB", 4627}};
    xbe.sections = {{".text", 0x00011000, std::vector<std::uint8_t>(0x100, 0xC3)},
                    {"DSOUND", 0x00012000, std::vector<std::uint8_t>(0x80, 0xC3)}};
    const std::vector<std::uint8_t> good = build_test_xbe(xbe);
    const std::uint32_t base = 0x00010000;
    const std::uint32_t section_headers = read_field(good, kXbeSectionHeadersField) - base;
    struct Case {
        const char *name;
        std::size_t keep;                                       // bytes kept of the file
        std::vector<std::pair<std::size_t, std::uint32_t>> set; // fields changed
        const char *problem;
    };
    const std::size_t whole = good.size();
    const std::vector<Case> cases = {
        {"only the magic", 4, {}, "the file is too short for the image header"},
        {"cut inside the header", 0x160, {}, "the file is too short for the image header"},
        {"section headers past the end",
         whole,
         {{kXbeSectionHeadersField, base + static_cast<std::uint32_t>(whole) - 8}},
         "the section headers lie outside the file"},
        {"section headers below the base",
         whole,
         {{kXbeSectionHeadersField, base - 0x100}},
         "the section headers lie outside the file"},
        {"a huge section count",
         whole,
         {{kXbeSectionCountField, 0x7FFFFFFF}},
         "the section headers lie outside the file"},
        {"a huge library count",
         whole,
         {{kXbeLibraryCountField, 0x10000000}},
         "the library version table lies outside the file"},
        {"library table past the end",
         whole,
         {{kXbeLibraryTableField, base + static_cast<std::uint32_t>(whole)}},
         "the library version table lies outside the file"},
        {"a section name past the end",
         whole,
         {{section_headers + 20, base + static_cast<std::uint32_t>(whole)}},
         "a section name lies outside the file"},
        {"a name in the last byte without its end",
         whole,
         {{whole - 4, 0x41414141},
          {section_headers + 20, base + static_cast<std::uint32_t>(whole) - 1}},
         "a section name lies outside the file"},
        {"section data past the end",
         whole,
         {{section_headers + 16, 0x10000000}},
         "the data of a section lies outside the file"},
        {"section data start past the end",
         whole,
         {{section_headers + 12, static_cast<std::uint32_t>(whole)}, {section_headers + 16, 1}},
         "the data of a section lies outside the file"},
        {"the file cut inside its section headers",
         section_headers + 56,
         {},
         "the section headers lie outside the file"},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        std::vector<std::uint8_t> broken = good;
        for (const auto &[at, value] : test.set)
            write_field(broken, at, value);
        const ExactImage image(broken, test.keep);
        EXPECT_STREQ(Fenx_CheckXbe(image.data, image.size, true), test.problem);
        ScanRecorder recorder;
        const std::uint32_t libraries = Fenx_BuildLibraryHeader(image.data, image.size, nullptr);
        const std::uint32_t sections =
            Fenx_BuildSectionHeader(image.data, image.size, nullptr, true);
        EXPECT_TRUE(libraries == 0 || sections == 0);
        EXPECT_FALSE(recorder.texts(FENX_MSG_ERROR).empty());
        for (const std::string &text : recorder.texts(FENX_MSG_ERROR))
            EXPECT_EQ(text, std::string("unusable xbe image: ") + test.problem);
        EXPECT_FALSE(Fenx_ScanXbe(image.data, image.size, &ScanRecorder::on_symbol, true));
        // Header fields still in the buffer are read; beyond it nothing is.
        Fenx_XbeType(image.data, image.size);
        Fenx_KernelThunkAddress(image.data, image.size);
    }
    const ExactImage image(good);
    EXPECT_EQ(Fenx_CheckXbe(image.data, image.size, true), nullptr);
}

TEST(ScanXbe, TheWholeSequenceInOneCall) {
    struct Case {
        const char *name;
        std::vector<TestXbeLibrary> libraries;
        std::vector<std::string> sections;
        bool scanned;
    };
    const std::vector<Case> cases = {
        {"libraries and sections", {{"D3D8", 4627}, {"XAPILIB", 4627}}, {".text", "D3D"}, true},
        {"no known library", {{"LIBC", 4627}}, {".text"}, false},
        {"no section to scan", {{"XAPILIB", 4627}}, {".data"}, false},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        TestXbe xbe;
        xbe.libraries = test.libraries;
        xbe.sections = named_sections(test.sections);
        const ExactImage image(build_test_xbe(xbe));
        ScanRecorder recorder;
        EXPECT_EQ(Fenx_ScanXbe(image.data, image.size, &ScanRecorder::on_symbol, true),
                  test.scanned);
        const std::vector<std::string> texts = recorder.texts();
        EXPECT_EQ(std::find(texts.begin(), texts.end(), "xbe type is RETAIL") != texts.end(),
                  test.scanned);
    }
}

} // namespace
