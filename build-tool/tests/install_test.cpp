// Installing the finished game: what lands in the installation folder, what a failure leaves,
// the launcher name check, and the folder sync that rewrites only differing files.
#include "files/folder_sync.h"
#include "install/install_game.h"
#include "records/message.h"
#include "records/state_records.h"
#include "test_support.h"

#include <algorithm>
#include <functional>
#include <map>
#include <set>

namespace ormolt {
namespace {

namespace fs = std::filesystem;

const std::string accepted_sha1 = "0123456789abcdef0123456789abcdef01234567";

std::set<std::string> entries(const fs::path &folder) {
    std::set<std::string> names;
    for (const auto &entry : fs::recursive_directory_iterator(folder))
        names.insert(fs::relative(entry.path(), folder).generic_string());
    return names;
}

// Old enough that a rewrite would certainly show in the time.
void age(const fs::path &file) {
    fs::last_write_time(file, fs::file_time_type::clock::now() - std::chrono::hours(24 * 365));
}

class Install : public ::testing::Test {
  protected:
    Install() {
        release.title_id = "51520001";
        release.version = "2.5";
        release.exe = "sample";
        release.release_dir = folder / "release";
        fs::create_directories(release.release_dir);
        fs::create_directories(target());
        test::write_text(compiled(), "program v1");
    }
    fs::path target() const { return folder / "install"; }
    fs::path compiled() const { return folder / "build" / "sample"; }
    // "/" in relative is turned into the system's separator, as the tool joins its paths.
    fs::path in_release(const fs::path &relative) const {
        return release.release_dir / fs::path(relative).make_preferred();
    }
    Result<fs::path> install() {
        return install_game(release, target(), compiled(), accepted_sha1);
    }
    // A previous finished build, to show what a failed installation keeps.
    void previous_stamp() {
        ASSERT_TRUE(write_stamp(target() / "build.json", {"1.0", "51520001", "old", "sample.exe"}));
    }

    test::TempFolder folder;
    test::EventCapture events;
    Release release;
};

TEST_F(Install, BareReleaseInstallsProgramPortableItemsAndStamp) {
    fs::permissions(compiled(), fs::perms::owner_exec, fs::perm_options::add);
    const auto installed = install();
    ASSERT_TRUE(installed) << installed.error().message;
    EXPECT_EQ(*installed, target() / "sample.exe");
    EXPECT_EQ(entries(target()),
              (std::set<std::string>{"sample.exe", "user", ".quillon-portable", "build.json"}));
    EXPECT_EQ(test::read_text(target() / "sample.exe"), "program v1");
#ifndef _WIN32
    EXPECT_NE(fs::status(target() / "sample.exe").permissions() & fs::perms::owner_exec,
              fs::perms::none);
#endif
    EXPECT_EQ(test::read_text(target() / ".quillon-portable"), "1\n");
    const auto stamp = read_stamp(target() / "build.json");
    ASSERT_TRUE(stamp);
    EXPECT_EQ(stamp->release_version, "2.5");
    EXPECT_EQ(stamp->title_id, "51520001");
    EXPECT_EQ(stamp->xbe_sha1, accepted_sha1);
    EXPECT_EQ(stamp->exe, "sample.exe");
    EXPECT_EQ(events.of_kind("progress").at(0)["stage"], "install");
}

TEST_F(Install, FullReleasePlacesEveryOptionalItem) {
    test::write_text(in_release("runtime/data/shaders.bin"), "shaders");
    test::write_text(in_release("runtime/runtime.dll"), "runtime");
    test::write_text(in_release("dxc/libdxcompiler.so"), "dxc");
    test::write_text(in_release("Launch Sample.cmd"), "launch");
    for (const char *name : {"icon.ico", "icon.png", "LICENSE", "NOTICE.txt"})
        test::write_text(in_release(name), std::string("content of ") + name);
    release.launcher = "Launch Sample.cmd";
    // Kept: the player's data, the extracted game, and anything else already there.
    test::write_text(target() / "user" / "save.dat", "progress");
    test::write_text(target() / "game" / "default.xbe", "xbe");

    const auto installed = install();
    ASSERT_TRUE(installed) << installed.error().message;
    EXPECT_EQ(test::read_text(target() / "data" / "shaders.bin"), "shaders");
    EXPECT_EQ(test::read_text(target() / "runtime.dll"), "runtime");
    EXPECT_EQ(test::read_text(target() / "libdxcompiler.so"), "dxc");
    EXPECT_EQ(test::read_text(target() / "Launch Sample.cmd"), "launch");
    for (const char *name : {"icon.ico", "icon.png", "LICENSE", "NOTICE.txt"})
        EXPECT_EQ(test::read_text(target() / name), std::string("content of ") + name);
    EXPECT_EQ(test::read_text(target() / "user" / "save.dat"), "progress");
    EXPECT_EQ(test::read_text(target() / "game" / "default.xbe"), "xbe");
    EXPECT_FALSE(fs::exists(target() / "sample.exe.part"));
    EXPECT_TRUE(read_stamp(target() / "build.json"));
}

TEST_F(Install, SecondInstallationReplacesTheProgramAndRewritesOnlyChangedRuntimeFiles) {
    test::write_text(in_release("runtime/same.dll"), "unchanged");
    test::write_text(in_release("runtime/changed.dll"), "old");
    ASSERT_TRUE(install());
    age(target() / "same.dll");
    age(target() / "changed.dll");
    const auto same_time = fs::last_write_time(target() / "same.dll");
    const auto changed_time = fs::last_write_time(target() / "changed.dll");

    test::write_text(in_release("runtime/changed.dll"), "new");
    test::write_text(compiled(), "program v2");
    ASSERT_TRUE(install());
    EXPECT_EQ(fs::last_write_time(target() / "same.dll"), same_time);
    EXPECT_NE(fs::last_write_time(target() / "changed.dll"), changed_time);
    EXPECT_EQ(test::read_text(target() / "changed.dll"), "new");
    EXPECT_EQ(test::read_text(target() / "sample.exe"), "program v2");
}

TEST_F(Install, ShaderCompilerIsReplacedNotWrittenThrough) {
    // A hard link in the installation must not carry the new library into the file it shares.
    test::write_text(in_release("dxc/libdxcompiler.so"), "new dxc");
    test::write_text(folder / "elsewhere.so", "someone else's");
    fs::create_hard_link(folder / "elsewhere.so", target() / "libdxcompiler.so");
    ASSERT_TRUE(install());
    EXPECT_EQ(test::read_text(target() / "libdxcompiler.so"), "new dxc");
    EXPECT_EQ(test::read_text(folder / "elsewhere.so"), "someone else's");
}

TEST_F(Install, LauncherMustBeABareFileName) {
    test::write_text(in_release("launch.cmd"), "launch");
    fs::create_directories(in_release("sub"));
    test::write_text(in_release("sub/launch.cmd"), "nested");
    struct Case {
        std::string launcher;
        bool accepted;
    };
    const Case cases[] = {
        {"launch.cmd", true},
        {"sub/launch.cmd", false},
        {"sub\\launch.cmd", false},
        {"launch.cmd/", false},
        {"sub/", false},
        {"..", false},
        {".", false},
        {"", false},
        {"/launch.cmd", false},
        {std::string("launch.cmd\0x", 12), false},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.launcher);
        EXPECT_EQ(is_bare_file_name(test.launcher), test.accepted);
        if (test.accepted)
            continue;
        fs::remove(target() / "build.json");
        release.launcher = test.launcher;
        const auto result = install();
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().message, "invalid launcher file name in release.json");
        EXPECT_EQ(result.error().kind, ErrorKind::Ordinary);
        EXPECT_FALSE(fs::exists(target() / "build.json"));
    }
}

TEST_F(Install, FailuresKeepThePreviousStamp) {
    struct Case {
        const char *name;
        std::function<void()> arrange;
        std::function<std::string()> message_start;
    };
    const Case cases[] = {
        {"program in the way of the rename",
         [this] { test::write_text(target() / "sample.exe" / "held", "x"); },
         [this] { return "cannot install " + path_text(target() / "sample.exe") + ": "; }},
        {"compiled program missing", [this] { fs::remove(compiled()); },
         [this] { return "cannot install " + path_text(target() / "sample.exe") + ": "; }},
        {"launcher named but absent", [this] { release.launcher = "launch.cmd"; },
         [] { return std::string("cannot install launcher: "); }},
        {"icon target is a folder",
         [this] {
             test::write_text(in_release("icon.png"), "png");
             test::write_text(target() / "icon.png" / "held", "x");
         },
         [] { return std::string("cannot install icon.png: "); }},
        {"user is a file", [this] { test::write_text(target() / "user", "not a folder"); },
         [] { return std::string("cannot enable portable installation: "); }},
        {"portable flag is a folder",
         [this] { fs::create_directories(target() / ".quillon-portable"); },
         [] { return std::string("cannot enable portable installation: "); }},
        {"runtime file cannot replace a folder",
         [this] {
             test::write_text(in_release("runtime/data"), "file");
             test::write_text(target() / "data" / "held", "x");
         },
         [this] { return "cannot copy " + path_text(in_release("runtime/data")) + ": "; }},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        fs::remove_all(target());
        fs::remove_all(release.release_dir);
        fs::create_directories(target());
        fs::create_directories(release.release_dir);
        test::write_text(compiled(), "program v1");
        release.launcher.reset();
        previous_stamp();
        test.arrange();
        const auto result = install();
        ASSERT_FALSE(result);
        EXPECT_TRUE(result.error().message.starts_with(test.message_start()))
            << result.error().message;
        EXPECT_GT(result.error().message.size(), test.message_start().size());
        const auto stamp = read_stamp(target() / "build.json");
        ASSERT_TRUE(stamp);
        EXPECT_EQ(stamp->xbe_sha1, "old");
        EXPECT_FALSE(fs::exists(target() / "build.json.part"));
    }
}

TEST(FolderSync, RewritesOnlyDifferingFilesAndNeverDeletes) {
    test::TempFolder folder;
    const fs::path source = folder / "source";
    const fs::path target = folder / "target";
    const std::string large(200 * 1024, 'x');
    test::write_text(source / "same.txt", "same");
    test::write_text(source / "nested" / "deep" / "same.bin", large);
    test::write_text(source / "grown.txt", "short");
    test::write_text(source / "same_size.txt", "abcd");
    test::write_text(source / "tail_differs.bin", large);
    ASSERT_TRUE(sync_folder_tree(source, target));
    EXPECT_EQ(entries(target), entries(source));

    test::write_text(target / "only_in_target.txt", "kept");
    test::write_text(source / "grown.txt", "longer now");
    test::write_text(source / "same_size.txt", "abce");
    test::write_text(source / "tail_differs.bin", large.substr(0, large.size() - 1) + "y");
    const std::pair<const char *, bool> files[] = {
        {"same.txt", false},     {"nested/deep/same.bin", false}, {"grown.txt", true},
        {"same_size.txt", true}, {"tail_differs.bin", true}, // past the first compared chunk
    };
    std::map<std::string, fs::file_time_type> before;
    for (const auto &[name, rewritten] : files) {
        age(target / name);
        before[name] = fs::last_write_time(target / name);
    }

    ASSERT_TRUE(sync_folder_tree(source, target));
    for (const auto &[name, rewritten] : files) {
        SCOPED_TRACE(name);
        EXPECT_EQ(test::read_text(target / name), test::read_text(source / name));
        EXPECT_EQ(fs::last_write_time(target / name) != before[name], rewritten);
    }
    EXPECT_EQ(test::read_text(target / "only_in_target.txt"), "kept");
}

TEST(FolderSync, Failures) {
    test::TempFolder folder;
    test::write_text(folder / "source" / "file.txt", "x");
    test::write_text(folder / "blocker", "a file where a folder should be");

    const auto missing = sync_folder_tree(folder / "absent", folder / "target");
    ASSERT_FALSE(missing);
    EXPECT_TRUE(
        missing.error().message.starts_with("cannot read " + path_text(folder / "absent") + ": "));

    const auto blocked = sync_folder_tree(folder / "source", folder / "blocker" / "target");
    ASSERT_FALSE(blocked);
    EXPECT_TRUE(blocked.error().message.starts_with(
        "cannot create " + path_text(folder / "blocker" / "target") + ": "));
}

} // namespace
} // namespace ormolt
