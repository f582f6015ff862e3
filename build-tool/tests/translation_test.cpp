#include "fake_release.h"
#include "pipeline/translation.h"
#include "records/message.h"

namespace ormolt {
namespace {

namespace fs = std::filesystem;
using test::EventCapture;
using test::FakeRelease;
using test::TempFolder;

struct TranslationFixture : ::testing::Test {
    TempFolder root;
    FakeRelease fake{root / "release"};
    fs::path b = root / "install";
    fs::path log = b / "build.log";
    Image image{std::string(40, 'a'), "Retail", std::nullopt};

    void SetUp() override {
        test::write_text(b / "game" / "default.xbe", "xbe bytes");
        test::write_text(fake.dir() / "recipe" / "CMakeLists.txt", "project(x)\n");
        fake.steer(fake.python(), ".out", "1/4 reading\n  2/4 naming things\n3/4\n4/4 done\n");
    }
    std::vector<std::string> lift_progress(const EventCapture &events) const {
        std::vector<std::string> found;
        for (const auto &event : events.of_kind("progress"))
            found.push_back(std::to_string(event["done"].get<int>()) + " " +
                            event["detail"].get<std::string>());
        return found;
    }
    std::vector<std::string> script_environment() const {
        return {"PYTHONDONTWRITEBYTECODE=1", "PYTHONIOENCODING=utf-8", "PYTHONUNBUFFERED=1",
                "TMPDIR=" + path_text(b / "tmp")};
    }
    static std::vector<std::string> without_inherited(std::vector<std::string> environment) {
        std::erase_if(environment, [](const std::string &e) { return e.starts_with("ZIG_"); });
        return environment;
    }
};

TEST_F(TranslationFixture, StandardTranslationScansThenTranslates) {
    EventCapture events;
    ASSERT_TRUE(translate_game(fake.release(), image, b, log).has_value());

    const fs::path xbe = b / "pipe" / "xbe" / "default.xbe";
    EXPECT_TRUE(fs::equivalent(xbe, b / "game" / "default.xbe")); // a hard link, not a copy
    EXPECT_EQ(test::read_text(b / "project" / "CMakeLists.txt"), "project(x)\n");
    EXPECT_TRUE(fs::is_directory(b / "tmp"));

    const auto calls = fake.calls(fake.python());
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].arguments, (std::vector<std::string>{
                                      "-m", "tools.xdk_symbols", path_text(xbe), "--cli",
                                      path_text(release_folder::fendrel_cli(fake.dir())), "--out",
                                      path_text(b / "pipe" / "xbe" / "default_xdk_symbols.json")}));
    EXPECT_EQ(
        calls[1].arguments,
        (std::vector<std::string>{path_text(fake.dir() / "toolkit" / "scripts" / "recompile.py"),
                                  path_text(xbe), "--work-dir", path_text(b / "pipe" / "out"),
                                  "--project", path_text(b / "project")}));
    for (const auto &call : calls) {
        EXPECT_EQ(fs::path(call.cwd), fake.dir() / "toolkit");
        EXPECT_EQ(without_inherited(call.environment), script_environment());
    }
    // Only the translation's own lines move the stage; the scan's output does not.
    EXPECT_EQ(lift_progress(events),
              (std::vector<std::string>{"0 naming the XDK functions", "1 reading", "2 naming", "3 ",
                                        "4 done", "5 "}));
}

TEST_F(TranslationFixture, ConfigFilesDecideTheScriptArguments) {
    struct Case {
        std::optional<std::string> config;
        std::vector<std::string> files; // in the recipe's config folder of the image
        std::vector<std::string> expected_tail;
        bool scans;
    };
    const Case cases[] = {
        {std::nullopt, {}, {}, true},
        {"alt", {"seeds.json"}, {"--seeds", "@seeds.json", "--no-xbe-patches"}, true},
        {"alt", {}, {"--no-xbe-patches"}, true},
        {std::nullopt,
         {"seeds.json", "xbe_patches.json"},
         {"--seeds", "@seeds.json", "--xbe-patches", "@xbe_patches.json"},
         true},
        {std::nullopt, {"xdk_symbols.json"}, {}, false},
    };
    for (const auto &c : cases) {
        fs::remove_all(fake.dir() / "recipe");
        fs::create_directories(fake.dir() / "recipe");
        fs::remove_all(b / "project");
        fs::remove(fake.python().parent_path() / "calls.txt");
        const std::string folder = c.config.value_or("config");
        for (const auto &file : c.files)
            test::write_text(fake.dir() / "recipe" / folder / file, "{\"from\": \"recipe\"}");
        image.config = c.config;
        EventCapture events;
        const auto result = translate_game(fake.release(), image, b, log);
        ASSERT_TRUE(result.has_value()) << result.error().message;
        const auto calls = fake.calls(fake.python());
        ASSERT_EQ(calls.size(), c.scans ? 2u : 1u);
        std::vector<std::string> tail(calls.back().arguments.begin() + 6,
                                      calls.back().arguments.end());
        std::vector<std::string> expected;
        for (const auto &word : c.expected_tail)
            expected.push_back(
                word.starts_with('@') ? path_text(b / "project" / folder / word.substr(1)) : word);
        EXPECT_EQ(tail, expected);
        if (!c.scans) {
            EXPECT_EQ(test::read_text(b / "pipe" / "xbe" / "default_xdk_symbols.json"),
                      "{\"from\": \"recipe\"}");
        }
    }
}

TEST_F(TranslationFixture, ReleaseXbeNameAndMissingXbe) {
    fake.release().xbe = "a.b.xbe";
    test::write_text(b / "game" / "a.b.xbe", "other xbe");
    EventCapture events;
    ASSERT_TRUE(translate_game(fake.release(), image, b, log).has_value());
    const auto calls = fake.calls(fake.python());
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].arguments[2], path_text(b / "pipe" / "xbe" / "a.b.xbe"));
    EXPECT_EQ(calls[0].arguments.back(), path_text(b / "pipe" / "xbe" / "a.b_xdk_symbols.json"));

    fake.release().xbe = "missing.xbe";
    const auto result = translate_game(fake.release(), image, b, log);
    ASSERT_FALSE(result.has_value());
    EXPECT_TRUE(result.error().message.starts_with("cannot find missing.xbe: "))
        << result.error().message;
}

TEST_F(TranslationFixture, CustomLiftRunsInTheProjectWithTheToolkitLinked) {
    fake.release().lift =
        std::vector<std::string>{"lift.py", "--xbe", "{xbe_dir}/default.xbe", "{xbe_dir}{xbe_dir}"};
    EventCapture events;
    if (auto error = platform::make_directory_link(root / "probe", fake.dir()))
        GTEST_SKIP() << "directory junctions cannot be made on this system (" << error.message()
                     << "; Wine 8 answers FSCTL_SET_REPARSE_POINT with ERROR_NOT_SUPPORTED)";
    ASSERT_FALSE(platform::remove_link(root / "probe"));
    for (int run = 0; run < 2; ++run) { // the second run keeps the link that is already right
        fs::remove(fake.python().parent_path() / "calls.txt");
        const auto result = translate_game(fake.release(), image, b, log);
        ASSERT_TRUE(result.has_value()) << result.error().message;
        const auto calls = fake.calls(fake.python());
        ASSERT_EQ(calls.size(), 1u);
        const std::string xbe_dir = path_text(b / "pipe" / "xbe");
        EXPECT_EQ(calls[0].arguments,
                  (std::vector<std::string>{path_text(b / "project" / "lift.py"), "--xbe",
                                            xbe_dir + "/default.xbe", xbe_dir + xbe_dir}));
        EXPECT_EQ(fs::path(calls[0].cwd), b / "project");
        EXPECT_EQ(platform::read_directory_link(b / "project" / "ormolt"), fake.dir() / "toolkit");
    }
    // A link that points elsewhere is replaced; its old target is left alone.
    fs::remove(b / "project" / "ormolt");
    fs::create_directories(root / "elsewhere");
    test::write_text(root / "elsewhere" / "keep", "keep");
    if (test::make_symlink(root / "elsewhere", b / "project" / "ormolt")) {
        ASSERT_TRUE(translate_game(fake.release(), image, b, log).has_value());
        EXPECT_EQ(platform::read_directory_link(b / "project" / "ormolt"), fake.dir() / "toolkit");
        EXPECT_TRUE(fs::exists(root / "elsewhere" / "keep"));
    }

    fake.release().lift = std::vector<std::string>{};
    const auto empty = translate_game(fake.release(), image, b, log);
    ASSERT_FALSE(empty.has_value());
    EXPECT_EQ(empty.error().message, "release.json's lift names no script");
}

TEST_F(TranslationFixture, ScriptFailureNamesTheStep) {
    fake.steer(fake.python(), ".exit", "4");
    EventCapture events;
    const auto result = translate_game(fake.release(), image, b, log);
    ASSERT_FALSE(result.has_value());
    EXPECT_TRUE(result.error().message.starts_with("Fendrel failed (exit code: 4)."))
        << result.error().message;
}

} // namespace
} // namespace ormolt
