// The testkit's programs, as the demo and scripts run them: "--help" and unknown options are
// answered with the usage line and never taken for a folder to write into.
#include "test_support.h"

namespace ormolt {
namespace {

namespace fs = std::filesystem;

// Runs the tool in an empty folder, capturing its streams elsewhere. Line ends are compared as
// "\n": on Windows the console streams write "\r\n".
testkit::ChildResult run_in(const fs::path &program, const std::vector<std::string> &arguments,
                            const fs::path &folder, const fs::path &scratch) {
    testkit::ChildOptions options;
    options.working_folder = folder;
    options.scratch = scratch;
    auto run = testkit::run_child(program, arguments, options);
    for (std::string *text : {&run.out, &run.err})
        std::erase(*text, '\r');
    return run;
}

TEST(TestkitTools, HelpAndUnknownOptionsWriteNothing) {
    struct Tool {
        const char *program;
        const char *usage;
        std::vector<std::string> valid; // a call that works, to show the tool is the right one
    };
    const Tool tools[] = {
        {TOOL_make_sample_game,
         "usage: make-sample-game <out folder> [--title-id HEX] [--title NAME] [--name NAME]\n",
         {"out", "--title-id", "4D510002", "--name", "marble"}},
        {TOOL_make_disc_image,
         "usage: make-disc-image <folder> <image> [--base HEX]\n",
         {"out", "out.iso", "--base", "0"}},
        {TOOL_make_release_folder,
         "usage: make-release-folder <release folder> [--title-id ID] [--version V] "
         "[program...]\n",
         {"out", "--title-id", "ABCD0001"}},
    };
    for (const Tool &tool : tools) {
        const fs::path program = fs::path(tool.program);
        for (const std::vector<std::string> &arguments :
             {std::vector<std::string>{"--help"}, {"out", "--help"}, {"-h"}}) {
            test::TempFolder temp, scratch;
            const auto run = run_in(program, arguments, temp.path(), scratch.path());
            EXPECT_EQ(run.exit_code, 0u) << program << " " << arguments[0];
            EXPECT_EQ(run.out, tool.usage) << program;
            EXPECT_TRUE(fs::is_empty(temp.path())) << program << " " << arguments[0];
        }
        for (const std::vector<std::string> &arguments :
             {std::vector<std::string>{"--bogus"}, {"out", "--force"}, {"--out", "x"}}) {
            test::TempFolder temp, scratch;
            const auto run = run_in(program, arguments, temp.path(), scratch.path());
            EXPECT_EQ(run.exit_code, 64u) << program << " " << arguments[0];
            EXPECT_TRUE(run.err.ends_with(tool.usage)) << run.err;
            EXPECT_EQ(run.out, "");
            EXPECT_TRUE(fs::is_empty(temp.path())) << program << " " << arguments[0];
        }
        test::TempFolder temp, scratch;
        fs::create_directories(temp / "out");
        const auto run = run_in(program, tool.valid, temp.path(), scratch.path());
        EXPECT_EQ(run.exit_code, 0u) << program << ": " << run.err;
    }
}

} // namespace
} // namespace ormolt
