// Records authored from libraries built the way release makers' libraries are built: clang for
// i386-pc-windows-msvc, archives from llvm-lib, a game linked by lld-link with a map. The image
// becomes an XBE at the linker's addresses; FendrelCLI scans it with the authored records and every
// symbol it prints is checked against the map. A symbol at a wrong address fails, in every build
// variant and when one variant's records scan another variant's game.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "author/images.h"
#include "lib/database/recorded_database.h"
#include "lib/database/records.h"
#include "support/run_program.h"
#include "testkit/xbe_builder.h"

namespace {

const std::filesystem::path kSources = MSVC_CORPUS_DIR;

const std::vector<std::string> kXapiSources = {"xapi_data.c",    "xapi_events.c", "xapi_tls.c",
                                               "xapi_filter.c",  "xapi_input.c",  "xapi_poll.c",
                                               "xapi_section.c", "xapi_map.c",    "xapi_init.c",
                                               "xapi_start.c",   "xapi_mu.s",     "xapi_usb.cpp"};
// Built with whole-program optimisation: its member holds link-time code and is skipped.
const std::string kWholeProgramSource = "xapi_whole.c";
const std::vector<std::string> kDsoundSources = {"ds_refcount.cpp", "ds_buffer.cpp",
                                                 "ds_stream.cpp", "ds_ctor.s"};
const std::vector<std::string> kGameSources = {"game.c", "kernel.s"};

// The kernel exports the libraries import, as the release maker's aliases name them.
const char *const kKernelNames = "NtSetEvent = kernel 225\n"
                                 "NtPulseEvent = kernel 205\n"
                                 "NtClearEvent = kernel 197\n"
                                 "NtCreateEvent = kernel 189\n"
                                 "RtlNtStatusToDosError = kernel 301\n"
                                 "KeQueryPerformanceCounter = kernel 126\n"
                                 "RtlInitAnsiString = kernel 289\n"
                                 "IoCreateSymbolicLink = kernel 67\n";

enum class Kind {
    Function,     // a library function a record may find
    Derived,      // found by a derivation or learned from references
    WholeProgram, // its member holds link-time code: only a linked program has its code
};

struct CorpusSymbol {
    const char *library;
    const char *name; // as FendrelCLI prints it
    const char *decorated;
    Kind kind;
};

const std::vector<CorpusSymbol> kSymbols = {
    {"XAPILIB", "SetEvent", "_SetEvent@4", Kind::Function},
    {"XAPILIB", "PulseEvent", "_PulseEvent@4", Kind::Function},
    {"XAPILIB", "XapiSetLastNTError", "_XapiSetLastNTError@4", Kind::Function},
    {"XAPILIB", "ResetEvent", "_ResetEvent@4", Kind::Function},
    {"XAPILIB", "CreateEventA", "_CreateEventA@16", Kind::Function},
    {"XAPILIB", "QueryPerformanceCounter", "_QueryPerformanceCounter@4", Kind::Function},
    {"XAPILIB", "XapiCallThreadNotifyRoutines", "_XapiCallThreadNotifyRoutines@12", Kind::Function},
    {"XAPILIB", "SetLastError", "_SetLastError@4", Kind::Function},
    {"XAPILIB", "GetLastError", "_GetLastError@0", Kind::Function},
    {"XAPILIB", "MU_Init", "_MU_Init@4", Kind::Function},
    {"XAPILIB", "UnhandledExceptionFilter", "_UnhandledExceptionFilter@4", Kind::Function},
    {"XAPILIB", "XRegisterThreadNotifyRoutine", "_XRegisterThreadNotifyRoutine@8", Kind::Function},
    {"XAPILIB", "XAutoPowerDownResetTimer", "_XAutoPowerDownResetTimer@8", Kind::Function},
    {"XAPILIB", "XapiBootToDash", "_XapiBootToDash@0", Kind::Function},
    {"XAPILIB", "GetTypeInformation", "@GetTypeInformation@8", Kind::Function},
    {"XAPILIB", "XInputOpen", "_XInputOpen@16", Kind::Function},
    {"XAPILIB", "XInputClose", "_XInputClose@4", Kind::Function},
    {"XAPILIB", "XInputPoll", "_XInputPoll@4", Kind::Function},
    {"XAPILIB", "IUsbInit_GetMaxDeviceTypeCount", "?GetMaxDeviceTypeCount@IUsbInit@@QAEKPAX@Z",
     Kind::Function},
    {"XAPILIB", "mainCRTStartup", "_mainCRTStartup", Kind::Function},
    {"XAPILIB", "XapiInitProcess", "_XapiInitProcess@4", Kind::Function},
    {"XAPILIB", "XapiMapLetterToDirectory", "_XapiMapLetterToDirectory@24", Kind::Function},
    {"XAPILIB", "XapiFormatObjectAttributes", "_XapiFormatObjectAttributes@12", Kind::WholeProgram},
    {"XAPILIB", "XGetSectionSize", "_XGetSectionSize@4", Kind::Derived},
    {"XAPILIB", "_tls_index", "__tls_index", Kind::Derived},
    {"XAPILIB", "_tls_array", "__tls_array", Kind::Derived},
    {"XAPILIB", "g_XapiCurrentTopLevelFilter", "_g_XapiCurrentTopLevelFilter", Kind::Derived},
    {"XAPILIB", "g_DeviceType_Gamepad", "_g_DeviceType_Gamepad", Kind::Derived},
    {"XAPILIB", "g_DeviceType_Keyboard", "_g_DeviceType_Keyboard", Kind::Derived},
    {"XAPILIB", "g_DeviceType_MU", "_g_DeviceType_MU", Kind::Derived},
    {"XAPILIB", "g_DeviceTypeInfoTableBegin", "_g_DeviceTypeInfoTableBegin", Kind::Derived},
    {"XAPILIB", "g_DeviceTypeInfoTableEnd", "_g_DeviceTypeInfoTableEnd", Kind::Derived},
    {"DSOUND", "CDirectSoundStream_Constructor", "??0CDirectSoundStream@DirectSound@@QAE@PAX@Z",
     Kind::Function},
    {"DSOUND", "CMcpxBuffer_Play", "?Play@CMcpxBuffer@DirectSound@@QAEJK@Z", Kind::Function},
    {"DSOUND", "CMcpxBuffer_Stop", "?Stop@CMcpxBuffer@DirectSound@@QAEJXZ", Kind::Function},
    {"DSOUND", "DSound_CMemoryManager_PoolAlloc",
     "?PoolAlloc@CMemoryManager@DirectSound@@SGPAXKKH@Z", Kind::Function},
    {"DSOUND", "IDirectSoundBuffer_Play", "_IDirectSoundBuffer_Play@16", Kind::Function},
    {"DSOUND", "DSound_CRefCount_AddRef", "?AddRef@CRefCount@DirectSound@@QAGKXZ", Kind::Function},
    {"DSOUND", "DSound_CRefCount_Release", "?Release@CRefCount@DirectSound@@QAGKXZ",
     Kind::Function},
    {"DSOUND", "XAudioCalculatePitch", "_XAudioCalculatePitch@4", Kind::Function},
    {"DSOUND", "CDirectSoundStream_AddRef", "?AddRef@CDirectSoundStream@DirectSound@@SGKPAU12@@Z",
     Kind::Derived},
    {"DSOUND", "CDirectSoundStream_Release", "?Release@CDirectSoundStream@DirectSound@@SGKPAU12@@Z",
     Kind::Derived},
    {"DSOUND", "CDirectSoundStream_GetInfo",
     "?GetInfo@CDirectSoundStream@DirectSound@@SGJPAU12@PAK@Z", Kind::Derived},
    {"DSOUND", "CDirectSoundStream_GetStatus__r2",
     "?GetStatus@CDirectSoundStream@DirectSound@@SGJPAU12@PAK@Z", Kind::Derived},
    {"DSOUND", "CDirectSoundStream_Process",
     "?Process@CDirectSoundStream@DirectSound@@SGJPAU12@PAX1@Z", Kind::Derived},
    {"DSOUND", "CDirectSoundStream_Discontinuity",
     "?Discontinuity@CDirectSoundStream@DirectSound@@SGJPAU12@@Z", Kind::Derived},
    {"DSOUND", "CDirectSoundStream_Flush", "?Flush@CDirectSoundStream@DirectSound@@SGJPAU12@@Z",
     Kind::Derived},
};

struct Variant {
    std::string name;
    std::vector<std::string> flags;
    bool link_time = false; // every C source compiled to link-time code: no library route
};

const std::vector<Variant> kVariants = {
    {"comdat-O1", {"-O1", "-ffunction-sections", "-fdata-sections"}},
    {"comdat-O2", {"-O2", "-ffunction-sections", "-fdata-sections"}},
    {"comdat-Os", {"-Os", "-ffunction-sections", "-fdata-sections"}},
    {"plain-O1", {"-O1", "-fno-function-sections", "-fno-data-sections"}},
    {"plain-O2", {"-O2", "-fno-function-sections", "-fno-data-sections"}},
    {"plain-Os", {"-Os", "-fno-function-sections", "-fno-data-sections"}},
};

// Libraries built with whole-program optimisation: their code exists only in the linked game.
const Variant kLinkTimeVariant = {"lto-O2", {"-O2", "-flto"}, true};

// One variant built: its libraries, its game, the map's addresses and the records authored.
struct Built {
    std::filesystem::path folder;
    std::map<std::string, std::uint32_t> addresses; // decorated name -> address
    std::filesystem::path xbe;
    std::vector<std::filesystem::path> records;
    std::vector<std::filesystem::path> records_against_game; // authored with --against game.xbe
    std::string summaries;
    std::string summaries_against_game;
    std::set<std::string> authored; // entry names
};

std::string read_text(const std::filesystem::path &file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::uint8_t> read_bytes(const std::filesystem::path &file) {
    const std::string text = read_text(file);
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

// "0001:00000000       _SetEvent@4                0000000000011000     lib:b.obj"
std::map<std::string, std::uint32_t> read_map(const std::string &text) {
    std::map<std::string, std::uint32_t> addresses;
    std::istringstream lines(text);
    bool publics = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.find("Publics by Value") != std::string::npos) {
            publics = true;
            continue;
        }
        if (!publics || line.find("entry point at") != std::string::npos)
            continue;
        if (line.find("Static symbols") != std::string::npos)
            break;
        std::istringstream fields(line);
        std::string place, name, address;
        if (fields >> place >> name >> address && place.size() == 13 && place[4] == ':')
            addresses.emplace(name, static_cast<std::uint32_t>(std::stoull(address, nullptr, 16)));
    }
    return addresses;
}

// "XAPILIB__FUN__stdcall__SetEvent(unk ) = 0x00011010" -> {"XAPILIB", "SetEvent", 0x11010}.
struct Printed {
    std::string library;
    std::string name;
    std::uint32_t address;
};
Printed printed_symbol(const std::string &line) {
    const std::size_t equals = line.rfind(" = 0x");
    std::string name = line.substr(0, equals);
    const std::string library = name.substr(0, name.find("__"));
    if (const std::size_t var = name.find("__VAR__"); var != std::string::npos) {
        name = name.substr(var + 7);
    } else if (const std::size_t fun = name.find("__FUN__"); fun != std::string::npos) {
        name = name.substr(fun + 7);
        name = name.substr(name.find("__") + 2);
        name = name.substr(0, name.find('('));
    }
    return {library, name,
            static_cast<std::uint32_t>(std::stoul(line.substr(equals + 5), nullptr, 16))};
}

void compile(const std::filesystem::path &folder, const Variant &variant,
             const std::vector<std::string> &sources) {
    for (const std::string &source : sources) {
        std::vector<std::string> args = {"--target=i386-pc-windows-msvc",
                                         "-fno-asynchronous-unwind-tables", "-c"};
        if (!source.ends_with(".s"))
            args.insert(args.end(), variant.flags.begin(), variant.flags.end());
        if (source == kWholeProgramSource)
            args.push_back("-flto");
        args.push_back((kSources / source).string());
        args.push_back("-o");
        args.push_back(source.substr(0, source.rfind('.')) + ".obj");
        const ProgramRun run = run_program(CLANG19, args, folder);
        ASSERT_EQ(run.exit_code, 0) << source << ": " << run.err;
    }
}

std::vector<std::string> objects_of(const std::vector<std::string> &sources) {
    std::vector<std::string> objects;
    for (const std::string &source : sources)
        objects.push_back(source.substr(0, source.rfind('.')) + ".obj");
    return objects;
}

// Entry names of the revisions in `files`.
std::set<std::string> entries_in(const std::vector<std::filesystem::path> &files) {
    std::set<std::string> names;
    for (const std::filesystem::path &file : files) {
        const FenxiRecordsRead read =
            Fenxi_ReadRecords(read_text(file), file.string(), Fenxi_CatalogueDatabase());
        EXPECT_EQ(read.errors, std::vector<std::string>{}) << file;
        for (const FenxiRecordedRevision &revision : read.revisions)
            names.insert(
                Fenxi_CatalogueDatabase().Groups[revision.group].Entries[revision.entry].Name);
    }
    return names;
}

// The files pass the build's checks: with the committed records they generate the tables.
void passes_build_checks(const std::filesystem::path &folder,
                         const std::vector<std::filesystem::path> &files) {
    const std::filesystem::path records = folder / "records";
    std::filesystem::remove_all(records);
    std::filesystem::create_directories(records);
    for (const auto &entry : std::filesystem::directory_iterator(FENDREL_RECORDS_FOLDER))
        if (entry.path().extension() == ".records")
            std::filesystem::copy_file(entry.path(), records / entry.path().filename());
    for (const std::filesystem::path &file : files)
        std::filesystem::copy_file(file, records / file.filename());
    const ProgramRun generated = run_program(
        FENDREL_RECORDS_EXE, {records.string(), (folder / "generated.cpp").string()}, folder);
    EXPECT_EQ(generated.exit_code, 0) << generated.out << generated.err;
}

// The XBE of a linked PE image, at its addresses, with its kernel thunk table at `thunk`.
void write_xbe(const std::filesystem::path &exe, std::uint32_t thunk,
               const std::filesystem::path &xbe_file) {
    const auto image = fendrel_author::read_pe_image(read_bytes(exe), exe.filename().string());
    ASSERT_TRUE(image) << image.error();
    testkit::TestXbe xbe;
    xbe.base_address = image->base_address;
    xbe.libraries = {{"XAPILIB", 5849}, {"DSOUND", 5849}};
    for (const fendrel_author::ImageSection &section : image->sections)
        if (!section.bytes.empty())
            xbe.sections.push_back(
                {section.name, section.virtual_address, section.bytes, true, section.executable});
    xbe.kernel_thunk = thunk;
    ASSERT_FALSE(testkit::write_test_xbe(xbe_file, xbe));
}

void build_variant(const Variant &variant, const std::filesystem::path &folder, Built &built) {
    built.folder = folder;
    std::filesystem::create_directories(folder);
    compile(folder, variant, kXapiSources);
    compile(folder, variant, {kWholeProgramSource});
    compile(folder, variant, kDsoundSources);
    compile(folder, variant, kGameSources);
    if (::testing::Test::HasFatalFailure())
        return;
    std::vector<std::string> xapi_sources = kXapiSources;
    xapi_sources.push_back(kWholeProgramSource);
    for (const auto &[library, sources] :
         {std::pair{"xapilib.lib", xapi_sources}, std::pair{"dsound.lib", kDsoundSources}}) {
        std::vector<std::string> args = {std::string("/out:") + library};
        for (const std::string &object : objects_of(sources))
            args.push_back(object);
        const ProgramRun run = run_program(LLVM_LIB19, args, folder);
        ASSERT_EQ(run.exit_code, 0) << run.err;
    }
    // Every library function is kept, whether or not the game calls it.
    std::vector<std::string> link = {"/nodefaultlib",
                                     "/entry:mainCRTStartup",
                                     "/subsystem:console",
                                     "/base:0x10000",
                                     "/fixed",
                                     "/safeseh:no",
                                     "/opt:noref",
                                     "/map:game.map",
                                     "/out:game.exe",
                                     "game.obj",
                                     "kernel.obj",
                                     "xapilib.lib",
                                     "dsound.lib"};
    // Link-time code keeps only what is asked for: its variables too.
    for (const CorpusSymbol &symbol : kSymbols)
        if (symbol.kind != Kind::Derived || variant.link_time)
            link.push_back(std::string("/include:") + symbol.decorated);
    const ProgramRun linked = run_program(LLD_LINK19, link, folder);
    ASSERT_EQ(linked.exit_code, 0) << linked.out << linked.err;
    // The same link with base relocations: the same layout, a .reloc section after it.
    std::vector<std::string> relocatable;
    for (const std::string &arg : link)
        if (arg != "/fixed")
            relocatable.push_back(arg == "/map:game.map"   ? "/map:game-reloc.map"
                                  : arg == "/out:game.exe" ? "/out:game-reloc.exe"
                                                           : arg);
    const ProgramRun relinked = run_program(LLD_LINK19, relocatable, folder);
    ASSERT_EQ(relinked.exit_code, 0) << relinked.out << relinked.err;
    built.addresses = read_map(read_text(folder / "game.map"));
    ASSERT_EQ(read_map(read_text(folder / "game-reloc.map")), built.addresses);
    ASSERT_TRUE(built.addresses.contains("_kernel_thunk"));

    built.xbe = folder / "game.xbe";
    write_xbe(folder / "game.exe", built.addresses.at("_kernel_thunk"), built.xbe);
    if (::testing::Test::HasFatalFailure())
        return;

    std::ofstream(folder / "kernel.names") << kKernelNames;
    if (variant.link_time)
        return;
    for (const auto &[library, archive] :
         {std::pair{"XAPILIB", "xapilib.lib"}, std::pair{"DSOUND", "dsound.lib"}}) {
        const std::string out = std::string(library) + ".records";
        const ProgramRun authored = run_program(FENDREL_AUTHOR_EXE,
                                                {"--library", library, "--build", "5849", "--names",
                                                 "kernel.names", "--out", out, archive},
                                                folder);
        // The whole-program member is named, the others authored, and the status says so.
        const bool xapi = std::string(library) == "XAPILIB";
        ASSERT_EQ(authored.exit_code, xapi ? 3 : 0) << authored.out << authored.err;
        if (xapi) {
            EXPECT_NE(authored.out.find("  xapilib.lib(xapi_whole.obj): holds link-time code, no "
                                        "machine code: rebuild the library without "
                                        "whole-program optimisation\n"),
                      std::string::npos)
                << authored.out;
        }
        built.summaries += authored.out;
        built.records.push_back(folder / out);
        const FenxiRecordsRead read =
            Fenxi_ReadRecords(read_text(folder / out), out, Fenxi_CatalogueDatabase());
        ASSERT_EQ(read.errors, std::vector<std::string>{});
        for (const FenxiRecordedRevision &revision : read.revisions) {
            const std::string name =
                Fenxi_CatalogueDatabase().Groups[revision.group].Entries[revision.entry].Name;
            built.authored.insert(name);
            // The XAPI derivation reads XGetSectionSize's displacement from the first pair.
            if (name == "XapiMapLetterToDirectory") {
                EXPECT_TRUE(revision.xref_count > 0 && revision.pairs[0].Value == 1139);
            }
        }
    }

    // The same with the game as other code: a record may be extended or left out, never more.
    for (const auto &[library, archive] :
         {std::pair{"XAPILIB", "xapilib.lib"}, std::pair{"DSOUND", "dsound.lib"}}) {
        const std::string out = std::string(library) + "-against-game.records";
        const ProgramRun authored =
            run_program(FENDREL_AUTHOR_EXE,
                        {"--library", library, "--build", "5849", "--names", "kernel.names",
                         "--against", "game.xbe", "--out", out, archive},
                        folder);
        EXPECT_TRUE(authored.exit_code == 0 || authored.exit_code == 3) << authored.err;
        built.summaries_against_game += authored.out;
        built.records_against_game.push_back(folder / out);
    }

    // The files written pass the build's checks.
    passes_build_checks(folder, built.records);
}

// Records of both libraries authored from a linked program with its names: `inputs` are the
// image (and anything beside it), `names` the option naming its functions.
Built author_program(const Built &game, const std::string &tag,
                     const std::vector<std::string> &names,
                     const std::vector<std::string> &inputs) {
    Built records = game;
    records.records.clear();
    records.summaries.clear();
    for (const char *library : {"XAPILIB", "DSOUND"}) {
        const std::string out = tag + "-" + library + ".records";
        std::vector<std::string> args = {"--library", library,        "--build", "5849",
                                         "--names",   "kernel.names", "--out",   out};
        args.insert(args.end(), names.begin(), names.end());
        args.insert(args.end(), inputs.begin(), inputs.end());
        const ProgramRun authored = run_program(FENDREL_AUTHOR_EXE, args, game.folder);
        EXPECT_EQ(authored.exit_code, 0) << authored.out << authored.err;
        records.summaries += authored.out;
        records.records.push_back(game.folder / out);
    }
    records.authored = entries_in(records.records);
    return records;
}

struct ScanCounts {
    std::size_t printed = 0;
    std::size_t wrong = 0;
    std::size_t authored_exact = 0;
    std::size_t derived = 0;
    std::set<std::string> found;
    std::vector<std::string> problems;
};

// Scans `game` with `records` and compares every printed symbol with the game's map.
ScanCounts scan(const Built &records, const Built &game) {
    ScanCounts counts;
    std::vector<std::string> args;
    for (const std::filesystem::path &file : records.records) {
        args.push_back("--records");
        args.push_back(file.string());
    }
    args.push_back(game.xbe.string());
    args.push_back("-e");
    const ProgramRun run = run_program(FENDREL_RECORDS_CLI_EXE, args, game.folder);
    if (run.exit_code != 0) {
        counts.problems.push_back("the scan failed: " + run.err);
        return counts;
    }
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        ++counts.printed;
        const Printed printed = printed_symbol(line);
        const CorpusSymbol *symbol = nullptr;
        for (const CorpusSymbol &candidate : kSymbols)
            if (printed.name == candidate.name && printed.library == candidate.library)
                symbol = &candidate;
        const auto address = symbol ? game.addresses.find(symbol->decorated) : game.addresses.end();
        if (address == game.addresses.end() || address->second != printed.address) {
            ++counts.wrong;
            counts.problems.push_back("at a wrong address: " + line);
            continue;
        }
        if (!counts.found.insert(printed.name).second)
            continue; // derived variables may be reported twice, at the same address
        if (symbol->kind == Kind::Derived)
            ++counts.derived;
        else if (records.authored.contains(printed.name))
            ++counts.authored_exact;
    }
    return counts;
}

TEST(AuthorMsvcCorpus, EveryVariantAndCrossScanPrintsNoWrongAddress) {
    TemporaryFolder folder;
    std::vector<Built> built(kVariants.size());
    for (std::size_t v = 0; v < kVariants.size(); ++v) {
        SCOPED_TRACE(kVariants[v].name);
        build_variant(kVariants[v], folder.path() / kVariants[v].name, built[v]);
        if (HasFatalFailure())
            return;
    }
    std::size_t derived_wanted = 0;
    for (const CorpusSymbol &symbol : kSymbols)
        derived_wanted += symbol.kind == Kind::Derived;

    for (std::size_t v = 0; v < kVariants.size(); ++v) {
        SCOPED_TRACE(kVariants[v].name);
        const ScanCounts own = scan(built[v], built[v]);
        EXPECT_EQ(own.problems, std::vector<std::string>{});
        EXPECT_EQ(own.wrong, 0u);
        // Every authored function at its exact address, every derived symbol found.
        EXPECT_EQ(own.authored_exact, built[v].authored.size()) << built[v].summaries;
        for (const CorpusSymbol &symbol : kSymbols)
            EXPECT_TRUE(symbol.kind != Kind::Derived || own.found.contains(symbol.name))
                << symbol.name << " was not found\n"
                << built[v].summaries;
        // What each kind of function must come to, whatever the compiler made of it.
        for (const char *name :
             {"SetEvent", "PulseEvent", "XapiMapLetterToDirectory", "MU_Init", "GetTypeInformation",
              "CDirectSoundStream_Constructor", "DSound_CRefCount_Release",
              "DSound_CMemoryManager_PoolAlloc", "IUsbInit_GetMaxDeviceTypeCount"})
            EXPECT_TRUE(built[v].authored.contains(name)) << name;
        for (const char *name :
             {"XInputClose", "XInputPoll", "XAutoPowerDownResetTimer", "XapiBootToDash",
              "XGetSectionSize", "CDirectSoundStream_AddRef", "CDirectSoundStream_Release"})
            EXPECT_FALSE(built[v].authored.contains(name)) << name;
        // Every library function that was not authored is explained in the summary.
        std::size_t explained = 0;
        for (const CorpusSymbol &symbol : kSymbols) {
            if (symbol.kind != Kind::Function || built[v].authored.contains(symbol.name))
                continue;
            ++explained;
            EXPECT_NE(built[v].summaries.find(symbol.decorated), std::string::npos)
                << symbol.decorated << " is not explained:\n"
                << built[v].summaries;
        }
        std::cout << "[corpus] " << kVariants[v].name << ": printed " << own.printed
                  << ", at a wrong address " << own.wrong << ", authored "
                  << built[v].authored.size() << " found at their address " << own.authored_exact
                  << ", derived " << own.derived << "/" << derived_wanted << ", not authored "
                  << explained << "\n";
        // Checked against the game: nothing new, and SetEvent and PulseEvent are still told
        // apart there by the kernel slots the game's thunk table gives.
        Built against_game = built[v];
        against_game.records = built[v].records_against_game;
        std::set<std::string> kept;
        for (const auto &file : against_game.records)
            for (const FenxiRecordedRevision &revision :
                 Fenxi_ReadRecords(read_text(file), file.string(), Fenxi_CatalogueDatabase())
                     .revisions)
                kept.insert(
                    Fenxi_CatalogueDatabase().Groups[revision.group].Entries[revision.entry].Name);
        for (const std::string &name : kept)
            EXPECT_TRUE(built[v].authored.contains(name)) << name;
        EXPECT_TRUE(kept.contains("SetEvent") && kept.contains("PulseEvent"))
            << built[v].summaries_against_game;
        const ScanCounts checked = scan(against_game, built[v]);
        EXPECT_EQ(checked.problems, std::vector<std::string>{});
        EXPECT_EQ(checked.wrong, 0u);
        std::cout << "[corpus] " << kVariants[v].name << " authored --against game.xbe: printed "
                  << checked.printed << ", at a wrong address " << checked.wrong << "\n";
        for (std::size_t g = 0; g < kVariants.size(); ++g) {
            if (g == v)
                continue;
            SCOPED_TRACE("scanning " + kVariants[g].name);
            const ScanCounts cross = scan(built[v], built[g]);
            EXPECT_EQ(cross.problems, std::vector<std::string>{});
            EXPECT_EQ(cross.wrong, 0u);
            std::cout << "[corpus] records of " << kVariants[v].name << " on " << kVariants[g].name
                      << ": printed " << cross.printed << ", at a wrong address " << cross.wrong
                      << ", authored found " << cross.authored_exact << ", derived "
                      << cross.derived << "\n";
        }
    }
}

// The kernel's import library as llvm-dlltool makes it: the ordinals of the exports.
const char *const kKernelDefinitions = "LIBRARY kernel.exe\n"
                                       "EXPORTS\n"
                                       "NtSetEvent@8 @225 NONAME\n"
                                       "NtPulseEvent@8 @205 NONAME\n"
                                       "NtClearEvent@4 @197 NONAME\n"
                                       "NtCreateEvent@16 @189 NONAME\n"
                                       "RtlNtStatusToDosError@4 @301 NONAME\n"
                                       "KeQueryPerformanceCounter@0 @126 NONAME\n"
                                       "RtlInitAnsiString@8 @289 NONAME\n"
                                       "IoCreateSymbolicLink@8 @67 NONAME\n";

// A records file's revisions without its comments.
std::string revision_lines(const std::filesystem::path &file) {
    std::istringstream lines(read_text(file));
    std::string kept;
    for (std::string line; std::getline(lines, line);)
        if (!line.starts_with("#"))
            kept += line + "\n";
    return kept;
}

// Each variant's linked program authors records from its names: the image with its map, with base
// relocations and without; the XBE with the symbols FendrelCLI printed for it. Scanned in its own
// game every record finds its function at the map's address, and in every other game nothing at
// a wrong address. Libraries built with whole-program optimisation are authored from their game.
TEST(AuthorMsvcCorpus, LinkedProgramsAuthorFromTheirNames) {
    TemporaryFolder folder;
    std::vector<Variant> variants = kVariants;
    variants.push_back(kLinkTimeVariant);
    std::vector<Built> built(variants.size());
    for (std::size_t v = 0; v < variants.size(); ++v) {
        SCOPED_TRACE(variants[v].name);
        build_variant(variants[v], folder.path() / variants[v].name, built[v]);
        if (HasFatalFailure())
            return;
    }
    struct Route {
        std::string name;
        std::vector<std::string> names;
        std::vector<std::string> inputs;
    };
    for (std::size_t v = 0; v < variants.size(); ++v) {
        SCOPED_TRACE(variants[v].name);
        std::vector<Route> routes = {
            {"map, base relocations", {"--map", "game-reloc.map"}, {"game-reloc.exe"}},
            {"map, no base relocations", {"--map", "game.map"}, {"game.exe"}},
        };
        if (!variants[v].link_time) {
            // The names FendrelCLI proved in this game, as it prints them.
            std::vector<std::string> args;
            for (const std::filesystem::path &file : built[v].records)
                args.insert(args.end(), {"--records", file.string()});
            args.insert(args.end(), {built[v].xbe.string(), "-e"});
            const ProgramRun listed = run_program(FENDREL_RECORDS_CLI_EXE, args, built[v].folder);
            ASSERT_EQ(listed.exit_code, 0) << listed.err;
            std::ofstream(built[v].folder / "game.symbols") << listed.out;
            routes.push_back(
                {"XBE, FendrelCLI's symbols", {"--symbols", "game.symbols"}, {"game.xbe"}});
        }
        for (std::size_t r = 0; r < routes.size(); ++r) {
            const Route &route = routes[r];
            SCOPED_TRACE(route.name);
            const Built records =
                author_program(built[v], "program" + std::to_string(r), route.names, route.inputs);
            EXPECT_FALSE(records.authored.empty()) << records.summaries;
            const ScanCounts own = scan(records, built[v]);
            EXPECT_EQ(own.problems, std::vector<std::string>{}) << records.summaries;
            EXPECT_EQ(own.authored_exact, records.authored.size()) << records.summaries;
            // SetEvent and PulseEvent differ only in the kernel export they call.
            EXPECT_TRUE(records.authored.contains("SetEvent") &&
                        records.authored.contains("PulseEvent"))
                << records.summaries;
            // The map names the function of the member that holds link-time code.
            if (r < 2) {
                EXPECT_TRUE(records.authored.contains("XapiFormatObjectAttributes"))
                    << records.summaries;
            }
            passes_build_checks(built[v].folder / ("program" + std::to_string(r)), records.records);
            std::cout << "[corpus] " << variants[v].name << " program (" << route.name
                      << "): authored " << records.authored.size() << ", printed " << own.printed
                      << ", at a wrong address " << own.wrong << ", authored found at the map's "
                      << "address " << own.authored_exact << "\n";
            for (std::size_t g = 0; g < variants.size(); ++g) {
                if (g == v)
                    continue;
                SCOPED_TRACE("scanning " + variants[g].name);
                const ScanCounts cross = scan(records, built[g]);
                EXPECT_EQ(cross.problems, std::vector<std::string>{});
                std::cout << "[corpus] program records of " << variants[v].name << " ("
                          << route.name << ") on " << variants[g].name << ": printed "
                          << cross.printed << ", at a wrong address " << cross.wrong
                          << ", authored found " << cross.authored_exact << "\n";
            }
        }
    }

    // The kernel's import library instead of aliases: the same records; and a game linked with it,
    // whose import table gives the kernel slots of its program route.
    Built &first = built.front();
    std::ofstream(first.folder / "kernel.def") << kKernelDefinitions;
    const ProgramRun made = run_program(
        LLVM_DLLTOOL19, {"-m", "i386", "-d", "kernel.def", "-l", "kernel.lib"}, first.folder);
    ASSERT_EQ(made.exit_code, 0) << made.err;
    const ProgramRun learned = run_program(FENDREL_AUTHOR_EXE,
                                           {"--library", "XAPILIB", "--build", "5849", "--out",
                                            "imports.records", "xapilib.lib", "kernel.lib"},
                                           first.folder);
    EXPECT_EQ(learned.exit_code, 3) << learned.out << learned.err;
    EXPECT_NE(learned.out.find("kernel imports learned: 8 from kernel.lib\n"), std::string::npos)
        << learned.out;
    EXPECT_EQ(revision_lines(first.folder / "imports.records"),
              revision_lines(first.folder / "XAPILIB.records"));

    std::ofstream(first.folder / "tls.s") << "\t.globl\t__tls_array\n\t.set\t__tls_array, 0x2c\n";
    const ProgramRun tls = run_program(
        CLANG19, {"--target=i386-pc-windows-msvc", "-c", "tls.s", "-o", "tls.obj"}, first.folder);
    ASSERT_EQ(tls.exit_code, 0) << tls.err;
    std::vector<std::string> link = {
        "/nodefaultlib",    "/entry:mainCRTStartup", "/subsystem:console",
        "/base:0x10000",    "/safeseh:no",           "/opt:noref",
        "/map:imports.map", "/out:imports.exe",      "game.obj",
        "tls.obj",          "xapilib.lib",           "dsound.lib",
        "kernel.lib"};
    for (const CorpusSymbol &symbol : kSymbols)
        if (symbol.kind != Kind::Derived)
            link.push_back(std::string("/include:") + symbol.decorated);
    const ProgramRun linked = run_program(LLD_LINK19, link, first.folder);
    ASSERT_EQ(linked.exit_code, 0) << linked.out << linked.err;
    Built imports = first;
    imports.addresses = read_map(read_text(first.folder / "imports.map"));
    imports.xbe = first.folder / "imports.xbe";
    // The import address table holds the ordinals as a thunk table does; it starts at the
    // lowest import slot.
    const auto image =
        fendrel_author::read_pe_image(read_bytes(first.folder / "imports.exe"), "imports.exe");
    ASSERT_TRUE(image && !image->kernel_slots.empty());
    std::uint32_t thunk = 0xFFFFFFFF;
    for (const auto &[ordinal, slot] : image->kernel_slots)
        thunk = std::min(thunk, slot);
    write_xbe(first.folder / "imports.exe", thunk, imports.xbe);
    if (HasFatalFailure())
        return;
    Built records = imports;
    records.records.clear();
    records.summaries.clear();
    for (const char *library : {"XAPILIB", "DSOUND"}) {
        const std::string out = std::string("imports-") + library + ".records";
        const ProgramRun authored = run_program(FENDREL_AUTHOR_EXE,
                                                {"--library", library, "--build", "5849", "--map",
                                                 "imports.map", "--out", out, "imports.exe"},
                                                first.folder);
        EXPECT_EQ(authored.exit_code, 0) << authored.out << authored.err;
        records.summaries += authored.out;
        records.records.push_back(first.folder / out);
    }
    records.authored = entries_in(records.records);
    const ScanCounts own = scan(records, imports);
    EXPECT_EQ(own.problems, std::vector<std::string>{}) << records.summaries;
    EXPECT_EQ(own.authored_exact, records.authored.size());
    EXPECT_TRUE(records.authored.contains("SetEvent") && records.authored.contains("PulseEvent"))
        << records.summaries;
    std::cout << "[corpus] " << variants.front().name
              << " linked with the kernel's import library: authored " << records.authored.size()
              << ", printed " << own.printed << ", at a wrong address " << own.wrong << "\n";
}

} // namespace
