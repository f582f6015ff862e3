#include "records/build_folders.h"
#include "records/message.h"
#include "records/state_records.h"
#include "records/text_file.h"
#include "testkit/release_folder.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace ormolt {
namespace {

namespace fs = std::filesystem;
using test::read_text;
using test::write_text;

TEST(StateRecords, WritesIndentedMembersInDeclaredOrderAndReadsThemBack) {
    test::TempFolder temp;
    const SourceRecord source{"D:\\games\\\"x\"\xC3\xA9.iso",
                              std::numeric_limits<std::uint64_t>::max(), 1700000000};
    ASSERT_TRUE(write_source_record(temp / "source.json", source));
    EXPECT_EQ(read_text(temp / "source.json"),
              "{\n  \"path\": \"D:\\\\games\\\\\\\"x\\\"\xC3\xA9.iso\",\n"
              "  \"size\": 18446744073709551615,\n  \"mtime\": 1700000000\n}");
    const auto read_source = read_source_record(temp / "source.json");
    ASSERT_TRUE(read_source);
    EXPECT_EQ(read_source->path, source.path);
    EXPECT_EQ(read_source->size, source.size);
    EXPECT_EQ(read_source->mtime, source.mtime);

    const Stamp stamp{"1.0", "51520001", std::string(40, 'a'), "game.exe"};
    ASSERT_TRUE(write_stamp(temp / "build.json", stamp));
    EXPECT_EQ(read_text(temp / "build.json"),
              "{\n  \"release_version\": \"1.0\",\n  \"title_id\": \"51520001\",\n"
              "  \"xbe_sha1\": \"" +
                  std::string(40, 'a') + "\",\n  \"exe\": \"game.exe\"\n}");
    const auto read_back = read_stamp(temp / "build.json");
    ASSERT_TRUE(read_back);
    EXPECT_EQ(read_back->release_version, "1.0");
    EXPECT_EQ(read_back->title_id, "51520001");
    EXPECT_EQ(read_back->xbe_sha1, std::string(40, 'a'));
    EXPECT_EQ(read_back->exe, "game.exe");
    EXPECT_FALSE(fs::exists(temp / "build.json.part"));
}

TEST(StateRecords, ReplacesTheTargetThroughAStaleTemporaryFile) {
    test::TempFolder temp;
    write_text(temp / "build.json", "old");
    write_text(temp / "build.json.part", std::string(4096, 'x')); // left by a crashed write
    ASSERT_TRUE(write_stamp(temp / "build.json", Stamp{"2", "T", "s", "g.exe"}));
    EXPECT_FALSE(fs::exists(temp / "build.json.part"));
    const auto stamp = read_stamp(temp / "build.json");
    ASSERT_TRUE(stamp);
    EXPECT_EQ(stamp->release_version, "2");
}

TEST(StateRecords, AFailedWriteNamesTheTargetAndKeepsTheOldRecord) {
    test::TempFolder temp;
    const auto missing = write_source_record(temp / "absent" / "source.json", SourceRecord{});
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().message,
              "cannot write " + path_text(temp / "absent" / "source.json") + ": " +
                  test::nothing_at(temp / "absent" / "source.json"));

    // The rename cannot replace a folder: the old target stays as it was.
    fs::create_directories(temp / "source.json" / "inside");
    EXPECT_FALSE(write_source_record(temp / "source.json", SourceRecord{"x", 1, 2}));
    EXPECT_TRUE(fs::exists(temp / "source.json" / "inside"));
}

TEST(StateRecords, ReadsDamagedOrOldRecordsAsNothing) {
    test::TempFolder temp;
    struct Case {
        std::string text;
        bool source_ok;
    };
    const Case sources[] = {
        {R"({"path": "a.iso", "size": 5, "mtime": 7})"
         "\n",
         true},
        {R"({"mtime": 7, "other": [null], "size": 5, "path": "a.iso"})", true},
        {R"({"path": "a.iso", "size": -5, "mtime": 7})", false},
        {R"({"path": "a.iso", "size": 5.5, "mtime": 7})", false},
        {R"({"path": "a.iso", "size": 5.0, "mtime": 7})", false},
        {R"({"path": "a.iso", "size": "5", "mtime": 7})", false},
        {R"({"path": "a.iso", "size": 18446744073709551616, "mtime": 7})", false},
        {R"({"path": "a.iso", "size": 5})", false},
        {R"({"path": "a.iso", "path": "b.iso", "size": 5, "mtime": 7})", false},
        {R"({"path": "a.iso", "size": 5, "mtime": 7} x)", false},
        {R"({"path": null, "size": 5, "mtime": 7})", false},
        {"\xEF\xBB\xBF"
         R"({"path": "a.iso", "size": 5, "mtime": 7})",
         false},
        {R"({"path": "a)"
         "\xFF"
         R"(.iso", "size": 5, "mtime": 7})",
         false},
        {"[]", false},
        {"", false},
    };
    for (const Case &c : sources) {
        write_text(temp / "source.json", c.text);
        const auto record = read_source_record(temp / "source.json");
        EXPECT_EQ(record.has_value(), c.source_ok) << c.text;
        if (record) {
            EXPECT_EQ(record->size, 5u);
        }
    }
    // An older build.json without exe.
    write_text(temp / "build.json",
               R"({"release_version": "1", "title_id": "T", "xbe_sha1": "s"})");
    EXPECT_FALSE(read_stamp(temp / "build.json"));
    EXPECT_FALSE(read_stamp(temp / "missing.json"));
    EXPECT_FALSE(read_source_record(temp.path())); // a folder

    // Only the value: trailing text is refused even behind a NUL byte, which the parser would
    // otherwise take for the end of the text.
    const std::string stamp = R"({"release_version": "1", "title_id": "T", "xbe_sha1": "s", )"
                              R"("exe": "g.exe"})";
    for (const std::string &tail : {std::string("\n"), std::string("x"), std::string("\0x", 2),
                                    std::string("\0", 1), std::string(" \0\n", 3)}) {
        write_text(temp / "build.json", stamp + tail);
        EXPECT_EQ(read_stamp(temp / "build.json").has_value(), tail == "\n")
            << testkit::json_quote(tail);
    }
}

TEST(StateRecords, ReadsOnlySmallRegularFiles) {
    test::TempFolder temp;
    const std::string record = R"({"path": "a.iso", "size": 5, "mtime": 7})";
    const fs::path file = temp / "source.json";
    // Records are small: a longer file is not taken in, whatever it holds.
    write_text(file, record + std::string(platform::small_file_limit - record.size(), ' '));
    EXPECT_TRUE(read_source_record(file));
    write_text(file, record + std::string(platform::small_file_limit - record.size() + 1, ' '));
    EXPECT_FALSE(read_source_record(file));
    fs::remove(file);
#ifndef _WIN32
    // A FIFO would never deliver an end, and a device like /dev/zero never ends: both read as
    // no record, at once.
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    EXPECT_FALSE(read_source_record(file));
    EXPECT_FALSE(read_stamp(file));
    fs::remove(file);
    for (const char *device : {"/dev/zero", "/dev/null"}) {
        fs::create_symlink(device, file);
        EXPECT_FALSE(read_source_record(file)) << device;
        fs::remove(file);
    }
    test::ScopedEnvironment environment({{"ORMOLT_BUILD_DIR", temp.path().string()}});
    fs::create_directories(temp / "T");
    fs::create_symlink("/dev/zero", temp / "T" / "install-location.txt");
    EXPECT_EQ(installation_folder("T").value(), temp / "T");
    fs::remove(temp / "T" / "install-location.txt");
    ASSERT_EQ(::mkfifo((temp / "T" / "install-location.txt").c_str(), 0600), 0);
    EXPECT_EQ(installation_folder("T").value(), temp / "T");
#endif
}

TEST(BuildFolders, DefaultFolderFollowsTheEnvironment) {
    test::TempFolder temp;
    struct Case {
        std::map<std::string, std::optional<std::string>> environment;
        std::optional<fs::path> expected; // nullopt: no folder to build in
    };
    const std::string base = temp.path().string();
    const Case cases[] = {
        {{{"ORMOLT_BUILD_DIR", base + "/b"}, {"LOCALAPPDATA", base + "/l"}},
         temp / "b" / "51520001"},
        {{{"ORMOLT_BUILD_DIR", ""}, {"LOCALAPPDATA", base + "/l"}}, fs::path("51520001")},
        {{{"ORMOLT_BUILD_DIR", std::nullopt}, {"LOCALAPPDATA", base + "/l"}},
         temp / "l" / "ormolt" / "builds" / "51520001"},
#ifndef _WIN32
        {{{"ORMOLT_BUILD_DIR", std::nullopt}, {"LOCALAPPDATA", ""}, {"XDG_DATA_HOME", base + "/x"}},
         temp / "x" / "ormolt" / "builds" / "51520001"},
        {{{"ORMOLT_BUILD_DIR", std::nullopt},
          {"LOCALAPPDATA", std::nullopt},
          {"XDG_DATA_HOME", "relative"},
          {"HOME", base}},
         temp / ".local" / "share" / "ormolt" / "builds" / "51520001"},
        {{{"ORMOLT_BUILD_DIR", std::nullopt},
          {"LOCALAPPDATA", ""},
          {"XDG_DATA_HOME", std::nullopt},
          {"HOME", std::nullopt}},
         std::nullopt},
#else
        {{{"ORMOLT_BUILD_DIR", std::nullopt}, {"LOCALAPPDATA", ""}}, std::nullopt},
#endif
    };
    for (const Case &c : cases) {
        test::ScopedEnvironment environment(c.environment);
        const auto folder = default_build_folder("51520001");
        if (c.expected) {
            ASSERT_TRUE(folder) << folder.error().message;
            // Compared as normal forms: "/" in a value and "\\" added by the tool both separate.
            EXPECT_EQ(folder->lexically_normal(), c.expected->lexically_normal());
        } else {
            ASSERT_FALSE(folder);
            EXPECT_EQ(folder.error().message, "no folder to build in (LOCALAPPDATA is not set)");
            EXPECT_FALSE(installation_folder("51520001"));
        }
    }
}

TEST(BuildFolders, UsesOnlyAnAbsoluteRememberedFolder) {
    test::TempFolder temp;
    test::ScopedEnvironment environment({{"ORMOLT_BUILD_DIR", temp.path().string()}});
    const fs::path default_folder = temp / "T";
    const std::string chosen = (temp / "my games" / "T").string();
    struct Case {
        std::optional<std::string> text; // nullopt: no file
        fs::path expected;
    };
    const Case cases[] = {
        {std::nullopt, default_folder},
        {chosen, chosen},
        {" \t" + chosen + "\r\n\xE3\x80\x80", chosen},
        {"relative/folder", default_folder},
        {" \n ", default_folder},
        {"", default_folder},
        {chosen + "\xFF", default_folder}, // not UTF-8
    };
    for (const Case &c : cases) {
        std::error_code ignored;
        fs::remove(default_folder / "install-location.txt", ignored);
        if (c.text)
            write_text(default_folder / "install-location.txt", *c.text);
        const auto folder = installation_folder("T");
        ASSERT_TRUE(folder);
        EXPECT_EQ(*folder, c.expected) << (c.text ? *c.text : "(no file)");
    }
}

TEST(BuildFolders, RemembersTheInstallationFolderWholeAndExactly) {
    test::TempFolder temp;
    test::ScopedEnvironment environment({{"ORMOLT_BUILD_DIR", (temp / "builds").string()}});
    const fs::path chosen = temp / "games" / "Gam\xC3\xA9";
    write_text(temp / "builds" / "T" / "install-location.txt.part", "stale");

    ASSERT_TRUE(remember_installation_folder("T", chosen)); // creates the default folder
    EXPECT_EQ(read_text(temp / "builds" / "T" / "install-location.txt"), path_text(chosen));
    // Each write has a temporary name of its own; another's is left alone.
    EXPECT_EQ(read_text(temp / "builds" / "T" / "install-location.txt.part"), "stale");
    EXPECT_EQ(installation_folder("T").value(), chosen);

    ASSERT_TRUE(remember_installation_folder("T", temp / "builds" / "T"));
    EXPECT_EQ(read_text(temp / "builds" / "T" / "install-location.txt"),
              path_text(temp / "builds" / "T"));

    // The default folder cannot be created where a file stands.
    write_text(temp / "file", "");
    test::ScopedEnvironment blocked({{"ORMOLT_BUILD_DIR", (temp / "file").string()}});
    const auto failed = remember_installation_folder("T", chosen);
    ASSERT_FALSE(failed);
    EXPECT_TRUE(failed.error().message.starts_with("cannot remember installation folder: "))
        << failed.error().message;
}

TEST(BuildFolders, BuildsFinishingTogetherEachRememberTheirFolderWhole) {
    test::TempFolder temp;
    test::ScopedEnvironment environment({{"ORMOLT_BUILD_DIR", (temp / "builds").string()}});
    const fs::path remembered = temp / "builds" / "T" / "install-location.txt";
    const std::string folders[] = {path_text(temp / "first"),
                                   path_text(temp / "a much longer second folder name" / "G")};
    constexpr int rounds = 300;
    std::atomic<int> writers_left{2};
    std::atomic<int> failures{0};
    std::vector<std::string> torn;
    {
        std::vector<std::jthread> threads;
        for (const std::string &folder : folders)
            threads.emplace_back([&, folder] {
                for (int round = 0; round < rounds; ++round)
                    if (!remember_installation_folder("T", path_from_utf8(folder)))
                        ++failures;
                --writers_left;
            });
#ifndef _WIN32
        // A reader meanwhile sees one whole path or the other, never a mix or a part. (Where a
        // rename cannot replace an open file, as under Wine, a reader that never pauses would
        // starve the writers' retries, so there the writers race alone.)
        threads.emplace_back([&] {
            while (writers_left > 0) {
                const auto text = read_utf8_file(remembered);
                if (text && *text != folders[0] && *text != folders[1])
                    torn.push_back(*text);
                std::this_thread::yield();
            }
        });
#endif
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(torn, std::vector<std::string>{});
    const std::string last = read_text(remembered);
    EXPECT_TRUE(last == folders[0] || last == folders[1]) << last;
    // No temporary file is left behind.
    std::vector<std::string> entries;
    for (const auto &entry : fs::directory_iterator(temp / "builds" / "T"))
        entries.push_back(entry.path().filename().string());
    EXPECT_EQ(entries, std::vector<std::string>{"install-location.txt"});
}

} // namespace
} // namespace ormolt
