// Reading an XBE's header and certificate: every boundary that guards a read, the title's
// decoding, and the region texts.
#include "identity/xbe_summary.h"
#include "test_support.h"
#include "testkit/xbe_builder.h"

#include <functional>

namespace ormolt {
namespace {

namespace fs = std::filesystem;
using testkit::ExactImage;
using testkit::TestXbe;

constexpr std::uint32_t base = 0x00010000;

TestXbe sample_xbe() {
    TestXbe xbe;
    xbe.base_address = base;
    xbe.title_id = 0x4D530004;
    xbe.title_name = u"Sample Game";
    xbe.game_regions = region_usa;
    xbe.sections = {{".text", base + 0x1000, std::vector<std::uint8_t>(16, 0x90)}};
    return xbe;
}

// The file offset of the certificate that the builder placed after the headers.
std::size_t certificate_offset() {
    return testkit::read_field(testkit::build_test_xbe(sample_xbe()),
                               testkit::kXbeCertificateField) -
           base;
}

// Parses exactly the bytes of the image and no more, so that any read past them is caught.
std::optional<XbeSummary> read_exact(const std::vector<std::uint8_t> &bytes) {
    const ExactImage image(bytes);
    return read_xbe_summary(std::span<const std::uint8_t>(image.data, image.size));
}

std::string describe_bytes(const std::vector<std::uint8_t> &bytes) {
    const auto summary = read_exact(bytes);
    return summary ? describe_summary(*summary) : "an unreadable XBE";
}

TEST(XbeSummary, ReadsTitleIdNameAndRegions) {
    const auto summary = read_exact(testkit::build_test_xbe(sample_xbe()));
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->xbe_title_id, 0x4D530004u);
    EXPECT_EQ(summary->xbe_title_name, "Sample Game");
    EXPECT_EQ(summary->region_flags, region_usa);
    EXPECT_EQ(describe_summary(*summary), "Sample Game (4D530004, USA)");
}

TEST(XbeSummary, BoundariesThatGuardReads) {
    const std::size_t c = certificate_offset();
    struct Case {
        const char *name;
        std::function<void(TestXbe &)> shape;
        bool parses;
    };
    // The certificate at the base address overlaps the header; with no sections the header's
    // own fields then decide the shortest file that parses.
    const auto header_only = [](std::size_t size) {
        return [size](TestXbe &xbe) {
            xbe.sections.clear();
            xbe.certificate_address = base;
            xbe.file_size = size;
        };
    };
    const Case cases[] = {
        {"whole file", [](TestXbe &) {}, true},
        {"empty file", [](TestXbe &xbe) { xbe.file_size = 0; }, false},
        {"cut before the base address", header_only(0x107), false},
        {"exactly 0x10C bytes", header_only(0x10C), false},
        {"cut inside the certificate address", header_only(0x11B), false},
        {"exactly 0x11C bytes", header_only(0x11C), false},
        {"cut inside the section table address", header_only(0x123), false},
        {"exactly 0x124 bytes, certificate at the base", header_only(0x124), true},
        {"wrong magic",
         [](TestXbe &xbe) {
             xbe.field_overrides = {{0, 0x48454259}};
         },
         false},
        {"certificate below the base",
         [](TestXbe &xbe) {
             xbe.field_overrides = {{testkit::kXbeCertificateField, base - 1}};
         },
         false},
        {"certificate at the end of the file",
         [c](TestXbe &xbe) {
             xbe.file_size = c + 0xB0;
             xbe.field_overrides = {
                 {testkit::kXbeCertificateField, base + static_cast<std::uint32_t>(c + 0xB0)}};
         },
         false},
        {"certificate reaching the last byte", [c](TestXbe &xbe) { xbe.file_size = c + 0xB0; },
         true},
        {"certificate one byte short", [c](TestXbe &xbe) { xbe.file_size = c + 0xAF; }, false},
        {"certificate address far past the file",
         [](TestXbe &xbe) {
             xbe.field_overrides = {{testkit::kXbeCertificateField, 0xFFFFFFFF}};
         },
         false},
        {"no sections: the table address is not checked",
         [](TestXbe &xbe) {
             xbe.sections.clear();
             xbe.field_overrides = {{testkit::kXbeSectionHeadersField, 0}};
         },
         true},
        {"section table below the base",
         [](TestXbe &xbe) {
             xbe.field_overrides = {{testkit::kXbeSectionHeadersField, base - 56}};
         },
         false},
        {"section table starting at the end of the file",
         [c](TestXbe &xbe) {
             xbe.file_size = c + 0x1D0;
             xbe.field_overrides = {
                 {testkit::kXbeSectionHeadersField, base + static_cast<std::uint32_t>(c + 0x1D0)}};
         },
         false},
        {"section table ending on the last byte",
         [c](TestXbe &xbe) {
             xbe.file_size = c + 0x1D0 + 56;
             xbe.field_overrides = {
                 {testkit::kXbeSectionHeadersField, base + static_cast<std::uint32_t>(c + 0x1D0)}};
         },
         true},
        {"section table one byte short",
         [c](TestXbe &xbe) {
             xbe.file_size = c + 0x1D0 + 55;
             xbe.field_overrides = {
                 {testkit::kXbeSectionHeadersField, base + static_cast<std::uint32_t>(c + 0x1D0)}};
         },
         false},
        {"two sections where one fits",
         [c](TestXbe &xbe) {
             xbe.file_size = c + 0x1D0 + 111;
             xbe.field_overrides = {
                 {testkit::kXbeSectionCountField, 2},
                 {testkit::kXbeSectionHeadersField, base + static_cast<std::uint32_t>(c + 0x1D0)}};
         },
         false},
        // A reader that reserved the table before checking it would ask for ~240 GB here.
        {"huge section count",
         [](TestXbe &xbe) {
             xbe.field_overrides = {{testkit::kXbeSectionCountField, 0xFFFFFFFF}};
         },
         false},
        {"section count that overflows 32-bit arithmetic",
         [](TestXbe &xbe) {
             xbe.field_overrides = {{testkit::kXbeSectionCountField, 0x04924925}};
         },
         false},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        TestXbe xbe = sample_xbe();
        test.shape(xbe);
        const auto summary = read_exact(testkit::build_test_xbe(xbe));
        EXPECT_EQ(summary.has_value(), test.parses);
        if (summary && test.parses) {
            EXPECT_EQ(summary->xbe_title_id, 0x4D530004u);
            EXPECT_EQ(summary->xbe_title_name, "Sample Game");
        }
    }
}

TEST(XbeSummary, CertificateAtTheBaseAddressOverlapsTheHeader) {
    TestXbe xbe = sample_xbe();
    xbe.certificate_address = base;
    xbe.title_id = 0x1A2B;
    xbe.title_name = u"Overlap";
    xbe.game_regions = region_japan;
    EXPECT_EQ(describe_bytes(testkit::build_test_xbe(xbe)), "Overlap (00001A2B, Japan)");
}

TEST(XbeSummary, TitleDecoding) {
    std::u16string forty(40, u'x');
    forty[0] = u'A';
    forty[39] = u'Z';
    struct Case {
        const char *name;
        std::u16string units;
        std::string title;
    };
    const Case cases[] = {
        {"40 units without a terminator", forty, "A" + std::string(38, 'x') + "Z"},
        {"stops at the first 0 unit", std::u16string(u"Ab\0cd", 5), "Ab"},
        {"only spaces", u"     ", ""},
        {"Unicode white space trimmed", u"\u3000\u00A0 Halo\t\u2003", "Halo"},
        {"inner space kept", u"  Jet  Set  ", "Jet  Set"},
        {"non-ASCII", u"Ōkami ライド", "Ōkami ライド"},
        {"surrogate pair", u"A\U0001F600B",
         "A\xF0\x9F\x98\x80"
         "B"},
        {"lone high surrogate", std::u16string{u'A', 0xD800, u'B'},
         "A\xEF\xBF\xBD"
         "B"},
        {"lone low surrogate", std::u16string{u'A', 0xDC00}, "A\xEF\xBF\xBD"},
        {"high surrogate as the 40th unit",
         std::u16string(39, u'q') + std::u16string(1, char16_t(0xD83D)),
         std::string(39, 'q') + "\xEF\xBF\xBD"},
        {"two high surrogates then a low one", std::u16string{0xD83D, 0xD83D, 0xDE00},
         "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        TestXbe xbe = sample_xbe();
        xbe.title_name = test.units;
        // Low surrogates right after the field: a reader must stop after 40 units.
        xbe.field_overrides = {{certificate_offset() + 0x0C + 80, 0xDE00DE00}};
        const auto summary = read_exact(testkit::build_test_xbe(xbe));
        ASSERT_TRUE(summary);
        EXPECT_EQ(summary->xbe_title_name, test.title);
        // The name field must not run into the fields after it.
        EXPECT_EQ(summary->region_flags, region_usa);
    }
}

TEST(XbeSummary, EmptyTitleLeavesTheDescriptionBeginningWithTheSpace) {
    TestXbe xbe = sample_xbe();
    xbe.title_name = u"   ";
    xbe.title_id = 0x1A2B;
    xbe.game_regions = 0;
    EXPECT_EQ(describe_bytes(testkit::build_test_xbe(xbe)), " (00001A2B, Unknown)");
}

TEST(XbeSummary, RegionTexts) {
    const std::pair<std::uint32_t, const char *> cases[] = {
        {0x00000007, "World"},      {0x80000007, "World"},         {0x00000001, "USA"},
        {0x00000002, "Japan"},      {0x00000004, "Europe"},        {0x00000005, "USA, Europe"},
        {0x00000003, "USA, Japan"}, {0x00000006, "Japan, Europe"}, {0x80000000, "Debug"},
        {0x80000001, "USA"},        {0xFFFFFFF8, "Debug"}, // unknown bits are ignored
        {0x7FFFFFF8, "Unknown"},    {0x00000000, "Unknown"},
    };
    for (const auto &[flags, text] : cases)
        EXPECT_EQ(region_text(flags), text) << std::hex << flags;
}

TEST(XbeSummary, DescribeXbeFile) {
    test::TempFolder folder;
    TestXbe xbe = sample_xbe();
    xbe.title_id = 0xABCDEF01;
    xbe.game_regions = 0x7;
    ASSERT_FALSE(testkit::write_test_xbe(folder / "good.xbe", xbe));
    EXPECT_EQ(describe_xbe(folder / "good.xbe"), "Sample Game (ABCDEF01, World)");

    xbe.file_size = 0x11C;
    ASSERT_FALSE(testkit::write_test_xbe(folder / "cut.xbe", xbe));
    EXPECT_EQ(describe_xbe(folder / "cut.xbe"), "an unreadable XBE");
    EXPECT_EQ(describe_xbe(folder / "missing.xbe"), "an unreadable XBE");
    std::filesystem::create_directory(folder / "folder.xbe");
    EXPECT_EQ(describe_xbe(folder / "folder.xbe"), "an unreadable XBE");
}

TEST(XbeSummary, DescribesACertificateFarIntoALargeFile) {
    // Sparse, so it costs no disk; the description reads only what it needs.
    test::TempFolder folder;
    const fs::path file = folder / "large.xbe";
    constexpr std::uint64_t far = 0xB0000000;
    TestXbe xbe = sample_xbe();
    xbe.field_overrides = {{testkit::kXbeCertificateField, base + static_cast<std::uint32_t>(far)}};
    ASSERT_FALSE(testkit::write_test_xbe(file, xbe));
    fs::resize_file(file, far + 0xB0);
    {
        std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(static_cast<std::streamoff>(far + 0x08));
        out.write("\x78\x56\x34\x12", 4);
        out.seekp(static_cast<std::streamoff>(far + 0x0C));
        out.write("F\0a\0r\0", 6);
        out.seekp(static_cast<std::streamoff>(far + 0xA0));
        out.write("\x02\0\0\0", 4);
        ASSERT_TRUE(out.good());
    }
    EXPECT_EQ(describe_xbe(file), "Far (12345678, Japan)");
    fs::resize_file(file, far + 0xAF);
    EXPECT_EQ(describe_xbe(file), "an unreadable XBE");
}

} // namespace
} // namespace ormolt
