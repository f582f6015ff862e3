#include "pipeline/command_line_text.h"
#include "pipeline/progress.h"
#include "pipeline/tool_run.h"
#include "records/message.h"
#include "test_support.h"

#include <algorithm>

namespace ormolt {
namespace {

using test::EventCapture;
using test::TempFolder;

const std::filesystem::path printer = HELPER_line_printer;

TEST(Progress, OverallShareAndLineLayout) {
    struct Case {
        Stage stage;
        std::uint64_t done, total;
        std::string expected;
    };
    const Case cases[] = {
        {Stage::Configure, 0, 1,
         R"({"detail":"","done":0,"event":"progress","label":"Setting up the build","overall":0.48,"stage":"configure","total":1})"},
        {Stage::Compile, 5, 10,
         R"({"detail":"","done":5,"event":"progress","label":"Compiling","overall":0.74,"stage":"compile","total":10})"},
        {Stage::Compile, 5, 0,
         R"({"detail":"","done":5,"event":"progress","label":"Compiling","overall":0.5,"stage":"compile","total":0})"},
        {Stage::Compile, 20, 10,
         R"({"detail":"","done":20,"event":"progress","label":"Compiling","overall":0.98,"stage":"compile","total":10})"},
        {Stage::Install, 1, 1,
         R"({"detail":"","done":1,"event":"progress","label":"Finishing","overall":1.0,"stage":"install","total":1})"},
        {Stage::Game, 0, 0,
         R"({"detail":"","done":0,"event":"progress","label":"Preparing the game files","overall":0.0,"stage":"game","total":0})"},
        {Stage::Game, 1, UINT64_MAX,
         R"({"detail":"","done":1,"event":"progress","label":"Preparing the game files","overall":6.505213034913026e-21,"stage":"game","total":18446744073709551615})"},
    };
    for (const auto &c : cases) {
        EventCapture events;
        report_progress(c.stage, c.done, c.total, "");
        ASSERT_EQ(events.lines().size(), 1u);
        EXPECT_EQ(events.lines()[0], c.expected + "\n");
    }
    // Each base plus its weight is exactly the next base, and the last reaches 1.0.
    for (std::size_t i = 0; i + 1 < stage_table.size(); ++i)
        EXPECT_EQ(stage_table[i].base + stage_table[i].weight, stage_table[i + 1].base);
    EXPECT_EQ(stage_table.back().base + stage_table.back().weight, 1.0);
}

TEST(ToolRunner, LoggedCommandLineEscapes) {
    struct Case {
        std::vector<std::string> arguments;
        std::string expected_tail;
    };
    const Case cases[] = {
        {{"plain", "with space"}, R"( "plain" "with space")"},
        {{"C:\\dir\\x", "say \"hi\""}, R"( "C:\\dir\\x" "say \"hi\"")"},
        {{"a\tb\rc\nd", std::string("nul\0x", 5)}, R"( "a\tb\rc\nd" "nul\0x")"},
        {{"esc\x1b", "del\x7f"}, R"( "esc\u{1b}" "del\u{7f}")"},
        {{"caf\xc3\xa9 \xe2\x82\xac"}, " \"caf\xc3\xa9 \xe2\x82\xac\""},
        {{""}, R"( "")"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(logged_command_line("/bin/tool", c.arguments), "\"/bin/tool\"" + c.expected_tail);
}

TEST(ToolRunner, ExitStatusText) {
    EXPECT_EQ(exit_status_text(1), "exit code: 1");
    EXPECT_EQ(exit_status_text(0x7fffffff), "exit code: 2147483647");
    EXPECT_EQ(exit_status_text(3221225477u), "exit code: 0xc0000005");
}

struct RunOutcome {
    Result<> result;
    std::string log;
    std::vector<std::string> logged_lines; // after the "$ " line
    std::vector<std::string> event_messages;
    std::vector<std::string> hooked;
};

RunOutcome run_printer(const TempFolder &folder, std::vector<std::string> arguments,
                       std::string step = "the test") {
    const auto log = folder / "build.log";
    std::error_code ignored;
    std::filesystem::remove(log, ignored);
    RunOutcome outcome;
    EventCapture events;
    ToolRun run{printer, arguments, std::nullopt, {}, step, log, [&](std::string_view line) {
                    outcome.hooked.emplace_back(line);
                }};
    outcome.result = run_tool(run);
    outcome.log = test::read_text(log);
    const std::string header = "\n$ " + logged_command_line(printer, arguments) + "\n";
    EXPECT_EQ(outcome.log.substr(0, header.size()), header);
    std::string rest = outcome.log.substr(std::min(header.size(), outcome.log.size()));
    for (std::size_t start = 0; start < rest.size();) {
        const std::size_t end = rest.find('\n', start);
        outcome.logged_lines.push_back(rest.substr(start, end - start));
        start = end == std::string::npos ? rest.size() : end + 1;
    }
    for (const auto &event : events.of_kind("log"))
        outcome.event_messages.push_back(event["message"]);
    return outcome;
}

std::string numbered(int first, int last) {
    std::string text;
    for (int n = first; n <= last; ++n)
        text += (n == first ? "" : "\n") + ("line " + std::to_string(n));
    return text;
}

TEST(ToolRunner, FailuresQuoteTheLastLines) {
    TempFolder folder;
    const std::string log = path_text(folder / "build.log");
    struct Case {
        std::vector<std::string> arguments;
        std::string expected;
    };
    const Case cases[] = {
        {{"lines=30", "exit=2"},
         "the test failed (exit code: 2). Its last lines:\n" + numbered(6, 30) +
             "\n\nThe whole log is " + log},
        {{"exit=3"},
         "the test failed (exit code: 3). Its last lines:\n\n\nThe whole log is " + log},
        {{"err=why", "out=what", "exit=1"}, "the test failed (exit code: 1). Its last lines:\n"},
#ifndef _WIN32
        {{"signal=15"},
         "the test failed (exit code: 143). Its last lines:\n\n\nThe whole log is " + log},
#else
        // Only the start: a debugger of the system may print its report on standard error.
        {{"crash"}, "the test failed (exit code: 0xc0000005). Its last lines:\n"},
#endif
    };
    for (const auto &c : cases) {
        const auto outcome = run_printer(folder, c.arguments);
        ASSERT_FALSE(outcome.result.has_value());
        EXPECT_EQ(outcome.result.error().kind, ErrorKind::Ordinary);
        EXPECT_EQ(outcome.result.error().message.substr(0, c.expected.size()), c.expected);
    }
}

TEST(ToolRunner, LinesReachLogEventsAndHook) {
    TempFolder folder;
    const std::string a600(600, 'a');
    std::string e500;
    for (int i = 0; i < 500; ++i)
        e500 += "\xc3\xa9";
    struct Case {
        std::vector<std::string> arguments;
        std::vector<std::string> logged;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        // A silent child leaves only the blank line and the command line.
        {{"exit=0"}, {}, {}},
        // Logged whole, emitted cut to 500 scalar values; multi-byte ones count once.
        {{"long=600:a"}, {a600}, {std::string(500, 'a')}},
        {{"long=500:\xc3\xa9"}, {e500}, {e500}},
        // A line beyond the runner's limit is logged and emitted in pieces, every byte kept.
        {{"long=1100000:a"},
         {std::string(1 << 20, 'a'), std::string(1100000 - (1 << 20), 'a')},
         {std::string(500, 'a'), std::string(500, 'a')}},
        // CR-LF loses its CR; a CR inside a line stays; a last line without LF still counts.
        {{"outraw=61620d0a610d620a7a"}, {"ab", "a\rb", "z"}, {"ab", "a\rb", "z"}},
        // Bytes that are not UTF-8 are shown as U+FFFD and the reading goes on.
        {{"outraw=61ff620a", "out=after"},
         {"a\xef\xbf\xbd"
          "b",
          "after"},
         {"a\xef\xbf\xbd"
          "b",
          "after"}},
    };
    for (const auto &c : cases) {
        const auto outcome = run_printer(folder, c.arguments);
        ASSERT_TRUE(outcome.result.has_value()) << outcome.result.error().message;
        EXPECT_EQ(outcome.logged_lines, c.logged);
        EXPECT_EQ(outcome.event_messages, c.events);
        EXPECT_EQ(outcome.hooked, c.logged); // all of them came on standard output
    }
}

TEST(ToolRunner, BothStreamsInterleaveWholeLines) {
    TempFolder folder;
    std::vector<std::string> arguments;
    // Kept well inside the 32767 characters a Windows command line can hold.
    for (int i = 0; i < 200; ++i) {
        arguments.push_back("out=out " + std::to_string(i) + std::string(30, 'o'));
        arguments.push_back("err=err " + std::to_string(i) + std::string(30, 'e'));
    }
    const auto outcome = run_printer(folder, arguments);
    ASSERT_TRUE(outcome.result.has_value());
    ASSERT_EQ(outcome.logged_lines.size(), 400u);
    int next_out = 0, next_err = 0;
    for (const auto &line : outcome.logged_lines) {
        if (line.starts_with("out "))
            EXPECT_EQ(line, "out " + std::to_string(next_out++) + std::string(30, 'o'));
        else
            EXPECT_EQ(line, "err " + std::to_string(next_err++) + std::string(30, 'e'));
    }
    EXPECT_EQ(outcome.hooked.size(), 200u); // the hook sees standard output only
    EXPECT_TRUE(std::ranges::all_of(outcome.hooked, [](auto &l) { return l.starts_with("out "); }));
}

TEST(ToolRunner, ChildGetsArgumentsEnvironmentAndFolder) {
    TempFolder folder;
    std::filesystem::create_directory(folder / "work");
    const std::vector<std::string> tricky{"with space", "quote\"inside", "trail\\", "trail two\\\\",
                                          "",           "caf\xc3\xa9"};
    std::vector<std::string> arguments{"env=ORMOLT_TEST_ADDED", "env=PATH", "cwd", "args"};
    arguments.insert(arguments.end(), tricky.begin(), tricky.end());
    EventCapture events;
    std::vector<std::string> lines;
    ToolRun run{printer,
                arguments,
                folder / "work",
                {{"ORMOLT_TEST_ADDED", "yes it is"}},
                "the test",
                folder / "build.log",
                [&](std::string_view line) { lines.emplace_back(line); }};
    ASSERT_TRUE(run_tool(run).has_value());
    ASSERT_EQ(lines.size(), 3 + tricky.size());
    EXPECT_EQ(lines[0], "ORMOLT_TEST_ADDED=yes it is");
    EXPECT_TRUE(lines[1].starts_with("PATH=")) << lines[1]; // inherited variables stay
    EXPECT_EQ(std::filesystem::path(lines[2]), folder / "work");
    for (std::size_t i = 0; i < tricky.size(); ++i)
        EXPECT_EQ(lines[3 + i], "[" + tricky[i] + "]");
}

TEST(ToolRunner, StartAndLogFailures) {
    TempFolder folder;
    {
        // A missing program: the log keeps the command line, and the error names the step.
        EventCapture events;
        const auto missing = folder / "no-such-program";
        const auto result = run_tool({missing, {"x"}, {}, {}, "Fendrel", folder / "build.log", {}});
        ASSERT_FALSE(result.has_value());
        EXPECT_TRUE(result.error().message.starts_with("cannot start Fendrel: "))
            << result.error().message;
        EXPECT_EQ(test::read_text(folder / "build.log"),
                  "\n$ " + logged_command_line(missing, {"x"}) + "\n");
        EXPECT_TRUE(events.lines().empty());
    }
    {
        // A log that cannot be opened: nothing is started.
        EventCapture events;
        const auto log = folder / "missing-folder" / "build.log";
        const auto result = run_tool({printer, {"out=started"}, {}, {}, "CMake", log, {}});
        ASSERT_FALSE(result.has_value());
        EXPECT_TRUE(result.error().message.starts_with("cannot write " + path_text(log) + ": "))
            << result.error().message;
        EXPECT_TRUE(events.lines().empty());
    }
    {
        // A working folder that does not exist is a start failure too.
        EventCapture events;
        const auto result = run_tool(
            {printer, {"out=started"}, folder / "nowhere", {}, "CMake", folder / "build.log", {}});
        ASSERT_FALSE(result.has_value());
        EXPECT_TRUE(result.error().message.starts_with("cannot start CMake: "));
        EXPECT_TRUE(events.lines().empty());
    }
}

} // namespace
} // namespace ormolt
