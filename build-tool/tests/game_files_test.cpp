#include "files/folder_tree.h"
#include "intake/disc_extraction.h"
#include "intake/game_files.h"
#include "intake/safe_names.h"
#include "intake/save_folders.h"
#include "records/message.h"
#include "test_support.h"
#include "testkit/disc_image_writer.h"
#include "testkit/sample_game.h"

#include <chrono>

namespace ormolt {
namespace {

namespace fs = std::filesystem;
using test::EventCapture;
using test::TempFolder;
using testkit::DiscNode;

std::vector<std::string> progress_of(const EventCapture &events) {
    std::vector<std::string> found;
    for (const auto &event : events.of_kind("progress"))
        found.push_back(std::to_string(event["done"].get<std::uint64_t>()) + "/" +
                        std::to_string(event["total"].get<std::uint64_t>()) + " " +
                        event["detail"].get<std::string>());
    return found;
}

std::vector<DiscNode> game_tree(const std::string &xbe = "xbe v1") {
    return {
        DiscNode::file("default.xbe", xbe),
        DiscNode::folder("media", {DiscNode::file("a.bin", "aaa"), DiscNode::file("empty", "")}),
        DiscNode::folder("UDATA", {DiscNode::file("save", "disc save")})};
}

struct GameFiles : ::testing::Test {
    TempFolder root;
    fs::path image = root / "game.iso";
    fs::path f = root / "install";
    fs::path game = f / "game";
    void SetUp() override { fs::create_directories(f); }
    void write_image(const std::vector<DiscNode> &nodes) {
        ASSERT_FALSE(testkit::write_disc_image(image, nodes));
    }
};

TEST_F(GameFiles, ImageIsExtractedOnceUntilItChanges) {
    write_image(game_tree());
    {
        EventCapture events;
        ASSERT_TRUE(prepare_game_files(image, f).has_value());
        EXPECT_EQ(progress_of(events).front(), "0/1 ");
        EXPECT_TRUE(progress_of(events).back().ends_with(" ")); // (total, total, "")
    }
    EXPECT_EQ(test::read_text(game / "default.xbe"), "xbe v1");
    EXPECT_EQ(test::read_text(game / "media" / "a.bin"), "aaa");
    EXPECT_TRUE(fs::is_regular_file(game / "media" / "empty"));
    EXPECT_FALSE(fs::exists(f / "game.partial"));
    const auto record = read_source_record(f / "source.json");
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->path, path_text(image));
    EXPECT_EQ(record->size, fs::file_size(image));
    EXPECT_GT(record->mtime, 0u);

    // The same file again: nothing extracted, the record written again.
    test::write_text(game / "media" / "a.bin", "changed by hand");
    {
        EventCapture events;
        ASSERT_TRUE(prepare_game_files(image, f).has_value());
        EXPECT_EQ(progress_of(events), std::vector<std::string>{"1/1 already extracted"});
        EXPECT_EQ(test::read_text(game / "media" / "a.bin"), "changed by hand");
    }
    // A touched image, or a game folder that lost its XBE, is extracted again.
    for (int round = 0; round < 2; ++round) {
        if (round == 0)
            fs::last_write_time(image, fs::last_write_time(image) + std::chrono::hours(1));
        else
            fs::remove(game / "default.xbe");
        test::write_text(game / "media" / "a.bin", "changed by hand");
        EventCapture events;
        ASSERT_TRUE(prepare_game_files(image, f).has_value());
        EXPECT_EQ(progress_of(events).front(), "0/1 ") << round;
        EXPECT_EQ(test::read_text(game / "media" / "a.bin"), "aaa") << round;
    }
}

TEST_F(GameFiles, SavesSurviveReextractionAndInterruption) {
    write_image(game_tree());
    ASSERT_TRUE(prepare_game_files(image, f).has_value());
    test::write_text(game / "UDATA" / "save", "player save");
    fs::last_write_time(image, fs::last_write_time(image) + std::chrono::hours(1));
    {
        EventCapture events;
        ASSERT_TRUE(prepare_game_files(image, f).has_value());
    }
    EXPECT_EQ(test::read_text(game / "UDATA" / "save"), "player save");
    EXPECT_EQ(test::read_text(game / "UDATA.disc" / "save"), "disc save");

    // A run stopped after the saves were carried and the old game removed, before the rename.
    fs::rename(game, f / "game.partial");
    fs::last_write_time(image, fs::last_write_time(image) + std::chrono::hours(1));
    {
        EventCapture events;
        ASSERT_TRUE(prepare_game_files(image, f).has_value());
    }
    EXPECT_EQ(test::read_text(game / "UDATA" / "save"), "player save");
    EXPECT_FALSE(fs::exists(f / "game.partial"));
}

// Runs stopped by hand at each point of an extraction, again and again: the player's saves come
// back every time, and the disc's own folder is kept once, not once per interruption.
TEST_F(GameFiles, InterruptedRunsNeitherLoseSavesNorPileUpCopies) {
    write_image(game_tree());
    {
        EventCapture events;
        ASSERT_TRUE(prepare_game_files(image, f).has_value());
    }
    test::write_text(game / "UDATA" / "save", "player save");
    const fs::path partial = f / "game.partial";
    enum class Stop { DiscFolderHalfWritten, CarryDone, RenameNotDone, NotAtAll };
    for (int round = 0; round < 12; ++round) {
        const Stop stop = static_cast<Stop>(round % 4);
        SCOPED_TRACE(testing::Message() << "round " << round << ", stop " << round % 4);
        EventCapture events;
        if (stop != Stop::NotAtAll) {
            ASSERT_TRUE(start_new_copy(f).has_value());
            if (stop == Stop::DiscFolderHalfWritten) {
                test::write_text(partial / "default.xbe", "xbe v1");
                test::write_text(partial / "UDATA" / "save", "disc s");
            } else {
                ASSERT_TRUE(extract_disc_image(image, partial).has_value());
                ASSERT_TRUE(carry_saves(game, partial, carried_saves_record(f)).has_value());
                if (stop == Stop::RenameNotDone) {
                    ASSERT_TRUE(remove_if_present(game).has_value());
                }
            }
        }
        fs::last_write_time(image, fs::last_write_time(image) + std::chrono::hours(1));
        ASSERT_TRUE(prepare_game_files(image, f).has_value());
        std::set<std::string> saves;
        for (const auto &entry : fs::directory_iterator(game))
            if (is_save_folder_name(entry.path().filename().string()))
                saves.insert(entry.path().filename().string());
        EXPECT_EQ(saves, (std::set<std::string>{"UDATA", "UDATA.disc"}));
        EXPECT_EQ(test::read_text(game / "UDATA" / "save"), "player save");
        EXPECT_EQ(test::read_text(game / "UDATA.disc" / "save"), "disc save");
        EXPECT_FALSE(fs::exists(partial));
        EXPECT_FALSE(fs::exists(carried_saves_record(f)));
    }
}

TEST_F(GameFiles, AGameThatDoesNotFitIsRefusedBeforeAnythingIsWritten) {
    // The files' sizes count, not the directory tables: an image gives 6 + 3 + 0 + 9 bytes, a
    // folder source the same files without its disc saves (UDATA and the large tdata).
    const fs::path source = root / "folder";
    ASSERT_FALSE(testkit::write_game_folder(source, game_tree("xbe v2")));
    test::write_text(source / "tdata" / "big", std::string(1000, 'x'));
    write_image(game_tree("xbe v2"));
    for (const auto &[from, needed] : {std::pair{source, std::uint64_t{9}}, {image, 18}}) {
        SCOPED_TRACE(path_text(from));
        fs::remove_all(f);
        test::write_text(game / "default.xbe", "old game");
        std::vector<fs::path> asked;
        std::uint64_t free_bytes = needed - 1;
        const FreeSpaceProbe probe = [&](const fs::path &path) {
            asked.push_back(path);
            return std::optional<std::uint64_t>(free_bytes);
        };
        const auto refused = prepare_game_files(from, f, probe);
        ASSERT_FALSE(refused.has_value());
        EXPECT_EQ(refused.error().message, "Not enough free space for " + path_text(f) +
                                               ": the game needs 0.1 GB, 0.0 GB is free.");
        EXPECT_EQ(asked, std::vector<fs::path>{f});
        EXPECT_EQ(test::read_text(game / "default.xbe"), "old game");
        EXPECT_FALSE(fs::exists(f / "game.partial" / "default.xbe"));
        EXPECT_FALSE(fs::exists(f / "source.json"));

        free_bytes = needed;
        const auto fitted = prepare_game_files(from, f, probe);
        ASSERT_TRUE(fitted.has_value()) << fitted.error().message;
        EXPECT_EQ(test::read_text(game / "default.xbe"), "xbe v2");
    }
    // The same image again is not extracted again, so it needs no room at all.
    bool asked = false;
    const auto again = prepare_game_files(image, f, [&](const fs::path &) {
        asked = true;
        return std::optional<std::uint64_t>(0);
    });
    EXPECT_TRUE(again.has_value());
    EXPECT_FALSE(asked);
}

TEST_F(GameFiles, ShiftJisNamesAreExtracted) {
    // Shift-JIS names hold the bytes 0x81, 0x8D, 0x8F, 0x90 and 0x9D, which windows-1252 maps to
    // C1 code points: ordinary characters for a file name on every system.
    struct Case {
        std::string disc_name, host_name;
    };
    const Case cases[] = {
        {"\x81\x5B.bin", "\u0081[.bin"}, // the long-vowel mark
        {"\x8D\x8F", "\u008D\u008F"},
        {"\x90\x9D.dat", "\u0090\u009D.dat"},
        {"del\x7F", "del\x7F"},
    };
    std::vector<DiscNode> nodes{DiscNode::file("default.xbe", "x")};
    std::vector<DiscNode> nested;
    for (const auto &c : cases) {
        nodes.push_back(DiscNode::file(c.disc_name, "root " + c.disc_name));
        nested.push_back(DiscNode::file(c.disc_name, "deep " + c.disc_name));
    }
    nodes.push_back(DiscNode::folder("\x83\x81\x83\x66\x83\x42\x83\x41", nested));
    write_image(nodes);
    const auto prepared = prepare_game_files(image, f);
    ASSERT_TRUE(prepared.has_value()) << prepared.error().message;
    const fs::path folder = game / path_from_utf8("\u0192\u0081\u0192f\u0192B\u0192A");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.host_name);
        EXPECT_EQ(test::read_text(game / path_from_utf8(c.host_name)), "root " + c.disc_name);
        EXPECT_EQ(test::read_text(folder / path_from_utf8(c.host_name)), "deep " + c.disc_name);
    }
}

TEST_F(GameFiles, RefusedImagesLeaveTheOldGame) {
    struct Case {
        std::string name;
        std::vector<DiscNode> nodes;
        testkit::DiscImageOptions options;
        std::string message_tail; // after the image path
    };
    std::vector<Case> cases;
    cases.push_back({"dot-dot",
                     {DiscNode::file("default.xbe", "x"), DiscNode::file("..", "up")},
                     {},
                     " has an unsafe file name: .."});
    cases.push_back(
        {"deep slash",
         {DiscNode::file("default.xbe", "x"), DiscNode::folder("d", {DiscNode::file("/x", "x")})},
         {},
         " has an unsafe file name: d//x"});
    cases.push_back({"empty name",
                     {DiscNode::file("default.xbe", "x"), DiscNode::file("", "e")},
                     {},
                     " has an unsafe file name: "});
    cases.push_back({"no xbe",
                     {DiscNode::file("other.xbe", "x")},
                     {},
                     " has no default.xbe: it is not a game disc"});
    testkit::DiscImageOptions damaged;
    damaged.damage_second_magic = true;
    cases.push_back(
        {"damaged", game_tree(), damaged, " is not an Xbox disc image (InvalidVolume)"});
    // A NUL would end the name at the system call and overwrite the real default.xbe.
    cases.push_back({"NUL in a name",
                     {DiscNode::file("default.xbe", "x"),
                      DiscNode::file(std::string("default.xbe\0evil", 16), "evil")},
                     {},
                     " has an unsafe file name: default.xbe\xEF\xBF\xBD"
                     "evil"});
    cases.push_back({"control character deeper down",
                     {DiscNode::file("default.xbe", "x"),
                      DiscNode::folder("d", {DiscNode::file("bell\a", "b")})},
                     {},
                     " has an unsafe file name: d/bell\xEF\xBF\xBD"});
    // About 600 KB that once took gigabytes to list.
    cases.push_back({"folders nested without end",
                     {DiscNode::file("default.xbe", "x"), testkit::nested_folders(200, 8000)},
                     {},
                     " is not an Xbox disc image (folders nested more than 64 deep)"});
    {
        // 300 entries sharing one MiB of data would write 300 MiB from a 1 MiB image.
        std::vector<DiscNode> shared{DiscNode::file("default.xbe", std::string(1 << 20, 'x'))};
        for (int i = 0; i < 300; ++i) {
            auto copy = DiscNode::file("copy" + std::to_string(i), "");
            copy.stored_sector = 0;
            copy.stored_size = 1 << 20;
            shared.push_back(copy);
        }
        cases.push_back({"entries sharing data",
                         shared,
                         {},
                         " is not an Xbox disc image (its files add up to 315621376 bytes, more "
                         "than the {image size} bytes it holds)"});
    }

    test::write_text(game / "default.xbe", "old game");
    for (const auto &c : cases) {
        ASSERT_FALSE(testkit::write_disc_image(image, c.nodes, c.options)) << c.name;
        std::string tail = c.message_tail;
        if (const auto at = tail.find("{image size}"); at != std::string::npos)
            tail.replace(at, 12, std::to_string(fs::file_size(image)));
        EventCapture events;
        const auto result = prepare_game_files(image, f);
        ASSERT_FALSE(result.has_value()) << c.name;
        EXPECT_EQ(result.error().message, path_text(image) + tail) << c.name;
        EXPECT_EQ(test::read_text(game / "default.xbe"), "old game") << c.name;
        EXPECT_FALSE(fs::exists(f / "game.partial")) << c.name;
        EXPECT_FALSE(fs::exists(f / "source.json")) << c.name;
    }
}

TEST_F(GameFiles, ImagesAtEveryBaseExtractWhole) {
    for (std::uint64_t base : {0x00000000ull, 0x18300000ull, 0x0FD90000ull, 0x02080000ull}) {
        SCOPED_TRACE(base);
        const std::uint32_t size = 5 * 1024 * 1024 + 11; // more than one copy chunk
        // Data just past 4 GiB, as on a dual-layer disc; the image is sparse.
        auto late = DiscNode::file("late", "");
        late.stored_sector = 0x200001;
        late.stored_size = 5;
        ASSERT_FALSE(testkit::write_disc_image(
            image,
            {DiscNode::file("default.xbe", "xbe"),
             DiscNode::folder(
                 "media", {DiscNode::generated_file("big.bin", size, testkit::pattern_source(5)),
                           DiscNode::file("empty", "")}),
             late},
            {.base = base}));
        {
            std::fstream out(image, std::ios::binary | std::ios::in | std::ios::out);
            out.seekp(static_cast<std::streamoff>(base + 0x200001ull * 2048));
            out.write("hello", 5);
            ASSERT_TRUE(out.good());
        }
        EventCapture events;
        ASSERT_TRUE(prepare_game_files(image, f).has_value());
        EXPECT_EQ(test::read_text(game / "default.xbe"), "xbe");
        EXPECT_EQ(test::read_text(game / "late"), "hello");
        EXPECT_EQ(fs::file_size(game / "media" / "empty"), 0u);
        const std::string big = test::read_text(game / "media" / "big.bin");
        ASSERT_EQ(big.size(), size);
        for (std::size_t i = 0; i < big.size(); ++i)
            if (big[i] != testkit::pattern_byte(5, i))
                FAIL() << "byte " << i;
        fs::remove(image); // the next base gets a fresh image (and a fresh extraction)
    }
}

TEST_F(GameFiles, DataPastTheImageEndIsAReadError) {
    for (std::uint32_t stored_sector : {0x00FFFFFFu, 33u}) {
        SCOPED_TRACE(stored_sector);
        // Either wholly past the end, or starting inside the image and running past it.
        auto gone = DiscNode::file("gone", "");
        gone.stored_sector = stored_sector;
        gone.stored_size = 300'000;
        write_image({DiscNode::file("default.xbe", "x"), gone});
        EventCapture events;
        const auto result = prepare_game_files(image, f);
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error().message,
                  "reading " + path_text(image) + ": unexpected end of file");
        EXPECT_FALSE(fs::exists(game));
    }
}

TEST_F(GameFiles, AlreadyExtractedRunRemovesAStaleCopy) {
    write_image(game_tree());
    {
        EventCapture events;
        ASSERT_TRUE(prepare_game_files(image, f).has_value());
    }
    test::write_text(f / "game.partial" / "media" / "a.bin", "half written");
    EventCapture events;
    ASSERT_TRUE(prepare_game_files(image, f).has_value());
    EXPECT_EQ(progress_of(events), std::vector<std::string>{"1/1 already extracted"});
    EXPECT_FALSE(fs::exists(f / "game.partial"));
    EXPECT_EQ(test::read_text(game / "media" / "a.bin"), "aaa");
}

TEST_F(GameFiles, MakesTheInstallationFolderWhenMissing) {
    write_image(game_tree());
    const fs::path source = root / "source";
    test::write_text(source / "default.xbe", "folder xbe");
    EventCapture events;
    for (const fs::path &from : {image, source}) {
        const fs::path fresh = root / "not made yet" / from.filename();
        ASSERT_TRUE(prepare_game_files(from, fresh).has_value()) << from;
        EXPECT_TRUE(fs::is_regular_file(fresh / "game" / "default.xbe")) << from;
    }
}

TEST_F(GameFiles, RootNamesLoseLeadingSlashes) {
    write_image({DiscNode::file("default.xbe", "x"), DiscNode::file("//top.txt", "top")});
    EventCapture events;
    ASSERT_TRUE(prepare_game_files(image, f).has_value());
    EXPECT_EQ(test::read_text(game / "top.txt"), "top");
}

TEST_F(GameFiles, LargeFilesReportProgressAboutEvery64MiB) {
    const std::uint32_t size = 130 * 1024 * 1024;
    write_image({DiscNode::file("default.xbe", "x"),
                 DiscNode::folder("d", {DiscNode::generated_file("big.bin", size,
                                                                 testkit::pattern_source(7))})});
    EventCapture events;
    ASSERT_TRUE(prepare_game_files(image, f).has_value());
    const auto progress = progress_of(events);
    ASSERT_EQ(progress.size(), 4u);
    // The total counts directory table sizes too, so the file bytes stay below it.
    // Reported once the count has grown by 64 MiB: after the chunk that crosses each mark.
    const auto done_of = [](const std::string &line) { return std::stoull(line); };
    const std::uint64_t mib = 1024 * 1024;
    EXPECT_GE(done_of(progress[1]), 64 * mib);
    EXPECT_LT(done_of(progress[1]), 68 * mib);
    EXPECT_TRUE(progress[1].ends_with(" d/big.bin")) << progress[1];
    EXPECT_GE(done_of(progress[2]) - done_of(progress[1]), 64 * mib);
    EXPECT_LT(done_of(progress[2]), 132 * mib);
    const std::string total = progress[3].substr(0, progress[3].find('/'));
    EXPECT_EQ(progress[3], total + "/" + total + " ");
    EXPECT_EQ(fs::file_size(game / "d" / "big.bin"), size);
    std::ifstream in(game / "d" / "big.bin", std::ios::binary);
    in.seekg(100'000'000);
    char byte = 0;
    in.read(&byte, 1);
    EXPECT_EQ(byte, testkit::pattern_byte(7, 100'000'000));
}

TEST_F(GameFiles, FolderSources) {
    const fs::path source = root / "source";
    test::write_text(source / "default.xbe", "folder xbe");
    test::write_text(source / "media" / "a.bin", "a");
    test::write_text(source / "udata" / "s", "disc save");
    test::write_text(source / "media" / "TData" / "s", "disc save");
    test::write_text(game / "UDATA" / "save", "player save");
    {
        EventCapture events;
        ASSERT_TRUE(prepare_game_files(source, f).has_value());
        EXPECT_EQ(progress_of(events), (std::vector<std::string>{"0/1 ", "1/1 "}));
    }
    EXPECT_EQ(test::read_text(game / "default.xbe"), "folder xbe");
    // Checked by content: on a system that ignores letter case "udata" names the player's UDATA.
    EXPECT_FALSE(fs::exists(game / "UDATA" / "s"));
    EXPECT_FALSE(fs::exists(game / "media" / "TData"));
    EXPECT_EQ(test::read_text(game / "UDATA" / "save"), "player save");
    const auto record = read_source_record(f / "source.json");
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->size, 0u);
    EXPECT_EQ(record->mtime, 0u);

    // A name this system refuses is found before anything is written (here one it could write
    // but refuses everywhere: Windows cannot even make it).
    if (host_name_rules == NameRules::Posix) {
        test::write_text(source / "media" / "tab\tname", "t");
        const auto refused = prepare_game_files(source, f);
        ASSERT_FALSE(refused.has_value());
        EXPECT_EQ(refused.error().message,
                  path_text(source) + " has an unsafe file name: media/tab\xEF\xBF\xBDname");
        EXPECT_FALSE(fs::exists(f / "game.partial"));
        EXPECT_EQ(test::read_text(game / "default.xbe"), "folder xbe");
        fs::remove(source / "media" / "tab\tname");
    }

    // A link anywhere below the source refuses the whole folder; the game stays.
    EventCapture events;
    if (test::make_symlink(source / "media" / "a.bin", source / "media" / "b.bin")) {
        const auto linked = prepare_game_files(source, f);
        ASSERT_FALSE(linked.has_value());
        EXPECT_EQ(linked.error().message, path_text(source / "media" / "b.bin") +
                                              " is a link; choose an ISO or a folder with real "
                                              "game files");
        EXPECT_EQ(test::read_text(game / "default.xbe"), "folder xbe");
        fs::remove(source / "media" / "b.bin");
    }

    fs::remove(source / "default.xbe");
    const auto no_xbe = prepare_game_files(source, f);
    ASSERT_FALSE(no_xbe.has_value());
    EXPECT_EQ(no_xbe.error().message,
              path_text(source) + " has no default.xbe: choose the folder the game's files are "
                                  "in, or the disc image");

    const auto missing = prepare_game_files(root / "nowhere", f);
    ASSERT_FALSE(missing.has_value());
    EXPECT_TRUE(
        missing.error().message.starts_with("cannot open " + path_text(root / "nowhere") + ": "));
}

} // namespace
} // namespace ormolt
