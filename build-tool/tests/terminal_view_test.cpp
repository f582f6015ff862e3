// The terminal view as a unit: event lines in, terminal text out.
#include "records/terminal_view.h"
#include "records/unicode_width.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <sstream>

namespace ormolt {
namespace {

// A sample build's events as the tool writes them, child output included.
constexpr const char *sample_build = R"json(
{"event":"start","log":"/s/install/build.log","source":"/s/sample-game.iso","title":"Sample Game","user_dir":"/s/install"}
{"detail":"","done":0,"event":"progress","label":"Preparing the game files","overall":0.0,"stage":"game","total":1}
{"detail":"default.xbe","done":1,"event":"progress","label":"Preparing the game files","overall":0.04,"stage":"game","total":3}
{"detail":"media/level1.dat","done":3,"event":"progress","label":"Preparing the game files","overall":0.12,"stage":"game","total":3}
{"detail":"","done":0,"event":"progress","label":"Checking the disc","overall":0.12,"stage":"check","total":1}
{"detail":"Sample Game (NTSC)","done":1,"event":"progress","label":"Checking the disc","overall":0.13,"stage":"check","total":1}
{"detail":"naming the XDK functions","done":0,"event":"progress","label":"Translating the game to C","overall":0.13,"stage":"lift","total":5}
{"event":"log","message":"4 XDK symbols in default.xbe"}
{"event":"log","message":"1/4 reading"}
{"detail":"reading","done":1,"event":"progress","label":"Translating the game to C","overall":0.2,"stage":"lift","total":5}
{"detail":"","done":5,"event":"progress","label":"Translating the game to C","overall":0.48,"stage":"lift","total":5}
{"detail":"","done":0,"event":"progress","label":"Setting up the build","overall":0.48,"stage":"configure","total":1}
{"event":"log","message":"-- Configuring done"}
{"detail":"","done":1,"event":"progress","label":"Setting up the build","overall":0.5,"stage":"configure","total":1}
{"detail":"","done":0,"event":"progress","label":"Compiling","overall":0.5,"stage":"compile","total":1}
{"event":"log","message":"[5/8] Building C object CMakeFiles/sample.dir/run.c.o"}
{"detail":"run.c","done":5,"event":"progress","label":"Compiling","overall":0.8,"stage":"compile","total":8}
{"detail":"run.c","done":5,"event":"progress","label":"Compiling","overall":0.8,"stage":"compile","total":8}
{"detail":"Linking C executable sample","done":8,"event":"progress","label":"Compiling","overall":0.98,"stage":"compile","total":8}
{"detail":"","done":0,"event":"progress","label":"Finishing","overall":0.98,"stage":"install","total":1}
{"detail":"Removing temporary build files","done":0,"event":"progress","label":"Finishing","overall":0.98,"stage":"install","total":1}
{"detail":"","done":1,"event":"progress","label":"Finishing","overall":1.0,"stage":"install","total":1}
{"event":"done","exe":"/s/install/sample.exe","game_dir":"/s/install/game"}
)json";

std::vector<Event> events_of(std::string_view lines) {
    std::vector<Event> events;
    std::istringstream in{std::string(lines)};
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            events.push_back(Event::parse(line));
    return events;
}

// The sample build's report of compiling run.c, 5 of 8 (overall 0.8).
Event compiling_run_c() {
    for (const auto &event : events_of(sample_build))
        if (event.value("detail", "") == "run.c")
            return event;
    return {};
}

std::string render(ViewStyle style, const std::vector<Event> &events, std::size_t width = 100) {
    TerminalView view(style);
    std::string out;
    for (const auto &event : events)
        out += view.show(event, width);
    return out + view.finish();
}

constexpr const char *sample_heading = "Building Sample Game\n"
                                       "  source   /s/sample-game.iso\n"
                                       "  folder   /s/install\n"
                                       "  log      /s/install/build.log\n";

TEST(TerminalView, AWholeBuild) {
    const std::string out = render({}, events_of(sample_build));
    EXPECT_EQ(test::screen_of(out), std::string(sample_heading) +
                                        "✓ Preparing the game files\n"
                                        "✓ Checking the disc\n"
                                        "✓ Translating the game to C\n"
                                        "✓ Setting up the build\n"
                                        "✓ Compiling\n"
                                        "✓ Finishing\n"
                                        "Installed /s/install/sample.exe\n");
    // The status line as it stood while run.c compiled, rewritten in place, and only once for
    // two reports that look the same.
    const std::string compiling = "\r[ 80%] ████████░░ Compiling  run.c\x1b[K";
    ASSERT_NE(out.find(compiling), std::string::npos) << out;
    EXPECT_EQ(out.find(compiling, out.find(compiling) + 1), std::string::npos);
    EXPECT_NE(out.find("\r[ 12%] █░░░░░░░░░ Checking the disc\x1b[K"), std::string::npos);
    // Child output stays in the build log.
    EXPECT_EQ(out.find("XDK symbols"), std::string::npos);
    EXPECT_EQ(out.find("Configuring done"), std::string::npos);
}

TEST(TerminalView, AFailureShowsTheWholeMessage) {
    auto events = events_of(sample_build);
    events.resize(17); // up to compiling run.c
    const std::string message = "the compile failed (exit code: 1). Its last lines:\n"
                                "run.c:3:1: error: expected ';'\n"
                                "\tint x\n"
                                "\n\nThe whole log is /s/install/build.log";
    events.push_back(
        {{"event", "error"}, {"message", message}, {"rebuild", false}, {"unsupported", false}});
    const std::string out = render({}, events);
    EXPECT_EQ(test::screen_of(out), std::string(sample_heading) +
                                        "✓ Preparing the game files\n"
                                        "✓ Checking the disc\n"
                                        "✓ Translating the game to C\n"
                                        "✓ Setting up the build\n"
                                        "✗ Compiling\n"
                                        "Error: " +
                                        message + "\n");

    // An error before any stage, as when the release cannot be read, is the message alone.
    const std::string early = render({}, {Event{{"event", "error"},
                                                {"message", "unknown command x"},
                                                {"rebuild", false},
                                                {"unsupported", false}}});
    EXPECT_EQ(test::screen_of(early), "Error: unknown command x\n");
}

TEST(TerminalView, NarrowTerminalsCutTheStatusLine) {
    const Event compiling = compiling_run_c();
    struct Case {
        std::size_t width;
        const char *line;
    };
    const Case cases[] = {
        {40, "[ 80%] ████████░░ Compiling  run.c"},
        {34, "[ 80%] ████████░░ Compiling  run."}, // one cell is kept free
        {12, "[ 80%] ████"},                       // cut inside the bar, on a character
        {1, "["},
        {0, "[ 80%] ████████░░ Compiling  run.c"}, // unknown: 80 columns
    };
    for (const auto &c : cases) {
        TerminalView view(ViewStyle{});
        EXPECT_EQ(view.show(compiling, c.width), "\r" + std::string(c.line) + "\x1b[K") << c.width;
    }
}

TEST(TerminalView, PlainTerminalsGetOneLinePerStage) {
    const std::string out = render({.control_sequences = false}, events_of(sample_build));
    EXPECT_EQ(out, std::string(sample_heading) + "[  0%] Preparing the game files\n"
                                                 "[ 12%] Checking the disc\n"
                                                 "[ 13%] Translating the game to C\n"
                                                 "[ 48%] Setting up the build\n"
                                                 "[ 50%] Compiling\n"
                                                 "[ 98%] Finishing\n"
                                                 "Installed /s/install/sample.exe\n");
}

TEST(TerminalView, StatusAndRelink) {
    const auto status = events_of(
        R"({"built_version":"1.0","event":"status","exe":"/b/game.exe","source":"/d/game.iso","state":"ready","user_dir":"/b"}
{"built_version":null,"event":"status","exe":null,"source":null,"state":"no-source","user_dir":"/b"})");
    EXPECT_EQ(render({}, status), "  state    ready\n"
                                  "  folder   /b\n"
                                  "  source   /d/game.iso\n"
                                  "  built    with release 1.0\n"
                                  "  program  /b/game.exe\n"
                                  "  state    no-source\n"
                                  "  folder   /b\n");

    const auto relink = events_of(
        R"({"event":"start","log":"/b/build.log","source":"/d/new.iso","title":"Sample Game","user_dir":"/b"}
{"detail":"","done":0,"event":"progress","label":"Preparing the game files","overall":0.0,"stage":"game","total":1}
{"event":"done","exe":"/b/game.exe","game_dir":"/b/game"})");
    EXPECT_EQ(test::screen_of(render({.relink = true}, relink)),
              "Relinking Sample Game\n"
              "  source   /d/new.iso\n"
              "  folder   /b\n"
              "  log      /b/build.log\n"
              "✓ Preparing the game files\n"
              "Relinked /b/game.exe to the game files in /b/game\n");
}

TEST(TerminalView, TextFromOutsideCannotSteerTheTerminal) {
    // A child's progress detail or quoted line may hold escape sequences or broken UTF-8.
    TerminalView view(ViewStyle{});
    Event progress = compiling_run_c();
    progress["detail"] = "a\x1b[2Jb\rc\xc2\x9b"
                         "d";
    EXPECT_EQ(view.show(progress, 80),
              "\r[ 80%] ████████░░ Compiling  a\uFFFD[2Jb\uFFFDc\uFFFDd\x1b[K");
    const Event error{{"event", "error"},
                      {"message", "bad \xff line\n\x1b]0;title\x07 end"},
                      {"rebuild", false},
                      {"unsupported", false}};
    EXPECT_EQ(view.show(error, 80), "\r\x1b[K\x1b[31m✗\x1b[0m Compiling\n"
                                    "\x1b[31mError:\x1b[0m bad \uFFFD line\n"
                                    "\uFFFD]0;title\uFFFD end\n");
}

TEST(TerminalView, ARunThatStopsMidwayLeavesTheStatusLineOnItsOwnLine) {
    TerminalView view(ViewStyle{});
    (void)view.show(compiling_run_c(), 80);
    EXPECT_EQ(view.finish(), "\n");
    EXPECT_EQ(view.finish(), "");
}

TEST(TerminalView, NoColourKeepsTheMarksAndTheRewrites) {
    auto events = events_of(sample_build);
    events.resize(17); // up to compiling run.c
    events.push_back({{"event", "error"},
                      {"message", "the compile failed"},
                      {"rebuild", false},
                      {"unsupported", false}});
    const std::string out = render({.colour = false}, events);
    EXPECT_EQ(test::screen_of(out), std::string(sample_heading) + "✓ Preparing the game files\n"
                                                                  "✓ Checking the disc\n"
                                                                  "✓ Translating the game to C\n"
                                                                  "✓ Setting up the build\n"
                                                                  "✗ Compiling\n"
                                                                  "Error: the compile failed\n");
    // The status line is still rewritten in place; the only sequence left is the erase.
    EXPECT_NE(out.find("\r[ 80%] ████████░░ Compiling  run.c\x1b[K"), std::string::npos);
    for (std::size_t at = out.find('\x1b'); at != std::string::npos; at = out.find('\x1b', at + 1))
        EXPECT_EQ(out.substr(at, 3), "\x1b[K") << at;
}

TEST(TerminalView, ATerminalWithoutAWidthUsesColumns) {
    struct Case {
        const char *columns; // nullptr: unset
        std::size_t width;
    };
    const Case cases[] = {
        {nullptr, 80}, {"120", 120}, {"20", 20},  {"0", 80},   {"", 80},
        {"-5", 80},    {"12x", 80},  {" 40", 80}, {"abc", 80}, {"99999999999999999999999", 80},
    };
    for (const auto &c : cases)
        EXPECT_EQ(fallback_width(c.columns), c.width) << (c.columns ? c.columns : "unset");

    TerminalView view(ViewStyle{.fallback_width = 20});
    EXPECT_EQ(view.show(compiling_run_c(), 0), "\r[ 80%] ████████░░ C\x1b[K");
}

TEST(TerminalView, WideCharactersTakeTwoCells) {
    struct Case {
        std::uint32_t code;
        std::size_t cells;
    };
    const Case characters[] = {
        {'a', 1},    {0x00E9, 1},  {0x2588, 1},  {0xFFFD, 1},   {0x1160, 1}, {0x115F, 2},
        {0x30B2, 2}, {0x30FC, 2},  {0x3000, 2},  {0x4E00, 2},   {0xAC00, 2}, {0xFF21, 2},
        {0xFF61, 1}, {0x1F600, 2}, {0x20000, 2}, {0x10FFFF, 1},
    };
    for (const auto &c : characters)
        EXPECT_EQ(character_cells(c.code), c.cells) << std::hex << c.code;

    // "[ 80%] ████████░░ Compiling  " takes 29 cells; the detail follows, and one cell of the
    // width stays free.
    Event progress = compiling_run_c();
    progress["detail"] = "ゲーム.dat";
    struct Width {
        std::size_t width;
        const char *line;
    };
    const Width widths[] = {
        {41, "[ 80%] ████████░░ Compiling  ゲーム.dat"},
        {36, "[ 80%] ████████░░ Compiling  ゲーム"},
        {35, "[ 80%] ████████░░ Compiling  ゲー"}, // a wide character is never split
        {34, "[ 80%] ████████░░ Compiling  ゲー"},
        {31, "[ 80%] ████████░░ Compiling  "},
    };
    for (const auto &w : widths) {
        TerminalView view(ViewStyle{});
        EXPECT_EQ(view.show(progress, w.width), "\r" + std::string(w.line) + "\x1b[K") << w.width;
    }
}

} // namespace
} // namespace ormolt
