#include "fake_release.h"
#include "pipeline/compile.h"
#include "records/message.h"

#include <algorithm>

namespace ormolt {
namespace {

namespace fs = std::filesystem;
using test::EventCapture;
using test::FakeRelease;
using test::TempFolder;

struct CompileFixture : ::testing::Test {
    TempFolder root;
    FakeRelease fake{root / "release"};
    fs::path b = root / "install";
    fs::path log = b / "build.log";
    void SetUp() override { fs::create_directories(b / "project"); }
    fs::path program() const {
        fs::path p = b / "build" / "game";
        p += platform::executable_suffix;
        return p;
    }
};

TEST_F(CompileFixture, FirstBuildConfiguresMarksAndBuilds) {
    fake.steer(fake.cmake(), ".out",
               "[1/2] Building C object CMakeFiles/game.dir/src/a.c.o\n"
               "[2/2] Linking C executable game\n");
    EventCapture events;
    const auto built = configure_and_compile(fake.release(), b, log);
    ASSERT_TRUE(built.has_value()) << built.error().message;
    EXPECT_EQ(*built, program());

    const auto calls = fake.calls(fake.cmake());
    ASSERT_EQ(calls.size(), 2u);
    const auto tool = [&](const char *name) {
        return cmake_path_text(release_folder::toolchain_program(fake.dir(), name));
    };
    const std::vector<std::string> configure{
        "-S",
        path_text(b / "project"),
        "-B",
        path_text(b / "build"),
        "-G",
        "Ninja",
        "-DCMAKE_MAKE_PROGRAM=" + cmake_path_text(release_folder::ninja(fake.dir())),
        "-DCMAKE_BUILD_TYPE=Release",
        "-DCMAKE_C_COMPILER=" + tool("zcc"),
        "-DCMAKE_CXX_COMPILER=" + tool("zc++"),
        "-DCMAKE_AR=" + tool("zar"),
        "-DCMAKE_RANLIB=" + tool("zranlib"),
        "-DORMOLT_DIR=" + cmake_path_text(fake.dir() / "engine"),
        "-DCMAKE_RC_COMPILER=" + tool("zrc")};
    EXPECT_EQ(calls[0].arguments, configure);
    EXPECT_EQ(calls[1].arguments,
              (std::vector<std::string>{"--build", path_text(b / "build"), "--target", "game"}));
    for (const auto &call : calls) {
        EXPECT_EQ(fs::path(call.cwd), b);
        std::vector<std::string> caches;
        std::ranges::copy_if(call.environment, std::back_inserter(caches),
                             [](const std::string &entry) { return entry.starts_with("ZIG_"); });
        EXPECT_EQ(caches,
                  (std::vector<std::string>{"ZIG_GLOBAL_CACHE_DIR=" + path_text(b / "zig-cache"),
                                            "ZIG_LOCAL_CACHE_DIR=" + path_text(b / "zig-cache")}));
    }
    EXPECT_EQ(test::read_text(b / "build" / "ormolt-release.txt"),
              "1.0\n" + path_text(fake.dir()) + "\n");

    // Stages in order; the build's status lines become compile progress with short details.
    std::vector<std::string> progress;
    for (const auto &event : events.of_kind("progress"))
        progress.push_back(event["stage"].get<std::string>() + " " +
                           std::to_string(event["done"].get<std::uint64_t>()) + "/" +
                           std::to_string(event["total"].get<std::uint64_t>()) + " " +
                           event["detail"].get<std::string>());
    EXPECT_EQ(progress, (std::vector<std::string>{"configure 0/1 ", "configure 1/1 ",
                                                  "compile 0/1 ", "compile 1/2 a.c",
                                                  "compile 2/2 Linking C executable game"}));
}

TEST_F(CompileFixture, ReusesOrDiscardsTheBuildFolderByMarker) {
    ASSERT_TRUE(configure_and_compile(fake.release(), b, log).has_value());
    const std::string marker = "1.0\n" + path_text(fake.dir()) + "\n";
    struct Case {
        std::string name;
        std::string marker;
        std::string version;
        bool configures;
    };
    const Case cases[] = {
        {"same release", marker, "1.0", false},
        {"new version", marker, "1.1", true},
        {"extra blank line", marker + "\n", "1.0", true},
        {"no final line end", marker.substr(0, marker.size() - 1), "1.0", true},
    };
    for (const auto &c : cases) {
        fake.release().version = "1.0";
        ASSERT_TRUE(configure_and_compile(fake.release(), b, log).has_value()) << c.name;
        test::write_text(b / "build" / "ormolt-release.txt", c.marker);
        test::write_text(b / "build" / "sentinel", "left by the last build");
        fs::remove(fake.dir() / "toolchain" / "cmake" / "bin" / "calls.txt");
        fake.release().version = c.version;
        ASSERT_TRUE(configure_and_compile(fake.release(), b, log).has_value()) << c.name;
        const auto calls = fake.calls(fake.cmake());
        EXPECT_EQ(calls.size(), c.configures ? 2u : 1u) << c.name;
        EXPECT_EQ(fs::exists(b / "build" / "sentinel"), !c.configures) << c.name;
    }
}

TEST_F(CompileFixture, AFailedConfigureLeavesNoValidMarker) {
    ASSERT_TRUE(configure_and_compile(fake.release(), b, log).has_value());
    ASSERT_TRUE(fs::exists(b / "build" / "ormolt-release.txt"));
    // The tree needs configuring again (its cache has gone) and that configure fails part way,
    // after CMake has already written a new cache.
    fs::remove(b / "build" / "CMakeCache.txt");
    fake.steer(fake.cmake(), ".exit", "1");
    ASSERT_FALSE(configure_and_compile(fake.release(), b, log).has_value());
    EXPECT_TRUE(fs::exists(b / "build" / "CMakeCache.txt"));
    EXPECT_FALSE(fs::exists(b / "build" / "ormolt-release.txt"));

    // So the next build discards that tree and configures afresh.
    fs::remove(fs::path(fake.cmake().string() + ".exit"));
    test::write_text(b / "build" / "sentinel", "left by the failed configure");
    fs::remove(fake.dir() / "toolchain" / "cmake" / "bin" / "calls.txt");
    ASSERT_TRUE(configure_and_compile(fake.release(), b, log).has_value());
    EXPECT_EQ(fake.calls(fake.cmake()).size(), 2u);
    EXPECT_FALSE(fs::exists(b / "build" / "sentinel"));
    EXPECT_TRUE(fs::exists(b / "build" / "ormolt-release.txt"));
}

// A compile that never came back (the tool killed while CMake rewrote its generated files)
// leaves a tree that is configured again before it is trusted, keeping what was compiled; one
// that cannot be configured again is made afresh. A compile that ended by itself is trusted.
TEST_F(CompileFixture, ATreeLeftByAnUnfinishedCompileIsRepairedOrDiscarded) {
    struct Case {
        std::string name;
        bool unfinished;     // the last compile's run did not come back
        bool repair_fails;   // configuring over the old tree fails
        std::size_t calls;   // CMake calls of the next build
        bool keeps_compiled; // what the last compile made is still there
    };
    const Case cases[] = {
        {"killed during the compile", true, false, 2, true},
        {"killed, and the tree is past repair", true, true, 3, false},
        {"the compile failed by itself", false, false, 1, true},
    };
    const fs::path unfinished = b / "build" / "ormolt-compiling.txt";
    const fs::path calls_file = fake.dir() / "toolchain" / "cmake" / "bin" / "calls.txt";
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(b / "build");
        ASSERT_TRUE(configure_and_compile(fake.release(), b, log).has_value());
        EXPECT_FALSE(fs::exists(unfinished));
        test::write_text(b / "build" / "part_001.c.o", "compiled");
        if (c.unfinished) {
            test::write_text(unfinished, "compile started\n");
            test::write_text(b / "build" / "build.ninja", "rule cc\n  comm");
        } else {
            fake.steer(fake.cmake(), ".exit-next", "1");
            ASSERT_FALSE(configure_and_compile(fake.release(), b, log).has_value());
            EXPECT_FALSE(fs::exists(unfinished));
        }
        if (c.repair_fails)
            fake.steer(fake.cmake(), ".exit-next", "1");
        fs::remove(calls_file);
        const auto built = configure_and_compile(fake.release(), b, log);
        ASSERT_TRUE(built.has_value()) << built.error().message;
        const auto calls = fake.calls(fake.cmake());
        ASSERT_EQ(calls.size(), c.calls);
        EXPECT_EQ(calls.back().arguments.front(), "--build");
        EXPECT_EQ(fs::exists(b / "build" / "part_001.c.o"), c.keeps_compiled);
        EXPECT_FALSE(fs::exists(unfinished));
        EXPECT_TRUE(fs::exists(b / "build" / "ormolt-release.txt"));
    }
}

TEST_F(CompileFixture, Failures) {
    {
        fake.steer(fake.cmake(), ".no-output", "");
        const auto built = configure_and_compile(fake.release(), b, log);
        ASSERT_FALSE(built.has_value());
        EXPECT_EQ(built.error().message,
                  "the compile finished but made no " + path_text(program()));
        fs::remove(fs::path(fake.cmake().string() + ".no-output"));
    }
    {
        fs::remove_all(b / "build");
        fake.steer(fake.cmake(), ".exit", "1");
        const auto built = configure_and_compile(fake.release(), b, log);
        ASSERT_FALSE(built.has_value());
        EXPECT_TRUE(built.error().message.starts_with("CMake failed (exit code: 1)."))
            << built.error().message;
        // A failed configure is not marked, so the next build starts afresh.
        EXPECT_FALSE(fs::exists(b / "build" / "ormolt-release.txt"));
    }
}

} // namespace
} // namespace ormolt
