#include "files/folder_tree.h"
#include "intake/safe_names.h"
#include "records/message.h"
#include "test_support.h"

namespace ormolt {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

TEST(FolderTree, RemoveIfPresentNeverFollowsLinks) {
    TempFolder root;
    test::write_text(root / "target" / "keep.txt", "keep");
    test::write_text(root / "tree" / "a" / "b.txt", "b");
    if (!test::make_symlink(root / "target", root / "tree" / "a" / "link"))
        GTEST_SKIP() << test::no_symlinks;
    ASSERT_TRUE(test::make_symlink(root / "target", root / "dirlink"));
    ASSERT_TRUE(test::make_symlink(root / "target" / "keep.txt", root / "filelink"));
    test::write_text(root / "file.txt", "x");

    for (const char* name : {"tree", "dirlink", "filelink", "file.txt", "nothing-here"}) {
        ASSERT_TRUE(remove_if_present(root / name).has_value()) << name;
        std::error_code error;
        EXPECT_FALSE(fs::exists(fs::symlink_status(root / name, error))) << name;
    }
    EXPECT_EQ(test::read_text(root / "target" / "keep.txt"), "keep");
}

TEST(FolderTree, CopySkipsDiscSavesAtEveryDepth) {
    TempFolder root;
    const fs::path source = root / "source";
    test::write_text(source / "default.xbe", "xbe");
    test::write_text(source / "Media" / "a.bin", "a");
    test::write_text(source / "UDATA" / "s", "disc save");
    test::write_text(source / "Media" / "tData" / "s", "disc save");
    test::write_text(source / "Media" / "udata.txt", "a file of another name");
    test::write_text(root / "copy" / "default.xbe", "old contents");

    ASSERT_TRUE(copy_folder_tree(source, root / "copy").has_value());
    EXPECT_EQ(test::read_text(root / "copy" / "default.xbe"), "xbe");
    EXPECT_EQ(test::read_text(root / "copy" / "Media" / "a.bin"), "a");
    EXPECT_TRUE(fs::exists(root / "copy" / "Media" / "udata.txt"));
    EXPECT_FALSE(fs::exists(root / "copy" / "UDATA"));
    EXPECT_FALSE(fs::exists(root / "copy" / "Media" / "tData"));
}

TEST(FolderTree, CopyRefusesLinks) {
    TempFolder root;
    const fs::path source = root / "source";
    test::write_text(source / "Media" / "a.bin", "a");
    test::write_text(root / "outside.bin", "outside");
    if (!test::make_symlink(root / "outside.bin", source / "Media" / "b.bin"))
        GTEST_SKIP() << test::no_symlinks;
    const auto result = copy_folder_tree(source, root / "copy");
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().message,
              path_text(source / "Media" / "b.bin") +
                  " is a link; choose an ISO or a folder with real game files");
}

TEST(SafeNames, PiecesThatWouldLeaveTheFolder) {
    struct Case {
        const char* path;
        bool posix, windows;
    };
    const Case cases[] = {
        {"default.xbe", true, true},  {"Media/a.bin", true, true},   {"./a", true, true},
        {"..", false, false},         {"a/../b", false, false},      {"a//b", false, false},
        {"", false, false},           {"a/", false, false},          {"a\\..\\b", true, false},
        {"C:", true, false},          {"a:stream", true, false},     {"CON", true, false},
        {"nul.txt", true, false},     {"com1", true, false},         {"LPT\xc2\xb9", true, false},
        {"Com10", true, true},        {"...", true, false},          {"a. ", true, false},
        {"tab\tname", true, false},   {"caf\xc3\xa9", true, true},   {"CONSOLE", true, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(is_safe_relative_path(c.path, NameRules::Posix), c.posix) << c.path;
        EXPECT_EQ(is_safe_relative_path(c.path, NameRules::Windows), c.windows) << c.path;
    }
}

} // namespace
} // namespace ormolt
