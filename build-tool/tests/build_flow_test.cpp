// The built ormolt-build run the way a launcher runs it, through whole build and relink
// commands, with a release whose Python and CMake are the recording stand-in.
#include "cli/entry.h"
#include "fake_release.h"
#include "files/folder_tree.h"
#include "identity/file_sha1.h"
#include "pipeline/compile.h"
#include "platform/platform.h"
#include "records/message.h"
#include "records/state_records.h"
#include "records/unicode_width.h"
#include "test_support.h"
#include "testkit/release_folder.h"
#include "testkit/sample_game.h"

#include <algorithm>
#include <cstdlib>

namespace ormolt {
namespace {

namespace fs = std::filesystem;
using test::write_text;

std::string exe_name(const std::string &stem) {
    return stem + platform::executable_suffix;
}

class BuildFlow : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto nodes = testkit::sample_game_nodes(testkit::sample_xbe());
        ASSERT_FALSE(testkit::write_game_folder(temp_ / "disc", nodes));
        ASSERT_FALSE(testkit::write_disc_image(image(), nodes));
        auto digest = file_sha1_hex(temp_ / "disc" / "default.xbe");
        ASSERT_TRUE(digest.has_value());
        sha1_ = *digest;

        description_.title_id = "51520001";
        description_.exe = "game";
        description_.images = {{sha1_, "Sample (USA)", std::nullopt}};
        description_.xbe_sha1.clear();
        ASSERT_FALSE(testkit::write_release(release(), description_));
        ASSERT_FALSE(testkit::place_program(release(), ORMOLT_BUILD_EXE));
        for (const fs::path &stand_in :
             {release() / "python" / exe_name("python"),
              release() / "toolchain" / "cmake" / "bin" / exe_name("cmake")}) {
            fs::create_directories(stand_in.parent_path());
            fs::copy_file(HELPER_fake_tool, stand_in);
        }
        write_text(release() / "recipe" / "CMakeLists.txt", "project(game)\n");
        write_text(release() / "LICENSE", "license text");
        fs::create_directories(release() / "toolkit");
        fs::create_directories(temp_ / "scratch");

        environment_["ORMOLT_BUILD_DIR"] = path_text(temp_ / "builds");
        // What any program needs to start on this system.
        for (const char *name : {"PATH", "SystemRoot", "windir", "TEMP", "TMP", "HOME"})
            if (const char *value = std::getenv(name))
                environment_[name] = value;
    }

    fs::path release() const { return temp_ / "R"; }
    fs::path image() const { return temp_ / "game.iso"; }
    fs::path program() const { return release() / "bin" / fs::path(ORMOLT_BUILD_EXE).filename(); }
    fs::path default_folder() const { return temp_ / "builds" / "51520001"; }

    struct Outcome {
        int exit_status;
        std::vector<Event> events;
        std::string err;
        std::vector<std::string> kinds() const {
            std::vector<std::string> found;
            for (const auto &event : events)
                if (event["event"] != "progress" && event["event"] != "log")
                    found.push_back(event["event"]);
            return found;
        }
        std::string error_message() const {
            return events.empty() || events.back()["event"] != "error"
                       ? std::string()
                       : events.back()["message"].get<std::string>();
        }
    };

    Outcome run(const std::vector<std::string> &arguments, fs::path working_folder = {},
                fs::path tool = {}) {
        if (working_folder.empty())
            working_folder = temp_.path();
        const auto result = test::run_program(tool.empty() ? program() : tool, arguments,
                                              working_folder, environment_, temp_ / "scratch");
        Outcome outcome{result.exit_status, {}, result.err};
        std::istringstream lines(result.out);
        for (std::string line; std::getline(lines, line);)
            outcome.events.push_back(Event::parse(line));
        return outcome;
    }

    test::TempFolder temp_;
    testkit::ReleaseDescription description_;
    std::string sha1_;
    std::map<std::string, std::string> environment_;
};

TEST_F(BuildFlow, BuildsInstallsAndRebuildsFromTheRecordedSource) {
    const fs::path f = temp_ / "install";
    auto first = run({"build", "--source", path_text(image()), "--install-dir", path_text(f)});
    ASSERT_EQ(first.exit_status, 0) << first.error_message();
    EXPECT_EQ(first.err, "");
    EXPECT_EQ(first.kinds(), (std::vector<std::string>{"start", "done"}));
    const Event &start = first.events.front();
    EXPECT_EQ(start["log"], path_text(f / "build.log"));
    EXPECT_EQ(start["source"], path_text(image()));
    EXPECT_EQ(start["title"], "Sample Game");
    EXPECT_EQ(start["user_dir"], path_text(f));
    const Event &done = first.events.back();
    EXPECT_EQ(done["exe"], path_text(f / "game.exe"));
    EXPECT_EQ(done["game_dir"], path_text(f / "game"));
    EXPECT_DOUBLE_EQ(first.events[first.events.size() - 2]["overall"].get<double>(), 1.0);

    EXPECT_EQ(test::read_text(f / "game.exe"), "program");
    EXPECT_EQ(test::read_text(f / "LICENSE"), "license text");
    EXPECT_EQ(test::read_text(f / ".quillon-install"), "51520001");
    EXPECT_EQ(test::read_text(f / ".quillon-portable"), "1\n");
    const auto stamp = read_stamp(f / "build.json");
    ASSERT_TRUE(stamp.has_value());
    EXPECT_EQ(stamp->xbe_sha1, sha1_);
    for (const char *temporary : {"project", "pipe", "build", "zig-cache", "tmp", "build.lock"})
        EXPECT_FALSE(fs::exists(f / temporary)) << temporary;
    EXPECT_TRUE(
        test::read_text(f / "build.log").starts_with("ormolt-build 0.1.0 for Sample Game 1.0\n"));
    EXPECT_EQ(fs::path(test::read_text(default_folder() / "install-location.txt")), f);

    // Without --source the recorded image is used, and it is not extracted again; status says
    // the folder is ready.
    auto second = run({"build"});
    ASSERT_EQ(second.exit_status, 0) << second.error_message();
    bool shortcut = false;
    for (const auto &event : second.events)
        shortcut =
            shortcut || (event["event"] == "progress" && event["detail"] == "already extracted");
    EXPECT_TRUE(shortcut);
    auto status = run({"status"});
    ASSERT_EQ(status.events.size(), 1u);
    EXPECT_EQ(status.events[0]["state"], "ready");
}

// The disc's file system ignores letter case, so a disc whose XBE is "DEFAULT.XBE" builds and
// is ready on every system, as the release helper that accepted it says.
TEST_F(BuildFlow, ADiscNamingItsXbeInCapitalsBuilds) {
    auto nodes = testkit::sample_game_nodes(testkit::sample_xbe());
    for (auto &node : nodes)
        if (node.name == "default.xbe")
            node.name = "DEFAULT.XBE";
    ASSERT_FALSE(testkit::write_disc_image(temp_ / "capitals.iso", nodes));
    const auto built = run({"build", "--source", path_text(temp_ / "capitals.iso")});
    ASSERT_EQ(built.exit_status, 0) << built.error_message();
    EXPECT_EQ(run({"status"}).events[0]["state"], "ready");
}

TEST_F(BuildFlow, AnyTitleRebuildsItsOwnFolder) {
    // A release for another game, its title id written in lower case: the folder is marked with
    // the normalised id, and every later build (also after a release update) accepts it.
    description_.title_id = "4d530004";
    ASSERT_FALSE(testkit::write_release(release(), description_));
    const fs::path f = temp_ / "builds" / "4D530004";
    for (const std::string version : {"1.0", "1.0", "1.1"}) {
        SCOPED_TRACE("release version " + version);
        description_.version = version;
        ASSERT_FALSE(testkit::write_release(release(), description_));
        const auto built = run({"build", "--source", path_text(image())});
        ASSERT_EQ(built.exit_status, 0) << built.error_message();
        EXPECT_EQ(test::read_text(f / ".quillon-install"), "4D530004");
        const auto stamp = read_stamp(f / "build.json");
        ASSERT_TRUE(stamp.has_value());
        EXPECT_EQ(stamp->title_id, "4D530004");
        EXPECT_EQ(stamp->release_version, version);
    }
    // A folder of the sample title is still another game's folder for this release.
    const fs::path sample = temp_ / "sample";
    write_text(sample / ".quillon-install", "51520001");
    const auto refused =
        run({"build", "--source", path_text(image()), "--install-dir", path_text(sample)});
    EXPECT_EQ(refused.exit_status, 1);
    EXPECT_EQ(refused.error_message(),
              "Choose an empty installation folder, or an existing Quillon installation.");
}

TEST_F(BuildFlow, ARelativeReleaseFolderServesAWholeBuild) {
    // Run from inside the release as "--release .": every program and path the toolkit and
    // CMake are given must name the release absolutely, since they run in other folders.
    const fs::path f = temp_ / "install";
    auto built = run(
        {"build", "--source", path_text(image()), "--install-dir", path_text(f), "--release", "."},
        release());
    ASSERT_EQ(built.exit_status, 0) << built.error_message();
    EXPECT_EQ(built.kinds(), (std::vector<std::string>{"start", "done"}));
    EXPECT_EQ(test::read_text(f / "game.exe"), "program");

    const auto python = test::read_calls(release() / "python" / "calls.txt");
    ASSERT_FALSE(python.empty());
    const auto &symbols = python.front().arguments;
    const auto cli = std::find(symbols.begin(), symbols.end(), "--cli");
    ASSERT_NE(cli, symbols.end());
    ASSERT_NE(std::next(cli), symbols.end());
    EXPECT_EQ(*std::next(cli), path_text(release_folder::fendrel_cli(release())));
    const auto cmake = test::read_calls(release() / "toolchain" / "cmake" / "bin" / "calls.txt");
    ASSERT_FALSE(cmake.empty());
    const std::string engine = "-DORMOLT_DIR=" + cmake_path_text(release() / "engine");
    EXPECT_NE(std::find(cmake.front().arguments.begin(), cmake.front().arguments.end(), engine),
              cmake.front().arguments.end());
    for (const auto &call : cmake) {
        for (const auto &argument : call.arguments) {
            if (!argument.starts_with("-D") || argument == "-DCMAKE_BUILD_TYPE=Release")
                continue;
            EXPECT_TRUE(fs::path(argument.substr(argument.find('=') + 1)).is_absolute())
                << argument;
        }
    }

    // status from the same place, the same way, finds that build.
    const auto status = run({"status", "--release", "."}, release());
    ASSERT_EQ(status.events.size(), 1u);
    EXPECT_EQ(status.events[0]["state"], "ready");
}

TEST_F(BuildFlow, RelinkChecksTheCopy) {
    auto built = run({"build", "--source", path_text(image())});
    ASSERT_EQ(built.exit_status, 0) << built.error_message();
    const fs::path f = default_folder();

    // The same copy elsewhere: relinked, nothing compiled.
    fs::remove(release() / "python" / "calls.txt");
    auto same = run({"relink", "--source", path_text(temp_ / "disc")});
    ASSERT_EQ(same.exit_status, 0) << same.error_message();
    EXPECT_EQ(same.kinds(), (std::vector<std::string>{"start", "done"}));
    EXPECT_FALSE(fs::exists(release() / "python" / "calls.txt"));
    EXPECT_TRUE(test::read_text(f / "build.log").find("relink from " + path_text(temp_ / "disc")) !=
                std::string::npos);
}

TEST_F(BuildFlow, RelinkFromAnotherCopyLeavesTheBuildWorking) {
    // The release supports a second copy; a third is not among its images.
    write_text(temp_ / "second" / "default.xbe", "second xbe");
    const std::string second = *file_sha1_hex(temp_ / "second" / "default.xbe");
    description_.images.push_back({second, "Sample (Europe)", std::nullopt});
    ASSERT_FALSE(testkit::write_release(release(), description_));
    write_text(temp_ / "third" / "default.xbe", "third xbe");
    const std::string third = *file_sha1_hex(temp_ / "third" / "default.xbe");
    for (const char *copy : {"second", "third"})
        ASSERT_FALSE(testkit::write_disc_image(
            temp_ / (std::string(copy) + ".iso"),
            {testkit::DiscNode::file("default.xbe", test::read_text(temp_ / copy / "default.xbe")),
             testkit::DiscNode::file("extra.dat", "more")}));
    write_text(temp_ / "no-game" / "readme.txt", "no game here");
    // The disc's file system ignores letter case: its "DEFAULT.XBE" is the game's default.xbe.
    ASSERT_FALSE(testkit::write_disc_image(
        temp_ / "upper.iso",
        {testkit::DiscNode::file("DEFAULT.XBE",
                                 test::read_text(temp_ / "second" / "default.xbe"))}));
    ASSERT_FALSE(testkit::write_disc_image(temp_ / "empty.iso",
                                           {testkit::DiscNode::file("readme.txt", "no game")}));
    ASSERT_FALSE(testkit::write_disc_image(
        temp_ / "nested.iso",
        {testkit::DiscNode::folder("default.xbe", {testkit::DiscNode::file("x", "x")})}));

    auto built = run({"build", "--source", path_text(image())});
    ASSERT_EQ(built.exit_status, 0) << built.error_message();
    const fs::path f = default_folder();

    const std::string rebuild = "This is a different copy of Sample Game from the one it was "
                                "built from (its default.xbe has SHA-1 " +
                                second + ", not " + sha1_ + "). Build again to use it.";
    const std::string unsupported =
        "This isn't a copy of Sample Game this release supports. Its default.xbe is an "
        "unreadable XBE, SHA-1 " +
        third + ". This release was made for: Sample (USA) (" + sha1_ + "), Sample (Europe) (" +
        second + ").";
    const std::string no_xbe = "This isn't a copy of Sample Game: it has no default.xbe.";
    struct Case {
        const char *source;
        int exit_status;
        std::string message;
    };
    const Case cases[] = {
        {"second", 3, rebuild},        {"second.iso", 3, rebuild}, {"third", 2, unsupported},
        {"third.iso", 2, unsupported}, {"empty.iso", 2, no_xbe},   {"nested.iso", 2, no_xbe},
        {"no-game", 2, no_xbe},        {"upper.iso", 3, rebuild},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.source);
        const auto outcome = run({"relink", "--source", path_text(temp_ / c.source)});
        EXPECT_EQ(outcome.exit_status, c.exit_status);
        EXPECT_EQ(outcome.error_message(), c.message);
        // Nothing in the folder changed: the build still runs.
        EXPECT_TRUE(fs::exists(f / "build.json"));
        EXPECT_EQ(file_sha1_hex(f / "game" / "default.xbe").value_or(""), sha1_);
        EXPECT_FALSE(fs::exists(f / "game" / "extra.dat"));
        const auto recorded = read_source_record(f / "source.json");
        EXPECT_EQ(recorded ? recorded->path : "", path_text(image()));
        EXPECT_EQ(run({"status"}).events[0]["state"], "ready");
    }

    // A damaged image is refused with the extraction's own words, before anything changes.
    write_text(temp_ / "broken.iso", "not a disc");
    const auto broken = run({"relink", "--source", path_text(temp_ / "broken.iso")});
    EXPECT_EQ(broken.exit_status, 1);
    EXPECT_EQ(broken.error_message(),
              path_text(temp_ / "broken.iso") + " is not an Xbox disc image (InvalidVolume)");
    EXPECT_EQ(run({"status"}).events[0]["state"], "ready");
}

TEST_F(BuildFlow, FolderAndSourceChecks) {
    struct Case {
        std::string name;
        std::vector<std::string> arguments;
        std::function<void()> prepare;
        int exit_status;
        std::string message;
    };
    const fs::path f = temp_ / "f";
    const std::string another_game =
        "This folder contains another game. Choose a separate folder for Quillon. To build this "
        "game elsewhere, run the build with --install-dir and a new folder.";
    const Case cases[] = {
        {"relative folder",
         {"build", "--install-dir", "relative"},
         [] {},
         1,
         "Choose an absolute installation folder."},
        {"folder inside the source",
         {"build", "--source", path_text(temp_ / "disc"), "--install-dir",
          path_text(temp_ / "disc" / "out")},
         [] {},
         1,
         "Choose an installation folder separate from the source game folder."},
        {"source inside the folder",
         {"build", "--source", path_text(temp_ / "disc"), "--install-dir", path_text(temp_.path())},
         [] {},
         1,
         "Choose an installation folder separate from the source game folder."},
        {"foreign files",
         {"build", "--install-dir", path_text(f)},
         [&] { write_text(f / "notes.txt", "mine"); },
         1,
         "Choose an empty installation folder, or an existing Quillon installation."},
        {"marker with a line end",
         {"build", "--install-dir", path_text(f)},
         [&] { write_text(f / ".quillon-install", "51520001\n"); },
         1,
         "Choose an empty installation folder, or an existing Quillon installation."},
        {"another game",
         {"build", "--install-dir", path_text(f)},
         [&] {
             write_text(f / ".quillon-install", "51520001");
             write_text(f / "build.json", R"({"release_version": "1", "title_id": "4D530004", )"
                                          R"("xbe_sha1": "aa", "exe": "x.exe"})");
         },
         1,
         another_game},
        {"another game with the same title id",
         {"build", "--install-dir", path_text(f)},
         [&] {
             write_text(f / ".quillon-install", "51520001");
             write_text(f / "build.json", R"({"release_version": "1", "title_id": "51520001", )"
                                          R"("xbe_sha1": "aa", "exe": "x.exe"})");
         },
         1,
         another_game},
        {"no source yet",
         {"build", "--install-dir", path_text(f)},
         [] {},
         1,
         "no disc chosen yet: pass --source <iso or folder>"},
        {"relink without a build",
         {"relink", "--source", path_text(image())},
         [] {},
         1,
         "nothing is built yet: build it first"},
    };
    for (const auto &c : cases) {
        fs::remove_all(f);
        c.prepare();
        const auto outcome = run(c.arguments);
        EXPECT_EQ(outcome.exit_status, c.exit_status) << c.name;
        EXPECT_EQ(outcome.error_message(), c.message) << c.name;
        EXPECT_FALSE(fs::exists(f / "build.lock")) << c.name;
    }
    EXPECT_FALSE(fs::exists(temp_ / "relative"));
    // A refused folder is refused before it is made.
    EXPECT_FALSE(fs::exists(temp_ / "disc" / "out"));
    // Where the file system ignores letter case, another spelling of the source folder is the
    // source folder: building into it would copy the source into itself.
    if (fs::exists(temp_ / "DISC")) {
        for (const fs::path &inside : {temp_ / "DISC" / "out", temp_ / "Disc"}) {
            SCOPED_TRACE(path_text(inside));
            const auto outcome = run({"build", "--source", path_text(temp_ / "disc"),
                                      "--install-dir", path_text(inside)});
            EXPECT_EQ(outcome.exit_status, 1);
            EXPECT_EQ(outcome.error_message(),
                      "Choose an installation folder separate from the source game folder.");
            EXPECT_FALSE(fs::exists(temp_ / "disc" / "out"));
            EXPECT_FALSE(fs::exists(temp_ / "disc" / "build.lock"));
        }
    }
    // A disc image may sit inside the installation folder it is built into.
    fs::create_directories(f);
    write_text(f / ".quillon-install", "51520001");
    fs::copy_file(image(), f / "game.iso");
    const auto inside =
        run({"build", "--source", path_text(f / "game.iso"), "--install-dir", path_text(f)});
    EXPECT_EQ(inside.exit_status, 0) << inside.error_message();
}

// Files copied from a disc are read-only, and so may be the release's own files: the copies in
// the installation folder must not stop the next build from replacing or removing them, and the
// user's source and the release are never changed.
TEST_F(BuildFlow, ReadOnlySourceAndReleaseFilesAllowEveryLaterBuild) {
    const auto read_only = [](const fs::path &file, bool on) {
        fs::permissions(file,
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        on ? fs::perm_options::remove : fs::perm_options::add);
    };
    const fs::path game_file = temp_ / "disc" / "media" / "intro.txt";
    const fs::path recipe_file = release() / "recipe" / "CMakeLists.txt";
    read_only(game_file, true);
    read_only(recipe_file, true);
    const fs::path f = temp_ / "install";
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        const auto outcome =
            run({"build", "--source", path_text(temp_ / "disc"), "--install-dir", path_text(f)});
        EXPECT_EQ(outcome.exit_status, 0) << outcome.error_message();
        EXPECT_EQ(test::read_text(f / "game" / "media" / "intro.txt"),
                  "Welcome to the sample game.\n");
        EXPECT_FALSE(fs::exists(f / "project"));
        // The copy can be written over, by the next build or by the player.
        EXPECT_NE(fs::status(f / "game" / "media" / "intro.txt").permissions() &
                      fs::perms::owner_write,
                  fs::perms::none);
        if (round == 2) { // a relink replaces the game folder as well
            EXPECT_EQ(run({"relink", "--source", path_text(temp_ / "disc")}).exit_status, 0);
        }
    }
    EXPECT_EQ(fs::status(game_file).permissions() & fs::perms::owner_write, fs::perms::none);
    EXPECT_EQ(fs::status(recipe_file).permissions() & fs::perms::owner_write, fs::perms::none);
    read_only(game_file, false);
    read_only(recipe_file, false);
}

// Ctrl-C, a closed terminal or a launcher's Cancel stop the tool while a child of it runs: the
// child ends with the tool, so that it neither goes on writing into the folder that the next run
// takes over nor keeps the launcher's pipe open, and the same command then goes on.
TEST_F(BuildFlow, StoppingTheToolEndsTheRunningChild) {
    // POSIX stops the tool with a signal that it handles; Windows ends it as a launcher does,
    // with TerminateProcess, which leaves it no last words.
    const bool last_words = std::string_view(platform::executable_suffix).empty();
    const fs::path python = release() / "python" / exe_name("python");
    const fs::path child_pid = release() / "toolkit" / "child.pid";
    const fs::path f = temp_ / "install";
    for (const char *signal : {"TERM", "INT", "HUP"}) {
        SCOPED_TRACE(signal);
        fs::copy_file(HELPER_stopping_child, python, fs::copy_options::overwrite_existing);
        environment_["STOPPING_CHILD_SIGNAL"] = signal;
        const auto stopped =
            run({"build", "--source", path_text(image()), "--install-dir", path_text(f)});
        EXPECT_EQ(stopped.exit_status, 1);
        if (last_words) {
            EXPECT_EQ(stopped.error_message(), stopped_message);
            EXPECT_FALSE(fs::exists(f / "build.lock")); // let go, not left for the next to judge
        }
        const std::string pid = test::read_text(child_pid);
        ASSERT_FALSE(pid.empty());
        EXPECT_EQ(platform::process_liveness(static_cast<std::uint32_t>(std::stoul(pid))),
                  platform::Liveness::NotRunning);
        fs::remove(child_pid);

        fs::copy_file(HELPER_fake_tool, python, fs::copy_options::overwrite_existing);
        const auto again = run({"build", "--install-dir", path_text(f)});
        EXPECT_EQ(again.exit_status, 0) << again.error_message();
    }
    // Ctrl-C at a terminal: the status line gives way to one line that says what to do.
    if (last_words) {
        fs::copy_file(HELPER_stopping_child, python, fs::copy_options::overwrite_existing);
        auto environment = environment_;
        environment["STOPPING_CHILD_SIGNAL"] = "INT";
        environment["TERM"] = "xterm";
        const auto shown =
            test::run_on_terminal(program(), {"build", "--install-dir", path_text(f)}, temp_.path(),
                                  environment, temp_ / "scratch", 80);
        EXPECT_EQ(shown.exit_status, 1);
        EXPECT_TRUE(shown.out.ends_with("\r\x1b[K\x1b[31m\xE2\x9C\x97\x1b[0m Translating the game "
                                        "to C\r\n\x1b[31mError:\x1b[0m " +
                                        std::string(stopped_message) + "\r\n"))
            << shown.out;
        fs::remove(child_pid);
    }
}

// Players redirect their folders and choose deep ones: a whole build into a folder beyond the
// classic 260-character limit, and on Windows paths given in the extended-length form, which
// messages and events show in their plain form.
TEST_F(BuildFlow, LongAndExtendedLengthPaths) {
    fs::path f = temp_ / "deep";
    while (path_text(f).size() < 300)
        f /= "a folder with a rather long name";
    auto built = run({"build", "--source", path_text(image()), "--install-dir", path_text(f)});
    ASSERT_EQ(built.exit_status, 0) << built.error_message();
    EXPECT_EQ(built.events.back()["exe"], path_text(f / "game.exe"));
    EXPECT_EQ(run({"build"}).exit_status, 0);
    auto status = run({"status"});
    ASSERT_EQ(status.events.size(), 1u);
    EXPECT_EQ(status.events[0]["state"], "ready");
    ASSERT_TRUE(remove_if_present(temp_ / "deep").has_value());

    if (std::string_view(platform::executable_suffix).empty())
        return; // the prefix is Windows' own
    const fs::path g = temp_ / "extended";
    const std::string prefix = "\\\\?\\";
    auto extended = run({"build", "--source", prefix + path_text(temp_ / "disc"), "--install-dir",
                         prefix + path_text(g), "--release", prefix + path_text(release())});
    ASSERT_EQ(extended.exit_status, 0) << extended.error_message();
    const Event &start = extended.events.front();
    EXPECT_EQ(start["user_dir"], path_text(g));
    EXPECT_EQ(start["source"], path_text(temp_ / "disc"));
    EXPECT_EQ(extended.events.back()["exe"], path_text(g / "game.exe"));
    // The overlap check sees through the prefix too.
    auto inside = run({"build", "--source", prefix + path_text(temp_ / "disc"), "--install-dir",
                       path_text(temp_ / "disc" / "out")});
    EXPECT_EQ(inside.error_message(),
              "Choose an installation folder separate from the source game folder.");
}

TEST_F(BuildFlow, ALiveOwnerKeepsTheFolderBusy) {
    const fs::path f = temp_ / "install";
    write_text(f / ".quillon-install", "51520001");
    test::IdleChild owner(HELPER_idle_child);
    ASSERT_NE(owner.pid(), 0u);
    write_text(f / "build.lock", std::to_string(owner.pid()));
    const auto busy = run({"build", "--source", path_text(image()), "--install-dir", path_text(f)});
    EXPECT_EQ(busy.exit_status, 1);
    EXPECT_TRUE(busy.error_message().starts_with("this game is already being built"))
        << busy.error_message();
    EXPECT_FALSE(fs::exists(f / "game")); // nothing was done
    EXPECT_EQ(test::read_text(f / "build.lock"), std::to_string(owner.pid()));

    // Once its owner is gone the lock is stale and the build goes ahead.
    owner.end();
    const auto built =
        run({"build", "--source", path_text(image()), "--install-dir", path_text(f)});
    EXPECT_EQ(built.exit_status, 0) << built.error_message();
}

TEST_F(BuildFlow, LeftoversOfKilledRunsAreCleared) {
    // Temporaries with their writer's id in the name, left by runs killed part way: those of
    // writers that are gone go with the next build; a running writer's stay.
    test::IdleChild running(HELPER_idle_child);
    ASSERT_NE(running.pid(), 0u);
    test::IdleChild ended(HELPER_idle_child);
    ASSERT_NE(ended.pid(), 0u);
    ended.end();
    const fs::path f = default_folder();
    const std::string gone = std::to_string(ended.pid()), alive = std::to_string(running.pid());
    const fs::path cleared[] = {f / ("build.lock." + gone + "-0.new"),
                                f / ("install-location.txt." + gone + "-3.part")};
    const fs::path kept[] = {f / ("build.lock." + alive + "-0.new"),
                             f / ("install-location.txt." + alive + "-0.part")};
    write_text(f / ".quillon-install", "51520001");
    for (const auto &file : cleared)
        write_text(file, "left");
    for (const auto &file : kept)
        write_text(file, "left");

    const auto built = run({"build", "--source", path_text(image())});
    ASSERT_EQ(built.exit_status, 0) << built.error_message();
    for (const auto &file : cleared)
        EXPECT_FALSE(fs::exists(file)) << file;
    for (const auto &file : kept)
        EXPECT_TRUE(fs::exists(file)) << file;
}

#ifndef _WIN32
// (Pseudo-terminals are POSIX's.)
TEST_F(BuildFlow, AtATerminalWithoutAWidthOrColour) {
    // A terminal that reports no columns: COLUMNS says how wide it is. NO_COLOR: no colour.
    auto environment = environment_;
    environment["TERM"] = "xterm";
    environment["COLUMNS"] = "30";
    environment["NO_COLOR"] = "1";
    const auto built = test::run_on_terminal(program(), {"build", "--source", path_text(image())},
                                             temp_.path(), environment, temp_ / "scratch", 0);
    ASSERT_EQ(built.exit_status, 0) << built.out;
    EXPECT_NE(built.out.find("✓ Compiling"), std::string::npos) << built.out;
    EXPECT_EQ(built.out.find("\x1b[3"), std::string::npos) << built.out;
    std::size_t status_lines = 0;
    bool cut = false;
    for (std::size_t at = built.out.find('\r'); at != std::string::npos;
         at = built.out.find('\r', at + 1)) {
        const std::size_t end = built.out.find("\x1b[K", at);
        if (end == std::string::npos || built.out.find_first_of("\r\n", at + 1) < end ||
            end == at + 1)
            continue; // a line end or an erase, not a status line
        ++status_lines;
        const std::string line = built.out.substr(at + 1, end - at - 1);
        EXPECT_EQ(bytes_fitting_cells(line, 29), line.size()) << line; // one cell stays free
        cut = cut || bytes_fitting_cells(line, 28) < line.size();
    }
    EXPECT_GT(status_lines, 0u) << built.out;
    EXPECT_TRUE(cut) << built.out; // the long ones fill the 29 cells
}
#endif

// A build or relink that is refused leaves a working install as it was: its game, its records
// and its state. The copy is checked where it lies, before anything in the folder changes.
TEST_F(BuildFlow, ARefusedCopyLeavesTheWorkingInstallAsItWas) {
    write_text(temp_ / "other" / "default.xbe", "another game's xbe");
    write_text(temp_ / "other" / "media" / "other.txt", "another game");
    const std::string other = *file_sha1_hex(temp_ / "other" / "default.xbe");
    ASSERT_FALSE(testkit::write_disc_image(
        temp_ / "other.iso", {testkit::DiscNode::file("default.xbe", "another game's xbe"),
                              testkit::DiscNode::file("other.dat", "another game")}));
    const auto built = run({"build", "--source", path_text(image())});
    ASSERT_EQ(built.exit_status, 0) << built.error_message();
    const fs::path f = default_folder();
    const std::string stamp = test::read_text(f / "build.json");
    const std::string source = test::read_text(f / "source.json");
    const std::string unsupported =
        "This isn't a copy of Sample Game this release supports. Its default.xbe is an "
        "unreadable XBE, SHA-1 " +
        other + ". This release was made for: Sample (USA) (" + sha1_ + ").";
    const std::string inside = "Choose a copy of the game outside its installation folder.";
    // The folder of a second game with the same title id, as homebrew often has.
    testkit::ReleaseDescription second_game = description_;
    second_game.title_name = "Other Game";
    second_game.exe = "other";
    second_game.images = {{other, "", std::nullopt}};
    const fs::path second_release = temp_ / "R2";
    ASSERT_FALSE(testkit::write_release(second_release, second_game));
    ASSERT_FALSE(testkit::place_program(second_release, ORMOLT_BUILD_EXE));
    const fs::path second_program = second_release / "bin" / program().filename();
    const std::string another_game =
        "This folder contains another game. Choose a separate folder for Quillon.";
    struct Case {
        std::string name;
        std::vector<std::string> arguments;
        int exit_status;
        std::string message;
        fs::path tool; // empty: this release's
    };
    const Case cases[] = {
        {"build from another game's image",
         {"build", "--source", path_text(temp_ / "other.iso")},
         2,
         unsupported,
         {}},
        {"build from another game's folder",
         {"build", "--source", path_text(temp_ / "other")},
         2,
         unsupported,
         {}},
        {"relink from inside the game folder",
         {"relink", "--source", path_text(f / "game")},
         1,
         inside,
         {}},
        {"relink from a leftover partial copy",
         {"relink", "--source", path_text(f / "game.partial")},
         1,
         inside,
         {}},
        {"the other game's build",
         {"build", "--source", path_text(temp_ / "other")},
         1,
         another_game + " To build this game elsewhere, run the build with --install-dir and a "
                        "new folder.",
         second_program},
        {"the other game's relink",
         {"relink", "--source", path_text(temp_ / "other")},
         1,
         another_game,
         second_program},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        fs::create_directories(f / "game.partial");
        const auto outcome = run(c.arguments, {}, c.tool);
        EXPECT_EQ(outcome.exit_status, c.exit_status);
        EXPECT_EQ(outcome.error_message(), c.message);
        EXPECT_EQ(test::read_text(f / "game" / "media" / "intro.txt"),
                  "Welcome to the sample game.\n");
        EXPECT_FALSE(fs::exists(f / "game" / "other.dat"));
        EXPECT_EQ(test::read_text(f / "build.json"), stamp);
        EXPECT_EQ(test::read_text(f / "source.json"), source);
        EXPECT_EQ(run({"status"}).events[0]["state"], "ready");
        fs::remove_all(f / "game.partial");
    }
    // The other game's release finds nothing of its own there.
    const auto status = run({"status"}, {}, second_program);
    ASSERT_EQ(status.events.size(), 1u);
    EXPECT_EQ(status.events[0]["state"], "no-source");
    EXPECT_TRUE(status.events[0]["exe"].is_null());
}

} // namespace
} // namespace ormolt
