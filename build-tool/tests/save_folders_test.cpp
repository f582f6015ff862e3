#include "intake/save_folders.h"
#include "test_support.h"

namespace ormolt {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

TEST(SaveFolders, NameTest) {
    struct Case {
        const char *name;
        bool save;
    };
    const Case cases[] = {
        {"UDATA", true},
        {"tdata", true},
        {"UDATA.disc", true},
        {"UDATA.rescued-2", true},
        {"TData.old", true},
        {"UDATA.", true},
        {"XUDATA", false},
        {"UDATA.", true},
        {"", false},
        {"udata\xc3\x9f", false},
        {"\xef\xbd\x95"
         "data",
         false}, // fullwidth u stays itself
    };
    for (const auto &c : cases)
        EXPECT_EQ(is_save_folder_name(c.name), c.save) << c.name;
}

// A folder with one file inside, so that a test can tell whose folder ended where.
void make_save(const fs::path &folder, const std::string &owner) {
    test::write_text(folder / "owner.txt", owner);
}
std::string owner_of(const fs::path &folder) {
    return test::read_text(folder / "owner.txt");
}

TEST(SaveFolders, CarryKeepsPlayerSavesAndSetsDiscOnesAside) {
    TempFolder root;
    const fs::path old_game = root / "game", new_game = root / "game.partial";
    make_save(old_game / "UDATA", "player");
    make_save(old_game / "UDATA.disc", "earlier disc");
    make_save(old_game / "tdata", "player t");
    make_save(old_game / "Media", "not a save");
    test::write_text(old_game / "TDATA.txt", "a file, not a folder");
    make_save(new_game / "UDATA", "disc");
    make_save(root / "elsewhere", "link target");
    const bool links = test::make_symlink(root / "elsewhere", old_game / "TDATA.link");

    ASSERT_TRUE(carry_saves(old_game, new_game).has_value());
    EXPECT_EQ(owner_of(new_game / "UDATA"), "player");
    EXPECT_EQ(owner_of(new_game / "tdata"), "player t"); // keeps its own letter case
    // The disc's folder and the earlier one are both kept, whichever the listing gave first.
    std::set<std::string> aside;
    for (const auto &entry : fs::directory_iterator(new_game))
        if (entry.path().filename().string().starts_with("UDATA.disc"))
            aside.insert(owner_of(entry.path()));
    EXPECT_EQ(aside, (std::set<std::string>{"disc", "earlier disc"}));
    EXPECT_TRUE(fs::exists(old_game / "Media"));
    EXPECT_TRUE(fs::exists(old_game / "TDATA.txt"));
    if (links) { // a link is never a save folder
        EXPECT_TRUE(fs::is_symlink(old_game / "TDATA.link"));
        EXPECT_FALSE(fs::exists(new_game / "TDATA.link"));
    }
}

TEST(SaveFolders, RescueFindsAFreeName) {
    TempFolder root;
    const fs::path game = root / "game", partial = root / "game.partial";
    make_save(partial / "TDATA", "rescued 1");
    make_save(game / "TDATA", "kept");
    make_save(partial / "UDATA", "rescued 2");
    make_save(game / "UDATA", "kept");
    make_save(game / "UDATA.rescued", "kept");
    make_save(partial / "Udata.old", "rescued 3"); // nothing in game under this name
    make_save(partial / "Maps", "left");

    ASSERT_TRUE(rescue_saves(root.path()).has_value());
    EXPECT_EQ(owner_of(game / "TDATA.rescued"), "rescued 1");
    EXPECT_EQ(owner_of(game / "UDATA.rescued-2"), "rescued 2");
    EXPECT_EQ(owner_of(game / "Udata.old"), "rescued 3");
    EXPECT_EQ(owner_of(game / "TDATA"), "kept");
    EXPECT_EQ(owner_of(partial / "Maps"), "left");

    // Nothing to rescue from: success, and game is not even created.
    TempFolder empty;
    EXPECT_TRUE(rescue_saves(empty.path()).has_value());
    EXPECT_FALSE(fs::exists(empty / "game"));
}

} // namespace
} // namespace ormolt
