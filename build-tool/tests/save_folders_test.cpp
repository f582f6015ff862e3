#include "intake/save_folders.h"
#include "test_support.h"

#include <functional>

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

    ASSERT_TRUE(carry_saves(old_game, new_game, root / "game.partial.saves").has_value());
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
    // The list names what was carried, so that a rescue takes back exactly these.
    EXPECT_EQ(test::read_text(root / "game.partial.saves"), R"(["UDATA","UDATA.disc","tdata"])");
}

// The save-named folders of a folder, each with its owner.
std::map<std::string, std::string> saves_in(const fs::path &folder) {
    std::map<std::string, std::string> found;
    for (const auto &entry : fs::directory_iterator(folder))
        if (is_save_folder_name(entry.path().filename().string()))
            found[entry.path().filename().string()] = owner_of(entry.path());
    return found;
}

TEST(SaveFolders, DiscCopiesDoNotPileUp) {
    struct Case {
        const char *what;
        std::map<std::string, std::string> old_saves, disc, expected;
    };
    const Case cases[] = {
        {"the player's folder is the disc's own",
         {{"UDATA", "disc"}},
         {{"UDATA", "disc"}},
         {{"UDATA", "disc"}}},
        {"the disc's copy was set aside before",
         {{"UDATA", "player"}, {"UDATA.disc", "disc"}},
         {{"UDATA", "disc"}},
         {{"UDATA", "player"}, {"UDATA.disc", "disc"}}},
        {"a new disc: its copy is kept beside the earlier one",
         {{"UDATA", "player"}, {"UDATA.disc", "disc 1"}},
         {{"UDATA", "disc 2"}},
         {{"UDATA", "player"}, {"UDATA.disc", "disc 1"}, {"UDATA.disc-2", "disc 2"}}},
        {"first set-aside",
         {{"TDATA", "player"}},
         {{"TDATA", "disc"}, {"UDATA", "disc u"}},
         {{"TDATA", "player"}, {"TDATA.disc", "disc"}, {"UDATA", "disc u"}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder root;
        for (const auto &[name, owner] : c.old_saves)
            make_save(root / "game" / name, owner);
        for (const auto &[name, owner] : c.disc)
            make_save(root / "game.partial" / name, owner);
        ASSERT_TRUE(carry_saves(root / "game", root / "game.partial", root / "list").has_value());
        EXPECT_EQ(saves_in(root / "game.partial"), c.expected);
        EXPECT_TRUE(saves_in(root / "game").empty());
    }
}

TEST(SaveFolders, FoldersThatDifferAtAllAreNotTheSame) {
    // A disc copy is dropped only when a carried folder holds exactly the same; any difference
    // keeps both.
    const std::function<void(const fs::path &)> changes[] = {
        [](const fs::path &f) { test::write_text(f / "owner.txt", "disk"); },
        [](const fs::path &f) { test::write_text(f / "owner.txt", "disc!"); },
        [](const fs::path &f) { test::write_text(f / "extra", ""); },
        [](const fs::path &f) { fs::create_directories(f / "empty"); },
        [](const fs::path &f) { fs::remove(f / "owner.txt"); },
        [](const fs::path &f) { test::write_text(f / "sub" / "deep", "other"); },
    };
    for (std::size_t i = 0; i < std::size(changes); ++i) {
        SCOPED_TRACE(i);
        TempFolder root;
        make_save(root / "game" / "UDATA", "disc");
        test::write_text(root / "game" / "UDATA" / "sub" / "deep", "deep");
        make_save(root / "game.partial" / "UDATA", "disc");
        test::write_text(root / "game.partial" / "UDATA" / "sub" / "deep", "deep");
        changes[i](root / "game.partial" / "UDATA");
        ASSERT_TRUE(carry_saves(root / "game", root / "game.partial", root / "list").has_value());
        EXPECT_TRUE(fs::exists(root / "game.partial" / "UDATA.disc"));
        EXPECT_EQ(test::read_text(root / "game.partial" / "UDATA" / "sub" / "deep"), "deep");
    }
}

TEST(SaveFolders, RescueTakesBackOnlyWhatWasCarried) {
    TempFolder root;
    const fs::path game = root / "game", partial = root / "game.partial";
    ASSERT_TRUE(start_new_copy(root.path()).has_value());
    make_save(partial / "UDATA", "disc, half written");
    make_save(partial / "TDATA", "disc");
    make_save(game / "UDATA", "player");
    make_save(game / "TDATA.old", "player");
    // Nothing carried yet: the partial copy's folders are the disc's.
    ASSERT_TRUE(rescue_saves(root.path()).has_value());
    EXPECT_EQ(saves_in(game),
              (std::map<std::string, std::string>{{"TDATA.old", "player"}, {"UDATA", "player"}}));

    ASSERT_TRUE(carry_saves(game, partial, carried_saves_record(root.path())).has_value());
    ASSERT_TRUE(rescue_saves(root.path()).has_value());
    EXPECT_EQ(saves_in(game),
              (std::map<std::string, std::string>{{"TDATA.old", "player"}, {"UDATA", "player"}}));
    EXPECT_EQ(saves_in(partial), (std::map<std::string, std::string>{
                                     {"TDATA", "disc"}, {"UDATA.disc", "disc, half written"}}));
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
