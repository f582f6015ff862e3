#include "cli/command_line.h"
#include "cli/command_table.h"

#include "platform/platform.h"

#include <gtest/gtest.h>

namespace ormolt {
namespace {

namespace fs = std::filesystem;

TEST(CommandLine, WalksOptionsAndValues) {
    struct Case {
        std::vector<std::string> arguments;
        bool usage_error;
        std::optional<std::string> source, install_dir, release;
    };
    using std::nullopt;
    const Case cases[] = {
        {{}, true, nullopt, nullopt, nullopt},
        {{"status"}, false, nullopt, nullopt, nullopt},
        {{"--source", "x", "build"}, true, nullopt, nullopt, nullopt},
        {{"build", "x"}, true, nullopt, nullopt, nullopt},
        {{"build", "--Source", "x"}, true, nullopt, nullopt, nullopt},
        {{"build", "--source=x"}, true, nullopt, nullopt, nullopt},
        {{"build", "-s", "x"}, true, nullopt, nullopt, nullopt},
        {{"build", "--install-dir"}, true, nullopt, nullopt, nullopt},
        {{"build", "--source", "a.iso", "--install-dir"}, true, nullopt, nullopt, nullopt},
        {{"build", "--source"}, false, nullopt, nullopt, nullopt},
        {{"build", "--source", "a.iso", "--source"}, false, nullopt, nullopt, nullopt},
        {{"build", "--release", "r", "--release"}, false, nullopt, nullopt, nullopt},
        {{"build", "--source", "--release"}, false, "--release", nullopt, nullopt},
        {{"build", "--source", "a", "--source", "b"}, false, "b", nullopt, nullopt},
        {{"build", "--install-dir", "--source", "--release", "r"}, false, nullopt, "--source", "r"},
        {{"build", "--source", "a", "--install-dir", "f", "--release", ""}, false, "a", "f", ""},
        {{"frobnicate", "--source", "s"}, false, "s", nullopt, nullopt},
    };
    for (const Case &c : cases) {
        std::string shown;
        for (const auto &argument : c.arguments)
            shown += argument + " ";
        const auto line = parse_command_line(c.arguments);
        ASSERT_EQ(!line, c.usage_error) << shown;
        if (!line)
            continue;
        const auto text = [](const std::optional<fs::path> &path) {
            return path ? std::optional<std::string>(path->string()) : std::nullopt;
        };
        EXPECT_EQ(line->options.command, c.arguments[0]) << shown;
        EXPECT_EQ(text(line->options.source), c.source) << shown;
        EXPECT_EQ(text(line->options.install_dir), c.install_dir) << shown;
        EXPECT_EQ(text(line->release), c.release) << shown;
    }
}

TEST(CommandLine, HelpIsAskedForNotAnError) {
    struct Case {
        std::vector<std::string> arguments;
        bool help;
    };
    const Case cases[] = {
        {{"--help"}, true},
        {{"-h"}, true},
        {{"help"}, true},
        {{"help", "build"}, true},
        {{"--help", "--bogus"}, true},
        {{"build", "--help"}, true},
        {{"build", "--source", "a.iso", "-h"}, true},
        {{"build", "--source", "--help"}, false}, // a value, whatever it looks like
        {{"build", "--install-dir", "-h"}, false},
        {{"Help"}, false},
        {{"--HELP"}, false},
        {{"status"}, false},
    };
    for (const auto &c : cases) {
        std::string shown;
        for (const auto &argument : c.arguments)
            shown += argument + " ";
        const auto line = parse_command_line(c.arguments);
        ASSERT_TRUE(line.has_value()) << shown;
        EXPECT_EQ(line->help, c.help) << shown;
    }
    EXPECT_FALSE(parse_command_line({"build", "-help"}).has_value()); // still a usage error
}

TEST(CommandLine, ReleaseFolderIsTheOptionElseTwoLevelsAboveTheProgramMadeAbsolute) {
    // Children run in other working folders: whatever chose it, the folder is absolute.
    const fs::path here = fs::canonical(fs::current_path());
    const auto program = platform::running_program_path();
    ASSERT_TRUE(program);
    const fs::path above_program = fs::canonical(program->parent_path().parent_path());
    struct Case {
        std::optional<fs::path> release;
        std::optional<fs::path> program;
        fs::path expected;
    };
    const Case cases[] = {
        {fs::path("."), program, here},
        {fs::path("relative/r"), program, here / "relative" / "r"}, // unresolvable: absolute
        {std::nullopt, program, above_program},
        {std::nullopt, std::nullopt, here},                 // the system cannot tell
        {std::nullopt, fs::path("ormolt-build"), here},     // no folder above the program
        {std::nullopt, fs::path("bin/ormolt-build"), here}, // one level only
        {std::nullopt, here / "bin" / "ormolt-build", here},
    };
    for (const Case &c : cases) {
        CommandLine line;
        line.release = c.release;
        const fs::path chosen = choose_release_folder(line, c.program);
        EXPECT_TRUE(chosen.is_absolute()) << chosen;
        EXPECT_EQ(chosen, c.expected) << (c.release ? *c.release : fs::path("(none)"));
    }
    EXPECT_EQ(choose_release_folder(CommandLine{}), above_program);
}

TEST(CommandTable, MatchesWordsByteForByte) {
    ASSERT_NE(find_command("status"), nullptr);
    EXPECT_EQ(find_command("status")->word, "status");
    for (const char *word : {"Status", "status ", "stat", "", "frobnicate"})
        EXPECT_EQ(find_command(word), nullptr) << word;
}

} // namespace
} // namespace ormolt
