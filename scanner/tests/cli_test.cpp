// FendrelCLI end to end: the program started on files and test images, its exact standard output,
// standard error and exit status. The installed program scans with the built-in database; a copy
// built around a test database shows every kind of symbol line.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "lib/fendrel.h"
#include "support/cli_test_database.h"
#include "support/run_program.h"
#include "testkit/sample_game.h"
#include "testkit/xbe_builder.h"

using namespace testkit;

namespace {

const std::string kCli = FENDREL_CLI_EXE;
const std::string kTestCli = FENDREL_TEST_CLI_EXE;

std::string usage(const std::string &program) {
    return "usage: " + program + " xbefile [-v -verbose] [-d -demangle] [-e -extendinfo]\n";
}

std::string version_line() {
    char line[64];
    std::snprintf(line, sizeof line, "Database Version = %x\n", Fenx_DatabaseVersion());
    return line;
}

TEST(FendrelCli, UsageWithoutExactlyOnePath) {
    TemporaryFolder folder;
    for (const std::vector<std::string> &args : {std::vector<std::string>{},
                                                 {"-v"},
                                                 {"-d", "-e", "-verbose"},
                                                 {"a.xbe", "b.xbe"},
                                                 {"-v", "a.xbe", "b.xbe"}}) {
        SCOPED_TRACE(testing::PrintToString(args));
        const ProgramRun run = run_program(kCli, args, folder.path());
        EXPECT_EQ(run.exit_code, 1);
        EXPECT_EQ(run.out, "");
        // Nothing else, not even the database version.
        EXPECT_EQ(run.err, usage(kCli));
    }
}

TEST(FendrelCli, FilesThatAreNotImages) {
    struct Case {
        const char *name;
        std::vector<std::uint8_t> bytes; // empty name: no file
        std::vector<std::string> options;
        std::string err;
        std::uintmax_t size = 0; // the file made this large (sparse), and never read
    };
    const std::vector<Case> cases = {
        {"missing", {}, {}, "failed to open missing.xbe for reading\n"},
        {"empty", {}, {}, "invalid xbe header\n"},
        {"three bytes", {'X', 'B', 'E'}, {}, "invalid xbe header\n"},
        {"another format", {'M', 'Z', 0x90, 0x00, 0x03, 0x00}, {}, "invalid xbe header\n"},
        {"another format, verbose",
         {'M', 'Z', 0x90, 0x00},
         {"-v"},
         version_line() + "invalid xbe header\n"},
        {"only the magic",
         {'X', 'B', 'E', 'H'},
         {"-e"},
         "invalid xbe image: the file is too short for the image header\n"},
        {"2 GiB", {'X', 'B', 'E', 'H'}, {}, "game.xbe is too large for an xbe file\n", 0x80000000},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        TemporaryFolder folder;
        std::string path = "missing.xbe";
        if (std::string(test.name) != "missing")
            path = folder.write("game.xbe", test.bytes).string();
        if (test.size != 0) {
            std::filesystem::resize_file(path, test.size);
            path = "game.xbe";
        }
        std::vector<std::string> args = test.options;
        args.push_back(path);
        const ProgramRun run = run_program(kCli, args, folder.path());
        EXPECT_EQ(run.exit_code, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, test.err);
    }
}

TestXbe scannable_image() {
    TestXbe xbe;
    xbe.libraries = {{"D3D8", 4627}, {"XAPILIB", 4627}};
    std::vector<std::uint8_t> text(0x200, 0xC3);
    std::fill(text.begin() + 0x100, text.begin() + 0x104, 0); // an empty kernel thunk table
    xbe.sections = {{".text", 0x00011000, text},
                    {".data", 0x00013000, std::vector<std::uint8_t>(0x40, 0x00), false},
                    {"D3D", 0x00012000, std::vector<std::uint8_t>(0x100, 0xCC)}};
    xbe.kernel_thunk = 0x00011100;
    return xbe;
}

TEST(FendrelCli, TruncatedImagesAreRefusedWithoutReadingPastTheirEnd) {
    const std::vector<std::uint8_t> good = build_test_xbe(scannable_image());
    TemporaryFolder folder;
    int refused = 0;
    for (std::size_t keep = 4; keep < good.size(); keep += 1 + keep / 6) {
        SCOPED_TRACE(keep);
        const std::vector<std::uint8_t> cut(good.begin(), good.begin() + keep);
        const ExactImage image(cut);
        const char *problem = Fenx_CheckXbe(image.data, image.size, true);
        const ProgramRun run =
            run_program(kCli, {folder.write("cut.xbe", cut).string()}, folder.path());
        EXPECT_EQ(run.out, "");
        if (problem != nullptr) {
            ++refused;
            EXPECT_EQ(run.exit_code, 1);
            EXPECT_EQ(run.err, std::string("invalid xbe image: ") + problem + "\n");
        } else {
            EXPECT_EQ(run.exit_code, 0);
            EXPECT_EQ(run.err.find("Sanitizer"), std::string::npos);
        }
    }
    EXPECT_GT(refused, 10);
}

TEST(FendrelCli, MalformedTablesAreRefused) {
    const std::vector<std::uint8_t> good = build_test_xbe(scannable_image());
    const std::uint32_t outside = 0x00010000 + static_cast<std::uint32_t>(good.size());
    struct Case {
        std::size_t field;
        std::uint32_t value;
        std::string err;
    };
    const std::vector<Case> cases = {
        {kXbeSectionCountField, 0x01000000,
         "invalid xbe image: the section headers lie outside the file\n"},
        {kXbeSectionHeadersField, outside,
         "invalid xbe image: the section headers lie outside the file\n"},
        {kXbeLibraryCountField, 0x00100000,
         "invalid xbe image: the library version table lies outside the file\n"},
        {kXbeLibraryTableField, outside - 8,
         "invalid xbe image: the library version table lies outside the file\n"},
    };
    TemporaryFolder folder;
    for (const Case &test : cases) {
        SCOPED_TRACE(test.err);
        std::vector<std::uint8_t> broken = good;
        write_field(broken, test.field, test.value);
        const ProgramRun run =
            run_program(kCli, {"-v", folder.write("bad.xbe", broken).string()}, folder.path());
        EXPECT_EQ(run.exit_code, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, version_line() + test.err);
    }
}

TEST(FendrelCli, NothingToScanIsAnEmptyResult) {
    struct Case {
        std::vector<TestXbeLibrary> libraries;
        std::vector<std::string> sections;
        std::string err;
    };
    const std::vector<Case> cases = {
        {{{"LIBC", 4627}},
         {".text"},
         "Fendrel: No XDK library is listed for this image; nothing is scanned.\n"},
        {{{"XAPILIB", 4627}},
         {".data"},
         "Fendrel: No section of this image is listed for scanning; nothing is scanned.\n"},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.err);
        TestXbe xbe;
        xbe.libraries = test.libraries;
        for (const std::string &name : test.sections)
            xbe.sections.push_back({name, 0x00011000, std::vector<std::uint8_t>(0x20, 0xC3)});
        TemporaryFolder folder;
        const ProgramRun run = run_program(
            kCli, {folder.write("game.xbe", build_test_xbe(xbe)).string()}, folder.path());
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, test.err);
    }
}

// The default build folder holds the user's name, which need not fit the ANSI code page: the
// path must reach the file system as the caller wrote it, and messages must show it as UTF-8.
TEST(FendrelCli, PathsOutsideTheAnsiCodePage) {
    const std::string user = "Zo\xC3\xAB \xE6\x9D\x8E"; // "Zoë 李"
    TemporaryFolder folder;
    const std::filesystem::path inner = folder.path() / std::u8string(user.begin(), user.end());
    std::filesystem::create_directory(inner);
    const std::string image = folder.path().string() + "/" + user + "/game.xbe";
    const std::vector<std::uint8_t> bytes = build_test_xbe(scannable_image());
    std::filesystem::copy_file(folder.write("plain.xbe", bytes), inner / "game.xbe");
    const ProgramRun plain = run_program(kCli, {"-v", "plain.xbe"}, folder.path());
    const ProgramRun wide = run_program(kCli, {"-v", image}, folder.path());
    EXPECT_EQ(wide.exit_code, 0);
    EXPECT_EQ(wide.err, plain.err);
    EXPECT_EQ(wide.out, plain.out);

    const ProgramRun missing = run_program(kCli, {image + ".missing"}, folder.path());
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_EQ(missing.err, "failed to open " + image + ".missing for reading\n");
}

// A damaged thunk table can hold a refused entry per 4 bytes of its section: past as many as a
// real table holds they are counted, unless -v asks for every message.
TEST(FendrelCli, RefusedKernelThunksAreBounded) {
    constexpr std::uint32_t kRefused = 400;
    TestXbe xbe = scannable_image();
    std::vector<std::uint8_t> table(4 * kRefused + 4, 0);
    for (std::uint32_t k = 0; k < kRefused; ++k)
        write_field(table, 4 * k, 0x80000000u | (1000 + k));
    xbe.sections.push_back({".rdata", 0x00014000, table});
    xbe.kernel_thunk = 0x00014000;
    TemporaryFolder folder;
    const std::string path = folder.write("game.xbe", build_test_xbe(xbe)).string();
    struct Case {
        std::vector<std::string> options;
        std::size_t listed;
        std::string summary;
    };
    const std::vector<Case> cases = {
        {{}, 378, "Fendrel: Unable to register kernel thunk: 22 more entries, not listed\n"},
        {{"-v"}, kRefused, ""},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(testing::PrintToString(test.options));
        std::vector<std::string> args = test.options;
        args.push_back(path);
        const ProgramRun run = run_program(kCli, args, folder.path());
        EXPECT_EQ(run.exit_code, 0);
        const std::string listed = "Fendrel: Unable to register kernel thunk: index=";
        std::size_t count = 0;
        for (std::size_t at = run.err.find(listed); at != std::string::npos;
             at = run.err.find(listed, at + 1))
            ++count;
        EXPECT_EQ(count, test.listed);
        // The last one listed is the last the table holds, or the last before the count.
        const auto position = static_cast<unsigned>(test.listed) - 1;
        char last[96];
        std::snprintf(last, sizeof last, "index=%u; vaddr=0x%08x\n", 1000 + position,
                      0x00014000 + 4 * position);
        EXPECT_NE(run.err.find(std::string(last) + test.summary), std::string::npos) << run.err;
        if (test.summary.empty()) {
            EXPECT_EQ(run.err.find("more entries"), std::string::npos);
        }
    }
}

TEST(FendrelCli, VerboseListsLibrariesSectionsAndProgress) {
    TemporaryFolder folder;
    const std::string path = folder.write("game.xbe", build_test_xbe(scannable_image())).string();
    const ProgramRun quiet = run_program(kCli, {path}, folder.path());
    EXPECT_EQ(quiet.exit_code, 0);
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, "");

    const ProgramRun verbose = run_program(kCli, {path, "-verbose"}, folder.path());
    EXPECT_EQ(verbose.exit_code, 0);
    EXPECT_EQ(verbose.out, "");
    const std::string listings =
        version_line() + "2 libraries\n  D3D8\n  XAPILIB\n2 sections\n  .text\n  D3D\n";
    EXPECT_EQ(verbose.err.substr(0, listings.size()), listings);
    for (const char *line :
         {"Fendrel: Kernel thunk is found in .text section\n", "Fendrel: Library type active: 1\n",
          "Fendrel: Scanning D3D8 library in D3D section\n",
          "Fendrel: Scanning XAPILIB library in .text section\n"})
        EXPECT_NE(verbose.err.find(line), std::string::npos) << line;
}

// An image for the test database: every pattern in its section except the symbols left out.
std::vector<std::uint8_t> test_database_image(const std::vector<std::size_t> &present) {
    const std::vector<CliTestSymbol> &symbols = cli_test_symbols();
    TestXbe xbe;
    xbe.libraries = {{"D3D8LTCG", 4627}, {"XONLINEN", 4627}};
    std::vector<std::uint8_t> d3d(0x100, 0xCC), online(0x100, 0x00);
    for (std::size_t i : present) {
        std::vector<std::uint8_t> &bytes = symbols[i].section == "D3D" ? d3d : online;
        const std::size_t at = symbols[i].section == "D3D" ? 0x20 * i : 0x10;
        std::copy(symbols[i].pattern.begin(), symbols[i].pattern.end(), bytes.begin() + at);
    }
    xbe.sections = {{"D3D", 0x00011000, d3d}, {"XONLINE", 0x00012000, online}};
    xbe.kernel_thunk = 0x00012080; // an empty table
    return build_test_xbe(xbe);
}

TEST(FendrelCli, SymbolLinesInEachForm) {
    const std::string params =
        "psh WidthOfTheTextureInTexelsAtTheTopMostLevel, psh "
        "HeightOfTheTextureInTexelsAtTheTopMostLevel, psh "
        "DepthOfTheVolumeTextureInTexelsAtTheTop, psh NumberOfMipLevelsWantedForThisTexture, psh "
        "UsageFlagsOfTheTextureResourceToCreate";
    struct Case {
        std::vector<std::string> options;
        std::string out;
    };
    const std::vector<Case> cases = {
        {{},
         "D3D8LTCG__D3DDevice_GetViewport = 0x00011000\n"
         "D3D8LTCG__D3DDevice_DrawVertices_4__LTCG_ecx2_eax3 = 0x00011020\n"
         "D3D8LTCG__D3D_UpdateProjectionViewportTransform = 0x00011060\n"
         "D3D8LTCG__D3D_g_pDevice = 0x00011080\n"
         "D3D8LTCG__D3DDevice__m_VerticalBlankEvent__GenericFragment = 0x000110a0\n"
         "D3D8LTCG__D3D_CreateTexture_28__LTCG_dl8_edi9 = 0x000110c0\n"
         "XONLINEN__XOnlineLogon = 0x00012010\n"},
        {{"-e"},
         "D3D8LTCG__FUN__stdcall__D3DDevice_GetViewport(psh pViewport) = 0x00011000\n"
         "D3D8LTCG__FUN__unknown__D3DDevice_DrawVertices_4__LTCG_ecx2_eax3(psh PrimitiveType, ecx "
         "StartVertex, "
         "eax VertexCount) = 0x00011020\n"
         "D3D8LTCG__FUN__stdcall__D3D_UpdateProjectionViewportTransform() = 0x00011060\n"
         "D3D8LTCG__VAR__D3D_g_pDevice = 0x00011080\n"
         "D3D8LTCG__UNK__D3DDevice__m_VerticalBlankEvent__GenericFragment = 0x000110a0\n"
         "ERROR: param_size(227) + buffer_count(46) is too long to be stored in param_output(256)\n"
         "D3D8LTCG__FUN__unknown__D3D_CreateTexture_28__LTCG_dl8_edi9(" +
             params +
             ") = 0x000110c0\n"
             "XONLINEN__FUN__stdcall__XOnlineLogon(psh pUsers) = 0x00012010\n"},
        {{"-d"},
         "D3D8LTCG__D3DDevice_GetViewport = 0x00011000\n"
         "D3D8LTCG__D3DDevice_DrawVertices = 0x00011020\n"
         "D3D8LTCG__D3D_UpdateProjectionViewportTransform = 0x00011060\n"
         "D3D8LTCG__D3D_g_pDevice = 0x00011080\n"
         "D3D8LTCG__D3DDevice__m_VerticalBlankEvent__GenericFragment = 0x000110a0\n"
         "D3D8LTCG__D3D_CreateTexture = 0x000110c0\n"
         "XONLINEN__XOnlineLogon = 0x00012010\n"},
    };
    TemporaryFolder folder;
    const std::string path =
        folder.write("game.xbe", test_database_image({0, 1, 3, 4, 5, 6, 7})).string();
    for (const Case &test : cases) {
        SCOPED_TRACE(testing::PrintToString(test.options));
        std::vector<std::string> args = test.options;
        args.insert(args.begin(), path);
        const ProgramRun run = run_program(kTestCli, args, folder.path());
        EXPECT_EQ(run.exit_code, 0);
        EXPECT_EQ(run.out, test.out);
        EXPECT_EQ(run.err, "");
    }
}

TEST(FendrelCli, TwoVariantsOfOneFunctionShareTheirCanonicalName) {
    TemporaryFolder folder;
    const std::string variant = folder.write("variant.xbe", test_database_image({1})).string();
    const std::string plain = folder.write("plain.xbe", test_database_image({2})).string();
    EXPECT_EQ(run_program(kTestCli, {variant}, folder.path()).out,
              "D3D8LTCG__D3DDevice_DrawVertices_4__LTCG_ecx2_eax3 = 0x00011020\n");
    EXPECT_EQ(run_program(kTestCli, {plain}, folder.path()).out,
              "D3D8LTCG__D3DDevice_DrawVertices = 0x00011040\n");
    EXPECT_EQ(run_program(kTestCli, {"-d", variant}, folder.path()).out,
              "D3D8LTCG__D3DDevice_DrawVertices = 0x00011020\n");
    EXPECT_EQ(run_program(kTestCli, {plain, "-demangle"}, folder.path()).out,
              "D3D8LTCG__D3DDevice_DrawVertices = 0x00011040\n");
}

// The sample game that the demo builds carries XDK code for the shipped database's records; if
// the records or the sample drift apart, the demo's game would show no symbols.
TEST(FendrelCli, TheShippedDatabaseFindsTheSampleGamesXdkCode) {
    TemporaryFolder folder;
    const std::string path = folder.write("default.xbe", build_test_xbe(sample_xbe())).string();
    const ProgramRun run = run_program(kCli, {path, "-d"}, folder.path());
    std::string expected;
    for (const SampleSymbol &symbol : sample_xdk_symbols()) {
        char line[128];
        std::snprintf(line, sizeof line, "%s__%s = 0x%08x\n", symbol.library, symbol.name,
                      symbol.address);
        expected += line;
    }
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_code, 0);
}

} // namespace
