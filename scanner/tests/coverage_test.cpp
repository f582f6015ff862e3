// fendrel-author's coverage report and usage: a synthetic game whose libraries, builds and
// records the test chooses, in process; the program on a game with and without a pack.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "author/coverage.h"
#include "lib/fendrel.h"
#include "support/run_program.h"
#include "support/synthetic_database.h"
#include "testkit/sample_game.h"
#include "testkit/xbe_builder.h"

namespace fs = std::filesystem;
using namespace fendrel_author;

namespace {

constexpr std::uint32_t kText = 0x00011000;

std::vector<OOVPAPair> lovp(std::initializer_list<std::uint8_t> bytes) {
    std::vector<OOVPAPair> pairs;
    std::uint16_t offset = 0;
    for (std::uint8_t byte : bytes)
        pairs.push_back({offset++, byte});
    return pairs;
}

TEST(Coverage, EachLibrarysEntriesRevisionsAndFindsForItsBuild) {
    SyntheticDatabase db;
    const auto alpha = lovp({0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6});
    const auto delta = lovp({0xD1, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6});
    const auto omega = lovp({0x0E, 0x0F, 0x1E, 0x1F, 0x2E, 0x2F});
    const std::uint32_t xapi = db.group(FENX_LIB_XAPILIB, {".text"});
    // Alpha applies and is in the game; Beta's only revision is newer than the game's build;
    // Gamma has none; Delta applies but the game lacks its code; Hidden is a placeholder.
    db.entry(xapi, 900, FENX_SCAN_AUTOMATIC, "Alpha", {{4000, db.record(0, 0, alpha)}});
    db.entry(xapi, 901, FENX_SCAN_AUTOMATIC, "Beta",
             {{5000, db.record(0, 0, lovp({0xB1, 0xB2, 0xB3, 0xB4}))}});
    db.entry(xapi, 902, FENX_SCAN_AUTOMATIC, "Gamma", {});
    db.entry(xapi, 903, FENX_SCAN_AUTOMATIC, "Delta",
             {{3911, db.record(0, 0, delta)}, {5849, db.record(0, 0, lovp({0xEE, 0xEF}))}});
    db.entry(xapi, 904, FENX_SCAN_MANUAL, "Hidden", {{0, db.record(0, 0, {})}},
             FENX_SYMBOL_VARIABLE, 1);
    // A group serving two libraries counts for each the game lists.
    const std::uint32_t graphics = db.group(FENX_LIB_D3D8 | FENX_LIB_XGRAPHC, {".text"});
    db.entry(graphics, 910, FENX_SCAN_AUTOMATIC, "Zeta", {});
    db.entry(graphics, 911, FENX_SCAN_AUTOMATIC, "Omega", {{5849, db.record(0, 0, omega)}});
    db.entry(graphics, 912, FENX_SCAN_AUTOMATIC, "Epsilon", {});
    const std::uint32_t sound = db.group(FENX_LIB_DSOUND, {".text"}); // not in the game

    testkit::TestXbe xbe;
    xbe.libraries = {{"XAPILIB", 4627},
                     {"LIBCMT", 5849},
                     {"D3D8", 5849},
                     {"XGRAPHC", 4361},
                     {"LIB\x1B[2J", 3911}};
    std::vector<std::uint8_t> code =
        section_bytes(0x400, {0x10}, lovp_pattern(*db.record(0, 0, alpha)));
    const auto omega_bytes = lovp_pattern(*db.record(0, 0, omega));
    std::copy(omega_bytes.begin(), omega_bytes.end(), code.begin() + 0x80);
    xbe.sections = {{".text", kText, code}, {".rdata", 0x00012000, std::vector<std::uint8_t>(8)}};
    xbe.kernel_thunk = 0x00012000;
    const testkit::ExactImage image(testkit::build_test_xbe(xbe));

    Fenx_SetMessageCallback(nullptr);
    const CoverageResult result = game_coverage(image.data, image.size, db.database());
    ASSERT_EQ(result.error, "");
    struct Row {
        const char *name;
        std::uint16_t build;
        std::size_t entries, placeholders;
        std::vector<std::string> found, not_found, without;
    };
    const std::vector<Row> rows = {
        // Delta's revision applies but its code is not in the game: a record that misses.
        {"XAPILIB", 4627, 5, 1, {"Alpha"}, {"Delta"}, {"Beta", "Gamma"}},
        {"D3D8", 5849, 3, 0, {"Omega"}, {}, {"Epsilon", "Zeta"}},
        // Omega's revision is for a later build; so it is not counted as found either: the scan
        // of this library does not try it.
        {"XGRAPHC", 4361, 3, 0, {}, {}, {"Epsilon", "Omega", "Zeta"}},
    };
    ASSERT_EQ(result.coverage.libraries.size(), rows.size());
    for (std::size_t k = 0; k < rows.size(); ++k) {
        SCOPED_TRACE(rows[k].name);
        const LibraryCoverage &library = result.coverage.libraries[k];
        EXPECT_EQ(library.name, rows[k].name);
        EXPECT_EQ(library.build, rows[k].build);
        EXPECT_EQ(library.entries, rows[k].entries);
        EXPECT_EQ(library.placeholders, rows[k].placeholders);
        EXPECT_EQ(library.placeholders_found, 0u);
        EXPECT_EQ(library.found, rows[k].found);
        EXPECT_EQ(library.not_found, rows[k].not_found);
        EXPECT_EQ(library.without_revision, rows[k].without);
    }
    // Names the database does not know, shown without their control bytes.
    ASSERT_EQ(result.coverage.unknown.size(), 2u);
    EXPECT_EQ(result.coverage.unknown[0].name, "LIBCMT");
    EXPECT_EQ(result.coverage.unknown[0].build, 5849);
    EXPECT_EQ(result.coverage.unknown[1].name, "LIB?[2J");

    const std::string text = coverage_text(result.coverage, "game.xbe");
    EXPECT_NE(text.find("\nXAPILIB 4627: 5 entries: 2 with a revision for build 4627 (1 found in "
                        "this game, 1 not found), 2 without one, 1 placeholder (0 found by the "
                        "derivations)\n"
                        "  found in this game (1):\n    Alpha\n"
                        "  with a revision for build 4627 but not found in this game (1):\n"
                        "    Delta\n"
                        "  no revision for build 4627, to author from XAPILIB 4627 (2):\n"
                        "    Beta\n    Gamma\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nlibraries the database does not know: LIBCMT 5849 LIB?[2J 3911\n"),
              std::string::npos)
        << text;
    // A path is any bytes: quotes and control characters escaped, what is not UTF-8 replaced.
    const std::string json = coverage_json(result.coverage, "a \"b\"\xFF\n\xC3\xA9.xbe");
    EXPECT_TRUE(json.starts_with(
        "{\"xbe\":\"a \\\"b\\\"\\ufffd\\u000a\xC3\xA9.xbe\",\"database_version\":\""))
        << json;
    EXPECT_NE(json.find(",\"libraries\":[{\"name\":\"XAPILIB\",\"build\":4627,\"entries\":5,"
                        "\"placeholders\":1,\"placeholders_found\":0,\"with_revision\":2,"
                        "\"found\":1,\"found_entries\":[\"Alpha\"],\"not_found\":[\"Delta\"],"
                        "\"without_revision\":[\"Beta\",\"Gamma\"]},"),
              std::string::npos)
        << json;
    EXPECT_TRUE(json.ends_with(",\"unknown_libraries\":[{\"name\":\"LIBCMT\",\"build\":5849},"
                               "{\"name\":\"LIB?[2J\",\"build\":3911}]}\n"))
        << json;

    // What each pack is to this game, and the version in the one form FendrelCLI -v prints.
    FenxiSignaturePacks packs;
    packs.files = {"later.records", "mixed.records", "elsewhere.records"};
    packs.revisions = {{{xapi, 1, 5000}},
                       {{xapi, 0, 4000}, {graphics, 1, 5849}, {xapi, 3, 9999}},
                       {{sound, 0, 3911}}};
    GameCoverage with_packs = result.coverage;
    with_packs.database_version = 0x0123ABCD;
    add_pack_coverage(with_packs, db.database(), packs);
    const std::string pack_text = coverage_text(with_packs, "game.xbe");
    EXPECT_TRUE(pack_text.starts_with(
        "game.xbe: database version 123abcd (built-in records and 3 packs)\n"
        "  pack later.records: 1 revision, applies to nothing here: every revision is for a later "
        "build than the game's library\n"
        "  pack mixed.records: 3 revisions, 2 for this game's library builds\n"
        "  pack elsewhere.records: 1 revision, applies to nothing here: none is for a library "
        "build this game lists\n\n"))
        << pack_text;
    const std::string pack_json = coverage_json(with_packs, "game.xbe");
    EXPECT_NE(
        pack_json.find("\"database_version\":\"123abcd\",\"packs\":[\"later.records\","
                       "\"mixed.records\",\"elsewhere.records\"],\"pack_coverage\":[{\"name\":"
                       "\"later.records\",\"revisions\":1,\"applying\":0,\"later_builds\":1},"
                       "{\"name\":\"mixed.records\",\"revisions\":3,\"applying\":2,"
                       "\"later_builds\":1},{\"name\":\"elsewhere.records\",\"revisions\":1,"
                       "\"applying\":0,\"later_builds\":0}],"),
        std::string::npos)
        << pack_json;

    // A damaged image is refused, not scanned.
    testkit::TestXbe cut = xbe;
    cut.file_size = 0x130;
    const testkit::ExactImage short_image(testkit::build_test_xbe(cut));
    EXPECT_TRUE(game_coverage(short_image.data, short_image.size, db.database())
                    .error.starts_with("invalid xbe image: "));
}

// The program with the built-in database: what the derivations find in the sample game, and a
// pack moving an entry from the list to author into the found ones.
TEST(CoverageProgram, DerivationsAndPacksOnARealCatalogue) {
    TemporaryFolder folder;
    ASSERT_FALSE(testkit::write_test_xbe(folder.path() / "sample.xbe", testkit::sample_xbe()));
    const ProgramRun sample =
        run_program(FENDREL_AUTHOR_EXE, {"coverage", "sample.xbe"}, folder.path());
    ASSERT_EQ(sample.exit_code, 0) << sample.err;
    std::string derived =
        "\nfound by the derivations: " + std::to_string(testkit::sample_xdk_symbols().size()) +
        "\n";
    for (const auto &symbol : testkit::sample_xdk_symbols()) {
        char line[128];
        std::snprintf(line, sizeof line, "  %s %s = 0x%08x\n", symbol.library, symbol.name,
                      symbol.address);
        derived += line;
    }
    EXPECT_NE(sample.out.find(derived), std::string::npos) << sample.out;

    // A game listing XAPILIB 4627 with one function the built-in records do not know.
    testkit::TestXbe xbe;
    xbe.libraries = {{"XAPILIB", 4627}};
    const std::vector<std::uint8_t> code = {0x55, 0x8B, 0xEC, 0x8B, 0x45, 0x08, 0x35, 0x5A,
                                            0x5A, 0x00, 0x00, 0x5D, 0xC2, 0x04, 0x00};
    xbe.sections = {{".text", kText, section_bytes(0x200, {0x40}, code)},
                    {".rdata", 0x00012000, std::vector<std::uint8_t>(8)}};
    xbe.kernel_thunk = 0x00012000;
    ASSERT_FALSE(testkit::write_test_xbe(folder.path() / "game.xbe", xbe));
    std::ofstream(folder.path() / "xapilib-4627.records")
        << "group xapilib\nrevision SetEvent 4627\n"
           "lovp 0 55 8B EC 8B 45 08 35 5A 5A 00 00 5D C2 04 00\n";

    const ProgramRun before =
        run_program(FENDREL_AUTHOR_EXE, {"coverage", "--json", "game.xbe"}, folder.path());
    const ProgramRun after =
        run_program(FENDREL_AUTHOR_EXE, {"coverage", "game.xbe", "xapilib-4627.records", "--json"},
                    folder.path());
    ASSERT_EQ(before.exit_code, 0) << before.err;
    ASSERT_EQ(after.exit_code, 0) << after.err;
    // {"name":"XAPILIB","build":4627,"entries":N,"placeholders":P,"with_revision":W,"found":F,...
    const auto numbers = [](const std::string &json) {
        std::vector<long> values;
        for (const char *key : {"\"with_revision\":", "\"found\":"}) {
            const std::size_t at = json.find(key);
            values.push_back(
                at == std::string::npos ? -1 : std::stol(json.substr(at + std::strlen(key))));
        }
        return values;
    };
    const auto was = numbers(before.out);
    const auto now = numbers(after.out);
    EXPECT_EQ(now[0], was[0] + 1) << before.out << after.out;
    EXPECT_EQ(now[1], was[1] + 1) << before.out << after.out;
    const auto names = [](const std::string &json, const std::string &key) {
        const std::size_t at = json.find("\"" + key + "\":[");
        return at == std::string::npos ? std::string() : json.substr(at, json.find(']', at) - at);
    };
    EXPECT_NE(names(before.out, "without_revision").find("\"SetEvent\""), std::string::npos);
    EXPECT_EQ(names(after.out, "without_revision").find("\"SetEvent\""), std::string::npos);
    EXPECT_NE(names(after.out, "found_entries").find("\"SetEvent\""), std::string::npos);
    EXPECT_NE(after.out.find("\"packs\":[\"xapilib-4627.records\"],\"pack_coverage\":[{\"name\":"
                             "\"xapilib-4627.records\",\"revisions\":1,\"applying\":1,"),
              std::string::npos)
        << after.out;

    // A broken pack is refused as FendrelCLI refuses it.
    std::ofstream(folder.path() / "broken.records") << "group xapilib\nrevision Nothing 1\n";
    const ProgramRun broken =
        run_program(FENDREL_AUTHOR_EXE, {"coverage", "game.xbe", "broken.records"}, folder.path());
    EXPECT_EQ(broken.exit_code, 1);
    EXPECT_EQ(broken.out, "");
    EXPECT_NE(broken.err.find("fendrel-author: broken.records:2: no entry 'Nothing'"),
              std::string::npos)
        << broken.err;
}

TEST(AuthorUsage, NamesEveryLibraryAndSaysWhatIsMissing) {
    std::string libraries = "libraries (--library):";
    for (std::uint32_t bit = 0; bit < 15; ++bit)
        libraries += std::string(" ") + Fenx_LibraryName(1u << bit);
    libraries += "\n";
    struct Case {
        std::vector<std::string> arguments;
        int exit_code;
        bool on_standard_output;
        std::string first_line;
    };
    const std::vector<Case> cases = {
        {{}, 2, false, "usage: fendrel-author --library NAME"},
        {{"--help"}, 0, true, "usage: fendrel-author --library NAME"},
        {{"--build", "5849", "-h"}, 0, true, "usage: fendrel-author --library NAME"},
        {{"--build", "5849", "x.lib"}, 2, false, "fendrel-author: no --library given"},
        {{"--library", "D3D9", "--build", "5849", "x.lib"},
         2,
         false,
         "fendrel-author: --library names no library the database knows"},
        {{"coverage"}, 2, false, "fendrel-author: no game to look at"},
    };
    TemporaryFolder folder;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments.empty() ? "(none)" : c.arguments.back());
        const ProgramRun run = run_program(FENDREL_AUTHOR_EXE, c.arguments, folder.path());
        EXPECT_EQ(run.exit_code, c.exit_code);
        const std::string &shown = c.on_standard_output ? run.out : run.err;
        EXPECT_EQ(c.on_standard_output ? run.err : run.out, "");
        EXPECT_TRUE(shown.starts_with(c.first_line)) << shown;
        if (c.arguments.empty() || c.on_standard_output) {
            EXPECT_NE(shown.find("\n       fendrel-author coverage [--json] <game.xbe>"),
                      std::string::npos)
                << shown;
            EXPECT_NE(shown.find(libraries), std::string::npos) << shown;
        }
    }
}

} // namespace
