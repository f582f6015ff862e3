// The sample game built from start to end with the sample release, as the demo does: the
// release's Python scripts, the system's CMake, Ninja and C compiler, and the program it makes.
#include "identity/file_sha1.h"
#include "records/event_stream.h"
#include "records/message.h"
#include "records/state_records.h"
#include "test_support.h"
#include "testkit/sample_game.h"

#include <cstdio>
#include <cstdlib>

namespace ormolt {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int exit_status;
    std::vector<Event> events;
    std::string err;
    std::string error_message() const {
        return events.empty() || events.back()["event"] != "error"
                   ? std::string()
                   : events.back()["message"].get<std::string>();
    }
    std::vector<std::string> stages() const {
        std::vector<std::string> found;
        for (const auto &event : events)
            if (event["event"] == "progress" &&
                (found.empty() || found.back() != event["stage"].get<std::string>()))
                found.push_back(event["stage"]);
        return found;
    }
};

class SampleBuild : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        root_ = new test::TempFolder();
        const auto nodes = testkit::sample_game_nodes(testkit::sample_xbe());
        ASSERT_FALSE(testkit::write_game_folder(*root_ / "sample-game", nodes));
        ASSERT_FALSE(testkit::write_disc_image(*root_ / "sample-game.iso", nodes));
        const auto sha1 = file_sha1_hex(*root_ / "sample-game" / "default.xbe");
        ASSERT_TRUE(sha1.has_value());
        const auto made =
            test::run_program("/bin/bash",
                              {fs::path(ORMOLT_SOURCE_DIR "/scripts/make-release.sh").string(),
                               (*root_ / "R").string(), ORMOLT_BINARY_DIR, *sha1},
                              root_->path(), environment(), root_->path());
        ASSERT_EQ(made.exit_status, 0) << made.out << made.err;
    }
    static void TearDownTestSuite() { delete root_; }

    static std::map<std::string, std::string> environment() {
        std::map<std::string, std::string> env{{"ORMOLT_BUILD_DIR", (*root_ / "builds").string()}};
        for (const char *name : {"PATH", "HOME", "TMPDIR"})
            if (const char *value = std::getenv(name))
                env[name] = value;
        return env;
    }

    static Outcome run(const std::vector<std::string> &arguments) {
        const auto result = test::run_program(*root_ / "R" / "bin" / "ormolt-build", arguments,
                                              root_->path(), environment(), root_->path());
        Outcome outcome{result.exit_status, {}, result.err};
        std::istringstream lines(result.out);
        for (std::string line; std::getline(lines, line);)
            outcome.events.push_back(Event::parse(line));
        return outcome;
    }

    static std::string exe_name() {
        const auto description = Event::parse(test::read_text(*root_ / "R" / "release.json"));
        return description["exe"].get<std::string>() + ".exe";
    }

    static test::TempFolder *root_;
};

test::TempFolder *SampleBuild::root_ = nullptr;

TEST_F(SampleBuild, FromAnImageAndFromAFolder) {
    for (const char *source : {"sample-game.iso", "sample-game"}) {
        const fs::path f = *root_ / (std::string("install-") + source);
        const auto outcome =
            run({"build", "--source", (*root_ / source).string(), "--install-dir", f.string()});
        ASSERT_EQ(outcome.exit_status, 0) << outcome.error_message();
        EXPECT_EQ(outcome.err, "");
        EXPECT_EQ(outcome.events.front()["event"], "start");
        EXPECT_EQ(outcome.events.back(), Event({{"event", "done"},
                                                {"exe", (f / exe_name()).string()},
                                                {"game_dir", (f / "game").string()}}));
        EXPECT_EQ(outcome.stages(), (std::vector<std::string>{"game", "check", "lift", "configure",
                                                              "compile", "install"}));
        double overall = 0;
        for (const auto &event : outcome.events)
            if (event["event"] == "progress") {
                EXPECT_GE(event["overall"].get<double>(), overall);
                overall = event["overall"].get<double>();
            }
        EXPECT_EQ(overall, 1.0);
        ASSERT_TRUE(read_stamp(f / "build.json").has_value());
        for (const char *temporary : {"project", "pipe", "build", "zig-cache", "tmp"})
            EXPECT_FALSE(fs::exists(f / temporary)) << temporary;
        EXPECT_EQ(
            fs::path(test::read_text(*root_ / "builds" / "51520001" / "install-location.txt")), f);
        const auto status = run({"status"});
        ASSERT_EQ(status.events.size(), 1u);
        EXPECT_EQ(status.events[0]["state"], "ready");

        // The installed program runs and tells what it was made from.
        const auto game = test::run_program(f / exe_name(), {}, f, environment(), *root_ / ".");
        EXPECT_EQ(game.exit_status, 0) << game.err;
        EXPECT_NE(game.out.find("Sample Game"), std::string::npos) << game.out;
        // The scan named the XDK code the sample carries, and the program lists it.
        const auto symbols = testkit::sample_xdk_symbols();
        EXPECT_NE(
            game.out.find(message("{} XDK symbols: {} functions", std::to_string(symbols.size()),
                                  std::to_string(symbols.size()))),
            std::string::npos)
            << game.out;
        for (const auto &symbol : symbols) {
            char address[16];
            std::snprintf(address, sizeof address, "0x%08x", symbol.address);
            EXPECT_NE(
                game.out.find(message("  {}::{} at {} (", symbol.library, symbol.name, address)),
                std::string::npos)
                << symbol.name << "\n"
                << game.out;
        }
    }
}

// A person building by hand at a terminal sees the view, not the event lines: the stages as
// they finish and the installed program; a terminal without control sequences gets plain lines.
TEST_F(SampleBuild, OnATerminal) {
    const fs::path f = *root_ / "install-terminal";
    auto environment = SampleBuild::environment();
    environment["TERM"] = "xterm";
    const auto shown = test::run_on_terminal(
        *root_ / "R" / "bin" / "ormolt-build",
        {"build", "--source", (*root_ / "sample-game.iso").string(), "--install-dir", f.string()},
        root_->path(), environment, root_->path(), 60);
    ASSERT_EQ(shown.exit_status, 0) << shown.out;
    EXPECT_EQ(shown.err, "");
    EXPECT_EQ(shown.out.find("{\"event\""), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("\r[ 50%] █████░░░░░ Compiling"), std::string::npos) << shown.out;
    const std::string screen = test::screen_of(shown.out);
    EXPECT_EQ(screen, "Building Sample Game\n"
                      "  source   " +
                          (*root_ / "sample-game.iso").string() +
                          "\n"
                          "  folder   " +
                          f.string() +
                          "\n"
                          "  log      " +
                          (f / "build.log").string() +
                          "\n"
                          "✓ Preparing the game files\n"
                          "✓ Checking the disc\n"
                          "✓ Translating the game to C\n"
                          "✓ Setting up the build\n"
                          "✓ Compiling\n"
                          "✓ Finishing\n"
                          "Installed " +
                          (f / exe_name()).string() + "\n");
    // What the view leaves out is in the build log.
    EXPECT_NE(test::read_text(f / "build.log").find("4 XDK symbols in default.xbe"),
              std::string::npos);

    environment["TERM"] = "dumb";
    const auto plain = test::run_on_terminal(*root_ / "R" / "bin" / "ormolt-build",
                                             {"build", "--install-dir", f.string()}, root_->path(),
                                             environment, root_->path(), 60);
    ASSERT_EQ(plain.exit_status, 0) << plain.out;
    EXPECT_EQ(plain.out.find('\x1b'), std::string::npos) << plain.out;
    EXPECT_NE(plain.out.find("[ 50%] Compiling\r\n[ 98%] Finishing\r\nInstalled "),
              std::string::npos)
        << plain.out;
}

TEST_F(SampleBuild, AFailedCompileIsQuotedAndItsConfigurationReused) {
    const fs::path recipe = *root_ / "R" / "recipe";
    const std::string cmake_lists = test::read_text(recipe / "CMakeLists.txt");
    test::write_text(recipe / "CMakeLists.txt",
                     cmake_lists + "\ntarget_sources(${ORMOLT_GAME_TARGET} PRIVATE broken.c)\n");
    test::write_text(recipe / "broken.c", "int broken(void) { return }\n");
    const fs::path f = *root_ / "install-broken";
    const auto failed = run(
        {"build", "--source", (*root_ / "sample-game.iso").string(), "--install-dir", f.string()});
    EXPECT_EQ(failed.exit_status, 1);
    const std::string message = failed.error_message();
    EXPECT_TRUE(message.starts_with("the compile failed (exit code: ")) << message;
    EXPECT_NE(message.find("broken.c"), std::string::npos) << message;
    EXPECT_TRUE(message.ends_with("\n\nThe whole log is " + (f / "build.log").string())) << message;
    EXPECT_TRUE(fs::exists(f / "build" / "CMakeCache.txt"));

    // Mended, the next build only builds: the configured folder is reused.
    test::write_text(recipe / "CMakeLists.txt", cmake_lists);
    fs::remove(recipe / "broken.c");
    const auto mended = run({"build", "--install-dir", f.string()});
    ASSERT_EQ(mended.exit_status, 0) << mended.error_message();
    const std::string log = test::read_text(f / "build.log");
    EXPECT_EQ(log.find("\"-S\""), std::string::npos) << log;
    EXPECT_NE(log.find("\"--build\""), std::string::npos);
}

} // namespace
} // namespace ormolt
