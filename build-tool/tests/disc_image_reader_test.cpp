#include "intake/disc_image_reader.h"
#include "intake/windows_1252.h"
#include "platform/platform.h"
#include "records/message.h"
#include "test_support.h"
#include "testkit/disc_image_writer.h"

namespace ormolt {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;
using testkit::DiscImageOptions;
using testkit::DiscNode;
using testkit::LinkOverride;

// The root table always follows the descriptor at sector 32.
constexpr std::uint32_t root_table_sector = 33;

DiscImageReader open_image(const fs::path &image) {
    auto reader = DiscImageReader::open(image);
    EXPECT_TRUE(reader.has_value()) << image;
    return std::move(*reader);
}

// One line per listed entry: parent path, "|", decoded name, and "/" for a directory.
std::vector<std::string> listing_lines(const DiscListing &listing) {
    std::vector<std::string> lines;
    for (const auto &item : listing)
        lines.push_back(listing.parent_path(item) + "|" + decode_name(item.entry) +
                        (item.entry.is_directory() ? "/" : ""));
    return lines;
}

// The listing of the image, or the error's text prefixed with "error: ".
std::vector<std::string> list_image(const fs::path &image) {
    auto reader = open_image(image);
    auto volume = reader.locate_volume();
    if (!volume)
        return {"error: " + volume.error().text()};
    auto listing = reader.list(*volume);
    if (!listing)
        return {"error: " + listing.error().text()};
    return listing_lines(*listing);
}

std::string read_file(const DiscImageReader &reader, const DiscVolume &volume,
                      const DirEntryRecord &entry) {
    std::string bytes(entry.data.size, '\0');
    EXPECT_FALSE(reader.read_data(volume, entry.data.sector, 0, bytes));
    return bytes;
}

TEST(DiscImage, FindsTheVolumeAtEachPartitionBase) {
    TempFolder temp;
    for (std::uint64_t base : partition_bases) {
        SCOPED_TRACE(base);
        const fs::path image = temp / "image.iso";
        testkit::DiscImageLayout layout;
        ASSERT_FALSE(testkit::write_disc_image(
            image,
            {DiscNode::file("default.xbe", "XBEH-data"),
             DiscNode::folder("Media", {DiscNode::file("a.bin", std::string(5000, 'a'))})},
            {.base = base, .creation_time = 0x01D2'0000'1234'5678}, &layout));
        auto reader = open_image(image);
        auto volume = reader.locate_volume();
        ASSERT_TRUE(volume.has_value());
        EXPECT_EQ(volume->base, base);
        EXPECT_EQ(volume->descriptor.root, (SectorRange{layout.root_sector, layout.root_size}));
        EXPECT_EQ(volume->descriptor.creation_time, 0x01D2'0000'1234'5678u);

        auto listing = reader.list(*volume);
        ASSERT_TRUE(listing.has_value()) << listing.error().text();
        EXPECT_EQ(listing_lines(*listing),
                  (std::vector<std::string>{"|Media/", "|default.xbe", "/Media|a.bin"}));
        EXPECT_EQ(read_file(reader, *volume, (*listing)[1].entry), "XBEH-data");
        EXPECT_EQ(read_file(reader, *volume, (*listing)[2].entry), std::string(5000, 'a'));
    }
}

TEST(DiscImage, ProbesTheBasesInTheirFixedOrder) {
    struct Case {
        std::uint64_t first_written;
        bool first_damaged;
        std::uint64_t second_written;
        std::uint64_t expected;
    };
    // Each image holds two volumes; the one whose base comes first in the probe order wins,
    // whatever its position in the file, unless it is damaged.
    const Case cases[] = {
        {0x00000000, false, 0x02080000, 0x00000000}, {0x0FD90000, false, 0x18300000, 0x18300000},
        {0x02080000, false, 0x0FD90000, 0x0FD90000}, {0x02080000, false, 0x18300000, 0x18300000},
        {0x00000000, true, 0x02080000, 0x02080000},  {0x18300000, true, 0x0FD90000, 0x0FD90000},
    };
    TempFolder temp;
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.first_written << " " << c.second_written);
        const fs::path image = temp / "two-volumes.iso";
        const auto name = [](std::uint64_t base) { return "at-" + std::to_string(base); };
        ASSERT_FALSE(testkit::write_disc_image(
            image, {DiscNode::file(name(c.first_written), "1")},
            {.base = c.first_written, .damage_second_magic = c.first_damaged}));
        ASSERT_FALSE(testkit::write_disc_image(image, {DiscNode::file(name(c.second_written), "2")},
                                               {.base = c.second_written, .overlay = true}));
        auto reader = open_image(image);
        auto volume = reader.locate_volume();
        ASSERT_TRUE(volume.has_value());
        EXPECT_EQ(volume->base, c.expected);
        EXPECT_EQ(list_image(image), (std::vector<std::string>{"|" + name(c.expected)}));
    }
}

TEST(DiscImage, RefusesFilesWithoutAValidDescriptor) {
    TempFolder temp;
    const fs::path image = temp / "image.iso";
    const std::vector<DiscNode> tree{DiscNode::file("default.xbe", "x")};
    struct Case {
        const char *what;
        std::function<void()> make;
    };
    const Case cases[] = {
        {"empty file", [&] { test::write_text(image, ""); }},
        {"ends inside the descriptor",
         [&] {
             ASSERT_FALSE(testkit::write_disc_image(image, tree));
             fs::resize_file(image, 0x10000 + 2047);
         }},
        {"first magic damaged",
         [&] {
             ASSERT_FALSE(testkit::write_disc_image(image, tree, {.damage_first_magic = true}));
         }},
        {"second magic damaged",
         [&] {
             ASSERT_FALSE(testkit::write_disc_image(image, tree, {.damage_second_magic = true}));
         }},
        {"no file system at all", [&] { test::write_text(image, std::string(0x20000, 'M')); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        c.make();
        auto reader = open_image(image);
        auto volume = reader.locate_volume();
        ASSERT_FALSE(volume.has_value());
        EXPECT_EQ(volume.error().kind, DiscImageError::Kind::InvalidVolume);
        EXPECT_EQ(volume.error().text(), "InvalidVolume");
    }
}

TEST(DiscImage, ListsEachTableRightBeforeLeftAndTheLastFoundFolderFirst) {
    TempFolder temp;
    const fs::path image = temp / "image.iso";
    // Root table: F at offset 0 with right child D and left child G.
    ASSERT_FALSE(
        testkit::write_disc_image(image, {DiscNode::file("G", "g"), DiscNode::file("F", "f"),
                                          DiscNode::folder("D", {DiscNode::file("x", "x")})}));
    EXPECT_EQ(list_image(image), (std::vector<std::string>{"|F", "|D/", "|G", "/D|x"}));

    // Root M has right B and left A, so A's table is found last and walked first, and A's
    // own subfolder C before B.
    ASSERT_FALSE(testkit::write_disc_image(
        image, {DiscNode::folder("A", {DiscNode::folder("C", {DiscNode::file("c1", "1")}),
                                       DiscNode::file("a1", "1")}),
                DiscNode::file("M", "m"),
                DiscNode::folder("B", {DiscNode::file("b1", "1"), DiscNode::file("b2", "2"),
                                       DiscNode::file("b3", "3")}),
                DiscNode::folder("Empty")}));
    EXPECT_EQ(list_image(image), (std::vector<std::string>{
                                     "|B/",
                                     "|Empty/",
                                     "|M",
                                     "|A/",
                                     "/A|a1",
                                     "/A|C/",
                                     "/A/C|c1",
                                     "/B|b2",
                                     "/B|b3",
                                     "/B|b1",
                                 }));
}

TEST(DiscImage, SkipsEmptySlotsAndTheirSubtrees) {
    TempFolder temp;
    const fs::path image = temp / "image.iso";
    // Tree of five: C at the root, B (left A) on its left, E (left D) on its right.
    auto make = [](std::function<void(std::vector<DiscNode> &)> change) {
        std::vector<DiscNode> nodes;
        for (const char *name : {"A", "B", "C", "D", "E"})
            nodes.push_back(DiscNode::file(name, name));
        change(nodes);
        return nodes;
    };
    struct Case {
        const char *what;
        std::function<void(std::vector<DiscNode> &)> change;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"intact", [](auto &) {}, {"|C", "|E", "|D", "|B", "|A"}},
        {"0xFF slot hides its subtree",
         [](auto &n) { n[4].empty_slot = true; },
         {"|C", "|B", "|A"}},
        {"all-zero header is no entry",
         [](auto &n) { n[0] = DiscNode::file("", ""); },
         {"|C", "|E", "|D", "|B"}},
        {"link 0xFFFF is no child",
         [](auto &n) { n[2].right_link = LinkOverride::raw(0xFFFF); },
         {"|C", "|B", "|A"}},
        {"link 0 is no child",
         [](auto &n) { n[1].left_link = LinkOverride::raw(0); },
         {"|C", "|E", "|D", "|B"}},
        {"attribute bits besides the directory bit are ignored",
         [](auto &n) { n[3].attributes = 0xEF; },
         {"|C", "|E", "|D", "|B", "|A"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(testkit::write_disc_image(image, make(c.change)));
        EXPECT_EQ(list_image(image), c.expected);
    }
}

TEST(DiscImage, BrokenTablesEndWithTheirError) {
    TempFolder temp;
    const fs::path image = temp / "image.iso";
    const auto five = [] {
        std::vector<DiscNode> nodes;
        for (const char *name : {"a", "b", "c", "d", "e"})
            nodes.push_back(DiscNode::file(name, name));
        return nodes; // c at offset 0; b (left a) to its left; e (left d) to its right
    };
    struct Case {
        const char *what;
        std::vector<DiscNode> tree;
        DiscImageOptions options;
        std::string expected;
    };
    std::vector<Case> cases;
    {
        auto tree = five();
        tree[4].right_link = LinkOverride::past_table_end();
        cases.push_back({"link at the table's end", tree, {}, "SizeOutOfBounds(2048, 2048)"});
    }
    {
        auto tree = five();
        tree[0].left_link = LinkOverride::raw(0xFFFE);
        cases.push_back({"largest link", tree, {}, "SizeOutOfBounds(262136, 2048)"});
    }
    {
        // Link 1 is byte offset 4, outside a table of 4 bytes.
        auto tree = five();
        tree[2].right_link = LinkOverride::raw(1);
        cases.push_back({"link 1 is offset 4", tree, {.root_size = 4}, "SizeOutOfBounds(4, 4)"});
    }
    {
        auto tree = five();
        tree[4].right_link = LinkOverride::to("e");
        cases.push_back(
            {"entry linking to itself", tree, {}, "directory table of / links back into itself"});
    }
    {
        auto tree = five();
        tree[3].right_link = LinkOverride::to("e");
        cases.push_back({"two entries linking to each other",
                         tree,
                         {},
                         "directory table of / links back into itself"});
    }
    {
        auto inner = five();
        inner[3].right_link = LinkOverride::to("e");
        std::vector<DiscNode> tree{DiscNode::folder("Sub", std::move(inner))};
        cases.push_back(
            {"loop in a subfolder", tree, {}, "directory table of /Sub links back into itself"});
    }
    {
        auto folder = DiscNode::folder("Up", {DiscNode::file("x", "x")});
        folder.stored_sector = root_table_sector;
        folder.stored_size = testkit::disc_sector;
        cases.push_back({"folder whose table is the root's",
                         {DiscNode::file("f", "f"), folder},
                         {},
                         "directory table of /Up overlaps another directory table"});
    }
    {
        auto first = DiscNode::folder("One", {DiscNode::file("x", "x")});
        auto second = DiscNode::folder("Two", {DiscNode::file("y", "y")});
        // Root Two (left One): One's table is walked first, then Two's, which is the same.
        second.stored_sector = root_table_sector + 1;
        second.stored_size = testkit::disc_sector;
        cases.push_back({"two folders sharing a table",
                         {first, second},
                         {},
                         "directory table of /Two overlaps another directory table"});
    }
    {
        auto folder = DiscNode::folder("Far", {DiscNode::file("x", "x")});
        folder.stored_sector = 0x00FFFFFF;
        cases.push_back(
            {"folder table past the image's end", {folder}, {}, "IOError(unexpected end of file)"});
    }
    {
        auto tree = five();
        tree[2].right_link = LinkOverride::raw(0xFFFE);
        cases.push_back({"entry past the image's end",
                         tree,
                         {.root_size = 0xFFFFFFF0},
                         "IOError(unexpected end of file)"});
    }
    cases.push_back({"root table past the image's end",
                     five(),
                     {.root_sector = 0x7FFFFFFF},
                     "IOError(unexpected end of file)"});

    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        testkit::DiscImageLayout layout;
        ASSERT_FALSE(testkit::write_disc_image(image, c.tree, c.options, &layout));
        ASSERT_EQ(layout.root_sector, root_table_sector);
        EXPECT_EQ(list_image(image), (std::vector<std::string>{"error: " + c.expected}));
    }
}

TEST(DiscImage, EmptyFolderTableIsListedWithoutEntries) {
    TempFolder temp;
    const fs::path image = temp / "image.iso";
    // A size of 0 means empty, whatever the sector says.
    auto odd = DiscNode::folder("Odd", {DiscNode::file("hidden", "h")});
    odd.stored_size = 0;
    odd.stored_sector = 0x00FFFFFF;
    ASSERT_FALSE(testkit::write_disc_image(image, {DiscNode::folder("Empty"), odd}));
    EXPECT_EQ(list_image(image), (std::vector<std::string>{"|Odd/", "|Empty/"}));
}

TEST(DiscImage, NamesDecodeAsWindows1252) {
    struct Case {
        std::string bytes;
        std::string text;
    };
    const Case cases[] = {
        {"plain.txt", "plain.txt"},
        {"\xE9", "\u00E9"},
        {"\x81", "\u0081"},
        {"\x80", "\u20AC"},
        {"\x8D\x8F\x90\x9D", "\u008D\u008F\u0090\u009D"},
        {"\x9F", "\u0178"},
        {"\xFF", "\u00FF"},
        {std::string("a\0b", 3), std::string("a\0b", 3)},
    };
    for (const Case &c : cases) {
        DirEntryRecord entry;
        entry.name = c.bytes;
        EXPECT_EQ(decode_name(entry), c.text);
    }
    // Every byte decodes to one character, and the writer's independent table maps it back.
    for (int byte = 0; byte < 256; ++byte) {
        const std::string one(1, static_cast<char>(byte));
        const std::string text = decode_windows_1252(one);
        EXPECT_TRUE(is_valid_utf8(text)) << byte;
        EXPECT_EQ(testkit::encode_windows_1252(text), one) << byte;
    }

    TempFolder temp;
    const fs::path image = temp / "image.iso";
    ASSERT_FALSE(testkit::write_disc_image(
        image, {DiscNode::folder("Caf\xE9", {DiscNode::file("\x80\x81", "x")})}));
    EXPECT_EQ(list_image(image),
              (std::vector<std::string>{"|Caf\u00E9/", "/Caf\u00E9|\u20AC\u0081"}));
}

TEST(DiscImage, KeepsRawNamesForExtractionToJudge) {
    TempFolder temp;
    const fs::path image = temp / "image.iso";
    std::vector<DiscNode> tree{DiscNode::file("/lead", "1"), DiscNode::file("..", "2"),
                               DiscNode::folder("", {DiscNode::file("a/b", "3")})};
    ASSERT_FALSE(testkit::write_disc_image(image, tree));
    EXPECT_EQ(list_image(image), (std::vector<std::string>{"|..", "|/", "|/lead", "/|a/b"}));
}

TEST(DiscImage, ReadsFileDataAtAnyPosition) {
    TempFolder temp;
    const fs::path image = temp / "image.iso";
    constexpr std::uint32_t size = 3 * 1024 * 1024 + 123;
    auto distant = DiscNode::file("distant", "");
    distant.stored_sector = 0x00FFFFFF;
    distant.stored_size = 4;
    ASSERT_FALSE(testkit::write_disc_image(
        image, {DiscNode::generated_file("big", size, testkit::pattern_source(7)), distant},
        {.base = 0x02080000}));
    auto reader = open_image(image);
    auto volume = reader.locate_volume();
    ASSERT_TRUE(volume.has_value());
    auto listing = reader.list(*volume);
    ASSERT_TRUE(listing.has_value());
    ASSERT_EQ(listing_lines(*listing), (std::vector<std::string>{"|distant", "|big"}));
    const DirEntryRecord &big = (*listing)[1].entry;
    ASSERT_EQ(big.data.size, size);

    for (std::uint64_t position : {0ull, 1ull, 2047ull, 2048ull, 1'000'003ull, size - 100ull}) {
        std::string chunk(100, '\0');
        ASSERT_FALSE(reader.read_data(*volume, big.data.sector, position, chunk)) << position;
        for (std::size_t i = 0; i < chunk.size(); ++i)
            ASSERT_EQ(chunk[i], testkit::pattern_byte(7, position + i)) << position + i;
    }
    // The image ends with the last data sector: reading on past it is a short read.
    std::string past(3000, '\0');
    EXPECT_EQ(reader.read_data(*volume, big.data.sector, size - 10, past), end_of_image_error());
    std::string gone(4, '\0');
    EXPECT_EQ(reader.read_data(*volume, (*listing)[0].entry.data.sector, 0, gone),
              end_of_image_error());

    // Copied inside the system: two pieces one after the other, the second running past the
    // image's end, where the copy stops.
    auto output = platform::open_for_writing(temp / "out.bin");
    ASSERT_TRUE(output.has_value());
    std::uint64_t copied = 0;
    for (auto [position, length] :
         {std::pair<std::uint64_t, std::uint64_t>{0, 1'000'001}, {1'000'001, size}}) {
        auto result = reader.copy_data(*volume, big.data.sector, position, length, *output);
        if (!result) {
            // Only where the system has no such copy (Windows): extraction reads and writes.
            EXPECT_EQ(result.error(), std::errc::operation_not_supported);
            platform::close_handle(*output);
            return;
        }
        copied += *result;
    }
    platform::close_handle(*output);
    EXPECT_EQ(copied, fs::file_size(image) - (0x02080000 + std::uint64_t{big.data.sector} * 2048));
    const std::string bytes = test::read_text(temp / "out.bin");
    ASSERT_EQ(bytes.size(), copied);
    for (std::uint64_t i : {0ull, 1'000'000ull, 1'000'001ull, size - 1ull})
        EXPECT_EQ(bytes[i], testkit::pattern_byte(7, i)) << i;
}

TEST(DiscImage, ReadsPastFourGibibytes) {
    TempFolder temp;
    const fs::path image = temp / "image.iso";
    // A sparse image whose file data lies just past 4 GiB, as on a dual-layer disc.
    constexpr std::uint32_t far_sector = 0x200001;
    auto file = DiscNode::file("late", "");
    file.stored_sector = far_sector;
    file.stored_size = 5;
    ASSERT_FALSE(testkit::write_disc_image(image, {file}));
    {
        std::fstream out(image, std::ios::binary | std::ios::in | std::ios::out);
        out.seekp(static_cast<std::streamoff>(far_sector) * 2048);
        out.write("hello", 5);
        ASSERT_TRUE(out.good());
    }
    auto reader = open_image(image);
    auto volume = reader.locate_volume();
    ASSERT_TRUE(volume.has_value());
    std::string bytes(5, '\0');
    ASSERT_FALSE(reader.read_data(*volume, far_sector, 0, bytes));
    EXPECT_EQ(bytes, "hello");
}

TEST(DiscImage, HostileStructureIsListedWithinLimits) {
    TempFolder temp;
    const fs::path image = temp / "image.iso";
    struct Case {
        const char *what;
        std::vector<DiscNode> tree;
        DiscListingLimits limits;
        std::string expected; // "" when it lists
    };
    std::vector<DiscNode> many;
    for (int i = 0; i < 101; ++i)
        many.push_back(DiscNode::file("n" + std::to_string(i), ""));
    const Case cases[] = {
        // About 600 KB of image; holding each entry's full path would take hundreds of MB.
        {"200 folders deep",
         {testkit::nested_folders(200, 8000)},
         {},
         "folders nested more than 64 deep"},
        {"at the depth limit, paths too long in all",
         {testkit::nested_folders(64, 4500)},
         {},
         "paths adding up to more than 67108864 bytes"},
        {"deep and long, within the limits", {testkit::nested_folders(60, 4000)}, {}, ""},
        {"entries", many, {.max_entries = 100}, "more than 100 entries"},
        {"depth",
         {testkit::nested_folders(3, 1)},
         {.max_depth = 2},
         "folders nested more than 2 deep"},
        {"path bytes",
         {DiscNode::file("abcd", ""), DiscNode::file("efgh", "")},
         {.max_path_bytes = 9},
         "paths adding up to more than 9 bytes"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(testkit::write_disc_image(image, c.tree));
        auto reader = open_image(image);
        auto volume = reader.locate_volume();
        ASSERT_TRUE(volume.has_value());
        DiscListingStats stats;
        auto listing = reader.list(*volume, c.limits, &stats);
        // The listing's own accounting: linear in the image, not in its entries' depth.
        EXPECT_LT(stats.peak_bytes, 4u * 1024 * 1024);
        EXPECT_GT(stats.peak_bytes, 0u);
        if (!c.expected.empty()) {
            ASSERT_FALSE(listing.has_value());
            EXPECT_EQ(listing.error().text(), c.expected);
            continue;
        }
        ASSERT_TRUE(listing.has_value()) << listing.error().text();
        EXPECT_LE(listing->footprint(), stats.peak_bytes);
        const auto &last = listing->entries.back();
        EXPECT_EQ(listing->parent_path(last).size(), 60u * 256);
        EXPECT_EQ(listing->folders.back().path_bytes, 60u * 256);
    }
}

TEST(DiscImage, FilesMayNotAddUpToMoreThanTheImageHolds) {
    TempFolder temp;
    const fs::path image = temp / "image.iso";
    const std::uint32_t mib = 1024 * 1024;
    // Entries pointing at data already used by another: each pointer repeats a whole MiB.
    const auto sharing = [&](int pointers, std::uint32_t size, std::uint64_t base) {
        std::vector<DiscNode> tree{
            DiscNode::generated_file("blob", size, testkit::pattern_source(3))};
        for (int i = 0; i < pointers; ++i) {
            auto copy = DiscNode::file("copy" + std::to_string(i), "");
            copy.stored_sector = 0;
            copy.stored_size = size;
            tree.push_back(copy);
        }
        EXPECT_FALSE(testkit::write_disc_image(image, tree, {.base = base}));
        auto reader = open_image(image);
        auto volume = reader.locate_volume();
        EXPECT_TRUE(volume.has_value());
        auto listing = reader.list(*volume);
        return listing ? std::string("lists") : listing.error().text();
    };
    for (std::uint64_t base : {0ull, 0x02080000ull}) {
        const std::string result = sharing(300, mib, base);
        EXPECT_EQ(result, "its files add up to " + std::to_string(301ull * mib) +
                              " bytes, more than the " +
                              std::to_string(fs::file_size(image) - base) + " bytes it holds");
    }
    // A little sharing, as real layouts may have, stays within the allowance.
    EXPECT_EQ(sharing(1, 512 * 1024, 0), "lists");
    EXPECT_EQ(sharing(1, 512 * 1024, 0x18300000), "lists");
}

TEST(DiscImage, OpeningAMissingImageGivesTheSystemError) {
    TempFolder temp;
    auto reader = DiscImageReader::open(temp / "missing.iso");
    ASSERT_FALSE(reader.has_value());
    EXPECT_EQ(reader.error(), std::errc::no_such_file_or_directory);
}

} // namespace
} // namespace ormolt

namespace ormolt {
namespace {

// Random damage to the descriptor and tables of a valid image: the reader must always end, with
// a listing that keeps its promises or with an error, and never list more entries than the
// image has room for.
TEST(DiscImage, DamagedStructuresNeverHangOrBreakTheListing) {
    TempFolder temp;
    const fs::path image = temp / "image.iso";
    std::vector<DiscNode> tree{DiscNode::file("default.xbe", "xbe")};
    for (int i = 0; i < 6; ++i) {
        std::vector<DiscNode> files;
        for (int k = 0; k < 7; ++k)
            files.push_back(DiscNode::file("f" + std::to_string(k), std::string(k * 300, 'x')));
        files.push_back(DiscNode::folder("inner", {DiscNode::file("leaf", "l")}));
        tree.push_back(DiscNode::folder("dir" + std::to_string(i), std::move(files)));
    }
    testkit::DiscImageLayout layout;
    ASSERT_FALSE(testkit::write_disc_image(image, tree, {}, &layout));
    const std::string pristine = test::read_text(image);
    const std::size_t structure_begin = 0x10000; // the descriptor, then every table
    const auto structure_end = static_cast<std::size_t>(layout.tables_end);
    ASSERT_EQ(structure_end, 0x10000 + 2048 * 14u); // descriptor and 13 tables

    std::mt19937 random(12345);
    for (int round = 0; round < 400; ++round) {
        std::string bytes = pristine;
        const int flips = 1 + static_cast<int>(random() % 8);
        for (int f = 0; f < flips; ++f) {
            const std::size_t at = structure_begin + random() % (structure_end - structure_begin);
            bytes[at] = static_cast<char>(random() % 3 == 0 ? 0xFF : random() % 256);
        }
        test::write_text(image, bytes);

        auto reader = open_image(image);
        auto volume = reader.locate_volume();
        if (!volume)
            continue;
        auto listing = reader.list(*volume);
        if (!listing)
            continue;
        ASSERT_LE(listing->size(), bytes.size() / 4) << "round " << round;
        std::set<std::string> directories{""};
        for (const auto &item : *listing) {
            const DirEntryRecord &entry = item.entry;
            const std::string parent = listing->parent_path(item);
            ASSERT_TRUE(directories.count(parent)) << "round " << round << ": " << parent;
            if (entry.is_directory())
                directories.insert(parent + "/" + decode_name(entry));
            std::string head(std::min<std::uint32_t>(entry.data.size, 4096), '\0');
            const auto error = reader.read_data(*volume, entry.data.sector, 0, head);
            const std::uint64_t end =
                static_cast<std::uint64_t>(entry.data.sector) * 2048 + head.size();
            if (!head.empty()) {
                EXPECT_EQ(!error, end <= bytes.size()) << "round " << round;
            }
        }
    }
}

} // namespace
} // namespace ormolt
