#include "files/file_compare.h"

#include "test_support.h"

namespace ormolt {
namespace {

// Sizes around the comparison's 64 KiB chunk, where a read loop goes wrong first: a file that is
// an exact number of chunks, and a difference in the last byte after the first chunk.
TEST(FileCompare, SameBytesAtEverySizeAroundAChunk) {
    test::TempFolder temp;
    constexpr std::size_t chunk = 64 * 1024;
    struct Case {
        std::size_t size_a, size_b;
        std::ptrdiff_t flip; // a byte of b changed at this position, or -1
        Comparison expected;
    };
    const Case cases[] = {
        {0, 0, -1, Comparison::Equal},
        {1, 1, -1, Comparison::Equal},
        {chunk, chunk, -1, Comparison::Equal},
        {2 * chunk, 2 * chunk, -1, Comparison::Equal},
        {2 * chunk + 3, 2 * chunk + 3, -1, Comparison::Equal},
        {2 * chunk, 2 * chunk, 2 * chunk - 1, Comparison::Different},
        {chunk + 1, chunk + 1, chunk, Comparison::Different},
        {chunk, chunk + 1, -1, Comparison::Different},
        {0, 1, -1, Comparison::Different},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.size_a) + " / " + std::to_string(c.size_b));
        std::string a(c.size_a, '\0'), b(c.size_b, '\0');
        for (std::size_t i = 0; i < a.size(); ++i)
            a[i] = static_cast<char>(i * 7 + i / 251);
        for (std::size_t i = 0; i < b.size(); ++i)
            b[i] = static_cast<char>(i * 7 + i / 251);
        if (c.flip >= 0)
            b[static_cast<std::size_t>(c.flip)] ^= 0x40;
        test::write_text(temp / "a", a);
        test::write_text(temp / "b", b);
        EXPECT_EQ(compare_files(temp / "a", temp / "b"), c.expected);
        EXPECT_EQ(compare_files(temp / "b", temp / "a"), c.expected);
    }
}

TEST(FileCompare, UnreadableSides) {
    test::TempFolder temp;
    test::write_text(temp / "a", "same");
    EXPECT_EQ(compare_files(temp / "a", temp / "missing"), Comparison::Different);
    EXPECT_EQ(compare_files(temp / "missing", temp / "a"), Comparison::Different);
    EXPECT_EQ(compare_files(temp / "missing", temp / "gone"), Comparison::NeitherReadable);
}

} // namespace
} // namespace ormolt
