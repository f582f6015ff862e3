// The built ormolt-build run as a child process in a fresh folder with its own release folder
// and environment: exact standard output, standard error and exit status.
#include "cli/command_line.h"
#include "records/message.h"
#include "test_support.h"
#include "testkit/release_folder.h"

#include <gtest/gtest.h>

namespace ormolt {
namespace {

namespace fs = std::filesystem;
using test::write_text;

std::string quoted(const std::string &text) {
    return testkit::json_quote(text);
}

std::string error_line(const std::string &message) {
    return R"({"event":"error","message":)" + quoted(message) +
           R"(,"rebuild":false,"unsupported":false})" + "\n";
}

std::string status_line(const std::string &state, const fs::path &folder,
                        std::optional<std::string> source, std::optional<std::string> built,
                        bool with_exe) {
    const auto value = [](const std::optional<std::string> &text) {
        return text ? quoted(*text) : std::string("null");
    };
    return R"({"built_version":)" + value(built) + R"(,"event":"status","exe":)" +
           (with_exe ? quoted((folder / "game.exe").string()) : "null") + R"(,"source":)" +
           value(source) + R"(,"state":)" + quoted(state) + R"(,"user_dir":)" +
           quoted(folder.string()) + "}\n";
}

class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        testkit::ReleaseDescription description;
        description.title_id = "4d530004";
        description.version = "2.0";
        description.exe = "game";
        ASSERT_FALSE(testkit::write_release(release(), description));
        ASSERT_FALSE(testkit::place_program(release(), ORMOLT_BUILD_EXE));
        fs::create_directories(temp_ / "scratch");
        environment_ = {{"ORMOLT_BUILD_DIR", (temp_ / "builds").string()}};
#ifdef _WIN32
        // What any program needs to start on this system.
        for (const char *name : {"PATH", "SystemRoot", "windir"})
            if (const char *value = std::getenv(name))
                environment_[name] = value;
#else
        environment_["PATH"] = "/usr/bin:/bin";
#endif
    }

    fs::path release() const {
        return temp_ / "R";
    }
    fs::path program() const {
        return release() / "bin" / fs::path(ORMOLT_BUILD_EXE).filename();
    }
    fs::path default_folder() const {
        return temp_ / "builds" / "4D530004";
    }

    test::ProgramRun run(const std::vector<std::string> &arguments) {
        return test::run_program(program(), arguments, temp_.path(), environment_,
                                 temp_ / "scratch");
    }

    void expect_usage(const std::vector<std::string> &arguments) {
        const auto result = run(arguments);
        EXPECT_EQ(result.exit_status, 64);
        EXPECT_EQ(result.err, usage_text);
        EXPECT_EQ(result.out, "");
    }

    void expect_error(const std::vector<std::string> &arguments, const std::string &message) {
        const auto result = run(arguments);
        EXPECT_EQ(result.exit_status, 1);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, error_line(message));
    }

    test::TempFolder temp_;
    std::map<std::string, std::string> environment_;
};

TEST_F(EndToEnd, HelpPrintsTheUsageAndSucceeds) {
    // Asked for by a person: the usage text and status 0, with no event and nothing read, so it
    // works without a release as well.
    fs::remove(release() / "release.json");
    for (const std::vector<std::string> &arguments :
         {std::vector<std::string>{"--help"}, {"-h"}, {"help"}, {"build", "--help"}}) {
        const auto result = run(arguments);
        EXPECT_EQ(result.exit_status, 0) << arguments[0];
        EXPECT_EQ(result.err, usage_text) << arguments[0];
        EXPECT_EQ(result.out, "") << arguments[0];
    }
}

TEST_F(EndToEnd, UsageErrorsWriteOnlyTheUsageText) {
    EXPECT_EQ(std::string(usage_text),
              "usage: ormolt-build build [--source <iso or folder>] [--install-dir <folder>] "
              "[--release <dir>]\n"
              "       ormolt-build relink --source <iso or folder> [--release <dir>]\n"
              "       ormolt-build status [--release <dir>]\n");
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--source", "x", "build"},
        {"status", "x"},
        {"status", "--Release", "R"},
        {"status", "--release=R"},
        {"build", "--install-dir"},
        {"frobnicate", "--source", "a", "--install-dir"},
    };
    for (const auto &arguments : cases)
        expect_usage(arguments);
    // A usage error is found before the release description is read.
    fs::remove(release() / "release.json");
    expect_usage({"status", "bogus"});
}

TEST_F(EndToEnd, CommandsAreLookedUpAfterTheReleaseLoads) {
    expect_error({"frobnicate"}, "unknown command frobnicate");
    expect_error({"relink", "--source", "a.iso", "--release", release().string()},
                 "nothing is built yet: build it first");
    // The release folder is made absolute before anything is read from it.
    expect_error({"frobnicate", "--release", "missing"},
                 "cannot read " + (temp_ / "missing" / "release.json").string() + ": " +
                     test::nothing_at(temp_ / "missing" / "release.json"));
}

TEST_F(EndToEnd, ALauncherThatStopsListeningDoesNotEndTheRun) {
    for (const auto &[arguments, exit_status] :
         {std::pair{std::vector<std::string>{"frobnicate"}, 1},
          std::pair{std::vector<std::string>{"status"}, 0}}) {
        const auto result = test::run_program(program(), arguments, temp_.path(), environment_,
                                              temp_ / "scratch", true);
        EXPECT_EQ(result.exit_status, exit_status) << arguments[0];
    }
}

TEST_F(EndToEnd, RefusesBadReleaseDescriptions) {
    const std::string shown = (release() / "release.json").string();
    const std::vector<std::string> arguments{"status", "--release", release().string()};
    struct Case {
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {"\xEF\xBB\xBF{}", shown + " is not a valid release file: parse error at line 1, column "
                                   "1: a byte order mark is not JSON text"},
        {R"({"title_id": "a", "title_id": "b"})",
         shown +
             " is not a valid release file: duplicate member \"title_id\" at line 1, column 28"},
        {"{\"title_id\": ", shown + " is not a valid release file: parse error at line 1, column "
                                    "14: syntax error while parsing value - unexpected end of "
                                    "input; expected '[', '{', or a literal"},
        {R"({"title_id": "a", "title_name": "b", "version": "1", "exe": "g"})",
         shown + " names no default.xbe images"},
    };
    for (const Case &c : cases) {
        ASSERT_FALSE(testkit::write_release_text(release(), c.text));
        expect_error(arguments, c.message);
    }
    expect_error({"status", "--release", (temp_ / "none").string()},
                 "cannot read " + (temp_ / "none" / "release.json").string() + ": " + test::nothing_at(temp_ / "none" / "release.json"));
}

TEST_F(EndToEnd, StatusReportsEachState) {
    const fs::path f = default_folder();
    const std::string source = "/games/disc.iso";
    const auto source_json = [&] {
        write_text(f / "source.json", R"({"path": ")" + source + R"(", "size": 1, "mtime": 2})");
    };
    const auto build_json = [&](const std::string &version) {
        write_text(f / "build.json", R"({"release_version": ")" + version +
                                         R"(", "title_id": "4D530004", "xbe_sha1": "aa", )"
                                         R"("exe": "game.exe"})");
    };
    const auto expect_status = [&](const std::string &expected) {
        const auto result = run({"status", "--source", "x", "--install-dir", "/elsewhere"});
        EXPECT_EQ(result.exit_status, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, expected);
    };

    expect_status(status_line("no-source", f, std::nullopt, std::nullopt, false));
    EXPECT_FALSE(fs::exists(f)); // status creates nothing

    source_json();
    expect_status(status_line("unbuilt", f, source, std::nullopt, false));

    // An older build.json without exe counts as no build.
    write_text(f / "build.json", R"({"release_version": "2.0", "title_id": "T", "xbe_sha1": "a"})");
    expect_status(status_line("unbuilt", f, source, std::nullopt, false));

    build_json("1.0");
    write_text(f / "game.exe", "");
    expect_status(status_line("stale", f, source, "1.0", true));

    build_json("2.0");
    fs::remove(f / "game.exe");
    expect_status(status_line("stale", f, source, "2.0", true));

    write_text(f / "game.exe", "");
    expect_status(status_line("moved", f, source, "2.0", true));

    write_text(f / "game" / "default.xbe", "xbe");
    write_text(f / "game" / "media" / "a.bin", "");
    expect_status(status_line("ready", f, source, "2.0", true));

    // A link to nothing among the game files: the game is gone (where links can be made).
    if (test::make_symlink(f / "game" / "gone", f / "game" / "link")) {
        expect_status(status_line("moved", f, source, "2.0", true));
        fs::remove(f / "game" / "link");
    }

    fs::remove(f / "source.json");
    expect_status(status_line("ready", f, std::nullopt, "2.0", true));
}

TEST_F(EndToEnd, StatusFindsTheRememberedFolderAndTheDefaultRelease) {
    const fs::path chosen = temp_ / "my games" / "G";
    write_text(default_folder() / "install-location.txt", "  " + chosen.string() + "\r\n");
    write_text(chosen / "source.json", R"({"path": "d.iso", "size": 1, "mtime": 2})");
    // No --release: the release folder is two levels above the program.
    auto result = run({"status"});
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out, status_line("unbuilt", chosen, "d.iso", std::nullopt, false));
}

TEST_F(EndToEnd, StatusWithoutAnyPerUserFolderIsAnError) {
    environment_.erase("ORMOLT_BUILD_DIR");
    expect_error({"status"}, "no folder to build in (LOCALAPPDATA is not set)");
    environment_["LOCALAPPDATA"] = (temp_ / "local").string();
    const auto result = run({"status"});
    EXPECT_EQ(result.exit_status, 0);
    EXPECT_EQ(result.out,
              status_line("no-source", temp_ / "local" / "ormolt" / "builds" / "4D530004",
                          std::nullopt, std::nullopt, false));
}

#ifndef _WIN32
// On a terminal the same run is shown for a person: the status as labelled lines, an error as
// its message; ORMOLT_OUTPUT=json brings the event lines back. Exit statuses stay the same.
// (Pseudo-terminals are POSIX's; a Windows console cannot be given to a child under test.)
TEST_F(EndToEnd, OnATerminal) {
    const auto on_terminal = [&](const std::vector<std::string> &arguments,
                                 std::map<std::string, std::string> extra) {
        auto environment = environment_;
        environment.merge(extra);
        return test::run_on_terminal(program(), arguments, temp_.path(), environment,
                                     temp_ / "scratch", 80);
    };
    const auto lines = [](std::string text) { // the terminal's own line ends
        for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;)
            text.replace(at, 2, "\n");
        return text;
    };
    const std::string folder = default_folder().string();
    struct Case {
        std::vector<std::string> arguments;
        std::map<std::string, std::string> environment;
        int exit_status;
        std::string out;
    };
    const Case cases[] = {
        {{"status"}, {{"TERM", "xterm"}}, 0, "  state    no-source\n  folder   " + folder + "\n"},
        {{"status"}, {{"TERM", "dumb"}}, 0, "  state    no-source\n  folder   " + folder + "\n"},
        {{"frobnicate"},
         {{"TERM", "xterm"}},
         1,
         "\x1b[31mError:\x1b[0m unknown command frobnicate\n"},
        {{"frobnicate"}, {{"TERM", "dumb"}}, 1, "Error: unknown command frobnicate\n"},
        {{"frobnicate"},
         {{"TERM", "xterm"}, {"NO_COLOR", "1"}},
         1,
         "Error: unknown command frobnicate\n"},
        {{"frobnicate"}, // an empty NO_COLOR asks for nothing
         {{"TERM", "xterm"}, {"NO_COLOR", ""}},
         1,
         "\x1b[31mError:\x1b[0m unknown command frobnicate\n"},
        {{"status"},
         {{"TERM", "xterm"}, {"ORMOLT_OUTPUT", "json"}},
         0,
         status_line("no-source", default_folder(), std::nullopt, std::nullopt, false)},
        {{"frobnicate"}, {{"ORMOLT_OUTPUT", "json"}}, 1, error_line("unknown command frobnicate")},
    };
    for (const auto &c : cases) {
        const auto result = on_terminal(c.arguments, c.environment);
        EXPECT_EQ(result.exit_status, c.exit_status) << c.arguments[0];
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(lines(result.out), c.out) << c.arguments[0];
    }
    // Usage errors are unchanged: standard error only.
    const auto usage = on_terminal({}, {{"TERM", "xterm"}});
    EXPECT_EQ(usage.exit_status, 64);
    EXPECT_EQ(usage.err, usage_text);
    EXPECT_EQ(usage.out, "");
}
#endif

} // namespace
} // namespace ormolt
