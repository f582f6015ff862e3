#include "pipeline/compile.h"
#include "pipeline/progress_lines.h"
#include "pipeline/translation.h"

#include <gtest/gtest.h>

namespace ormolt {
namespace {

TEST(ProgressLines, TranslationScriptLines) {
    struct Case {
        const char *line;
        std::optional<std::uint64_t> count;
        const char *detail;
    };
    const Case cases[] = {
        {"  2/4 naming", 2, "naming"},
        {"4/4", 4, ""},
        {"+3/4 x y", 3, "x"},
        {"2/ 4 x", 2, "x"},
        {"\xe3\x80\x80"
         "1/4\xc2\xa0reading",
         1, "reading"}, // Unicode white space counts
        {"5/4 x", std::nullopt, ""},
        {"0/4 x", std::nullopt, ""},
        {"2/5 x", std::nullopt, ""},
        {"2 /4 x", std::nullopt, ""},
        {"a/4", std::nullopt, ""},
        {"2/ 4x", std::nullopt, ""},
        {"18446744073709551617/4 x", std::nullopt, ""},
        {"no slash", std::nullopt, ""},
    };
    for (const auto &c : cases) {
        const auto progress = parse_lift_progress(c.line);
        ASSERT_EQ(progress.has_value(), c.count.has_value()) << c.line;
        if (progress) {
            EXPECT_EQ(progress->count, *c.count) << c.line;
            EXPECT_EQ(progress->detail, c.detail) << c.line;
        }
    }
}

TEST(ProgressLines, BuildStatusLines) {
    struct Case {
        const char *line;
        bool progress;
        std::uint64_t done, total;
        const char *detail;
    };
    const Case cases[] = {
        {"[3/120] Building C object CMakeFiles/game.dir/src/part_003.c.obj", true, 3, 120,
         "part_003.c"},
        {"[ 7 / 9 ] Linking C executable game.exe", true, 7, 9, "Linking C executable game.exe"},
        {"[1/2] x/y.o.o", true, 1, 2, "y"},
        {"[1/2] a.obj.o", true, 1, 2, "a.obj"}, // ".obj" is only taken off first
        {"[1/2]", true, 1, 2, ""},
        {"[+4/18446744073709551615] z", true, 4, UINT64_MAX, "z"},
        {" [1/2] x", false, 0, 0, ""},
        {"[1-2] x", false, 0, 0, ""},
        {"[a/2] x", false, 0, 0, ""},
        {"[1/2 x", false, 0, 0, ""},
        {"[1/18446744073709551616] x", false, 0, 0, ""},
    };
    for (const auto &c : cases) {
        const auto progress = parse_compile_progress(c.line);
        ASSERT_EQ(progress.has_value(), c.progress) << c.line;
        if (progress) {
            EXPECT_EQ(progress->done, c.done) << c.line;
            EXPECT_EQ(progress->total, c.total) << c.line;
            EXPECT_EQ(progress->detail, c.detail) << c.line;
        }
    }
}

TEST(ProgressLines, NamesAndCMakeValues) {
    EXPECT_EQ(symbols_file_name("default.xbe"), "default_xdk_symbols.json");
    EXPECT_EQ(symbols_file_name("game.xbe"), "game_xdk_symbols.json");
    EXPECT_EQ(symbols_file_name("a.b.xbe"), "a.b_xdk_symbols.json");
    EXPECT_EQ(symbols_file_name("plain"), "plain_xdk_symbols.json");
    EXPECT_EQ(cmake_path_text("C:\\Games\\R\\engine"), "C:/Games/R/engine");
}

} // namespace
} // namespace ormolt
