// The platform's folder work as the steps use it, on the real file system: paths beyond the
// classic 260-character limit, read-only copies, canonical paths, the system's error texts.
#include "files/folder_tree.h"
#include "platform/platform.h"
#include "records/message.h"
#include "test_support.h"

#include <algorithm>

namespace ormolt {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

std::vector<std::pair<std::string, bool>> names_in(const fs::path &folder) {
    std::vector<std::pair<std::string, bool>> names;
    auto listing = platform::list_folder(folder);
    EXPECT_TRUE(listing.has_value()) << path_text(folder);
    if (listing)
        for (const auto &entry : *listing)
            names.emplace_back(path_text(entry.name), entry.directory);
    std::sort(names.begin(), names.end());
    return names;
}

void write_file(const fs::path &file, std::string_view text) {
    auto handle = platform::open_for_writing(file);
    ASSERT_TRUE(handle.has_value()) << path_text(file);
    EXPECT_FALSE(platform::write_all(*handle, text));
    platform::close_handle(*handle);
}

// A disc may hold names of up to 255 bytes, and players choose deep folders: every operation
// of the steps must reach such paths. (The C runtime's own listing on Windows copies the path
// into a 260-character buffer and lists the wrong folder beyond it.)
TEST(FolderWork, PathsBeyondTheClassicLimit) {
    TempFolder temp;
    const fs::path top = temp / "deep";
    fs::path deep = top;
    while (path_text(deep).size() < 330)
        deep /= "a folder with a rather long name";
    ASSERT_FALSE(platform::create_folders(deep));
    ASSERT_FALSE(platform::create_folders(deep)); // there already: fine
    EXPECT_EQ(names_in(deep), (std::vector<std::pair<std::string, bool>>{}));

    write_file(deep / "one.txt", "one");
    ASSERT_FALSE(platform::create_folders(deep / "sub"));
    EXPECT_EQ(names_in(deep),
              (std::vector<std::pair<std::string, bool>>{{"one.txt", false}, {"sub", true}}));
    EXPECT_FALSE(platform::copy_file_replacing(deep / "one.txt", deep / "sub" / "two.txt"));
    EXPECT_FALSE(platform::rename_path(deep / "sub", deep / "moved"));
    EXPECT_EQ(names_in(deep / "moved"),
              (std::vector<std::pair<std::string, bool>>{{"two.txt", false}}));
    auto canonical = platform::canonical_path(deep / "moved" / ".." / "one.txt");
    ASSERT_TRUE(canonical.has_value());
    EXPECT_EQ(path_text(*canonical), path_text(deep / "one.txt"));

    EXPECT_TRUE(remove_if_present(top).has_value());
    EXPECT_FALSE(fs::exists(top));
    EXPECT_EQ(names_in(temp.path()), (std::vector<std::pair<std::string, bool>>{}));

    // Nothing there, or a file, is no folder to list.
    EXPECT_FALSE(platform::list_folder(top).has_value());
    test::write_text(temp / "file", "x");
    EXPECT_FALSE(platform::list_folder(temp / "file").has_value());
}

// Files copied from a disc are read-only, and a copy keeps that; in the folders the tool owns the
// next build must replace and remove them all the same, while the user's file stays as it was.
TEST(FolderWork, ReadOnlyCopiesAreReplacedAndRemoved) {
    TempFolder temp;
    const auto writable = [](const fs::path &file) {
        return (fs::status(file).permissions() & fs::perms::owner_write) != fs::perms::none;
    };
    const auto read_only = [](const fs::path &file) {
        fs::permissions(file,
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    };
    test::write_text(temp / "disc" / "a.txt", "first");
    read_only(temp / "disc" / "a.txt");
    ASSERT_FALSE(platform::create_folders(temp / "game"));
    const fs::path copy = temp / "game" / "a.txt";
    EXPECT_FALSE(platform::copy_file_replacing(temp / "disc" / "a.txt", copy));
    EXPECT_TRUE(writable(copy));
    EXPECT_FALSE(writable(temp / "disc" / "a.txt"));

    // One left read-only by an earlier version of the tool.
    read_only(copy);
    test::write_text(temp / "b.txt", "second");
    EXPECT_FALSE(platform::copy_file_replacing(temp / "b.txt", copy));
    EXPECT_EQ(test::read_text(copy), "second");
    read_only(copy);
    EXPECT_FALSE(platform::remove_file(copy));
    EXPECT_FALSE(fs::exists(copy));

    test::write_text(temp / "game" / "sub" / "c.txt", "c");
    read_only(temp / "game" / "sub" / "c.txt");
    EXPECT_TRUE(remove_if_present(temp / "game").has_value());
    EXPECT_FALSE(fs::exists(temp / "game"));

    fs::permissions(temp / "disc" / "a.txt", fs::perms::owner_write, fs::perm_options::add);
}

// The overlap of source and installation folders is decided on canonical paths: where the file
// system ignores letter case, another spelling is the same folder.
TEST(FolderWork, CanonicalPathsComeFromTheFileSystem) {
    TempFolder temp;
    ASSERT_FALSE(platform::create_folders(temp / "Games" / "Sample"));
    auto actual = platform::canonical_path(temp / "Games" / "Sample");
    ASSERT_TRUE(actual.has_value());
    const fs::path other = temp / "GAMES" / "sample";
    const bool ignores_case = fs::exists(other);
    EXPECT_EQ(platform::same_component("Games", "GAMES"), ignores_case);
    EXPECT_TRUE(platform::same_component("Games", "Games"));
    EXPECT_FALSE(platform::same_component("Games", "Game"));
    if (ignores_case) {
        auto spelled = platform::canonical_path(other);
        ASSERT_TRUE(spelled.has_value());
        EXPECT_EQ(path_text(*spelled), path_text(*actual));
    }
    const auto missing = platform::canonical_path(temp / "absent");
    ASSERT_FALSE(missing.has_value());
    EXPECT_FALSE(system_error_text(missing.error()).empty());
}

} // namespace
} // namespace ormolt
