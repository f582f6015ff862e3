// fendrel-author end to end on real compiled code: C sources compiled for 32-bit Windows into COFF
// objects and an archive, records authored from the archive, the same objects linked into a
// synthetic XBE, and FendrelCLI scanning it with the built-in records plus the authored ones.
// The core is also run in process on objects the compiler cannot make.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "author/author.h"
#include "lib/database/recorded_database.h"
#include "lib/database/records.h"
#include "support/coff_link.h"
#include "support/run_program.h"
#include "testkit/coff_writer.h"
#include "testkit/xbe_builder.h"

using namespace fendrel_author;

namespace {

constexpr std::uint32_t kCodeAddress = 0x00011000;
constexpr std::uint32_t kDataAddress = 0x00030000;

// Functions named after XAPILIB entries, stdcall and cdecl, calling each other (relative
// references), taking each other's address (absolute ones) and touching a global the scanner
// learns from references.
const std::vector<std::pair<std::string, std::string>> kSources = {
    {"data.c", "int _tls_index;\n"
               "int event_state[16];\n"},
    {"events.c", "extern int event_state[16];\n"
                 "int __stdcall SetEvent(int handle) {\n"
                 "    event_state[handle & 15] = 1;\n"
                 "    return handle ^ 0x5a5a;\n"
                 "}\n"
                 "int __stdcall ResetEvent(int handle) {\n"
                 "    event_state[handle & 15] = 0;\n"
                 "    return (handle ^ 0x3c3c) * 3;\n"
                 "}\n"},
    {"create.c", "extern int _tls_index;\n"
                 "int __stdcall SetEvent(int handle);\n"
                 "int __stdcall ResetEvent(int handle);\n"
                 "int __stdcall CreateEventA(int a, int b, int c, int d) {\n"
                 "    int h = a * 16 + b;\n"
                 "    if (c) SetEvent(h); else ResetEvent(h);\n"
                 "    return h + _tls_index * d;\n"
                 "}\n"
                 "int __stdcall PulseEvent(int h) {\n"
                 "    SetEvent(h);\n"
                 "    return ResetEvent(h) + 7;\n"
                 "}\n"
                 "void *__stdcall XGetDevices(int which) {\n"
                 "    return which ? (void *)&SetEvent : (void *)&ResetEvent;\n"
                 "}\n"
                 "int __cdecl mainCRTStartup(void) {\n"
                 "    return CreateEventA(1, 2, 3, 4) + _tls_index;\n"
                 "}\n"
                 "int __stdcall HelperOfNoCatalogue(int x) { return x * 41 + 5; }\n"
                 "int __stdcall D3DDevice_Clear(int x) { return x * 43 - 9; }\n"},
    // Two functions with the same code in two objects: neither can be told from the other.
    {"close.c", "int __stdcall XInputClose(int h) { return h * 3 + 11; }\n"},
    {"poll.c", "int __stdcall XInputPoll(int h) { return h * 3 + 11; }\n"},
    // Tiny functions: six bytes of code, and a lone return (the compiler pads each section).
    {"tiny.c", "int __stdcall GetLastError(void) { return 0x4d2c19a7; }\n"
               "void __stdcall SwitchToThread(void) {}\n"},
};

[[maybe_unused]] std::string read_text(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// "XAPILIB__FUN__stdcall__SetEvent(unk ) = 0x00011010" -> {"SetEvent", 0x11010};
// "XAPILIB__VAR___tls_index = 0x00030050" -> {"_tls_index", 0x30050}.
[[maybe_unused]] std::pair<std::string, std::uint32_t> symbol_of(const std::string &line) {
    const std::size_t equals = line.rfind(" = 0x");
    std::string name = line.substr(0, equals);
    if (const std::size_t var = name.find("__VAR__"); var != std::string::npos) {
        name = name.substr(var + 7);
    } else if (const std::size_t fun = name.find("__FUN__"); fun != std::string::npos) {
        name = name.substr(fun + 7);
        name = name.substr(name.find("__") + 2);
        name = name.substr(0, name.find('('));
    }
    return {name, static_cast<std::uint32_t>(std::stoul(line.substr(equals + 5), nullptr, 16))};
}

TEST(AuthorEndToEnd, RecordsFromCompiledCodeFindEveryFunctionAtItsAddress) {
#if !defined(I686_GCC) || !defined(I686_AR)
    GTEST_SKIP() << "no compiler for 32-bit Windows (i686-w64-mingw32-gcc)";
#else
    TemporaryFolder folder;
    std::vector<std::string> compile = {"-O2", "-ffunction-sections",
                                        "-fno-asynchronous-unwind-tables", "-c"};
    std::vector<std::string> archive = {"rcs", "libxapi.a"};
    for (const auto &[name, text] : kSources) {
        std::ofstream(folder.path() / name) << text;
        compile.push_back(name);
        archive.push_back(name.substr(0, name.size() - 2) + ".o");
    }
    const ProgramRun compiled = run_program(I686_GCC, compile, folder.path());
    ASSERT_EQ(compiled.exit_code, 0) << compiled.err;
    const ProgramRun archived = run_program(I686_AR, archive, folder.path());
    ASSERT_EQ(archived.exit_code, 0) << archived.err;

    const ProgramRun authored = run_program(
        FENDREL_AUTHOR_EXE,
        {"--library", "XAPILIB", "--build", "4627", "--out", "xapilib-4627.records", "libxapi.a"},
        folder.path());
    ASSERT_EQ(authored.exit_code, 0) << authored.err;
    EXPECT_EQ(authored.err, "");
    const std::string &summary = authored.out;
    EXPECT_NE(summary.find("functions found: 12\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("mapped: 10\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("authored: 6\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("ambiguous, left out: 3\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("unmapped: 1\n  _HelperOfNoCatalogue@4 (tried HelperOfNoCatalogue)\n"),
              std::string::npos)
        << summary;
    // Six bytes of code say too little: such a record would match game code.
    EXPECT_NE(summary.find("too small to be told apart, left out: 1\n  GetLastError: "
                           "_GetLastError@0 (libxapi.a(tiny.o)): too small to be told apart"),
              std::string::npos)
        << summary;
    EXPECT_NE(summary.find("in other libraries' groups: 1\n  _D3DDevice_Clear@4: D3DDevice_Clear "
                           "of group d3d8\n"),
              std::string::npos)
        << summary;
    for (const char *ambiguous : {"XInputClose: _XInputClose@4", "XInputPoll: _XInputPoll@4",
                                  "SwitchToThread: _SwitchToThread@0"})
        EXPECT_NE(summary.find(std::string("  ") + ambiguous), std::string::npos) << ambiguous;
    EXPECT_NE(summary.find("self-check conflicts: 0\n"), std::string::npos) << summary;

    const std::filesystem::path records_file = folder.path() / "xapilib-4627.records";
    const FenxiRecordsRead records = Fenxi_ReadRecords(
        read_text(records_file), "xapilib-4627.records", Fenxi_CatalogueDatabase());
    ASSERT_EQ(records.errors, std::vector<std::string>{});
    std::set<std::string> names;
    std::map<std::string, const FenxiRecordedRevision *> by_name;
    for (const FenxiRecordedRevision &revision : records.revisions) {
        const char *name =
            Fenxi_CatalogueDatabase().Groups[revision.group].Entries[revision.entry].Name;
        names.insert(name);
        by_name[name] = &revision;
        EXPECT_EQ(revision.build, 4627);
    }
    const std::set<std::string> expected = {"SetEvent",   "ResetEvent",  "CreateEventA",
                                            "PulseEvent", "XGetDevices", "mainCRTStartup"};
    EXPECT_EQ(names, expected);
    // Both kinds of reference were taken: calls, addresses of functions, and the global.
    ASSERT_TRUE(by_name.contains("CreateEventA") && by_name.contains("XGetDevices"));
    EXPECT_EQ(by_name["CreateEventA"]->xref_count, 3);
    EXPECT_EQ(by_name["XGetDevices"]->xref_count, 2);
    EXPECT_EQ(by_name["mainCRTStartup"]->xref_count, 2);

    // The game: the same objects linked at known addresses.
    AuthorInput input;
    ASSERT_TRUE(load_input(folder.path() / "libxapi.a", input));
    const auto linked = link_coff_objects(input.objects, kCodeAddress, kDataAddress);
    ASSERT_TRUE(linked) << linked.error();
    testkit::TestXbe xbe;
    xbe.libraries = {{"XAPILIB", 4627}};
    xbe.sections = {{".text", kCodeAddress, linked->code}, {".data", kDataAddress, linked->data}};
    xbe.kernel_thunk = kDataAddress;
    ASSERT_FALSE(testkit::write_test_xbe(folder.path() / "game.xbe", xbe));

    const ProgramRun scan =
        run_program(FENDREL_RECORDS_CLI_EXE, {"--records", records_file.string(), "game.xbe", "-e"},
                    folder.path());
    ASSERT_EQ(scan.exit_code, 0) << scan.err;
    std::map<std::string, std::uint32_t> found;
    std::istringstream lines(scan.out);
    for (std::string line; std::getline(lines, line);) {
        const auto [name, address] = symbol_of(line);
        EXPECT_TRUE(found.emplace(name, address).second) << "reported twice: " << line;
        EXPECT_TRUE(line.starts_with("XAPILIB__")) << line;
    }
    // Every authored function at its linked address, and the global its references taught.
    const std::map<std::string, std::string> decorated = {
        {"SetEvent", "_SetEvent@4"},          {"ResetEvent", "_ResetEvent@4"},
        {"CreateEventA", "_CreateEventA@16"}, {"PulseEvent", "_PulseEvent@4"},
        {"XGetDevices", "_XGetDevices@4"},    {"mainCRTStartup", "_mainCRTStartup"},
        {"_tls_index", "__tls_index"},
    };
    std::map<std::string, std::uint32_t> wanted;
    for (const auto &[name, symbol] : decorated)
        wanted[name] = linked->addresses.at(symbol);
    EXPECT_EQ(found, wanted) << scan.out << scan.err;
#endif
}

// Objects the compiler cannot make: names in the other compiler's C++ form, an alias, a kernel
// import, a one-byte function, more references than a record holds. The same code under a manual
// entry's name keeps only what its derivation can use when it looks the entry up.
TEST(AuthorCore, ReferencesAreChosenByWhatTheScanKnowsWhenTheRecordIsMatched) {
    const auto index_of = [](const char *name) {
        const LibraryDatabase &group = Fenxi_CatalogueDatabase().Groups[6];
        for (std::uint32_t e = 0; e < group.EntryCount; ++e)
            if (std::string(group.Entries[e].Name) == name)
                return static_cast<int>(group.Entries[e].SymbolIndex);
        return 0;
    };
    struct Case {
        const char *decorated;
        const char *entry;
        std::vector<std::pair<int, int>> references; // offset, symbol index
        const char *note;                            // why the calls are left out
    };
    const int create_thread = index_of("CreateThread");
    const std::vector<Case> cases = {
        // Automatic: one reference per target first, then more of them; the kernel import after
        // the fifth call is taken before the later calls.
        {"_XInputGetState@8",
         "XInputGetState",
         {{4, create_thread}, {14, create_thread}, {24, create_thread}, {30, 156}},
         "the reference at 9 to _SwitchToThread@0 is left out: nothing finds that symbol"},
        // Manual (XAPI's derivation looks it up before the library scan): the kernel import only.
        {"?GetMaxDeviceTypeCount@IUsbInit@@QAEKXZ",
         "IUsbInit_GetMaxDeviceTypeCount",
         {{30, 156}},
         "the reference at 4 to ?Odd@@YGXXZ is left out: the derivation looks this entry up "
         "before anything finds CreateThread"},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.decorated);
        testkit::TestCoff coff;
        // Five calls alternating between two functions, then an absolute use of a kernel import.
        std::vector<std::uint8_t> code = {0x55, 0x8B, 0xEC};
        std::vector<testkit::TestCoffRelocation> relocations;
        for (std::uint32_t call = 0; call < 5; ++call) {
            code.push_back(0xE8);
            relocations.push_back({static_cast<std::uint32_t>(code.size()), 1 + call % 2, 0x0014});
            code.insert(code.end(), {0, 0, 0, 0});
        }
        code.insert(code.end(), {0xFF, 0x15});
        relocations.push_back({static_cast<std::uint32_t>(code.size()), 3, 0x0006});
        code.insert(code.end(), {0, 0, 0, 0, 0x5D, 0xC3});
        coff.sections.push_back({".text$a", code, relocations});
        coff.sections.push_back({".text$b", {0x8B, 0x41, 0x08, 0x83, 0xC0, 0x04, 0xC3}, {}});
        coff.sections.push_back({".text$c", {0xC3}, {}});
        coff.symbols = {
            {test.decorated, 0, 1},
            {"?Odd@@YGXXZ", 0, 2},        // aliased to CreateThread
            {"_SwitchToThread@0", 0, 3},  // one byte
            {"__imp__KeTickCount", 0, 0}, // aliased to a kernel export
            {"?Unused@CSomething@@QAEXXZ", 0, 0},
        };
        AuthorInput input;
        input.objects.push_back(*read_coff_object(testkit::build_test_coff(coff), "x.lib(x.obj)"));
        AuthorOptions options;
        options.library_flag = FENX_LIB_XAPILIB;
        options.build = 5849;
        options.information_floor = 0; // the records of this test are small on purpose
        options.aliases = {{"?Odd@@YGXXZ", {"CreateThread", 0}}, {"__imp__KeTickCount", {"", 156}}};
        const auto result =
            author_records(input, options, Fenxi_CatalogueDatabase(), Fenxi_BuiltinRecords());
        ASSERT_TRUE(result) << result.error();
        EXPECT_EQ(result->found, 3u);
        EXPECT_EQ(result->mapped, 3u);
        ASSERT_EQ(result->revisions.size(), 2u);
        const std::vector<std::string> ambiguous = result->lines(Listing::Ambiguous);
        ASSERT_EQ(ambiguous.size(), 1u);
        EXPECT_TRUE(ambiguous[0].starts_with("SwitchToThread: _SwitchToThread@0 (x.lib(x.obj))"))
            << ambiguous[0];
        const FenxiRecordedRevision *record = nullptr;
        for (const FenxiRecordedRevision &revision : result->revisions)
            if (std::string(Fenxi_CatalogueDatabase()
                                .Groups[revision.group]
                                .Entries[revision.entry]
                                .Name) == test.entry)
                record = &revision;
        ASSERT_NE(record, nullptr);
        std::vector<std::pair<int, int>> references;
        for (std::size_t k = 0; k < record->xref_count; ++k)
            references.emplace_back(record->pairs[k].Offset, record->pairs[k].Value);
        EXPECT_EQ(references, test.references);
        const std::vector<std::string> notes = result->all_notes();
        EXPECT_TRUE(std::any_of(notes.begin(), notes.end(), [&](const std::string &note) {
            return note.find(test.note) != std::string::npos;
        })) << ::testing::PrintToString(notes);
        // No Lovp pair lies on a patched byte.
        for (std::size_t k = record->xref_count; k < record->pairs.size(); ++k)
            for (const auto &relocation : relocations)
                EXPECT_FALSE(record->pairs[k].Offset >= relocation.offset &&
                             record->pairs[k].Offset < relocation.offset + 4)
                    << record->pairs[k].Offset;
    }
}

TEST(AuthorCore, KernelImportsBecomeOrdinalReferences) {
    testkit::TestCoff coff;
    coff.sections.push_back({".text",
                             {0x55, 0xFF, 0x15, 0, 0, 0, 0, 0x8B, 0xE5, 0x5D, 0xC2, 0x04, 0x00},
                             {{3, 1, 0x0006}}});
    coff.symbols = {{"_XAutoPowerDownResetTimer@0", 0, 1}, {"__imp__KeTickCount", 0, 0}};
    AuthorInput input;
    input.objects.push_back(*read_coff_object(testkit::build_test_coff(coff), "k.obj"));
    AuthorOptions options;
    options.library_flag = FENX_LIB_XAPILIB;
    options.build = 5849;
    options.aliases = {{"KeTickCount", {"", 156}}};
    options.information_floor = 0; // a record of 13 bytes, one reference
    const auto result =
        author_records(input, options, Fenxi_CatalogueDatabase(), Fenxi_BuiltinRecords());
    ASSERT_TRUE(result) << result.error();
    ASSERT_EQ(result->revisions.size(), 1u);
    const FenxiRecordedRevision &revision = result->revisions[0];
    ASSERT_EQ(revision.xref_count, 1);
    EXPECT_EQ(revision.pairs[0].Offset, 3);
    EXPECT_EQ(revision.pairs[0].Value, 156);
    const std::string text = Fenxi_WriteRecords(result->revisions, Fenxi_CatalogueDatabase(), "");
    EXPECT_NE(text.find("ref 3 kernel 156\n"), std::string::npos) << text;

    // An alias naming nothing in the catalogue is refused.
    options.aliases = {{"KeTickCount", {"NoSuchEntry", 0}}};
    EXPECT_FALSE(author_records(input, options, Fenxi_CatalogueDatabase(), Fenxi_BuiltinRecords()));
}

// Re-authoring unchanged code from a newer library build adds a second, identical signature: the
// self-check says so.
TEST(AuthorCore, ConflictsWithTheDatabaseAreListed) {
    testkit::TestCoff coff;
    coff.sections.push_back(
        {".text",
         {0x55, 0x8B, 0xEC, 0x8B, 0x45, 0x08, 0x0F, 0xAF, 0xC0, 0x5D, 0xC2, 0x04, 0x00},
         {}});
    coff.symbols = {{"_SetThreadPriorityBoost@8", 0, 1}};
    AuthorInput input;
    input.objects.push_back(*read_coff_object(testkit::build_test_coff(coff), "t.obj"));
    AuthorOptions options;
    options.library_flag = FENX_LIB_XAPILIB;
    options.build = 5344;
    options.information_floor = 0; // thirteen bytes of code
    std::vector<FenxiRecordedRevision> existing = Fenxi_BuiltinRecords();
    const auto first = author_records(input, options, Fenxi_CatalogueDatabase(), existing);
    ASSERT_TRUE(first) << first.error();
    EXPECT_EQ(first->conflicts, std::vector<std::string>{});
    existing.insert(existing.end(), first->revisions.begin(), first->revisions.end());
    options.build = 5849;
    const auto second = author_records(input, options, Fenxi_CatalogueDatabase(), existing);
    ASSERT_TRUE(second) << second.error();
    ASSERT_EQ(second->revisions.size(), 1u);
    ASSERT_FALSE(second->conflicts.empty());
    for (const std::string &conflict : second->conflicts)
        EXPECT_NE(conflict.find("OOVPA's are identical"), std::string::npos) << conflict;
}

TEST(AuthorProgram, ADamagedLibraryIsRefusedNamingTheMember) {
    TemporaryFolder folder;
    std::vector<std::uint8_t> object =
        testkit::build_test_coff({0x014C, {{".text", {0x55, 0xC3}, {}}}, {{"_SetEvent@4", 0, 1}}});
    object[2] = 0x50; // forty-odd thousand sections in a tiny object
    folder.write("xapilib.lib", testkit::build_test_archive({{"a-long-member-name.obj", object}}));
    const ProgramRun run =
        run_program(FENDREL_AUTHOR_EXE, {"--library", "XAPILIB", "--build", "5849", "xapilib.lib"},
                    folder.path());
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "fendrel-author: xapilib.lib(a-long-member-name.obj): the section table "
                       "runs past the end of the object\n");
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "xapilib-5849.records"));
}

// A release maker's folder may carry any name: the tool reads its inputs from, and writes its
// records into, a folder outside the ANSI code page, and the coverage report reads a game there.
TEST(AuthorProgram, FoldersOutsideTheAnsiCodePage) {
    const std::string user = "Zo\xC3\xAB \xE6\x9D\x8E"; // "Zoë 李"
    TemporaryFolder folder;
    const std::filesystem::path inner = folder.path() / std::u8string(user.begin(), user.end());
    std::filesystem::create_directory(inner);
    const std::string at = folder.path().string() + "/" + user + "/";
    std::vector<std::uint8_t> code = {0x55, 0x8B, 0xEC, 0x8B, 0x45, 0x08};
    for (std::uint8_t k = 0; k < 24; ++k)
        code.insert(code.end(), {0x05, static_cast<std::uint8_t>(0x11 * k + 3), k, 0x00, 0x00});
    code.insert(code.end(), {0x5D, 0xC2, 0x04, 0x00});
    const std::vector<std::uint8_t> library = testkit::build_test_archive(
        {{"event.obj",
          testkit::build_test_coff({0x014C, {{".text", code, {}}}, {{"_Ev@4", 0, 1}}})}});
    std::filesystem::copy_file(folder.write("plain.lib", library), inner / "xapilib.lib");
    std::ofstream(inner / "names.txt") << "_Ev@4 = SetEvent\n";

    const ProgramRun authored =
        run_program(FENDREL_AUTHOR_EXE,
                    {"--library", "XAPILIB", "--build", "5849", "--names", at + "names.txt",
                     "--out", at + "new.records", at + "xapilib.lib"},
                    folder.path());
    EXPECT_EQ(authored.exit_code, 0) << authored.err;
    EXPECT_NE(authored.out.find("authored: 1\n"), std::string::npos) << authored.out;
    EXPECT_TRUE(authored.out.ends_with("1 revisions written to " + at + "new.records\n"))
        << authored.out;
    ASSERT_TRUE(std::filesystem::exists(inner / "new.records"));

    testkit::TestXbe xbe;
    xbe.libraries = {{"XAPILIB", 5849}};
    std::vector<std::uint8_t> text(0x200, 0xCC);
    std::copy(code.begin(), code.end(), text.begin() + 0x40);
    xbe.sections = {{".text", kCodeAddress, text},
                    {".rdata", 0x00012000, std::vector<std::uint8_t>(8)}};
    xbe.kernel_thunk = 0x00012000;
    ASSERT_FALSE(testkit::write_test_xbe(inner / "game.xbe", xbe));
    const ProgramRun coverage =
        run_program(FENDREL_AUTHOR_EXE, {"coverage", "--json", at + "game.xbe", at + "new.records"},
                    folder.path());
    EXPECT_EQ(coverage.exit_code, 0) << coverage.err;
    EXPECT_EQ(coverage.err, "");
    // The pack was read, and it finds what it was authored from.
    EXPECT_NE(coverage.out.find("\"found\":1,"), std::string::npos) << coverage.out;
    const ProgramRun missing =
        run_program(FENDREL_AUTHOR_EXE, {"coverage", at + "none.xbe"}, folder.path());
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_TRUE(missing.err.starts_with("fendrel-author: " + at + "none.xbe: ")) << missing.err;
}

} // namespace
