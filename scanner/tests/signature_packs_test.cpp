// Signature packs: records files in signatures/ beside FendrelCLI, merged with the built-in
// records at run time. The merge in process against a database built the way the build builds
// one, and the program itself copied into a release-like folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "author/author.h"
#include "lib/database/database_tools.h"
#include "lib/database/recorded_database.h"
#include "lib/database/records.h"
#include "lib/database/signature_packs.h"
#include "lib/fendrel.h"
#include "support/coff_link.h"
#include "support/run_program.h"
#include "support/synthetic_database.h"
#include "testkit/xbe_builder.h"

namespace fs = std::filesystem;

namespace {

void write_text(const fs::path &file, const std::string &text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
}

[[maybe_unused]] std::string read_text(const fs::path &file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
}

std::vector<FenxiRecordedRevision> records(const std::string &text) {
    FenxiRecordsRead read = Fenxi_ReadRecords(text, "test.records", Fenxi_CatalogueDatabase());
    EXPECT_EQ(read.errors, std::vector<std::string>{});
    return read.revisions;
}

const OOVPATable *entry_named(const FenxDatabase &database, const std::string &name) {
    for (std::uint32_t g = 0; g < database.GroupCount; ++g)
        for (std::uint32_t e = 0; e < database.Groups[g].EntryCount; ++e)
            if (name == database.Groups[g].Entries[e].Name)
                return &database.Groups[g].Entries[e];
    return nullptr;
}

TEST(SignaturePacks, MergeSortsByBuildAndTheVersionCoversTheMergedData) {
    TemporaryFolder folder;
    const fs::path packs = folder.path() / "signatures";
    const std::string builtin_text = "group xapilib\nrevision SetEvent 5849\nlovp 0 55 8B EC\n";
    const std::string b = "group xapilib\nrevision SetEvent 3911\nlovp 0 56 8B\n";
    const std::string a = "group xapilib\nrevision SetEvent 4627\nlovp 0 57 8B\n"
                          "revision ResetEvent 4134\nlovp 2 C3\n";
    write_text(packs / "b.records", b);
    write_text(packs / "a.records", a);
    write_text(packs / "README.txt", "not a pack\n");
    const std::vector<FenxiRecordedRevision> builtin = records(builtin_text);

    std::vector<std::string> errors;
    const auto listed = Fenxi_ListSignaturePacks(packs, "signatures/", errors);
    ASSERT_EQ(errors, std::vector<std::string>{});
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].shown, "signatures/a.records");
    EXPECT_EQ(listed[1].shown, "signatures/b.records");

    const FenxiSignaturePacks loaded =
        Fenxi_LoadSignaturePacks(listed, Fenxi_CatalogueDatabase(), builtin);
    ASSERT_EQ(loaded.errors, std::vector<std::string>{});
    ASSERT_NE(loaded.database, nullptr);
    EXPECT_EQ(loaded.files,
              (std::vector<std::string>{"signatures/a.records", "signatures/b.records"}));
    const OOVPATable *set_event = entry_named(loaded.database->database(), "SetEvent");
    ASSERT_NE(set_event, nullptr);
    std::vector<std::uint16_t> builds;
    for (std::uint32_t r = 0; r < set_event->RevisionCount; ++r)
        builds.push_back(set_event->Revisions[r].Version);
    EXPECT_EQ(builds, (std::vector<std::uint16_t>{3911, 4627, 5849}));
    // The first byte tells which file each revision came from.
    EXPECT_EQ(set_event->Revisions[0].Oovpa->Pairs[0].Value, 0x56);
    EXPECT_EQ(set_event->Revisions[2].Oovpa->Pairs[0].Value, 0x55);

    // The same data compiled in gives the same version; without the packs it differs.
    const FenxiRecordedDatabase compiled_in(Fenxi_CatalogueDatabase(),
                                            records(builtin_text + a + b));
    const FenxiRecordedDatabase builtin_only(Fenxi_CatalogueDatabase(), builtin);
    const std::uint32_t version = Fenxi_DatabaseVersion(loaded.database->database());
    EXPECT_EQ(version, Fenxi_DatabaseVersion(compiled_in.database()));
    EXPECT_NE(version, Fenxi_DatabaseVersion(builtin_only.database()));

    // Two files holding the same records under other names make the same database.
    write_text(folder.path() / "other" / "all.records", a + b);
    const auto one_file = Fenxi_ListSignaturePacks(folder.path() / "other", "signatures/", errors);
    const FenxiSignaturePacks again =
        Fenxi_LoadSignaturePacks(one_file, Fenxi_CatalogueDatabase(), builtin);
    ASSERT_NE(again.database, nullptr);
    EXPECT_EQ(Fenxi_DatabaseVersion(again.database->database()), version);

    // No folder: no packs, nothing wrong.
    EXPECT_TRUE(Fenxi_ListSignaturePacks(folder.path() / "none", "signatures/", errors).empty());
    EXPECT_EQ(errors, std::vector<std::string>{});
}

// A release-like folder: a copy of FendrelCLI in bin/, its packs in bin/signatures/.
class PackedScanner {
  public:
    PackedScanner() {
        fs::create_directories(bin());
        fs::copy_file(FENDREL_CLI_EXE, program());
    }
    fs::path bin() const { return folder_.path() / "bin"; }
    fs::path program() const { return bin() / fs::path(FENDREL_CLI_EXE).filename(); }
    fs::path packs() const { return bin() / "signatures"; }
    const fs::path &path() const { return folder_.path(); }
    ProgramRun scan(const fs::path &xbe, std::vector<std::string> options = {}) const {
        options.insert(options.begin(), xbe.string());
        return run_program(program().string(), options, folder_.path());
    }

  private:
    TemporaryFolder folder_;
};

// An XAPILIB function the built-in records do not know, in a game that lists the library.
constexpr std::uint32_t kText = 0x00011000;
constexpr std::uint32_t kFunction = kText + 0x40;
const std::vector<std::uint8_t> kCode = {0x55, 0x8B, 0xEC, 0x8B, 0x45, 0x08, 0x35, 0x5A,
                                         0x5A, 0x00, 0x00, 0x5D, 0xC2, 0x04, 0x00};
const std::string kPack = "group xapilib\nrevision SetEvent 4627\n"
                          "lovp 0 55 8B EC 8B 45 08 35 5A 5A 00 00 5D C2 04 00\n";

fs::path write_game(const fs::path &folder) {
    testkit::TestXbe xbe;
    xbe.libraries = {{"XAPILIB", 4627}};
    xbe.sections = {{".text", kText, section_bytes(0x200, {kFunction - kText}, kCode)},
                    {".rdata", 0x00012000, std::vector<std::uint8_t>(16, 0)}};
    xbe.kernel_thunk = 0x00012000;
    const fs::path file = folder / "game.xbe";
    EXPECT_FALSE(testkit::write_test_xbe(file, xbe));
    return file;
}

TEST(SignaturePacks, APackIsFoundWithoutRebuildingAndChangesTheVersion) {
    PackedScanner scanner;
    const fs::path game = write_game(scanner.path());
    const std::string builtin_version = "Database Version = " + hex(Fenx_DatabaseVersion()) + "\n";

    // Without a folder, with an empty one and with one holding no pack: the built-in database,
    // the same bytes on both streams.
    const ProgramRun plain = scanner.scan(game, {"-v", "-e"});
    ASSERT_EQ(plain.exit_code, 0) << plain.err;
    EXPECT_TRUE(plain.err.starts_with(builtin_version)) << plain.err;
    EXPECT_EQ(plain.out.find("SetEvent"), std::string::npos) << plain.out;
    fs::create_directories(scanner.packs());
    for (const char *step : {"empty folder", "no records file"}) {
        SCOPED_TRACE(step);
        const ProgramRun run = scanner.scan(game, {"-v", "-e"});
        EXPECT_EQ(run.exit_code, plain.exit_code);
        EXPECT_EQ(run.out, plain.out);
        EXPECT_EQ(run.err, plain.err);
        write_text(scanner.packs() / "notes.txt", kPack);
    }

    write_text(scanner.packs() / "xapilib-4627.records", kPack);
    const ProgramRun packed = scanner.scan(game, {"-v"});
    ASSERT_EQ(packed.exit_code, 0) << packed.err;
    char line[64];
    std::snprintf(line, sizeof line, "XAPILIB__SetEvent = 0x%08x\n", kFunction);
    EXPECT_EQ(packed.out, line);
    std::vector<FenxiRecordedRevision> merged = Fenxi_BuiltinRecords();
    for (auto &revision : records(kPack))
        merged.push_back(std::move(revision));
    const FenxiRecordedDatabase compiled_in(Fenxi_CatalogueDatabase(), std::move(merged));
    const std::string packed_version =
        "Database Version = " + hex(Fenxi_DatabaseVersion(compiled_in.database())) + "\n";
    EXPECT_NE(packed_version, builtin_version);
    EXPECT_TRUE(packed.err.starts_with(packed_version)) << packed.err;

    // Another copy with the same pack prints the same version.
    PackedScanner other;
    write_text(other.packs() / "renamed.records", kPack);
    const ProgramRun other_run = other.scan(game, {"-v"});
    EXPECT_TRUE(other_run.err.starts_with(packed_version)) << other_run.err;
    EXPECT_EQ(other_run.out, packed.out);
}

TEST(SignaturePacks, AnyFaultRefusesThePacksBeforeAnySymbolLine) {
    // A built-in revision to repeat, when the database has one.
    std::string builtin_repeat;
    if (const auto builtin = Fenxi_BuiltinRecords(); !builtin.empty()) {
        const FenxiRecordedRevision &first = builtin.front();
        builtin_repeat = std::string("group ") + Fenxi_RecordGroupKey(first.group) + "\nrevision " +
                         Fenxi_CatalogueDatabase().Groups[first.group].Entries[first.entry].Name +
                         " " + std::to_string(first.build) + "\nlovp 0 01\n";
    }
    std::string many_pairs = "group xapilib\nrevision SetEvent 4721\n";
    for (int k = 0; k < 256; ++k)
        many_pairs += "lovp " + std::to_string(k) + " 90\n";

    struct Case {
        const char *what;
        std::vector<std::pair<std::string, std::string>> files; // name, text
        std::string message;                                    // after "Fendrel: "
    };
    std::vector<Case> cases = {
        {"unknown entry",
         {{"x.records", "group xapilib\nrevision NoSuchEntry 4721\nlovp 0 55\n"}},
         "signatures/x.records:2: no entry 'NoSuchEntry' in group xapilib"},
        {"unknown group",
         {{"x.records", "# a pack\ngroup xapi\n"}},
         "signatures/x.records:2: unknown group 'xapi'"},
        {"repeated in one file",
         {{"x.records", "group xapilib\nrevision SetEvent 4721\nlovp 0 55\n"
                        "revision SetEvent 4721\nlovp 0 56\n"}},
         "signatures/x.records:4: SetEvent has a revision for build 4721 already, at "
         "signatures/x.records:2"},
        {"repeated in two files, reported in name order",
         {{"b.records", "group xapilib\n\nrevision SetEvent 4721\nlovp 0 55\n"},
          {"a.records", "group xapilib\nrevision SetEvent 4721\nlovp 0 56\n"}},
         "signatures/b.records:3: SetEvent has a revision for build 4721 already, at "
         "signatures/a.records:2"},
        {"offsets out of order",
         {{"x.records", "group xapilib\nrevision SetEvent 4721\nlovp 8 55\nlovp 4 8B\n"}},
         "signatures/x.records:4: lovp offset 4 is not above the previous one, 8"},
        {"more than four references",
         {{"x.records", "group xapilib\nrevision SetEvent 4721\nref 1 kernel 1\nref 5 kernel 2\n"
                        "ref 9 kernel 3\nref 13 kernel 4\nref 17 kernel 5\nlovp 0 55\n"}},
         "signatures/x.records:7: more than 4 references"},
        {"more than 255 pairs",
         {{"x.records", many_pairs}},
         "signatures/x.records:2: SetEvent 4721 has more than 255 pairs"},
        {"an offset beyond 16 bits",
         {{"x.records", "group xapilib\nrevision SetEvent 4721\nlovp 65536 55\n"}},
         "signatures/x.records:3: offset '65536' is not a number from 0 to 65535"},
        {"a placeholder entry",
         {{"x.records", "group d3d8\nrevision D3D_g_pDevice 4627\nlovp 0 55\n"}},
         "signatures/x.records:2: D3D_g_pDevice is a placeholder entry and takes no records"},
        {"a folder named like a pack",
         {{"x.records/inner.txt", "x"}},
         "signatures/x.records: not a regular file"},
    };
    if (!builtin_repeat.empty())
        cases.push_back({"repeats a built-in revision",
                         {{"x.records", builtin_repeat}},
                         "signatures/x.records:2: "});

    TemporaryFolder work;
    const fs::path game = write_game(work.path());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        PackedScanner scanner;
        // A good pack beside the broken one: part of the data is not enough to scan.
        write_text(scanner.packs() / "0-good.records", kPack);
        for (const auto &[name, text] : c.files)
            write_text(scanner.packs() / name, text);
        const ProgramRun run = scanner.scan(game, {"-e"});
        EXPECT_EQ(run.exit_code, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("Fendrel: " + c.message), std::string::npos) << run.err;
        EXPECT_TRUE(
            run.err.ends_with("Fendrel: the signature packs were refused; nothing is scanned\n"))
            << run.err;
    }

    // A file where the folder should be is refused too.
    PackedScanner scanner;
    write_text(scanner.packs(), "not a folder");
    const ProgramRun run = scanner.scan(game);
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("Fendrel: signatures: not a folder\n"), std::string::npos) << run.err;
}

TEST(SignaturePacks, OversizedPacksAreRefusedUnread) {
    TemporaryFolder folder;
    const fs::path packs = folder.path() / "signatures";
    fs::create_directories(packs);
    {
        std::ofstream big(packs / "big.records", std::ios::binary);
        big.seekp(static_cast<std::streamoff>(kFenxiMaxPackBytes));
        big.put('\n');
    }
    std::vector<std::string> errors;
    const auto listed = Fenxi_ListSignaturePacks(packs, "signatures/", errors);
    const FenxiSignaturePacks loaded = Fenxi_LoadSignaturePacks(listed);
    EXPECT_EQ(loaded.database, nullptr);
    ASSERT_EQ(loaded.errors.size(), 1u);
    EXPECT_TRUE(loaded.errors[0].starts_with("signatures/big.records: larger than "))
        << loaded.errors[0];

    // A file of nothing but mistakes reports its first ones and counts the rest.
    std::string junk;
    for (int k = 0; k < 1000; ++k)
        junk += "nonsense\n";
    fs::remove(packs / "big.records");
    write_text(packs / "junk.records", junk);
    const FenxiSignaturePacks refused =
        Fenxi_LoadSignaturePacks(Fenxi_ListSignaturePacks(packs, "signatures/", errors));
    ASSERT_EQ(refused.errors.size(), kFenxiMaxRecordErrors + 1);
    EXPECT_EQ(refused.errors.back(),
              "and " + std::to_string(1000 - kFenxiMaxRecordErrors) + " more problems");
}

// The release maker's road: records authored from a compiled library, dropped into signatures/,
// and the functions found by the FendrelCLI that was already built.
TEST(SignaturePacks, AuthoredRecordsDroppedIntoThePacksAreFound) {
#if !defined(I686_GCC) || !defined(I686_AR)
    GTEST_SKIP() << "no compiler for 32-bit Windows (i686-w64-mingw32-gcc)";
#else
    PackedScanner scanner;
    const fs::path work = scanner.path();
    write_text(work / "events.c", "int event_state[16];\n"
                                  "int __stdcall SetEvent(int handle) {\n"
                                  "    event_state[handle & 15] = 1;\n"
                                  "    return handle ^ 0x5a5a;\n"
                                  "}\n"
                                  "int __stdcall ResetEvent(int handle) {\n"
                                  "    event_state[handle & 15] = 0;\n"
                                  "    return (handle ^ 0x3c3c) * 3;\n"
                                  "}\n"
                                  "int __stdcall PulseEvent(int h) {\n"
                                  "    SetEvent(h);\n"
                                  "    return ResetEvent(h) + 7;\n"
                                  "}\n");
    const ProgramRun compiled = run_program(
        I686_GCC,
        {"-O2", "-ffunction-sections", "-fno-asynchronous-unwind-tables", "-c", "events.c"}, work);
    ASSERT_EQ(compiled.exit_code, 0) << compiled.err;
    const ProgramRun archived = run_program(I686_AR, {"rcs", "libxapi.a", "events.o"}, work);
    ASSERT_EQ(archived.exit_code, 0) << archived.err;
    fs::create_directories(scanner.packs());
    const ProgramRun authored =
        run_program(FENDREL_AUTHOR_EXE,
                    {"--library", "XAPILIB", "--build", "4627", "--out",
                     (scanner.packs() / "xapilib-4627.records").string(), "libxapi.a"},
                    work);
    ASSERT_EQ(authored.exit_code, 0) << authored.err;

    fendrel_author::AuthorInput input;
    ASSERT_TRUE(fendrel_author::load_input(work / "libxapi.a", input));
    const auto linked = link_coff_objects(input.objects, 0x00011000, 0x00030000);
    ASSERT_TRUE(linked) << linked.error();
    testkit::TestXbe xbe;
    xbe.libraries = {{"XAPILIB", 4627}};
    xbe.sections = {{".text", 0x00011000, linked->code}, {".data", 0x00030000, linked->data}};
    xbe.kernel_thunk = 0x00030000;
    ASSERT_FALSE(testkit::write_test_xbe(work / "game.xbe", xbe));

    // Every function the pack holds, at its linked address.
    const FenxiRecordsRead pack = Fenxi_ReadRecords(
        read_text(scanner.packs() / "xapilib-4627.records"), "pack", Fenxi_CatalogueDatabase());
    ASSERT_EQ(pack.errors, std::vector<std::string>{});
    ASSERT_FALSE(pack.revisions.empty()) << authored.out;
    const ProgramRun scan = scanner.scan(work / "game.xbe");
    ASSERT_EQ(scan.exit_code, 0) << scan.err;
    for (const FenxiRecordedRevision &revision : pack.revisions) {
        const std::string name =
            Fenxi_CatalogueDatabase().Groups[revision.group].Entries[revision.entry].Name;
        char line[128];
        std::snprintf(line, sizeof line, "XAPILIB__%s = 0x%08x\n", name.c_str(),
                      linked->addresses.at("_" + name + "@4"));
        EXPECT_NE(scan.out.find(line), std::string::npos) << line << scan.out;
    }
#endif
}

} // namespace
